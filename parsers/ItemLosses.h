#pragma once
// What the item parsers could not carry, entered into the account of losses. The
// scan of a large export must not slow down for it: on the common path the parsers
// only leave the element they are reading here; an entry's text is built when a
// loss happens.
#include "olm/EntryPath.h"
#include "olm/LossAccount.h"
#include "parsers/ElementText.h"

// The document the parsers are reading: its kind and its folder ("Inbox/Projects";
// empty for the fixed folders and for mails found without their entry header).
void beginLossDocument(DocumentKind kind, const QString &folder);

// The element (or field) the parser is reading, and its item. findElement tells it
// of every element; a field that is no element (the folder path) is named by its parser.
// Each thread that reads items has its own: documents are parsed on several at once.
struct LossContext {
    // The item is held as the bytes it views in its document's buffer, which outlives
    // the document's reading; the context is cleared before the buffer goes.
    const DocumentItem *item = nullptr; // identity only, never read
    const char *itemBytes = nullptr;
    int itemSize = 0;
    const char *field = nullptr;
    DocumentKind kind = DocumentKind::Skipped;
    QString folder;
    // The fields of item already entered: a parser that reads a value twice loses it once.
    const DocumentItem *notedItem = nullptr;
    QVector<QByteArray> notedFields;
    // Where the losses of the item being parsed go until its document is committed;
    // null: straight into the account.
    QVector<Loss> *collected = nullptr;
};
extern thread_local LossContext lossContext;
inline void lossFieldIs(const DocumentItem &item, const char *field)
{
    lossContext.item = &item;
    lossContext.itemBytes = item.bytes.constData();
    lossContext.itemSize = item.bytes.size();
    lossContext.field = field;
}
// The bytes of the item being read; empty when no item is.
QByteArray lossContextItemBytes();
// A loss of the item being read: kept with its parse, or entered into the account.
void noteItemLoss(const Loss &loss);
// A value read from a piece of the item, not the item itself.
inline void lossFieldIs(const char *field) { lossContext.field = field; }

// CopyToField refused a value of bytes bytes for a field of width bytes.
void noteValueTooLong(qint64 bytes, int width);

// "mail", "contact", "event", "task", "note".
QString lossKindName(DocumentKind kind);
// The item's name as its export gives it (subject, name, summary, title), decoded and
// shortened to a line; empty when the item has none.
QString lossItemName(DocumentKind kind, const QByteArray &itemBytes);

// An item whose end tag damage took: named in the account with the values it may lack.
void noteItemEndDamaged(DocumentKind kind, const DocumentItem &item);
