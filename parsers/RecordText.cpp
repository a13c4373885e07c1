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
