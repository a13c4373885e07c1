#include "olm/FolderHierarchy.h"

#include <QHash>
#include <QPair>
#include <QStringList>
#include <cstdlib>

const qint64 llRootId = kRootFolderId;
qint64 PID = kRootFolderId;
qint64 llParentIdRunning = 0;
QMultiMap<QString, qint64> objMapName_FID;
QMap<qint64, qint64> objMapFID_PID;
QMap<qint64, QString> objMapFID_Name;
FolderAttribute *StartFldrAtrib = nullptr;
FolderAttribute *EndFldrAtrib = nullptr;

namespace {
// A folder is its name under its parent. Looking it up by both keeps the cost of
// a path linear in its length, where scanning every folder of the same name
// made "a/a/a/…" quadratic.
QHash<QPair<qint64, QString>, qint64> folderByParentAndName;
} // namespace

bool GetParentId(const QString &name, qint64 parentId, qint64 *foundId)
{
    const auto found = folderByParentAndName.constFind(qMakePair(parentId, name));
    if (found == folderByParentAndName.constEnd())
        return false;
    *foundId = found.value();
    return true;
}

void treeCreator(const QString &path)
{
    if (path.isEmpty())
        return;
    const QStringList components = path.split(QLatin1Char('/'));
    for (int i = 0; i < components.size(); ++i) {
        const QString &name = components.at(i);
        const qint64 parent = i == 0 ? llRootId : llParentIdRunning;
        if (GetParentId(name, parent, &llParentIdRunning))
            continue;
        const qint64 id = ++PID;
        objMapName_FID.insert(name, id);
        objMapFID_PID.insert(id, parent);
        objMapFID_Name.insert(id, name);
        folderByParentAndName.insert(qMakePair(parent, name), id);
        llParentIdRunning = id;
    }
}

FolderAttribute *appendFolderAttribute(qint64 parentId, qint64 folderId, qint32 folderType)
{
    auto *record = static_cast<FolderAttribute *>(calloc(1, sizeof(FolderAttribute)));
    if (!record)
        return nullptr; // the folder is not listed, and not saved
    record->state = UncheckedCode;
    record->parentId = parentId;
    record->folderId = folderId;
    record->folderType = folderType;
    if (!StartFldrAtrib)
        StartFldrAtrib = record;
    else
        EndFldrAtrib->next = record;
    EndFldrAtrib = record;
    return record;
}

void freeFolderAttributes()
{
    while (StartFldrAtrib) {
        FolderAttribute *next = StartFldrAtrib->next;
        free(StartFldrAtrib);
        StartFldrAtrib = next;
    }
    EndFldrAtrib = nullptr;
}

void resetFolderHierarchy()
{
    freeFolderAttributes();
    objMapName_FID.clear();
    objMapFID_PID.clear();
    objMapFID_Name.clear();
    folderByParentAndName.clear();
    PID = llRootId;
}
