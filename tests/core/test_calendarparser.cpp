#include "ParserTestSupport.h"
#include "olm/FolderHierarchy.h"
#include "scan/ScanSession.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QtTest>

namespace {
QByteArray appointment(const QByteArray &elements) { return element("appointment", elements); }

QByteArray calendarDocument(const QByteArray &appointments) { return rootElement("appointments", appointments); }

QByteArray attendee(const QByteArray &address, const QByteArray &name)
{
    return element("appointmentAttendee", QByteArray(),
                   "OPFCalendarAttendeeAddress=\"" + address + "\" OPFCalendarAttendeeName=\"" + name
                       + "\" OPFCalendarAttendeeResponseRequested=\"1\"");
}

QByteArray attendeeList(const QByteArray &entries)
{
    return element("OPFCalendarEventCopyAttendeeList", entries);
}

void parse(const QByteArray &document, qint64 documentEnd)
{
    withDocument(document, [=] { FolderInformation().InitializeCLRC(documentEnd); });
}

const CalenderInformation &parseOne(const QByteArray &elements)
{
    parse(calendarDocument(appointment(elements)), 2000);
    return requireRecord(TmpCLRCPtrStart, "calendar");
}
} // namespace

class TestCalendarParser : public QObject
{
    Q_OBJECT
private slots:
    void init() { useZone("UTC"); }
    void cleanup() { CleanListAndHash(); }

    void splitsDocumentIntoAppointments();
    void timeZone_data();
    void timeZone();
    void reminderDuration_data();
    void reminderDuration();
    void attendees_data();
    void attendees();
    void firstOccurrenceAroundAttendeeList();
    void stamps_data();
    void stamps();
    void modificationStampsInMachineZone();
    void plainFields();
    void descriptionLeftInFile();
};

void TestCalendarParser::splitsDocumentIntoAppointments()
{
    const QByteArray ownUuid = "0123456789ABCDEF0123456789ABCDEF";
    parse(calendarDocument(appointment(element("OPFCalendarEventCopySummary", "One")
                                       + element("OPFCalendarEventCopyUUID", ownUuid))
                           + appointment(element("OPFCalendarEventCopySummary", "Two"))
                           + appointment(element("OPFCalendarEventCopySummary", "Three"))),
          10000);
    QCOMPARE(CalendarItemCount, qint64(3));
    QCOMPARE(QByteArray(TmpCLRCPtrStart->Summary), QByteArray("One"));
    QCOMPARE(QByteArray(TmpCLRCPtrStart->Next->Summary), QByteArray("Two"));
    QCOMPARE(QByteArray(TmpCLRCPtrEnd->Summary), QByteArray("Three"));
    QVERIFY(!TmpCLRCPtrEnd->Next);
    QVERIFY(objMapName_FID.contains(QStringLiteral("Calendars")));

    // Identifiers are new for every appointment; the item's own UUID is not used.
    const QByteArray first(TmpCLRCPtrStart->Identifier), second(TmpCLRCPtrStart->Next->Identifier);
    QVERIFY(first != ownUuid);
    QVERIFY(first != second);
    QVERIFY(isItemIdentifier(first));

    parse(calendarDocument("<appointment><OPFCalendarEventCopySummary xml:space=\"preserve\">x"), 20000);
    QCOMPARE(CalendarItemCount, qint64(3));
}

void TestCalendarParser::timeZone_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("offset");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("Kolkata") << QByteArray("(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi") << QByteArray("+0530")
                             << QByteArray("Chennai, Kolkata, Mumbai, New Delhi") << QByteArray("28");
    QTest::newRow("Central America") << QByteArray("(UTC-06:00) Central America") << QByteArray("-0600")
                                     << QByteArray("Central America") << QByteArray("68");
    QTest::newRow("Eastern, no code") << QByteArray("(UTC-05:00) Eastern Time (US &amp; Canada)") << QByteArray("-0500")
                                      << QByteArray("Eastern Time (US &amp; Canada)") << QByteArray();
    QTest::newRow("offset of another zone") << QByteArray("(UTC-05:00) Central America") << QByteArray("-0500")
                                            << QByteArray("Central America") << QByteArray();
    QTest::newRow("name case differs") << QByteArray("(UTC-06:00) central America") << QByteArray("-0600")
                                       << QByteArray("central America") << QByteArray();
    QTest::newRow("Latin-1 name") << QByteArray("(UTC+01:00) Z\xc3\xbcrich \xce\xb1") << QByteArray("+0100")
                                  << QByteArray("Z\xfcrich ?") << QByteArray();
    QTest::newRow("bare UTC") << QByteArray("(UTC) Coordinated Universal Time") << QByteArray()
                              << QByteArray("Coordinated Universal Time") << QByteArray();
    QTest::newRow("without name") << QByteArray("(UTC+05:30)") << QByteArray("+0530)") << QByteArray() << QByteArray();
    QTest::newRow("no offset shape") << QByteArray("Chennai") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("name of 200") << "(UTC+05:30) " + QByteArray(200, 'n') << QByteArray("+0530") << QByteArray()
                                 << QByteArray();
    QTest::newRow("name of 199") << "(UTC+05:30) " + QByteArray(199, 'n') << QByteArray("+0530") << QByteArray(199, 'n')
                                 << QByteArray();
}

