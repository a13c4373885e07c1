#include "parsers/TimeConverter.h"

#include <QDate>
#include <QStringList>
#include <QTime>
#include <cstring>
#include <ctime>

QString prevTime;

namespace {
// Names are fixed English whatever the user's locale: the forms end up in mail
// headers and output files, not only on screen.
const char *const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Piece i of a split text read as a decimal number; a missing or unreadable piece counts as 0.
int numberPiece(const QStringList &pieces, int i)
{
    return pieces.value(i).toInt(nullptr, 10);
}

bool hasFourDigitYear(const tm &local)
{
    const long long year = 1900LL + local.tm_year;
    return year >= 1000 && year <= 9999;
}

// The element text (UTC, year-month-dayThour:minute:second) as broken-down local time.
// Every form below is laid out for a four-digit year, so a moment that does not
// land in years 1000-9999 is taken like an invalid date: 1970-01-01 with the
// input's time of day.
// The element text as seconds since 1970 (UTC): days of a valid date, plus
// seconds of a valid time of day, each judged on its own.
struct ElementMoment {
    qint64 days;
    qint64 seconds;
};

MomentFields splitMoment(const QString &text)
{
    MomentFields fields;
    if (readPlainMoment(text, &fields))
        return fields;
    const QStringList parts = text.split(QLatin1Char('T'), Qt::KeepEmptyParts);
    const QStringList dateParts = parts.value(0).split(QLatin1Char('-'), Qt::KeepEmptyParts);
    const QStringList timeParts = parts.value(1).split(QLatin1Char(':'), Qt::KeepEmptyParts);
    return {numberPiece(dateParts, 0), numberPiece(dateParts, 1), numberPiece(dateParts, 2),
            numberPiece(timeParts, 0), numberPiece(timeParts, 1), numberPiece(timeParts, 2)};
}

ElementMoment readMoment(const QString &text)
{
    const MomentFields fields = splitMoment(text);
    const QDate date(fields.year, fields.month, fields.day);
    const QTime time(fields.hour, fields.minute, fields.second, 0);
    return {date.isValid() ? QDate(1970, 1, 1).daysTo(date) : 0,
            time.isValid() ? QTime(0, 0).secsTo(time) : 0};
}

using BrokenDown = tm *(*)(const time_t *, tm *);

tm brokenDown(const QString &text, BrokenDown convert, qint64 shiftSeconds = 0)
{
    const ElementMoment read = readMoment(text);
    tm result;
    std::memset(&result, 0, sizeof result);
    time_t moment = time_t(read.days * 86400 + read.seconds + shiftSeconds);
    if (convert(&moment, &result) && hasFourDigitYear(result))
        return result;
    moment = time_t(read.seconds + shiftSeconds);
    convert(&moment, &result);
    return result;
}

tm localMoment(const QString &text)
{
    return brokenDown(text, localtime_r);
}

int hour12(const tm &local)
{
    const int hour = local.tm_hour % 12;
    return hour == 0 ? 12 : hour;
}

int year(const tm &local)
{
    return 1900 + local.tm_year;
}

// The forms are written digit by digit: every number has a fixed width (the year
// has four digits, see brokenDown) and is not negative.
char *putNumber(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

char *putText(char *out, const char *text)
{
    while (*text)
        *out++ = *text++;
    return out;
}

// "+0530", "-0400": the local offset from UTC.
char *putOffset(char *out, const tm &local)
{
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    *out++ = offset < 0 ? '-' : '+';
    out = putNumber(out, int(magnitude / 3600 % 100), 2);
    return putNumber(out, int(magnitude / 60 % 60), 2);
}

// hh:mm:ss
char *putClock(char *out, int hour, const tm &local)
{
    out = putNumber(out, hour, 2);
    *out++ = ':';
    out = putNumber(out, local.tm_min, 2);
    *out++ = ':';
    return putNumber(out, local.tm_sec, 2);
}

void compactStamp(const tm &local, char (&out)[16])
{
    char *at = putNumber(out, year(local), 4);
    at = putNumber(at, local.tm_mon + 1, 2);
    at = putNumber(at, local.tm_mday, 2);
    *at++ = 'T';
    at = putNumber(at, local.tm_hour, 2);
    at = putNumber(at, local.tm_min, 2);
    at = putNumber(at, local.tm_sec, 2);
    *at = '\0';
}

const char *weekdayName(const tm &local)
{
    return kWeekdays[local.tm_wday];
}

const char *monthName(const tm &local)
{
    return kMonths[local.tm_mon];
}
} // namespace

// Each thread that converts has its own buffers: documents are parsed on several at once.
const char *timeconverter(QString text)
{
    thread_local char time_buf[16];
    compactStamp(localMoment(text), time_buf);
    return time_buf;
}

const char *timeconverterDUetask(QString text)
{
    thread_local char time_buf[16];
    compactStamp(localMoment(text), time_buf);
    return time_buf;
}

MessageTime messageTime(const QString &text)
{
    char result[40] = {};
    char twelveHour[40] = {};
    const tm local = localMoment(text);
    // "Wed, 12 May 2010 " in both forms, then the clock and the offset or AM/PM.
    char day[18];
    char *at = putText(day, weekdayName(local));
    at = putText(at, ", ");
    at = putNumber(at, local.tm_mday, 2);
    *at++ = ' ';
    at = putText(at, monthName(local));
    *at++ = ' ';
    at = putNumber(at, year(local), 4);
    *at++ = ' ';
    const size_t dayLength = size_t(at - day);
    std::memcpy(result, day, dayLength);
    at = putClock(result + dayLength, local.tm_hour, local);
    *at++ = ' ';
    putOffset(at, local);
    std::memcpy(twelveHour, day, dayLength);
    at = putClock(twelveHour + dayLength, hour12(local), local);
    *at++ = ' ';
    putText(at, local.tm_hour < 12 ? "AM" : "PM");
    return {QByteArray(result), QByteArray(twelveHour)};
}

const char *timeconverter1(QString text)
{
    thread_local char result[40];
    const MessageTime time = messageTime(text);
    qstrncpy(result, time.stamp.constData(), sizeof result);
    prevTime = QString::fromLatin1(time.twelveHour);
    return result;
}

const char *timeconverterpre(QString text)
{
    thread_local char buf1[22];
    const tm local = localMoment(text);
    char *at = putNumber(buf1, year(local), 4);
    *at++ = ',';
    at = putText(at, monthName(local));
    *at++ = ',';
    at = putNumber(at, local.tm_mday, 2);
    at = putText(at, ", ");
    at = putClock(at, local.tm_hour, local);
    *at = '\0';
    return buf1;
}

QByteArray utcCompactStamp(const QString &text)
{
    char stamp[16];
    compactStamp(brokenDown(text, gmtime_r), stamp);
    return QByteArray(stamp);
}

QByteArray utcCalendarDate(const QString &text)
{
    constexpr qint64 kHalfDay = 12 * 3600;
    const tm moment = brokenDown(text, gmtime_r, kHalfDay);
    char date[10];
    char *at = putNumber(date, year(moment), 4);
    *at++ = '-';
    at = putNumber(at, moment.tm_mon + 1, 2);
    *at++ = '-';
    putNumber(at, moment.tm_mday, 2);
    return QByteArray(date, int(sizeof date));
}

// Read without splitting.
bool readPlainMoment(const QString &text, MomentFields *fields)
{
    static const char kShape[] = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != int(sizeof kShape) - 1)
        return false;
    int values[6] = {};
    int field = 0;
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (kShape[i] != 'd') {
            if (c != ushort(kShape[i]))
                return false;
            ++field;
        } else if (c >= '0' && c <= '9') {
            values[field] = values[field] * 10 + (c - '0');
        } else {
            return false;
        }
    }
    *fields = {values[0], values[1], values[2], values[3], values[4], values[5]};
    return true;
}

