#include "parsers/ZoneRules.h"

#include "parsers/TimeConverter.h"

#include <QRegularExpression>
#include <QStringList>

namespace {
const char *const kDayNames[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"}; // Qt's 1 … 7

// Content lines with their continuations joined, whatever the line ends.
QStringList unfoldedLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!lines.isEmpty() && (line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))))
            lines.last() += line.mid(1);
        else
            lines.append(line);
    }
    return lines;
}

// "NAME;PARAM=x:value": the name in upper case and the value.
void splitLine(const QString &line, QString *name, QString *value)
{
    const int colon = line.indexOf(QLatin1Char(':'));
    const QString head = colon < 0 ? line : line.left(colon);
    *name = head.section(QLatin1Char(';'), 0, 0).trimmed().toUpper();
    *value = colon < 0 ? QString() : line.mid(colon + 1).trimmed();
}

// +HHMM or -HHMMSS as seconds east of UTC.
bool readOffset(const QString &text, int *seconds)
{
    static const QRegularExpression shape(QStringLiteral("^([+-])(\\d\\d)(\\d\\d)(\\d\\d)?$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch() || match.captured(2).toInt() > 23 || match.captured(3).toInt() > 59)
        return false;
    const int value = match.captured(2).toInt() * 3600 + match.captured(3).toInt() * 60 + match.captured(4).toInt();
    *seconds = match.captured(1) == QLatin1String("-") ? -value : value;
    return true;
}

QDateTime readStamp(QString text)
{
    if (text.endsWith(QLatin1Char('Z')))
        text.chop(1);
    // Read as UTC from the start: read as the machine's local time, a stamp in the
    // machine's daylight-saving gap would be moved or lost.
    QByteArray stamp = text.toLatin1();
    if (stamp.size() == 8)
        stamp += "T000000";
    MomentFields fields;
    return readCompactMoment(stamp.constData(), stamp.size(), &fields) ? utcMomentOf(fields) : QDateTime();
}

QByteArray offsetText(int seconds)
{
    const int magnitude = qAbs(seconds);
    QByteArray text = (seconds < 0 ? "-" : "+")
                      + QByteArray::number(magnitude / 3600).rightJustified(2, '0')
                      + QByteArray::number(magnitude / 60 % 60).rightJustified(2, '0');
    if (magnitude % 60)
        text += QByteArray::number(magnitude % 60).rightJustified(2, '0');
    return text;
}

QByteArray stampText(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

// A name that can stand as a TZID parameter and property value without quoting or escaping.
QString safeIdentifier(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("[\",;:\\\\\\x00-\\x1f\\x7f]")));
    return text.trimmed();
}
} // namespace

QDateTime ZoneRules::Observance::onsetIn(int year) const
{
    if (!yearly)
        return start.date().year() == year ? start : QDateTime();
    QDate day;
    if (monthDay > 0) {
        day = QDate(year, month, monthDay);
    } else if (weekOrdinal > 0) {
        day = QDate(year, month, 1);
        day = day.addDays((weekday - day.dayOfWeek() + 7) % 7 + 7 * (weekOrdinal - 1));
    } else {
        day = QDate(year, month, 1).addMonths(1).addDays(-1);
        day = day.addDays(-((day.dayOfWeek() - weekday + 7) % 7) - 7 * (-weekOrdinal - 1));
    }
    if (!day.isValid() || day.month() != month)
        return QDateTime();
    const QDateTime onset(day, start.time(), Qt::UTC);
    return onset < start ? QDateTime() : onset;
}

