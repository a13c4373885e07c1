#include "parsers/ElementText.h"

#include "olm/ByteSearch.h"
#include "parsers/ExportFacts.h"
#include "parsers/ItemLosses.h"

#include <QSet>
#include <QUuid>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <climits>
#include <cstring>

namespace {
// Room for the tags of a typical item, so the marker list grows at most rarely.
constexpr int kMarkersPerItem = 96;

int indexOfTag(const QByteArray &bytes, const QByteArray &marker)
{
    const char *data = bytes.constData();
    const char *at = findTag(data, data + bytes.size(), marker.constData(), size_t(marker.size()));
    return at ? int(at - data) : -1;
}

bool endsName(char c) { return c == ' ' || c == '>' || c == '/' || c == '\t' || c == '\n' || c == '\r'; }

// True when the piece holds marker followed by a byte that ends a name. The
// search stays inside the piece, so every byte of a document is searched once.
bool holdsStartTag(const char *piece, int size, const QByteArray &marker)
{
    const char *const end = piece + size;
    for (const char *at = findTag(piece, end, marker.constData(), size_t(marker.size())); at;
         at = findTag(at + 1, end, marker.constData(), size_t(marker.size()))) {
        if (at + marker.size() < end && endsName(at[marker.size()]))
            return true;
    }
    return false;
}

QVector<DocumentItem> splitPieces(const char *document, qint64 documentSize, qint64 documentEnd,
                                  const QByteArray &endTag, const QByteArray &startMarker)
{
    QVector<DocumentItem> items;
    if (!document || documentSize <= 0)
        return items;
    const int size = int(qMin<qint64>(documentSize, INT_MAX));
    const qint64 documentStart = documentEnd - size;
    int from = 0;
    for (;;) {
        const char *hit = findTag(document + from, document + size, endTag.constData(), size_t(endTag.size()));
        if (!hit)
            break;
        const int at = int(hit - document);
        if (startMarker.isEmpty() || holdsStartTag(document + from, at - from, startMarker))
            items.append({QByteArray::fromRawData(document + from, at - from), documentStart + from});
        from = at + endTag.size();
    }
    return items;
}
} // namespace

QVector<DocumentItem> splitDocumentItems(const char *document, qint64 documentSize,
                                         qint64 documentEnd, const char *itemEndTag)
{
    return splitPieces(document, documentSize, documentEnd, QByteArray(itemEndTag), QByteArray());
}

namespace {
void indexMarkers(const DocumentItem &item);

// Where the item start tags ("<itemName" and a byte that ends a name) of a piece stand,
// found by its tag index, which the parsers use after.
QVector<int> itemStartsIn(const DocumentItem &piece, const char *itemName)
{
    indexMarkers(piece);
    const char *data = piece.bytes.constData();
    const int size = piece.bytes.size();
    const int length = int(strlen(itemName));
    QVector<int> starts;
    for (const ElementMarker &marker : piece.markers) {
        const int next = marker.nameStart + length;
        if (!marker.isEnd && marker.nameLength == length && next < size && endsName(data[next])
            && memcmp(data + marker.nameStart, itemName, size_t(length)) == 0)
            starts.append(marker.position);
    }
    return starts;
}

// Where the root's end tag ("</emails>") stands when it ends the document, white
// space after it aside; -1 when the document does not end with it (a cut file).
int rootEndAt(const char *document, int size, const char *itemName)
{
    const QByteArray rootEnd = QByteArray("</") + itemName + "s>";
    int end = size;
    while (end > 0 && (document[end - 1] == ' ' || (document[end - 1] >= '\t' && document[end - 1] <= '\r')))
        --end;
    const bool endsWithRoot = end >= rootEnd.size()
                              && memcmp(document + end - rootEnd.size(), rootEnd.constData(), size_t(rootEnd.size())) == 0;
    return endsWithRoot ? end - rootEnd.size() : -1;
}

// Where the document's items end: at its root's end tag, or, where that is damaged but the
// walk knows the document ends there, at its last byte; -1 when the file cut it off.
int documentEndAt(const char *document, int size, const char *itemName, bool endKnown)
{
    const int rootEnd = rootEndAt(document, size, itemName);
    return rootEnd >= 0 || !endKnown ? rootEnd : size;
}

// True when an end tag in the item closes an element begun in it.
bool closesAnElement(const DocumentItem &item)
{
    indexMarkers(item);
    const char *data = item.bytes.constData();
    QSet<QByteArray> opened;
    for (const ElementMarker &marker : item.markers) {
        const QByteArray name = QByteArray::fromRawData(data + marker.nameStart, marker.nameLength);
        if (!marker.isEnd)
            opened.insert(name);
        else if (opened.contains(name))
            return true;
    }
    return false;
}

// The items of a piece that holds the item start tags at starts (positions in the
// piece), where each item but the last lost its end tag; the last did too unless closed.
void appendItems(QVector<DocumentItem> *items, const DocumentItem &piece, const QVector<int> &starts, bool closed)
{
    if (starts.size() == 1 && closed) {
        items->append(piece); // the common case, its tag index kept
        return;
    }
    for (int k = 0; k < starts.size(); ++k) {
        const int begin = k == 0 ? 0 : starts.at(k);
        const int end = k + 1 < starts.size() ? starts.at(k + 1) : piece.bytes.size();
        DocumentItem item{QByteArray::fromRawData(piece.bytes.constData() + begin, end - begin),
                          piece.fileOffset + begin};
        item.endTagMissing = k + 1 < starts.size() || !closed;
        if (!item.endTagMissing || closesAnElement(item))
            items->append(item);
    }
}
} // namespace

