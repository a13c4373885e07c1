// Reads an iCalendar file with KCalendarCore and prints, as one JSON object, the
// occurrences of every repeating event and to-do within a span after its start:
// {"UID": {"kind": "event", "allDay": false, "occurrences": ["2011-02-03T15:44:00Z", ...]}}.
// Times in UTC, dates of all-day items as dates. Used by the end-to-end tests as an
// independent reader of Calendar.ics.
#include <KCalendarCore/FileStorage>
#include <KCalendarCore/ICalFormat>
#include <KCalendarCore/MemoryCalendar>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CALENDAR.ics DAYS\n", argv[0]);
        return 2;
    }
    const int days = QString::fromLocal8Bit(argv[2]).toInt();
    KCalendarCore::MemoryCalendar::Ptr calendar(new KCalendarCore::MemoryCalendar(QTimeZone::utc()));
    KCalendarCore::FileStorage storage(calendar, QString::fromLocal8Bit(argv[1]), new KCalendarCore::ICalFormat());
    if (!storage.load()) {
        std::fprintf(stderr, "KCalendarCore could not read %s\n", argv[1]);
        return 1;
    }
    QJsonObject items;
    const KCalendarCore::Incidence::List incidences = calendar->incidences();
    for (const KCalendarCore::Incidence::Ptr &incidence : incidences) {
        if (!incidence->recurs())
            continue;
        const QDateTime start = incidence->recurrence()->startDateTime();
        QJsonArray occurrences;
        const auto times = incidence->recurrence()->timesInInterval(start, start.addDays(days));
        for (const QDateTime &time : times)
            occurrences.append(incidence->allDay() ? time.date().toString(Qt::ISODate)
                                                   : time.toUTC().toString(Qt::ISODate));
        QJsonObject item;
        item.insert(QStringLiteral("kind"), incidence->type() == KCalendarCore::Incidence::TypeTodo
                                                ? QStringLiteral("todo") : QStringLiteral("event"));
        item.insert(QStringLiteral("allDay"), incidence->allDay());
        item.insert(QStringLiteral("zone"), start.timeZone().id().constData());
        item.insert(QStringLiteral("occurrences"), occurrences);
        items.insert(incidence->uid(), item);
    }
    std::fputs(QJsonDocument(items).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    return 0;
}
