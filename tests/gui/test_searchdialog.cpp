// The Find OLM dialog: its form, choosing where to look, a search to its end, Stop and
// Close during a search, the search thread's stop, and handing the chosen file to the
// browse window.
#include "../core/SearchTree.h"
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "browse/QParseDatabase.h"
#include "olm/ScanState.h"
#include "search/QPSTSearchingThread.h"
#include "search/QSearchPSTFile.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QScreen>
#include <QtTest>
#include <memory>

namespace {
// Holds back the search thread's reports to the dialog, so that the dialog stays in
// its searching state however fast the walk ends.
class HeldReports : public QObject
{
public:
    explicit HeldReports(QObject *dialog) : m_dialog(dialog) { dialog->installEventFilter(this); }
    ~HeldReports() override
    {
        if (m_dialog)
            m_dialog->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::MetaCall; }

private:
    QPointer<QObject> m_dialog;
};

template <typename T>
T *part(QObject *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

QStringList rowNames(QTreeWidget *results)
{
    QStringList names;
    for (int i = 0; i < results->topLevelItemCount(); ++i)
        names << results->topLevelItem(i)->text(0);
    names.sort();
    return names;
}

QTreeWidgetItem *rowFor(QTreeWidget *results, const QString &path)
{
    const QList<QTreeWidgetItem *> rows = results->findItems(path, Qt::MatchExactly, 0);
    return rows.size() == 1 ? rows.first() : nullptr;
}
} // namespace

class SearchDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void formMatchesTheDialog();
    void findInFolderListsAFolderOnce();
    void searchListsEveryOlmFileWithItsSize();
    void searchFindingNothingSaysSo();
    void closeWhileSearchingIsRefused_data();
    void closeWhileSearchingIsRefused();
    void stopAsksFirstAndKeepsTheList();
    void threadEndsWhenAskedToStop();
    void chosenFileReachesTheBrowseWindow_data();
    void chosenFileReachesTheBrowseWindow();

private:
    // Makes folder the look-in choice through "Find in Folder".
    void lookIn(QSearchPSTFile *dialog, const QString &folder);
    // Starts a search and waits for its end.
    void searchToTheEnd(QSearchPSTFile *dialog);

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_outside;
    QStringList m_expected;
    std::unique_ptr<QSearchPSTFile> m_dialog;
};

void SearchDialogTest::init()
{
    m_root.reset(new QTemporaryDir);
    m_outside.reset(new QTemporaryDir);
    m_expected = makeSearchTree(QDir(m_root->path()), QDir(m_outside->path()));
    m_dialog.reset(new QSearchPSTFile(nullptr));
    m_dialog->show();
}

void SearchDialogTest::cleanup()
{
    m_dialog.reset();
    bProcessRunningSearching = false;
}

void SearchDialogTest::lookIn(QSearchPSTFile *dialog, const QString &folder)
{
    FileDialogAnswerer answer(folder);
    part<QPushButton>(dialog, "SearchInFolderButton")->click();
    QCOMPARE(answer.answered, 1);
    QCOMPARE(answer.lastTitle, QStringLiteral("Open Directory"));
}

void SearchDialogTest::searchToTheEnd(QSearchPSTFile *dialog)
{
    auto *start = part<QPushButton>(dialog, "SearchButton");
    start->click();
    QVERIFY(!start->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 10000);
    QVERIFY(!bProcessRunningSearching);
}

