#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace {
// Directories under which the system mounts removable and secondary volumes.
const char *const kRemovableMountParents[] = {"/Volumes/", "/media/", "/run/media/"};

const char *const kPseudoFileSystems[] = {
    "proc",      "sysfs",  "devtmpfs", "devpts",  "devfs",  "cgroup",     "cgroup2",    "securityfs",
    "debugfs",   "tracefs", "pstore",  "bpf",     "configfs", "fusectl",  "mqueue",     "hugetlbfs",
    "autofs",    "binfmt_misc", "efivarfs", "selinuxfs", "rpc_pipefs", "nsfs",
};

QString startUpVolumeName(const QStorageInfo &root)
{
    if (!root.name().isEmpty())
        return root.name();
    const QString device = QFileInfo(QFile::decodeName(root.device())).fileName();
    return device.isEmpty() ? root.rootPath() : device;
}

// A disk volume: mounted from a device node, and a directory (containers bind-mount
// single files such as /etc/hosts).
bool isDiskVolume(const QStorageInfo &volume)
{
    return volume.isValid() && volume.isReady() && volume.device().startsWith("/dev/")
           && !isPseudoFileSystem(volume.fileSystemType()) && QFileInfo(volume.rootPath()).isDir();
}
} // namespace

QString volumeNameForMountPoint(const QString &rootPath)
{
    for (const char *parent : kRemovableMountParents) {
        if (rootPath.startsWith(QLatin1String(parent)) && rootPath.size() > int(qstrlen(parent)))
            return QDir(rootPath).dirName();
    }
    return rootPath;
}

bool isPseudoFileSystem(const QByteArray &fileSystemType)
{
    for (const char *pseudo : kPseudoFileSystems) {
        if (fileSystemType == pseudo)
            return true;
    }
    return false;
}

QList<Volume> mountedVolumes()
{
    const QStorageInfo root = QStorageInfo::root();
    QList<Volume> volumes{{startUpVolumeName(root), root.rootPath()}};
    QSet<QString> names{volumes.first().name};
    QSet<QString> rootPaths{root.rootPath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (rootPaths.contains(volume.rootPath()) || !isDiskVolume(volume))
            continue;
        rootPaths.insert(volume.rootPath());
        QString name = volumeNameForMountPoint(volume.rootPath());
        // Two volumes of one name stay apart: the later one is shown by its mount point.
        if (names.contains(name))
            name = volume.rootPath();
        names.insert(name);
        volumes.append({name, volume.rootPath()});
    }
    return volumes;
}
