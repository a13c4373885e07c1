#include "archive/ItemConverters.h"
#include "parsers/ElementText.h"

#include <QtTest>
#include <cstring>
#include <functional>

namespace {
const char kIdentifier[] = "0123456789ABCDEF0123456789ABCDEF";
const QByteArray kUid = "01234567-89AB-CDEF-0123-456789ABCDEF";

template <int Width>
void set(char (&field)[Width], const QByteArray &text)
{
    memset(field, 0, Width);
    memcpy(field, text.constData(), size_t(qMin(text.size(), Width - 1)));
}

// One record of each kind, zero-filled as the parsers make them, and the .olm
// bytes their texts are read back from.
struct Items {
    ContactInformation contact;
    CalenderInformation event;
    TasksInformation task;
    NotesInformation note;
    QByteArray olm = QByteArray(64, 'x');

    Items()
    {
        memset(&contact, 0, sizeof contact);
        memset(&event, 0, sizeof event);
        memset(&task, 0, sizeof task);
        memset(&note, 0, sizeof note);
        set(contact.Identifier, kIdentifier);
        set(event.Identifier, kIdentifier);
        set(task.Identifier, kIdentifier);
        set(note.Identifier, kIdentifier);
    }
    ~Items() { free(contact.Categories); }

    // Puts text in the file, as element content left there by a parser. The fields of
    // the packed records are not aligned: they are copied, not written through a qint64 *.
    void place(const QByteArray &text, void *offset, void *size)
    {
        const qint64 at = olm.size(), length = text.size();
        memcpy(offset, &at, sizeof at);
        memcpy(size, &length, sizeof length);
        olm += text + "</element>";
    }
};

QByteArray lines(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

using Setup = std::function<void(Items &)>;
} // namespace
Q_DECLARE_METATYPE(Setup)

class TestItemConverters : public QObject
{
    Q_OBJECT
private slots:
    void eventWorkedExample();
    void taskWorkedExample();
    void vCardLayout();
    void valuesAndMends_data();
    void valuesAndMends();
};

// The appointment of the calendar writer's example: times in UTC and a zone for
// UTC, the stamp from the UTC modification time, no empty attendee parameter.
void TestItemConverters::eventWorkedExample()
{
    Items items;
    CalenderInformation &event = items.event;
    set(event.Summary, "Review");
    set(event.Start, "20100512T200000"); // local stamps of a machine at UTC+05:30
    set(event.End, "20100512T210000");
    set(event.ModStampLocal, "20100511T143000");
    set(event.StartUtc, "20100512T143000");
    set(event.EndUtc, "20100512T153000");
    set(event.ModStampUtc, "20100511T090000");
    set(event.AttendeeAddresses, "pat@x.example;");
    set(event.AttendeeNames, ";");
    set(event.FreeBusy, "0");
    set(event.AllDay, "0");
    QCOMPARE(eventCalendarFor(event, ByteArrayTextReader(items.olm)),
             lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Microsoft Corporation//Entourage Mac 11.0 MIMEDIR//EN",
                    "METHOD:PUBLISH", "BEGIN:VTIMEZONE", "TZID:UTC", "BEGIN:STANDARD", "TZNAME:Standard",
                    "TZOFFSETFROM:+0000", "TZOFFSETTO:+0000", "DTSTART:20080101T000000", "END:STANDARD",
                    "END:VTIMEZONE", "BEGIN:VEVENT", "UID:" + kUid, "X-ENTOURAGE_UUID:" + kUid,
                    "DTSTAMP:20100511T090000Z", "DTSTART:20100512T143000Z", "DTEND:20100512T153000Z",
                    "LAST-MODIFIED:20100511T090000Z", "SUMMARY:Review", "SEQUENCE:0",
                    "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;PARTSTAT=NEEDS-ACTION:MAILTO:pat@x.example",
                    "X-MICROSOFT-CDO-BUSYSTATUS:BUSY", "X-MICROSOFT-CDO-ALLDAYEVENT:FALSE",
                    "X-MICROSOFT-CDO-INSTTYPE:0", "END:VEVENT", "END:VCALENDAR"}));
}

// The task writer's example, stamped with its UTC modification time.
void TestItemConverters::taskWorkedExample()
{
    Items items;
    TasksInformation &task = items.task;
    set(task.Name, "Call back");
    set(task.StartStamp, "20100512T143000");
    set(task.DueStamp, "20100513T170000");
    set(task.Priority, "2");
    set(task.ModStampUtc, "20100510T080000");
    QCOMPARE(taskCalendarFor(task, ByteArrayTextReader(items.olm)),
             lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Microsoft Corporation//Entourage Mac 11.0 MIMEDIR//EN",
                    "METHOD:PUBLISH", "BEGIN:VTODO", "UID:" + kUid, "DTSTAMP:20100510T080000Z", "SUMMARY:Call back",
                    "DTSTART:20100512T143000", "DUE:20100513T170000", "Priority:3", "END:VTODO", "END:VCALENDAR"}));
}

