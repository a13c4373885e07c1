#pragma once
// The mounted volumes a search for .olm files can look in.
#include <QByteArray>
#include <QList>
#include <QString>

struct Volume {
    QString name;     // what the look-in choice shows
    QString rootPath; // where a search of the volume starts
};

// The start-up volume first, under its label (or its device's name when it has none),
// then every other mounted disk volume in mount order.
QList<Volume> mountedVolumes();

// How a volume mounted at rootPath is named: a removable volume by its own directory
// name ("/Volumes/My Disk" is "My Disk", "/media/ann/USB" is "USB"), any other by its
// mount point.
QString volumeNameForMountPoint(const QString &rootPath);

// True for kernel and virtual file systems (proc, sysfs, devtmpfs, cgroup, ...) that
// hold no user files and must not be walked.
bool isPseudoFileSystem(const QByteArray &fileSystemType);