void SearchDialogTest::formMatchesTheDialog()
{
    QSearchPSTFile *dialog = m_dialog.get();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Find OLM"));
    QCOMPARE(dialog->size(), QSize(600, 470));
    QCOMPARE(dialog->minimumSize(), QSize(600, 470));
    QVERIFY(dialog->maximumWidth() > 600); // it grows with what it lists
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    const struct {
        const char *name;
        const char *text;
        bool enabled;
    } buttons[] = {{"StopButton", "Stop", false},           {"OKButton", "OK", false},
                   {"ClearListButton", "Clear List", false}, {"CloseButton", "Close", true},
                   {"SearchInFolderButton", "Find in Folder", true}, {"SearchButton", "Start", true}};
    for (const auto &button : buttons) {
        auto *widget = part<QPushButton>(dialog, button.name);
        QCOMPARE(widget->text(), QLatin1String(button.text));
        QCOMPARE(widget->isEnabled(), button.enabled);
        QCOMPARE(widget->font().pointSize(), 11);
    }
    part<QGroupBox>(dialog, "groupBox");
    QCOMPARE(part<QLabel>(dialog, "label")->text(), QStringLiteral("Look In"));
    QVERIFY(!part<QLabel>(dialog, "MovieLabel")->isVisible());
    QVERIFY(part<QLabel>(dialog, "MovieLabel")->movie()->isValid());
    QVERIFY(part<QLabel>(dialog, "MovieLabel")->movie()->frameCount() > 1);

    auto *results = part<QTreeWidget>(dialog, "FileTreeWidget");
    QVERIFY(results->alternatingRowColors());
    const QStringList headers{"Name", "Size", "Created", "Accessed", "Modified"};
    const int widths[] = {300, 80, 200, 200, 200};
    QCOMPARE(results->columnCount(), headers.size());
    for (int column = 0; column < headers.size(); ++column) {
        QCOMPARE(results->headerItem()->text(column), headers[column]);
        QCOMPARE(results->columnWidth(column), widths[column]);
    }

    // The start-up volume comes first and is searched from the top.
    auto *lookInChoice = part<QComboBox>(dialog, "SourceComboBox");
    QVERIFY(lookInChoice->count() >= 1);
    QCOMPARE(lookInChoice->itemData(0).toString(), QStringLiteral("/"));
    QVERIFY(lookInChoice->itemText(0) != QLatin1String("/"));
    QCOMPARE(lookInChoice->currentIndex(), 0);
}

void SearchDialogTest::findInFolderListsAFolderOnce()
{
    auto *lookInChoice = part<QComboBox>(m_dialog.get(), "SourceComboBox");
    const int volumes = lookInChoice->count();
    const QString first = m_root->path();
    const QString second = m_outside->path();
    lookIn(m_dialog.get(), first);
    lookIn(m_dialog.get(), second);
    lookIn(m_dialog.get(), first);
    QCOMPARE(lookInChoice->count(), volumes + 2);
    QCOMPARE(lookInChoice->itemText(volumes), second);
    QCOMPARE(lookInChoice->itemText(volumes + 1), first);
    QCOMPARE(lookInChoice->currentIndex(), volumes + 1);

    // Cancelling the folder dialog changes nothing.
    lookIn(m_dialog.get(), QString());
    QCOMPARE(lookInChoice->count(), volumes + 2);
    QCOMPARE(lookInChoice->currentText(), first);
}

void SearchDialogTest::searchListsEveryOlmFileWithItsSize()
{
    lookIn(m_dialog.get(), m_root->path());
    MessageBoxAnswerer noBox(QMessageBox::Ok);
    searchToTheEnd(m_dialog.get());
    QVERIFY(noBox.texts.isEmpty());

    auto *results = part<QTreeWidget>(m_dialog.get(), "FileTreeWidget");
    QCOMPARE(rowNames(results), m_expected);
    const QDir root(m_root->path());
    const struct {
        const char *file;
        const char *size;
    } sizes[] = {{"plain.olm", "1023 Byte"},
                 {"it's a \"quoted\" dir/with space.olm", "1 KB"},
                 {"line\nbreak/in\nname.olm", "1 MB"}};
    for (const auto &expected : sizes) {
        QTreeWidgetItem *row = rowFor(results, root.filePath(QString::fromUtf8(expected.file)));
        QVERIFY2(row, expected.file);
        QCOMPARE(row->text(1), QLatin1String(expected.size));
        const QDateTime modified = QFileInfo(row->text(0)).lastModified();
        QCOMPARE(row->text(4), modified.toString(Qt::TextDate));
        QVERIFY(!row->text(2).isEmpty());
        QVERIFY(!row->text(3).isEmpty());
    }
    QVERIFY(part<QPushButton>(m_dialog.get(), "ClearListButton")->isEnabled());
    QVERIFY(!part<QPushButton>(m_dialog.get(), "OKButton")->isEnabled());
    QVERIFY(!part<QPushButton>(m_dialog.get(), "StopButton")->isEnabled());
    QVERIFY(!part<QLabel>(m_dialog.get(), "MovieLabel")->isVisible());
    // No text is cut: every column is as wide as its widest text, and the dialog
    // grew to show the rows whole.
    int rowWidth = 0;
    for (int column = 0; column < results->columnCount(); ++column) {
        QVERIFY2(results->columnWidth(column) >= static_cast<QAbstractItemView *>(results)->sizeHintForColumn(column), qPrintable(QString::number(column)));
        rowWidth += results->columnWidth(column);
    }
    QVERIFY(results->viewport()->width() >= qMin(rowWidth, m_dialog->screen()->availableGeometry().width() - 40));

    part<QPushButton>(m_dialog.get(), "ClearListButton")->click();
    QCOMPARE(results->topLevelItemCount(), 0);
    QVERIFY(!part<QPushButton>(m_dialog.get(), "ClearListButton")->isEnabled());
}

