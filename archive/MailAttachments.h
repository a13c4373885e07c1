#pragma once
// A mail's attachments as files: what the record keeps of each, a safe file name
// for an untrusted attachment name, and the bytes written out of the .olm file.
#include "archive/FileNames.h"
#include "archive/TextReader.h"
#include "parsers/ItemDetails.h"
#include "parsers/Records.h"

#include <QSet>
#include <QString>
#include <QVector>

struct MailAttachment {
    QString name;        // as the export gives it: untrusted, may be anything
    QString contentType;
    qint64 offset = 0;   // of its bytes in the .olm file
    qint64 size = 0;     // as the export lists it
};

// The attachments a mail record keeps, in list order; none when it keeps none.
QVector<MailAttachment> attachmentsOf(const MailMLRC &mail);

// How many of the attachment's bytes a file of fileSize bytes holds.
qint64 attachmentBytesInFile(const MailAttachment &attachment, qint64 fileSize);

// A name that stays a plain file inside the folder it is saved into: the last
// component of the name only, control characters (NUL, CR, LF...) and separators
// replaced by "_", no leading dots (no hidden files, never "." or ".."), at most
// 255 bytes in UTF-8 with the extension kept, and "attachment" for what is left empty.
QString attachmentFileName(const QString &untrustedName);

// name itself, or "name (2).ext", "name (3).ext"... the first whose fileNameKey
// (archive/FileNames.h) taken does not hold.
QString distinctFileName(const QString &name, const QSet<QString> &taken);

struct AttachmentWrite {
    qint64 written = 0; // bytes in the file
    QString error;      // why nothing was written; empty when the file was written
};
// Writes the attachment's bytes, read block by block from olm, into path; an
// existing file there is replaced only once the new one is whole. A file cut short
// by damage is written with the bytes it still has (written < size); one whose
// bytes are all missing is not written at all.
AttachmentWrite writeAttachmentFile(const TextReader &olm, const MailAttachment &attachment, const QString &path);

// What a saved message says of the attachments its mail lists that could not be
// recovered, so that the user sees the loss in their own mail client: a sentence, then
// each attachment's name and the size the mail gives for it, lines ended by LF. Empty
// when nothing is missing.
QString unrecoveredAttachmentsNote(const QVector<MissingAttachment> &missing);
// The Content-Description of the part that carries the note.
constexpr char kUnrecoveredAttachmentsTitle[] = "Attachments that could not be recovered";
