// Browsing a scanned file: check boxes spreading through the folder tree and into the
// folder attribute list, the five item lists, and the previews with their bodies read
// back from the file.
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/MyButton.h"
#include "app/QEntourageMainWindow.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "olm/FolderModel.h"
#include "parsers/HtmlTest.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"
#include "parsers/TimeConverter.h"

#include <QAction>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QWebElement>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QWebFrame>
#include <QWebView>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {
template <int Width>
void put(char (&field)[Width], const QByteArray &value)
{
    QVERIFY(value.size() < Width);
    memset(field, 0, Width);
    memcpy(field, value.constData(), size_t(value.size()));
}

// The record lists free their buffers with free(): qstrdup's new[] would not match.
char *ownedCopy(const QByteArray &value)
{
    return strdup(value.constData());
}

MailMLRC *addMail(qint64 folderId, const QByteArray &subject)
{
    MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    mail->ParentId = folderId;
    put(mail->Subject, subject);
    return mail;
}

template <typename Record>
void identify(Record *record, int number)
{
    put(record->Identifier, QByteArray::number(0xABCDEF00 + number, 16).toUpper().rightJustified(32, '0'));
}

QTreeWidgetItem *folderItem(QTreeWidget *tree, const QString &path)
{
    return objMapFileIdTreeItem.value(path.isEmpty() ? llRootId : folderIdForPath(path));
}

// A moment in UTC as the lists show it: the user's short date and time, without the
// seconds (none of the moments used has seconds or minutes of 00).
QString listMoment(int year, int month, int day, int hour, int minute)
{
    return QLocale()
        .toString(QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toLocalTime(), QLocale::ShortFormat)
        .remove(QStringLiteral(":00"));
}

QStringList rowTexts(QTreeWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(ItemTextColumn);
    return texts;
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(20, 20).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage resourceImage(const char *path)
{
    return iconImage(QIcon(QLatin1String(path)));
}

// Clicks where the user clicks to toggle the item's box.
void clickCheckBox(QTreeWidget *tree, QTreeWidgetItem *item)
{
    tree->scrollToItem(item);
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.rect = tree->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay
                      | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = tree->iconSize();
    const QRect box = tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

void clickName(QTreeWidget *tree, QTreeWidgetItem *item)
{
    tree->scrollToItem(item);
    const QRect row = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(row.left() + 60, row.center().y()));
}

QString webText(QWebView *view)
{
    return view->page()->mainFrame()->toPlainText();
}
} // namespace

class BrowseListsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void checkBoxesSpread_data();
    void checkBoxesSpread();
    void clickingTheNameReappliesUnchecked();
    void keyboardTogglesSpreadToo();
    void viewSwitchUnchecksBoxesAndRecords();
    void folderClicksOpenTheirLists_data();
    void folderClicksOpenTheirLists();
    void mailRowsCarryTheirColumns();
    void selectingARowPreviewsIt();
    void mailHeaderLines_data();
    void mailHeaderLines();
    void mailDateRule_data();
    void mailDateRule();
    void mailBodies_data();
    void mailBodies();
    void htmlTest_data();
    void htmlTest();
    void previewLoadsNothingAndRunsNoScript();
    void contactPreviewSections();
    void eventPreview();
    void taskPreviews_data();
    void taskPreviews();
    void notePreview();
    void emptyListsGiveEmptyPreviews();
    void repeatedSwitchingKeepsOneSetOfRows();
    void longDescriptionsShowTheirStart();
    void startButtonIsItsImage();
    void longRootPathHasItsTooltip();
    void arrowKeysMoveThroughEveryList();
    void arrowKeysInTheFolderTreeOpenFolders();
    void headerBoxGrowsAndWrapsBetweenAddresses();
    void linksAreOfferedToTheSystemNeverFollowed();
    void mailColumnsSortAndFilter();
    void searchFollowsEveryKeystroke();
    void eventAndNoteDatesReadAndSortAsDates();
    void mailListShowsFromDateAndSizeBesideTheSubject();

public slots:
    // Stands in for the system's handler of http and mailto links.
    void openedBySystem(const QUrl &url) { m_openedBySystem << url; }

private:
    // Writes bytes as the scanned file and opens it as the scan would.
    void useFile(const QByteArray &bytes);
    // Folders of the tree used throughout, and the tree built from them.
    void buildTree(const QStringList &paths);
    QTreeWidget *tree() const { return m_window->folderTree(); }
    QTreeWidget *list() const { return m_window->itemList(); }
    QString headerText() const { return m_window->headerBrowser()->toPlainText(); }
    QString detailsText() const { return m_window->detailsBrowser()->toPlainText(); }
    // Waits for the web view to finish what the preview gave it.
    QString shownBody();

    std::unique_ptr<QEntourageMainWindow> m_window;
    QTemporaryDir m_dir;
    QList<QUrl> m_openedBySystem;
};

void BrowseListsTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
    m_pParseDatabase->hide();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void BrowseListsTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    fileDescriptor = -1;
    lSize = 0;
    m_selectedFile.clear();
}

void BrowseListsTest::useFile(const QByteArray &bytes)
{
    const QString path = writeTestFile(QDir(m_dir.path()), QStringLiteral("bodies.olm"), bytes);
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    fileDescriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QVERIFY(fileDescriptor >= 0);
    lSize = bytes.size();
}

void BrowseListsTest::buildTree(const QStringList &paths)
{
    for (const QString &path : paths)
        createScannedFolder(path);
    m_selectedFile = QStringLiteral("/Users/someone/Documents/Outlook exports/2011/a long name for an export.olm");
    m_pParseDatabase->GenerateTree();
}

QString BrowseListsTest::shownBody()
{
    QCoreApplication::processEvents();
    return webText(m_window->webView());
}

// Checks and unchecks, then the box, column 7 and record of every folder.
void BrowseListsTest::checkBoxesSpread_data()
{
    QTest::addColumn<QStringList>("clicks");   // folders whose box is clicked in turn ("" is the root)
    QTest::addColumn<QStringList>("checked");  // folders checked afterwards
    QTest::addColumn<QStringList>("partial");  // folders partially checked afterwards; the rest unchecked
    const QStringList all = {"", "Inbox", "Inbox/Projects", "Inbox/Projects/2010", "Inbox/Archive", "Sent Items",
                             "Contacts", "Folder1"};
    QTest::newRow("root checks everything") << QStringList{""} << all << QStringList();
    QTest::newRow("root again unchecks everything") << QStringList{"", ""} << QStringList() << QStringList();
    QTest::newRow("a leaf checks its only-child parent, the rest is partial")
        << QStringList{"Inbox/Projects/2010"} << QStringList{"Inbox/Projects", "Inbox/Projects/2010"}
        << QStringList{"Inbox", ""};
    QTest::newRow("one of two siblings checks its children")
        << QStringList{"Inbox/Archive"} << QStringList{"Inbox/Archive"} << QStringList{"Inbox", ""};
    QTest::newRow("both siblings check their parent")
        << QStringList{"Inbox/Archive", "Inbox/Projects"}
        << QStringList{"Inbox", "Inbox/Archive", "Inbox/Projects", "Inbox/Projects/2010"} << QStringList{""};
    QTest::newRow("a parent checks its descendants")
        << QStringList{"Inbox"} << QStringList{"Inbox", "Inbox/Archive", "Inbox/Projects", "Inbox/Projects/2010"}
        << QStringList{""};
    QTest::newRow("unchecking again clears every state")
        << QStringList{"Inbox/Archive", "Inbox/Archive"} << QStringList() << QStringList();
    QTest::newRow("unchecking a child of a checked parent")
        << QStringList{"Inbox", "Inbox/Projects/2010"} << QStringList{"Inbox/Archive"}
        << QStringList{"Inbox", ""};
    QTest::newRow("the root after a partial state") << QStringList{"Sent Items", "", ""} << QStringList()
                                                    << QStringList();
    QTest::newRow("every child of the root checks the root")
        << QStringList{"Inbox", "Sent Items", "Contacts", "Folder1"} << all << QStringList();
}

