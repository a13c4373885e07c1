// Events, tasks and notes as iCalendar 2.0 components, every time in UTC.
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

// A compact stamp of the scanning machine's local time (20100512T200000) as a UTC moment.
QDateTime fromLocalStamp(const QString &stamp)
{
    QDateTime local = QDateTime::fromString(stamp, QStringLiteral("yyyyMMdd'T'HHmmss"));
    if (!local.isValid())
        return QDateTime();
    local.setTimeSpec(Qt::LocalTime);
    return local.toUTC();
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

QString dashedUuid(const char *identifier)
{
    const QString digits = QString::fromLatin1(identifier);
    if (digits.size() != 32)
        return digits;
    return digits.mid(0, 8) + QLatin1Char('-') + digits.mid(8, 4) + QLatin1Char('-') + digits.mid(12, 4)
           + QLatin1Char('-') + digits.mid(16, 4) + QLatin1Char('-') + digits.mid(20);
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
    const QDateTime start = details.startUtc.isValid() ? details.startUtc : fromLocalStamp(latin1Field(event.Start));
    QDateTime end = details.endUtc.isValid() ? details.endUtc : fromLocalStamp(latin1Field(event.End));
    const QString modified = latin1Field(event.ModStampUtc);
    QDateTime modifiedUtc = QDateTime::fromString(modified, QStringLiteral("yyyyMMdd'T'HHmmss"));
    modifiedUtc.setTimeSpec(Qt::UTC);

    component.line("UID", dashedUuid(event.Identifier).toLatin1());
    component.line("DTSTAMP", stampOf(modifiedUtc, start));
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
    component.text("SUMMARY", decodedElementText(utf8Field(event.Summary)));
    component.text("LOCATION", decodedElementText(utf8Field(event.Location)));
    if (event.DescriptionSize > 0)
        component.text("DESCRIPTION", readableText(storedText(olm, event.DescriptionOffset, event.DescriptionSize)));
    if (!details.organizer.isEmpty())
        component.line("ORGANIZER", mailto(details.organizer));
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
    const QDateTime start =
        details.startUtc.isValid() ? details.startUtc : fromLocalStamp(latin1Field(task.StartStamp));
    const QDateTime due = details.dueUtc.isValid() ? details.dueUtc : fromLocalStamp(latin1Field(task.DueStamp));
    // A start after the due time is not allowed; the due time is what a reader needs.
    const bool withStart = start.isValid() && (!due.isValid() || start <= due);
    component.line("UID", dashedUuid(task.Identifier).toLatin1());
    component.line("DTSTAMP", stampOf(details.modifiedUtc, start));
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
    if (task.NoteSize > 0)
        component.text("DESCRIPTION", readableText(storedText(olm, task.NoteOffset, task.NoteSize)));
    if (withStart) {
        const QByteArray rule = recurrenceRule(details.recurrence, start, 0);
        if (!rule.isEmpty())
            component.line("RRULE", rule);
    }
    const QDateTime reminder =
        details.reminderUtc.isValid() ? details.reminderUtc : fromLocalStamp(latin1Field(task.ReminderStamp));
    if (reminder.isValid()) {
        component.line("BEGIN", "VALARM");
        component.line("ACTION", "DISPLAY");
        component.line("DESCRIPTION", "Reminder");
        component.line("TRIGGER;VALUE=DATE-TIME", utcText(reminder));
        component.line("END", "VALARM");
    }
    return component.finish();
}

QByteArray standardJournal(const NotesInformation &note, const NoteDetails &details, const TextReader &olm)
{
    Component component("VJOURNAL");
    component.line("UID", dashedUuid(note.Identifier).toLatin1());
    component.line("DTSTAMP", stampOf(details.modifiedUtc, QDateTime()));
    if (details.modifiedUtc.isValid())
        component.line("DTSTART", utcText(details.modifiedUtc));
    component.text("SUMMARY", utf8Field(note.Title));
    if (note.NotesSize > 0)
        component.text("DESCRIPTION", readableText(storedText(olm, note.NotesOffset, note.NotesSize)));
    return component.finish();
}
