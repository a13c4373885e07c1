// The previews of contacts, events, tasks and notes over a generated export of realistic
// content, checked against the generator's own description of every item; and values
// holding markup, shown as the text they are.
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimeZone>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <ctime>
#include <memory>

namespace {
// The machine's zone during the test: far from every zone of the sample, without daylight saving.
const char kLocalZone[] = "Asia/Tokyo";

// "Saturday, 30 April 2011 15:49" in the user's locale.
QString shown(const QDateTime &moment)
{
    return QLocale().toString(moment.date(), QLocale::LongFormat) + ' '
           + QLocale().toString(moment.time(), QLocale::ShortFormat);
}

QString shownDay(const QString &isoDate)
{
    return QLocale().toString(QDate::fromString(isoDate, Qt::ISODate), QLocale::LongFormat);
}

// A compact stamp of the generator (20110430T214900, UTC) as a moment.
QDateTime utcMoment(QString stamp)
{
    stamp.remove('Z');
    QDateTime moment = QDateTime::fromString(stamp, "yyyyMMdd'T'HHmmss");
    moment.setTimeSpec(Qt::UTC);
    return moment;
}

QDateTime inZone(const QDateTime &utc, const QByteArray &iana) { return utc.toTimeZone(QTimeZone(iana)); }

QStringList strings(const QJsonValue &array)
{
    QStringList values;
    for (const QJsonValue &value : array.toArray())
        values << value.toString();
    return values;
}

template <int Width>
void put(char (&field)[Width], const QByteArray &value)
{
    memset(field, 0, Width);
    memcpy(field, value.constData(), size_t(qMin(value.size(), Width - 1)));
}
} // namespace

class ItemPreviewsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void contactsShowEveryField();
    void eventsSayWhenTheyTakePlace();
    void allDayEventsListDaysNotTimes();
    void tasksShowDatesStateAndRecurrence();
    void notesShowTheirDate();
    void markupInValuesIsText();

private:
    // Shows the category's list and previews each row; one text per row.
    QStringList previews(Category category);
    QJsonArray items(const char *kind) const { return m_manifest.value(kind).toArray(); }

    std::unique_ptr<QEntourageMainWindow> m_window;
    QTemporaryDir m_dir;
    QJsonObject m_manifest;
};

void ItemPreviewsTest::initTestCase()
{
    qputenv("TZ", kLocalZone);
    tzset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const QString olm = m_dir.filePath("realistic.olm");
    const QString manifest = m_dir.filePath("manifest.json");
    QProcess generator;
    generator.start("python3", {QFINDTESTDATA("../../tools/make_olm.py"), "--realistic", "--mails", "2", "--contacts",
                                "6", "--events", "20", "--tasks", "15", "--notes", "4", "--manifest", manifest, olm});
    QVERIFY(generator.waitForFinished(60000));
    QCOMPARE(generator.exitCode(), 0);
    QFile description(manifest);
    QVERIFY(description.open(QIODevice::ReadOnly));
    m_manifest = QJsonDocument::fromJson(description.readAll()).object();

    m_window.reset(new QEntourageMainWindow);
    m_window->resize(1200, 800);
    m_window->show();
    m_pParseDatabase->ChooseFile(olm);
    m_pParseDatabase->OnStartScan();
    QCOMPARE(ContactItemCount, 6);
    QCOMPARE(CalendarItemCount, 20);
    QCOMPARE(TaskItemCount, 15);
    QCOMPARE(NotesItemCount, 4);
}

void ItemPreviewsTest::cleanupTestCase()
{
    m_window.reset();
    CleanListAndHash();
}

QStringList ItemPreviewsTest::previews(Category category)
{
    m_window->viewAction(category)->trigger();
    QTreeWidget *list = m_window->itemList();
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        list->setCurrentItem(list->topLevelItem(row), ItemTextColumn);
        texts << m_window->detailsBrowser()->toPlainText();
    }
    return texts;
}

