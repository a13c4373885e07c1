// An event's zone read from the export's VTIMEZONE text: local times on both sides of
// each change, in both hemispheres, and the texts whose rules cannot be followed.
#include "parsers/ZoneRules.h"

#include <QtTest>

namespace {
QDateTime at(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); }

// Two observances in the exports' shape: hours in BYHOUR, onsets from 1601.
QString zoneText(const char *standardRule, const char *standard, const char *daylightRule, const char *daylight)
{
    return QStringLiteral("BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Some zone\r\nX-ENTOURAGE-CFTIMEZONE:%5\r\n"
                          "BEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=YEARLY;INTERVAL=1;BYSECOND=0;\r\n"
                          " BYMINUTE=0;%1\r\nTZOFFSETFROM:%4\r\nTZOFFSETTO:%2\r\nEND:STANDARD\r\n"
                          "BEGIN:DAYLIGHT\r\nDTSTART:16010101T000000\r\nRRULE:FREQ=YEARLY;INTERVAL=1;BYSECOND=0;"
                          "BYMINUTE=0;%3\r\nTZOFFSETFROM:%2\r\nTZOFFSETTO:%4\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
                          "END:VCALENDAR\r\n")
        .arg(QLatin1String(standardRule), QLatin1String(standard), QLatin1String(daylightRule),
             QLatin1String(daylight), QStringLiteral("Area/City"));
}

const QString kMountain = zoneText("BYHOUR=2;BYDAY=1SU;BYMONTH=11", "-0700", "BYHOUR=2;BYDAY=2SU;BYMONTH=3", "-0600");
const QString kAuckland = zoneText("BYHOUR=3;BYDAY=1SU;BYMONTH=4", "+1200", "BYHOUR=2;BYDAY=-1SU;BYMONTH=9", "+1300");
} // namespace

class TestZoneRules : public QObject
{
    Q_OBJECT
private slots:
    void localTimes_data();
    void localTimes();
    void unreadable_data();
    void unreadable();
    void writtenBack();
    void stampsInTheMachinesDaylightGap();
};

void TestZoneRules::localTimes_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDateTime>("utc");
    QTest::addColumn<QDateTime>("local");
    // 2018: daylight saving from 11 March 02:00 to 4 November 02:00 in Mountain time.
    QTest::newRow("winter") << kMountain << at(2018, 1, 15, 18, 30) << at(2018, 1, 15, 11, 30);
    QTest::newRow("summer") << kMountain << at(2018, 6, 18, 17, 30) << at(2018, 6, 18, 11, 30);
    QTest::newRow("just before spring") << kMountain << at(2018, 3, 11, 8, 59) << at(2018, 3, 11, 1, 59);
    QTest::newRow("spring change") << kMountain << at(2018, 3, 11, 9, 0) << at(2018, 3, 11, 3, 0);
    QTest::newRow("just before autumn") << kMountain << at(2018, 11, 4, 7, 59) << at(2018, 11, 4, 1, 59);
    // 01:00 to 02:00 comes twice that night; a local time in it stands for the first.
    QTest::newRow("after autumn change") << kMountain << at(2018, 11, 4, 9, 0) << at(2018, 11, 4, 2, 0);
    // The southern summer spans the new year; the last Sunday of September begins it.
    QTest::newRow("southern summer") << kAuckland << at(2011, 3, 23, 11, 0) << at(2011, 3, 24, 0, 0);
    QTest::newRow("southern winter") << kAuckland << at(2011, 7, 1, 0, 0) << at(2011, 7, 1, 12, 0);
    QTest::newRow("southern spring change") << kAuckland << at(2011, 9, 24, 14, 0) << at(2011, 9, 25, 3, 0);
    QTest::newRow("southern autumn change") << kAuckland << at(2011, 4, 2, 14, 0) << at(2011, 4, 3, 2, 0);
}

void TestZoneRules::localTimes()
{
    QFETCH(QString, zone);
    QFETCH(QDateTime, utc);
    QFETCH(QDateTime, local);
    const ZoneRules rules = ZoneRules::fromIcs(zone);
    QVERIFY(rules.isValid());
    QCOMPARE(rules.localTime(utc), local);
    QCOMPARE(rules.utcTime(local), utc);
}

