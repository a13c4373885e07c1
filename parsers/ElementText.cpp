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

ElementValue findElement(const QByteArray &item, const char *name)
{
    ElementValue value;
    const QByteArray startMarker = QByteArray("<") + name;
    const QByteArray endMarker = QByteArray("</") + name + '>';
    const int s = indexOfTag(item, startMarker);
    const int e = indexOfTag(item, endMarker);
    if (s < 0 || e < 0)
        return value;
    value.found = true;
    const qint64 start = qint64(s) + startMarker.size() + kStartTagRest;
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

FileText findFileText(const DocumentItem &item, const char *name)
{
    FileText text;
    const ElementValue value = findElement(item.bytes, name);
    // A negative size would send the readers outside the element, so such a text counts as absent.
    if (!value.found || value.endBeforeStart || QString::fromUtf8(value.bytes).trimmed().isEmpty())
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
    *text = QString::fromUtf8(value.bytes);
    if (trim)
        *text = text->trimmed();
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

QByteArray encodeForField(const QString &text, FieldEncoding encoding)
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
