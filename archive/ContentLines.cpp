#include "archive/ContentLines.h"

#include <QDateTime>

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
    return text.size() == 15
           && QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyyMMdd'T'HHmmss")).isValid();
}

QByteArray stampLine(const QByteArray &utcStamp)
{
    return "DTSTAMP:" + (isCompactStamp(utcStamp) ? utcStamp : QByteArray("19700101T000000")) + 'Z';
}
