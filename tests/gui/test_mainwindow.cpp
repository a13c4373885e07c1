// The main window around a scan: control states, the progress window and its stop
// question, Open over loaded data, the views, the scan summary and closing.
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/InformationDlg.h"
#include "app/MyButton.h"
#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "app/SaveFormatDialog.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "log/QLogReport.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QDesktopServices>
#include <QHeaderView>
#include <QScrollBar>
#include <QTextEdit>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

namespace {
// The enabled state of every control the state table names.
struct ControlStates {
    bool categories;
    bool open;
    bool save;
};

bool allCategoryControls(QEntourageMainWindow *window, bool enabled)
{
    for (int c = 0; c < kCategoryCount; ++c) {
        if (window->categoryButton(Category(c))->isEnabled() != enabled
            || window->viewAction(Category(c))->isEnabled() != enabled)
            return false;
    }
    return true;
}

void verifyStates(QEntourageMainWindow *window, ControlStates expected)
{
    QVERIFY(allCategoryControls(window, expected.categories));
    QCOMPARE(window->menuOpenAction()->isEnabled(), expected.open);
    QCOMPARE(m_pOpenFile->isEnabled(), expected.open);
    QCOMPARE(window->menuSaveAction()->isEnabled(), expected.save);
    QCOMPARE(window->toolbarSaveAction()->isEnabled(), expected.save);
}

QTreeWidgetItem *findFolder(QTreeWidget *tree, const QString &name)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpState();
    void scanFeedbackStates();
    void scanProgressCounts_data();
    void scanProgressCounts();
    void progressBeyondTheBarsRange();
    void progressWindowIsPaintedBeforeTheWalk();
    void stopAnsweredNoChangesNothing();
    void stopAnsweredYesRaisesTheFlags();
    void stopAnsweredAfterTheEndChangesNothing();
    void closeRefusedWhileBusy_data();
    void closeRefusedWhileBusy();
    void closeAsksFirst_data();
    void closeAsksFirst();
    void openOverLoadedDataAnsweredNo();
    void openOverLoadedDataAnsweredYes();
    void openWithoutDataOrAfterStopAsksNothing();
    void viewWithoutDataOnlyExpandsTheRoot();
    void viewWithDataSelectsItsFolder();
    void mailViewRebuildsTheTree();
    void scanSummaryCounts();
    void logWindowButtonsFollowTheLog();
    void helpTopicsAnswersItsShortcut();
    void progressCloseButtonAndEscapeAskToStop();
    void browseWindowComesUpInFrontHoldingTheFile();
    void newScanClosesTheOldSummary();
    void findFileAsksBeforeReplacingLoadedData();
    void helpShowsInTheApplicationWithoutAHandler();
    void smallScreenKeepsEveryColumnReachable();
    void helpPageCoversTheWindow();

private:
    void loadFolders();
    // Closes the window as the user would: its close button, or File > Quit's Ctrl+Q.
    void closeThrough(bool quitKey);

    std::unique_ptr<QEntourageMainWindow> m_window;
};

void MainWindowTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
}

void MainWindowTest::cleanup()
{
    m_window.reset();
    freeRecordLists();
    resetFolderHierarchy();
    bStopFlag = false;
    stopflag = false;
    bProcessRunning = false;
    m_selectedFile.clear();
}

void MainWindowTest::loadFolders()
{
    treeCreator(QStringLiteral("Inbox"));
    treeCreator(QStringLiteral("Inbox/Projects"));
    kindFolderCreator(QStringLiteral("Contacts"), ContactsFolderType);
    kindFolderCreator(QStringLiteral("Notes"), NotesFolderType);
    m_selectedFile = QStringLiteral("/data/export.olm");
}

void MainWindowTest::startUpState()
{
    QCOMPARE(pMainWindow, m_window.get());
    QVERIFY(m_pParseDatabase);
    // Shown once the main window is up, so that it comes up in front of it.
    QTRY_VERIFY(m_pParseDatabase->isVisible());
    QCOMPARE(m_pParseDatabase->windowTitle(), QStringLiteral("Select OLM File"));
    verifyStates(m_window.get(), {true, true, false});
    QVERIFY(!m_window->progressDialog());
}

