#include "ParserTestSupport.h"
#include "parsers/TimeConverter.h"

#include <QtTest>
#include <cstring>

class TestTimeConverter : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { useZone("UTC"); }

    void worksInMachineZone_data();
    void worksInMachineZone();
    void twelveHourForm_data();
    void twelveHourForm();
    void unreadableInput_data();
    void unreadableInput();
    void yearsOutsideFourDigits_data();
    void yearsOutsideFourDigits();
    void buffersAreSeparate();
    void dayEntered_data();
    void dayEntered();
};

void TestTimeConverter::worksInMachineZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("twelveHour");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("utcStamp");

    QTest::newRow("utc") << QByteArray("UTC") << "2010-05-12T14:30:00" << QByteArray("20100512T143000")
                         << QByteArray("Wed, 12 May 2010 14:30:00 +0000")
                         << "Wed, 12 May 2010 02:30:00 PM" << QByteArray("2010,May,12, 14:30:00")
                         << QByteArray("20100512T143000");
    QTest::newRow("kolkata") << QByteArray("Asia/Kolkata") << "2010-05-12T14:30:00"
                             << QByteArray("20100512T200000")
                             << QByteArray("Wed, 12 May 2010 20:00:00 +0530")
                             << "Wed, 12 May 2010 08:00:00 PM" << QByteArray("2010,May,12, 20:00:00")
                             << QByteArray("20100512T143000");
    QTest::newRow("kolkata past midnight")
        << QByteArray("Asia/Kolkata") << "2010-01-03T23:45:10" << QByteArray("20100104T051510")
        << QByteArray("Mon, 04 Jan 2010 05:15:10 +0530") << "Mon, 04 Jan 2010 05:15:10 AM"
        << QByteArray("2010,Jan,04, 05:15:10") << QByteArray("20100103T234510");
    QTest::newRow("new york winter")
        << QByteArray("America/New_York") << "2010-01-03T23:45:10" << QByteArray("20100103T184510")
        << QByteArray("Sun, 03 Jan 2010 18:45:10 -0500") << "Sun, 03 Jan 2010 06:45:10 PM"
        << QByteArray("2010,Jan,03, 18:45:10") << QByteArray("20100103T234510");
    QTest::newRow("new york summer")
        << QByteArray("America/New_York") << "2010-05-12T14:30:00" << QByteArray("20100512T103000")
        << QByteArray("Wed, 12 May 2010 10:30:00 -0400") << "Wed, 12 May 2010 10:30:00 AM"
        << QByteArray("2010,May,12, 10:30:00") << QByteArray("20100512T143000");
}

void TestTimeConverter::worksInMachineZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, input);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, message);
    QFETCH(QString, twelveHour);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, utcStamp);
    useZone(zone.constData());

    QCOMPARE(QByteArray(timeconverter(input)), stamp);
    QCOMPARE(QByteArray(timeconverterDUetask(input)), stamp);
    QCOMPARE(QByteArray(timeconverter1(input)), message);
    QCOMPARE(prevTime, twelveHour);
    QCOMPARE(QByteArray(timeconverterpre(input)), display);
    // The writers' UTC form does not depend on the machine's zone.
    QCOMPARE(utcCompactStamp(input), utcStamp);
}

void TestTimeConverter::twelveHourForm_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("twelveHour");
    QTest::newRow("quarter past midnight") << "2010-05-12T00:15:00" << "Wed, 12 May 2010 12:15:00 AM";
    QTest::newRow("quarter past noon") << "2010-05-12T12:15:00" << "Wed, 12 May 2010 12:15:00 PM";
    QTest::newRow("last second before noon") << "2010-05-12T11:59:59" << "Wed, 12 May 2010 11:59:59 AM";
}

void TestTimeConverter::twelveHourForm()
{
    QFETCH(QString, input);
    QFETCH(QString, twelveHour);
    useZone("UTC");
    timeconverter1(input);
    QCOMPARE(prevTime, twelveHour);
}

