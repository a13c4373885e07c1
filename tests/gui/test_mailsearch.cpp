// The search across every folder in the main window: what it finds for what is typed,
// with and without the bodies, a search cut short by the next keystroke, results that
// preview and sort as the mail list does, and Save results… writing exactly the mails found.
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "app/SaveWorkflow.h"
#include "browse/QParseDatabase.h"
#include "browse/AttachmentList.h"
#include "browse/MailRowText.h"
#include "browse/MailSearchPane.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"
#include "scan/ScanSession.h"

#include <QAction>
#include <QCheckBox>
#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeView>
#include <QtTest>
#include <climits>
#include <memory>

class MailSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void findsMailsInEveryFolder_data();
    void findsMailsInEveryFolder();
    void nextKeystrokeReplacesTheSearch();
    void resultPreviewsLikeTheMailList();
    void resultsSortBySenderDateAndSize_data();
    void resultsSortBySenderDateAndSize();
    void saveResultsWritesExactlyTheMailsFound();

private:
    MailSearchPane *pane() const { return m_window->mailSearch(); }
    // Types text (and sets the bodies box) and waits until the search has looked at every mail.
    void search(const QString &text, bool bodies = false);
    QStringList foundSubjects() const;

    std::unique_ptr<QEntourageMainWindow> m_window;
};

void MailSearchTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
    scanIntactSample();
    m_window->SetFinishSettingsForMail();
    m_window->OnMailView();
}

void MailSearchTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    bStopFlag = false;
    stopflag = false;
    m_strDatabasePath.clear();
}

void MailSearchTest::search(const QString &text, bool bodies)
{
    pane()->bodiesBox()->setChecked(bodies);
    pane()->searchField()->clear();
    // A key at a time, as typed; QTest's own typing knows only ASCII.
    for (const QChar letter : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(letter));
        QApplication::sendEvent(pane()->searchField(), &press);
    }
    QCOMPARE(pane()->searchField()->text(), text);
    QVERIFY(QTest::qWaitFor([this] { return !pane()->isSearching(); }, 10000));
}

QStringList MailSearchTest::foundSubjects() const
{
    QStringList subjects;
    for (int row = 0; row < pane()->results()->rowCount(); ++row)
        subjects << utf8Field(pane()->results()->mailAt(row)->Subject);
    subjects.sort();
    return subjects;
}

void MailSearchTest::findsMailsInEveryFolder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("bodies");
    QTest::addColumn<QStringList>("subjects");
    // The sample's mails as its manifest lists them.
    QTest::newRow("subject, case ignored") << "invoice" << false << QStringList{"Invoice #4471"};
    // The export names her as the sender of two mails and as a recipient of three.
    QTest::newRow("name of sender or recipient")
        << QString::fromUtf8("ελένη") << false
        << QStringList{"Contract draft v2", "Fwd: <urgent> server migration", "Re: Re: shipping dates", "Status update",
                       QString::fromUtf8("会議の議事録 (10月分)")};
    QTest::newRow("recipient, To or Cc") << "zoe.mueller" << false
                                         << QStringList{QString::fromUtf8("Café menu for Zoë"), "Invoice #4471",
                                                        "Photos from the trip", "Status update"};
    QTest::newRow("attachment name") << QString::fromUtf8("資料一式") << false
                                     << QStringList{"Q3 budget & forecast", QString::fromUtf8("주간 보고서 – 3분기")};
    QTest::newRow("each word somewhere") << "  JANE   q3 " << false << QStringList{"Q3 budget & forecast"};
    QTest::newRow("entities decoded") << "Tom & Jerry" << false << QStringList{"Tom & Jerry tickets"};
    QTest::newRow("body word, bodies not searched") << "prices" << false << QStringList();
    QTest::newRow("body word, bodies searched")
        << "prices" << true
        << QStringList{"Photos from the trip", "Team offsite \u2013 agenda", QString::fromUtf8("会議の議事録 (10月分)")};
    QTest::newRow("a sender and a body word")
        << "sakura figures" << true
        << QStringList{"Photos from the trip", "Re: Lunch on Friday?", "Re: Re: shipping dates"};
    QTest::newRow("nothing holds it") << "quetzalcoatl" << true << QStringList();
}

void MailSearchTest::findsMailsInEveryFolder()
{
    QFETCH(QString, typed);
    QFETCH(bool, bodies);
    QFETCH(QStringList, subjects);
    subjects.sort();
    search(typed, bodies);
    QCOMPARE(foundSubjects(), subjects);
    // The results take the item list's place, each with its folder.
    auto *stack = qobject_cast<QStackedWidget *>(pane()->parentWidget());
    QVERIFY(stack && stack->currentWidget() == pane());
    SearchResultsModel *results = pane()->results();
    for (int row = 0; row < results->rowCount(); ++row) {
        const QString folder = results->index(row, SearchResultsModel::FolderColumn).data().toString();
        QVERIFY2(utf8Field(results->mailAt(row)->FolderPath).endsWith(folder), qPrintable(folder));
    }
    QCOMPARE(pane()->statusLabel()->text(), QStringLiteral("%1 of %2 mails found").arg(subjects.size()).arg(MailItemCount));
    QCOMPARE(pane()->saveButton()->isEnabled(), !subjects.isEmpty());
    QCOMPARE(pane()->uploadButton()->isEnabled(), !subjects.isEmpty());
    // Emptying the field brings the item list back.
    pane()->searchField()->clear();
    QCOMPARE(stack->currentIndex(), 0);
    QCOMPARE(results->rowCount(), 0);
}