void MainWindowTest::scanFeedbackStates()
{
    m_window->itemList()->addTopLevelItem(new QTreeWidgetItem(QStringList(QStringLiteral("row"))));
    m_window->headerBrowser()->setPlainText(QStringLiteral("From: someone"));

    m_window->SetInitialSettings(2048);
    verifyStates(m_window.get(), {false, false, false});
    QCOMPARE(m_window->itemList()->topLevelItemCount(), 0);
    QVERIFY(m_window->headerBrowser()->toPlainText().isEmpty());
    QProgressInfo *progress = m_window->progressDialog();
    QVERIFY(progress && progress->isVisible());
    QCOMPARE(progress->caption()->text(), QStringLiteral("Scanning OLM File..."));
    // The window system adds the application's name to what the window is for.
    QCOMPARE(progress->windowTitle(), QStringLiteral("Scanning OLM File"));
    QCOMPARE(progress->progressBar()->maximum(), 2048);
    QCOMPARE(progress->progressBar()->value(), 0);

    m_window->SetProgressValue(1000);
    QCOMPARE(progress->progressBar()->value(), 1000);

    m_window->SetFinishSettingsForMail();
    verifyStates(m_window.get(), {true, true, true});
    QVERIFY(!progress->isVisible());

    // Every scan gets a window of its own.
    m_window->SetInitialSettings(10);
    QVERIFY(m_window->progressDialog() != progress);
    QCOMPARE(m_window->progressDialog()->progressBar()->maximum(), 10);
}

void MainWindowTest::scanProgressCounts_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<qint64>("otherItems");
    QTest::addColumn<QString>("counts");
    QTest::newRow("C") << "C" << qint64(0) << QString::fromUtf8("500 KB of 1.0 MB read · 2,345 mails");
    QTest::newRow("English") << "en_US" << qint64(12)
                             << QString::fromUtf8("500 KB of 1.0 MB read · 2,345 mails, 12 other items");
    QTest::newRow("German") << "de_DE" << qint64(1200)
                            << QString::fromUtf8("500 KB of 1.0 MB read · 2.345 mails, 1.200 other items");
}

// The scan cannot know how many items it will find: it tells the bytes read, the
// items found so far, grouped as the locale groups digits, and the folder at work.
void MainWindowTest::scanProgressCounts()
{
    QFETCH(QString, locale);
    QFETCH(qint64, otherItems);
    QFETCH(QString, counts);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    const qint64 fileSize = lSize;
    lSize = 0; // no file: the walk's own total counts
    m_window->SetInitialSettings(2048);
    for (int i = 0; i < 2345; ++i) {
        MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
        strcpy(mail->FolderPath, "Inbox/Projects");
    }
    ContactItemCount = otherItems;
    m_window->SetProgressValue(1000);
    QProgressInfo *progress = m_window->progressDialog();
    QCOMPARE(progress->counts()->toolTip(), counts);
    QCOMPARE(progress->counts()->text(), counts); // the whole line fits
    QCOMPARE(progress->folder()->text(), QStringLiteral("Folder: Inbox/Projects"));
    CleanListAndHash();
    lSize = fileSize;
    QLocale::setDefault(before);
}

void MainWindowTest::progressBeyondTheBarsRange()
{
    // A 4 TiB file has 2^33 units of 512 bytes: more than an int holds.
    const long long units = 1LL << 33;
    m_window->SetInitialSettings(units);
    QProgressBar *bar = m_window->progressDialog()->progressBar();
    QVERIFY(bar->maximum() > 0);
    m_window->SetProgressValue(units / 2);
    QVERIFY(qAbs(bar->value() - bar->maximum() / 2) <= 1);
    m_window->SetProgressValue(units);
    QCOMPARE(bar->value(), bar->maximum());
}

void MainWindowTest::stopAnsweredNoChangesNothing()
{
    m_window->SetInitialSettings(100);
    QProgressInfo *progress = m_window->progressDialog();
    bProcessRunning = true;
    QSignalSpy aborted(progress, &QProgressInfo::OnAbort);
    MessageBoxAnswerer answerer(QMessageBox::No);
    progress->stopButton()->click();

    QCOMPARE(answerer.texts, QStringList(QStringLiteral("Process cannot be resumed from the current stage.")));
    QCOMPARE(answerer.informativeTexts, QStringList(QStringLiteral("Do you want to abort the current process?")));
    QVERIFY(!bStopFlag);
    QVERIFY(!stopflag);
    QVERIFY(bProcessRunning);
    QVERIFY(progress->isVisible());
    QCOMPARE(aborted.count(), 0);
}

