// The standard files' converters on hand-made records. Whole files are read back by
// vobject, icalendar, Python's mailbox and Dovecot in the end-to-end tests; these
// cases pin what those readers cannot tell apart.
#include "archive/ContentLines.h"
#include "archive/MailEncoders.h"
#include "archive/MailHeaders.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QtTest>
#include <iterator>
#include <cstring>

namespace {
template <int Width> void put(char (&field)[Width], const char *text) { qstrncpy(field, text, Width); }

template <typename Record> Record *zeroed()
{
    static Record record;
    memset(&record, 0, sizeof record);
    return &record;
}

// The content lines of a vCard or calendar, unfolded.
QStringList unfoldedLines(const QByteArray &bytes)
{
    QByteArray unfolded = bytes;
    unfolded.replace("\r\n ", "");
    QStringList lines = QString::fromUtf8(unfolded).split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines;
}

QDateTime utc(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); }

const ByteArrayTextReader kNoFile{QByteArray()};

// A zone as exports carry it: a whole calendar, the rules' hours in BYHOUR.
QString exportZone(const char *tzid, const char *database, const char *standard, const char *daylight,
                   const char *toStandard, const char *toDaylight)
{
    return QStringLiteral("BEGIN:VCALENDAR\nBEGIN:VTIMEZONE\nTZID:%1\nX-ENTOURAGE-CFTIMEZONE:%2\n"
                          "BEGIN:STANDARD\nDTSTART:16010101T000000\nRRULE:FREQ=YEARLY;INTERVAL=1;BYSECOND=0;"
                          "BYMINUTE=0;%5\nTZOFFSETFROM:%4\nTZOFFSETTO:%3\nEND:STANDARD\n"
                          "BEGIN:DAYLIGHT\nDTSTART:16010101T000000\nRRULE:FREQ=YEARLY;INTERVAL=1;BYSECOND=0;"
                          "BYMINUTE=0;%6\nTZOFFSETFROM:%3\nTZOFFSETTO:%4\nEND:DAYLIGHT\nEND:VTIMEZONE\nEND:VCALENDAR\n")
        .arg(QLatin1String(tzid), QLatin1String(database), QLatin1String(standard), QLatin1String(daylight),
             QLatin1String(toStandard), QLatin1String(toDaylight));
}

QString mountainZone()
{
    return exportZone("Mountain Time (US & Canada)", "US/Mountain", "-0700", "-0600", "BYHOUR=2;BYDAY=1SU;BYMONTH=11",
                      "BYHOUR=2;BYDAY=2SU;BYMONTH=3");
}

QString aucklandZone()
{
    return exportZone("Auckland, Wellington", "Pacific/Auckland", "+1200", "+1300", "BYHOUR=3;BYDAY=1SU;BYMONTH=4",
                      "BYHOUR=2;BYDAY=-1SU;BYMONTH=9");
}

CalenderInformation *eventAt(const QDateTime &start, const QDateTime &end, const char *allDay)
{
    CalenderInformation *event = zeroed<CalenderInformation>();
    put(event->Identifier, "00112233445566778899AABBCCDDEEFF");
    put(event->Summary, "Weekly sync");
    put(event->AllDay, allDay);
    put(event->StartUtc, start.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1().constData());
    put(event->EndUtc, end.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1().constData());
    return event;
}
} // namespace

class TestStandardFormat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }
    void folding_data();
    void folding();
    void recurrenceRules_data();
    void recurrenceRules();
    void contactCard();
    void eventLines_data();
    void eventLines();
    void stampsReadAsUtcWhateverTheMachinesZone_data();
    void stampsReadAsUtcWhateverTheMachinesZone();
    void repeatingEvents_data();
    void repeatingEvents();
    void eventIdentity();
    void completedTask();
    void repeatingTaskWithOnlyADueDate();
    void journalFromHtml();
    void htmlTextOfOpeningsThatNeverClose_data();
    void htmlTextOfOpeningsThatNeverClose();
    void quotedPrintableLines_data();
    void quotedPrintableLines();
    void quotedPrintableDecodesBack();
    void longQuoteRunsEncodeInLinearTime();
    void encodedWordsStayShortAndWhole();
    void messageLines();
    void hostileCategoriesStayInTheirHeaders_data();
    void hostileCategoriesStayInTheirHeaders();
    void markupTestAgreesWithTagPattern();
    void htmlDeclaresUtf8_data();
    void htmlDeclaresUtf8();
    void declarationsInPiecesAsInTheWhole();
    void mailWithoutIdentifierKeepsItsMessageId();
};

void TestStandardFormat::folding_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("short") << QByteArray("SUMMARY:Review");
    QTest::newRow("exactly 75") << QByteArray(75, 'a');
    QTest::newRow("ascii 200") << QByteArray("DESCRIPTION:") + QByteArray(200, 'x');
    // Three-byte characters that would straddle every cut.
    QTest::newRow("japanese") << QByteArray("SUMMARY:a") + QString(60, QChar(0x6771)).toUtf8();
    QTest::newRow("four-byte") << QByteArray("NOTE:") + QString::fromUtf8("😀").repeated(40).toUtf8();
}

void TestStandardFormat::folding()
{
    QFETCH(QByteArray, line);
    const QByteArray folded = foldedContentLine(line);
    QVERIFY(folded.endsWith("\r\n"));
    const QList<QByteArray> physical = folded.left(folded.size() - 2).split('\n');
    for (QByteArray piece : physical) {
        if (piece.endsWith('\r'))
            piece.chop(1);
        QVERIFY2(piece.size() <= 75, piece.constData());
        // Every piece is whole UTF-8 on its own.
        QCOMPARE(QString::fromUtf8(piece).toUtf8(), piece);
    }
    QByteArray unfolded = folded;
    unfolded.replace("\r\n ", "");
    QCOMPARE(unfolded, line + "\r\n");
}

