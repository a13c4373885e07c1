#include "platform/OlmSearch.h"

#include "platform/Volumes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStorageInfo>
#include <QVector>
#include <sys/stat.h>

namespace {
struct DirectoryIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const DirectoryIdentity &other) const { return device == other.device && inode == other.inode; }
};

uint qHash(const DirectoryIdentity &identity, uint seed = 0)
{
    return ::qHash(quint64(identity.inode), seed) ^ ::qHash(quint64(identity.device), seed);
}

struct PendingDirectory {
    QString path;
    dev_t device;
};

bool identify(const QString &path, DirectoryIdentity *identity)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    *identity = {status.st_dev, status.st_ino};
    return true;
}
} // namespace

bool isOlmFileName(const QString &fileName)
{
    // A Mac user's export may carry ".OLM" or ".Olm".
    return fileName.endsWith(QLatin1String(".olm"), Qt::CaseInsensitive);
}

QString olmSizeText(qint64 bytes)
{
    constexpr qint64 kKilo = 1024;
    constexpr qint64 kMega = kKilo * 1024;
    constexpr qint64 kGiga = kMega * 1024;
    if (bytes < kKilo)
        return QString::number(bytes) + QLatin1String(" Byte");
    if (bytes < kMega)
        return QString::number(bytes / kKilo) + QLatin1String(" KB");
    if (bytes < kGiga)
        return QString::number(bytes / kMega) + QLatin1String(" MB");
    return QString::number(bytes / kGiga) + QLatin1String(" GB");
}

void findOlmFiles(const QString &startDirectory, const OlmSearchHooks &hooks)
{
    const QString start = QDir::cleanPath(startDirectory);
    DirectoryIdentity startIdentity;
    if (!identify(start, &startIdentity))
        return;
    QSet<DirectoryIdentity> visited{startIdentity};
    QVector<PendingDirectory> pending{{start, startIdentity.device}};

    while (!pending.isEmpty()) {
        const PendingDirectory directory = pending.takeLast();
        // An unreadable directory yields no entries and the walk goes on.
        QDirIterator entries(directory.path, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        while (entries.hasNext()) {
            if (hooks.stopRequested && hooks.stopRequested())
                return;
            const QString path = entries.next();
            const QFileInfo info = entries.fileInfo();
            if (!info.isDir()) {
                if (isOlmFileName(info.fileName()))
                    hooks.found(path);
                continue;
            }
            DirectoryIdentity identity;
            if (info.isSymLink() || !identify(path, &identity) || visited.contains(identity))
                continue;
            visited.insert(identity);
            // A mount point: only disk file systems are entered.
            if (identity.device != directory.device
                && isPseudoFileSystem(QStorageInfo(path).fileSystemType()))
                continue;
            pending.append({path, identity.device});
        }
    }
}
