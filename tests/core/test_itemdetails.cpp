// The details the records drop, read through the parsers as a scan reads them.
#include "ParserTestSupport.h"
#include "scan/ScanSession.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemDetails.h"
#include "archive/StandardFormat.h"
#include "olm/LossAccount.h"
#include "parsers/RecordLists.h"
#include "olm/LossAccount.h"

#include <QtTest>

namespace {
template <typename Parse>
void parse(const QByteArray &root, const QByteArray &item, const QByteArray &elements, Parse run)
{
    withDocument(rootElement(root, element(item, elements)), [&] { run(FolderInformation()); });
}

// A recurrence as exports write it: limits beside the pattern, the pattern's fields inside it.
QByteArray recurrenceXml(const QByteArray &type, const QByteArray &pattern, const QByteArray &limits)
{
    return element("OPFRecurrenceCopyStartDate", "2018-06-18T06:00:00") + limits
           + element("OPFRecurrencePattern", element("OPFRecurrencePatternType", type)
                                                 + element("OPFRecurrencePatternInterval", "1") + pattern);
}

QByteArray days(const QByteArray &set)
{
    QByteArray children;
    for (const char *day : {"allDays", "friday", "monday", "saturday", "sunday", "thursday", "tuesday", "wednesday",
                            "weekdays", "weekenddays"})
        children += "<" + QByteArray(day) + ">" + (set.split(',').contains(day) ? "1" : "0") + "</" + day + ">";
    return element("OPFRecurrencePatternDaysOfWeek", children);
}

QByteArray limits(const QByteArray &count, const QByteArray &numbered, const QByteArray &hasEnd, const QByteArray &noEnd)
{
    return element("OPFRecurrenceCopyEndDate", "2018-12-18T07:00:00")
           + element("OPFRecurrenceGetOccurenceCount", count) + element("OPFRecurrenceHasEndDate", hasEnd)
           + element("OPFRecurrenceIsNoEnd", noEnd) + element("OPFRecurrenceIsNumbered", numbered);
}

QByteArray categories(const QByteArray &names)
{
    QByteArray xml;
    for (const QByteArray &name : names.split(','))
        xml += element("category", QByteArray(),
                       "OPFCategoryCopyBackgroundColor=\"r:0.89 g:0.15 b:0.15\" OPFCategoryCopyName=\"" + name + "\"");
    return xml;
}
} // namespace

class TestItemDetails : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { useZone("America/Denver"); }
    void cleanup() { CleanListAndHash(); }

    void recurrence_data();
    void recurrence();
    void zoneOffsets();
    void xmlText_data();
    void xmlText();
    void eventDetails();
    void unreadableRecurrenceIsALoss_data();
    void unreadableRecurrenceIsALoss();
    void valuesNoRuleCanSay_data();
    void valuesNoRuleCanSay();
    void contactGroupShapes_data();
    void contactGroupShapes();
    void eachZoneTextJudgedOnItsOwn();
    void taskCompletion_data();
    void taskCompletion();
    void contactDetails();
    void contactValuesTheRecordCannotHold();
    void mailNames();
    void addressListShapes_data();
    void addressListShapes();
    void zeroByteEndsADetailValue();
    void detailsGoWithTheRecords();
};

