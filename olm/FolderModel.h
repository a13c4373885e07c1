#pragma once
// One folder model for every front end: the special folders' types, the folder
// attribute list rebuilt after a scan, and folder paths in both directions.
#include "olm/FolderHierarchy.h"

#include <QString>
#include <QVector>

// Top-level folders with their own icon, and for four of them their own item kind.
struct SpecialFolder {
    const char *name;
    const char *icon; // resource path of the folder tree's icon
    FolderType type;
};
extern const SpecialFolder kSpecialFolders[8];
extern const char kPlainFolderIcon[];
extern const char kFolderWithoutPathName[]; // "Folder1"

// The special folder that id is (a top-level folder of one of the fixed names), or null.
const SpecialFolder *specialFolderOf(qint64 id);
// The folder type of id: a special folder's type, otherwise mail.
FolderType folderTypeOf(qint64 id);

// Empties the folder attribute list and appends, all unchecked: the root, every folder
// in ascending id order with its type, then "Folder1", and "Recovered attachments"
// when the scan kept any.
void buildFolderAttributeList();
// The first attribute record of id, or null.
FolderAttribute *folderAttributeOf(qint64 id);

// "Inbox/Sub" for a folder under the root; "Folder1" for the folder without a path,
// "Recovered attachments" for the kept attachments; empty for the root.
QString folderPathOf(qint64 id);
// Every folder a path names: the folder of an item kind ("Notes") and a mail folder of
// the same name, when the file has both; "Folder1" included.
QVector<qint64> folderIdsForPath(const QString &path);
// The first of them, or -1 when the path names none.
qint64 folderIdForPath(const QString &path);
