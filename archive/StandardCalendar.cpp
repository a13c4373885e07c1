// Events, tasks and notes as iCalendar 2.0 components. Times are in UTC, except those
// of repeating events, which stand in the event's own zone so that every occurrence
// keeps its local time across daylight-saving changes, and the days of tasks.
#include "archive/ContentLines.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"
#include "parsers/RecordText.h"

#include <QRegularExpression>

namespace {
const char *const kDayNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

class Component
{
public:
    explicit Component(const char *name) : m_name(name) { m_bytes = "BEGIN:" + m_name + "\r\n"; }
    void line(const QByteArray &nameAndParameters, const QByteArray &value)
    {
        m_bytes += foldedContentLine(nameAndParameters + ':' + value);
    }
    void text(const QByteArray &name, const QString &value)
    {
        if (!value.trimmed().isEmpty())
            line(name, escapedValue(value.trimmed()).toUtf8());
    }
    void list(const QByteArray &name, const QStringList &values)
    {
        QStringList escaped;
        for (const QString &value : values)
            escaped.append(escapedValue(value));
        if (!escaped.isEmpty())
            line(name, escaped.join(QLatin1Char(',')).toUtf8());
    }
    QByteArray finish() { return m_bytes + "END:" + m_name + "\r\n"; }

private:
    QByteArray m_name;
    QByteArray m_bytes;
};

QByteArray utcText(const QDateTime &moment)
{
    return moment.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray dateText(const QDate &date) { return date.toString(QStringLiteral("yyyyMMdd")).toLatin1(); }

// A record's compact UTC stamp (20100512T143000) as a moment; invalid when there is none.
template <int Width>
QDateTime utcStampOf(const char (&field)[Width])
{
    return compactStampUtc(latin1Field(field).toLatin1());
}

QByteArray localText(const QDateTime &local)
{
    return local.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1();
}

// The UNTIL of a rule whose last occurrence may fall on endDate, local to zone: the end of that day, in UTC.
QByteArray untilText(const QDate &endDate, const ZoneRules &zone)
{
    return endDate.isValid() ? utcText(zone.utcTime(QDateTime(endDate, QTime(23, 59, 59), Qt::UTC))) : QByteArray();
}

// The same item gives the same UID on every save; items read without details keep their record's.
template <int Width>
QByteArray stableUid(const char *kind, const QByteArray &identity, const char (&identifier)[Width])
{
    if (identity.isEmpty())
        return uidOf(identifier);
    return stableItemUuid(kind, identity).toString(QUuid::WithoutBraces).toUpper().toLatin1();
}

// Every component needs a stamp; items that carry none are stamped at the epoch.
QByteArray stampOf(const QDateTime &modified, const QDateTime &fallback)
{
    if (modified.isValid())
        return utcText(modified);
    if (fallback.isValid())
        return utcText(fallback);
    return "19700101T000000Z";
}


// A parameter value: quoted when it holds a separator; quotation marks cannot be kept.
QByteArray parameterValue(QString value)
{
    value.remove(QLatin1Char('"'));
    static const QRegularExpression lineBreaks(QStringLiteral("[\\r\\n\\t]+"));
    static const QRegularExpression separators(QStringLiteral("[,;:]"));
    value.replace(lineBreaks, QStringLiteral(" "));
    if (value.contains(separators))
        return '"' + value.toUtf8() + '"';
    return value.toUtf8();
}

QByteArray mailto(const QString &address) { return "mailto:" + address.trimmed().toUtf8(); }

void reminderBefore(Component &component, int seconds)
{
    if (seconds < 0)
        return;
    const QByteArray duration =
        seconds % 60 ? "-PT" + QByteArray::number(seconds) + "S" : "-PT" + QByteArray::number(seconds / 60) + "M";
    component.line("BEGIN", "VALARM");
    component.line("ACTION", "DISPLAY");
    component.line("DESCRIPTION", "Reminder");
    component.line("TRIGGER", duration);
    component.line("END", "VALARM");
}
} // namespace

QByteArray recurrenceRule(const Recurrence &recurrence, const QDate &localStart, const QByteArray &until)
{
    using Pattern = Recurrence::Pattern;
    if (!recurrence.repeats() || !localStart.isValid())
        return QByteArray();
    QByteArray rule = "FREQ=";
    switch (recurrence.pattern) {
    case Pattern::Daily: rule += "DAILY"; break;
    case Pattern::Weekly: rule += "WEEKLY"; break;
    case Pattern::Monthly:
    case Pattern::MonthNth: rule += "MONTHLY"; break;
    case Pattern::Yearly:
    case Pattern::YearNth: rule += "YEARLY"; break;
    case Pattern::None: return QByteArray();
    }
    if (recurrence.interval > 1)
        rule += ";INTERVAL=" + QByteArray::number(recurrence.interval);
    const int startDay = localStart.dayOfWeek() % 7;
    const auto dayList = [](int days) {
        QList<QByteArray> names;
        for (int day = 0; day < 7; ++day)
            if (days & (1 << day))
                names.append(kDayNames[day]);
        return names.join(',');
    };
    if (recurrence.pattern == Pattern::Yearly || recurrence.pattern == Pattern::YearNth)
        rule += ";BYMONTH=" + QByteArray::number(recurrence.month ? recurrence.month : localStart.month());
    switch (recurrence.pattern) {
    case Pattern::Weekly:
        rule += ";BYDAY=" + dayList(recurrence.daysOfWeek ? recurrence.daysOfWeek : 1 << startDay) + ";WKST=SU";
        break;
    case Pattern::Monthly:
    case Pattern::Yearly:
        rule += ";BYMONTHDAY=" + QByteArray::number(recurrence.dayOfMonth ? recurrence.dayOfMonth : localStart.day());
        break;
    case Pattern::MonthNth:
    case Pattern::YearNth: {
        // "The second Tuesday", "the last weekday": without a week of their own, the start's.
        const int week = recurrence.instance ? recurrence.instance : (localStart.day() - 1) / 7 + 1;
        const QByteArray position = week == 5 ? "-1" : QByteArray::number(week);
        const int days = recurrence.daysOfWeek ? recurrence.daysOfWeek : 1 << startDay;
        if (days & (days - 1))
            rule += ";BYDAY=" + dayList(days) + ";BYSETPOS=" + position;
        else
            rule += ";BYDAY=" + position + dayList(days);
        break;
    }
    default: break;
    }
    if (recurrence.occurrences > 0)
        rule += ";COUNT=" + QByteArray::number(recurrence.occurrences);
    else if (!until.isEmpty())
        rule += ";UNTIL=" + until;
    return rule;
}

ZoneRules eventDayZone(const EventDetails &details)
{
    const ZoneRules zone = rulesOfZoneText(details.zoneText);
    if (zone.isValid())
        return zone;
    return ZoneRules::fixedOffset(details.hasZoneOffset ? details.zoneOffsetMinutes : 0);
}

ZoneRules eventZone(const CalenderInformation &event, const EventDetails &details)
{
    const bool allDay = isAllDay(event, details);
    if (!details.recurrence.repeats() || allDay || !utcStampOf(event.StartUtc).isValid())
        return ZoneRules();
    const ZoneRules zone = rulesOfZoneText(details.zoneText);
    if (zone.isValid())
        return zone;
    // Without rules of its own, the distance from UTC that the zone's name gives still
    // keeps the pattern's weekdays those of the event.
    if (details.hasZoneOffset && details.zoneOffsetMinutes != 0)
        return ZoneRules::fixedOffset(details.zoneOffsetMinutes);
    return ZoneRules();
}

QByteArray standardCalendarBegin()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Mendora//Standard export//EN\r\nCALSCALE:GREGORIAN\r\n";
}