void MainWindowTest::stopAnsweredYesRaisesTheFlags()
{
    m_window->SetInitialSettings(100);
    QProgressInfo *progress = m_window->progressDialog();
    bProcessRunning = true;
    QSignalSpy aborted(progress, &QProgressInfo::OnAbort);
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    progress->stopButton()->click();

    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(bStopFlag);
    QVERIFY(stopflag);
    QVERIFY(!bProcessRunning);
    QVERIFY(!progress->isVisible());
    QCOMPARE(aborted.count(), 1);
}

// A save may end while its stop question is open: a Yes given after the end stops
// nothing, so no flag is left to make the next Save do nothing.
void MainWindowTest::stopAnsweredAfterTheEndChangesNothing()
{
    m_window->SetInitialSettings(100);
    QProgressInfo *progress = m_window->progressDialog();
    bProcessRunning = true;
    QSignalSpy aborted(progress, &QProgressInfo::OnAbort);
    QTimer endThenYes;
    endThenYes.setInterval(5);
    QObject::connect(&endThenYes, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        bProcessRunning = false;
        box->button(QMessageBox::Yes)->click();
    });
    endThenYes.start();
    progress->stopButton()->click();

    QVERIFY(!bStopFlag);
    QVERIFY(!stopflag);
    QCOMPARE(aborted.count(), 0);
}

void MainWindowTest::closeRefusedWhileBusy_data()
{
    QTest::addColumn<bool>("quitKey"); // Ctrl+Q (File > Quit) instead of the window's close
    QTest::newRow("close") << false;
    QTest::newRow("Ctrl+Q") << true;
}

void MainWindowTest::closeRefusedWhileBusy()
{
    QFETCH(bool, quitKey);
    m_window->SetInitialSettings(100);
    m_window->progressDialog()->hide();
    bProcessRunning = true;
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    closeThrough(quitKey);
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->progressDialog()->isVisible()); // brought back to the front
    QCOMPARE(answerer.texts, QStringList(QStringLiteral("Application Running !!\nPlease halt the current process to Exit.")));
    QCOMPARE(answerer.titles, QStringList(QStringLiteral("Quit Mendora")));
}

void MainWindowTest::closeAsksFirst_data()
{
    closeRefusedWhileBusy_data();
}

void MainWindowTest::closeAsksFirst()
{
    QFETCH(bool, quitKey);
    {
        MessageBoxAnswerer answerer(QMessageBox::No);
        closeThrough(quitKey);
        QCOMPARE(answerer.texts, QStringList(QStringLiteral("Do you want to close Mendora? ")));
        QVERIFY(m_window->isVisible());
    }
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    closeThrough(quitKey);
    QCOMPARE(answerer.texts, QStringList(QStringLiteral("Do you want to close Mendora? ")));
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::closeThrough(bool quitKey)
{
    if (!quitKey) {
        m_window->close();
        return;
    }
    QCOMPARE(m_window->quitAction()->text(), QStringLiteral("Quit"));
    QCOMPARE(m_window->quitAction()->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_Q));
    m_window->quitAction()->trigger();
}

void MainWindowTest::openOverLoadedDataAnsweredNo()
{
    loadFolders();
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    m_window->SetInitialSettings(1);
    m_window->OnMailButtonClicked();
    m_window->SetFinishSettingsForMail();
    QParseDatabase *browse = m_pParseDatabase;
    const int folders = m_window->folderTree()->topLevelItem(0)->childCount();

    MessageBoxAnswerer answerer(QMessageBox::No);
    m_window->OnOpenFile();
    QCOMPARE(answerer.texts, QStringList(QStringLiteral(
                                 "Opening another file will lost the scanned information. Do you want to continue?")));
    // Return keeps the scan.
    QCOMPARE(answerer.defaultButtons, QList<QMessageBox::StandardButton>{QMessageBox::No});
    QCOMPARE(m_pParseDatabase, browse);
    QVERIFY(TmpMlrcPtrStart);
    QCOMPARE(MailItemCount, 1);
    QCOMPARE(m_window->folderTree()->topLevelItem(0)->childCount(), folders);
    verifyStates(m_window.get(), {true, true, true});
}

void MainWindowTest::openOverLoadedDataAnsweredYes()
{
    loadFolders();
    appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    m_window->OnMailButtonClicked();
    m_window->SetFinishSettingsForMail();
    QPointer<QParseDatabase> browse = m_pParseDatabase;

    MessageBoxAnswerer answerer(QMessageBox::Yes);
    m_window->OnOpenFile();
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(!anyRecordsLoaded());
    QVERIFY(objMapFID_PID.isEmpty());
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 0);
    verifyStates(m_window.get(), {false, true, false});
    QVERIFY(m_pParseDatabase != browse);
    QVERIFY(m_pParseDatabase->isVisible());
    // The old browse window goes, so only one answers the folder tree.
    QTRY_VERIFY(browse.isNull());
}

