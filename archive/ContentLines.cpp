#include "archive/ContentLines.h"

QString escapedValue(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';')) {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (c == QLatin1Char('\r')) {
            escaped += QLatin1String("\\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            escaped += QLatin1String("\\n");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void ContentLines::add(const QByteArray &line)
{
    m_bytes += line;
    m_bytes += "\r\n";
}

void ContentLines::add(const QByteArray &name, const QString &value)
{
    m_bytes += name;
    m_bytes += value.toUtf8();
    m_bytes += "\r\n";
}

bool isCompactStamp(const QByteArray &text)
{
    if (text.size() != 15 || text.at(8) != 'T')
        return false;
    for (int i = 0; i < text.size(); ++i)
        if (i != 8 && (text.at(i) < '0' || text.at(i) > '9'))
            return false;
    return true;
}

QByteArray stampLine(const QByteArray &utcStamp)
{
    return "DTSTAMP:" + (isCompactStamp(utcStamp) ? utcStamp : QByteArray("19700101T000000")) + 'Z';
}
