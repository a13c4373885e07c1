#include "archive/ContentLines.h"

#include "parsers/TimeConverter.h"

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
    MomentFields fields;
    return readCompactMoment(text.constData(), text.size(), &fields) && utcMomentOf(fields).isValid();
}

QDateTime compactStampUtc(QByteArray stamp)
{
    if (stamp.endsWith('Z'))
        stamp.chop(1);
    MomentFields fields;
    return readCompactMoment(stamp.constData(), stamp.size(), &fields) ? utcMomentOf(fields) : QDateTime();
}

QByteArray stampLine(const QByteArray &utcStamp)
{
    return "DTSTAMP:" + (isCompactStamp(utcStamp) ? utcStamp : QByteArray("19700101T000000")) + 'Z';
}
