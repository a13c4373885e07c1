#pragma once
// Where each mail folder's messages go below a save's Mail directory: one mbox file
// per folder, never one shared by two. A folder's directory is its parent's
// directory and its own name made fit for a file system: "." and ".." become "_"
// and "__", an empty name "_", control characters "_", and a name too long for a
// file name is cut at a character boundary. Where two folders of one parent would
// then have one name (case and Unicode normal form not counted, as macOS counts
// neither), or a folder would take the name of its parent's mbox file, the later
// folder gets a visible suffix: "__ (2)"; folders whose names need no change keep
// them first. Names are given for all folders at once, so a save of some folders
// names them as a save of all does.
#include <QHash>
#include <QSet>
#include <QString>

class MailboxPaths
{
public:
    // From the folder maps of the current scan.
    MailboxPaths();

    // "Inbox/Projects/Projects.mbox"; "Folder1/Folder1.mbox" for the mails without a
    // folder path and for folders the scan does not know.
    QString relativePath(qint64 folderId) const;
    // The folder's directory below Mail, "Inbox/Projects".
    QString directoryOf(qint64 folderId) const;
    // True when the directory is not the folder's own path.
    bool isRenamed(qint64 folderId) const;
    // True when other folders stand below the folder.
    bool holdsFolders(qint64 folderId) const { return m_withFolders.contains(folderId); }

private:
    // Each folder's own name in its parent's directory, and its parent: a path is put
    // together when asked for, so that thousands of nested folders do not each keep
    // a copy of their whole path.
    QHash<qint64, QString> m_names;
    QHash<qint64, qint64> m_parents;
    QSet<qint64> m_withFolders;
};
