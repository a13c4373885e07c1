#include "parsers/ElementText.h"

#include <QUuid>
#include <climits>
#include <cstring>

namespace {
// Bytes of the start tag after its marker ("xml:space=\"preserve\">") that are skipped unchecked.
constexpr qint64 kStartTagRest = 22;

// First occurrence of a marker that begins with "<". Only the "<" bytes are
// candidates, and memchr passes over long texts without one (pictures, escaped
// bodies) far faster than a general substring search, which matters because
// every element of an item's table searches the whole item.
int indexOfTag(const QByteArray &bytes, const QByteArray &marker)
{
    const char *data = bytes.constData();
    const char *const end = data + bytes.size();
    const size_t length = size_t(marker.size());
    for (const char *at = data; size_t(end - at) >= length; ++at) {
        at = static_cast<const char *>(memchr(at, '<', size_t(end - at) - length + 1));
        if (!at)
            return -1;
        if (memcmp(at, marker.constData(), length) == 0)
            return int(at - data);
    }
    return -1;
}
}

QVector<DocumentItem> splitDocumentItems(const char *document, qint64 documentSize,
                                         qint64 documentEnd, const char *itemEndTag)
{
    QVector<DocumentItem> items;
    if (!document || documentSize <= 0)
        return items;
    const QByteArray whole = QByteArray::fromRawData(document, int(qMin<qint64>(documentSize, INT_MAX)));
    const QByteArray tag(itemEndTag);
    const qint64 documentStart = documentEnd - whole.size();
    int from = 0;
    for (;;) {
        const int at = whole.indexOf(tag, from);
        if (at < 0)
            break;
        items.append({QByteArray::fromRawData(document + from, at - from), documentStart + from});
        from = at + tag.size();
    }
    return items;
}

namespace {
// Cuts the value between the start marker at s and the end marker at e.
ElementValue cutElement(const QByteArray &item, int s, int e, int startMarkerLength)
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
    value.bytes = item.mid(int(start), int(length));
    return value;
}

int indexOfIndexedTag(const DocumentItem &item, const QByteArray &marker)
{
    const char *data = item.bytes.constData();
    const int size = item.bytes.size();
    const int length = marker.size();
    // Element names share long prefixes: their last bytes tell them apart first.
    const char last = marker.at(length - 1);
    for (int at : item.tagStarts)
        if (size - at >= length && data[at + length - 1] == last
            && memcmp(data + at, marker.constData(), size_t(length)) == 0)
            return at;
    return -1;
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

QString valueText(const ElementValue &value, bool trim)
{
    const QString text = QString::fromUtf8(value.bytes);
    return trim ? text.trimmed() : text;
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
    if (!item.tagsIndexed) {
        const char *data = item.bytes.constData();
        const char *const end = data + item.bytes.size();
        for (const char *at = data; at < end; ++at) {
            at = static_cast<const char *>(memchr(at, '<', size_t(end - at)));
            if (!at)
                break;
            item.tagStarts.append(int(at - data));
        }
        item.tagsIndexed = true;
    }
    const QByteArray startMarker = startMarkerOf(name);
    return cutElement(item.bytes, indexOfIndexedTag(item, startMarker),
                      indexOfIndexedTag(item, endMarkerOf(name)), startMarker.size());
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
    const ElementValue value = findElement(item, name);
    // An end marker before the value would hand on the rest of the item: the field stays empty.
    if (!value.found || value.endBeforeStart)
        return false;
    *text = valueText(value, trim);
    return true;
}

bool GetElementText(const DocumentItem &item, const char *name, QString *text, bool trim)
{
    const ElementValue value = findElement(item, name);
    if (!value.found || value.endBeforeStart)
        return false;
    *text = valueText(value, trim);
    return true;
}

QString DecodeEntities(QString text, GtEntity gt)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    if (gt == GtEntity::Decode)
        text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    return text;
}

static QByteArray encodeForField(const QString &text, FieldEncoding encoding)
{
    // toLatin1 turns characters outside Latin-1 into question marks.
    return encoding == FieldEncoding::Utf8 ? text.toUtf8() : text.toLatin1();
}

bool CopyToField(char *field, int width, const QString &text, FieldEncoding encoding)
{
    const QByteArray bytes = encodeForField(text, encoding);
    if (bytes.isEmpty() || bytes.size() >= width)
        return false;
    memcpy(field, bytes.constData(), size_t(bytes.size()));
    field[bytes.size()] = '\0';
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

QString midOrEmpty(const QString &text, int start, int length)
{
    if (start < 0 || start > text.size())
        return QString();
    return text.mid(start, length);
}

QByteArray newIdentifier(bool upperCase)
{
    QByteArray digits = QUuid::createUuid().toByteArray(QUuid::Id128);
    return upperCase ? digits.toUpper() : digits;
}
