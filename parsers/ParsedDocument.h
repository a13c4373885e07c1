#pragma once
// A document parsed into a value: its records, their details, what could not be carried
// and the attachments its mails list. Made from the document's own bytes on any thread,
// touching nothing shared; FolderInformation commits the values in file order.
#include "olm/EntryPath.h"
#include "olm/LossAccount.h"
#include "parsers/AttachmentPlacement.h"
#include "parsers/ItemDetails.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <variant>

// One document, or one part of a long one, as the walk hands it on, in a buffer of its own.
struct DocumentBytes {
    DocumentKind kind = DocumentKind::Skipped;
    QString folderPath;     // the mail's folder; empty for the other kinds
    QByteArray bytes;       // followed by the zero a QByteArray keeps
    qint64 fileOffset = 0;  // where its first byte lies in the file
    qint64 documentEnd = 0; // the offset its items' offsets count back from
    bool endKnown = false;  // the walk knows the document ends with these bytes
};

struct ParsedItem {
    DocumentItem item; // views the document's bytes
    // The record of the document's kind while the item is read, in the reading thread's
    // own zero-filled buffer; null afterwards.
    char *filling = nullptr;
    // The record as its stretches of non-zero bytes (sparseRecord), until committed.
    QByteArray record;
    bool dropped = false; // memory ran out while the item was read
    QVector<Loss> losses; // in the order they arose
    // A contact's categories, for the buffer its record owns once committed; null for none.
    QByteArray ownedText;
    // A mail's losses before this index arose before its attachment list was read; the
    // folder and the attachments are placed when it is committed, between the two.
    int lossesBeforeAttachments = 0;
    bool attachmentListFound = false;
    QVector<ListedAttachment> listedAttachments;
    std::variant<std::monostate, MailDetails, ContactDetails, EventDetails, TaskDetails> details;
};

struct ParsedDocument {
    DocumentBytes document;
    QVector<ParsedItem> items;
    // Memory ran out outside any item: the rest of the document is dropped.
    QVector<Loss> lossesAfterItems;
    qint64 declaredItems = -1; // its root's elementCount; -1 unknown
    bool endsInsideItem = false; // it ends after an item's start tag, before that item's end tag
    QString cutItemName;
};

ParsedDocument parseDocument(DocumentBytes document);

// Records are mostly zeros, and a part of many small items would hold each one's full
// width until it is committed: a record is kept as its stretches of non-zero bytes, each
// as its offset and length (two qint32) and its bytes.
QByteArray sparseRecord(const char *record, int width);
// Writes the stretches into a zero-filled record.
void fillRecord(char *zeroed, const QByteArray &sparse);

// The record of a parsed item as its kind's type; the item must hold one.
template <typename Record>
Record *parsedRecord(ParsedItem &parsed)
{
    return reinterpret_cast<Record *>(parsed.filling);
}