void TestItemDetails::recurrence_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("occurrences");
    QTest::addColumn<int>("instance");
    QTest::addColumn<int>("dayOfMonth");
    QTest::addColumn<int>("month");
    QTest::addColumn<QDate>("endDate");
    QTest::addColumn<bool>("unreadable");
    using P = Recurrence::Pattern;
    const QByteArray numbered = limits("2.7E1", "1", "1", "0");
    const QByteArray noEnd = limits("0E0", "0", "0", "1");
    // The count is the limit of a numbered pattern, though the end date is there too.
    QTest::newRow("weekly, its days, numbered")
        << recurrenceXml("OPFRecurrencePatternWeekly", days("monday,wednesday"), numbered) << int(P::Weekly) << (2 | 8)
        << 27 << 0 << 0 << 0 << QDate() << false;
    // The end is local midnight seven hours behind UTC.
    QTest::newRow("daily, end date") << recurrenceXml("OPFRecurrencePatternDaily", QByteArray(), limits("0E0", "0", "1", "0"))
                                     << int(P::Daily) << 0 << 0 << 0 << 0 << 0 << QDate(2018, 12, 18) << false;
    QTest::newRow("weekdays, no end") << recurrenceXml("OPFRecurrencePatternWeekly", days("weekdays"), noEnd)
                                      << int(P::Weekly) << 0x3E << 0 << 0 << 0 << 0 << QDate() << false;
    QTest::newRow("absolute monthly")
        << recurrenceXml("OPFRecurrencePatternAbsoluteMonthly", element("OPFRecurrencePatternDayOfMonth", "19"), numbered)
        << int(P::Monthly) << 0 << 27 << 0 << 19 << 0 << QDate() << false;
    QTest::newRow("absolute yearly")
        << recurrenceXml("OPFRecurrencePatternAbsoluteYearly",
                      element("OPFRecurrencePatternDayOfMonth", "1.9E1") + element("OPFRecurrencePatternMonth", "7"), noEnd)
        << int(P::Yearly) << 0 << 0 << 0 << 19 << 7 << QDate() << false;
    // How relative patterns name their week is not known: every plausible shape is read.
    QTest::newRow("second Tuesday, instance number")
        << recurrenceXml("OPFRecurrencePatternRelativeMonthly",
                      days("tuesday") + element("OPFRecurrencePatternInstance", "2"), noEnd)
        << int(P::MonthNth) << 4 << 0 << 2 << 0 << 0 << QDate() << false;
    QTest::newRow("last Friday, index word")
        << recurrenceXml("OPFRecurrencePatternRelativeMonthly",
                      days("friday") + element("OPFRecurrencePatternDayOfWeekIndex", "OPFRecurrenceWeekLast"), noEnd)
        << int(P::MonthNth) << 32 << 0 << 5 << 0 << 0 << QDate() << false;
    QTest::newRow("third Sunday of May, week children")
        << recurrenceXml("OPFRecurrencePatternRelativeYearly",
                      days("sunday") + element("OPFRecurrencePatternMonth", "5")
                          + element("OPFRecurrencePatternWeekOfMonth", "<first>0</first><third>1</third>"),
                      noEnd)
        << int(P::YearNth) << 1 << 0 << 3 << 0 << 5 << QDate() << false;
    QTest::newRow("last day, minus one")
        << recurrenceXml("OPFRecurrencePatternRelativeMonthly",
                      days("allDays") + element("OPFRecurrencePatternWeekNumber", "-1E0"), noEnd)
        << int(P::MonthNth) << 0x7F << 0 << 5 << 0 << 0 << QDate() << false;
    QTest::newRow("Outlook's pattern number") << recurrenceXml("1", days("monday"), noEnd) << int(P::Weekly) << 2 << 0 << 0
                                              << 0 << 0 << QDate() << false;
    // Only the letters of a pattern's name count, whatever stands between them.
    QTest::newRow("pattern name with other characters")
        << recurrenceXml("Relative_Monthly-\xc3\xb1 2", days("tuesday") + element("OPFRecurrencePatternInstance", "2"), noEnd)
        << int(P::MonthNth) << 4 << 0 << 2 << 0 << 0 << QDate() << false;
    QTest::newRow("unknown pattern") << recurrenceXml("OPFRecurrencePatternHourly", QByteArray(), noEnd) << int(P::None)
                                     << 0 << 0 << 0 << 0 << 0 << QDate() << true;
    QTest::newRow("empty") << QByteArray() << int(P::None) << 0 << 0 << 0 << 0 << 0 << QDate() << false;
    // Numbers outside int are refused before they become whole numbers.
    QTest::newRow("numbers out of range")
        << recurrenceXml("OPFRecurrencePatternAbsoluteMonthly", element("OPFRecurrencePatternDayOfMonth", "-1E30"),
                      limits("nan", "1", "0", "0"))
        << int(P::Monthly) << 0 << 0 << 0 << 0 << 0 << QDate() << false;
    QTest::newRow("pattern out of range") << recurrenceXml("3.3E29", QByteArray(), limits("1E300", "1", "0", "0"))
                                          << int(P::None) << 0 << 0 << 0 << 0 << 0 << QDate() << true;
}

void TestItemDetails::recurrence()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, pattern);
    QFETCH(int, days);
    QFETCH(int, occurrences);
    QFETCH(int, instance);
    QFETCH(int, dayOfMonth);
    QFETCH(int, month);
    QFETCH(QDate, endDate);
    QFETCH(bool, unreadable);
    const Recurrence read = readRecurrence(xml);
    QCOMPARE(int(read.pattern), pattern);
    QCOMPARE(read.daysOfWeek, days);
    QCOMPARE(read.occurrences, occurrences);
    QCOMPARE(read.instance, instance);
    QCOMPARE(read.dayOfMonth, dayOfMonth);
    QCOMPARE(read.month, month);
    QCOMPARE(read.endDate, endDate);
    QCOMPARE(read.unreadable, unreadable);
    if (read.repeats())
        QCOMPARE(read.startDate, QDate(2018, 6, 18));
}

void TestItemDetails::zoneOffsets()
{
    int minutes = 1;
    QVERIFY(zoneOffsetMinutes(QStringLiteral("(UTC-07:00) Mountain Time (US & Canada)"), &minutes));
    QCOMPARE(minutes, -420);
    QVERIFY(zoneOffsetMinutes(QStringLiteral("(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi"), &minutes));
    QCOMPARE(minutes, 330);
    QVERIFY(zoneOffsetMinutes(QStringLiteral("(UTC) Coordinated Universal Time"), &minutes));
    QCOMPARE(minutes, 0);
    QVERIFY(!zoneOffsetMinutes(QStringLiteral("Mountain Standard Time"), &minutes));
}