void TestStandardFormat::recurrenceRules_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("instance");
    QTest::addColumn<int>("dayOfMonth");
    QTest::addColumn<int>("month");
    QTest::addColumn<QByteArray>("until");
    QTest::addColumn<QByteArray>("rule");
    using P = Recurrence::Pattern;
    // The local start is Thursday 3 February 2011, the first Thursday of its month.
    QTest::newRow("weekly, its days") << int(P::Weekly) << 1 << (16 | 64) << 8 << 0 << 0 << 0 << QByteArray()
                                      << QByteArray("FREQ=WEEKLY;BYDAY=TH,SA;WKST=SU;COUNT=8");
    QTest::newRow("weekly without days takes the start's")
        << int(P::Weekly) << 2 << 0 << 0 << 0 << 0 << 0 << QByteArray("20110301T065959Z")
        << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=TH;WKST=SU;UNTIL=20110301T065959Z");
    QTest::newRow("count wins over end") << int(P::Daily) << 3 << 0 << 4 << 0 << 0 << 0 << QByteArray("20110301")
                                         << QByteArray("FREQ=DAILY;INTERVAL=3;COUNT=4");
    QTest::newRow("absolute monthly") << int(P::Monthly) << 1 << 0 << 6 << 0 << 19 << 0 << QByteArray()
                                      << QByteArray("FREQ=MONTHLY;BYMONTHDAY=19;COUNT=6");
    QTest::newRow("absolute monthly without its day") << int(P::Monthly) << 1 << 0 << 0 << 0 << 0 << 0 << QByteArray()
                                                      << QByteArray("FREQ=MONTHLY;BYMONTHDAY=3");
    QTest::newRow("second Tuesday") << int(P::MonthNth) << 1 << 4 << 0 << 2 << 0 << 0 << QByteArray()
                                    << QByteArray("FREQ=MONTHLY;BYDAY=2TU");
    QTest::newRow("last Sunday every other month") << int(P::MonthNth) << 2 << 1 << 3 << 5 << 0 << 0 << QByteArray()
                                                   << QByteArray("FREQ=MONTHLY;INTERVAL=2;BYDAY=-1SU;COUNT=3");
    QTest::newRow("third weekday") << int(P::MonthNth) << 1 << 0x3E << 0 << 3 << 0 << 0 << QByteArray()
                                   << QByteArray("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=3");
    QTest::newRow("relative without week or day takes the start's")
        << int(P::MonthNth) << 1 << 0 << 0 << 0 << 0 << 0 << QByteArray() << QByteArray("FREQ=MONTHLY;BYDAY=1TH");
    QTest::newRow("absolute yearly") << int(P::Yearly) << 1 << 0 << 0 << 0 << 19 << 7 << QByteArray("20300719")
                                     << QByteArray("FREQ=YEARLY;BYMONTH=7;BYMONTHDAY=19;UNTIL=20300719");
    QTest::newRow("absolute yearly without month and day")
        << int(P::Yearly) << 1 << 0 << 0 << 0 << 0 << 0 << QByteArray() << QByteArray("FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=3");
    QTest::newRow("last Monday of May") << int(P::YearNth) << 1 << 2 << 0 << 5 << 0 << 5 << QByteArray()
                                        << QByteArray("FREQ=YEARLY;BYMONTH=5;BYDAY=-1MO");
    QTest::newRow("no pattern") << int(P::None) << 1 << 0 << 5 << 0 << 0 << 0 << QByteArray() << QByteArray();
}

void TestStandardFormat::recurrenceRules()
{
    QFETCH(int, pattern);
    QFETCH(int, interval);
    QFETCH(int, days);
    QFETCH(int, count);
    QFETCH(int, instance);
    QFETCH(int, dayOfMonth);
    QFETCH(int, month);
    QFETCH(QByteArray, until);
    QFETCH(QByteArray, rule);
    Recurrence recurrence;
    recurrence.pattern = Recurrence::Pattern(pattern);
    recurrence.interval = interval;
    recurrence.daysOfWeek = days;
    recurrence.occurrences = count;
    recurrence.instance = instance;
    recurrence.dayOfMonth = dayOfMonth;
    recurrence.month = month;
    QCOMPARE(recurrenceRule(recurrence, QDate(2011, 2, 3), until), rule);
}

void TestStandardFormat::contactCard()
{
    ContactInformation *contact = zeroed<ContactInformation>();
    put(contact->Identifier, "00112233445566778899AABBCCDDEEFF");
    put(contact->LastName, "Smith");
    put(contact->Title, "Dr");
    put(contact->Company, "Smith, Jones & Co");
    put(contact->EmailAddresses[0], "a@work.example");
    put(contact->EmailAddresses[1], "a@home.example");
    put(contact->WorkStreet, "1 Main St\n Floor 2");
    put(contact->WorkCity, "Springfield");
    ContactDetails details;
    details.middleName = QStringLiteral("Maria");
    details.emailKinds = {EmailKind::Work, EmailKind::Home};
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8).toBase64();
    // The plain note: escaped once in the file, its "<" is text.
    const QByteArray note = "Met at the fair &amp; conference,\nbooth &lt;12&gt;.";
    // The export's picture text is Base64 with line breaks.
    const QByteArray file = note + png.left(4) + "\n" + png.mid(4);
    contact->NotesOffset = 0;
    contact->NotesSize = note.size();
    contact->PictureOffset = note.size();
    contact->PictureSize = file.size() - note.size();

    const QStringList lines = unfoldedLines(standardVCard(*contact, details, ByteArrayTextReader(file)));
    QCOMPARE(lines.first(), QStringLiteral("BEGIN:VCARD"));
    QCOMPARE(lines.last(), QStringLiteral("END:VCARD"));
    // The UID comes from what the contact is, not from the record's random identifier.
    const QStringList uid = lines.filter(QRegularExpression(QStringLiteral("^UID:[0-9A-F]{8}-[0-9A-F]{4}-5")));
    QCOMPARE(uid.size(), 1);
    put(contact->Identifier, "FFEEDDCCBBAA99887766554433221100");
    QVERIFY(unfoldedLines(standardVCard(*contact, details, ByteArrayTextReader(file))).contains(uid.first()));
    details.place = {1200, 0, 10}; // another contact in the same place
    QVERIFY(!unfoldedLines(standardVCard(*contact, details, ByteArrayTextReader(file))).contains(uid.first()));
    // Every component in its place: no first name, the middle name third, the title as prefix.
    QVERIFY(lines.contains(QStringLiteral("N:Smith;;Maria;Dr;")));
    QVERIFY(lines.contains(QStringLiteral("FN:Maria Smith")));
    QVERIFY(lines.contains(QStringLiteral("ORG:Smith\\, Jones & Co;")));
    QVERIFY(lines.contains(QStringLiteral("EMAIL;TYPE=INTERNET,WORK,PREF:a@work.example")));
    QVERIFY(lines.contains(QStringLiteral("EMAIL;TYPE=INTERNET,HOME:a@home.example")));
    QVERIFY(lines.contains(QStringLiteral("ADR;TYPE=WORK:;;1 Main St\\nFloor 2;Springfield;;;")));
    QVERIFY(lines.contains(QStringLiteral("NOTE:Met at the fair & conference\\,\\nbooth <12>.")));
    QVERIFY(lines.contains(QStringLiteral("PHOTO;ENCODING=b;TYPE=PNG:") + QString::fromLatin1(png)));
}