QVector<DocumentItem> splitDocumentRecords(const char *document, qint64 documentSize, qint64 documentEnd,
                                           const char *itemName, bool endKnown)
{
    QVector<DocumentItem> items;
    if (!document || documentSize <= 0)
        return items;
    const QByteArray endTag = QByteArray("</") + itemName + '>';
    const int size = int(qMin<qint64>(documentSize, INT_MAX));
    const qint64 documentStart = documentEnd - size;
    int from = 0;
    for (;;) {
        const char *hit = findTag(document + from, document + size, endTag.constData(), size_t(endTag.size()));
        // Items after the last end tag are read only where the document's own end is
        // in the file: a document the file cuts off ends in an item cut off too.
        const int to = hit ? int(hit - document) : documentEndAt(document, size, itemName, endKnown);
        if (to > from) {
            const DocumentItem piece{QByteArray::fromRawData(document + from, to - from), documentStart + from};
            appendItems(&items, piece, itemStartsIn(piece, itemName), hit);
        }
        if (!hit)
            return items;
        from = to + endTag.size();
    }
}

bool endsInUnreadableItem(const char *document, qint64 documentSize, const char *itemName, bool endKnown,
                          QByteArray *item)
{
    if (!document || documentSize <= 0)
        return false;
    const QByteArray endTag = QByteArray("</") + itemName + '>';
    const int size = int(qMin<qint64>(documentSize, INT_MAX));
    const char *last = findLastTag(document, document + size, endTag.constData(), size_t(endTag.size()));
    const int from = last ? int(last - document) + endTag.size() : 0;
    const int rootEnd = documentEndAt(document, size, itemName, endKnown);
    const int to = rootEnd >= 0 ? rootEnd : size;
    if (to <= from)
        return false;
    const DocumentItem piece{QByteArray::fromRawData(document + from, to - from), 0};
    const QVector<int> starts = itemStartsIn(piece, itemName);
    if (starts.isEmpty())
        return false;
    const DocumentItem trailing{piece.bytes.mid(starts.last()), 0};
    if (rootEnd >= 0 && closesAnElement(trailing))
        return false;
    *item = trailing.bytes;
    return true;
}