void MainWindowTest::openWithoutDataOrAfterStopAsksNothing()
{
    MessageBoxAnswerer answerer(QMessageBox::No);
    m_window->SetInitialSettings(1);
    m_window->OnOpenFile();
    verifyStates(m_window.get(), {true, true, false});

    // A stopped scan keeps what it parsed, but Open does not ask about it.
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    bStopFlag = true;
    m_window->SetInitialSettings(1);
    m_window->OnOpenFile();
    verifyStates(m_window.get(), {true, true, false});
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(bLastState);
}

void MainWindowTest::viewWithoutDataOnlyExpandsTheRoot()
{
    loadFolders();
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    m_window->OnMailButtonClicked();
    QTreeWidget *tree = m_window->folderTree();
    QTreeWidgetItem *root = tree->topLevelItem(0);
    QTreeWidgetItem *inbox = findFolder(tree, QStringLiteral("Inbox"));
    root->setExpanded(false);
    tree->setCurrentItem(inbox);
    QVERIFY(inbox->isSelected());
    m_window->itemList()->addTopLevelItem(new QTreeWidgetItem(QStringList(QStringLiteral("mail"))));

    m_window->OnAddressView(); // no contact records
    QCOMPARE(m_window->itemList()->topLevelItemCount(), 0);
    QVERIFY(!inbox->isSelected());
    QVERIFY(root->isExpanded());
    QVERIFY(inbox->isExpanded()); // nothing else changes
    QVERIFY(m_window->categoryButton(Category::Contacts)->isChecked());
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Address Book"));
}

void MainWindowTest::viewWithDataSelectsItsFolder()
{
    loadFolders();
    appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    m_window->OnMailButtonClicked();
    QTreeWidget *tree = m_window->folderTree();
    QTreeWidgetItem *inbox = findFolder(tree, QStringLiteral("Inbox"));
    inbox->setCheckState(0, Qt::Checked);

    m_window->OnNotesView();
    QTreeWidgetItem *notes = findFolder(tree, QStringLiteral("Notes"));
    QVERIFY(notes);
    QVERIFY(notes->isSelected());
    QVERIFY(notes->isExpanded());
    QVERIFY(tree->topLevelItem(0)->isExpanded());
    QVERIFY(!inbox->isExpanded());
    QCOMPARE(inbox->checkState(0), Qt::Unchecked);
    QCOMPARE(findFolder(tree, QStringLiteral("Contacts"))->isSelected(), false);
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Notes"));
}

void MainWindowTest::mailViewRebuildsTheTree()
{
    loadFolders();
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    m_window->OnMailButtonClicked();
    m_window->OnMailView();
    m_window->OnMailView();
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 1);
    // Root, four folders, Folder1: once each however often the tree is rebuilt.
    int records = 0;
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        ++records;
    QCOMPARE(records, 6);
    QVERIFY(m_window->viewAction(Category::Mail)->isChecked());

    freeRecordLists();
    m_window->OnMailView();
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 0);
}

void MainWindowTest::scanSummaryCounts()
{
    for (int i = 0; i < 3; ++i)
        appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    for (int i = 0; i < 2; ++i)
        appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
    for (int i = 0; i < 4; ++i)
        appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    SizeOfAllMails = -1;

    m_window->OnInformationDlg();
    auto *summary = m_window->findChild<InformationDlg *>();
    QVERIFY(summary);
    QVERIFY(summary->isVisible());
    QVERIFY(!summary->isModal());
    QCOMPARE(summary->windowTitle(), QStringLiteral("Scan Summary"));
    QCOMPARE(SizeOfAllMails, 10);
    const QPair<const char *, const char *> shown[] = {
        {"mailCount", "3"}, {"calendarCount", "4"}, {"notesCount", "0"}, {"contactCount", "1"}, {"taskCount", "2"}};
    for (const auto &pair : shown)
        QCOMPARE(summary->findChild<QLabel *>(QLatin1String(pair.first))->text(), QLatin1String(pair.second));
}