void TestStandardFormat::eventLines_data()
{
    QTest::addColumn<QByteArray>("allDayField");
    QTest::addColumn<bool>("allDayDetail");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("timed, UTC")
        << QByteArray("0") << false << utc(2018, 6, 18, 16, 30) << utc(2018, 6, 18, 17, 0)
        << QStringList{"DTSTART:20180618T163000Z", "DTEND:20180618T170000Z"};
    // Local midnight six hours behind UTC, and seven ahead: the same calendar day either way.
    QTest::newRow("all day behind UTC") << QByteArray("1") << false << utc(2018, 6, 20, 6, 0) << utc(2018, 6, 21, 6, 0)
                                        << QStringList{"DTSTART;VALUE=DATE:20180620", "DTEND;VALUE=DATE:20180621"};
    QTest::newRow("all day ahead of UTC, flag in float notation")
        << QByteArray() << true << utc(2018, 6, 19, 17, 0) << utc(2018, 6, 21, 17, 0)
        << QStringList{"DTSTART;VALUE=DATE:20180620", "DTEND;VALUE=DATE:20180622"};
}

void TestStandardFormat::eventLines()
{
    QFETCH(QByteArray, allDayField);
    QFETCH(bool, allDayDetail);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(QStringList, expected);
    CalenderInformation *event = zeroed<CalenderInformation>();
    put(event->Identifier, "00112233445566778899AABBCCDDEEFF");
    put(event->Summary, "A &amp; B");
    put(event->Location, "your place, then mine");
    put(event->AllDay, allDayField.constData());
    put(event->ModStampUtc, "20180601T120000");
    EventDetails details;
    put(event->StartUtc, start.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1().constData());
    put(event->EndUtc, end.toString(QStringLiteral("yyyyMMdd'T'HHmmss")).toLatin1().constData());
    details.allDay = allDayDetail;
    details.isPrivate = true;
    details.categories = QStringList{"Work", "Family, Friends"};
    details.attendees = {{QStringLiteral("p@example.kr"), QString::fromUtf8("홍길동")}};
    details.reminderSeconds = 900;
    const QStringList lines = unfoldedLines(standardEvent(*event, details, kNoFile));
    for (const QString &line : expected)
        QVERIFY2(lines.contains(line), qPrintable(line));
    QCOMPARE(lines.first(), QStringLiteral("BEGIN:VEVENT"));
    QVERIFY(lines.contains(QStringLiteral("DTSTAMP:20180601T120000Z")));
    QVERIFY(lines.contains(QStringLiteral("SUMMARY:A & B")));
    QVERIFY(lines.contains(QStringLiteral("LOCATION:your place\\, then mine")));
    QVERIFY(lines.contains(QStringLiteral("CATEGORIES:Work,Family\\, Friends")));
    QVERIFY(lines.contains(QStringLiteral("CLASS:PRIVATE")));
    QVERIFY(lines.contains(QString::fromUtf8("ATTENDEE;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION;CN=홍길동:mailto:p@example.kr")));
    QVERIFY(lines.contains(QStringLiteral("TRIGGER:-PT15M")));
}

void TestStandardFormat::stampsReadAsUtcWhateverTheMachinesZone_data()
{
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QDateTime>("moment");
    // 02:30 on that day does not exist on the machine's clock below; the UTC moment does.
    QTest::newRow("in the machine's daylight-saving gap") << QByteArray("20180311T023000") << utc(2018, 3, 11, 2, 30);
    QTest::newRow("closing Z, as notes keep it") << QByteArray("20100512T143000Z") << utc(2010, 5, 12, 14, 30);
    QTest::newRow("last second of a leap day") << QByteArray("20160229T235959")
                                               << QDateTime(QDate(2016, 2, 29), QTime(23, 59, 59), Qt::UTC);
    QTest::newRow("30 February") << QByteArray("20100230T010000") << QDateTime();
    QTest::newRow("month 13") << QByteArray("20101301T000000") << QDateTime();
    QTest::newRow("hour 24") << QByteArray("20100512T240000") << QDateTime();
    QTest::newRow("year 0") << QByteArray("00000101T000000") << QDateTime();
    QTest::newRow("space for the T") << QByteArray("20100512 143000") << QDateTime();
    QTest::newRow("sign in a digit's place") << QByteArray("+0100512T143000") << QDateTime();
    QTest::newRow("one digit short") << QByteArray("2010512T143000") << QDateTime();
    QTest::newRow("date alone") << QByteArray("20100512") << QDateTime();
    QTest::newRow("empty") << QByteArray() << QDateTime();
}

