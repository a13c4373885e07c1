#include "archive/MailboxPaths.h"

#include "archive/FileNames.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"

#include <QSet>

namespace {
const char kMboxSuffix[] = ".mbox";
} // namespace

MailboxPaths::MailboxPaths()
{
    // Names taken in each folder's directory, case folded; llRootId's is the Mail directory itself.
    QHash<qint64, QSet<QString>> taken;
    auto give = [&](qint64 id, qint64 parent, const QString &wanted) {
        QSet<QString> &names = taken[parent];
        QString name = wanted;
        for (int n = 2; names.contains(fileNameKey(name)); ++n)
            name = wanted + QStringLiteral(" (%1)").arg(n);
        names.insert(fileNameKey(name));
        // The folder's own mbox file stands in its directory beside its subfolders.
        taken[id].insert(fileNameKey(name + QLatin1String(kMboxSuffix)));
        m_names.insert(id, name);
        m_parents.insert(id, parent);
    };
    // The mails without a folder path keep the name they have always had.
    give(kFolderWithoutPathId, llRootId, QLatin1String(kFolderWithoutPathName));
    QHash<qint64, QVector<qint64>> children; // in ascending id order
    for (auto it = objMapFID_PID.constBegin(); it != objMapFID_PID.constEnd(); ++it) {
        if (!isKindFolder(it.key())) {
            children[it.value()].append(it.key());
            m_withFolders.insert(it.value());
        }
    }
    // Level by level (a queue, not recursion: paths may be thousands of folders deep).
    // Among siblings, folders whose names a file system keeps as they are come first,
    // so a real "__" keeps its name and ".." is the one set apart.
    QVector<qint64> queue{llRootId};
    for (int next = 0; next < queue.size(); ++next) {
        const qint64 parent = queue.at(next);
        const QVector<qint64> siblings = children.take(parent);
        for (const bool kept : {true, false}) {
            for (const qint64 id : siblings) {
                const QString own = objMapFID_Name.value(id);
                const QString fitting = fileNameFor(own);
                if ((fitting == own) == kept)
                    give(id, parent, fitting);
            }
        }
        queue += siblings;
    }
}

QString MailboxPaths::directoryOf(qint64 folderId) const
{
    if (!m_names.contains(folderId))
        return QLatin1String(kFolderWithoutPathName);
    QStringList names;
    // Every folder was named after its parent, so the chain ends at the root.
    for (qint64 id = folderId; id != llRootId && m_names.contains(id); id = m_parents.value(id))
        names.prepend(m_names.value(id));
    return names.join(QLatin1Char('/'));
}

QString MailboxPaths::relativePath(qint64 folderId) const
{
    const QString leaf = m_names.value(folderId, QLatin1String(kFolderWithoutPathName));
    return directoryOf(folderId) + QLatin1Char('/') + leaf + QLatin1String(kMboxSuffix);
}

bool MailboxPaths::isRenamed(qint64 folderId) const
{
    return directoryOf(folderId) != folderPathOf(folderId);
}