// The name line carries no line end of its own; the office, custom field 4, the
// home address with a country and the photo end with an empty line.
void TestItemConverters::vCardLayout()
{
    Items items;
    ContactInformation &contact = items.contact;
    set(contact.FirstName, "John");
    set(contact.LastName, "Smith");
    set(contact.Title, "Dr");
    set(contact.NameSuffix, "Jr");
    set(contact.NickName, "Jack");
    set(contact.Office, "4.12");
    set(contact.HomeStreet, "9 Home Road");
    set(contact.HomeCountry, "Ireland");
    set(contact.CustomFields[3], "four");
    set(contact.CustomFields[4], "five");
    set(contact.EmailAddresses[0], "john@x.example");
    set(contact.EmailAddresses[1], "js@y.example");
    set(contact.Birthday, "1980-07-04");
    items.place("/9j/4AAQ\nSkZJRg==", &contact.PictureOffset, &contact.PictureSize);
    QCOMPARE(vCardFor(contact, ByteArrayTextReader(items.olm)),
             lines({"begin:vcard", "version:3.0", "prodid:Microsoft-Entourage/11.1.0.071130", "UID:" + kUid,
                    "fn;charset=utf-8:John Smith", "n;charset=utf-8:Smith;John;;Dr;Jr",
                    "nickname;charset=utf-8:Jack", "office;charset=utf-8:4.12", "", "bday:1980-07-04",
                    "adr;charset=utf-8;type=home;type=pref:;;9 Home Road;;;;Ireland", "",
                    "email;charset=utf-8;type=internet;type=pref;type=work:john@x.example",
                    "email;charset=utf-8;type=internet;type=work:js@y.example",
                    "X-custom;charset=utf-8;type=4:four", "", "X-custom;charset=utf-8;type=5:five",
                    "photo;ENCODING=b;type=jpeg:", " /9j/4AAQSkZJRg==", "", "end:vcard"}));
}