bool readCompactMoment(const char *text, int size, MomentFields *fields)
{
    static const char kShape[] = "ddddddddTdddddd";
    if (size != int(sizeof kShape) - 1)
        return false;
    for (int i = 0; i < size; ++i) {
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i])
            return false;
    }
    const auto number = [text](int from, int digits) {
        int value = 0;
        for (int i = from; i < from + digits; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    *fields = {number(0, 4), number(4, 2), number(6, 2), number(9, 2), number(11, 2), number(13, 2)};
    return true;
}

QDateTime utcMomentOf(const MomentFields &fields)
{
    const QDate date(fields.year, fields.month, fields.day);
    const QTime time(fields.hour, fields.minute, fields.second);
    return date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

QDateTime exportTimeUtc(const QString &text)
{
    // The shape exports write is read by hand, straight as UTC: read as local time
    // first, a moment in the machine's daylight-saving gap would move, and every
    // reading would consult the system's zone.
    const QString trimmed = text.trimmed().left(19);
    MomentFields plain;
    if (readPlainMoment(trimmed, &plain))
        return utcMomentOf(plain);
    QDateTime moment = QDateTime::fromString(trimmed, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!moment.isValid())
        return QDateTime();
    moment.setTimeSpec(Qt::UTC);
    return moment;
}