void TestStandardFormat::stampsReadAsUtcWhateverTheMachinesZone()
{
    QFETCH(QByteArray, stamp);
    QFETCH(QDateTime, moment);
    qputenv("TZ", "America/Denver");
    tzset();
    const QDateTime read = compactStampUtc(stamp);
    const bool plain = !stamp.endsWith('Z');
    const QByteArray startLine = unfoldedLines(standardEvent(*eventAt(compactStampUtc(stamp), utc(2018, 3, 11, 4, 0), "0"),
                                                             EventDetails(), kNoFile))
                                     .filter(QStringLiteral("DTSTART"))
                                     .value(0)
                                     .toLatin1();
    qputenv("TZ", "UTC");
    tzset();
    QCOMPARE(read, moment);
    QCOMPARE(isCompactStamp(stamp), plain && moment.isValid());
    if (moment.isValid())
        QCOMPARE(startLine, "DTSTART:" + moment.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1());
}

void TestStandardFormat::repeatingEvents_data()
{
    QTest::addColumn<QString>("zoneText");
    QTest::addColumn<int>("nameOffset"); // minutes; 1: the zone's name gives none
    QTest::addColumn<bool>("allDay");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QStringList>("expected");
    // A weekly Monday 11:30 meeting: 17:30 UTC in summer, 18:30 UTC in winter, 11:30 local either way.
    QTest::newRow("summer, in its zone")
        << mountainZone() << -420 << false << utc(2018, 6, 18, 17, 30)
        << QStringList{"TZID:US/Mountain", "DTSTART;TZID=US/Mountain:20180618T113000",
                       "DTEND;TZID=US/Mountain:20180618T120000", "RRULE:FREQ=WEEKLY;BYDAY=MO;WKST=SU;COUNT=27"};
    QTest::newRow("winter, in its zone")
        << mountainZone() << -420 << false << utc(2018, 12, 17, 18, 30)
        << QStringList{"DTSTART;TZID=US/Mountain:20181217T113000", "RRULE:FREQ=WEEKLY;BYDAY=MO;WKST=SU;COUNT=27"};
    // Monday 03:00 UTC is Sunday evening at -07:00: the rule's day is the zone's.
    QTest::newRow("no zone text, the name's offset")
        << QString() << -420 << false << utc(2018, 6, 18, 3, 0)
        << QStringList{"TZID:UTC-0700", "DTSTART;TZID=UTC-0700:20180617T200000",
                       "RRULE:FREQ=WEEKLY;BYDAY=SU;WKST=SU;COUNT=27"};
    QTest::newRow("unreadable zone text, the name's offset")
        << QStringLiteral("BEGIN:VTIMEZONE\nTZID:X\nBEGIN:STANDARD\nDTSTART:16010101T000000\n"
                          "RRULE:FREQ=MONTHLY\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\nEND:STANDARD\nEND:VTIMEZONE")
        << 60 << false << utc(2018, 6, 18, 10, 0) << QStringList{"DTSTART;TZID=UTC+0100:20180618T110000"};
    QTest::newRow("no zone at all: UTC") << QString() << 1 << false << utc(2018, 6, 18, 17, 30)
                                         << QStringList{"DTSTART:20180618T173000Z", "DTEND:20180618T180000Z",
                                                        "RRULE:FREQ=WEEKLY;BYDAY=MO;WKST=SU;COUNT=27"};
    // Local midnight in Auckland's summer is 11:00 UTC the day before: the day is Auckland's.
    QTest::newRow("all day, thirteen hours ahead")
        << aucklandZone() << 720 << true << utc(2011, 3, 23, 11, 0)
        << QStringList{"DTSTART;VALUE=DATE:20110324", "DTEND;VALUE=DATE:20110325",
                       "RRULE:FREQ=WEEKLY;BYDAY=TH;WKST=SU;COUNT=27"};
    QTest::newRow("all day, thirteen hours ahead, name only")
        << QString() << 720 << true << utc(2011, 3, 23, 11, 0) << QStringList{"DTSTART;VALUE=DATE:20110324"};
}

void TestStandardFormat::repeatingEvents()
{
    QFETCH(QString, zoneText);
    QFETCH(int, nameOffset);
    QFETCH(bool, allDay);
    QFETCH(QDateTime, start);
    QFETCH(QStringList, expected);
    const QDateTime end = allDay ? start.addDays(1) : start.addSecs(30 * 60);
    CalenderInformation *event = eventAt(start, end, allDay ? "1" : "0");
    EventDetails details;
    details.allDay = allDay;
    details.zoneText = zoneText;
    details.hasZoneOffset = nameOffset != 1;
    details.zoneOffsetMinutes = details.hasZoneOffset ? nameOffset : 0;
    details.recurrence.pattern = Recurrence::Pattern::Weekly;
    details.recurrence.occurrences = 27;
    QStringList lines = unfoldedLines(standardEvent(*event, details, kNoFile));
    const ZoneRules zone = eventZone(*event, details);
    if (zone.isValid())
        lines += unfoldedLines(zone.vtimezone());
    for (const QString &line : expected)
        QVERIFY2(lines.contains(line), qPrintable(line + QLatin1Char('\n') + lines.join(QLatin1Char('\n'))));
}

void TestStandardFormat::eventIdentity()
{
    CalenderInformation *event = eventAt(utc(2018, 6, 18, 17, 30), utc(2018, 6, 18, 18, 0), "0");
    EventDetails details;
    details.place = {1200, 0, 0};
    const auto uidOf = [&](const EventDetails &with) {
        return unfoldedLines(standardEvent(*event, with, kNoFile)).filter(QRegularExpression(QStringLiteral("^UID:")));
    };
    const QStringList stable = uidOf(details);
    QCOMPARE(stable.size(), 1);
    // The record's random identifier plays no part: another scan gives the same UID.
    put(event->Identifier, "FFEEDDCCBBAA99887766554433221100");
    QCOMPARE(uidOf(details), stable);
    EventDetails elsewhere = details;
    elsewhere.place = {1201, 0, 0};
    QVERIFY(uidOf(elsewhere) != stable);
    details.ownUid = QStringLiteral("FC8C8E87-C9E8-42F7-AD76-457CCFB55DFB");
    QCOMPARE(uidOf(details), QStringList{"UID:FC8C8E87-C9E8-42F7-AD76-457CCFB55DFB"});
}