void TestItemConverters::valuesAndMends_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArrayList>("present");
    QTest::addColumn<QByteArrayList>("absent");

    // Escaping: commas, semicolons, backslashes and line breaks stay inside their value.
    QTest::newRow("location with a comma") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.Location, "your place, then mine"); })
        << QByteArrayList{"LOCATION:your place\\, then mine"} << QByteArrayList{};
    QTest::newRow("location entities decoded once") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.Location, "Tom &amp; Jerry &amp;amp; Co"); })
        << QByteArrayList{"LOCATION:Tom & Jerry &amp\\; Co"} << QByteArrayList{};
    QTest::newRow("summary entities decoded once") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.Summary, "A &amp;amp; B &lt;x&gt;"); })
        << QByteArrayList{"SUMMARY:A &amp\\; B <x>"} << QByteArrayList{};
    QTest::newRow("summary on two lines") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.Summary, "Line1\nLine2"); })
        << QByteArrayList{"SUMMARY:Line1\\nLine2"} << QByteArrayList{};
    QTest::newRow("description escaped") << QByteArray("event")
        << Setup([](Items &i) { i.place("a;b\\c\r\nd, e\rf &amp; g", &i.event.DescriptionOffset, &i.event.DescriptionSize); })
        << QByteArrayList{"DESCRIPTION:a\\;b\\\\c\\nd\\, e\\nf & g"} << QByteArrayList{};
    QTest::newRow("description too large") << QByteArray("event")
        << Setup([](Items &i) { i.event.DescriptionOffset = 0; i.event.DescriptionSize = 2000000; })
        << QByteArrayList{"DESCRIPTION:"} << QByteArrayList{};
    QTest::newRow("company and department") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.Company, "Smith, Jones & Co"); set(i.contact.Department, "Sales; East"); })
        << QByteArrayList{"org;charset=utf-8:Smith\\, Jones & Co;Sales\\; East"} << QByteArrayList{};
    QTest::newRow("name components in place") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.LastName, "Smith"); set(i.contact.Title, "Dr"); })
        << QByteArrayList{"fn;charset=utf-8:Smith", "n;charset=utf-8:Smith;;;Dr;"} << QByteArrayList{};
    QTest::newRow("first name only") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.FirstName, "Ann, the 2nd"); })
        << QByteArrayList{"fn;charset=utf-8:Ann\\, the 2nd", "n;charset=utf-8:;Ann\\, the 2nd;;;"} << QByteArrayList{};
    QTest::newRow("work street on two lines") << QByteArray("contact")
        << Setup([](Items &i) {
               set(i.contact.WorkStreet, "1 Main St\n Suite 4");
               set(i.contact.WorkCity, "Springfield");
               set(i.contact.WorkZip, "12345");
           })
        << QByteArrayList{"adr;charset=utf-8;type=work;type=pref:;;1 Main St\\nSuite 4;Springfield;;12345;"}
        << QByteArrayList{};
    QTest::newRow("address without street") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.HomeCity, "Paris"); set(i.contact.HomeState, "IDF"); })
        << QByteArrayList{"adr;charset=utf-8;type=home;type=pref:;;;Paris;IDF;;"} << QByteArrayList{};
    QTest::newRow("contact note decoded and escaped") << QByteArray("contact")
        << Setup([](Items &i) {
               i.place(QByteArray("Met at the fair &amp; conference.\nCall; soon") + '\0', &i.contact.NotesOffset,
                   &i.contact.NotesSize);
           })
        << QByteArrayList{"note;charset=utf-8:Met at the fair & conference.\\nCall\\; soon"} << QByteArrayList{};
    QTest::newRow("categories separated, names escaped") << QByteArray("contact")
        << Setup([](Items &i) { i.contact.Categories = strdup("Family,R\\D;x,Work"); })
        << QByteArrayList{"categories;charset=utf-8:Family,R\\\\D\\;x,Work"} << QByteArrayList{};
    QTest::newRow("phone and Latin-1 interests") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.MobilePhone, "+1 555,0123"); set(i.contact.Interests, "caf\xe9"); })
        << QByteArrayList{"tel;charset=utf-8;type=cell:+1 555\\,0123", "X-interests;charset=utf-8:caf\xc3\xa9"}
        << QByteArrayList{};
    QTest::newRow("task name") << QByteArray("task")
        << Setup([](Items &i) { set(i.task.Name, "Buy milk, eggs; bread"); })
        << QByteArrayList{"SUMMARY:Buy milk\\, eggs\\; bread"} << QByteArrayList{};
    QTest::newRow("note title on two lines") << QByteArray("note")
        << Setup([](Items &i) { set(i.note.Title, "Line1\r\nLine2"); })
        << QByteArrayList{"SUMMARY:Line1\\nLine2"} << QByteArrayList{};

    // Event times in UTC, with or without a zone name.
    QTest::newRow("zone named") << QByteArray("event")
        << Setup([](Items &i) {
               set(i.event.TimeZoneName, "Central America");
               set(i.event.TimeZoneCode, "68");
               set(i.event.TimeZoneOffset, "-0600");
               set(i.event.Start, "20180618T103000");
               set(i.event.StartUtc, "20180618T163000");
               set(i.event.End, "20180618T113000");
               set(i.event.EndUtc, "20180618T173000");
           })
        << QByteArrayList{"TZID:Central America", "X-ENTOURAGE-TZID:68", "X-ENTOURAGE-CFTIMEZONE:",
                          "TZOFFSETFROM:-0600", "TZOFFSETTO:-0600", "DTSTART:20180618T163000Z",
                          "DTEND:20180618T173000Z"}
        << QByteArrayList{"DTSTART;TZID=\"Central America\":20180618T103000", "TZID:UTC"};
    QTest::newRow("zone name holding commas") << QByteArray("event")
        << Setup([](Items &i) {
               set(i.event.TimeZoneName, "Chennai, Kolkata, Mumbai, New Delhi");
               set(i.event.TimeZoneOffset, "+0530");
           })
        << QByteArrayList{"TZID:Chennai\\, Kolkata\\, Mumbai\\, New Delhi", "TZOFFSETTO:+0530"} << QByteArrayList{};
    QTest::newRow("zone named without offset") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.TimeZoneName, "Coordinated Universal Time"); })
        << QByteArrayList{"TZID:Coordinated Universal Time", "TZOFFSETFROM:+0000", "TZOFFSETTO:+0000"}
        << QByteArrayList{};
    QTest::newRow("offset without zone name") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.TimeZoneOffset, "+0530)"); set(i.event.StartUtc, "20100101T000000"); })
        << QByteArrayList{"TZID:UTC", "TZOFFSETFROM:+0000", "DTSTART:20100101T000000Z"} << QByteArrayList{};

    // Person names in UTF-8.
    QTest::newRow("attendee names") << QByteArray("event")
        << Setup([](Items &i) {
               set(i.event.AttendeeAddresses, "hong@x.kr;same@x;q@x;");
               set(i.event.AttendeeNames, "\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99;same@x;Q \"the\" &amp; Co;");
           })
        << QByteArrayList{"ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;CN=\"\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99\";"
                          "PARTSTAT=NEEDS-ACTION:MAILTO:hong@x.kr",
                          "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;PARTSTAT=NEEDS-ACTION:MAILTO:same@x",
                          "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;CN=\"Q the & Co\";PARTSTAT=NEEDS-ACTION:MAILTO:q@x"}
        << QByteArrayList{};
    QTest::newRow("names cut short pair with no address") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.AttendeeAddresses, "a@x;b@x;"); set(i.event.AttendeeNames, "Ann;B"); })
        << QByteArrayList{"ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;PARTSTAT=NEEDS-ACTION:MAILTO:a@x"}
        << QByteArrayList{"CN="};
    // No value ends its line: a line break in it would add properties or whole events.
    QTest::newRow("attendees holding line breaks, raw and as references") << QByteArray("event")
        << Setup([](Items &i) {
               set(i.event.AttendeeAddresses, "a@x\r\nEND:VEVENT\r\nBEGIN:VEVENT;b@x&#13;&#10;END:VEVENT;");
           })
        << QByteArrayList{"ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;PARTSTAT=NEEDS-ACTION:MAILTO:a@x  END:VEVENT  BEGIN:VEVENT",
                          "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;PARTSTAT=NEEDS-ACTION:MAILTO:b@x  END:VEVENT"}
        << QByteArrayList{"MAILTO:&#10", "MAILTO:END:VEVENT"};
    QTest::newRow("zone code and reminder holding line breaks") << QByteArray("event")
        << Setup([](Items &i) {
               set(i.event.TimeZoneName, "Zone");
               set(i.event.TimeZoneCode, "6\n8");
               set(i.event.ReminderDuration, "PT15M\r\nEND:VALARM");
           })
        << QByteArrayList{"X-ENTOURAGE-TZID:6 8", "TRIGGER;RELATED=START:-PT15M  END:VALARM"}
        << QByteArrayList{};
    QTest::newRow("organizer") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.Organizer, "\xce\x93\xce\xb9\xcf\x8e\xcf\x81\xce\xb3\xce\xbf\xcf\x82"); })
        << QByteArrayList{"ORGANIZER:MAILTO:\xce\x93\xce\xb9\xcf\x8e\xcf\x81\xce\xb3\xce\xbf\xcf\x82"} << QByteArrayList{};
    QTest::newRow("spouse and child") << QByteArray("contact")
        << Setup([](Items &i) { set(i.contact.Spouse, "\xed\x99\x8d"); set(i.contact.Children[1], "\xe5\xa4\xaa\xe9\x83\x8e"); })
        << QByteArrayList{"X-ms-spouse;charset=utf-8:\xed\x99\x8d", "X-child;charset=utf-8:\xe5\xa4\xaa\xe9\x83\x8e"}
        << QByteArrayList{};

    // Every item stamped; a task's reminder at a UTC moment.
    QTest::newRow("event without modification time") << QByteArray("event") << Setup([](Items &) {})
        << QByteArrayList{"DTSTAMP:19700101T000000Z"} << QByteArrayList{"LAST-MODIFIED:", "DTEND:"};
    QTest::newRow("event with a malformed modification time") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.ModStampUtc, "20100512T143045Z"); })
        << QByteArrayList{"DTSTAMP:19700101T000000Z"} << QByteArrayList{"LAST-MODIFIED:"};
    QTest::newRow("event with a modification time in month 13") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.ModStampUtc, "20101301T100000"); })
        << QByteArrayList{"DTSTAMP:19700101T000000Z"} << QByteArrayList{"LAST-MODIFIED:"};
    QTest::newRow("event reminder") << QByteArray("event")
        << Setup([](Items &i) { set(i.event.ReminderDuration, "PT24H00M00S"); })
        << QByteArrayList{"BEGIN:VALARM", "TRIGGER;RELATED=START:-PT24H00M00S", "END:VALARM"} << QByteArrayList{};
    QTest::newRow("task reminder") << QByteArray("task")
        << Setup([](Items &i) {
               set(i.task.ReminderStamp, "20100512T193000");
               set(i.task.ReminderStampUtc, "20100512T140000");
           })
        << QByteArrayList{"TRIGGER;VALUE=DATE-TIME:20100512T140000Z", "DTSTAMP:19700101T000000Z"}
        << QByteArrayList{"RELATED=DATE-TIME", "DTSTART:"};
    QTest::newRow("task priorities outside the table") << QByteArray("task")
        << Setup([](Items &i) { set(i.task.Priority, "1"); })
        << QByteArrayList{} << QByteArrayList{"Priority:"};
    QTest::newRow("note stamped") << QByteArray("note")
        << Setup([](Items &i) { set(i.note.ModStampUtc, "20110314T102205"); })
        << QByteArrayList{"DTSTAMP:20110314T102205Z"} << QByteArrayList{"SUMMARY:", "DESCRIPTION:"};

    // Descriptions as plain text.
    const QByteArray htmlNote = "&lt;html&gt;&lt;head&gt;&lt;style&gt;p { color: red; }&lt;/style&gt;&lt;/head&gt;"
                                "&lt;body&gt;&lt;p&gt;This is a\n task&lt;/p&gt;&lt;script&gt;x()&lt;/script&gt;"
                                "&lt;div&gt;Q&amp;amp;A &amp;lt;3&amp;nbsp;&amp;#233;&lt;br&gt;end&lt;/div&gt;"
                                "&lt;!-- hidden --&gt;&lt;/body&gt;&lt;/html&gt;";
    QTest::newRow("task note from HTML") << QByteArray("task")
        << Setup([=](Items &i) { i.place(htmlNote, &i.task.NoteOffset, &i.task.NoteSize); })
        << QByteArrayList{"DESCRIPTION:This is a task\\nQ&A <3 \xc3\xa9\\nend"} << QByteArrayList{};
    QTest::newRow("task note plain where there is one") << QByteArray("task")
        << Setup([=](Items &i) {
               i.place(htmlNote, &i.task.NoteOffset, &i.task.NoteSize);
               i.place("Bring the receipts &amp; forms,\r\nthen file them", &i.task.NotePlainOffset,
                       &i.task.NotePlainSize);
           })
        << QByteArrayList{"DESCRIPTION:Bring the receipts & forms\\,\\nthen file them"} << QByteArrayList{};
    QTest::newRow("note text from HTML") << QByteArray("note")
        << Setup([=](Items &i) { i.place(htmlNote, &i.note.NotesOffset, &i.note.NotesSize); })
        << QByteArrayList{"DESCRIPTION:This is a task\\nQ&A <3 \xc3\xa9\\nend"} << QByteArrayList{};
    QTest::newRow("note plain text decoded once") << QByteArray("note")
        << Setup([=](Items &i) {
               i.place(htmlNote, &i.note.NotesOffset, &i.note.NotesSize);
               i.place("a &amp;lt; b\n\nc", &i.note.PlainTextOffset, &i.note.PlainTextSize);
           })
        << QByteArrayList{"DESCRIPTION:a &lt\\; b\\n\\nc"} << QByteArrayList{};
    QTest::newRow("note text past the end of the file") << QByteArray("note")
        << Setup([](Items &i) { i.note.NotesOffset = 1 << 20; i.note.NotesSize = 50; })
        << QByteArrayList{"DESCRIPTION:"} << QByteArrayList{};
}