void MailSearchTest::nextKeystrokeReplacesTheSearch()
{
    // Typed without a pause: the first search is stopped and nothing it found is shown.
    pane()->searchField()->setText(QStringLiteral("example"));
    pane()->searchField()->setText(QStringLiteral("invoice"));
    QVERIFY(QTest::qWaitFor([this] { return !pane()->isSearching(); }, 10000));
    QCOMPARE(foundSubjects(), QStringList{"Invoice #4471"});
    // A new scan takes the search away before it frees the records the search reads, and
    // gives it back once the new records are there.
    pane()->searchField()->setText(QStringLiteral("example"));
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    m_pParseDatabase->ChooseFile(m_strDatabasePath);
    m_pParseDatabase->OnStartScan();
    QVERIFY(!pane()->isSearching());
    QVERIFY(pane()->searchField()->text().isEmpty());
    QVERIFY(pane()->searchBar()->isEnabled());
    search(QStringLiteral("invoice"));
    QCOMPARE(foundSubjects(), QStringList{"Invoice #4471"});
}

void MailSearchTest::resultPreviewsLikeTheMailList()
{
    search(QStringLiteral("invoice"));
    QTreeView *view = pane()->resultsView();
    QCOMPARE(pane()->results()->rowCount(), 1);
    const QRect row = view->visualRect(pane()->results()->index(0, SearchResultsModel::SubjectColumn));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    const QString header = m_window->headerBrowser()->toPlainText();
    QVERIFY2(header.contains(QStringLiteral("Subject: Invoice #4471")), qPrintable(header));
    QVERIFY2(header.contains(QStringLiteral("zoe.mueller@example.de")), qPrintable(header));
    AttachmentList *attachments = m_window->attachmentList();
    QVERIFY(attachments->isVisible());
    QCOMPARE(attachments->topLevelItemCount(), 1);
    QCOMPARE(attachments->topLevelItem(0)->text(AttachmentList::NameColumn), QStringLiteral("017091.docx"));
}

void MailSearchTest::resultsSortBySenderDateAndSize_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("sender") << int(SearchResultsModel::SenderColumn);
    QTest::newRow("date") << int(SearchResultsModel::DateColumn);
    QTest::newRow("size") << int(SearchResultsModel::SizeColumn);
}

void MailSearchTest::resultsSortBySenderDateAndSize()
{
    QFETCH(int, column);
    // Every mail with an address at example: nearly all of them.
    search(QStringLiteral("example"));
    SearchResultsModel *results = pane()->results();
    QVERIFY(results->rowCount() > 10);
    // Comparable values of a row for its column, worked out from the record.
    const auto valueAt = [&](int row) -> QVariant {
        const MailMLRC &mail = *results->mailAt(row);
        qint64 seconds = LLONG_MIN;
        switch (column) {
        case SearchResultsModel::SenderColumn: return mailSenderText(mail).toCaseFolded();
        case SearchResultsModel::DateColumn: mailDateSeconds(mail, &seconds); return seconds;
        default: return mailSize(mail);
        }
    };
    QTreeView *view = pane()->resultsView();
    view->setCurrentIndex(results->index(results->rowCount() / 2, 0));
    const MailMLRC *selected = results->mailAt(view->currentIndex().row());
    QHeaderView *header = view->header();
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(header->sortIndicatorOrder(), order);
        for (int row = 1; row < results->rowCount(); ++row) {
            const QVariant before = valueAt(row - 1), after = valueAt(row);
            const bool inOrder = order == Qt::AscendingOrder ? !(after < before) : !(before < after);
            QVERIFY2(inOrder, qPrintable(QStringLiteral("row %1: %2 then %3").arg(row).arg(before.toString(), after.toString())));
        }
        // The mail chosen stays chosen wherever the sort moved it.
        QCOMPARE(results->mailAt(view->currentIndex().row()), selected);
    }
    // A search typed afterwards comes in the order chosen.
    search(QStringLiteral("example."));
    for (int row = 1; row < results->rowCount(); ++row)
        QVERIFY(!(valueAt(row - 1) < valueAt(row)));
}

void MailSearchTest::saveResultsWritesExactlyTheMailsFound()
{
    search(QString::fromUtf8("資料一式"));
    QCOMPARE(pane()->results()->rowCount(), 2);
    QTemporaryDir destination;
    QSignalSpy ended(m_window->saveWorkflow(), &SaveWorkflow::saveEnded);
    FormatChooserAnswerer formats(BundleFormat::Standard);
    DirectoryChooserAnswerer chooser(destination.path());
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    pane()->saveButton()->click();
    QVERIFY(ended.wait(30000));
    QVERIFY(QTest::qWaitFor([] { return !qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }));
    const QString searchLine = QString::fromUtf8("Only the mails found by the search \"資料一式\"");
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Files Saved Successfully.")});
    QVERIFY2(boxes.informativeTexts.value(0).contains(searchLine), qPrintable(boxes.informativeTexts.value(0)));
    QVERIFY2(boxes.informativeTexts.value(0).contains(QStringLiteral("Written: 2 mails, 0 contacts")),
             qPrintable(boxes.informativeTexts.value(0)));

    // Two messages in all, in the mboxes of their folders, and the report names the search.
    int messages = 0;
    QString report;
    for (QDirIterator it(destination.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (file.fileName().endsWith(QLatin1String(".mbox")))
            messages += bytes.count("\nMessage-ID: ") + (bytes.startsWith("Message-ID: ") ? 1 : 0);
        else if (file.fileName().endsWith(QLatin1String(kRescueReportName)))
            report = QString::fromUtf8(bytes);
    }
    QCOMPARE(messages, 2);
    QVERIFY2(report.contains(searchLine), qPrintable(report));
    // The next Save takes the checked folders again: with none checked, it asks for one.
    boxes.texts.clear();
    m_window->menuSaveAction()->trigger();
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Select a folder to save.")});
}

QTEST_MAIN(MailSearchTest)
#include "test_mailsearch.moc"