void TestItemDetails::xmlText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("once only") << "Tom &amp;amp; Jerry" << "Tom &amp; Jerry";
    QTest::newRow("all five") << "&lt;a&gt; &quot;b&quot; &apos;c&apos; &amp;" << "<a> \"b\" 'c' &";
    QTest::newRow("character references") << "&#26481;&#x4EAC;" << QString::fromUtf8("東京");
    QTest::newRow("unknown and broken kept") << "&nbsp1 &bogus; & &#xD800;" << "&nbsp1 &bogus; & &#xD800;";
    // A reference ends at a ';' at most ten characters after its '&'.
    QTest::newRow("ten characters on") << "a&#x001F600;b" << QString::fromUtf8("a\U0001F600b");
    QTest::newRow("eleven characters on") << "a&#x0001F600;b" << "a&#x0001F600;b";
    QTest::newRow("';' far on, then a reference") << "x & y &lt; z;" << "x & y < z;";
    QTest::newRow("'&' at the end") << "fish &amp chips &" << "fish &amp chips &";
}

void TestItemDetails::xmlText()
{
    QFETCH(QString, text);
    QFETCH(QString, decoded);
    QCOMPARE(decodeXmlText(text), decoded);
}

void TestItemDetails::eventDetails()
{
    // The start time stands before the zone element whose name it begins, as in exports.
    const QByteArray elements =
        element("OPFCalendarEventCopyStartTime", "2018-06-18T16:30:00")
        + element("OPFCalendarEventCopyStartTimeZone", "(UTC-07:00) Mountain Time (US &amp; Canada)")
        + element("OPFCalendarEventCopyEndTime", "2018-06-18T17:00:00")
        + element("OPFCalendarEventGetIsAllDayEvent", "1E0") + element("OPFCalendarEventGetIsPrivate", "1")
        + element("OPFCalendarEventCopyCategoryList", categories("Work,Family &amp; Friends"))
        + element("OPFCalendarEventIsRecurring", "1")
        + element("OPFCalendarEventCopyRecurrence",
                  recurrenceXml("OPFRecurrencePatternWeekly", days("monday"), limits("5E0", "1", "0", "0")))
        + element("OPFCalendarEventCopyUUID", "FC8C8E87-C9E8-42F7-AD76-457CCFB55DFB")
        + element("OPFCalendarEventCopyAttendeeList",
                  element("appointmentAttendee", QByteArray(),
                          "OPFCalendarAttendeeAddress=\"p@example.kr\" OPFCalendarAttendeeName=\"Park; Ji\" "
                          "OPFCalendarAttendeeResponseRequested=\"1\"")
                      + element("appointmentAttendee", QByteArray(),
                                "OPFCalendarAttendeeAddress=\"q@example.kr\" OPFCalendarAttendeeResponseRequested=\"1\""));
    parse("appointments", "appointment", elements, [](FolderInformation f) { f.InitializeCLRC(3000); });
    const EventDetails &event = detailsOf(&requireRecord(TmpCLRCPtrStart, "event"));
    // A name holding ";" stays one name; an attendee without a name keeps its place.
    QCOMPARE(event.attendees.size(), 2);
    QCOMPARE(event.attendees.at(0).name, QStringLiteral("Park; Ji"));
    QCOMPARE(event.attendees.at(1).address, QStringLiteral("q@example.kr"));
    QVERIFY(event.attendees.at(1).name.isEmpty());
    QVERIFY(event.hasZoneOffset);
    QCOMPARE(event.zoneOffsetMinutes, -420);
    QVERIFY(event.allDay);
    QVERIFY(event.isPrivate);
    QCOMPARE(event.categories, QStringList({"Work", "Family & Friends"}));
    QCOMPARE(event.recurrence.pattern, Recurrence::Pattern::Weekly);
    QCOMPARE(event.recurrence.occurrences, 5);
    QCOMPARE(event.ownUid, QStringLiteral("FC8C8E87-C9E8-42F7-AD76-457CCFB55DFB"));
    QVERIFY(!event.place.isEmpty() && event.place.size > 0);
}

void TestItemDetails::unreadableRecurrenceIsALoss_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<QString>("field"); // empty: nothing is lost
    const QByteArray weekly =
        element("OPFCalendarEventIsRecurring", "1")
        + element("OPFCalendarEventCopyRecurrence",
                  recurrenceXml("OPFRecurrencePatternWeekly", days("monday"), limits("2.7E1", "1", "1", "0")));
    const QByteArray zone = "BEGIN:VTIMEZONE\nTZID:Mountain\nBEGIN:STANDARD\nDTSTART:16010101T000000\n"
                            "RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\nTZOFFSETFROM:-0600\nTZOFFSETTO:-0700\nEND:STANDARD\n"
                            "END:VTIMEZONE\n";
    QTest::newRow("readable") << weekly + element("OPFCalendarEventGetStartTimeZoneICSData", zone) << QString();
    QTest::newRow("no zone text") << weekly << QString();
    QTest::newRow("unknown pattern")
        << element("OPFCalendarEventCopyRecurrence",
                   recurrenceXml("OPFRecurrencePatternHourly", QByteArray(), limits("2E0", "1", "0", "0")))
        << QStringLiteral("OPFCalendarEventCopyRecurrence");
    QTest::newRow("marked recurring without a pattern") << element("OPFCalendarEventIsRecurring", "1E0")
                                                        << QStringLiteral("OPFCalendarEventCopyRecurrence");
    QByteArray broken = zone;
    broken.replace("FREQ=YEARLY", "FREQ=MONTHLY");
    QTest::newRow("unreadable zone") << weekly + element("OPFCalendarEventGetStartTimeZoneICSData", broken)
                                     << QStringLiteral("OPFCalendarEventGetStartTimeZoneICSData");
}

