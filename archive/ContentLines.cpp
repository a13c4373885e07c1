#include "archive/ContentLines.h"

#include <QDateTime>

QByteArray contentLineText(const QByteArray &line)
{
    QByteArray text = line;
    for (char &c : text) {
        if ((uchar(c) < 0x20 && c != '\t') || uchar(c) == 0x7F)
            c = ' ';
    }
    return text;
}

void ContentLines::add(const QByteArray &line)
{
    m_bytes += contentLineText(line);
    m_bytes += "\r\n";
}

void ContentLines::add(const QByteArray &name, const QString &value)
{
    add(name + value.toUtf8());
}

bool isCompactStamp(const QByteArray &text)
{
    return text.size() == 15
           && QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyyMMdd'T'HHmmss")).isValid();
}

QDateTime compactStampUtc(QByteArray stamp)
{
    if (stamp.endsWith('Z'))
        stamp.chop(1);
    if (!isCompactStamp(stamp))
        return QDateTime();
    QDateTime moment = QDateTime::fromString(QString::fromLatin1(stamp), QStringLiteral("yyyyMMdd'T'HHmmss"));
    moment.setTimeSpec(Qt::UTC);
    return moment;
}

QByteArray stampLine(const QByteArray &utcStamp)
{
    return "DTSTAMP:" + (isCompactStamp(utcStamp) ? utcStamp : QByteArray("19700101T000000")) + 'Z';
}
