#pragma once
// Folder ids, the three folder maps and the folder attribute list.
#include <QHash>
#include <QMap>
#include <QPair>
#include <QString>
#include <QtGlobal>

constexpr qint64 kRootFolderId = 501;
constexpr qint64 kFolderWithoutPathId = 4294967294LL; // "Folder1": mails found without a folder path
// "Recovered attachments": attachment entries whose mail is not in the file, there when the scan kept any.
constexpr qint64 kRecoveredAttachmentsId = 4294967293LL;

enum FolderType : qint32 {
    MailFolderType = 0,
    ContactsFolderType = 41,
    CalendarFolderType = 42,
    TasksFolderType = 43,
    NotesFolderType = 44,
    RecoveredAttachmentsFolderType = 45, // files, not items
};

enum CheckStateCode : quint8 {
    CheckedCode = 1,
    PartiallyCheckedCode = 2,
    UncheckedCode = 3,
};

#pragma pack(push, 1)
struct FolderAttribute {
    quint8 state;          // CheckStateCode; every record starts unchecked
    qint64 parentId;       // 0 for the root record
    qint64 folderId;
    qint32 folderType;     // FolderType
    FolderAttribute *next;
};
#pragma pack(pop)

extern const qint64 llRootId;
extern qint64 PID;                 // last folder id handed out
extern qint64 llParentIdRunning;   // folder most recently resolved or created by treeCreator
extern QMultiMap<QString, qint64> objMapName_FID; // name to every id of that name
extern QMap<qint64, qint64> objMapFID_PID;     // id to parent id
extern QMap<qint64, QString> objMapFID_Name;   // id to name
// (parent id, name) to id, kept beside the maps by treeCreator: a lookup costs
// the same however many folders share a name.
extern QHash<QPair<qint64, QString>, qint64> objHashParentName_FID;
// Item kind (FolderType) to the top-level folder that holds every item of that kind.
extern QHash<qint32, qint64> objHashKind_FID;
extern FolderAttribute *StartFldrAtrib;
extern FolderAttribute *EndFldrAtrib;

// Resolves a '/'-separated path under the root, creating missing folders;
// leaves the innermost folder's id in llParentIdRunning. An empty path does nothing.
void treeCreator(const QString &path);
// The top-level folder of every contact, event, task or note ("Contacts", "Calendars",
// "Tasks", "Notes"), made on first use; leaves its id in llParentIdRunning. It is kept
// apart from a mail folder of the same name, which an account may have (an IMAP
// server's "Notes"): the mails of such a folder stay mails in a folder of their own.
void kindFolderCreator(const QString &name, FolderType type);
// The folder kindFolderCreator made for type, or -1.
qint64 kindFolderId(FolderType type);
bool isKindFolder(qint64 id);
// True when a folder of exactly this name under parentId exists; its id goes to *foundId.
bool GetParentId(const QString &name, qint64 parentId, qint64 *foundId);

// Appends a zero-filled record in the unchecked state at the tail of the folder
// attribute list; null when the system has no memory for it.
FolderAttribute *appendFolderAttribute(qint64 parentId, qint64 folderId, qint32 folderType);
void freeFolderAttributes();
// Empties the maps and the attribute list; the next folder created gets id 502 again.
void resetFolderHierarchy();