void TestItemDetails::unreadableRecurrenceIsALoss()
{
    QFETCH(QByteArray, elements);
    QFETCH(QString, field);
    clearLosses();
    parse("appointments", "appointment",
          element("OPFCalendarEventCopySummary", "Weekly sync") + element("OPFCalendarEventCopyStartTime", "2018-06-18T17:30:00")
              + elements,
          [](FolderInformation f) { f.InitializeCLRC(3000); });
    const QVector<Loss> losses = recordedLosses();
    QCOMPARE(losses.size(), field.isEmpty() ? 0 : 1);
    if (!field.isEmpty()) {
        QCOMPARE(losses.first().reason, LossReason::ValueUnreadable);
        QCOMPARE(losses.first().field, field);
        QCOMPARE(losses.first().item, QStringLiteral("Weekly sync"));
    }
}

// A value no rule can say keeps the nearest rule that can, and the loss names the value.
void TestItemDetails::valuesNoRuleCanSay_data()
{
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<QByteArray>("dayOfMonth");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QStringList>("losses"); // field: why
    const QString interval = QStringLiteral("OPFRecurrencePatternInterval: an interval of %1 cannot be said; "
                                            "the rule repeats every %2");
    const QString count = QStringLiteral("OPFRecurrenceGetOccurenceCount: a count of %1 cannot be said; "
                                         "the rule ends after %2");
    const QString day = QStringLiteral("OPFRecurrencePatternDayOfMonth: a day of the month of %1 cannot be said; "
                                       "the first occurrence's day is kept");
    QTest::newRow("in range") << QByteArray("2") << QByteArray("2.7E1") << QByteArray("19")
                              << "FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=19;COUNT=27" << QStringList();
    QTest::newRow("interval 0") << QByteArray("0") << QByteArray("6") << QByteArray("19")
                                << "FREQ=MONTHLY;BYMONTHDAY=19;COUNT=6" << QStringList{interval.arg("0").arg(1)};
    QTest::newRow("interval -5") << QByteArray("-5E0") << QByteArray("6") << QByteArray("19")
                                 << "FREQ=MONTHLY;BYMONTHDAY=19;COUNT=6" << QStringList{interval.arg("-5E0").arg(1)};
    QTest::newRow("interval 2^31") << QByteArray("2147483648") << QByteArray("6") << QByteArray("19")
                                   << "FREQ=MONTHLY;INTERVAL=2147483647;BYMONTHDAY=19;COUNT=6"
                                   << QStringList{interval.arg("2147483648").arg(2147483647)};
    QTest::newRow("count -3") << QByteArray("1") << QByteArray("-3") << QByteArray("19")
                              << "FREQ=MONTHLY;BYMONTHDAY=19;COUNT=1" << QStringList{count.arg("-3").arg(1)};
    QTest::newRow("count 2^31+5") << QByteArray("1") << QByteArray("2147483653") << QByteArray("19")
                                  << "FREQ=MONTHLY;BYMONTHDAY=19;COUNT=2147483647"
                                  << QStringList{count.arg("2147483653").arg(2147483647)};
    QTest::newRow("count no number")
        << QByteArray("1") << QByteArray("many\x01\x02") << QByteArray("19") << "FREQ=MONTHLY;BYMONTHDAY=19"
        << QStringList{"OPFRecurrenceGetOccurenceCount: a count of \"many\" cannot be read; the rule repeats without end"};
    QTest::newRow("day 40, interval 0")
        << QByteArray("0") << QByteArray("6") << QByteArray("40") << "FREQ=MONTHLY;BYMONTHDAY=2;COUNT=6"
        << QStringList{interval.arg("0").arg(1), day.arg("40")};
}

void TestItemDetails::valuesNoRuleCanSay()
{
    QFETCH(QByteArray, interval);
    QFETCH(QByteArray, count);
    QFETCH(QByteArray, dayOfMonth);
    QFETCH(QString, rule);
    QFETCH(QStringList, losses);
    clearLosses();
    QByteArray recurrence = recurrenceXml("OPFRecurrencePatternAbsoluteMonthly",
                                          element("OPFRecurrencePatternDayOfMonth", dayOfMonth), limits(count, "1", "0", "0"));
    recurrence.replace(element("OPFRecurrencePatternInterval", "1"), element("OPFRecurrencePatternInterval", interval));
    parse("tasks", "task",
          element("OPFTaskCopyName", "Pay rent") + element("OPFTaskCopyDueDateTime", "2018-06-02T06:00:00")
              + element("OPFTaskCopyRecurrence", recurrence),
          [](FolderInformation f) { f.InitializeTSRC(3000); });
    const TasksInformation &task = requireRecord(TmpTSRCPtrStart, "task");
    const QList<QByteArray> lines = standardTodo(task, detailsOf(&task), ByteArrayTextReader(QByteArray())).split('\n');
    QVERIFY(lines.contains("RRULE:" + rule.toLatin1() + '\r'));
    QStringList lost;
    for (const Loss &loss : recordedLosses()) {
        QCOMPARE(loss.item, QStringLiteral("Pay rent"));
        QCOMPARE(loss.reason, LossReason::ValueUnreadable);
        lost.append(loss.field + QStringLiteral(": ") + loss.why);
    }
    QCOMPARE(lost, losses);
}