void BrowseListsTest::checkBoxesSpread()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, checked);
    QFETCH(QStringList, partial);
    addMail(kFolderWithoutPathId, "Lost"); // "Folder1" is shown only when it holds mails
    buildTree({"Inbox/Projects/2010", "Inbox/Archive", "Sent Items", "Contacts"});

    for (const QString &path : clicks)
        clickCheckBox(tree(), folderItem(tree(), path));

    const QStringList all = {"", "Inbox", "Inbox/Projects", "Inbox/Projects/2010", "Inbox/Archive", "Sent Items",
                             "Contacts", "Folder1"};
    for (const QString &path : all) {
        QTreeWidgetItem *item = folderItem(tree(), path);
        QVERIFY2(item, qPrintable(path));
        const Qt::CheckState expected = checked.contains(path)   ? Qt::Checked
                                        : partial.contains(path) ? Qt::PartiallyChecked
                                                                 : Qt::Unchecked;
        const CheckStateCode code = expected == Qt::Checked            ? CheckedCode
                                    : expected == Qt::PartiallyChecked ? PartiallyCheckedCode
                                                                       : UncheckedCode;
        QVERIFY2(item->checkState(0) == expected, qPrintable(path));
        QCOMPARE(item->text(7), QString::number(code));
        // One record per folder (a rebuild empties the list), and it follows the box.
        int records = 0;
        for (FolderAttribute *record = StartFldrAtrib; record; record = record->next) {
            if (record->folderId != item->text(1).toLongLong())
                continue;
            ++records;
            QVERIFY2(record->state == code, qPrintable(path));
        }
        QCOMPARE(records, 1);
    }
}

void BrowseListsTest::clickingTheNameReappliesUnchecked()
{
    buildTree({"Inbox/Projects"});
    // A record out of step with its unchecked box (no click or key can make one).
    folderAttributeOf(folderIdForPath("Inbox/Projects"))->state = CheckedCode;
    clickName(tree(), folderItem(tree(), "Inbox"));
    QCOMPARE(int(folderAttributeOf(folderIdForPath("Inbox/Projects"))->state), int(UncheckedCode));
    QCOMPARE(folderItem(tree(), "Inbox/Projects")->checkState(0), Qt::Unchecked);
    QCOMPARE(folderItem(tree(), "Inbox/Projects")->text(7), QStringLiteral("3"));
}

void BrowseListsTest::keyboardTogglesSpreadToo()
{
    buildTree({"Inbox/Projects", "Inbox/Archive"});
    QTreeWidgetItem *projects = folderItem(tree(), "Inbox/Projects");
    tree()->setCurrentItem(projects);
    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_Space);
    QCOMPARE(projects->checkState(0), Qt::Checked);
    QCOMPARE(int(folderAttributeOf(folderIdForPath("Inbox/Projects"))->state), int(CheckedCode));
    QCOMPARE(folderItem(tree(), "Inbox")->checkState(0), Qt::PartiallyChecked);
    QCOMPARE(int(folderAttributeOf(folderIdForPath("Inbox"))->state), int(PartiallyCheckedCode));
    QCOMPARE(int(folderAttributeOf(llRootId)->state), int(PartiallyCheckedCode));
    QTest::keyClick(tree(), Qt::Key_Space);
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        QCOMPARE(int(record->state), int(UncheckedCode));
}

void BrowseListsTest::viewSwitchUnchecksBoxesAndRecords()
{
    buildTree({"Inbox", "Contacts"});
    addMail(folderIdForPath("Inbox"), "kept");
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    put(contact->FirstName, "Ann");
    identify(contact, 1);
    clickCheckBox(tree(), folderItem(tree(), ""));
    QCOMPARE(int(StartFldrAtrib->state), int(CheckedCode));

    m_window->viewAction(Category::Contacts)->trigger();
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        QCOMPARE(int(record->state), int(UncheckedCode));
    for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
        QCOMPARE((*it)->checkState(0), Qt::Unchecked);
        QCOMPARE((*it)->text(7), QStringLiteral("3"));
    }
    // The view also lists its items and selects its folder.
    QCOMPARE(rowTexts(list()), QStringList{"Ann "});
    QVERIFY(folderItem(tree(), "Contacts")->isSelected());
}

void BrowseListsTest::folderClicksOpenTheirLists_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("category");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("nested mail folder") << "Inbox/Projects" << int(Category::Mail)
                                        << QStringList{"Plan", "No Subject", "Budget"};
    QTest::newRow("mail folder") << "Inbox" << int(Category::Mail) << QStringList{"Welcome"};
    QTest::newRow("empty mail folder") << "Sent Items" << int(Category::Mail) << QStringList();
    QTest::newRow("mails without a path") << "Folder1" << int(Category::Mail) << QStringList{"Lost"};
    QTest::newRow("contacts") << "Contacts" << int(Category::Contacts) << QStringList{"Ann Lee", " Kim"};
    QTest::newRow("calendars") << "Calendars" << int(Category::Calendar) << QStringList{"Team meeting "};
    QTest::newRow("tasks") << "Tasks" << int(Category::Tasks) << QStringList{"Call back ", " "};
    QTest::newRow("notes") << "Notes" << int(Category::Notes) << QStringList{"Shopping "};
    QTest::newRow("a Notes folder lower down holds mail") << "Archive/Notes" << int(Category::Mail)
                                                          << QStringList{"Old note mail"};
}

void BrowseListsTest::folderClicksOpenTheirLists()
{
    QFETCH(QString, folder);
    QFETCH(int, category);
    QFETCH(QStringList, rows);
    buildTree({"Inbox/Projects", "Sent Items", "Contacts", "Calendars", "Tasks", "Notes", "Archive/Notes"});
    addMail(folderIdForPath("Inbox"), "Welcome");
    addMail(folderIdForPath("Inbox/Projects"), "Plan");
    addMail(folderIdForPath("Inbox/Projects"), "");
    addMail(kFolderWithoutPathId, "Lost");
    addMail(folderIdForPath("Inbox/Projects"), "Budget");
    addMail(folderIdForPath("Archive/Notes"), "Old note mail");
    m_pParseDatabase->GenerateTree(); // "Folder1" is shown once it holds mails
    ContactInformation *ann = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    put(ann->FirstName, "Ann");
    put(ann->LastName, "Lee");
    identify(ann, 1);
    ContactInformation *kim = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    put(kim->LastName, "Kim");
    identify(kim, 2);
    CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    put(event->Summary, "Team meeting");
    identify(event, 3);
    TasksInformation *task = appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
    put(task->Name, "Call back");
    identify(task, 4);
    identify(appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount), 5);
    NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    put(note->Title, "Shopping");
    identify(note, 6);

    m_window->OnContactButtonClicked(); // start from another category than the one expected
    if (category == int(Category::Contacts))
        m_window->OnTasksButtonClicked();
    clickName(tree(), folderItem(tree(), folder));

    QCOMPARE(rowTexts(list()), rows);
    QVERIFY(m_window->categoryButton(Category(category))->isChecked());
    for (int other = 0; other < kCategoryCount; ++other) {
        if (other != category)
            QVERIFY(!m_window->categoryButton(Category(other))->isChecked());
    }
    if (!rows.isEmpty()) {
        QCOMPARE(list()->currentItem(), list()->topLevelItem(0));
        QVERIFY(list()->topLevelItem(0)->isSelected());
    }
}