void MainWindowTest::logWindowButtonsFollowTheLog()
{
    m_window->OnLogReport();
    QLogReport *log = m_pLogDlg;
    QVERIFY(log && log->isVisible());
    QVERIFY(!log->findChild<QPushButton *>(QStringLiteral("SaveLog"))->isEnabled());
    QVERIFY(!log->findChild<QPushButton *>(QStringLiteral("ClearLog"))->isEnabled());
    log->hide();
    log->findChild<QTextEdit *>(QStringLiteral("LogText"))->setPlainText(QStringLiteral("a line"));
    m_window->OnLogReport();
    QVERIFY(log->findChild<QPushButton *>(QStringLiteral("SaveLog"))->isEnabled());
    QVERIFY(log->findChild<QPushButton *>(QStringLiteral("ClearLog"))->isEnabled());
}

void MainWindowTest::helpTopicsAnswersItsShortcut()
{
    QAction *help = nullptr;
    for (QAction *action : m_window->findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("&Help Topics..."))
            help = action;
    }
    QVERIFY(help);
    QCOMPARE(help->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_Question));
    m_pParseDatabase->hide();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // The help page opens through the system; only the action's firing is observed here.
    disconnect(help, &QAction::triggered, nullptr, nullptr);
    QSignalSpy fired(help, &QAction::triggered);
    QTest::keyClick(m_window.get(), Qt::Key_Question, Qt::ControlModifier);
    QCOMPARE(fired.count(), 1);
}

// The window's close button and Escape do what Stop does, question included; they
// never just hide the window while the work goes on.
void MainWindowTest::progressCloseButtonAndEscapeAskToStop()
{
    m_window->SetInitialSettings(100);
    QProgressInfo *progress = m_window->progressDialog();
    bProcessRunning = true;
    {
        MessageBoxAnswerer answerer(QMessageBox::No);
        QVERIFY(!progress->close());
        QTest::keyClick(progress, Qt::Key_Escape);
        QCOMPARE(answerer.texts, QStringList({QStringLiteral("Process cannot be resumed from the current stage."),
                                              QStringLiteral("Process cannot be resumed from the current stage.")}));
        QVERIFY(progress->isVisible());
        QVERIFY(!bStopFlag);
        QVERIFY(bProcessRunning);
    }
    QSignalSpy aborted(progress, &QProgressInfo::OnAbort);
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    QTest::keyClick(progress, Qt::Key_Escape);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(bStopFlag);
    QVERIFY(stopflag);
    QCOMPARE(aborted.count(), 1);
}

// The browse window comes up after the main window, in front of it and active, and a
// file chosen before (on the command line) stays chosen when Open makes a new one.
void MainWindowTest::browseWindowComesUpInFrontHoldingTheFile()
{
    m_window.reset();
    m_window.reset(new QEntourageMainWindow);
    const QString path = QStringLiteral("/data/chosen export.olm");
    m_pParseDatabase->ChooseFile(path);
    m_window->show();
    QTRY_VERIFY(m_pParseDatabase->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(m_pParseDatabase));
    QCOMPARE(m_pParseDatabase->findChild<QLineEdit *>(QStringLiteral("pathField"))->text(), path);

    QPointer<QParseDatabase> first = m_pParseDatabase;
    m_window->OnOpenFile();
    QVERIFY(m_pParseDatabase != first);
    QCOMPARE(m_pParseDatabase->findChild<QLineEdit *>(QStringLiteral("pathField"))->text(), path);
    QCOMPARE(m_selectedFile, path);
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(m_pParseDatabase));
}

void MainWindowTest::newScanClosesTheOldSummary()
{
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    m_window->OnInformationDlg();
    auto visibleSummaries = [this] {
        int count = 0;
        for (InformationDlg *summary : m_window->findChildren<InformationDlg *>())
            count += summary->isVisible() ? 1 : 0;
        return count;
    };
    QCOMPARE(visibleSummaries(), 1);
    m_window->SetInitialSettings(10);
    QTRY_COMPARE(visibleSummaries(), 0);
}

// Find File replaces loaded data just as Open does, so it asks the same question first.
void MainWindowTest::findFileAsksBeforeReplacingLoadedData()
{
    loadFolders();
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    m_window->OnMailButtonClicked();
    m_window->SetFinishSettingsForMail();
    MessageBoxAnswerer answerer(QMessageBox::No);
    m_window->OnFindFiles();
    QCOMPARE(answerer.texts, QStringList(QStringLiteral(
                                 "Opening another file will lost the scanned information. Do you want to continue?")));
    QVERIFY(TmpMlrcPtrStart);
    QVERIFY(m_window->findChildren<QDialog *>(QStringLiteral("SearchDlg")).isEmpty());
}