// Every plausible shape of a group: its name element, its members as any start tag with
// an address attribute, a group cut by damage; the list's own tag is no group.
void TestItemDetails::contactGroupShapes_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("groups"); // "name: address address"
    const QByteArray member = "<emailAddress xml:space=\"preserve\" OPFContactEmailAddressAddress=\"a@x.example\" "
                              "OPFContactEmailAddressName=\"A\" OPFContactEmailAddressType=\"0\"></emailAddress>";
    QTest::newRow("address list like a mail's")
        << "<groups elementCount=\"1\"><group xml:space=\"preserve\">" + element("OPFGroupCopyName", "Team")
               + element("OPFGroupCopyMemberList", member + "<emailAddress OPFContactEmailAddressAddress=\"b@x\"/>")
               + "</group></groups>"
        << QStringList{"Team: a@x.example b@x"};
    QTest::newRow("contact entries, other name element, two groups")
        << "<groups><group>" + element("OPFGroupName", "Fam&amp;ily")
               + "<contactEmailAddress OPFContactEmailAddressAddress=\"c@x\" OPFContactEmailAddressIsDefault=\"1\">"
                 "</contactEmailAddress></group><group>"
               + element("OPFGroupCopyName", "Empty") + "</group></groups>"
        << QStringList{"Fam&ily: c@x", "Empty: "};
    QTest::newRow("cut by damage") << "<groups><group>" + element("OPFGroupCopyName", "Cut") + member.left(90)
                                   << QStringList{"Cut: a@x.example"};
    QTest::newRow("nothing but the list") << QByteArray("<groups elementCount=\"0\"></groups><grouping>")
                                          << QStringList();
    QTest::newRow("attributes without tags")
        << "<group>" + QByteArray(" OPFContactEmailAddressAddress=\"").repeated(20000) << QStringList();
}

void TestItemDetails::contactGroupShapes()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, groups);
    QStringList read;
    for (const ContactGroup &group : readContactGroups(xml)) {
        QStringList addresses;
        for (const MailAddress &member : group.members)
            addresses.append(member.address);
        read.append(group.name + QStringLiteral(": ") + addresses.join(QLatin1Char(' ')));
    }
    QCOMPARE(read, groups);
}

// Zone texts are judged once and remembered: events interleaving more distinct zones
// than are remembered, readable and not, each get the judgement of their own text.
void TestItemDetails::eachZoneTextJudgedOnItsOwn()
{
    const QByteArray weekly =
        element("OPFCalendarEventIsRecurring", "1")
        + element("OPFCalendarEventCopyRecurrence",
                  recurrenceXml("OPFRecurrencePatternWeekly", days("monday"), limits("2.7E1", "1", "1", "0")));
    QByteArray events;
    QStringList expectedLost;
    for (int round = 0; round < 2; ++round)
        for (int zone = 0; zone < 12; ++zone) {
            const bool readable = zone % 3 != 1;
            const QByteArray text = "BEGIN:VTIMEZONE\nTZID:Zone " + QByteArray::number(zone)
                                    + "\nBEGIN:STANDARD\nDTSTART:16010101T000000\nRRULE:FREQ="
                                    + (readable ? "YEARLY" : "MONTHLY")
                                    + ";BYDAY=1SU;BYMONTH=11\nTZOFFSETFROM:-0600\nTZOFFSETTO:-0700\nEND:STANDARD\n"
                                      "END:VTIMEZONE\n";
            const QByteArray summary = "Event " + QByteArray::number(round) + "/" + QByteArray::number(zone);
            events += element("appointment", element("OPFCalendarEventCopySummary", summary)
                                                 + element("OPFCalendarEventCopyStartTime", "2018-06-18T17:30:00")
                                                 + weekly + element("OPFCalendarEventGetStartTimeZoneICSData", text));
            if (!readable)
                expectedLost.append(QString::fromLatin1(summary));
        }
    clearLosses();
    withDocument(rootElement("appointments", events), [] { FolderInformation().InitializeCLRC(3000); });
    QStringList lost;
    for (const Loss &loss : recordedLosses())
        if (loss.field == QLatin1String("OPFCalendarEventGetStartTimeZoneICSData"))
            lost.append(loss.item);
    QCOMPARE(lost, expectedLost);
}