void BrowseListsTest::mailRowsCarryTheirColumns()
{
    buildTree({"Inbox"});
    const qint64 inbox = folderIdForPath("Inbox");
    MailMLRC *urgent = addMail(inbox, "Urgent");
    put(urgent->Priority, "2");
    urgent->AttachNames = ownedCopy("a.pdf;");
    urgent->BodyOffset = 100;
    urgent->BodySize = 40;
    MailMLRC *usual = addMail(inbox, "");
    put(usual->Priority, "3");
    clickName(tree(), folderItem(tree(), "Inbox"));

    QCOMPARE(list()->topLevelItemCount(), 2);
    QTreeWidgetItem *first = list()->topLevelItem(0);
    QTreeWidgetItem *second = list()->topLevelItem(1);
    QCOMPARE(first->text(4), QStringLiteral("Urgent"));
    QCOMPARE(first->text(5), QStringLiteral("100"));
    QCOMPARE(first->text(6), QStringLiteral("40"));
    QVERIFY(!resourceImage(":/images/img_Priority.png").isNull());
    QCOMPARE(iconImage(first->icon(1)), resourceImage(":/images/img_Priority.png"));
    QCOMPARE(iconImage(first->icon(2)), resourceImage(":/images/img_InboxFolderIcon.png"));
    QCOMPARE(iconImage(first->icon(3)), resourceImage(":/images/img_Attachment.png"));
    QCOMPARE(second->text(4), QStringLiteral("No Subject"));
    QVERIFY(second->icon(1).isNull());
    QVERIFY(second->icon(3).isNull());
    for (int column = 0; column <= 4; ++column) {
        QCOMPARE(first->font(column).family(), QStringLiteral("Lucida Grande"));
        QCOMPARE(first->font(column).pointSize(), 11);
        QCOMPARE(first->sizeHint(column), QSize(20, 20));
    }
    for (int column : {0, 5, 6, 7})
        QVERIFY(list()->isColumnHidden(column));
    QVERIFY(list()->alternatingRowColors());
}

void BrowseListsTest::selectingARowPreviewsIt()
{
    // Three mails without a body share offset and size 0; each row still shows its own mail.
    buildTree({"Inbox", "Sent Items"});
    addMail(folderIdForPath("Sent Items"), "Elsewhere");
    addMail(folderIdForPath("Inbox"), "First");
    addMail(folderIdForPath("Inbox"), "Second");
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    identify(contact, 7);
    clickName(tree(), folderItem(tree(), "Inbox"));
    QVERIFY(headerText().contains("Subject: First"));

    const QRect second = list()->visualItemRect(list()->topLevelItem(1));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(second.left() + 80, second.center().y()));
    QVERIFY(headerText().contains("Subject: Second"));
    QVERIFY(!headerText().contains("First"));

    // A row whose identifier no record has leaves the preview as it was.
    m_window->viewAction(Category::Contacts)->trigger();
    const QString before = detailsText();
    QVERIFY(before.contains("Unknown"));
    auto *stray = new QTreeWidgetItem(list());
    stray->setText(5, QStringLiteral("00000000000000000000000000000000"));
    stray->setText(7, QStringLiteral("41"));
    list()->setCurrentItem(stray);
    QCOMPARE(detailsText(), before);
}

void BrowseListsTest::mailHeaderLines_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("fromName");
    QTest::addColumn<QByteArray>("subject");
    QTest::addColumn<QByteArray>("attachments");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("two senders show the last") << QByteArray("a@x.org;b@x.org;") << QByteArray() << QByteArray("Hi")
                                               << QByteArray() << QStringList{"From: b@x.org", "Subject: Hi"};
    QTest::newRow("one sender loses its separator") << QByteArray("a@x.org;") << QByteArray() << QByteArray()
                                                    << QByteArray() << QStringList{"From: a@x.org"};
    QTest::newRow("a Korean sender name and a Hebrew subject")
        << QByteArray("hong@example.kr;") << QString::fromUtf8("홍길동;").toUtf8()
        << QString::fromUtf8("שלום עולם").toUtf8() << QByteArray()
        << QStringList{QString::fromUtf8("From: 홍길동 <hong@example.kr>"), QString::fromUtf8("Subject: שלום עולם")};
    QTest::newRow("a Latin-1 name as older scans stored it")
        << QByteArray("jose@example.es;") << QByteArray("Jos\xe9;") << QByteArray("Hola") << QByteArray()
        << QStringList{QString::fromUtf8("From: José <jose@example.es>"), "Subject: Hola"};
    QTest::newRow("markup in a subject is text") << QByteArray() << QByteArray() << QByteArray("<b>bold</b> &amp;")
                                                 << QByteArray() << QStringList{"Subject: <b>bold</b> &amp;"};
    QTest::newRow("more attachment names than sizes")
        << QByteArray("a@x.org;") << QByteArray() << QByteArray("Files") << QByteArray("one.pdf;two.doc;three.zip;")
        << QStringList{"From: a@x.org", "Subject: Files", "Attachments: one.pdf;two.doc;three.zip;"};
}

void BrowseListsTest::mailHeaderLines()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, fromName);
    QFETCH(QByteArray, subject);
    QFETCH(QByteArray, attachments);
    QFETCH(QStringList, lines);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), subject);
    put(mail->FromAddress, from);
    put(mail->FromName, fromName);
    if (!attachments.isEmpty()) {
        mail->AttachNames = ownedCopy(attachments);
        mail->AttachSizes = ownedCopy("1024;");
    }
    clickName(tree(), folderItem(tree(), "Inbox"));
    QCOMPARE(headerText().split('\n'), lines);
    QVERIFY(m_window->headerBrowser()->isVisible());
    QVERIFY(!m_window->detailsBrowser()->isVisible());
}

void BrowseListsTest::mailDateRule_data()
{
    QTest::addColumn<QByteArray>("folderPath");
    QTest::addColumn<int>("outgoing");
    QTest::addColumn<QString>("times"); // which the mail holds: "both", "received" or "none"
    QTest::addColumn<QString>("shown"); // "sent", "received" or "modified"
    QTest::newRow("outgoing anywhere") << QByteArray("Inbox") << 45 << "both" << "sent";
    QTest::newRow("sent items") << QByteArray("Sent Items") << 0 << "both" << "sent";
    QTest::newRow("below the inbox") << QByteArray("Inbox/Projects") << 0 << "both" << "received";
    QTest::newRow("deleted, was sent") << QByteArray("Deleted Items") << 1 << "both" << "sent";
    QTest::newRow("deleted, was received") << QByteArray("Deleted Items") << 0 << "both" << "received";
    QTest::newRow("drafts") << QByteArray("Drafts") << 0 << "both" << "sent";
    QTest::newRow("other folder with a sent time") << QByteArray("Archive") << 0 << "both" << "sent";
    QTest::newRow("other folder without one") << QByteArray("Archive") << 0 << "received" << "received";
    QTest::newRow("names match by case") << QByteArray("inbox") << 0 << "received" << "received";
    // Received mails and drafts may have only a received time: that time is shown.
    QTest::newRow("sent items without a sent time") << QByteArray("Sent Items") << 0 << "received" << "received";
    QTest::newRow("draft without a sent time") << QByteArray("Drafts") << 1 << "received" << "received";
    QTest::newRow("inbox name anywhere in the path") << QByteArray("Old Inbox Copies") << 0 << "both" << "received";
    // Where the rule picks no time, the mail is still shown with one.
    QTest::newRow("deleted, other marker") << QByteArray("Deleted Items") << 7 << "both" << "sent";
    QTest::newRow("no folder path") << QByteArray() << 45 << "both" << "sent";
    QTest::newRow("no folder path, received only") << QByteArray() << 0 << "received" << "received";
    QTest::newRow("draft in Folder1 without times") << QByteArray() << 0 << "none" << "modified";
    QTest::newRow("draft without times") << QByteArray("Drafts") << 0 << "none" << "modified";
}

