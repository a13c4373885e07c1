#include "parsers/RecordText.h"

QString ownedText(const char *text, FieldEncoding encoding)
{
    if (!text)
        return QString();
    return encoding == FieldEncoding::Utf8 ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

QStringList joinedListValues(const QString &joined)
{
    QStringList parts = joined.split(QLatin1Char(';'));
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

QByteArray uuidText(const QByteArray &identifier)
{
    QByteArray text = identifier.toUpper();
    if (text.size() == 32) {
        for (int at : {20, 16, 12, 8})
            text.insert(at, '-');
    }
    return text;
}
