#pragma once
// Element dates (UTC, such as 2010-05-12T14:30:00) in the local-time text forms.
// Each function returns its own buffer, good until its next call on the same thread.
#include <QByteArray>
#include <QDateTime>
#include <QString>

extern QString prevTime; // twelve-hour form of the last timeconverter1 moment

const char *timeconverter(QString text);        // 20100512T200000
const char *timeconverterDUetask(QString text); // the same form, its own buffer
const char *timeconverter1(QString text);       // Wed, 12 May 2010 20:00:00 +0530
// timeconverter1's form and the twelve-hour one it leaves in prevTime, touching neither.
struct MessageTime {
    QByteArray stamp;      // Wed, 12 May 2010 20:00:00 +0530
    QByteArray twelveHour; // Wed, 12 May 2010 08:00:00 PM
};
MessageTime messageTime(const QString &text);
const char *timeconverterpre(QString text);     // 2010,May,12, 20:00:00

// The same reading kept in UTC, for lines that carry their zone: 20100512T143000.
QByteArray utcCompactStamp(const QString &text);
// The date of a date-only value (birthday, anniversary). Exports store the local
// midnight of the day as UTC, anywhere from twelve hours before to twelve hours
// after it, so the date twelve hours on is the day the user entered, whatever
// zone scans the file.
QByteArray utcCalendarDate(const QString &text);

// The form exports write, 2010-05-12T14:30:00, as its six numbers; false for any other text.
struct MomentFields {
    int year, month, day, hour, minute, second;
};
bool readPlainMoment(const QString &text, MomentFields *fields);
// The compact form, 20100512T143000, as its six numbers; false for any other text.
bool readCompactMoment(const char *text, int size, MomentFields *fields);
// The six numbers as a UTC moment, never through the machine's zone (where a moment in
// its daylight-saving gap would be lost); invalid unless they make a real date and time of day.
QDateTime utcMomentOf(const MomentFields &fields);
// An export time (2010-05-12T14:30:00, UTC; white space around it and anything after the
// seconds ignored) as a UTC moment; invalid when it does not read.
QDateTime exportTimeUtc(const QString &text);