void ItemPreviewsTest::contactsShowEveryField()
{
    const QStringList texts = previews(Category::Contacts);
    const QJsonArray contacts = items("contacts");
    QCOMPARE(texts.size(), contacts.size());
    // The labels of the export's phones, by the generator's names for them.
    const QList<QPair<QString, QString>> phoneLabels = {
        {"home", "Home Phone 1"}, {"home2", "Home Phone 2"},   {"homeFax", "Home Fax"},     {"work", "Work Phone 1"},
        {"work2", "Work Phone 2"}, {"workFax", "Work Fax"},    {"mobile", "Mobile Phone"}, {"pager", "Pager"},
        {"radio", "Radio Phone"}, {"assistant", "Assistant Phone"}, {"other", "Other Phone"},
        {"otherFax", "Other Fax"}, {"main", "Main Phone"},     {"custom1", "Custom Phone 1"},
        {"custom2", "Custom Phone 2"}, {"custom3", "Custom Phone 3"}, {"custom4", "Custom Phone 4"}};
    const QList<QPair<QString, QString>> addressKinds = {{"work", "Work"}, {"home", "Home"}, {"other", "Other"}};
    const QList<QPair<QString, QString>> addressParts = {
        {"street", "Street Address"}, {"city", "City"}, {"state", "State"}, {"zip", "Zip"}, {"country", "Country/Region"}};
    int phonesSeen = 0, otherAddressesSeen = 0;
    for (int i = 0; i < contacts.size(); ++i) {
        const QJsonObject contact = contacts[i].toObject();
        const QString &text = texts[i];
        QStringList expected;
        auto line = [&expected](const QString &label, const QString &value) {
            if (!value.isEmpty())
                expected << label + " : " + value;
        };
        line("First Name", contact["firstName"].toString());
        line("Middle Name", contact["middleName"].toString());
        line("Last Name", contact["lastName"].toString());
        if (!contact["nickName"].toString().isEmpty())
            expected << "Nickname: " + contact["nickName"].toString();
        line("Suffix", contact["nameSuffix"].toString());
        line("Title", contact["namePrefix"].toString());
        line("Display Name", contact["displayName"].toString());
        line("Company", contact["company"].toString());
        line("Dept", contact["department"].toString());
        line("Job Title", contact["jobTitle"].toString());
        line("Office", contact["office"].toString());
        line("Spouse", contact["spouse"].toString());
        line("Interests", contact["interests"].toString());
        line("Birthday", shownDay(contact["birthday"].toString()));
        if (!contact["anniversary"].toString().isEmpty())
            line("Anniversary", shownDay(contact["anniversary"].toString()));
        line("Categories", strings(contact["categories"]).join(", "));
        const QStringList emails = strings(contact["emails"]);
        const QStringList kinds = strings(contact["emailTypes"]);
        for (int e = 0; e < emails.size(); ++e)
            line(QString("Email Address %1").arg(e + 1), emails[e] + " (" + kinds.value(e) + ")");
        const QJsonObject phones = contact["phones"].toObject();
        for (const auto &phone : phoneLabels) {
            line(phone.second, phones[phone.first].toString());
            phonesSeen += phones.contains(phone.first);
        }
        const QJsonObject addresses = contact["addresses"].toObject();
        for (const auto &kind : addressKinds) {
            const QJsonObject address = addresses[kind.first].toObject();
            for (const auto &part : addressParts)
                line(kind.second + ' ' + part.second, address[part.first].toString());
            otherAddressesSeen += kind.first == "other" && !address.isEmpty();
        }
        const QJsonObject webPages = contact["webPages"].toObject();
        line("Work URL", webPages["work"].toString());
        line("Home URL", webPages["home"].toString());
        const QJsonObject custom = contact["customData"].toObject();
        for (int n = 1; n <= 8; ++n)
            line(QString("Custom %1").arg(n), custom[QString::number(n)].toString());
        const QJsonObject customDates = contact["customDates"].toObject();
        for (int n = 1; n <= 2; ++n) {
            if (customDates.contains(QString::number(n)))
                line(QString("Custom Date %1").arg(n), shownDay(customDates[QString::number(n)].toString()));
        }
        const QStringList children = strings(contact["children"]);
        for (int c = 0; c < children.size(); ++c)
            line(QString("Childern %1").arg(c + 1), children[c]);
        for (const QString &wanted : expected)
            QVERIFY2(text.contains(wanted), qPrintable(QString("contact %1 lacks \"%2\" in:\n%3").arg(i).arg(wanted, text)));
        // The plain note, line by line.
        for (const QString &noteLine : contact["notes"].toString().split('\n'))
            QVERIFY2(text.contains(noteLine), qPrintable(noteLine));
    }
    // Headings in blue, values in dark grey.
    m_window->itemList()->setCurrentItem(m_window->itemList()->topLevelItem(0), ItemTextColumn);
    QTextDocument *document = m_window->detailsBrowser()->document();
    const auto colourOf = [document](const QString &text) {
        QTextCursor found = document->find(text);
        return found.isNull() ? QColor() : found.charFormat().foreground().color();
    };
    QCOMPARE(colourOf("Contact Name"), QColor(25, 104, 232));
    for (const char *value : {"First Name : ", "Email Address 1 : ", "Home Phone 1 : ", "Work City : "})
        QCOMPARE(colourOf(value), QColor(68, 68, 68));
    // The sample holds what the test is about.
    QVERIFY(phonesSeen > 30);
    QVERIFY(otherAddressesSeen > 0);
}