void SearchDialogTest::searchFindingNothingSaysSo()
{
    QTemporaryDir empty;
    writeSizedFile(QDir(empty.path()), QStringLiteral("notes.OLM.txt"), 1);
    lookIn(m_dialog.get(), empty.path());
    MessageBoxAnswerer answer(QMessageBox::Ok);
    searchToTheEnd(m_dialog.get());
    QTRY_COMPARE(answer.texts, QStringList{QStringLiteral("Search completed. No OLM file found.")});
    QCOMPARE(answer.titles, QStringList{QStringLiteral("Find OLM")});
    QVERIFY(!part<QPushButton>(m_dialog.get(), "ClearListButton")->isEnabled());
}

void SearchDialogTest::closeWhileSearchingIsRefused_data()
{
    QTest::addColumn<int>("route");
    QTest::newRow("Close button") << 0;
    QTest::newRow("window close") << 1;
    QTest::newRow("Escape") << 2;
}

void SearchDialogTest::closeWhileSearchingIsRefused()
{
    QFETCH(int, route);
    QSearchPSTFile *dialog = m_dialog.get();
    QSignalSpy hidden(dialog, &QSearchPSTFile::HideFindWindow);
    lookIn(dialog, m_root->path());
    {
        HeldReports held(dialog);
        part<QPushButton>(dialog, "SearchButton")->click();
        MessageBoxAnswerer answer(QMessageBox::Ok);
        if (route == 0)
            part<QPushButton>(dialog, "CloseButton")->click();
        else if (route == 1)
            QVERIFY(!dialog->close());
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_COMPARE(answer.texts, QStringList{QStringLiteral("First stop the currently running process.")});
        QCOMPARE(answer.titles, QStringList{QStringLiteral("Find OLM")});
        QVERIFY(dialog->isVisible());
        QCOMPARE(hidden.count(), 0);
    }
    // Once the search is over, the same request closes the dialog.
    QTRY_VERIFY_WITH_TIMEOUT(!bProcessRunningSearching || dialog->findChildren<QPSTSearchingThread *>().isEmpty(), 5000);
    MessageBoxAnswerer stop(QMessageBox::Yes);
    if (bProcessRunningSearching)
        part<QPushButton>(dialog, "StopButton")->click();
    QVERIFY(!bProcessRunningSearching);
    part<QPushButton>(dialog, "CloseButton")->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(hidden.count(), 1);
}

void SearchDialogTest::stopAsksFirstAndKeepsTheList()
{
    QSearchPSTFile *dialog = m_dialog.get();
    auto *results = part<QTreeWidget>(dialog, "FileTreeWidget");
    lookIn(dialog, m_root->path());
    searchToTheEnd(dialog);
    QVERIFY(results->topLevelItemCount() > 0);

    HeldReports held(dialog);
    part<QPushButton>(dialog, "SearchButton")->click();
    QCOMPARE(results->topLevelItemCount(), 0); // a new search starts with an empty list
    results->addTopLevelItem(new QTreeWidgetItem(QStringList{m_expected.first()}));
    {
        MessageBoxAnswerer answerNo(QMessageBox::No);
        part<QPushButton>(dialog, "StopButton")->click();
        QCOMPARE(answerNo.texts, QStringList{QStringLiteral("Process can't be resumed from the current stage.")});
        QCOMPARE(answerNo.informativeTexts, QStringList{QStringLiteral("Do you want to abort the current process?")});
    }
    QVERIFY(bProcessRunningSearching);
    QVERIFY(part<QPushButton>(dialog, "StopButton")->isEnabled());
    QVERIFY(part<QLabel>(dialog, "MovieLabel")->isVisible());
    QCOMPARE(results->topLevelItemCount(), 1);

    MessageBoxAnswerer answerYes(QMessageBox::Yes);
    part<QPushButton>(dialog, "StopButton")->click();
    QCOMPARE(answerYes.texts.size(), 1);
    QVERIFY(!bProcessRunningSearching);
    // What was found before the stop stays, and can be cleared or taken.
    QCOMPARE(rowNames(results), QStringList{m_expected.first()});
    for (const char *idle : {"SearchButton", "SearchInFolderButton", "ClearListButton"})
        QVERIFY(part<QPushButton>(dialog, idle)->isEnabled());
    QVERIFY(part<QComboBox>(dialog, "SourceComboBox")->isEnabled());
    for (const char *off : {"StopButton", "OKButton"})
        QVERIFY(!part<QPushButton>(dialog, off)->isEnabled());
    QVERIFY(!part<QLabel>(dialog, "MovieLabel")->isVisible());
    results->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(results->viewport(), Qt::LeftButton, Qt::NoModifier,
                      results->visualItemRect(results->topLevelItem(0)).center());
    QVERIFY(part<QPushButton>(dialog, "OKButton")->isEnabled());
    // The stopped walk winds down; nothing it still reports reaches the list.
    QTRY_VERIFY_WITH_TIMEOUT(dialog->findChildren<QPSTSearchingThread *>().isEmpty(), 2000);
    QCOMPARE(results->topLevelItemCount(), 1);
    QCOMPARE(answerYes.texts.size(), 1);
}

