#pragma once
// The extraction steps every item parser shares: items are cut from the raw
// document bytes, elements are found by plain substring search, values are
// decoded and stored in fixed-width fields.
#include "parsers/EntityDecoding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// A tag in an item: "<name" or "</name>", with name a run of name characters.
struct ElementMarker {
    int nameStart;
    int nameLength;
    int position; // of the '<'
    bool isEnd;
};

// One item of a document: its bytes (a view into the document buffer) and the
// file offset of its first byte.
struct DocumentItem {
    QByteArray bytes;
    qint64 fileOffset;
    // Every tag of the item, found in one pass on the first element search: an
    // item is searched for dozens of elements, and pictures or bodies make it large.
    mutable QVector<ElementMarker> markers{};
    mutable bool markersIndexed = false;
    // Its end tag is not where it should be: it runs to the next item's start tag or
    // to the end of its document, and only the values closed inside it read whole.
    bool endTagMissing = false;
    // Where its bytes lie in the file; -1 where only its offset is known (an item made
    // elsewhere, as in tests), which then stands for both.
    qint64 bytesAt = -1;
};

// Splits the document at every occurrence of itemEndTag; every piece but the
// last is an item. Offsets come from the item's real position in the document,
// which ends at documentEnd in the file. The items view the document's bytes:
// they are valid while the document buffer is.
QVector<DocumentItem> splitDocumentItems(const char *document, qint64 documentSize,
                                         qint64 documentEnd, const char *itemEndTag);

// The records of a document: the pieces before every "</itemName>" that hold
// the item's own start tag ("<itemName" ending there). A piece without one,
// such as the space between two stray end tags, is no item. Where damage took an
// item's end tag, that item ends at the next item's start tag, or at the end of
// the document (before the root's end tag), and is marked endTagMissing; such an
// item in which no element reads whole is no item either. endKnown: the walk knows the
// document ends with these bytes, though its root's end tag may be damaged.
QVector<DocumentItem> splitDocumentRecords(const char *document, qint64 documentSize, qint64 documentEnd,
                                           const char *itemName, bool endKnown = false);
// True when the document's text after its last "</itemName>" holds an item start tag
// that splitDocumentRecords gave no item: an item of which no value reads whole.
bool endsInUnreadableItem(const char *document, qint64 documentSize, const char *itemName, bool endKnown,
                          QByteArray *item);
// The elements an item opens and does not close (self-closed ones, the item's own
// and its root's tags aside), by name: the values a damaged end may have cut.
QStringList unclosedElements(const DocumentItem &item, const char *itemName);

// Where an element's value lies in an item.
struct ElementValue {
    bool found = false;
    qint64 start = 0; // byte position of the value in the item
    qint64 size = 0;  // byte count of the value (e - s - L - 22), clamped to the item
    bool endBeforeStart = false; // the end marker stands before the value: the cut ran to the item end
    QByteArray bytes; // the value bytes: a view into the item, valid while its document is
};

// Finds "<name" and "</name>" (first occurrence of each, from the item start),
// and cuts the value from s + L + 22 to e, as QByteArray::mid would.
ElementValue findElement(const QByteArray &item, const char *name);

// Where an element's content lies in the .olm file, for the large texts a record
// keeps as size and offset instead of copying.
struct FileText {
    qint64 size = 0;
    qint64 offset = 0;
};
// Size and offset stay 0 when the element is absent, its end marker stands
// before its content or its trimmed content is empty.
FileText findFileText(const DocumentItem &item, const char *name);

ElementValue findElement(const DocumentItem &item, const char *name);

// By the item's tag index: where the first start tag of the element called exactly
// name stands ("<name" and a byte that ends a name), and the first "</name>" at or
// after from; -1 when absent. The same positions a plain search finds.
int firstStartTag(const DocumentItem &item, const char *name);
int firstEndTag(const DocumentItem &item, const char *name, int from);

// The element's value decoded as UTF-8, trimmed when asked; false when absent.
bool GetElementText(const QByteArray &item, const char *name, QString *text, bool trim = true);
bool GetElementText(const DocumentItem &item, const char *name, QString *text, bool trim = true);

// Bytes seen where they lie, without a copy or a QByteArray of their own.
struct ByteSpan {
    const char *data = nullptr;
    int size = 0;
};

// The bytes GetElementText decodes, where they lie in the item: no data where it
// cuts nothing. False when it finds no value.
bool GetElementBytes(const DocumentItem &item, const char *name, ByteSpan *bytes);
// The text GetElementText makes of those bytes.
QString elementValueText(ByteSpan bytes, bool trim = true);
// Bytes that are all ASCII and hold no zero byte: their text is the bytes themselves.
bool isPlainAscii(const char *bytes, int size);
// Bytes that are all ASCII and hold no zero byte read as their own text: then the
// view of them without white space at both ends, as trimmed text would be. False
// for any other bytes, whose text must be decoded.
bool asciiTrimmed(ByteSpan bytes, ByteSpan *trimmed);

// UTF-8 bytes as text, up to the first zero byte: the way a QByteArray of them reads.
inline QString utf8Text(const char *data, int size)
{
    return QString::fromUtf8(data, int(qstrnlen(data, uint(size))));
}

enum class FieldEncoding { Utf8, Latin1 };
// Stores text in a field of width bytes: empty text or width bytes or more leaves the field untouched.
bool CopyToField(char *field, int width, const QString &text, FieldEncoding encoding);
template <int Width>
bool CopyToField(char (&field)[Width], const QString &text, FieldEncoding encoding)
{
    return CopyToField(field, Width, text, encoding);
}
// The same for bytes already in the field's encoding.
bool CopyBytesToField(char *field, int width, const char *bytes, int size);
template <int Width>
bool CopyBytesToField(char (&field)[Width], const QByteArray &bytes)
{
    return CopyBytesToField(field, Width, bytes.constData(), bytes.size());
}
template <int Width>
bool CopyBytesToField(char (&field)[Width], ByteSpan bytes)
{
    return CopyBytesToField(field, Width, bytes.data, bytes.size);
}

// Stores text as UTF-8, cut to fit the width at a character boundary (never inside
// one), for person names that are worth keeping in part; empty text stores nothing.
bool CopyToFieldCut(char *field, int width, const QString &text);
template <int Width>
bool CopyToFieldCut(char (&field)[Width], const QString &text)
{
    return CopyToFieldCut(field, Width, text);
}

// Cuts text from start with length as QString::mid does, but a missing
// position (negative start) gives nothing instead of reading before the text.
QString midOrEmpty(const QString &text, int start, int length = -1);
QByteArray midOrEmpty(const QByteArray &text, int start, int length = -1);

// 32 hexadecimal digits from a new QUuid.
QByteArray newIdentifier(bool upperCase);