void TestItemDetails::taskCompletion_data()
{
    QTest::addColumn<QByteArray>("elements");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QDateTime>("completed");
    const QDateTime at(QDate(2010, 5, 13), QTime(9, 15), Qt::UTC);
    QTest::newRow("time and flag") << element("OPFTaskGetIsComplete", "1E0")
                                          + element("OPFTaskCopyCompletedDateTime", "2010-05-13T09:15:00")
                                   << true << at;
    QTest::newRow("time alone") << element("OPFTaskCopyCompletedDateTime", "2010-05-13T09:15:00") << true << at;
    // 02:30 on that day does not exist on this machine's clock; the UTC moment does.
    QTest::newRow("in the machine's daylight-saving gap")
        << element("OPFTaskCopyCompletedDateTime", "2018-03-11T02:30:00") << true
        << QDateTime(QDate(2018, 3, 11), QTime(2, 30), Qt::UTC);
    QTest::newRow("flag alone") << element("OPFTaskGetIsComplete", "1") << true << QDateTime();
    QTest::newRow("open") << element("OPFTaskGetIsComplete", "0E0") << false << QDateTime();
    // Text that reads as no number, NaN among them, sets no flag.
    QTest::newRow("not a number") << element("OPFTaskGetIsComplete", "nan") << false << QDateTime();
}

void TestItemDetails::taskCompletion()
{
    QFETCH(QByteArray, elements);
    QFETCH(bool, complete);
    QFETCH(QDateTime, completed);
    parse("tasks", "task", element("OPFTaskCopyName", "Call back") + elements,
          [](FolderInformation f) { f.InitializeTSRC(3000); });
    const TaskDetails &task = detailsOf(&requireRecord(TmpTSRCPtrStart, "task"));
    QCOMPARE(task.complete, complete);
    QCOMPARE(task.completedUtc, completed);
}

void TestItemDetails::contactDetails()
{
    QByteArray emails;
    for (const char *type : {"0", "1", "2", "7"})
        emails += element("contactEmailAddress", QByteArray(),
                          QByteArray("OPFContactEmailAddressAddress=\"a@b.example\" OPFContactEmailAddressIsDefault=\"0\" "
                                     "OPFContactEmailAddressType=\"")
                              + type + "\"");
    parse("contacts", "contact",
          element("OPFContactCopyFirstName", "Ann") + element("OPFContactCopyMiddleName", " Mar&amp;ia ")
              + element("OPFContactCopyEmailAddressList", emails),
          [](FolderInformation f) { f.InitializeCTRC(3000); });
    const ContactDetails &contact = detailsOf(&requireRecord(TmpCTRCPtrStart, "contact"));
    QCOMPARE(contact.middleName, QStringLiteral("Mar&ia"));
    QCOMPARE(contact.emailKinds,
             QVector<EmailKind>({EmailKind::Work, EmailKind::Home, EmailKind::Other, EmailKind::Unknown}));
}

// Values the record drops or cuts (too long, outside Latin-1, no field at all) reach
// the standard vCard whole, those vCard has no property for under names of their own;
// the exporter's flags and default values are neither written nor losses.
void TestItemDetails::contactValuesTheRecordCannotHold()
{
    QByteArray emails;
    for (int i = 1; i <= 14; ++i)
        emails += element("contactEmailAddress", QByteArray(),
                          "OPFContactEmailAddressAddress=\"a" + QByteArray::number(i)
                              + "@b.example\" OPFContactEmailAddressIsDefault=\"0\" OPFContactEmailAddressType=\"1\"");
    const QByteArray longTitle(150, 't');
    clearLosses();
    parse("contacts", "contact",
          element("OPFContactCopyLastName", "Kim") + element("OPFContactCopyTitle", longTitle)
              + element("OPFContactCopyInterests", "\xe6\x9b\xb8\xe9\x81\x93") // 書道
              + element("OPFContactCopyOtherPhone", "777") + element("OPFContactCopyOtherFax", "777")
              + element("OPFContactCopyRadioPhone", "777")
              + element("OPFContactCopyOtherCity", "Busan") + element("OPFContactCopyOtherStreetAddress", "1 Sea Rd")
              + element("OPFContactCopyAnniversary", "2001-06-09T06:00:00")
              + element("OPFContactCopyBloodType", "AB") + element("OPFContactCopyFavouriteColour", "teal")
              + element("OPFContactGetFlagStatus", "0E0") + element("OPFContactCanEdit", "1E0")
              + element("OPFContactIsJapaneseContact", "0") + element("OPFContactCopyImage", "0")
              + element("OPFContactCopyModDate", "2018-06-20T16:30:05")
              + element("OPFContactX:follow\x01up", "line one&#13;&#10;line two, then; three")
              + element("OPFContactCopyEmailAddressList", emails),
          [](FolderInformation f) { f.InitializeCTRC(3000); });
    const ContactInformation &record = requireRecord(TmpCTRCPtrStart, "contact");
    QCOMPARE(record.Title[0], '\0');
    const QString card = QString::fromUtf8(standardVCard(record, detailsOf(&record), ByteArrayTextReader(QByteArray()))
                                               .replace("\r\n ", ""));
    const QStringList lines = card.split(QStringLiteral("\r\n"));
    QVERIFY2(lines.contains("N:Kim;;;" + QString(longTitle) + ";"), qPrintable(card));
    QVERIFY(lines.contains(QString::fromUtf8("X-INTERESTS:\xe6\x9b\xb8\xe9\x81\x93")));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^TEL;.*:777$"))).size(), 3);
    QVERIFY(lines.contains(QStringLiteral("EMAIL;TYPE=INTERNET,HOME:a14@b.example")));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^item\\d+\\.ADR;TYPE=POSTAL:;;1 Sea Rd;Busan;;;$"))).size() == 1);
    QVERIFY(lines.contains(QStringLiteral("X-ANNIVERSARY:2001-06-09")));
    QVERIFY(lines.contains(QStringLiteral("REV:20180620T163005Z")));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^X-OUTLOOK-"))),
             QStringList({"X-OUTLOOK-BLOOD-TYPE:AB", "X-OUTLOOK-FAVOURITE-COLOUR:teal",
                          "X-OUTLOOK-X-FOLLOW-UP:line one\\nline two\\, then\\; three"}));
    for (const Loss &loss : recordedLosses()) // the title, too long for the bundle's record, is whole in the vCard
        QVERIFY2(loss.standardFilesKeepIt, qPrintable(loss.field));
}

