// Repeating patterns in words, read from the recurrence elements as exports write them.
#include "ParserTestSupport.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecurrenceWords.h"

#include <QtTest>

namespace {
// Days of the week as exports list them: every day's child, 1 for the days given.
QByteArray daysOfWeek(const QList<QByteArray> &set)
{
    QByteArray children;
    for (const char *day : {"allDays", "friday", "monday", "saturday", "sunday", "thursday", "tuesday", "wednesday",
                            "weekdays", "weekenddays"})
        children += element(day, set.contains(day) ? "1" : "0");
    return element("OPFRecurrencePatternDaysOfWeek", children);
}

// The limits beside the pattern: a count, an end date, or neither.
QByteArray limits(int count, const QByteArray &endUtc)
{
    QByteArray xml;
    if (!endUtc.isEmpty())
        xml += element("OPFRecurrenceCopyEndDate", endUtc);
    xml += element("OPFRecurrenceCopyStartDate", "2018-06-18T06:00:00");
    xml += element("OPFRecurrenceGetOccurenceCount", count ? QByteArray::number(count / 10.0) + "E1" : "0E0");
    xml += element("OPFRecurrenceHasEndDate", endUtc.isEmpty() || count ? "0" : "1");
    xml += element("OPFRecurrenceIsNoEnd", count || !endUtc.isEmpty() ? "0" : "1");
    xml += element("OPFRecurrenceIsNumbered", count ? "1" : "0");
    return xml;
}

QByteArray pattern(const QByteArray &type, int interval, const QByteArray &fields)
{
    return element("OPFRecurrencePattern", element("OPFRecurrencePatternType", "OPFRecurrencePattern" + type)
                                               + element("OPFRecurrencePatternInterval", QByteArray::number(interval))
                                               + fields);
}
} // namespace

class TestRecurrenceWords : public QObject
{
    Q_OBJECT
private slots:
    void words_data();
    void words();
};

void TestRecurrenceWords::words_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("words");
    const QByteArray monday = daysOfWeek({"monday"});
    const QByteArray day19 = element("OPFRecurrencePatternDayOfMonth", "19");
    const QByteArray july = element("OPFRecurrencePatternMonth", "7");
    const QByteArray second = element("OPFRecurrencePatternInstance", "2");

    QTest::newRow("weekly, counted") << limits(27, "2018-12-18T07:00:00") + pattern("Weekly", 1, monday)
                                     << "Weekly on Monday, 27 times";
    QTest::newRow("every second week, two days, no end")
        << limits(0, QByteArray()) + pattern("Weekly", 2, daysOfWeek({"monday", "thursday"}))
        << "Every 2 weeks on Monday and Thursday, no end";
    QTest::newRow("three days, Sunday last") << limits(0, QByteArray()) + pattern("Weekly", 1, daysOfWeek({"sunday", "monday", "friday"}))
                                              << "Weekly on Monday, Friday and Sunday, no end";
    QTest::newRow("weekdays") << limits(0, QByteArray()) + pattern("Weekly", 1, daysOfWeek({"weekdays"}))
                              << "Weekly on weekdays, no end";
    QTest::newRow("weekly without days: the start's day") << limits(3, QByteArray()) + pattern("Weekly", 1, QByteArray())
                                                          << "Weekly on Monday, 3 times";
    QTest::newRow("daily, counted") << limits(184, QByteArray()) + pattern("Daily", 1, QByteArray())
                                    << "Daily, 184 times";
    QTest::newRow("every third day, until") << limits(0, "2019-01-04T07:00:00") + pattern("Daily", 3, QByteArray())
                                            << "Every 3 days, until Friday, 4 January 2019";
    QTest::newRow("monthly on day 19") << limits(6, QByteArray()) + pattern("AbsoluteMonthly", 1, day19)
                                       << "Monthly on day 19, 6 times";
    QTest::newRow("every 3 months") << limits(0, QByteArray()) + pattern("AbsoluteMonthly", 3, day19)
                                    << "Every 3 months on day 19, no end";
    QTest::newRow("second Tuesday") << limits(6, QByteArray())
                                           + pattern("RelativeMonthly", 1, daysOfWeek({"tuesday"}) + second)
                                    << "The second Tuesday of every month, 6 times";
    QTest::newRow("last Friday, every 2 months")
        << limits(0, QByteArray())
               + pattern("RelativeMonthly", 2, daysOfWeek({"friday"}) + element("OPFRecurrencePatternInstance", "5"))
        << "The last Friday of every 2 months, no end";
    QTest::newRow("first weekday") << limits(0, QByteArray())
                                          + pattern("RelativeMonthly", 1, daysOfWeek({"weekdays"})
                                                                              + element("OPFRecurrencePatternInstance", "1"))
                                   << "The first weekday of every month, no end";
    QTest::newRow("yearly") << limits(0, QByteArray()) + pattern("AbsoluteYearly", 1, day19 + july)
                            << "Yearly on 19 July, no end";
    QTest::newRow("every 2 years, once") << limits(1, QByteArray()) + pattern("AbsoluteYearly", 2, day19 + july)
                                         << "Every 2 years on 19 July, once";
    QTest::newRow("second Tuesday of July") << limits(0, "2021-03-14T07:00:00")
                                                   + pattern("RelativeYearly", 1, daysOfWeek({"tuesday"}) + second + july)
                                            << "The second Tuesday of July every year, until Sunday, 14 March 2021";
    // Outlook's own numbering of the patterns: 1 weekly.
    QTest::newRow("numbered type") << limits(0, QByteArray())
                                          + element("OPFRecurrencePattern", element("OPFRecurrencePatternType", "1")
                                                                                + daysOfWeek({"wednesday"}))
                                   << "Weekly on Wednesday, no end";
    QTest::newRow("unreadable pattern") << limits(0, QByteArray()) + pattern("Fortnightly", 1, QByteArray())
                                        << "Repeats (the pattern could not be read)";
    QTest::newRow("no recurrence") << QByteArray() << QString();
}

void TestRecurrenceWords::words()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, words);
    QCOMPARE(recurrenceInWords(readRecurrence(xml), QLocale::c()), words);
}

QTEST_GUILESS_MAIN(TestRecurrenceWords)
#include "test_recurrencewords.moc"