// Without a handler for the page the system cannot show it: the application does.
void MainWindowTest::helpShowsInTheApplicationWithoutAHandler()
{
    if (QDesktopServices::openUrl(QUrl(QStringLiteral("file:///nonexistent-mendora-probe"))))
        QSKIP("this machine has a URL handler");
    m_window->OpenHelp();
    QDialog *page = nullptr;
    QTRY_VERIFY((page = m_window->findChild<QDialog *>(QStringLiteral("localPageWindow"))) && page->isVisible());
    QCOMPARE(page->windowTitle(), QStringLiteral("Help"));
    QVERIFY(!page->findChild<QTextBrowser *>()->toPlainText().isEmpty());
}

namespace {
// Counts the paint events of one kind of window and its children.
template <typename Window>
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            for (QObject *at = watched; at; at = at->parent()) {
                if (qobject_cast<Window *>(at)) {
                    ++paints;
                    break;
                }
            }
        }
        return false;
    }
};
} // namespace

// The walk reads its first block right after the progress window is set up, and the
// window gets no other chance until the first tick: by then it has been painted.
void MainWindowTest::progressWindowIsPaintedBeforeTheWalk()
{
    PaintCounter<QProgressInfo> counter;
    qApp->installEventFilter(&counter);
    m_window->SetInitialSettings(4096);
    qApp->removeEventFilter(&counter);
    QVERIFY(counter.paints > 0);
    QVERIFY(m_window->progressDialog()->isVisible());
}

// The help page names every shortcut of the window's menus and tells how to import
// the standard files into the mail clients the user is likely to have.
void MainWindowTest::helpPageCoversTheWindow()
{
    QFile page(QFINDTESTDATA("../../resources/help/Mendora_Help.htm"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    int shortcuts = 0;
    for (const QAction *action : m_window->findChildren<QAction *>()) {
        const QString keys = action->shortcut().toString();
        if (keys.isEmpty() || keys == QLatin1String("Ctrl+?") || action->shortcutContext() == Qt::WidgetShortcut)
            continue;
        QVERIFY2(text.contains(keys), qPrintable(action->text() + QLatin1Char(' ') + keys));
        ++shortcuts;
    }
    QVERIFY(shortcuts >= 10);
    for (const char *topic : {"Apple Mail", "Thunderbird", "Gmail", "Find OLM", "Save All Attachments", "missing",
                              "Rescue report.txt", "--since", "--pdf-per-folder"})
        QVERIFY2(text.contains(QLatin1String(topic)), topic);
    // Every choice Save offers is explained.
    const SaveFormatDialog formats;
    for (const QAbstractButton *choice : formats.findChildren<QAbstractButton *>()) {
        if (choice->inherits("QRadioButton") || choice->inherits("QCheckBox"))
            QVERIFY2(text.contains(choice->text()), qPrintable(choice->text()));
    }
}

// At 800 by 600 the window fits, and the item list's columns that do not fit are
// reached by scrolling it sideways.
void MainWindowTest::smallScreenKeepsEveryColumnReachable()
{
    loadFolders();
    MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    mail->ParentId = objMapFID_PID.firstKey();
    qstrcpy(mail->Subject, "A subject long enough to want the whole width of the list for itself alone");
    qstrcpy(mail->FromAddress, "someone.with.a.long.address@example.com;");
    m_window->resize(800, 600);
    QTRY_COMPARE(m_window->size(), QSize(800, 600));
    m_window->OnMailButtonClicked();
    m_pParseDatabase->ShowindivisualMailItemsInfo(objMapFileIdTreeItem.value(qint64(mail->ParentId)), 0); // a copy: the packed field is not aligned
    QTreeWidget *list = m_window->itemList();
    QCOMPARE(list->topLevelItemCount(), 1);
    const int sizeColumn = ItemColumnCount - 1;
    QCOMPARE(list->headerItem()->text(sizeColumn), QStringLiteral("Size"));
    QVERIFY(!list->isColumnHidden(sizeColumn));
    QVERIFY(list->columnWidth(sizeColumn) > 0);
    QApplication::processEvents();
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    const int left = list->header()->sectionViewportPosition(sizeColumn);
    QVERIFY2(left >= 0 && left + list->columnWidth(sizeColumn) <= list->viewport()->width(),
             qPrintable(QStringLiteral("%1 + %2 in %3").arg(left).arg(list->columnWidth(sizeColumn)).arg(list->viewport()->width())));
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mainwindow.moc"