// In the calendar list an all-day event shows its days; any other its clock times.
void ItemPreviewsTest::allDayEventsListDaysNotTimes()
{
    m_window->viewAction(Category::Calendar)->trigger();
    QTreeWidget *list = m_window->itemList();
    const QJsonArray events = items("calendars");
    QCOMPARE(list->topLevelItemCount(), events.size());
    int allDay = 0;
    for (int row = 0; row < events.size(); ++row) {
        const bool days = events[row].toObject()["allDay"].toBool();
        allDay += days;
        for (int column : {int(ItemFirstDetailColumn), ItemFirstDetailColumn + 1}) {
            const QString shown = list->topLevelItem(row)->text(column);
            QVERIFY2(!shown.isEmpty() && shown.contains(':') != days, qPrintable(shown));
        }
    }
    QVERIFY(allDay > 0 && allDay < events.size());
}

void ItemPreviewsTest::eventsSayWhenTheyTakePlace()
{
    const QStringList texts = previews(Category::Calendar);
    const QJsonArray events = items("calendars");
    QCOMPARE(texts.size(), events.size());
    int allDay = 0, repeating = 0, inOwnZone = 0;
    for (int i = 0; i < events.size(); ++i) {
        const QJsonObject event = events[i].toObject();
        const QString &text = texts[i];
        QStringList expected = {"Summary : " + event["summary"].toString(), "Location : " + event["location"].toString(),
                                "Organizer : " + event["organizer"].toString()};
        const QDateTime start = utcMoment(event["start"].toString());
        const QDateTime end = utcMoment(event["end"].toString());
        const QString zone = event["zone"].toString();
        if (event["allDay"].toBool()) {
            ++allDay;
            expected << "All day : " + shownDay(QDate::fromString(event["startDate"].toString(), "yyyyMMdd").toString(Qt::ISODate));
        } else {
            ++inOwnZone;
            // The event's zone from the zone database, beside the rules the export carries.
            const QByteArray iana = event["zoneIana"].toString().toLatin1();
            const auto own = [&](const QDateTime &moment) {
                if (!iana.isEmpty())
                    return inZone(moment, iana);
                int minutes = 0;
                const QRegularExpressionMatch offset = QRegularExpression("\\(UTC([+-])(\\d\\d):(\\d\\d)\\)").match(zone);
                minutes = offset.captured(2).toInt() * 60 + offset.captured(3).toInt();
                return moment.toOffsetFromUtc(offset.captured(1) == "-" ? -minutes * 60 : minutes * 60);
            };
            // The distance from UTC of the moment itself, and the zone's name without the one it starts with.
            const auto named = [&](const QDateTime &moment) {
                const int offset = own(moment).offsetFromUtc() / 60;
                const QString utc = offset == 0 ? QString("UTC")
                                                : QString("UTC%1%2:%3")
                                                      .arg(offset < 0 ? '-' : '+')
                                                      .arg(qAbs(offset) / 60, 2, 10, QChar('0'))
                                                      .arg(qAbs(offset) % 60, 2, 10, QChar('0'));
                return shown(own(moment)) + " (" + utc + ", " + zone.mid(zone.indexOf(") ") + 2) + ")";
            };
            expected << "Start : " + named(start) << "End : " + named(end)
                     << "Start, local time : " + shown(inZone(start, kLocalZone)) + " JST"
                     << "End, local time : " + shown(inZone(end, kLocalZone)) + " JST";
        }
        for (const QString &attendee : strings(event["attendees"]))
            QVERIFY2(text.contains(attendee), qPrintable(attendee));
        for (const QString &name : strings(event["attendeeNames"]))
            QVERIFY2(text.contains(name + " <"), qPrintable(name));
        if (!event["categories"].toArray().isEmpty())
            expected << "Categories : " + strings(event["categories"]).join(", ");
        QCOMPARE(text.contains("Private : Yes"), event["private"].toBool());
        const QJsonObject recurrence = event["recurrence"].toObject();
        QCOMPARE(text.contains("Repeats : "), !recurrence.isEmpty());
        if (!recurrence.isEmpty()) {
            ++repeating;
            const int count = recurrence["count"].toInt();
            if (count > 0)
                expected << QString(", %1 times").arg(count);
            else if (!recurrence["endDate"].isNull())
                expected << ", until " + shownDay(recurrence["endDate"].toString());
            else
                expected << ", no end";
            const QString type = recurrence["type"].toString();
            static const QMap<QString, QString> dayNames = {{"SU", "Sunday"}, {"MO", "Monday"}, {"TU", "Tuesday"},
                                                             {"WE", "Wednesday"}, {"TH", "Thursday"},
                                                             {"FR", "Friday"}, {"SA", "Saturday"}};
            if (type == "weekly" || type == "monthNth") {
                for (const QString &day : strings(recurrence["days"]))
                    expected << dayNames.value(day);
            }
            if (type == "monthly")
                expected << QString("Monthly on day %1").arg(recurrence["dayOfMonth"].toInt());
            if (type == "daily")
                expected << (recurrence["interval"].toInt() > 1 ? QString("Every %1 days").arg(recurrence["interval"].toInt())
                                                                : QString("Daily"));
        }
        for (const QString &wanted : expected)
            QVERIFY2(text.contains(wanted), qPrintable(QString("event %1 lacks \"%2\" in:\n%3").arg(i).arg(wanted, text)));
        for (const QString &descriptionLine : event["description"].toString().split('\n'))
            QVERIFY2(text.contains(descriptionLine), qPrintable(descriptionLine));
    }
    QVERIFY(allDay > 0 && repeating > 0 && inOwnZone > 0);
}