void TestZoneRules::unreadable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("no VTIMEZONE") << QStringLiteral("BEGIN:VCALENDAR\nEND:VCALENDAR\n");
    QTest::newRow("monthly rule") << QString(kMountain).replace(QLatin1String("FREQ=YEARLY;INTERVAL=1;BYSECOND=0;BYMINUTE=0;BYHOUR=2;BYDAY=2SU"),
                                                              QLatin1String("FREQ=MONTHLY;BYDAY=2SU"));
    QTest::newRow("two days") << QString(kMountain).replace(QLatin1String("BYDAY=2SU"), QLatin1String("BYDAY=2SU,3SU"));
    QTest::newRow("no offset") << QString(kMountain).replace(QLatin1String("TZOFFSETTO:-0700\r\n"), QString());
    QTest::newRow("bad offset") << QString(kMountain).replace(QLatin1String("-0700"), QLatin1String("-07"));
    QTest::newRow("hour out of range") << QString(kMountain).replace(QLatin1String("BYHOUR=2;BYDAY=1SU"),
                                                                     QLatin1String("BYHOUR=25;BYDAY=1SU"));
    QTest::newRow("extra dates") << QString(kMountain).replace(QLatin1String("END:DAYLIGHT"),
                                                               QLatin1String("RDATE:20180101T000000\r\nEND:DAYLIGHT"));
    QTest::newRow("unclosed") << QString(kMountain).replace(QLatin1String("END:STANDARD"), QString());
    QTest::newRow("no name") << QString(kMountain).replace(QLatin1String("TZID:Some zone"), QString())
                                    .replace(QLatin1String("Area/City"), QLatin1String("\";:"));
}

void TestZoneRules::unreadable()
{
    QFETCH(QString, text);
    QVERIFY(!ZoneRules::fromIcs(text).isValid());
}

void TestZoneRules::writtenBack()
{
    // The zone database name is the TZID; the rules come back with their onset hours.
    const ZoneRules rules = ZoneRules::fromIcs(kMountain);
    QCOMPARE(rules.id(), QStringLiteral("Area/City"));
    const QByteArray written = rules.vtimezone();
    QVERIFY(written.startsWith("BEGIN:VTIMEZONE\r\nTZID:Area/City\r\n"));
    QVERIFY(written.contains("DTSTART:16011104T020000\r\nTZOFFSETFROM:-0600\r\nTZOFFSETTO:-0700\r\n"
                             "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n"));
    QVERIFY(written.contains("DTSTART:16010311T020000\r\nTZOFFSETFROM:-0700\r\nTZOFFSETTO:-0600\r\n"
                             "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\n"));
    // What is written reads back to the same rules.
    const ZoneRules again = ZoneRules::fromIcs(QString::fromUtf8(written));
    QCOMPARE(again.localTime(at(2018, 6, 18, 17, 30)), at(2018, 6, 18, 11, 30));
    QCOMPARE(again.vtimezone(), written);
    QCOMPARE(ZoneRules::fixedOffset(330).localTime(at(2018, 6, 18, 0, 0)), at(2018, 6, 18, 5, 30));
}

QTEST_GUILESS_MAIN(TestZoneRules)
#include "test_zonerules.moc"

void TestZoneRules::stampsInTheMachinesDaylightGap()
{
    // 2018-03-11 02:30 never happens on a machine set to Mountain time; the zone's own
    // stamps are not the machine's, so the rules read the same there.
    const QByteArray machineZone = qgetenv("TZ");
    qputenv("TZ", "America/Denver");
    tzset();
    const ZoneRules rules = ZoneRules::fromIcs(QString(kMountain).replace(QLatin1String("DTSTART:16010101T000000"),
                                                                          QLatin1String("DTSTART:20180311T023000")));
    if (machineZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", machineZone);
    tzset();
    QVERIFY(rules.isValid());
    QCOMPARE(rules.localTime(at(2019, 6, 18, 17, 30)), at(2019, 6, 18, 11, 30));
}
