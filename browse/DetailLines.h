#pragma once
// What the previews of events, tasks, notes and contacts show beyond their first lines:
// times in the item's own zone and in local time, recurrence in words, attendees,
// categories, completion, every phone and address of a contact. Lines of plain text;
// the preview pane shows them as text, never as markup.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>

struct CalenderInformation;
struct ContactInformation;
struct ContactDetails;
struct EventDetails;
struct NotesInformation;
struct TaskDetails;
struct TasksInformation;

struct DetailLine {
    QString label; // "Start : "
    QString value; // empty: the line is not shown
};

// A moment in the user's locale: its long date and short time ("Saturday, 30 April 2011 15:49").
// The moment's own reading is shown: convert it to the zone wanted first.
QString momentText(const QDateTime &moment);
// A date in the user's locale, long form.
QString dayText(const QDate &date);

// The first and last day of an all-day event, in its own zone; invalid dates for an
// event that is not all day.
struct EventDays {
    QDate first, last;
};
EventDays allDayEventDays(const CalenderInformation &event, const EventDetails &details);

// Start and end (or the days of an all-day event), repeating pattern, organizer,
// attendees, categories and privacy of an event.
QVector<DetailLine> eventLines(const CalenderInformation &event, const EventDetails &details);
// Start, due and completion of a task, in the user's locale and local time.
QVector<DetailLine> taskDateLines(const TasksInformation &task, const TaskDetails &details);
// Completion, repeating pattern and categories of a task.
QVector<DetailLine> taskStateLines(const TaskDetails &details);
// The note's date.
QVector<DetailLine> noteLines(const NotesInformation &note);

// A contact's value: the export's whole text of the element where the scan kept it,
// else what the record's field holds.
QString contactValue(const ContactDetails &details, const char *element, const QString &recordValue);
