#include "parsers/RecurrenceWords.h"

#include <QCoreApplication>
#include <QStringList>

namespace {
QString tr(const char *text) { return QCoreApplication::translate("Recurrence", text); }

// Indexed like the pattern's day mask: 0 Sunday … 6 Saturday.
const char *const kDayNames[] = {QT_TRANSLATE_NOOP("Recurrence", "Sunday"),   QT_TRANSLATE_NOOP("Recurrence", "Monday"),
                                 QT_TRANSLATE_NOOP("Recurrence", "Tuesday"),  QT_TRANSLATE_NOOP("Recurrence", "Wednesday"),
                                 QT_TRANSLATE_NOOP("Recurrence", "Thursday"), QT_TRANSLATE_NOOP("Recurrence", "Friday"),
                                 QT_TRANSLATE_NOOP("Recurrence", "Saturday")};
const char *const kMonthNames[] = {
    QT_TRANSLATE_NOOP("Recurrence", "January"), QT_TRANSLATE_NOOP("Recurrence", "February"),
    QT_TRANSLATE_NOOP("Recurrence", "March"),   QT_TRANSLATE_NOOP("Recurrence", "April"),
    QT_TRANSLATE_NOOP("Recurrence", "May"),     QT_TRANSLATE_NOOP("Recurrence", "June"),
    QT_TRANSLATE_NOOP("Recurrence", "July"),    QT_TRANSLATE_NOOP("Recurrence", "August"),
    QT_TRANSLATE_NOOP("Recurrence", "September"), QT_TRANSLATE_NOOP("Recurrence", "October"),
    QT_TRANSLATE_NOOP("Recurrence", "November"), QT_TRANSLATE_NOOP("Recurrence", "December")};
// Indexed by the pattern's week: 1 first … 4 fourth, 5 last.
const char *const kWeekNames[] = {QT_TRANSLATE_NOOP("Recurrence", "first"), QT_TRANSLATE_NOOP("Recurrence", "second"),
                                  QT_TRANSLATE_NOOP("Recurrence", "third"), QT_TRANSLATE_NOOP("Recurrence", "fourth"),
                                  QT_TRANSLATE_NOOP("Recurrence", "last")};

constexpr int kAllDays = 0x7F, kWeekdays = 0x3E, kWeekend = 0x41;

// "Monday", "Monday and Thursday", "Monday, Wednesday and Friday", the week read from Monday.
QString dayList(int days)
{
    if (days == kWeekdays)
        return tr("weekdays");
    if (days == kAllDays)
        return tr("every day");
    QStringList names;
    for (int step = 1; step <= 7; ++step) {
        const int day = step % 7;
        if (days & (1 << day))
            names.append(tr(kDayNames[day]));
    }
    if (names.size() < 2)
        return names.value(0);
    const QString last = names.takeLast();
    return tr("%1 and %2").arg(names.join(QLatin1String(", ")), last);
}

// The days of an nth-weekday pattern: "Tuesday", "weekday", "weekend day", "Saturday or Sunday".
QString nthDayList(int days)
{
    if (days == kWeekdays)
        return tr("weekday");
    if (days == kWeekend)
        return tr("weekend day");
    if (days == kAllDays)
        return tr("day");
    QStringList names;
    for (int step = 1; step <= 7; ++step) {
        const int day = step % 7;
        if (days & (1 << day))
            names.append(tr(kDayNames[day]));
    }
    return names.join(tr(" or "));
}

// The day mask of the pattern, or the day it starts on when the export gives none; 0 when neither.
int daysOf(const Recurrence &recurrence)
{
    if (recurrence.daysOfWeek & kAllDays)
        return recurrence.daysOfWeek & kAllDays;
    return recurrence.startDate.isValid() ? 1 << (recurrence.startDate.dayOfWeek() % 7) : 0;
}

int dayOfMonthOf(const Recurrence &recurrence)
{
    if (recurrence.dayOfMonth)
        return recurrence.dayOfMonth;
    return recurrence.startDate.isValid() ? recurrence.startDate.day() : 0;
}

int monthOf(const Recurrence &recurrence)
{
    if (recurrence.month)
        return recurrence.month;
    return recurrence.startDate.isValid() ? recurrence.startDate.month() : 0;
}

// The week of an nth-weekday pattern, 1 to 5 (the last); from the start date when the export gives none.
int weekOf(const Recurrence &recurrence)
{
    if (recurrence.instance >= 1 && recurrence.instance <= 5)
        return recurrence.instance;
    return recurrence.startDate.isValid() ? qMin(5, (recurrence.startDate.day() - 1) / 7 + 1) : 0;
}

QString patternWords(const Recurrence &recurrence)
{
    using Pattern = Recurrence::Pattern;
    const int every = recurrence.interval;
    const int days = daysOf(recurrence);
    const int dayOfMonth = dayOfMonthOf(recurrence);
    const int month = monthOf(recurrence);
    const int week = weekOf(recurrence);
    const QString monthName = month ? tr(kMonthNames[month - 1]) : QString();
    switch (recurrence.pattern) {
    case Pattern::None: return QString();
    case Pattern::Daily: return every > 1 ? tr("Every %1 days").arg(every) : tr("Daily");
    case Pattern::Weekly:
        if (!days)
            return every > 1 ? tr("Every %1 weeks").arg(every) : tr("Weekly");
        return every > 1 ? tr("Every %1 weeks on %2").arg(every).arg(dayList(days))
                         : tr("Weekly on %1").arg(dayList(days));
    case Pattern::Monthly:
        if (!dayOfMonth)
            return every > 1 ? tr("Every %1 months").arg(every) : tr("Monthly");
        return every > 1 ? tr("Every %1 months on day %2").arg(every).arg(dayOfMonth)
                         : tr("Monthly on day %1").arg(dayOfMonth);
    case Pattern::MonthNth:
        if (!days || !week)
            return every > 1 ? tr("Every %1 months").arg(every) : tr("Monthly");
        return every > 1 ? tr("The %1 %2 of every %3 months").arg(tr(kWeekNames[week - 1]), nthDayList(days)).arg(every)
                         : tr("The %1 %2 of every month").arg(tr(kWeekNames[week - 1]), nthDayList(days));
    case Pattern::Yearly:
        if (!month || !dayOfMonth)
            return every > 1 ? tr("Every %1 years").arg(every) : tr("Yearly");
        return every > 1 ? tr("Every %1 years on %2 %3").arg(every).arg(dayOfMonth).arg(monthName)
                         : tr("Yearly on %1 %2").arg(dayOfMonth).arg(monthName);
    case Pattern::YearNth:
        if (!month || !days || !week)
            return every > 1 ? tr("Every %1 years").arg(every) : tr("Yearly");
        return every > 1 ? tr("The %1 %2 of %3 every %4 years")
                               .arg(tr(kWeekNames[week - 1]), nthDayList(days), monthName)
                               .arg(every)
                         : tr("The %1 %2 of %3 every year").arg(tr(kWeekNames[week - 1]), nthDayList(days), monthName);
    }
    return QString();
}
} // namespace

QString recurrenceInWords(const Recurrence &recurrence, const QLocale &locale)
{
    if (!recurrence.repeats())
        return recurrence.unreadable ? tr("Repeats (the pattern could not be read)") : QString();
    const QString pattern = patternWords(recurrence);
    if (recurrence.occurrences == 1)
        return tr("%1, once").arg(pattern);
    if (recurrence.occurrences > 1)
        return tr("%1, %2 times").arg(pattern).arg(recurrence.occurrences);
    if (recurrence.endDate.isValid())
        return tr("%1, until %2").arg(pattern, locale.toString(recurrence.endDate, QLocale::LongFormat));
    return tr("%1, no end").arg(pattern);
}