namespace {
// Where the value between the start marker at s and the end marker at e lies;
// start stays 0 when there is nothing to cut.
ElementValue placeElement(const QByteArray &item, int s, int e, int startMarkerLength)
{
    ElementValue value;
    if (s < 0 || e < 0)
        return value;
    value.found = true;
    const qint64 start = qint64(s) + startMarkerLength + kStartTagRest;
    qint64 length = qint64(e) - start;
    value.endBeforeStart = length < 0;
    if (start > item.size())
        return value; // nothing to cut: an empty value
    if (length < 0 || start + length > item.size())
        length = item.size() - start;
    value.start = start;
    value.size = length;
    return value;
}

// The value's bytes; nothing cut gives a null view, which reads as a null text.
QByteArray valueView(const QByteArray &item, const ElementValue &value)
{
    return value.start > 0 ? QByteArray::fromRawData(item.constData() + value.start, int(value.size)) : QByteArray();
}

// The same with a view of the value's bytes.
ElementValue cutElement(const QByteArray &item, int s, int e, int startMarkerLength)
{
    ElementValue value = placeElement(item, s, e, startMarkerLength);
    value.bytes = valueView(item, value);
    return value;
}

// Element names are runs of these; a marker's name is the longest run after its "<" or "</".
constexpr bool nameByteRule(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')
           || byte == '_' || byte == '-' || byte == '.' || byte == ':';
}
struct NameBytes {
    bool table[256] = {};
    constexpr NameBytes()
    {
        for (int byte = 0; byte < 256; ++byte)
            table[byte] = nameByteRule((unsigned char)byte);
    }
};
constexpr NameBytes kNameBytes;
inline bool isNameByte(char byte) { return kNameBytes.table[(unsigned char)byte]; }

// Where the run of name bytes that starts at `from` ends.
int nameRunEnd(const char *data, int from, int size)
{
#if defined(__SSE2__)
    // Sixteen bytes at a time. Bytes of 0x80 and more compare as negative and fall in no range.
    const auto inRange = [](__m128i bytes, char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(char(low - 1))),
                             _mm_cmplt_epi8(bytes, _mm_set1_epi8(char(high + 1))));
    };
    for (; from + 16 <= size; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
        const __m128i names = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(inRange(bytes, 'a', 'z'), inRange(bytes, 'A', 'Z')),
                         _mm_or_si128(inRange(bytes, '0', ':'), inRange(bytes, '-', '.'))),
            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('_')));
        const unsigned mask = unsigned(_mm_movemask_epi8(names));
        if (mask != 0xFFFFu)
            return from + __builtin_ctz(~mask);
    }
#endif
    while (from < size && isNameByte(data[from]))
        ++from;
    return from;
}

bool isName(const char *name)
{
    for (; *name; ++name)
        if (!isNameByte(*name))
            return false;
    return true;
}

void indexMarkers(const DocumentItem &item)
{
    if (item.markersIndexed)
        return;
    const char *data = item.bytes.constData();
    const int size = item.bytes.size();
    item.markers.reserve(kMarkersPerItem);
    for (const char *at = data; at < data + size; ++at) {
        at = static_cast<const char *>(memchr(at, '<', size_t(data + size - at)));
        if (!at)
            break;
        const int position = int(at - data);
        const bool isEnd = position + 1 < size && data[position + 1] == '/';
        const int nameStart = position + 1 + (isEnd ? 1 : 0);
        const int nameEnd = nameRunEnd(data, nameStart, size);
        // "</name" counts as an end marker only when ">" closes it at once.
        if (nameEnd == nameStart || (isEnd && (nameEnd == size || data[nameEnd] != '>')))
            continue;
        item.markers.append({nameStart, nameEnd - nameStart, position, isEnd});
    }
    item.markersIndexed = true;
}

struct MarkerPositions {
    int start = -1;
    int end = -1;
};

// The first "<name" (also where name begins a longer name, as a plain search
// finds it) and the first "</name>" of the item. The markers stand in document
// order; their lengths and the name's last byte rule out nearly all of them
// before any comparison.
MarkerPositions findMarkers(const DocumentItem &item, const char *name)
{
    if (!item.markersIndexed)
        indexMarkers(item);
    const char *data = item.bytes.constData();
    const int length = int(strlen(name));
    const char last = name[length - 1];
    MarkerPositions found;
    for (const ElementMarker &marker : item.markers) {
        if (marker.nameLength < length || data[marker.nameStart + length - 1] != last)
            continue;
        int &position = marker.isEnd ? found.end : found.start;
        if (position >= 0 || (marker.isEnd && marker.nameLength != length)
            || memcmp(data + marker.nameStart, name, size_t(length)) != 0)
            continue;
        position = marker.position;
        if (found.start >= 0 && found.end >= 0)
            break;
    }
    return found;
}

