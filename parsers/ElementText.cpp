#include "parsers/ElementText.h"

#include <QUuid>
#include <cstring>

namespace {
// Bytes of the start tag after its marker ("xml:space=\"preserve\">") that are skipped unchecked.
constexpr qint64 kStartTagRest = 22;
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
    const int s = item.indexOf(startMarker);
    const int e = item.indexOf(endMarker);
    if (s < 0 || e < 0)
        return value;
    value.found = true;
    const qint64 start = qint64(s) + startMarker.size() + kStartTagRest;
    if (start > item.size())
        return value; // nothing to cut: an empty value
    qint64 length = qint64(e) - start;
    if (length < 0 || start + length > item.size())
        length = item.size() - start;
    value.start = start;
    value.size = length;
    value.bytes = item.mid(int(start), int(length));
    return value;
}

bool GetElementText(const QByteArray &item, const char *name, QString *text, bool trim)
{
    const ElementValue value = findElement(item, name);
    if (!value.found)
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