void BrowseListsTest::mailDateRule()
{
    QFETCH(QByteArray, folderPath);
    QFETCH(int, outgoing);
    QFETCH(QString, times);
    QFETCH(QString, shown);
    MailMLRC mail;
    memset(&mail, 0, sizeof(mail));
    put(mail.FolderPath, folderPath);
    mail.IsOutgoing = outgoing;
    if (times == "both") {
        put(mail.SentTime, "Mon, 14 Mar 2011 10:22:00 +0000");
        put(mail.SentTime12, "3/14/11 10:22 AM");
    }
    if (times != "none") {
        put(mail.ReceivedTime, "Mon, 14 Mar 2011 10:25:00 +0000");
        put(mail.ReceivedTime12, "3/14/11 10:25 AM");
    }
    put(mail.ModifiedTime, "Mon, 14 Mar 2011 11:00:00 +0000");
    const QString modified = QLocale().toString(QDateTime(QDate(2011, 3, 14), QTime(11, 0), Qt::UTC).toLocalTime(),
                                                QLocale::ShortFormat) + " (last modified)";
    const QString expected = shown == "sent" ? "3/14/11 10:22 AM" : shown == "received" ? "3/14/11 10:25 AM" : modified;
    QCOMPARE(mailShownDate(mail).text, expected);
}

void BrowseListsTest::mailBodies_data()
{
    QTest::addColumn<QByteArray>("stored");   // the body as it stands in the file
    QTest::addColumn<qint64>("offsetShift");  // added to the body's real offset
    QTest::addColumn<qint64>("sizeShift");    // added to its real size
    QTest::addColumn<QString>("shown");       // the web view's text
    QTest::newRow("plain text, CR LF doubles the line") << QByteArray("one\r\ntwo") << 0LL << 0LL << "one\n\ntwo";
    QTest::newRow("escaped HTML") << QByteArray("&lt;div&gt;Hi &lt;b&gt;there&lt;/b&gt;&lt;/div&gt;") << 0LL << 0LL
                                  << "Hi there";
    QTest::newRow("entities in order") << QByteArray("&amp;amp;lt;b&gt; &amp;lt;p&gt;") << 0LL << 0LL
                                       << "<b> &lt;p>";
    QTest::newRow("invalid UTF-8 shows what it can")
        << QByteArray("caf\xc3\xa9 \xff\xfe ok") << 0LL << 0LL << QString::fromUtf8("café \xef\xbf\xbd\xef\xbf\xbd ok");
    QTest::newRow("size past the end shows the bytes read") << QByteArray("tail") << 0LL << 1000LL << "tail";
    QTest::newRow("offset past the end shows no body") << QByteArray("gone") << 100000LL << 0LL << "";
    QTest::newRow("negative offset shows no body") << QByteArray("x") << -1000000LL << 0LL << "";
}

void BrowseListsTest::mailBodies()
{
    QFETCH(QByteArray, stored);
    QFETCH(qint64, offsetShift);
    QFETCH(qint64, sizeShift);
    QFETCH(QString, shown);
    const QByteArray before(64, ' ');
    useFile(before + stored);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), "Body");
    mail->BodyOffset = before.size() + offsetShift;
    mail->BodySize = stored.size() + sizeShift;
    clickName(tree(), folderItem(tree(), "Inbox"));
    QCOMPARE(headerText(), QStringLiteral("Subject: Body"));
    QVERIFY(m_window->webView()->isVisible());
    QCOMPARE(shownBody().trimmed(), shown);
}

void BrowseListsTest::htmlTest_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("html");
    QTest::newRow("plain") << QByteArray("Dear Ann, see you at 5 < 6.") << false;
    QTest::newRow("bold anywhere") << QByteArray("plain text <b>with</b> one tag") << true;
    QTest::newRow("<b of body counts for b") << QByteArray("<body>x</b>") << true;
    QTest::newRow("upper-case tags") << QByteArray("<TABLE><TR><TD>1</TD></TR></TABLE>") << true;
    QTest::newRow("mixed case is not a tag") << QByteArray("<Div>x</Div>") << false;
    QTest::newRow("an opening tag alone") << QByteArray("<div>never closed") << false;
    QTest::newRow("font after a break") << QByteArray("x<br><font size=2>y</font>") << true;
    QTest::newRow("a link") << QByteArray("<a href=x>y</a>") << true;
}

void BrowseListsTest::htmlTest()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, html);
    QCOMPARE(previewLooksLikeHtml(body), html);
}

void BrowseListsTest::previewLoadsNothingAndRunsNoScript()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    const QByteArray body = "&lt;html&gt;&lt;body&gt;&lt;div id=\"d\"&gt;static&lt;/div&gt;"
                            "&lt;img src=\"" + base + "/pixel.png\"&gt;"
                            "&lt;iframe src=\"" + base + "/frame.html\"&gt;&lt;/iframe&gt;"
                            "&lt;script src=\"" + base + "/remote.js\"&gt;&lt;/script&gt;"
                            "&lt;script&gt;document.getElementById('d').innerHTML='script ran';&lt;/script&gt;"
                            "&lt;link rel=\"stylesheet\" href=\"" + base + "/style.css\"&gt;"
                            "&lt;/body&gt;&lt;/html&gt;";
    useFile("xx" + body);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), "Remote");
    mail->BodyOffset = 2;
    mail->BodySize = body.size();
    clickName(tree(), folderItem(tree(), "Inbox"));
    QTest::qWait(300);
    QVERIFY(!server.hasPendingConnections());
    QVERIFY(!server.waitForNewConnection(100));
    QCOMPARE(webText(m_window->webView()).trimmed(), QStringLiteral("static"));
}