void TestStandardFormat::repeatingTaskWithOnlyADueDate()
{
    TasksInformation *task = zeroed<TasksInformation>();
    put(task->Name, "Renew domain");
    TaskDetails details;
    details.dueDay = QDate(2010, 9, 2);
    details.recurrence.pattern = Recurrence::Pattern::Daily;
    details.recurrence.interval = 3;
    details.recurrence.endDate = QDate(2011, 3, 21);
    const QStringList lines = unfoldedLines(standardTodo(*task, details, kNoFile));
    for (const char *line : {"DTSTART;VALUE=DATE:20100902", "DUE;VALUE=DATE:20100902",
                             "RRULE:FREQ=DAILY;INTERVAL=3;UNTIL=20110321"})
        QVERIFY2(lines.contains(QLatin1String(line)), line);
    details.recurrence = Recurrence();
    QVERIFY(unfoldedLines(standardTodo(*task, details, kNoFile)).filter(QStringLiteral("DTSTART")).isEmpty());
}

void TestStandardFormat::completedTask()
{
    TasksInformation *task = zeroed<TasksInformation>();
    put(task->Identifier, "00112233445566778899AABBCCDDEEFF");
    put(task->Name, "Call back");
    put(task->Priority, "2");
    TaskDetails details;
    details.startUtc = utc(2010, 5, 11, 22, 0);
    details.startDay = QDate(2010, 5, 12);
    details.dueDay = QDate(2010, 5, 13);
    details.completedUtc = utc(2010, 5, 13, 9, 15);
    details.complete = true;
    put(task->ReminderStampUtc, "20100512T140000");
    const QStringList lines = unfoldedLines(standardTodo(*task, details, kNoFile));
    for (const char *line : {"BEGIN:VTODO", "DTSTART;VALUE=DATE:20100512", "DUE;VALUE=DATE:20100513", "PRIORITY:1",
                             "STATUS:COMPLETED", "COMPLETED:20100513T091500Z",
                             "TRIGGER;VALUE=DATE-TIME:20100512T140000Z", "END:VTODO"})
        QVERIFY2(lines.contains(QLatin1String(line)), line);

    details.complete = false;
    details.completedUtc = QDateTime();
    const QStringList open = unfoldedLines(standardTodo(*task, details, kNoFile));
    QVERIFY(open.contains(QStringLiteral("STATUS:NEEDS-ACTION")));
    QVERIFY(!open.filter(QStringLiteral("COMPLETED:")).size());

    // The export's plain note is written where the record has one, not its HTML note.
    const QByteArray html = "&lt;p&gt;HTML copy&lt;/p&gt;";
    const QByteArray plain = "Plain copy; a &amp;lt; b";
    const QByteArray file = html + plain;
    task->NoteOffset = 0;
    task->NoteSize = html.size();
    task->NotePlainOffset = html.size();
    task->NotePlainSize = plain.size();
    const ByteArrayTextReader both(file);
    const QStringList plainNote = unfoldedLines(standardTodo(*task, details, both));
    QVERIFY(plainNote.contains(QStringLiteral("DESCRIPTION:Plain copy\\; a &lt\\; b")));
    task->NotePlainSize = 0;
    const QStringList htmlNote = unfoldedLines(standardTodo(*task, details, both));
    QVERIFY(htmlNote.contains(QStringLiteral("DESCRIPTION:HTML copy")));
}

// A description made of openings that never close took time by the square of its
// length (61 s at 800 KB). What does close is still dropped; what does not stays text.
void TestStandardFormat::htmlTextOfOpeningsThatNeverClose_data()
{
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("style") << QStringLiteral("<style>p{}") << QStringLiteral("p{}p{}");
    QTest::newRow("script") << QStringLiteral("<SCRIPT x>1 ") << QStringLiteral("1 1 1");
    QTest::newRow("comment") << QStringLiteral("<!-- c ") << QStringLiteral("<!-- c <!-- c");
    QTest::newRow("less-than") << QStringLiteral("a<") << QStringLiteral("a<a<");
    QTest::newRow("line end") << QStringLiteral("<br x") << QStringLiteral("<br x<br x");
}

void TestStandardFormat::htmlTextOfOpeningsThatNeverClose()
{
    QFETCH(QString, repeated);
    QFETCH(QString, expectedStart);
    const QString html = QStringLiteral("<style>dropped</style>") + repeated.repeated(2 * 1024 * 1024 / repeated.size());
    QElapsedTimer timer;
    timer.start();
    const QString text = plainTextOfHtml(html);
    // A pass over 2 MB takes milliseconds; by the square of the length it took minutes.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(text.startsWith(expectedStart), qPrintable(text.left(40)));
    QCOMPARE(plainTextOfHtml(QStringLiteral("<p>a</p><STYLE type=x>b</style ><script>c</script>d<br/>e<!-- f -->g<i>h")),
             QStringLiteral("a\nd\negh"));
}

void TestStandardFormat::journalFromHtml()
{
    NotesInformation *note = zeroed<NotesInformation>();
    put(note->Identifier, "00112233445566778899AABBCCDDEEFF");
    put(note->Title, "Tom & Jerry");
    const QByteArray text = "&lt;html&gt;&lt;head&gt;&lt;style&gt;p { color: red; }&lt;/style&gt;&lt;/head&gt;"
                            "&lt;body&gt;&lt;div&gt;First;&lt;/div&gt;&lt;div&gt;a &amp;amp; b&lt;/div&gt;"
                            "&lt;/body&gt;&lt;/html&gt;";
    note->NotesSize = text.size();
    const QStringList lines = unfoldedLines(standardJournal(*note, ByteArrayTextReader(text)));
    QVERIFY(lines.contains(QStringLiteral("SUMMARY:Tom & Jerry")));
    QVERIFY(lines.contains(QStringLiteral("DESCRIPTION:First\\;\\na & b")));
    QVERIFY(lines.contains(QStringLiteral("DTSTAMP:19700101T000000Z")));
}

