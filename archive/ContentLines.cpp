#include "archive/ContentLines.h"

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