QByteArray standardCalendarEnd() { return "END:VCALENDAR\r\n"; }

QByteArray standardEvent(const CalenderInformation &event, const EventDetails &details, const TextReader &olm)
{
    Component component("VEVENT");
    const QDateTime start = utcStampOf(event.StartUtc);
    const QDateTime end = utcStampOf(event.EndUtc);
    if (!details.ownUid.isEmpty())
        component.line("UID", escapedValue(details.ownUid).toUtf8());
    else
        component.line("UID", stableUid("event", itemIdentity(details.place, olm), event.Identifier));
    component.line("DTSTAMP", stampOf(utcStampOf(event.ModStampUtc), start));
    const bool allDay = isAllDay(event, details);
    const Recurrence &recurrence = details.recurrence;
    QByteArray rule;
    if (allDay && start.isValid()) {
        // Exports keep an all-day event as local midnights in UTC. Its days are read in the event's
        // zone: UTC alone would put the days of zones twelve or more hours ahead (Auckland in
        // summer) on the day before.
        const ZoneRules zone = eventDayZone(details);
        const auto dayOf = [&zone](const QDateTime &moment) { return zone.dayOfMidnight(moment); };
        const QDate first = dayOf(start);
        QDate after = end.isValid() ? dayOf(end) : first.addDays(1);
        if (after <= first)
            after = first.addDays(1);
        component.line("DTSTART;VALUE=DATE", dateText(first));
        component.line("DTEND;VALUE=DATE", dateText(after));
        // A date-valued start takes a date-valued end of the rule.
        const QDate endDate = recurrence.endUtc.isValid() ? dayOf(recurrence.endUtc) : recurrence.endDate;
        rule = recurrenceRule(recurrence, first, endDate.isValid() ? dateText(endDate) : "");
    } else if (const ZoneRules zone = eventZone(event, details); zone.isValid()) {
        const QByteArray tzid = ";TZID=" + zone.id().toUtf8();
        const QDateTime localStart = zone.localTime(start);
        component.line("DTSTART" + tzid, localText(localStart));
        if (end.isValid() && end >= start)
            component.line("DTEND" + tzid, localText(zone.localTime(end)));
        // The end date is the local midnight of its day.
        const QDate endDate = recurrence.endUtc.isValid() ? zone.dayOfMidnight(recurrence.endUtc) : recurrence.endDate;
        rule = recurrenceRule(recurrence, localStart.date(), untilText(endDate, zone));
    } else if (start.isValid()) {
        component.line("DTSTART", utcText(start));
        if (end.isValid() && end >= start)
            component.line("DTEND", utcText(end));
        rule = recurrenceRule(recurrence, start.date(), untilText(recurrence.endDate, ZoneRules::fixedOffset(0)));
    }
    // A summary too long for the record's field comes whole from the item.
    component.text("SUMMARY", event.Summary[0] ? decodeXmlText(utf8Field(event.Summary)) : details.summary);
    component.text("LOCATION", decodeXmlText(utf8Field(event.Location)));
    if (event.DescriptionSize > 0)
        component.text("DESCRIPTION", readableText(fileStretchText(olm, event.DescriptionOffset, event.DescriptionSize)));
    const QString organizer = utf8Field(event.Organizer).trimmed();
    if (!organizer.isEmpty())
        component.line("ORGANIZER", mailto(organizer));
    for (const MailAddress &attendee : details.attendees) {
        QByteArray parameters = "ATTENDEE;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION";
        if (!attendee.name.isEmpty() && attendee.name != attendee.address)
            parameters += ";CN=" + parameterValue(attendee.name);
        component.line(parameters, mailto(attendee.address));
    }
    component.list("CATEGORIES", details.categories);
    if (details.isPrivate)
        component.line("CLASS", "PRIVATE");
    if (latin1Field(event.FreeBusy) == QLatin1String("1"))
        component.line("TRANSP", "TRANSPARENT");
    if (!rule.isEmpty())
        component.line("RRULE", rule);
    reminderBefore(component, details.reminderSeconds);
    return component.finish();
}