void TestStandardFormat::quotedPrintableLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("plain") << QByteArray("Hello, world") << QByteArray("Hello, world");
    QTest::newRow("equals and UTF-8") << QByteArray("a=b caf\xc3\xa9") << QByteArray("a=3Db caf=C3=A9");
    QTest::newRow("trailing blanks") << QByteArray("end \nnext\t") << QByteArray("end=20\nnext=09");
    // Lines that mbox readers could take for a separator never reach the file as such.
    QTest::newRow("From at a line start") << QByteArray("x\nFrom here\n>>From there")
                                          << QByteArray("x\n=46rom here\n=3E>From there");
    QTest::newRow("From inside a line stays") << QByteArray("mail From me") << QByteArray("mail From me");
    QTest::newRow("long line") << QByteArray(100, 'a') << QByteArray(75, 'a') + "=\n" + QByteArray(25, 'a');
    // A soft break whose next line would begin with From.
    QTest::newRow("From after a soft break") << QByteArray(75, 'a') + "From x"
                                             << QByteArray(75, 'a') + "=\n=46rom x";
    QTest::newRow("escape not split") << QByteArray(74, 'a') + "\xc3\xa9"
                                      << QByteArray(74, 'a') + "=\n=C3=A9";
}

void TestStandardFormat::quotedPrintableLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(quotedPrintable(text), encoded);
}

// Every soft line of a line of ">" could still turn out to be ">From ": the run is
// looked at once, not once per soft line (2 MiB of ">" took minutes that way).
void TestStandardFormat::longQuoteRunsEncodeInLinearTime()
{
    for (const QByteArray &end : {QByteArray("From x"), QByteArray("x")}) {
        const QByteArray text = "a\n" + QByteArray(2 << 20, '>') + end;
        QElapsedTimer timer;
        timer.start();
        const QByteArray encoded = quotedPrintable(text);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        // Each soft line of the run is judged as the whole run is.
        const QList<QByteArray> lines = encoded.split('\n');
        for (int i = 1; i < lines.size(); ++i) {
            const bool guarded = lines.at(i).startsWith("=3E") || lines.at(i).startsWith("=46");
            QVERIFY2(guarded == end.startsWith("From"), lines.at(i).constData());
        }
    }
}

// Random texts of the bytes that matter: the encoding decodes back to the text (RFC 2045
// rules, by hand), no line is longer than 76 characters or could pass for a separator,
// and texts given in pieces encode as the whole does.
void TestStandardFormat::quotedPrintableDecodesBack()
{
    const char *const pieces[] = {"a", "From ", ">", "F", " ", "\t", "\n", "=", "\xc3\xa9", "\r", "\x01", "xyz12"};
    QRandomGenerator random(23);
    for (int round = 0; round < 20000; ++round) {
        QByteArray text;
        const int length = random.bounded(60);
        for (int i = 0; i < length; ++i)
            text += pieces[random.bounded(int(std::size(pieces)))];
        const QByteArray encoded = quotedPrintable(text);
        QByteArray decoded;
        for (const QByteArray &line : encoded.split('\n')) {
            QVERIFY2(line.size() <= 76, encoded.constData());
            QVERIFY2(!line.startsWith("From ") && !QByteArray(line).replace(">", "").startsWith("From "),
                     encoded.constData());
            QVERIFY2(!line.endsWith(' ') && !line.endsWith('\t'), encoded.constData());
            const bool soft = line.endsWith('=');
            const QByteArray body = soft ? line.chopped(1) : line;
            for (int i = 0; i < body.size(); ++i) {
                if (body.at(i) == '=') {
                    decoded += char(body.mid(i + 1, 2).toInt(nullptr, 16));
                    i += 2;
                } else {
                    decoded += body.at(i);
                }
            }
            if (!soft)
                decoded += '\n';
        }
        decoded.chop(1);
        QCOMPARE(decoded, text);
        QuotedPrintableEncoder encoder;
        QByteArray inPieces;
        for (int at = 0; at < text.size();) {
            const int piece = qMin(1 + int(random.bounded(7)), text.size() - at);
            inPieces += encoder.add(text.mid(at, piece), false);
            at += piece;
        }
        inPieces += encoder.add(QByteArray(), true);
        QCOMPARE(inPieces, encoded);
    }
}

// Every reader reads the words whole: each line, the header name included, within 78
// characters; each word whole UTF-8; every Base64 word but the last a multiple of three
// bytes (GMime joins their Base64 before decoding); the words decode to the text.
void TestStandardFormat::encodedWordsStayShortAndWhole()
{
    const QStringList texts{
        QString::fromUtf8("会議の議事録 (10月分) 😀 주간 보고서 – 3분기 Προσφορά για το έργο"),
        QString::fromUtf8("a会議の議事録と来年度の予算案についての確認をお願いいたします。添付の資料をご覧の上"),
        QString::fromUtf8("다음 주 월요일 오전 회의에서 논의할 분기별 실적 보고서와 예산안을 첨부합니다."),
        QString::fromUtf8("Zoë 😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀 ab"),
        QString(),
    };
    for (const QString &text : texts) {
        for (const int column : {0, 9, 40, 70, 77}) {
            const QByteArray words = encodedWords(text, column);
            QString decoded;
            const QList<QByteArray> lines = words.split('\n');
            for (int i = 0; i < lines.size(); ++i) {
                const QByteArray &line = lines.at(i);
                QVERIFY2((i == 0 ? column : 0) + line.size() <= 78, line.constData());
                for (const QByteArray &word : line.split(' ')) {
                    if (word.isEmpty())
                        continue;
                    QVERIFY2(word.size() <= 75, word.constData());
                    QVERIFY(word.endsWith("?="));
                    QByteArray bytes;
                    if (word.startsWith("=?UTF-8?B?")) {
                        bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
                        if (i + 1 < lines.size())
                            QCOMPARE(bytes.size() % 3, 0);
                    } else {
                        QVERIFY(word.startsWith("=?UTF-8?Q?"));
                        bytes = QByteArray::fromPercentEncoding(word.mid(10, word.size() - 12).replace('_', ' '), '=');
                    }
                    QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);
                    decoded += QString::fromUtf8(bytes);
                }
            }
            QCOMPARE(decoded, text);
        }
    }
}