void BrowseListsTest::contactPreviewSections()
{
    const QByteArray note = "<p>Tom &amp;amp; Jerry</p>";
    useFile("....." + note);
    ContactInformation *full = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    identify(full, 1);
    put(full->FirstName, "Ann");
    put(full->Company, "Acme");
    put(full->EmailAddresses[2], "ann@acme.com");
    put(full->EmailAddresses[5], "x"); // one byte is no address
    put(full->MobilePhone, "+1 555 0123");
    put(full->CustomPhone[1], "not shown");
    put(full->Spouse, QString::fromUtf8("Дмитрий").toUtf8());
    full->Age = -1;
    full->NotesOffset = 5;
    full->NotesSize = note.size();
    ContactInformation *bare = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    identify(bare, 2);
    put(bare->CustomPhone[1], "+1 555 0000");
    put(bare->EmailAddresses[0], "y");

    buildTree({"Contacts"});
    clickName(tree(), folderItem(tree(), "Contacts"));
    QCOMPARE(rowTexts(list()), (QStringList{"Ann ", " "}));
    const QString first = detailsText();
    for (const char *expected : {"Ann", "Contact Name", "First Name : Ann", "Professional Properties",
                                 "Company : Acme", "Email Addresses", "Email Address 3 : ann@acme.com",
                                 "Telephone Numbers and Fax", "Mobile Phone : +1 555 0123", "Others",
                                 "Age : 4294967295", "Description :", "Tom &amp; Jerry"})
        QVERIFY2(first.contains(QLatin1String(expected)), expected);
    QVERIFY(first.contains(QString::fromUtf8("Spouse : Дмитрий")));
    // Every phone shows, the second custom one too.
    QVERIFY(first.contains("Custom Phone 2 : not shown"));
    for (const char *absent : {"Email Address 6", "Last Name", "Unknown"})
        QVERIFY2(!first.contains(QLatin1String(absent)), absent);
    QVERIFY(!m_window->headerBrowser()->isVisible());
    QVERIFY(m_window->detailsBrowser()->isVisible());
    QVERIFY(!m_window->webView()->isVisible());

    list()->setCurrentItem(list()->topLevelItem(1));
    const QString second = detailsText();
    QVERIFY(second.contains("Unknown"));
    QVERIFY(second.contains("Telephone Numbers and Fax\n\nCustom Phone 2 : +1 555 0000"));
    for (const char *absent : {"Contact Name", "Email Addresses", "Others", "Description"})
        QVERIFY2(!second.contains(QLatin1String(absent)), absent);
}

void BrowseListsTest::eventPreview()
{
    const QByteArray description = "A &amp;lt; B";
    useFile("...." + description);
    CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    identify(event, 1);
    put(event->Summary, "Team meeting");
    put(event->Location, "Room 4");
    event->DescriptionOffset = 4;
    event->DescriptionSize = description.size();
    CalenderInformation *beyond = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    identify(beyond, 2);
    put(beyond->Summary, "Description out of reach");
    beyond->DescriptionOffset = 1 << 30;
    beyond->DescriptionSize = 1 << 20;

    buildTree({"Calendars"});
    m_window->viewAction(Category::Calendar)->trigger();
    QCOMPARE(iconImage(list()->topLevelItem(0)->icon(2)), resourceImage(":/images/img_CalendarIcon.png"));
    QCOMPARE(list()->topLevelItem(0)->text(7), QStringLiteral("42"));
    QCOMPARE(detailsText(), QStringLiteral("Summary : Team meeting\n\nLocation : Room 4\n\nDescription: \n\nA &lt; B"));
    list()->setCurrentItem(list()->topLevelItem(1));
    QCOMPARE(detailsText(), QStringLiteral("Summary : Description out of reach\n\nDescription: \n\n"));
}

void BrowseListsTest::taskPreviews_data()
{
    QTest::addColumn<QByteArray>("priority");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("icon");
    QTest::newRow("high") << QByteArray("2") << "Priority : High" << true;
    QTest::newRow("normal") << QByteArray("3") << "Priority : Normal" << false;
    QTest::newRow("low") << QByteArray("4") << "Priority : Low" << false;
    QTest::newRow("outside the table") << QByteArray("9") << "Priority : " << false;
    QTest::newRow("none") << QByteArray() << "" << false;
}

void BrowseListsTest::taskPreviews()
{
    QFETCH(QByteArray, priority);
    QFETCH(QString, line);
    QFETCH(bool, icon);
    const QByteArray note = "&lt;b&gt;Bring&lt;/b&gt; slides";
    useFile(".." + note);
    TasksInformation *task = appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
    identify(task, 1);
    put(task->Name, "Call back");
    put(task->StartStamp, "20100512T143000");
    put(task->StartDisplay, "2010,May,12, 14:30:00");
    put(task->Priority, priority);
    task->NoteOffset = 2;
    task->NoteSize = note.size();
    buildTree({"Tasks"});
    clickName(tree(), folderItem(tree(), "Tasks"));

    QCOMPARE(list()->topLevelItem(0)->icon(1).isNull(), !icon);
    // The date in the user's locale, never the record's display form.
    const QString start = QLocale().toString(QDate(2010, 5, 12), QLocale::LongFormat) + ' '
                          + QLocale().toString(QTime(14, 30), QLocale::ShortFormat);
    QStringList expected = {"Task : Call back", "", "Start Date : " + start, ""};
    if (!line.isEmpty())
        expected << line << "";
    if (line == "Priority : ")
        expected.removeLast();
    expected << "Complete : No" << "" << "Description: " << "" << "Bring slides";
    QCOMPARE(detailsText().split('\n'), expected);
    QVERIFY(m_window->detailsBrowser()->toHtml().contains("font-weight:600"));
}

void BrowseListsTest::notePreview()
{
    const QByteArray text = "&lt;b&gt;Hi&lt;/b&gt;";
    useFile(text + QByteArray(1, '\0') + "after the zero");
    NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    identify(note, 1);
    put(note->Title, QString::fromUtf8("買い物").toUtf8());
    note->NotesOffset = 0;
    note->NotesSize = text.size() + 15;
    NotesInformation *empty = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    identify(empty, 2);
    buildTree({"Notes"});
    m_window->viewAction(Category::Notes)->trigger();

    QCOMPARE(rowTexts(list()), (QStringList{QString::fromUtf8("買い物 "), " "}));
    QCOMPARE(detailsText(), QString::fromUtf8("Summary : 買い物\n\nDescription : \n\nHi"));
    QVERIFY(m_window->detailsBrowser()->toHtml().contains("font-weight:600"));
    list()->setCurrentItem(list()->topLevelItem(1));
    QCOMPARE(detailsText(), QString());
}

void BrowseListsTest::emptyListsGiveEmptyPreviews()
{
    buildTree({"Inbox"});
    addMail(folderIdForPath("Inbox"), "only mail");
    for (QAction *view : {m_window->viewAction(Category::Contacts), m_window->viewAction(Category::Calendar),
                          m_window->viewAction(Category::Tasks), m_window->viewAction(Category::Notes)}) {
        view->trigger();
        QCOMPARE(list()->topLevelItemCount(), 0);
        QCOMPARE(detailsText(), QString());
        QCOMPARE(headerText(), QString());
    }
    // The parsers' own functions take null too.
    m_pPreview->writePreviewItemsForContact(nullptr);
    m_pPreview->writePreviewItemsForCalendar(nullptr);
    m_pPreview->writePreviewItemsForTask(nullptr);
    m_pPreview->writePreviewItemsForNotes(nullptr);
    QCOMPARE(detailsText(), QString());
}

void BrowseListsTest::repeatedSwitchingKeepsOneSetOfRows()
{
    // A body larger than the preview shows: only its first part reaches the view.
    const qint64 large = kPreviewTextLimit * 3;
    QByteArray bytes(int(large), 'a');
    useFile(bytes);
    buildTree({"Inbox", "Contacts"});
    for (int i = 0; i < 50; ++i)
        addMail(folderIdForPath("Inbox"), "mail " + QByteArray::number(i));
    TmpMlrcPtrStart->BodyOffset = 1;
    TmpMlrcPtrStart->BodySize = large - 1;
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    identify(contact, 1);

    for (int round = 0; round < 5; ++round) {
        clickName(tree(), folderItem(tree(), "Inbox"));
        QCOMPARE(list()->topLevelItemCount(), 50);
        clickName(tree(), folderItem(tree(), "Contacts"));
        QCOMPARE(list()->topLevelItemCount(), 1);
    }
    clickName(tree(), folderItem(tree(), "Inbox"));
    const QString shown = shownBody();
    // Invisible break opportunities keep the one long line from stalling the layout.
    QVERIFY(shown.size() > kPreviewTextLimit);
    QVERIFY(shown.size() < kPreviewTextLimit + kPreviewTextLimit / 100 + 200);
    QVERIFY(shown.endsWith("(Only the first 1 MB of this 3 MB message are shown.)"));
}

