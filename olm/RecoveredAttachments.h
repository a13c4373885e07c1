#pragma once
// Attachment entries that no mail in the file takes, because their mail was cut off,
// is unreadable or lists them otherwise. Nothing found is thrown away: they are kept
// for a folder of their own, which a save writes as plain files.
#include <QString>
#include <QVector>

// A container entry that holds no document: its path, its data's offset and size.
struct AttachmentEntry {
    QString entryName;
    qint64 offset = 0;
    qint64 size = 0;
};

extern const char kRecoveredAttachmentsName[]; // "Recovered attachments"
// The folder beside a mail folder's messages that holds their attachments.
constexpr char kAttachmentsFolderName[] = "com.microsoft.__Attachments";

// The entries kept by the scan, in the order it found them; emptied by CleanListAndHash.
extern QVector<AttachmentEntry> recoveredAttachments;

// Whether an entry path is a mail's attachment: below a messages folder, in an
// attachments folder. Only those are kept: Local/Address Book/Groups.xml or an
// event's attachments (Local/Calendar/com.microsoft.__Attachments/…) belong to no mail.
bool isMailAttachmentPath(const QString &entryPath);

// The entry path below the messages folder without the attachments folder, which
// names the mail folder and the attachment ("On My Computer/Inbox/100005_0000").
QStringList recoveredAttachmentPathParts(const QString &entryPath);

// Keeps the mail attachments among entries, each with an account entry saying why
// (why names what happened to its mail); other entries are left as they are.
void keepRecoveredAttachments(const QVector<AttachmentEntry> &entries, const QString &why);