// Whatever the input, every form keeps its length: the callers copy fixed widths.
void TestTimeConverter::unreadableInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("trailing Z") << "2010-05-12T14:30:45Z" << QByteArray("20100512T143000")
                                << QByteArray("Wed, 12 May 2010 14:30:00 +0000");
    QTest::newRow("fraction") << "2010-05-12T14:30:45.000" << QByteArray("20100512T143000")
                              << QByteArray("Wed, 12 May 2010 14:30:00 +0000");
    QTest::newRow("month 13") << "2010-13-01T10:00:00" << QByteArray("19700101T100000")
                              << QByteArray("Thu, 01 Jan 1970 10:00:00 +0000");
    QTest::newRow("hour 25") << "2010-05-12T25:00:00" << QByteArray("20100512T000000")
                             << QByteArray("Wed, 12 May 2010 00:00:00 +0000");
    QTest::newRow("empty") << "" << QByteArray("19700101T000000")
                           << QByteArray("Thu, 01 Jan 1970 00:00:00 +0000");
    QTest::newRow("no T") << "2010-05-12" << QByteArray("20100512T000000")
                          << QByteArray("Wed, 12 May 2010 00:00:00 +0000");
    QTest::newRow("lower-case t does not split")
        << "2010-05-12t14:30:00" << QByteArray("19700101T000000")
        << QByteArray("Thu, 01 Jan 1970 00:00:00 +0000");
    QTest::newRow("date of two pieces") << "2010-05T14:30:00" << QByteArray("19700101T143000")
                                        << QByteArray("Thu, 01 Jan 1970 14:30:00 +0000");
    QTest::newRow("time of one piece") << "2010-05-12T14" << QByteArray("20100512T140000")
                                       << QByteArray("Wed, 12 May 2010 14:00:00 +0000");
    QTest::newRow("extra pieces ignored") << "2010-05-12-99T14:30:00:77T5"
                                          << QByteArray("20100512T143000")
                                          << QByteArray("Wed, 12 May 2010 14:30:00 +0000");
    QTest::newRow("only T") << "T" << QByteArray("19700101T000000")
                            << QByteArray("Thu, 01 Jan 1970 00:00:00 +0000");
}

void TestTimeConverter::unreadableInput()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, message);
    useZone("UTC");

    QCOMPARE(QByteArray(timeconverter(input)), stamp);
    QCOMPARE(QByteArray(timeconverterDUetask(input)), stamp);
    QCOMPARE(QByteArray(timeconverter1(input)), message);
    QCOMPARE(prevTime.size(), 28);
    QCOMPARE(int(strlen(timeconverterpre(input))), 21);
    QCOMPARE(utcCompactStamp(input), stamp);
    QCOMPARE(utcCalendarDate(input).size(), 10);
}

// A moment whose local year would not have four digits is read as 1970-01-01
// with the input's time of day, so no form outgrows its buffer.
void TestTimeConverter::yearsOutsideFourDigits_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("display");

    QTest::newRow("five-digit year") << QByteArray("UTC") << "12345-06-07T08:09:10"
                                     << QByteArray("19700101T080910")
                                     << QByteArray("1970,Jan,01, 08:09:10");
    QTest::newRow("three-digit year") << QByteArray("UTC") << "999-06-07T08:09:10"
                                      << QByteArray("19700101T080910")
                                      << QByteArray("1970,Jan,01, 08:09:10");
    QTest::newRow("largest int year") << QByteArray("UTC") << "2147483647-12-31T23:59:59"
                                      << QByteArray("19700101T235959")
                                      << QByteArray("1970,Jan,01, 23:59:59");
    QTest::newRow("negative year") << QByteArray("UTC") << "-2147483647-01-01T01:00:00"
                                   << QByteArray("19700101T010000")
                                   << QByteArray("1970,Jan,01, 01:00:00");
    QTest::newRow("9999 pushed into 10000 by the zone")
        << QByteArray("Asia/Kolkata") << "9999-12-31T23:00:00" << QByteArray("19700102T043000")
        << QByteArray("1970,Jan,02, 04:30:00");
    QTest::newRow("year 1000 pulled into 999 by the zone")
        << QByteArray("America/New_York") << "1000-01-01T00:00:00" << QByteArray("19691231T190000")
        << QByteArray("1969,Dec,31, 19:00:00");
    QTest::newRow("9999 still fits") << QByteArray("UTC") << "9999-12-31T23:59:59"
                                     << QByteArray("99991231T235959")
                                     << QByteArray("9999,Dec,31, 23:59:59");
    QTest::newRow("1000 still fits") << QByteArray("UTC") << "1000-01-01T00:00:00"
                                     << QByteArray("10000101T000000")
                                     << QByteArray("1000,Jan,01, 00:00:00");
}