// One unbroken line of 600 KB in every kind of description: the pane shows the first
// 256 KB and says so, and never waits for the layout of a single huge line.
void BrowseListsTest::longDescriptionsShowTheirStart()
{
    const qint64 size = 600 * 1024;
    useFile(QByteArray(int(size), 'q'));
    CalenderInformation event;
    memset(&event, 0, sizeof(event));
    event.DescriptionSize = size;
    TasksInformation task;
    memset(&task, 0, sizeof(task));
    task.NoteSize = size;
    NotesInformation note;
    memset(&note, 0, sizeof(note));
    note.NotesSize = size;
    auto *contact = static_cast<ContactInformation *>(calloc(1, sizeof(ContactInformation)));
    contact->NotesSize = size;
    const std::function<void()> previews[] = {
        [&] { m_pPreview->writePreviewItemsForCalendar(&event); },
        [&] { m_pPreview->writePreviewItemsForTask(&task); },
        [&] { m_pPreview->writePreviewItemsForNotes(&note); },
        [&] { m_pPreview->writePreviewItemsForContact(contact); },
    };
    for (const auto &preview : previews) {
        preview();
        const QString shown = detailsText();
        QCOMPARE(shown.count(QLatin1Char('q')), int(kDetailsTextLimit));
        QVERIFY(shown.endsWith(QStringLiteral("(Only the first 256 KB of this 600 KB text are shown.)")));
    }
    free(contact);
}

void BrowseListsTest::startButtonIsItsImage()
{
    auto *start = m_pParseDatabase->findChild<QPushButton *>(QStringLiteral("startButton"));
    QVERIFY2(start->text().isEmpty(), qPrintable(start->text()));
    m_pParseDatabase->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pParseDatabase));
    for (bool enabled : {false, true}) {
        start->setEnabled(enabled);
        const QImage shown = start->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage image = QImage(enabled ? QStringLiteral(":/images/img_Start.png")
                                            : QStringLiteral(":/images/img_StartDisabled.png"))
                                 .scaled(shown.size())
                                 .convertToFormat(QImage::Format_ARGB32);
        // The caption is part of the image: the button draws nothing over it.
        QCOMPARE(shown.pixel(shown.width() / 2, shown.height() / 2), image.pixel(image.width() / 2, image.height() / 2));
        QCOMPARE(shown.pixel(24, 16), image.pixel(24, 16));
    }
}

void BrowseListsTest::longRootPathHasItsTooltip()
{
    buildTree({"Inbox"});
    QTreeWidgetItem *root = tree()->topLevelItem(0);
    QCOMPARE(root->text(0), m_selectedFile);
    QCOMPARE(root->toolTip(0), m_selectedFile);
}

// Up and down go through every list, each row previewed as it is reached, and the
// focus stays in the list.
void BrowseListsTest::arrowKeysMoveThroughEveryList()
{
    for (int i = 0; i < 3; ++i) {
        ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
        identify(contact, i);
        put(contact->FirstName, "Person" + QByteArray::number(i));
        CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
        identify(event, 10 + i);
        put(event->Summary, "Event" + QByteArray::number(i));
        TasksInformation *task = appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
        identify(task, 20 + i);
        put(task->Name, "Task" + QByteArray::number(i));
        NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
        identify(note, 30 + i);
        put(note->Title, "Note" + QByteArray::number(i));
    }
    buildTree({"Inbox", "Contacts", "Calendar", "Tasks", "Notes"});
    addMail(folderIdForPath("Inbox"), "Mail0");
    addMail(folderIdForPath("Inbox"), "Mail1");
    addMail(folderIdForPath("Inbox"), "Mail2");
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    const struct {
        Category category;
        const char *stem;
    } kinds[] = {{Category::Contacts, "Person"}, {Category::Calendar, "Event"}, {Category::Tasks, "Task"},
                 {Category::Notes, "Note"}};
    for (const auto &kind : kinds) {
        m_window->viewAction(kind.category)->trigger();
        list()->setFocus();
        for (int row = 1; row < 3; ++row) {
            QTest::keyClick(list(), Qt::Key_Down);
            QCOMPARE(list()->currentIndex().row(), row);
            QVERIFY2(detailsText().contains(kind.stem + QString::number(row)), qPrintable(detailsText()));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(list()));
        }
        QTest::keyClick(list(), Qt::Key_Up);
        QVERIFY(detailsText().contains(kind.stem + QString::number(1)));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(list()));
    }
    m_window->viewAction(Category::Mail)->trigger();
    clickName(tree(), folderItem(tree(), "Inbox"));
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Down);
    QVERIFY(headerText().contains("Subject: Mail1"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(list()));
}