void TestItemDetails::mailNames()
{
    const QByteArray to =
        element("emailAddress", QByteArray(),
                QString::fromUtf8("OPFContactEmailAddressAddress=\"hong@example.kr\" OPFContactEmailAddressName=\"홍길동\" "
                                  "OPFContactEmailAddressType=\"0\"")
                    .toUtf8())
        + element("emailAddress", QByteArray(),
                  "OPFContactEmailAddressAddress=\"bare@example.com\" OPFContactEmailAddressType=\"0\"")
        // XML lets an attribute value hold ">": it does not end the tag.
        + element("emailAddress", QByteArray(),
                  "OPFContactEmailAddressAddress=\"a@x>, b@y\" OPFContactEmailAddressName=\"A\" "
                  "OPFContactEmailAddressType=\"0\"");
    const QByteArray from = element(
        "emailAddress", QByteArray(),
        "OPFContactEmailAddressAddress=\"o@example.ie\" OPFContactEmailAddressName=\"O&apos;Brien, J\" "
        "OPFContactEmailAddressType=\"0\"");
    withDocument(rootElement("emails", element("email", element("OPFMessageCopyToAddresses", to)
                                                             + element("OPFMessageCopyFromAddresses", from))),
                 [] { FolderInformation().InitializeMLRC(QStringLiteral("Inbox"), 3000); });
    const MailDetails &mail = detailsOf(&requireRecord(TmpMlrcPtrStart, "mail"));
    QCOMPARE(mail.to.size(), 3);
    QCOMPARE(mail.to.at(2).address, QStringLiteral("a@x>, b@y"));
    QCOMPARE(mail.to.at(2).name, QStringLiteral("A"));
    QCOMPARE(mail.to.at(0).name, QString::fromUtf8("홍길동"));
    QCOMPARE(mail.to.at(1).address, QStringLiteral("bare@example.com"));
    QVERIFY(mail.to.at(1).name.isEmpty());
    QCOMPARE(mail.from.value(0).name, QStringLiteral("O'Brien, J"));
    QVERIFY(mail.cc.isEmpty());
}