void ItemPreviewsTest::tasksShowDatesStateAndRecurrence()
{
    const QStringList texts = previews(Category::Tasks);
    const QJsonArray tasks = items("tasks");
    QCOMPARE(texts.size(), tasks.size());
    int complete = 0, repeating = 0;
    for (int i = 0; i < tasks.size(); ++i) {
        const QJsonObject task = tasks[i].toObject();
        const QString &text = texts[i];
        QStringList expected = {"Task : " + task["name"].toString(),
                                "Due Date : " + shown(inZone(utcMoment(task["due"].toString()), kLocalZone))};
        if (!task["start"].toString().isEmpty())
            expected << "Start Date : " + shown(inZone(utcMoment(task["start"].toString()), kLocalZone));
        else
            QVERIFY(!text.contains("Start Date"));
        const bool done = task["complete"].toBool();
        complete += done;
        expected << (done ? "Complete : Yes" : "Complete : No");
        if (done)
            expected << "Completed On : " + shown(inZone(utcMoment(task["completed"].toString()), kLocalZone));
        if (!task["categories"].toArray().isEmpty())
            expected << "Categories : " + strings(task["categories"]).join(", ");
        const QJsonObject recurrence = task["recurrence"].toObject();
        QCOMPARE(text.contains("Repeats : "), !recurrence.isEmpty());
        if (!recurrence.isEmpty()) {
            ++repeating;
            if (recurrence["count"].toInt() > 0)
                expected << QString(", %1 times").arg(recurrence["count"].toInt());
        }
        static const QMap<QString, QString> priorities = {{"2", "High"}, {"3", "Normal"}, {"4", "Low"}};
        expected << "Priority : " + priorities.value(task["priority"].toString());
        // Never the record's own display form (2018,Jun,12, 06:00:00).
        QVERIFY2(!QRegularExpression("\\d{4},[A-Z][a-z]{2},\\d\\d").match(text).hasMatch(), qPrintable(text));
        for (const QString &wanted : expected)
            QVERIFY2(text.contains(wanted), qPrintable(QString("task %1 lacks \"%2\" in:\n%3").arg(i).arg(wanted, text)));
    }
    QVERIFY(complete > 0 && complete < tasks.size() && repeating > 0);
}