// Moving to a folder with the keyboard opens it as a click does.
void BrowseListsTest::arrowKeysInTheFolderTreeOpenFolders()
{
    buildTree({"Inbox", "Inbox/Projects", "Contacts"});
    addMail(folderIdForPath("Inbox"), "In the inbox");
    addMail(folderIdForPath("Inbox/Projects"), "In projects");
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    identify(contact, 1);
    put(contact->FirstName, "Ada");
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    tree()->setFocus();
    clickName(tree(), folderItem(tree(), "Inbox"));
    QCOMPARE(rowTexts(list()), QStringList{"In the inbox"});
    // The keys go where the focus is: it stays in the tree while folders open.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(tree()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(tree()->currentItem(), folderItem(tree(), "Inbox/Projects"));
    QCOMPARE(rowTexts(list()), QStringList{"In projects"});
    QVERIFY(headerText().contains("Subject: In projects"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(tree()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(tree()->currentItem(), folderItem(tree(), "Contacts"));
    QCOMPARE(rowTexts(list()), QStringList{"Ada "});
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Address Book"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(tree()));
}

// Many Cc addresses: the box grows to show them, up to half the preview, and every
// line of them starts with an address, never inside one.
void BrowseListsTest::headerBoxGrowsAndWrapsBetweenAddresses()
{
    // The window's own first size on a usual screen, where each address fits a line.
    m_window->resize(1280, 800);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), "Many");
    put(mail->FromAddress, "sender@example.org;");
    QByteArray cc;
    for (int i = 0; i < 6; ++i)
        cc += "first-name.last-name" + QByteArray::number(i) + "@a-long-domain.example;";
    put(mail->CcAddresses, cc);
    clickName(tree(), folderItem(tree(), "Inbox"));
    QTextBrowser *header = m_window->headerBrowser();
    QVERIFY(header->height() > 110);
    QVERIFY(header->height() <= header->parentWidget()->height() / 2 + 1);
    QTRY_COMPARE(header->verticalScrollBar()->maximum(), 0);

    QTextBlock block = header->document()->begin();
    while (block.isValid() && !block.text().startsWith(QLatin1String("Cc: ")))
        block = block.next();
    QVERIFY(block.isValid());
    QTextLayout *layout = block.layout();
    QVERIFY(layout->lineCount() > 1);
    const QString text = block.text();
    for (int line = 1; line < layout->lineCount(); ++line) {
        const int start = layout->lineAt(line).textStart();
        QVERIFY2(text.mid(start - 2, 2) == QLatin1String("; ") && text.mid(start).startsWith(QLatin1String("first")),
                 qPrintable(text.mid(start - 10, 30)));
    }

    // A narrower preview wraps the lines again: the box grows with them.
    const int wide = header->height();
    m_window->resize(1000, 800);
    QTRY_VERIFY(header->height() > wide);
    QTRY_COMPARE(header->verticalScrollBar()->maximum(), 0);

    // With few lines the box keeps its usual height.
    put(mail->CcAddresses, "one@example.org;");
    m_pParseDatabase->ShowindivisualMailItemsInfo(folderItem(tree(), "Inbox"), 0);
    QCOMPARE(header->height(), 110);
}

// A click on a link never leaves the mail: http(s) and mailto links are offered to the
// system's handler after a question, anything else is ignored.
void BrowseListsTest::linksAreOfferedToTheSystemNeverFollowed()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openedBySystem");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "openedBySystem");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedBySystem");
    const QByteArray body = "&lt;html&gt;&lt;body style=\"font-size:16px\"&gt;&lt;p&gt;Read this&lt;/p&gt;"
                            "&lt;a id=\"web\" href=\"http://example.com/page\"&gt;web&lt;/a&gt;&lt;br&gt;"
                            "&lt;a id=\"mail\" href=\"mailto:someone@example.com\"&gt;mail&lt;/a&gt;&lt;br&gt;"
                            "&lt;a id=\"file\" href=\"file:///etc/passwd\"&gt;file&lt;/a&gt;"
                            "&lt;/body&gt;&lt;/html&gt;";
    useFile("xx" + body);
    m_window->resize(1100, 800);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), "Links");
    mail->BodyOffset = 2;
    mail->BodySize = body.size();
    clickName(tree(), folderItem(tree(), "Inbox"));
    QWebView *view = m_window->webView();
    QTRY_VERIFY(webText(view).contains("Read this"));
    const QString shown = webText(view);
    auto clickLink = [view](const char *id) {
        const QWebElement link = view->page()->mainFrame()->findFirstElement(QLatin1String("#") + QLatin1String(id));
        QVERIFY(!link.isNull());
        // Apart enough that two clicks are never one double click.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, link.geometry().center());
    };
    {
        MessageBoxAnswerer answerer(QMessageBox::Yes);
        clickLink("web");
        QTRY_COMPARE(m_openedBySystem.size(), 1);
        QCOMPARE(answerer.texts.size(), 1);
        clickLink("mail");
        QTRY_COMPARE(m_openedBySystem.size(), 2);
        clickLink("file");
        QTest::qWait(200);
        QCOMPARE(answerer.texts.size(), 2);
    }
    {
        MessageBoxAnswerer answerer(QMessageBox::No);
        clickLink("web");
        QTRY_COMPARE(answerer.texts.size(), 1);
    }
    QCOMPARE(m_openedBySystem, (QList<QUrl>{QUrl("http://example.com/page"), QUrl("mailto:someone@example.com")}));
    QTest::qWait(200);
    QCOMPARE(webText(view), shown);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

// The mail list's From, Date and Size columns: each has its header, a click on a
// header sorts by it (dates as dates, sizes as numbers, a second click the other way),
// and the search box shows only the rows that match as the user types.
void BrowseListsTest::mailColumnsSortAndFilter()
{
    buildTree({"Inbox"});
    const struct {
        const char *subject, *fromName, *date, *date12;
        qint64 size;
    } mails[] = {{"Alpha", "Alice;", "Mon, 02 Jan 2017 10:00:00 +0000", "Mon, 02 Jan 2017 10:00:00 AM", 900},
                 {"Beta", "Bob;", "Tue, 12 Jun 2018 09:00:00 +0000", "Tue, 12 Jun 2018 09:00:00 AM", 10000},
                 {"Gamma", "Carol;", "Fri, 09 Mar 2018 11:00:00 +0100", "Fri, 09 Mar 2018 10:00:00 AM", 2048}};
    for (const auto &m : mails) {
        MailMLRC *mail = addMail(folderIdForPath("Inbox"), m.subject);
        put(mail->FolderPath, "Inbox");
        put(mail->FromName, m.fromName);
        put(mail->ReceivedTime, m.date);
        put(mail->ReceivedTime12, m.date12);
        mail->BodySize = m.size;
    }
    clickName(tree(), folderItem(tree(), "Inbox"));
    QTreeWidgetItem *header = list()->headerItem();
    QCOMPARE(header->text(ItemTextColumn), QStringLiteral("Subject"));
    QCOMPARE(header->text(ItemFirstDetailColumn), QStringLiteral("From"));
    QCOMPARE(header->text(ItemFirstDetailColumn + 1), QStringLiteral("Date"));
    QCOMPARE(header->text(ItemFirstDetailColumn + 2), QStringLiteral("Size"));
    QCOMPARE(list()->topLevelItem(1)->text(ItemFirstDetailColumn), QStringLiteral("Bob"));
    QCOMPARE(list()->topLevelItem(1)->text(ItemFirstDetailColumn + 2), QStringLiteral("10 KB"));

    auto clickHeader = [this](int column) {
        QTest::qWait(QApplication::doubleClickInterval() + 50); // never a double click
        QHeaderView *view = list()->header();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(view->sectionViewportPosition(column) + 5, view->height() / 2));
    };
    clickHeader(ItemFirstDetailColumn + 1);
    QCOMPARE(rowTexts(list()), (QStringList{"Alpha", "Gamma", "Beta"}));
    clickHeader(ItemFirstDetailColumn + 1);
    QCOMPARE(rowTexts(list()), (QStringList{"Beta", "Gamma", "Alpha"}));
    clickHeader(ItemFirstDetailColumn + 2);
    QCOMPARE(rowTexts(list()), (QStringList{"Alpha", "Gamma", "Beta"}));
    clickHeader(ItemTextColumn);
    QCOMPARE(rowTexts(list()), (QStringList{"Alpha", "Beta", "Gamma"}));
    // Sorted rows still preview their own mail.
    list()->setCurrentItem(list()->topLevelItem(2));
    QVERIFY(headerText().contains("Subject: Gamma"));

    auto shownRows = [this] {
        QStringList shown;
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            if (!list()->topLevelItem(i)->isHidden())
                shown << list()->topLevelItem(i)->text(ItemTextColumn);
        }
        return shown;
    };
    QTest::keyClicks(m_window->searchBox(), "BO");
    QCOMPARE(shownRows(), QStringList{"Beta"});
    m_window->searchBox()->clear();
    QCOMPARE(shownRows(), (QStringList{"Alpha", "Beta", "Gamma"}));
    QTest::keyClicks(m_window->searchBox(), "mm");
    QCOMPARE(shownRows(), QStringList{"Gamma"});
}