void SearchDialogTest::threadEndsWhenAskedToStop()
{
    QTemporaryDir many;
    for (int i = 0; i < 50; ++i)
        writeSizedFile(QDir(many.path()), QStringLiteral("f%1.olm").arg(i), 0);
    QPSTSearchingThread thread;
    int reported = 0;
    connect(&thread, &QPSTSearchingThread::FoundFile, &thread, [&](const QString &) {
        ++reported;
        thread.RequestStop();
    }, Qt::DirectConnection);
    QSignalSpy finished(&thread, &QPSTSearchingThread::FinshScanningProcess);
    thread.SetInitialSettings(many.path());
    QVERIFY(thread.wait(5000));
    QCOMPARE(reported, 1);
    QCOMPARE(finished.count(), 1);
}

void SearchDialogTest::chosenFileReachesTheBrowseWindow_data()
{
    QTest::addColumn<bool>("fromFindFileAction");
    QTest::addColumn<bool>("chooseAFile");
    QTest::addColumn<bool>("browseWindowShown");
    QTest::newRow("Find OLM, OK") << false << true << true;
    QTest::newRow("Find OLM, Close") << false << false << true;
    QTest::newRow("Find File, OK") << true << true << true;
    QTest::newRow("Find File, Close") << true << false << false;
}

void SearchDialogTest::chosenFileReachesTheBrowseWindow()
{
    QFETCH(bool, fromFindFileAction);
    QFETCH(bool, chooseAFile);
    QFETCH(bool, browseWindowShown);
    m_dialog.reset();
    QEntourageMainWindow window;
    window.show();
    QParseDatabase *browse = m_pParseDatabase;
    QTRY_VERIFY(browse->isVisible());
    auto *pathField = part<QLineEdit>(browse, "pathField");
    auto *startScan = part<QPushButton>(browse, "startButton");
    browse->ChooseFile(m_outside->path() + QStringLiteral("/outside.olm"));

    if (fromFindFileAction) {
        QAction *findFile = nullptr;
        for (QAction *action : window.findChildren<QAction *>())
            if (action->text() == QLatin1String("Find File"))
                findFile = action;
        QVERIFY(findFile && findFile->isEnabled());
        findFile->trigger();
    } else {
        QVERIFY(part<QPushButton>(browse, "findButton")->isEnabled());
        part<QPushButton>(browse, "findButton")->click();
    }
    QVERIFY(!browse->isVisible());
    QVERIFY(pathField->text().isEmpty());
    QVERIFY(!startScan->isEnabled());
    QSearchPSTFile *dialog = browse->findChild<QSearchPSTFile *>();
    QVERIFY(dialog && dialog->isVisible());

    lookIn(dialog, m_root->path());
    searchToTheEnd(dialog);
    const QString chosen = QDir(m_root->path()).filePath(QStringLiteral("日本語 Ünïcödé/メール.olm"));
    if (chooseAFile) {
        auto *results = part<QTreeWidget>(dialog, "FileTreeWidget");
        QTreeWidgetItem *row = rowFor(results, chosen);
        QVERIFY(row);
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, results->visualItemRect(row).center());
        QVERIFY(part<QPushButton>(dialog, "OKButton")->isEnabled());
        part<QPushButton>(dialog, "OKButton")->click();
        QCOMPARE(pathField->text(), chosen);
        QCOMPARE(m_selectedFile, chosen);
        QVERIFY(startScan->isEnabled());
    } else {
        part<QPushButton>(dialog, "CloseButton")->click();
        QVERIFY(pathField->text().isEmpty());
        QVERIFY(!startScan->isEnabled());
    }
    QVERIFY(!dialog->isVisible());
    QCOMPARE(browse->isVisible(), browseWindowShown);
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    SearchDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_searchdialog.moc"
