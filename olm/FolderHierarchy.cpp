#include "olm/FolderHierarchy.h"

#include "olm/ScanMemory.h"

#include <QStringList>
#include <cstdlib>

const qint64 llRootId = kRootFolderId;
qint64 PID = kRootFolderId;
qint64 llParentIdRunning = 0;
QMultiMap<QString, qint64> objMapName_FID;
QMap<qint64, qint64> objMapFID_PID;
QMap<qint64, QString> objMapFID_Name;
QHash<QPair<qint64, QString>, qint64> objHashParentName_FID;
QHash<qint32, qint64> objHashKind_FID;
FolderAttribute *StartFldrAtrib = nullptr;
FolderAttribute *EndFldrAtrib = nullptr;

namespace {
// A folder stands in `entries` maps, its name in three of them. The folder is kept
// either way, since its items need it; a full watch ends the scan.
void countFolderMemory(const QString &name, int entries)
{
    countSideMemory(entries * kTableEntryOverhead + 3 * memoryOf(name));
}
} // namespace

bool GetParentId(const QString &name, qint64 parentId, qint64 *foundId)
{
    // treeCreator creates a folder only where none of its name and parent exists,
    // so the pair names at most one folder.
    const auto found = objHashParentName_FID.constFind(qMakePair(parentId, name));
    if (found == objHashParentName_FID.cend())
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
        objHashParentName_FID.insert(qMakePair(parent, name), id);
        countFolderMemory(name, 4);
        llParentIdRunning = id;
    }
}

void kindFolderCreator(const QString &name, FolderType type)
{
    const auto found = objHashKind_FID.constFind(type);
    if (found != objHashKind_FID.cend()) {
        llParentIdRunning = found.value();
        return;
    }
    // Not in the (parent, name) index, so that mail paths never resolve to it.
    const qint64 id = ++PID;
    objMapName_FID.insert(name, id);
    objMapFID_PID.insert(id, llRootId);
    objMapFID_Name.insert(id, name);
    objHashKind_FID.insert(type, id);
    countFolderMemory(name, 4);
    llParentIdRunning = id;
}

qint64 kindFolderId(FolderType type)
{
    return objHashKind_FID.value(type, -1);
}

bool isKindFolder(qint64 id)
{
    for (auto it = objHashKind_FID.cbegin(); it != objHashKind_FID.cend(); ++it) {
        if (it.value() == id)
            return true;
    }
    return false;
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
    objHashParentName_FID.clear();
    objHashKind_FID.clear();
    PID = llRootId;
}