// Each case's lines are in the file, whole; no value breaks a line.
void TestItemConverters::valuesAndMends()
{
    QFETCH(QByteArray, kind);
    QFETCH(Setup, setup);
    QFETCH(QByteArrayList, present);
    QFETCH(QByteArrayList, absent);
    Items items;
    setup(items);
    const ByteArrayTextReader olm(items.olm);
    QByteArray bytes;
    if (kind == "contact")
        bytes = vCardFor(items.contact, olm);
    else if (kind == "event")
        bytes = eventCalendarFor(items.event, olm);
    else if (kind == "task")
        bytes = taskCalendarFor(items.task, olm);
    else
        bytes = noteCalendarFor(items.note, olm);

    QVERIFY(bytes.endsWith("\r\n"));
    const QByteArrayList fileLines = bytes.left(bytes.size() - 2).split('\n');
    for (const QByteArray &line : fileLines) {
        QVERIFY2(line.endsWith('\r') || line == fileLines.last(), line.constData());
        QVERIFY2(!line.chopped(line.endsWith('\r') ? 1 : 0).contains('\r'), line.constData());
    }
    const QByteArray whole = "\n" + bytes;
    for (const QByteArray &line : present)
        QVERIFY2(whole.contains("\n" + line + "\r\n"), (line + " missing from\n" + bytes).constData());
    for (const QByteArray &text : absent)
        QVERIFY2(!bytes.contains(text), (text + " found in\n" + bytes).constData());
}

QTEST_APPLESS_MAIN(TestItemConverters)
#include "test_itemconverters.moc"