void TestCalendarParser::timeZone()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, offset);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, code);
    const CalenderInformation &event = parseOne(element("OPFCalendarEventCopyTimeZone", text)
                                                + element("OPFCalendarEventCopySummary", "s"));
    QCOMPARE(QByteArray(event.TimeZoneOffset), offset);
    QCOMPARE(QByteArray(event.TimeZoneName), name);
    QCOMPARE(QByteArray(event.TimeZoneCode), code);
    QCOMPARE(QByteArray(event.Summary), QByteArray("s"));
}

void TestCalendarParser::reminderDuration_data()
{
    QTest::addColumn<QByteArray>("delta");
    QTest::addColumn<QByteArray>("duration");
    QTest::newRow("quarter hour") << QByteArray("900") << QByteArray("PT00H15M00S");
    QTest::newRow("zero") << QByteArray("0") << QByteArray("PT00H00M00S");
    QTest::newRow("hour, minute and seconds") << QByteArray("3690") << QByteArray();
    QTest::newRow("hour and seconds") << QByteArray("3630") << QByteArray();
    QTest::newRow("one hour") << QByteArray("3600") << QByteArray("PT1H00M00S");
    QTest::newRow("thirty seconds") << QByteArray("30") << QByteArray("PT00H00M30S");
    QTest::newRow("hour and a half") << QByteArray("5400") << QByteArray("PT001H30M00S");
    // Hours count in total: a day's reminder must not fire at the start.
    QTest::newRow("one day") << QByteArray("86400") << QByteArray("PT24H00M00S");
    QTest::newRow("day and an hour") << QByteArray("90000") << QByteArray("PT25H00M00S");
    QTest::newRow("after the start") << QByteArray("-900") << QByteArray();
    QTest::newRow("one week") << QByteArray("604800") << QByteArray("PT168H00M00S");
    QTest::newRow("not a number") << QByteArray("soon") << QByteArray("PT00H00M00S");
    QTest::newRow("white space only") << QByteArray("  ") << QByteArray();
}

void TestCalendarParser::reminderDuration()
{
    QFETCH(QByteArray, delta);
    QFETCH(QByteArray, duration);
    const CalenderInformation &event = parseOne(element("OPFCalendarEventCopyReminderDelta", delta));
    QCOMPARE(QByteArray(event.ReminderDuration), duration);
}

void TestCalendarParser::attendees_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<QByteArray>("addresses");
    QTest::addColumn<QByteArray>("names");
    QTest::newRow("two") << attendeeList(attendee("p@x.example", "Pat") + attendee("q@x.example", "Quinn"))
                         << QByteArray("p@x.example;q@x.example;") << QByteArray("Pat;Quinn;");
    QTest::newRow("none") << element("OPFCalendarEventCopySummary", "alone") << QByteArray() << QByteArray();
    QTest::newRow("list without end marker")
        << "<OPFCalendarEventCopyAttendeeList xml:space=\"preserve\">" + attendee("p@x.example", "Pat")
        << QByteArray() << QByteArray();
    QTest::newRow("empty list") << attendeeList(QByteArray()) << QByteArray() << QByteArray();
    // Without a name attribute the address ends before the next attribute present
    // and the name stays empty, so both lists keep one piece per attendee.
    QTest::newRow("attendee without name")
        << attendeeList("<appointmentAttendee xml:space=\"preserve\" OPFCalendarAttendeeAddress=\"p@x.example\" "
                        "OPFCalendarAttendeeResponseRequested=\"1\"></appointmentAttendee>"
                        + attendee("q@x.example", "Quinn"))
        << QByteArray("p@x.example;q@x.example;") << QByteArray(";Quinn;");
    QTest::newRow("without response flag")
        << attendeeList("<appointmentAttendee OPFCalendarAttendeeAddress=\"p@x.example\" "
                        "OPFCalendarAttendeeName=\"Pat\"></appointmentAttendee>")
        << QByteArray("p@x.example;") << QByteArray("Pat;");
    QTest::newRow("name only, no closing quote")
        << attendeeList("<appointmentAttendee OPFCalendarAttendeeAddress=\"p@x.example\" "
                        "OPFCalendarAttendeeName=\"Pat</appointmentAttendee>")
        << QByteArray("p@x.example;") << QByteArray(";");
    QTest::newRow("without address") << attendeeList("<appointmentAttendee OPFCalendarAttendeeName=\"Pat\" "
                                                     "OPFCalendarAttendeeResponseRequested=\"1\"></appointmentAttendee>"
                                                     + attendee("q@x.example", "Quinn"))
                                     << QByteArray("q@x.example;") << QByteArray("Quinn;");
    QTest::newRow("attributes out of order")
        << attendeeList("<appointmentAttendee OPFCalendarAttendeeName=\"Pat\" OPFCalendarAttendeeAddress=\"p@x\" "
                        "OPFCalendarAttendeeResponseRequested=\"1\"></appointmentAttendee>")
        << QByteArray("p@x;") << QByteArray("Pat;");
    QTest::newRow("no attributes") << attendeeList("<appointmentAttendee></appointmentAttendee>") << QByteArray()
                                   << QByteArray();
    QTest::newRow("names outside Latin-1") << attendeeList(attendee("k@x.example", "\xea\xb9\x80 Kim"))
                                           << QByteArray("k@x.example;") << QByteArray("\xea\xb9\x80 Kim;");
    // Names too long for the field keep what fits, up to the last whole character.
    QByteArray longName("a");
    for (int i = 0; i < 90; ++i)
        longName += "\xea\xb9\x80";
    QTest::newRow("names cut at a character") << attendeeList(attendee("k@x.example", longName))
                                              << QByteArray("k@x.example;") << longName.left(1 + 84 * 3);
    QByteArray many;
    for (int i = 0; i < 20; ++i)
        many += attendee("person" + QByteArray::number(i) + "@x.example", "P");
    QTest::newRow("addresses too long") << attendeeList(many) << QByteArray()
                                        << QByteArray("P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;P;");
}