// Each keystroke looks only at the rows it can change; whatever the user types, deletes,
// replaces or sorts meanwhile, the rows shown are those whose subject or people hold the
// text in any case, and a folder opened with text in the box shows only its matches.
void BrowseListsTest::searchFollowsEveryKeystroke()
{
    buildTree({"Inbox", "Archive"});
    const QStringList subjects = {"Meeting notes", "ΣΥΝΑΝΤΗΣΗ ομάδας", "Lunch", "meet again", "Team MEETUP",
                                  "Budget", "Minutes", "Re: meeting"};
    for (int i = 0; i < subjects.size(); ++i) {
        MailMLRC *mail = addMail(folderIdForPath("Inbox"), subjects[i].toUtf8());
        put(mail->FolderPath, "Inbox");
        put(mail->ReceivedTime, QByteArray("Mon, 0") + char('1' + i) + " Jan 2018 10:00:00 +0000");
    }
    addMail(folderIdForPath("Archive"), "Old meeting");
    addMail(folderIdForPath("Archive"), "Old lunch");
    clickName(tree(), folderItem(tree(), "Inbox"));

    auto shownRows = [this] {
        QStringList shown;
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            if (!list()->topLevelItem(i)->isHidden())
                shown << list()->topLevelItem(i)->text(ItemTextColumn);
        }
        shown.sort();
        return shown;
    };
    auto expectedFor = [](const QStringList &all, const QString &text) {
        QStringList expected;
        for (const QString &subject : all) {
            if (subject.contains(text.trimmed(), Qt::CaseInsensitive))
                expected << subject;
        }
        expected.sort();
        return expected;
    };
    QLineEdit *box = m_window->searchBox();
    auto check = [&](const QStringList &all) {
        QCOMPARE(shownRows(), expectedFor(all, box->text()));
    };
    for (const char *keys : {"m", "e", "e", "t"}) {
        QTest::keyClicks(box, keys);
        check(subjects);
    }
    // Sorted while filtered, the same rows stay shown.
    list()->sortItems(ItemTextColumn, Qt::DescendingOrder);
    check(subjects);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(box, Qt::Key_Backspace);
        check(subjects);
    }
    QTest::keyClicks(box, "x");
    check(subjects);
    // Neither longer nor shorter: a new word.
    box->selectAll();
    QTest::keyClicks(box, "lunch");
    check(subjects);
    box->setText(QString::fromUtf8("συνάντηση"));
    QCOMPARE(shownRows(), QStringList()); // the accent makes it another word
    box->setText(QString::fromUtf8("συναντηση"));
    check(subjects);
    box->setText("  MEET ");
    check(subjects);
    // Another folder opened with text in the box.
    clickName(tree(), folderItem(tree(), "Archive"));
    QCOMPARE(shownRows(), QStringList{"Old meeting"});
    box->clear();
    QCOMPARE(shownRows(), (QStringList{"Old lunch", "Old meeting"}));
    // The preview follows the list: a row the search hides is no longer shown beside it.
    clickName(list(), list()->findItems("Old lunch", Qt::MatchExactly, ItemTextColumn).value(0));
    QVERIFY(headerText().contains("Old lunch"));
    QTest::keyClicks(box, "meet");
    QVERIFY(!headerText().contains("Old lunch"));
    QVERIFY(list()->selectedItems().isEmpty());
    // Cleared, the search gives the selection and its preview back.
    box->clear();
    QVERIFY(list()->currentItem() && list()->currentItem()->isSelected());
    QCOMPARE(list()->currentItem()->text(ItemTextColumn), QStringLiteral("Old lunch"));
    QVERIFY(headerText().contains("Old lunch"));
    QTest::keyClicks(box, "meet");
    // A row still shown stays previewed.
    clickName(list(), list()->findItems("Old meeting", Qt::MatchExactly, ItemTextColumn).value(0));
    QTest::keyClick(box, 'i');
    QVERIFY(headerText().contains("Old meeting"));
}

// The calendar's Start and End and the notes' Date show the parser's stamps as the
// user's own dates and times, and sort as dates: "9/1/10" comes before "3/19/11".
void BrowseListsTest::eventAndNoteDatesReadAndSortAsDates()
{
    const struct {
        const char *title, *start, *end;
    } items[] = {{"Later", "2011-03-19T17:22:00", "2011-03-19T18:45:00"},
                 {"Earlier", "2010-09-01T08:05:00", "2010-09-01T09:30:00"}};
    int number = 0;
    for (const auto &item : items) {
        CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
        identify(event, ++number);
        put(event->Summary, item.title);
        put(event->StartUtc, utcCompactStamp(QString::fromLatin1(item.start)));
        put(event->EndUtc, utcCompactStamp(QString::fromLatin1(item.end)));
        NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
        identify(note, ++number);
        put(note->Title, item.title);
        put(note->ModStampUtc, utcCompactStamp(QString::fromLatin1(item.start)));
    }
    buildTree({"Calendars", "Notes"});
    auto clickHeader = [this](int column) {
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QHeaderView *view = list()->header();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(view->sectionViewportPosition(column) + 5, view->height() / 2));
    };

    m_window->viewAction(Category::Calendar)->trigger();
    QCOMPARE(list()->topLevelItem(0)->text(ItemFirstDetailColumn), listMoment(2011, 3, 19, 17, 22));
    QCOMPARE(list()->topLevelItem(0)->text(ItemFirstDetailColumn + 1), listMoment(2011, 3, 19, 18, 45));
    QCOMPARE(list()->topLevelItem(1)->text(ItemFirstDetailColumn), listMoment(2010, 9, 1, 8, 5));
    clickHeader(ItemFirstDetailColumn);
    QCOMPARE(rowTexts(list()), (QStringList{"Earlier ", "Later "}));
    clickHeader(ItemFirstDetailColumn + 1);
    QCOMPARE(rowTexts(list()), (QStringList{"Earlier ", "Later "}));

    m_window->viewAction(Category::Notes)->trigger();
    QCOMPARE(list()->topLevelItem(0)->text(ItemFirstDetailColumn), listMoment(2011, 3, 19, 17, 22));
    QCOMPARE(list()->topLevelItem(1)->text(ItemFirstDetailColumn), listMoment(2010, 9, 1, 8, 5));
    clickHeader(ItemFirstDetailColumn);
    QCOMPARE(rowTexts(list()), (QStringList{"Earlier ", "Later "}));
}

// In a window of a usual laptop's size the mail list shows From, Date and Size whole
// beside a readable subject, without scrolling sideways; the date in the user's short format.
void BrowseListsTest::mailListShowsFromDateAndSizeBesideTheSubject()
{
    m_window->resize(1366, 800);
    buildTree({"Inbox"});
    MailMLRC *mail = addMail(folderIdForPath("Inbox"), "Quarterly figures for the board");
    put(mail->FolderPath, "Inbox");
    put(mail->FromName, "Eleni Nikolaou;");
    put(mail->ReceivedTime, "Wed, 22 Sep 2010 18:27:00 +0000");
    put(mail->ReceivedTime12, "Wed, 22 Sep 2010 06:27:00 PM");
    mail->BodySize = 123456;
    clickName(tree(), folderItem(tree(), "Inbox"));
    QTest::qWait(50);

    QTreeWidgetItem *row = list()->topLevelItem(0);
    QCOMPARE(row->text(ItemFirstDetailColumn + 1), listMoment(2010, 9, 22, 18, 27));
    QHeaderView *header = list()->header();
    const QFontMetrics metrics(row->font(ItemFirstDetailColumn));
    for (int column = ItemFirstDetailColumn; column < ItemColumnCount; ++column) {
        QVERIFY2(header->sectionViewportPosition(column) + header->sectionSize(column) <= list()->viewport()->width(),
                 qPrintable(header->model()->headerData(column, Qt::Horizontal).toString()));
        QVERIFY2(header->sectionSize(column) > metrics.horizontalAdvance(row->text(column)),
                 qPrintable(row->text(column)));
    }
    QVERIFY(header->sectionSize(ItemTextColumn) >= 150);
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    BrowseListsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_browselists.moc"