// The details read each list from the cut the record takes where that cut holds the
// element's content, and otherwise on their own: every address stays whole, whatever
// the shape of the list.
void TestItemDetails::addressListShapes_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("whole"); // address|name per entry
    QTest::addColumn<QByteArray>("recordTo");
    const auto entry = [](const QByteArray &address, const QByteArray &name) {
        QByteArray attributes = "OPFContactEmailAddressAddress=\"" + address + "\" ";
        if (!name.isNull())
            attributes += "OPFContactEmailAddressName=\"" + name + "\" ";
        return element("emailAddress", QByteArray(), attributes + "OPFContactEmailAddressType=\"0\"");
    };
    const QByteArray ann = entry("ann@x.example", "Ann"), bob = entry("bob@y.example", QByteArray());
    const QByteArray list = element("OPFMessageCopyToAddresses", ann + bob);
    QTest::newRow("regular") << list << QStringList{"ann@x.example|Ann", "bob@y.example|"}
                             << QByteArray("ann@x.example;bob@y.example;");
    QTest::newRow("entries on lines of their own")
        << element("OPFMessageCopyToAddresses", "\n  " + ann + "\n  " + bob + "\n")
        << QStringList{"ann@x.example|Ann", "bob@y.example|"} << QByteArray();
    // A start tag of another length moves the record's cut into the first entry.
    QByteArray shortTag = list;
    shortTag.replace("<OPFMessageCopyToAddresses xml:space=\"preserve\">", "<OPFMessageCopyToAddresses>");
    QTest::newRow("list tag without attributes") << shortTag << QStringList{"ann@x.example|Ann", "bob@y.example|"}
                                                 << QByteArray("ann@x.example;bob@y.example;");
    QByteArray selfClosing = ann;
    selfClosing.replace("></emailAddress>", "/>");
    QTest::newRow("entry without end tag after the last")
        << element("OPFMessageCopyToAddresses", bob + selfClosing)
        << QStringList{"bob@y.example|", "ann@x.example|Ann"} << QByteArray("bob@y.example;");
    QTest::newRow("two entries before one end tag")
        << element("OPFMessageCopyToAddresses", selfClosing + bob)
        << QStringList{"ann@x.example|Ann", "bob@y.example|"} << QByteArray("ann@x.example;");
    QByteArray openQuote = ann;
    openQuote.replace("Ann\"", "Ann");
    // The tag reader finds no end to the first tag and reads no address of the list.
    QTest::newRow("quote left open") << element("OPFMessageCopyToAddresses", openQuote + bob) << QStringList()
                                     << QByteArray();
    // The record finds an attribute's name anywhere in the entry, the tag reader only
    // as an attribute of the tag: where they differ, the tag reader's value counts.
    const auto rawEntry = [](const QByteArray &before, const QByteArray &attributes) {
        return before + "<emailAddress xml:space=\"preserve\" " + attributes + "></emailAddress>";
    };
    QTest::newRow("name inside another attribute's name")
        << element("OPFMessageCopyToAddresses",
                   rawEntry("", "XOPFContactEmailAddressAddress=\"x@x.example\" OPFContactEmailAddressAddress=\"a@x."
                                "example\" OPFContactEmailAddressName=\"Ann\" OPFContactEmailAddressType=\"0\""))
        << QStringList{"a@x.example|Ann"} << QByteArray();
    QTest::newRow("name in text before the tag")
        << element("OPFMessageCopyToAddresses",
                   rawEntry("OPFContactEmailAddressName=\"Zed\" ", "OPFContactEmailAddressAddress=\"a@x.example\" "
                                                                     "OPFContactEmailAddressName=\"Ann\" "
                                                                     "OPFContactEmailAddressType=\"0\""))
        << QStringList{"a@x.example|Ann"} << QByteArray();
    QTest::newRow("value without quotes")
        << element("OPFMessageCopyToAddresses",
                   rawEntry("", "OPFContactEmailAddressAddress=\"a@x.example\" OPFContactEmailAddressName=Ann "
                                "OPFContactEmailAddressType=\"0\""))
        << QStringList{"a@x.example|"} << QByteArray();
    QTest::newRow("entry with text and entities")
        << element("OPFMessageCopyToAddresses", entry(" o@x.example ", "O&apos;Brien &amp; Co"))
        << QStringList{"o@x.example|O'Brien & Co"} << QByteArray();
}

void TestItemDetails::addressListShapes()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, whole);
    QFETCH(QByteArray, recordTo);
    withDocument(rootElement("emails", element("email", list)),
                 [] { FolderInformation().InitializeMLRC(QStringLiteral("Inbox"), 3000); });
    const MailMLRC &mail = requireRecord(TmpMlrcPtrStart, "mail");
    QStringList read;
    for (const MailAddress &address : detailsOf(&mail).to)
        read.append(address.address + QLatin1Char('|') + address.name);
    QCOMPARE(read, whole);
    if (!recordTo.isNull())
        QCOMPARE(QByteArray(mail.ToAddresses), recordTo);
}

// Damage can put a zero byte inside a value: the value ends there, in the attribute
// of an address entry as in a contact's text element, and no zero reaches an output.
void TestItemDetails::zeroByteEndsADetailValue()
{
    const QByteArray zero(1, '\0');
    const QByteArray from = element("emailAddress", QByteArray(),
                                    "OPFContactEmailAddressAddress=\"o@example.ie\" OPFContactEmailAddressName=\"Ann"
                                        + zero + "garbage\" OPFContactEmailAddressType=\"0\"");
    withDocument(rootElement("emails", element("email", element("OPFMessageCopyFromAddresses", from))),
                 [] { FolderInformation().InitializeMLRC(QStringLiteral("Inbox"), 3000); });
    QCOMPARE(detailsOf(&requireRecord(TmpMlrcPtrStart, "mail")).from.value(0).name, QStringLiteral("Ann"));

    parse("contacts", "contact", element("OPFContactCopyOtherCity", "Busan" + zero + "garbage"),
          [](FolderInformation f) { f.InitializeCTRC(3000); });
    QCOMPARE(detailsOf(&requireRecord(TmpCTRCPtrStart, "contact")).texts.value("OPFContactCopyOtherCity"),
             QStringLiteral("Busan"));
}

void TestItemDetails::detailsGoWithTheRecords()
{
    parse("tasks", "task", element("OPFTaskGetIsComplete", "1E0"), [](FolderInformation f) { f.InitializeTSRC(3000); });
    const TasksInformation *task = TmpTSRCPtrStart;
    QVERIFY(detailsOf(task).complete);
    freeRecordLists();
    // A later record at the same address must not inherit them.
    QVERIFY(!detailsOf(task).complete);
}

QTEST_GUILESS_MAIN(TestItemDetails)
#include "test_itemdetails.moc"