void ItemPreviewsTest::notesShowTheirDate()
{
    const QStringList texts = previews(Category::Notes);
    const QJsonArray notes = items("notes");
    QCOMPARE(texts.size(), notes.size());
    for (int i = 0; i < notes.size(); ++i) {
        const QJsonObject note = notes[i].toObject();
        QVERIFY2(texts[i].contains("Summary : " + note["title"].toString()), qPrintable(texts[i]));
        const QString date = "Date : " + shown(inZone(utcMoment(note["modified"].toString()), kLocalZone));
        QVERIFY2(texts[i].contains(date), qPrintable(date + " in:\n" + texts[i]));
    }
}

void ItemPreviewsTest::markupInValuesIsText()
{
    CleanListAndHash();
    const QByteArray image = "<img src=\"file:///etc/hosts\">";
    const QByteArray script = "<script>alert(1)</script><b>bold</b>";
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    put(contact->FirstName, script);
    put(contact->LastName, image);
    put(contact->Company, "<i>Acme</i>");
    put(contact->HomeCity, "<h1>Big</h1>");
    CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    put(event->Summary, "Tom &amp; Jerry " + script);
    put(event->Location, image);
    put(event->Organizer, "<u>me</u>");
    TasksInformation *task = appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
    put(task->Name, script);
    NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    put(note->Title, image);

    QTextBrowser *details = m_window->detailsBrowser();
    auto showsAsText = [&](const QStringList &values) {
        const QString plain = details->toPlainText();
        for (const QString &value : values)
            QVERIFY2(plain.contains(value), qPrintable(value + " not in:\n" + plain));
        // Nothing became markup: no image, no bold, italic, heading or underline.
        const QString html = details->toHtml();
        for (const char *rendered : {"<img", "font-weight:600", "font-style:italic", "<h1", "text-decoration: underline"})
            QVERIFY2(!html.contains(rendered), rendered);
    };
    m_pPreview->writePreviewItemsForContact(contact);
    showsAsText({script, image, "<i>Acme</i>", "<h1>Big</h1>"});
    m_pPreview->writePreviewItemsForCalendar(event);
    // Entities that the record keeps are decoded once, as the export means them.
    showsAsText({"Summary : Tom & Jerry " + script, "Location : " + image, "<u>me</u>"});
    m_pPreview->writePreviewItemsForTask(task);
    showsAsText({"Task : " + script});
    m_pPreview->writePreviewItemsForNotes(note);
    showsAsText({"Summary : " + image});
}

QTEST_MAIN(ItemPreviewsTest)
#include "test_itempreviews.moc"