void TestStandardFormat::hostileCategoriesStayInTheirHeaders_data()
{
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<int>("keywords");
    QTest::newRow("plain") << QStringList{"Holiday", "Work"} << 2;
    QTest::newRow("spaces, brackets, specials") << QStringList{"Follow up (urgent)", "a{b}%c*d]e", "R&D"} << 3;
    QTest::newRow("line breaks and NUL") << QStringList{QString::fromLatin1("a\r\nX-Evil: 1\0b", 14), "\n"} << 1;
    QTest::newRow("quotes and backslashes") << QStringList{"say \"hi\"", "back\\slash"} << 2;
    QTest::newRow("outside ASCII") << QStringList{QString::fromUtf8("見積もり"), QString::fromUtf8("Ελλάδα & co")} << 2;
    QTest::newRow("client keywords") << QStringList{"$Junk", "\\Deleted"} << 2;
    QTest::newRow("the same twice, blanks") << QStringList{"Holiday", " ", "Holiday "} << 1;
}

// Whatever a category holds, the header keeps one line per field and every IMAP keyword is one atom.
void TestStandardFormat::hostileCategoriesStayInTheirHeaders()
{
    QFETCH(QStringList, categories);
    QFETCH(int, keywords);
    MailMLRC *mail = zeroed<MailMLRC>();
    put(mail->MessageId, "<ID1@example.com>");
    put(mail->ReceivedTime, "Wed, 12 May 2010 20:00:00 +0530");
    MailDetails details;
    details.categories = categories;
    details.flagged = true;
    details.priority = 2;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writeStandardMessage(out, *mail, details, ByteArrayTextReader(QByteArray()), nullptr));
    const QByteArray header = out.data().left(out.data().indexOf("\n\n"));
    QVERIFY(!header.contains('\r') && !header.contains('\0'));
    const QRegularExpression field(QStringLiteral("^([A-Za-z-]+: |From |[ \\t])"));
    for (const QByteArray &line : header.split('\n'))
        QVERIFY2(field.match(QString::fromUtf8(line)).hasMatch(), line.constData());
    QVERIFY(!header.contains("\nX-Evil"));
    const QList<QByteArray> lines = header.split('\n');
    QVERIFY(lines.contains("X-Status: F"));
    QVERIFY(lines.contains("X-Priority: 2 (High)") && lines.contains("Importance: high"));
    QCOMPARE(header.contains("\nKeywords: "), keywords > 0);
    const QList<QByteArray> atoms = imapKeywords(categories);
    QCOMPARE(atoms.size(), keywords);
    const QRegularExpression atom(QStringLiteral("^[^\\x00-\\x20\\x7F-\\xFF(){%*\"\\\\\\]$]+$"));
    for (const QByteArray &keyword : atoms)
        QVERIFY2(atom.match(QString::fromLatin1(keyword)).hasMatch(), keyword.constData());
    QCOMPARE(QSet<QByteArray>(atoms.begin(), atoms.end()).size(), atoms.size());
}

void TestStandardFormat::messageLines()
{
    MailMLRC *mail = zeroed<MailMLRC>();
    put(mail->MessageId, "<ID1@example.com>");
    put(mail->Subject, "Hi");
    put(mail->FromAddress, "ann@example.com;");
    put(mail->ReceivedTime, "Wed, 12 May 2010 20:00:00 +0530");
    put(mail->FolderPath, "Inbox");
    const QByteArray body = "&lt;p&gt;From the start&lt;/p&gt;\nFrom here on";
    const QByteArray attachment(1000, 'x');
    const QByteArray file = body + attachment;
    mail->BodySize = body.size();
    QByteArray ids = "image001.png@01CB;no;", types = "image/png;text/plain;";
    QByteArray names = QString::fromUtf8("写真写真写真写真写真写真写真写真写真写真写真写真写真写真.png;a.txt;").toUtf8();
    // The second attachment claims more bytes than the file holds.
    QByteArray offsets = QByteArray::number(body.size()) + ";" + QByteArray::number(body.size() + 500) + ";";
    QByteArray sizes = "500;900;";
    mail->AttachContentIds = ids.data();
    mail->AttachContentTypes = types.data();
    mail->AttachNames = names.data();
    mail->AttachUrls = sizes.data();
    mail->AttachOffsets = offsets.data();
    mail->AttachSizes = sizes.data();

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QStringList problems;
    QVERIFY(writeStandardMessage(out, *mail, MailDetails(), ByteArrayTextReader(file), &problems));
    const QList<QByteArray> lines = out.data().split('\n');
    QVERIFY(lines.first().startsWith("From ann@example.com Wed May 12 14:30:00 2010"));
    const QRegularExpression separator(QStringLiteral("^>*From "));
    for (int i = 1; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).size() <= 998, lines.at(i).left(40).constData());
        QVERIFY2(!separator.match(QString::fromLatin1(lines.at(i))).hasMatch(), lines.at(i).constData());
    }
    QVERIFY(lines.contains("Content-ID: <image001.png@01CB>"));
    QVERIFY(lines.contains("Message-ID: <ID1@example.com>"));
    QVERIFY(lines.contains("MIME-Version: 1.0"));
    QVERIFY(lines.contains(" filename*0*=UTF-8''%E5%86%99%E7%9C%9F%E5%86%99%E7%9C%9F%E5%86%99;"));
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().contains(QLatin1String("500 of 900")));
    QVERIFY(out.data().endsWith("--\n\n"));
    // A mail server gets the same message without the mbox framing and the marks it keeps itself.
    QBuffer alone;
    alone.open(QIODevice::WriteOnly);
    QVERIFY(writeStandardMessageAlone(alone, *mail, MailDetails(), ByteArrayTextReader(file), nullptr));
    QVERIFY(lines.at(1) == "Status: O");
    QCOMPARE(alone.data(), out.data().mid(out.data().indexOf("\nStatus: O\n") + int(qstrlen("\nStatus: O\n"))).chopped(1));
}