ZoneRules ZoneRules::fromIcs(const QString &icsText)
{
    ZoneRules zone;
    QString tzid, databaseName;
    bool inZone = false, failed = false;
    Observance *current = nullptr;
    QVector<Observance> observances;
    bool haveFrom = false, haveTo = false;
    QTime ruleTime; // BYHOUR, BYMINUTE, BYSECOND of the observance's rule, where it gives them
    for (const QString &line : unfoldedLines(icsText)) {
        QString name, value;
        splitLine(line, &name, &value);
        if (name == QLatin1String("BEGIN") && value.compare(QLatin1String("VTIMEZONE"), Qt::CaseInsensitive) == 0) {
            inZone = true;
        } else if (!inZone) {
            continue;
        } else if (name == QLatin1String("END") && value.compare(QLatin1String("VTIMEZONE"), Qt::CaseInsensitive) == 0) {
            break;
        } else if (name == QLatin1String("BEGIN")) {
            const QString kind = value.toUpper();
            if (current || (kind != QLatin1String("STANDARD") && kind != QLatin1String("DAYLIGHT"))) {
                failed = true;
                break;
            }
            observances.append(Observance());
            current = &observances.last();
            current->daylight = kind == QLatin1String("DAYLIGHT");
            haveFrom = haveTo = false;
            ruleTime = QTime();
        } else if (name == QLatin1String("END")) {
            if (!current || !current->start.isValid() || !haveFrom || !haveTo) {
                failed = true;
                break;
            }
            if (ruleTime.isValid())
                current->start.setTime(ruleTime);
            current = nullptr;
        } else if (!current) {
            if (name == QLatin1String("TZID"))
                tzid = value;
            else if (name == QLatin1String("X-ENTOURAGE-CFTIMEZONE"))
                databaseName = value;
        } else if (name == QLatin1String("DTSTART")) {
            current->start = readStamp(value);
        } else if (name == QLatin1String("TZOFFSETFROM")) {
            haveFrom = readOffset(value, &current->offsetFrom);
        } else if (name == QLatin1String("TZOFFSETTO")) {
            haveTo = readOffset(value, &current->offsetTo);
        } else if (name == QLatin1String("TZNAME")) {
            current->name = value;
        } else if (name == QLatin1String("RRULE")) {
            int hour = -1, minute = -1, second = -1;
            bool yearly = false;
            for (const QString &part : value.toUpper().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QString key = part.section(QLatin1Char('='), 0, 0);
                const QString setting = part.section(QLatin1Char('='), 1);
                bool ok = true;
                if (key == QLatin1String("FREQ")) {
                    yearly = setting == QLatin1String("YEARLY");
                    ok = yearly;
                } else if (key == QLatin1String("INTERVAL")) {
                    ok = setting.toInt() == 1;
                } else if (key == QLatin1String("BYMONTH")) {
                    current->month = setting.toInt(&ok);
                    ok = ok && current->month >= 1 && current->month <= 12;
                } else if (key == QLatin1String("BYMONTHDAY")) {
                    current->monthDay = setting.toInt(&ok);
                    ok = ok && current->monthDay >= 1 && current->monthDay <= 31;
                } else if (key == QLatin1String("BYDAY")) {
                    static const QRegularExpression day(QStringLiteral("^([+-]?[1-5])(SU|MO|TU|WE|TH|FR|SA)$"));
                    const QRegularExpressionMatch match = day.match(setting);
                    ok = match.hasMatch();
                    if (ok) {
                        current->weekOrdinal = match.captured(1).toInt();
                        for (int d = 0; d < 7; ++d)
                            if (match.captured(2) == QLatin1String(kDayNames[d]))
                                current->weekday = d + 1;
                    }
                } else if (key == QLatin1String("BYHOUR")) {
                    hour = setting.toInt(&ok);
                } else if (key == QLatin1String("BYMINUTE")) {
                    minute = setting.toInt(&ok);
                } else if (key == QLatin1String("BYSECOND")) {
                    second = setting.toInt(&ok);
                } else if (key == QLatin1String("UNTIL")) {
                    current->until = readStamp(setting);
                    ok = current->until.isValid();
                } else if (key != QLatin1String("WKST")) {
                    ok = false;
                }
                if (!ok) {
                    failed = true;
                    break;
                }
            }
            if (hour >= 0 || minute >= 0 || second >= 0)
                ruleTime = QTime(qMax(hour, 0), qMax(minute, 0), qMax(second, 0));
            if (failed || !yearly || !current->month || (!current->monthDay && !current->weekday)
                || hour > 23 || minute > 59 || second > 59) {
                failed = true;
                break;
            }
            current->yearly = true;
        } else if (name == QLatin1String("RDATE") || name == QLatin1String("EXDATE")) {
            failed = true;
            break;
        }
    }
    if (failed || current || observances.isEmpty())
        return ZoneRules();
    zone.m_id = safeIdentifier(databaseName);
    if (zone.m_id.isEmpty())
        zone.m_id = safeIdentifier(tzid);
    if (zone.m_id.isEmpty())
        return ZoneRules();
    zone.m_observances = observances;
    return zone;
}

