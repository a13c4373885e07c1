#include "parsers/RecordText.h"

#include <QRegularExpression>

QString ownedText(const char *text, FieldEncoding encoding)
{
    if (!text)
        return QString();
    return encoding == FieldEncoding::Utf8 ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

QStringList joinedListPiecesKeepingReferences(const QString &joined)
{
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9A-Fa-f]{1,6}|amp|lt|gt|quot|apos|nbsp)$"));
    QStringList pieces;
    int valueStart = 0;
    for (int at = joined.indexOf(QLatin1Char(';')); at >= 0; at = joined.indexOf(QLatin1Char(';'), at + 1)) {
        const int ampersand = joined.lastIndexOf(QLatin1Char('&'), at);
        if (ampersand >= valueStart && reference.match(joined.mid(ampersand, at - ampersand)).hasMatch())
            continue;
        pieces.append(joined.mid(valueStart, at - valueStart));
        valueStart = at + 1;
    }
    pieces.append(joined.mid(valueStart));
    return pieces;
}

QStringList joinedListValues(const QString &joined)
{
    QStringList parts = joined.split(QLatin1Char(';'));
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

QString reducedSender(const QStringList &values)
{
    if (values.size() < 3)
        return values.join(QString());
    const QString &last = values.last();
    return last.isEmpty() ? values.at(values.size() - 2) : last.chopped(1);
}