// The HTML test scans by hand; it must say what the tag pattern it replaced says,
// on texts made of the characters that matter to it.
void TestStandardFormat::markupTestAgreesWithTagPattern()
{
    const QRegularExpression tagPattern(QStringLiteral("<(/?[a-zA-Z][a-zA-Z0-9]*|!--)[^>]*>"));
    const QString pieces[] = {"<", ">", "/", "!", "-", "--", "a", "Z", "9", " ", "\u00e9", "<!--", "</", "x"};
    QRandomGenerator random(17);
    int withMarkup = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = random.bounded(9);
        for (int i = 0; i < length; ++i)
            text += pieces[random.bounded(int(std::size(pieces)))];
        const bool expected = tagPattern.match(text).hasMatch();
        withMarkup += expected;
        QVERIFY2(holdsMarkup(text) == expected, qPrintable(text));
        // Read in blocks, cut anywhere, the text is judged the same.
        const QByteArray utf8 = text.toUtf8();
        MarkupScan scan;
        for (int at = 0; at < utf8.size();) {
            const int piece = qMin(1 + int(random.bounded(3)), utf8.size() - at);
            scan.add(utf8.constData() + at, piece);
            at += piece;
        }
        QVERIFY2(scan.holdsMarkup() == expected, qPrintable(text));
    }
    QVERIFY2(withMarkup > 500 && withMarkup < 19500, qPrintable(QString::number(withMarkup)));
}

void TestStandardFormat::htmlDeclaresUtf8_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("written");
    QTest::newRow("http-equiv")
        << "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-2022-jp\"></HEAD>"
        << "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\"></HEAD>";
    QTest::newRow("html5, quoted") << "<meta charset='Shift_JIS'><p>x</p>" << "<meta charset='utf-8'><p>x</p>";
    QTest::newRow("spaces, bare") << "<meta  charset = euc-kr >" << "<meta  charset = utf-8 >";
    QTest::newRow("text outside a meta tag stays") << "<p>charset=koi8-r</p><meta charset=\"koi8-r\">"
                                                   << "<p>charset=koi8-r</p><meta charset=\"utf-8\">";
    QTest::newRow("no declaration") << "<p>hi</p>" << "<p>hi</p>";
}

// A body written as UTF-8 must not declare the sender's own charset, or readers
// that trust the tag show the Japanese text as garbage.
void TestStandardFormat::htmlDeclaresUtf8()
{
    QFETCH(QString, html);
    QFETCH(QString, written);
    QCOMPARE(withUtf8Declaration(html), written);
    MailMLRC *mail = zeroed<MailMLRC>();
    put(mail->MessageId, "<ID1@example.com>");
    const QByteArray file = html.toHtmlEscaped().toUtf8();
    mail->BodySize = file.size();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writeStandardMessage(out, *mail, MailDetails(), ByteArrayTextReader(file), nullptr));
    QByteArray unwrapped = out.data();
    unwrapped.replace("=\n", "").replace("=3D", "=");
    QVERIFY2(unwrapped.contains(written.toUtf8()), unwrapped.constData());
}

// HTML given in pieces gets the declarations the whole gets, wherever the pieces cut
// a meta tag or the text between tags.
void TestStandardFormat::declarationsInPiecesAsInTheWhole()
{
    const char *const pieces[] = {"<meta charset=\"koi8-r\">", "<META", "<met", "a", " charset=x", ">", "<", "<p>",
                                  "metal", "_", "\xe6\x97\xa5", " "};
    QRandomGenerator random(17);
    for (int round = 0; round < 3000; ++round) {
        QByteArray html;
        const int length = random.bounded(12);
        for (int i = 0; i < length; ++i)
            html += pieces[random.bounded(int(std::size(pieces)))];
        Utf8Declarations whole;
        const QByteArray expected = whole.add(html, true);
        QCOMPARE(expected, withUtf8Declaration(QString::fromUtf8(html)).toUtf8());
        const int cut1 = random.bounded(html.size() + 1), cut2 = random.bounded(html.size() + 1);
        const int first = qMin(cut1, cut2), second = qMax(cut1, cut2);
        Utf8Declarations inPieces;
        QByteArray written = inPieces.add(html.left(first), false);
        written += inPieces.add(html.mid(first, second - first), false);
        written += inPieces.add(html.mid(second), true);
        QVERIFY2(written == expected, html.constData());
    }
}

// The scan makes up a random identifier for a mail without one; the standard file
// must not, or importing a second save duplicates the mail.
void TestStandardFormat::mailWithoutIdentifierKeepsItsMessageId()
{
    MailMLRC *mail = zeroed<MailMLRC>();
    put(mail->MessageId, "0123456789abcdef0123456789abcdef");
    put(mail->Subject, "Draft");
    MailDetails details;
    details.place = {2000, 0, 0};
    const auto messageId = [&] {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        writeStandardMessage(out, *mail, details, kNoFile, nullptr);
        for (const QByteArray &line : out.data().split('\n'))
            if (line.startsWith("Message-ID: "))
                return line;
        return QByteArray();
    };
    const QByteArray first = messageId();
    QVERIFY(QRegularExpression(QStringLiteral("^Message-ID: <[0-9a-f-]{36}@mendora.invalid>$"))
                .match(QString::fromLatin1(first)).hasMatch());
    put(mail->MessageId, "fedcba9876543210fedcba9876543210");
    QCOMPARE(messageId(), first);
    details.place = {2400, 0, 0};
    QVERIFY(messageId() != first);
}

QTEST_GUILESS_MAIN(TestStandardFormat)
#include "test_standardformat.moc"
