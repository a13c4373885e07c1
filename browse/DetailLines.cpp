#include "browse/DetailLines.h"

#include "archive/ContentLines.h"
#include "archive/StandardFormat.h"
#include "browse/QPreviewOfItems.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"
#include "parsers/RecurrenceWords.h"
#include "parsers/ZoneRules.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

namespace {
QString tr(const char *text) { return QCoreApplication::translate("QPreviewOfItems", text); }

template <int Width>
QString text(const char (&field)[Width])
{
    return utf8OrLatin1Field(field, Width);
}

template <int Width>
QDateTime utcStamp(const char (&field)[Width])
{
    return compactStampUtc(latin1Field(field).toLatin1());
}

// The machine's local reading of a moment, with the zone's abbreviation.
QString localMomentText(const QDateTime &utc)
{
    if (!utc.isValid())
        return QString();
    const QDateTime local = utc.toLocalTime();
    return momentText(local) + QLatin1Char(' ') + local.timeZoneAbbreviation();
}

// "UTC-07:00", "UTC+05:30", "UTC".
QString offsetText(int seconds)
{
    if (seconds == 0)
        return QStringLiteral("UTC");
    const int minutes = qAbs(seconds) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// "Mountain Time (US & Canada)" of "(UTC-07:00) Mountain Time (US & Canada)": the offset the name
// starts with is that of winter, so the moment's own is shown instead. The zone's identifier
// where the export names none.
QString zoneNameOf(const EventDetails &details, const ZoneRules &zone)
{
    if (details.zoneName.isEmpty())
        return zone.id();
    static const QRegularExpression offsetPrefix(QStringLiteral("^\\s*\\(UTC[^)]*\\)\\s*"));
    return QString(details.zoneName).remove(offsetPrefix);
}

QString yesOrNo(bool yes) { return yes ? tr("Yes") : tr("No"); }

// Exports keep an all-day event as local midnights in UTC, read in the event's zone.
EventDays daysOf(const QDateTime &start, const QDateTime &end, const ZoneRules &zone)
{
    const auto dayOf = [&zone](const QDateTime &moment) { return zone.dayOfMidnight(moment); };
    const QDate first = dayOf(start);
    // The end is the midnight after the last day.
    return {first, end.isValid() && dayOf(end) > first ? dayOf(end).addDays(-1) : first};
}

QString attendeesText(const CalenderInformation &event, const EventDetails &details)
{
    QStringList shown;
    for (const MailAddress &attendee : details.attendees)
        shown.append(attendee.name.isEmpty() || attendee.name == attendee.address
                         ? attendee.address
                         : attendee.name + QLatin1String(" <") + attendee.address + QLatin1Char('>'));
    // A record read without its details still has its joined list.
    if (shown.isEmpty())
        shown = joinedListValues(text(event.AttendeeAddresses));
    return shown.join(QLatin1String("; "));
}

// A task's moment: the export's own UTC time in local time, else the record's compact local
// stamp (which the scan made from the same time); empty when neither reads.
template <int Width>
QString taskMomentText(const QDateTime &utc, const char (&localStamp)[Width])
{
    if (utc.isValid())
        return momentText(utc.toLocalTime());
    const QDateTime local = QDateTime::fromString(latin1Field(localStamp), QStringLiteral("yyyyMMdd'T'HHmmss"));
    return local.isValid() ? momentText(local) : QString();
}
} // namespace

QString momentText(const QDateTime &moment)
{
    const QLocale locale;
    return locale.toString(moment.date(), QLocale::LongFormat) + QLatin1Char(' ')
           + locale.toString(moment.time(), QLocale::ShortFormat);
}

QString dayText(const QDate &date)
{
    return date.isValid() ? QLocale().toString(date, QLocale::LongFormat) : QString();
}

EventDays allDayEventDays(const CalenderInformation &event, const EventDetails &details)
{
    const QDateTime start = utcStamp(event.StartUtc);
    if (!isAllDay(event, details) || !start.isValid())
        return {};
    return daysOf(start, utcStamp(event.EndUtc), eventDayZone(details));
}

QVector<DetailLine> eventLines(const CalenderInformation &event, const EventDetails &details)
{
    QVector<DetailLine> lines;
    const QDateTime start = utcStamp(event.StartUtc);
    const QDateTime end = utcStamp(event.EndUtc);
    const bool namesZone = !details.zoneText.isEmpty() || details.hasZoneOffset;
    const ZoneRules zone = eventDayZone(details);
    if (isAllDay(event, details) && start.isValid()) {
        const EventDays days = daysOf(start, end, zone);
        lines.append({tr("All day : "), days.last == days.first ? dayText(days.first)
                                                                : tr("%1 to %2").arg(dayText(days.first), dayText(days.last))});
    } else if (namesZone) {
        const QString zoneName = zoneNameOf(details, zone);
        // With the distance from UTC of that moment, which daylight saving changes.
        const auto inZone = [&](const QDateTime &moment) {
            if (!moment.isValid())
                return QString();
            const QString offset = offsetText(zone.offsetSecondsAt(moment));
            return momentText(zone.localTime(moment)) + QLatin1String(" (")
                   + (zoneName.isEmpty() ? offset : offset + QLatin1String(", ") + zoneName) + QLatin1Char(')');
        };
        lines.append({tr("Start : "), inZone(start)});
        lines.append({tr("End : "), inZone(end)});
        // The local reading only where it differs from the zone's.
        const bool sameReading = start.isValid() && zone.offsetSecondsAt(start) == start.toLocalTime().offsetFromUtc();
        if (!sameReading) {
            lines.append({tr("Start, local time : "), localMomentText(start)});
            lines.append({tr("End, local time : "), localMomentText(end)});
        }
    } else {
        lines.append({tr("Start : "), localMomentText(start)});
        lines.append({tr("End : "), localMomentText(end)});
    }
    lines.append({tr("Repeats : "), recurrenceInWords(details.recurrence)});
    lines.append({tr("Organizer : "), text(event.Organizer)});
    lines.append({tr("Attendees : "), attendeesText(event, details)});
    lines.append({tr("Categories : "), details.categories.join(QLatin1String(", "))});
    if (details.isPrivate)
        lines.append({tr("Private : "), yesOrNo(true)});
    return lines;
}

QVector<DetailLine> taskDateLines(const TasksInformation &task, const TaskDetails &details)
{
    return {{tr("Start Date : "), taskMomentText(details.startUtc, task.StartStamp)},
            {tr("Due Date : "), taskMomentText(details.dueUtc, task.DueStamp)}};
}

QVector<DetailLine> taskStateLines(const TaskDetails &details)
{
    return {{tr("Complete : "), yesOrNo(details.complete)},
            {tr("Completed On : "), details.completedUtc.isValid() ? momentText(details.completedUtc.toLocalTime()) : QString()},
            {tr("Repeats : "), recurrenceInWords(details.recurrence)},
            {tr("Categories : "), details.categories.join(QLatin1String(", "))}};
}

QVector<DetailLine> noteLines(const NotesInformation &note)
{
    const QDateTime modified = utcStamp(note.ModStampUtc);
    return {{tr("Date : "), modified.isValid() ? momentText(modified.toLocalTime()) : QString()}};
}

QString contactValue(const ContactDetails &details, const char *element, const QString &recordValue)
{
    const QString whole = details.texts.value(QByteArray(element));
    return whole.isEmpty() ? recordValue : whole;
}