// QString::trimmed().isEmpty() without decoding a large text: the first byte
// that is no ASCII white space decides, unless it starts a multi-byte character.
bool isBlank(const QByteArray &bytes)
{
    for (const char byte : bytes) {
        if (byte == ' ' || (byte >= '\t' && byte <= '\r'))
            continue;
        if (uchar(byte) < 0x80)
            return false;
        return QString::fromUtf8(bytes).trimmed().isEmpty();
    }
    return true;
}

QByteArray startMarkerOf(const char *name) { return QByteArray("<") + name; }
QByteArray endMarkerOf(const char *name) { return QByteArray("</") + name + '>'; }

// Nothing cut gives a span without data, which reads as a null text.
ByteSpan valueSpan(const QByteArray &item, const ElementValue &value)
{
    return value.start > 0 ? ByteSpan{item.constData() + value.start, int(value.size)} : ByteSpan();
}

QString valueText(const QByteArray &item, const ElementValue &value, bool trim)
{
    return elementValueText(valueSpan(item, value), trim);
}
} // namespace

ElementValue findElement(const QByteArray &item, const char *name)
{
    const QByteArray startMarker = startMarkerOf(name);
    return cutElement(item, indexOfTag(item, startMarker), indexOfTag(item, endMarkerOf(name)),
                      startMarker.size());
}

ElementValue findElement(const DocumentItem &item, const char *name)
{
    lossFieldIs(item, name);
    // A name with other bytes is not found whole in the index: the plain search serves it.
    if (!isName(name))
        return findElement(item.bytes, name);
    const MarkerPositions markers = findMarkers(item, name);
    return cutElement(item.bytes, markers.start, markers.end, int(strlen(name)) + 1);
}

int firstStartTag(const DocumentItem &item, const char *name)
{
    if (!item.markersIndexed)
        indexMarkers(item);
    const char *data = item.bytes.constData();
    const int size = item.bytes.size();
    const int length = int(strlen(name));
    for (const ElementMarker &marker : item.markers) {
        const int next = marker.nameStart + length;
        if (!marker.isEnd && marker.nameLength >= length && next < size && endsName(data[next])
            && memcmp(data + marker.nameStart, name, size_t(length)) == 0)
            return marker.position;
    }
    return -1;
}

int firstEndTag(const DocumentItem &item, const char *name, int from)
{
    if (!item.markersIndexed)
        indexMarkers(item);
    const char *data = item.bytes.constData();
    const int length = int(strlen(name));
    for (const ElementMarker &marker : item.markers) {
        if (marker.isEnd && marker.position >= from && marker.nameLength == length
            && memcmp(data + marker.nameStart, name, size_t(length)) == 0)
            return marker.position;
    }
    return -1;
}

FileText findFileText(const DocumentItem &item, const char *name)
{
    FileText text;
    const ElementValue value = findElement(item, name);
    // A negative size would send the readers outside the element, so such a text counts as absent.
    if (!value.found || value.endBeforeStart || isBlank(value.bytes))
        return text;
    text.size = value.size;
    text.offset = item.fileOffset + value.start;
    return text;
}

bool GetElementText(const QByteArray &item, const char *name, QString *text, bool trim)
{
    lossFieldIs(name);
    const ElementValue value = findElement(item, name);
    // An end marker before the value would hand on the rest of the item: the field stays empty.
    if (!value.found || value.endBeforeStart)
        return false;
    *text = valueText(item, value, trim);
    return true;
}

bool GetElementBytes(const DocumentItem &item, const char *name, ByteSpan *bytes)
{
    ElementValue value;
    if (isName(name)) {
        lossFieldIs(item, name);
        const MarkerPositions markers = findMarkers(item, name);
        value = placeElement(item.bytes, markers.start, markers.end, int(strlen(name)) + 1);
    } else {
        value = findElement(item, name);
    }
    if (!value.found || value.endBeforeStart)
        return false;
    *bytes = valueSpan(item.bytes, value);
    return true;
}

QString elementValueText(ByteSpan bytes, bool trim)
{
    const QString text = bytes.data ? utf8Text(bytes.data, bytes.size) : QString();
    return trim ? text.trimmed() : text;
}

