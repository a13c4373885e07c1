// Events, tasks and notes as iCalendar 2.0 components, every time in UTC.
#include "archive/ContentLines.h"
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
    const QByteArray stamp = latin1Field(field).toLatin1();
    if (!isCompactStamp(stamp))
        return QDateTime();
    QDateTime moment = QDateTime::fromString(QString::fromLatin1(stamp), QStringLiteral("yyyyMMdd'T'HHmmss"));
    moment.setTimeSpec(Qt::UTC);
    return moment;
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
    value.replace(QRegularExpression(QStringLiteral("[\\r\\n\\t]+")), QStringLiteral(" "));
    if (value.contains(QRegularExpression(QStringLiteral("[,;:]"))))
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

QByteArray recurrenceRule(const Recurrence &recurrence, const QDateTime &startUtc, int offsetMinutes)
{
    using Pattern = Recurrence::Pattern;
    if (!recurrence.repeats() || !startUtc.isValid())
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
    const QDateTime start = startUtc.toUTC();
    const QDateTime local = start.addSecs(qint64(offsetMinutes) * 60);
    if (recurrence.pattern == Pattern::Weekly) {
        // The days are the zone's own; in UTC a late or early start falls on the day before or after.
        const int shift = int(local.date().daysTo(start.date()));
        int days = recurrence.daysOfWeek;
        if (!days)
            days = 1 << (local.date().dayOfWeek() % 7);
        QList<QByteArray> names;
        for (int day = 0; day < 7; ++day)
            if (days & (1 << day))
                names.append(kDayNames[((day + shift) % 7 + 7) % 7]);
        rule += ";BYDAY=" + names.join(',') + ";WKST=SU";
    }
    if (recurrence.pattern == Pattern::MonthNth && recurrence.instance > 0) {
        // The nth weekday of the zone's month, as the days of the month it can fall on;
        // a start on another day in UTC moves the weekday and those days with it.
        const int shift = int(local.date().daysTo(start.date()));
        int day = local.date().dayOfWeek() % 7;
        for (int bit = 6; bit >= 0; --bit)
            if (recurrence.daysOfWeek & (1 << bit))
                day = bit;
        QList<QByteArray> monthDays;
        for (int week = 0; week < 7; ++week) {
            int monthDay = recurrence.instance == 5 ? -7 + week : 7 * (recurrence.instance - 1) + 1 + week;
            monthDay += shift;
            // Day 0 is the last day of the month before; day 0 counted from the end is the 1st of the next.
            if (monthDay == 0)
                monthDay = recurrence.instance == 5 ? 1 : -1;
            monthDays.append(QByteArray::number(monthDay));
        }
        rule += QByteArray(";BYDAY=") + kDayNames[((day + shift) % 7 + 7) % 7] + ";BYMONTHDAY=" + monthDays.join(',');
    }
    if (recurrence.occurrences > 0) {
        rule += ";COUNT=" + QByteArray::number(recurrence.occurrences);
    } else if (recurrence.endDate.isValid()) {
        // The last occurrence may start on the end date, at the item's own time of day.
        const QDateTime last(recurrence.endDate, local.time(), Qt::UTC);
        rule += ";UNTIL=" + utcText(last.addSecs(-qint64(offsetMinutes) * 60));
    }
    return rule;
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
    component.line("UID", uidOf(event.Identifier));
    component.line("DTSTAMP", stampOf(utcStampOf(event.ModStampUtc), start));
    const bool allDay = details.allDay || latin1Field(event.AllDay) == QLatin1String("1");
    if (allDay && start.isValid()) {
        // Exports keep an all-day event as local midnights in UTC; twelve hours on is the intended day.
        const QDate first = start.addSecs(12 * 3600).date();
        QDate after = end.isValid() ? end.addSecs(12 * 3600).date() : first.addDays(1);
        if (after <= first)
            after = first.addDays(1);
        component.line("DTSTART;VALUE=DATE", dateText(first));
        component.line("DTEND;VALUE=DATE", dateText(after));
    } else if (start.isValid()) {
        component.line("DTSTART", utcText(start));
        if (end.isValid() && end >= start)
            component.line("DTEND", utcText(end));
    }
    // A summary too long for the record's field comes whole from the item.
    component.text("SUMMARY", event.Summary[0] ? decodeXmlText(utf8Field(event.Summary)) : details.summary);
    component.text("LOCATION", decodeXmlText(utf8Field(event.Location)));
    if (event.DescriptionSize > 0)
        component.text("DESCRIPTION", readableText(storedText(olm, event.DescriptionOffset, event.DescriptionSize)));
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
    if (start.isValid()) {
        QString rule = QString::fromLatin1(recurrenceRule(details.recurrence, start, details.zoneOffsetMinutes));
        if (allDay) // a date-valued start takes a date-valued end of the rule
            rule.replace(QRegularExpression(QStringLiteral("UNTIL=(\\d{8})T\\d{6}Z")), QStringLiteral("UNTIL=\\1"));
        if (!rule.isEmpty())
            component.line("RRULE", rule.toLatin1());
    }
    reminderBefore(component, details.reminderSeconds);
    return component.finish();
}

QByteArray standardTodo(const TasksInformation &task, const TaskDetails &details, const TextReader &olm)
{
    Component component("VTODO");
    const QDateTime &start = details.startUtc;
    const QDateTime &due = details.dueUtc;
    // A start after the due time is not allowed; the due time is what a reader needs.
    const bool withStart = start.isValid() && (!due.isValid() || start <= due);
    component.line("UID", uidOf(task.Identifier));
    component.line("DTSTAMP", stampOf(utcStampOf(task.ModStampUtc), start));
    component.text("SUMMARY", utf8Field(task.Name));
    if (withStart)
        component.line("DTSTART", utcText(start));
    if (due.isValid())
        component.line("DUE", utcText(due));
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
    if (withStart) {
        const QByteArray rule = recurrenceRule(details.recurrence, start, 0);
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

QByteArray standardJournal(const NotesInformation &note, const TextReader &olm)
{
    Component component("VJOURNAL");
    const QDateTime modified = utcStampOf(note.ModStampUtc);
    component.line("UID", uidOf(note.Identifier));
    component.line("DTSTAMP", stampOf(modified, QDateTime()));
    if (modified.isValid())
        component.line("DTSTART", utcText(modified));
    component.text("SUMMARY", utf8Field(note.Title));
    if (note.NotesSize > 0 || note.PlainTextSize > 0)
        component.text("DESCRIPTION", noteText(note, olm));
    return component.finish();
}