void TestCalendarParser::attendees()
{
    QFETCH(QByteArray, elements);
    QFETCH(QByteArray, addresses);
    QFETCH(QByteArray, names);
    const CalenderInformation &event = parseOne(elements + element("OPFCalendarEventCopyOrganizer", "Olga"));
    QCOMPARE(QByteArray(event.AttendeeAddresses), addresses);
    QCOMPARE(QByteArray(event.AttendeeNames), names);
    QCOMPARE(QByteArray(event.Organizer), QByteArray("Olga"));
}

void TestCalendarParser::firstOccurrenceAroundAttendeeList()
{
    // The first occurrence in the whole item stands.
    const CalenderInformation &event = parseOne(element("OPFCalendarEventCopySummary", "First")
                                                + attendeeList(attendee("p@x", "P"))
                                                + element("OPFCalendarEventCopySummary", "Second"));
    QCOMPARE(QByteArray(event.Summary), QByteArray("First"));
    cleanup();

    // Where the whole item stores nothing, the value found in a piece after the
    // attendee list stands; without the list nothing does.
    const QByteArray tooLong = element("OPFCalendarEventCopyLocation", QByteArray(300, 'L'));
    const QByteArray later = element("OPFCalendarEventCopyLocation", "Room 4");
    const CalenderInformation &withList = parseOne(tooLong + attendeeList(attendee("p@x", "P")) + later);
    QCOMPARE(QByteArray(withList.Location), QByteArray("Room 4"));
    cleanup();
    const CalenderInformation &withoutList = parseOne(tooLong + later);
    QCOMPARE(QByteArray(withoutList.Location), QByteArray());
}

void TestCalendarParser::stamps_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QByteArray>("local");
    QTest::addColumn<QByteArray>("utc");
    QTest::newRow("regular") << QByteArray("2010-05-12T14:30:00") << QByteArray("20100512T143000")
                             << QByteArray("20100512T143000");
    QTest::newRow("month 13") << QByteArray("2010-13-01T10:00:00") << QByteArray("19700101T100000")
                              << QByteArray("20101301T100000");
    QTest::newRow("seconds 45Z") << QByteArray("2010-05-12T14:30:45Z") << QByteArray("20100512T143000")
                                 << QByteArray("20100512T143045Z");
    QTest::newRow("without T") << QByteArray("2010-05-12") << QByteArray("20100512T000000") << QByteArray();
    QTest::newRow("short time") << QByteArray("2010-05-12T14:30") << QByteArray("20100512T143000") << QByteArray();
    QTest::newRow("empty") << QByteArray(" ") << QByteArray() << QByteArray();
}

void TestCalendarParser::stamps()
{
    QFETCH(QByteArray, time);
    QFETCH(QByteArray, local);
    QFETCH(QByteArray, utc);
    const CalenderInformation &event = parseOne(element("OPFCalendarEventCopyStartTime", time)
                                                + element("OPFCalendarEventCopyEndTime", time)
                                                + element("OPFCalendarEventCopyModDate", time));
    QCOMPARE(QByteArray(event.Start), local);
    QCOMPARE(QByteArray(event.End), local);
    QCOMPARE(QByteArray(event.ModStampLocal), local);
    QCOMPARE(QByteArray(event.ModStampUtc), utc);
    QCOMPARE(QByteArray(event.StartUtc), local);
    QCOMPARE(QByteArray(event.EndUtc), local);
}