QByteArray standardTodo(const TasksInformation &task, const TaskDetails &details, const TextReader &olm)
{
    Component component("VTODO");
    const QDate &start = details.startDay;
    const QDate &due = details.dueDay;
    // A start after the due day is not allowed; the due day is what a reader needs.
    const bool withStart = start.isValid() && (!due.isValid() || start <= due);
    // A repeating task needs a start for its rule; one with only a due date repeats from it.
    const QDate ruleStart = withStart ? start : (details.recurrence.repeats() ? due : QDate());
    component.line("UID", stableUid("task", itemIdentity(details.place, olm), task.Identifier));
    component.line("DTSTAMP", stampOf(utcStampOf(task.ModStampUtc), details.startUtc));
    component.text("SUMMARY", utf8Field(task.Name));
    if (ruleStart.isValid())
        component.line("DTSTART;VALUE=DATE", dateText(ruleStart));
    if (due.isValid())
        component.line("DUE;VALUE=DATE", dateText(due));
    const QString priority = latin1Field(task.Priority);
    if (priority == QLatin1String("2"))
        component.line("PRIORITY", "1");
    else if (priority == QLatin1String("3"))
        component.line("PRIORITY", "5");
    else if (priority == QLatin1String("4"))
        component.line("PRIORITY", "9");
    if (details.complete) {
        component.line("STATUS", "COMPLETED");
        component.line("PERCENT-COMPLETE", "100");
        if (details.completedUtc.isValid())
            component.line("COMPLETED", utcText(details.completedUtc));
    } else {
        component.line("STATUS", "NEEDS-ACTION");
    }
    component.list("CATEGORIES", details.categories);
    if (task.NoteSize > 0 || task.NotePlainSize > 0)
        component.text("DESCRIPTION", noteText(task, olm));
    if (ruleStart.isValid()) {
        // A date-valued start takes a date-valued end of the rule.
        const QDate endDate = details.recurrence.endDate;
        const QByteArray rule =
            recurrenceRule(details.recurrence, ruleStart, endDate.isValid() ? dateText(endDate) : QByteArray());
        if (!rule.isEmpty())
            component.line("RRULE", rule);
    }
    const QDateTime reminder = utcStampOf(task.ReminderStampUtc);
    if (reminder.isValid()) {
        component.line("BEGIN", "VALARM");
        component.line("ACTION", "DISPLAY");
        component.line("DESCRIPTION", "Reminder");
        component.line("TRIGGER;VALUE=DATE-TIME", utcText(reminder));
        component.line("END", "VALARM");
    }
    return component.finish();
}

QUuid noteUuid(const NotesInformation &note)
{
    // A note has no identifier in the export: its title, time and place in the file make one.
    const QByteArray identity = utf8Field(note.Title).toUtf8() + '\0' + latin1Field(note.ModStampUtc).toLatin1() + '\0'
                                + QByteArray::number(note.NotesOffset) + ':' + QByteArray::number(note.NotesSize) + ':'
                                + QByteArray::number(note.PlainTextOffset);
    return stableItemUuid("note", identity);
}

QByteArray standardJournal(const NotesInformation &note, const TextReader &olm)
{
    Component component("VJOURNAL");
    const QDateTime modified = utcStampOf(note.ModStampUtc);
    component.line("UID", noteUuid(note).toString(QUuid::WithoutBraces).toUpper().toLatin1());
    component.line("DTSTAMP", stampOf(modified, QDateTime()));
    if (modified.isValid())
        component.line("DTSTART", utcText(modified));
    component.text("SUMMARY", utf8Field(note.Title));
    if (note.NotesSize > 0 || note.PlainTextSize > 0)
        component.text("DESCRIPTION", noteText(note, olm));
    return component.finish();
}