ZoneRules ZoneRules::fixedOffset(int minutes)
{
    ZoneRules zone;
    const int magnitude = qAbs(minutes);
    zone.m_id = QStringLiteral("UTC%1%2%3")
                    .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                    .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
                    .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    Observance standard;
    standard.start = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC);
    standard.offsetFrom = standard.offsetTo = minutes * 60;
    zone.m_observances.append(standard);
    return zone;
}

int ZoneRules::offsetSecondsAt(const QDateTime &utc) const
{
    QDateTime latest;
    int offset = m_observances.isEmpty() ? 0 : m_observances.first().offsetFrom;
    for (const Observance &observance : m_observances) {
        const int firstYear = observance.yearly ? utc.date().year() - 1 : observance.start.date().year();
        const int lastYear = observance.yearly ? utc.date().year() + 1 : firstYear;
        for (int year = firstYear; year <= lastYear; ++year) {
            const QDateTime onset = observance.onsetIn(year);
            if (!onset.isValid())
                continue;
            const QDateTime onsetUtc = onset.addSecs(-observance.offsetFrom);
            if (observance.until.isValid() && onsetUtc > observance.until)
                continue;
            if (onsetUtc <= utc && (!latest.isValid() || onsetUtc > latest)) {
                latest = onsetUtc;
                offset = observance.offsetTo;
            }
        }
    }
    return offset;
}

QDateTime ZoneRules::localTime(const QDateTime &utc) const
{
    QDateTime local = utc.toUTC().addSecs(offsetSecondsAt(utc.toUTC()));
    local.setTimeSpec(Qt::UTC);
    return local;
}

QDateTime ZoneRules::utcTime(const QDateTime &local) const
{
    QDateTime wall = local;
    wall.setTimeSpec(Qt::UTC);
    // The offset in force depends on the answer; two rounds settle it (a time that the
    // clocks skip takes the offset before the change).
    QDateTime utc = wall.addSecs(-offsetSecondsAt(wall));
    utc = wall.addSecs(-offsetSecondsAt(utc));
    return utc;
}

QByteArray ZoneRules::vtimezone() const
{
    QByteArray text = "BEGIN:VTIMEZONE\r\nTZID:" + m_id.toUtf8() + "\r\n";
    for (const Observance &observance : m_observances) {
        const QByteArray kind = observance.daylight ? "DAYLIGHT" : "STANDARD";
        // The first onset the rule gives, so that readers need not reconcile the two.
        QDateTime first = observance.start;
        if (observance.yearly) {
            for (int year = observance.start.date().year(); year <= observance.start.date().year() + 1; ++year) {
                first = observance.onsetIn(year);
                if (first.isValid())
                    break;
            }
            if (!first.isValid())
                first = observance.start;
        }
        text += "BEGIN:" + kind + "\r\nDTSTART:" + stampText(first) + "\r\nTZOFFSETFROM:"
                + offsetText(observance.offsetFrom) + "\r\nTZOFFSETTO:" + offsetText(observance.offsetTo) + "\r\n";
        if (observance.yearly) {
            text += "RRULE:FREQ=YEARLY;BYMONTH=" + QByteArray::number(observance.month);
            if (observance.monthDay)
                text += ";BYMONTHDAY=" + QByteArray::number(observance.monthDay);
            else
                text += ";BYDAY=" + QByteArray::number(observance.weekOrdinal) + kDayNames[observance.weekday - 1];
            if (observance.until.isValid())
                text += ";UNTIL=" + stampText(observance.until) + "Z";
            text += "\r\n";
        }
        const QString name = safeIdentifier(observance.name);
        if (!name.isEmpty())
            text += "TZNAME:" + name.toUtf8() + "\r\n";
        text += "END:" + kind + "\r\n";
    }
    return text + "END:VTIMEZONE\r\n";
}

ZoneRules rulesOfZoneText(const QString &icsText)
{
    struct Read {
        QString text;
        ZoneRules rules;
    };
    constexpr int kRemembered = 8;
    thread_local QVector<Read> remembered;
    for (const Read &read : remembered)
        if (read.text == icsText)
            return read.rules;
    const ZoneRules rules = ZoneRules::fromIcs(icsText);
    if (remembered.size() == kRemembered)
        remembered.removeFirst();
    remembered.append({icsText, rules});
    return rules;
}