void TestCalendarParser::modificationStampsInMachineZone()
{
    useZone("Asia/Kolkata");
    const CalenderInformation &event = parseOne(element("OPFCalendarEventCopyModDate", "2010-05-12T14:30:00")
                                                + element("OPFCalendarEventCopyStartTime", "2010-01-03T23:45:10"));
    QCOMPARE(QByteArray(event.ModStampUtc), QByteArray("20100512T143000"));
    QCOMPARE(QByteArray(event.ModStampLocal), QByteArray("20100512T200000"));
    QCOMPARE(QByteArray(event.Start), QByteArray("20100104T051510"));
    // The writers' UTC start is the export's moment whatever the machine's zone.
    QCOMPARE(QByteArray(event.StartUtc), QByteArray("20100103T234510"));
}

void TestCalendarParser::plainFields()
{
    const CalenderInformation &event = parseOne(
        element("OPFCalendarEventCopyOrganizer", " Zo\xc3\xab ") + element("OPFCalendarEventCopyFreeBusyStatus", "2")
        + element("OPFCalendarEventGetIsAllDayEvent", "1")
        + element("OPFCalendarEventCopyLocation", "Caf\xc3\xa9 &amp; Bar")
        + element("OPFCalendarEventCopySummary", "Review &lt;Q3&gt;"));
    QCOMPARE(QByteArray(event.Organizer), QByteArray("Zo\xc3\xab"));
    QCOMPARE(QByteArray(event.FreeBusy), QByteArray("2"));
    QCOMPARE(QByteArray(event.AllDay), QByteArray("1"));
    QCOMPARE(QByteArray(event.Location), QByteArray("Caf\xc3\xa9 &amp; Bar"));
    QCOMPARE(QByteArray(event.Summary), QByteArray("Review &lt;Q3&gt;"));
    cleanup();

    // Values too long for their fields leave them empty, but for the organizer's
    // name, which keeps what fits; the others are stored.
    const CalenderInformation &tooLong = parseOne(
        element("OPFCalendarEventCopyFreeBusyStatus", "12") + element("OPFCalendarEventGetIsAllDayEvent", "\xc3\xa9")
        + element("OPFCalendarEventCopySummary", QByteArray(256, 's'))
        + element("OPFCalendarEventCopyLocation", QByteArray(255, 'l'))
        + element("OPFCalendarEventCopyOrganizer", QByteArray(256, 'o')));
    QCOMPARE(QByteArray(tooLong.FreeBusy), QByteArray());
    QCOMPARE(QByteArray(tooLong.AllDay), QByteArray("\xe9"));
    QCOMPARE(QByteArray(tooLong.Summary), QByteArray());
    QCOMPARE(QByteArray(tooLong.Location), QByteArray(255, 'l'));
    QCOMPARE(QByteArray(tooLong.Organizer), QByteArray(255, 'o'));
}

void TestCalendarParser::descriptionLeftInFile()
{
    const QByteArray description = "Agenda:\n1. &lt;budget&gt;\n2. \xff others";
    const QByteArray first = appointment(element("OPFCalendarEventCopyDescription", "<p>html</p>")
                                         + element("OPFCalendarEventCopyDescriptionPlain", description));
    const QByteArray second = appointment(element("OPFCalendarEventCopyDescriptionPlain", "\n  \n")
                                          + element("OPFCalendarEventCopySummary", "s"));
    const QByteArray third = appointment("</OPFCalendarEventCopyDescriptionPlain>"
                                         "<OPFCalendarEventCopyDescriptionPlain xml:space=\"preserve\">dangling");
    const QByteArray document = calendarDocument(first + second + third);
    const QByteArray file = "PK" + QByteArray(1234, 'g') + document;
    parse(document, file.size());
    QCOMPARE(CalendarItemCount, qint64(3));
    const CalenderInformation &a = *TmpCLRCPtrStart;
    QCOMPARE(file.mid(int(a.DescriptionOffset), int(a.DescriptionSize)), description);
    const CalenderInformation &b = *TmpCLRCPtrStart->Next;
    QCOMPARE(qint64(b.DescriptionSize), qint64(0));
    QCOMPARE(qint64(b.DescriptionOffset), qint64(0));
    QCOMPARE(qint64(TmpCLRCPtrEnd->DescriptionSize), qint64(0));
}

QTEST_APPLESS_MAIN(TestCalendarParser)
#include "test_calendarparser.moc"
