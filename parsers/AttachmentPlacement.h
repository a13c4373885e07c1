#pragma once
// What a mail says about its attachments, used where the container's own map of
// them is damaged: the list names each attachment's entry path and size, and an
// export stores the attachments directly before the mail that lists them, each as
// a local header (30 bytes, the entry path, the 20-byte Zip64 record) and its data,
// followed by the mail's own header and its document.
#include "olm/ByteSource.h"
#include "olm/RecoveredAttachments.h"

#include <QString>
#include <QVector>

// One entry of a mail's attachment list.
struct ListedAttachment {
    QString contentId; // "no" where it has none
    QString contentType;
    QString name;
    QString url;       // the entry path of its data
    qint64 size = -1;  // OPFAttachmentContentFileSize ("5.0614E4"); -1 when absent or no byte count
};

// Where a listed attachment's data lies; offset -1 when it was not found.
struct PlacedAttachment {
    qint64 offset = -1;
    qint64 size = 0;
    bool inferred = false; // placed by the list's sizes and order, not by the walk
    QString evidence;      // what confirmed an inferred place: "its entry path", ...
};

// A local header found before a document by its shape, where its signature is damaged.
struct HeaderBefore {
    qint64 start = -1; // -1 when none was found
    QString entryName;
};
// The header of the entry whose data is the document at documentStart: its name-length
// field counts exactly the bytes up to the Zip64 record (tag 1, 16 bytes of sizes), its
// extra-length field is 20, and the document follows that record after at most an XML
// declaration. Reads a few KiB before the document, clamped to the source: entry
// paths longer than 4 KiB are not found.
HeaderBefore headerBefore(ByteSource &source, qint64 documentStart);

// The size an attachment list gives in float notation ("5.0614E4", "0E0"): a whole
// number of bytes not larger than limit, or -1.
qint64 attachmentSizeFrom(const QString &text, qint64 limit);

// The mail folder the attachments' entry paths name ("On My Computer/Inbox" for
// Local/com.microsoft.__Messages/On My Computer/Inbox/com.microsoft.__Attachments/1_0000);
// empty unless every path names the same one.
QString folderOfAttachmentPaths(const QVector<ListedAttachment> &listed);

// Places every listed attachment: where the walk registered an entry of its path,
// there; otherwise from its size and order in the stretch before the mail's document,
// which begins at documentStart, when at least one check confirms the place (the
// entry path in its header, the content type's first bytes). Reads are clamped to the
// source; nothing is read at all when the mail's own header is not found before it.
QVector<PlacedAttachment> placeAttachments(ByteSource &source, qint64 documentStart,
                                           const QVector<ListedAttachment> &listed,
                                           const QVector<AttachmentEntry> &registered);