bool isPlainAscii(const char *bytes, int size)
{
    // Eight bytes at a time: a byte with its high bit set, or a zero byte (which
    // subtracting one from it turns into one with its high bit set), fails the word.
    constexpr quint64 kOnes = 0x0101010101010101ULL, kHighBits = 0x8080808080808080ULL;
    int i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        memcpy(&word, bytes + i, sizeof word);
        if ((word | (word - kOnes)) & kHighBits)
            return false;
    }
    for (; i < size; ++i)
        if (bytes[i] == '\0' || uchar(bytes[i]) >= 0x80)
            return false;
    return true;
}

bool asciiTrimmed(ByteSpan bytes, ByteSpan *trimmed)
{
    if (!isPlainAscii(bytes.data, bytes.size))
        return false;
    const char *data = bytes.data;
    int begin = 0, end = bytes.size;
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (begin < end && isSpace(data[begin]))
        ++begin;
    while (end > begin && isSpace(data[end - 1]))
        --end;
    *trimmed = {data + begin, end - begin};
    return true;
}

bool GetElementText(const DocumentItem &item, const char *name, QString *text, bool trim)
{
    ByteSpan bytes;
    if (!GetElementBytes(item, name, &bytes))
        return false;
    *text = elementValueText(bytes, trim);
    return true;
}

static QByteArray encodeForField(const QString &text, FieldEncoding encoding)
{
    // toLatin1 turns characters outside Latin-1 into question marks.
    return encoding == FieldEncoding::Utf8 ? text.toUtf8() : text.toLatin1();
}

bool CopyToField(char *field, int width, const QString &text, FieldEncoding encoding)
{
    const QByteArray bytes = encodeForField(text, encoding);
    return CopyBytesToField(field, width, bytes.constData(), bytes.size());
}

bool CopyBytesToField(char *field, int width, const char *bytes, int size)
{
    if (size <= 0)
        return false;
    if (size >= width) {
        noteValueTooLong(size, width);
        return false;
    }
    memcpy(field, bytes, size_t(size));
    field[size] = '\0';
    return true;
}

bool CopyToFieldCut(char *field, int width, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty() || width < 2)
        return false;
    int length = qMin(bytes.size(), width - 1);
    // A byte 10xxxxxx continues a character: the cut moves back to where one starts.
    if (length < bytes.size())
        while (length > 0 && (uchar(bytes.at(length)) & 0xC0) == 0x80)
            --length;
    if (length == 0)
        return false;
    memcpy(field, bytes.constData(), size_t(length));
    field[length] = '\0';
    return true;
}

namespace {
template <typename Text>
Text midOrEmptyOf(const Text &text, int start, int length)
{
    if (start < 0 || start > text.size())
        return Text();
    return text.mid(start, length);
}
} // namespace

QString midOrEmpty(const QString &text, int start, int length) { return midOrEmptyOf(text, start, length); }
QByteArray midOrEmpty(const QByteArray &text, int start, int length) { return midOrEmptyOf(text, start, length); }

QByteArray newIdentifier(bool upperCase)
{
    QByteArray digits = QUuid::createUuid().toByteArray(QUuid::Id128);
    return upperCase ? digits.toUpper() : digits;
}

QStringList unclosedElements(const DocumentItem &item, const char *itemName)
{
    indexMarkers(item);
    const char *data = item.bytes.constData();
    const int size = item.bytes.size();
    const QByteArray ownName(itemName), rootName = ownName + 's';
    QVector<QByteArray> open; // in the order they were opened, closed ones removed
    for (const ElementMarker &marker : item.markers) {
        const QByteArray name = QByteArray::fromRawData(data + marker.nameStart, marker.nameLength);
        if (marker.isEnd) {
            const int at = open.lastIndexOf(name);
            if (at >= 0)
                open.remove(at);
            continue;
        }
        const char *close = static_cast<const char *>(memchr(data + marker.position, '>', size_t(size - marker.position)));
        const bool selfClosed = close && close[-1] == '/';
        if (!selfClosed && name != ownName && name != rootName)
            open.append(name);
    }
    QStringList names;
    for (const QByteArray &name : open)
        if (!names.contains(QString::fromLatin1(name)))
            names.append(QString::fromLatin1(name));
    return names;
}