void TestTimeConverter::yearsOutsideFourDigits()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, input);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, display);
    useZone(zone.constData());

    QCOMPARE(QByteArray(timeconverter(input)), stamp);
    QCOMPARE(QByteArray(timeconverterpre(input)), display);
    QCOMPARE(utcCompactStamp(input).size(), 15);
    QCOMPARE(utcCalendarDate(input).size(), 10);
    QCOMPARE(int(strlen(timeconverter1(input))), 31);
    QCOMPARE(prevTime.size(), 28);
}

void TestTimeConverter::buffersAreSeparate()
{
    useZone("UTC");
    const char *first = timeconverter(QStringLiteral("2010-05-12T14:30:00"));
    timeconverterDUetask(QStringLiteral("2011-06-13T15:31:01"));
    QCOMPARE(QByteArray(first), QByteArray("20100512T143000"));
    timeconverter(QStringLiteral("2012-07-14T16:32:02"));
    QCOMPARE(QByteArray(first), QByteArray("20120714T163202"));

    const char *display = timeconverterpre(QStringLiteral("2010-05-12T14:30:00"));
    timeconverter(QStringLiteral("2011-06-13T15:31:01"));
    QCOMPARE(QByteArray(display), QByteArray("2010,May,12, 14:30:00"));

    timeconverter1(QStringLiteral("2010-05-12T14:30:00"));
    timeconverter(QStringLiteral("2011-06-13T15:31:01"));
    QCOMPARE(prevTime, QStringLiteral("Wed, 12 May 2010 02:30:00 PM"));
}

// Exports store the local midnight of a birthday as UTC; the day entered comes
// back in every machine zone.
void TestTimeConverter::dayEntered_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("date");
    QTest::newRow("entered six hours behind UTC") << "2018-06-20T06:00:00" << QByteArray("2018-06-20");
    QTest::newRow("entered eleven hours behind") << "2018-06-20T11:00:00" << QByteArray("2018-06-20");
    QTest::newRow("entered at UTC") << "2018-06-20T00:00:00" << QByteArray("2018-06-20");
    QTest::newRow("entered nine hours ahead") << "2018-06-19T15:00:00" << QByteArray("2018-06-20");
    QTest::newRow("entered eleven hours ahead, new year")
        << "2017-12-31T13:00:00" << QByteArray("2018-01-01");
    QTest::newRow("month 13 reads as 1970") << "2010-13-01T10:00:00" << QByteArray("1970-01-01");
    QTest::newRow("pushed past 9999") << "9999-12-31T23:00:00" << QByteArray("1970-01-02");
}

void TestTimeConverter::dayEntered()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, date);
    for (const char *zone : {"UTC", "Asia/Tokyo", "America/Chicago", "Pacific/Kiritimati"}) {
        useZone(zone);
        QCOMPARE(utcCalendarDate(input), date);
    }
}

QTEST_APPLESS_MAIN(TestTimeConverter)
#include "test_timeconverter.moc"
