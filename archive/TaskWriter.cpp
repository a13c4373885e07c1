// A task as the bundle's iCalendar file holding one VTODO. Its start and due are
// days; a task read without its dates' days keeps the local times of the scanning
// machine, written without a zone.
#include "archive/ContentLines.h"
#include "archive/ItemConverters.h"
#include "archive/StandardText.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

namespace {
// The readers' priorities (2 high, 3 normal, 4 low) on the iCalendar scale.
QByteArray priorityLine(const QString &priority)
{
    if (priority == QLatin1String("4"))
        return "Priority:7";
    if (priority == QLatin1String("3"))
        return "Priority:5";
    if (priority == QLatin1String("2"))
        return "Priority:3";
    return QByteArray();
}
} // namespace

QByteArray taskCalendarFor(const TasksInformation &task, const TextReader &olm)
{
    ContentLines lines;
    lines.add("BEGIN:VCALENDAR");
    lines.add("VERSION:2.0");
    lines.add("PRODID:-//Microsoft Corporation//Entourage Mac 11.0 MIMEDIR//EN");
    lines.add("METHOD:PUBLISH");
    lines.add("BEGIN:VTODO");
    lines.add("UID:" + uidOf(task.Identifier));
    lines.add(stampLine(latin1Field(task.ModStampUtc).toLatin1()));
    if (task.Name[0])
        lines.add("SUMMARY:", escapedValue(utf8Field(task.Name)));
    if (task.NoteSize != 0 || task.NotePlainSize != 0)
        lines.add("DESCRIPTION:", escapedValue(noteText(task, olm)));
    // The machine's local time would move a day written as its local midnight in another zone.
    const TaskDetails &details = detailsOf(&task);
    if (details.startDay.isValid())
        lines.add("DTSTART;VALUE=DATE:" + details.startDay.toString(QStringLiteral("yyyyMMdd")).toLatin1());
    else if (task.StartStamp[0])
        lines.add("DTSTART:" + latin1Field(task.StartStamp).toLatin1());
    if (details.dueDay.isValid())
        lines.add("DUE;VALUE=DATE:" + details.dueDay.toString(QStringLiteral("yyyyMMdd")).toLatin1());
    else if (task.DueStamp[0])
        lines.add("DUE:" + latin1Field(task.DueStamp).toLatin1());
    const QByteArray priority = priorityLine(latin1Field(task.Priority));
    if (!priority.isEmpty())
        lines.add(priority);
    if (task.ReminderStampUtc[0]) {
        lines.add("BEGIN:VALARM");
        lines.add("ACTION:DISPLAY");
        lines.add("DESCRIPTION:REMINDER");
        lines.add("TRIGGER;VALUE=DATE-TIME:" + latin1Field(task.ReminderStampUtc).toLatin1() + 'Z');
        lines.add("END:VALARM");
    }
    lines.add("END:VTODO");
    lines.add("END:VCALENDAR");
    return lines.bytes();
}
