// Saving from the main window: the selection check, the destination, replacing a
// bundle, and the message at the end saying what happened.
#include "GuiTestSupport.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "app/SaveFormatDialog.h"
#include "app/SaveWorkflow.h"
#include "browse/QParseDatabase.h"
#include "archive/BundleLayout.h"
#include "archive/OutputFile.h"
#include "archive/QMailSavingThread.h"
#include "log/QLogReport.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QAction>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// Marks folders as the folder tree's check boxes would: the chosen ones checked,
// the root partially checked.
void checkFolders(bool (*chosen)(const FolderAttribute &))
{
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        record->state = chosen(*record) ? CheckedCode : UncheckedCode;
    StartFldrAtrib->state = PartiallyCheckedCode;
}

bool isMailFolder(const FolderAttribute &record) { return record.folderType == MailFolderType; }

int filesNamed(const QString &directory, const QString &pattern)
{
    int count = 0;
    for (QDirIterator it(directory, {pattern}, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

class SaveWorkflowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void nothingCheckedAsksForASelection();
    void cancelledChooserWritesNothing();
    void savesCheckedMailFolders();
    void savesTheFoldersCheckedInTheTree();
    void replacesAnExistingBundle();
    void abortIsReported();
    void fullDiskIsReportedAsFailure();
    void savesStandardFiles();
    void savesEveryMailAsEmlOrPdf();
    void replacesStandardFilesOnlyWhenAsked();
    void secondSaveIsRefusedAndTheWindowStaysLocked();
    void saveThatWroteNothingIsNoSuccess();
    void progressReportsAreSpacedOut();
    void stoppedSaveSaysWhatItLeftUnwritten();
    void saveAfterStoppedScanSaysHowFarTheScanGot();

private:
    // Runs Save with the chooser answered by destination and every box by answer;
    // returns the texts of the message boxes shown.
    QStringList save(const QString &destination, QMessageBox::StandardButton answer = QMessageBox::Ok,
                     BundleFormat format = BundleFormat::Entourage, QStringList *informativeTexts = nullptr);
    SaveWorkflow *workflow() const { return m_window->saveWorkflow(); }

    std::unique_ptr<QEntourageMainWindow> m_window;
    QTemporaryDir m_dir;
};

void SaveWorkflowTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
    scanIntactSample();
    m_window->SetSaveActionsEnabled(true);
}

void SaveWorkflowTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    bStopFlag = false;
    stopflag = false;
    bProcessRunning = false;
    m_strDatabasePath.clear();
}

QStringList SaveWorkflowTest::save(const QString &destination, QMessageBox::StandardButton answer, BundleFormat format,
                                   QStringList *informativeTexts)
{
    QSignalSpy ended(workflow(), &SaveWorkflow::saveEnded);
    FormatChooserAnswerer formats(format);
    DirectoryChooserAnswerer chooser(destination);
    MessageBoxAnswerer boxes(answer);
    m_window->menuSaveAction()->trigger();
    if (ended.isEmpty() && !ended.wait(30000))
        qWarning("the save did not end");
    // The end message is answered from the event loop.
    if (!QTest::qWaitFor([] { return !qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }))
        qWarning("the end message was not answered");
    if (informativeTexts)
        *informativeTexts = boxes.informativeTexts;
    return boxes.texts;
}

void SaveWorkflowTest::nothingCheckedAsksForASelection()
{
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    m_window->menuSaveAction()->trigger();
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Select a folder to save.")});
    QCOMPARE(boxes.titles, QStringList{QStringLiteral("Save")});
}

void SaveWorkflowTest::cancelledChooserWritesNothing()
{
    checkFolders(isMailFolder);
    QCOMPARE(save(QString()), QStringList());
    QVERIFY(saveDir.isEmpty());
    QVERIFY(!workflow()->savingThread()->isRunning());
}

void SaveWorkflowTest::savesCheckedMailFolders()
{
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("it's \"saved\" (here)"));
    QVERIFY(QDir().mkpath(destination));
    QSignalSpy progress(workflow()->savingThread(), &QMailSavingThread::progressCounts);
    stopflag = true; // left by a stopped scan: the save must not end as "aborted"
    QStringList details;
    QCOMPARE(save(destination, QMessageBox::Ok, BundleFormat::Entourage, &details),
             QStringList{QStringLiteral("Files Saved Successfully.")});
    // The message says where the bundle is and what it holds, as the command line does.
    QCOMPARE(details, QStringList{QStringLiteral("Bundle: %1\nWritten: %2 mails, 0 contacts, 0 calendar events, 0 tasks, 0 notes")
                                      .arg(bundlePathFor(destination, strTime))
                                      .arg(MailItemCount)});
    QCOMPARE(SizeOfAllMails, MailItemCount);
    // The last report counts every item, and the dialog shows its counts.
    QVERIFY(!progress.isEmpty());
    const SaveProgress last = progress.last().at(0).value<SaveProgress>();
    QCOMPARE(last.done, MailItemCount);
    QCOMPARE(last.total, MailItemCount);
    QCOMPARE(last.kindDone, MailItemCount);
    QCOMPARE(last.kindTotal, MailItemCount);
    QProgressInfo *dialog = workflow()->progressDialog();
    QVERIFY(dialog && !dialog->isVisible());
    QCOMPARE(dialog->progressBar()->maximum(), int(MailItemCount));
    QCOMPARE(dialog->progressBar()->value(), int(MailItemCount));
    QCOMPARE(dialog->caption()->text(), QStringLiteral("Saving Mail Folders..."));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Saving Files"));
    QCOMPARE(dialog->counts()->text(), QStringLiteral("%1 of %1 mails").arg(MailItemCount));
    QCOMPARE(dialog->folder()->toolTip(), last.folder);
    QVERIFY(!last.folder.isEmpty());

    const QString bundle = bundlePathFor(destination, strTime);
    QVERIFY(QFileInfo(bundle + QStringLiteral("/Contents/PkgInfo")).isFile());
    QVERIFY(filesNamed(bundle + QStringLiteral("/Mail"), QStringLiteral("*.mbox")) > 0);
    QCOMPARE(filesNamed(bundle + QStringLiteral("/Contacts"), QStringLiteral("*")), 0);
    QCOMPARE(workflow()->savingThread()->lastReport().written[size_t(ItemKind::Mail)], MailItemCount);
    // Controls come back.
    QVERIFY(m_window->menuSaveAction()->isEnabled());
    QVERIFY(m_window->menuOpenAction()->isEnabled());
    QVERIFY(m_window->viewAction(Category::Mail)->isEnabled());
    QVERIFY(m_pLogDlg->logText().contains(QStringLiteral("Completed Saving Main Identity.rge File .")));
}

// A box ticked in the folder tree is what the save writes: the folder and everything below it.
void SaveWorkflowTest::savesTheFoldersCheckedInTheTree()
{
    m_window->OnMailView();
    QTreeWidgetItem *inbox = nullptr;
    for (QTreeWidgetItemIterator it(m_window->folderTree()); *it; ++it) {
        if ((*it)->text(0) == QLatin1String("Inbox"))
            inbox = *it;
    }
    QVERIFY(inbox);
    inbox->setCheckState(0, Qt::Checked);
    m_pParseDatabase->ShowindivisualMailItemsInfo(inbox, 0);
    const QString destination = m_dir.filePath(QStringLiteral("tree"));
    QVERIFY(QDir().mkpath(destination));
    QCOMPARE(save(destination), QStringList{QStringLiteral("Files Saved Successfully.")});
    const QString mail = bundlePathFor(destination, strTime) + QStringLiteral("/Mail/On My Computer");
    QCOMPARE(QDir(mail).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Inbox")});
    QCOMPARE(filesNamed(mail, QStringLiteral("*.mbox")), 3); // Inbox, Projects, 2010
}

// A bundle of the same name is removed, without a shell, before the new one is written.
void SaveWorkflowTest::replacesAnExistingBundle()
{
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("replace me (1)"));
    const QDateTime now = QDateTime::currentDateTime();
    // The bundle of every second the save may start in.
    for (int second = 0; second < 5; ++second) {
        const QString old = bundlePathFor(destination, bundleTimeStamp(now.addSecs(second)));
        QVERIFY(QDir().mkpath(old));
        writeTestFile(QDir(old), QStringLiteral("old"), "x");
    }
    const QStringList texts = save(destination, QMessageBox::Yes);
    QCOMPARE(texts, QStringList({QStringLiteral("Main Identity.rge already exists at this location,Do you want to replace it?"),
                                 QStringLiteral("Files Saved Successfully.")}));
    const QString bundle = bundlePathFor(destination, strTime);
    QVERIFY(!QFileInfo::exists(bundle + QStringLiteral("/old")));
    QVERIFY(QFileInfo(bundle + QStringLiteral("/Archive.xml")).isFile());
}

// The thread has stopped (its stop flag raised by the progress dialog): the partial save is reported.
void SaveWorkflowTest::abortIsReported()
{
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    stopflag = true;
    workflow()->OnAbortSettings();
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Saving Process Aborted. Files Saved Partially.")});
    QVERIFY(!stopflag);
    QVERIFY(m_window->menuSaveAction()->isEnabled());
}

// A write that fails on the saving thread (the disk full after the descriptor files
// and the first mails) is reported as a failure, in either format.
void SaveWorkflowTest::fullDiskIsReportedAsFailure()
{
    checkFolders(isMailFolder);
    for (BundleFormat format : {BundleFormat::Entourage, BundleFormat::Standard}) {
        const QString destination = m_dir.filePath(QStringLiteral("full disk %1").arg(int(format)));
        QVERIFY(QDir().mkpath(destination));
        failOutputWrite(6, ENOSPC, 10);
        const QStringList texts = save(destination, QMessageBox::Ok, format);
        QVERIFY(outputFailureHappened());
        failOutputWrite(0, 0);
        const SaveReport report = workflow()->savingThread()->lastReport();
        QCOMPARE(report.notWritten.size(), 1);
        QVERIFY(report.notWritten.first().line().contains(QString::fromLocal8Bit(strerror(ENOSPC))));
        QCOMPARE(texts, QStringList{QStringLiteral("%1 of %2 items could not be saved.\nThe log window names each of them.")
                                        .arg(report.notWritten.size())
                                        .arg(MailItemCount)});
        QVERIFY(m_pLogDlg->logText().contains(report.notWritten.first().line()));
    }
}

void SaveWorkflowTest::savesStandardFiles()
{
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("it's \"standard\" (here)"));
    QVERIFY(QDir().mkpath(destination));
    QCOMPARE(save(destination, QMessageBox::Ok, BundleFormat::Standard),
             QStringList{QStringLiteral("Files Saved Successfully.")});
    const QString output = destination + QStringLiteral("/intact (rescued)");
    QVERIFY(filesNamed(output + QStringLiteral("/Mail"), QStringLiteral("*.mbox")) > 0);
    // Only the checked mail folders: no contacts, no calendar, and no bundle.
    QVERIFY(!QFileInfo::exists(output + QStringLiteral("/Contacts.vcf")));
    QVERIFY(!QFileInfo::exists(output + QStringLiteral("/Calendar.ics")));
    QCOMPARE(filesNamed(destination, QStringLiteral("Archive.xml")), 0);
    QCOMPARE(workflow()->savingThread()->lastReport().written[size_t(ItemKind::Mail)], MailItemCount);
    QVERIFY(m_pLogDlg->logText().contains(QStringLiteral("Completed Saving Standard Files .")));
    QVERIFY(m_pLogDlg->logText().contains(output));

    // The next save offers the format chosen last; cancelling the question writes nothing.
    QSignalSpy ended(workflow(), &SaveWorkflow::saveEnded);
    FormatChooserAnswerer formats(BundleFormat::Standard);
    DirectoryChooserAnswerer chooser{QString()};
    m_window->menuSaveAction()->trigger();
    QVERIFY(!ended.isEmpty() || ended.wait(30000));
    QCOMPARE(formats.offered, QVector<BundleFormat>{BundleFormat::Standard});
    QCOMPARE(SaveFormatDialog().format(), BundleFormat::Entourage);
}

// The window's Save offers a file per mail (.eml or PDF) and a PDF per folder.
void SaveWorkflowTest::savesEveryMailAsEmlOrPdf()
{
    checkFolders(isMailFolder);
    QSet<qint64> foldersWithMail;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next)
        foldersWithMail.insert(qint64(mail->ParentId));
    const struct {
        BundleFormat format;
        bool perFolder;
        const char *output, *pattern, *logged;
        qint64 files;
    } rows[] = {
        {BundleFormat::Eml, false, "intact (rescued eml)", "*.eml", "Completed Saving EML Files .", MailItemCount},
        {BundleFormat::Pdf, false, "intact (rescued pdf)", "*.pdf", "Completed Saving PDF Files .", MailItemCount},
        {BundleFormat::Pdf, true, "intact (rescued pdf)", "*.pdf", "Completed Saving PDF Files .",
         qint64(foldersWithMail.size())},
    };
    for (const auto &row : rows) {
        const QString destination = m_dir.filePath(QStringLiteral("%1 %2").arg(row.pattern).arg(row.perFolder));
        QVERIFY(QDir().mkpath(destination));
        QSignalSpy ended(workflow(), &SaveWorkflow::saveEnded);
        FormatChooserAnswerer formats(row.format, row.perFolder);
        DirectoryChooserAnswerer chooser(destination);
        MessageBoxAnswerer boxes(QMessageBox::Ok);
        m_window->menuSaveAction()->trigger();
        QVERIFY(!ended.isEmpty() || ended.wait(60000));
        QVERIFY(QTest::qWaitFor([] { return !qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("Files Saved Successfully.")});
        QCOMPARE(formats.perFolderOffered, QVector<bool>{row.format == BundleFormat::Pdf}); // with PDF only
        const QString output = destination + QLatin1Char('/') + QLatin1String(row.output);
        QCOMPARE(qint64(filesNamed(output + QStringLiteral("/Mail"), QLatin1String(row.pattern))), row.files);
        QCOMPARE(workflow()->savingThread()->lastReport().written[size_t(ItemKind::Mail)], MailItemCount);
        QVERIFY(m_pLogDlg->logText().contains(QLatin1String(row.logged)));
    }
}

// An earlier output of the same name is replaced only after a Yes; a No asks for another place.
void SaveWorkflowTest::replacesStandardFilesOnlyWhenAsked()
{
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("again"));
    const QString output = destination + QStringLiteral("/intact (rescued)");
    QVERIFY(QDir().mkpath(output));
    writeTestFile(QDir(output), QStringLiteral("mine"), "x");
    const QString question = QStringLiteral("\"intact (rescued)\" already exists at this location, Do you want to replace it?");
    {
        // No, then the chooser is cancelled: nothing is touched.
        QSignalSpy ended(workflow(), &SaveWorkflow::saveEnded);
        FormatChooserAnswerer formats(BundleFormat::Standard);
        MessageBoxAnswerer boxes(QMessageBox::No);
        int chooserRuns = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            if (chooserRuns++ == 0) {
                dialog->setDirectory(destination);
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
        });
        poll.start(5);
        m_window->menuSaveAction()->trigger();
        QVERIFY(!ended.isEmpty() || ended.wait(30000));
        QCOMPARE(boxes.texts, QStringList{question});
        // Return keeps the earlier output.
        QCOMPARE(boxes.defaultButtons, QList<QMessageBox::StandardButton>{QMessageBox::No});
        QCOMPARE(formats.asked, 1);
        QCOMPARE(chooserRuns, 2);
        QVERIFY(QFileInfo::exists(output + QStringLiteral("/mine")));
    }
    QCOMPARE(save(destination, QMessageBox::Yes, BundleFormat::Standard),
             QStringList({question, QStringLiteral("Files Saved Successfully.")}));
    QVERIFY(!QFileInfo::exists(output + QStringLiteral("/mine")));
    QVERIFY(filesNamed(output + QStringLiteral("/Mail"), QStringLiteral("*.mbox")) > 0);
}

// Save stays off while a save runs; a request that arrives anyway leaves the running
// save alone, and the boxes and lists cannot change what it writes.
void SaveWorkflowTest::secondSaveIsRefusedAndTheWindowStaysLocked()
{
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("twice"));
    QVERIFY(QDir().mkpath(destination));
    struct During {
        bool looked = false, save = true, toolbarSave = true, tree = true, list = true, open = true;
    } during;
    // The thread waits at its first item until the window has been looked at and asked again.
    connect(workflow()->savingThread(), &QMailSavingThread::progressCounts, this, [&] {
        if (during.looked)
            return;
        during.looked = true;
        during.save = m_window->menuSaveAction()->isEnabled();
        during.toolbarSave = m_window->toolbarSaveAction()->isEnabled();
        during.tree = m_window->folderTree()->isEnabled();
        during.list = m_window->itemList()->isEnabled();
        during.open = m_window->menuOpenAction()->isEnabled();
        workflow()->OnSavingFiles();
    }, Qt::BlockingQueuedConnection);
    const QStringList texts = save(destination);
    QVERIFY(during.looked);
    QVERIFY(!during.save);
    QVERIFY(!during.toolbarSave);
    QVERIFY(!during.tree);
    QVERIFY(!during.list);
    QVERIFY(!during.open);
    QCOMPARE(texts, QStringList{QStringLiteral("Files Saved Successfully.")});
    const SaveReport &report = workflow()->savingThread()->lastReport();
    QVERIFY(!report.stopped);
    QCOMPARE(report.written[size_t(ItemKind::Mail)], MailItemCount);
    QVERIFY(m_pLogDlg->logText().contains(QStringLiteral("A second save was refused")));
    // Everything comes back after the end.
    QVERIFY(m_window->menuSaveAction()->isEnabled());
    QVERIFY(m_window->folderTree()->isEnabled());
    QVERIFY(m_window->itemList()->isEnabled());
}

// The root partially checked with no folder checked below it: nothing is written,
// and that is not reported as a success.
void SaveWorkflowTest::saveThatWroteNothingIsNoSuccess()
{
    checkFolders([](const FolderAttribute &) { return false; });
    const QString destination = m_dir.filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(destination));
    QCOMPARE(save(destination), QStringList{QStringLiteral("Nothing was saved: the checked folders hold no items.")});
    QVERIFY(m_pLogDlg->logText().contains(QStringLiteral("Written: 0 mails, 0 contacts, 0 calendar events, 0 tasks, 0 notes")));
}

// Thousands of small mails: the progress goes to the window a few times a second,
// not once per mail, and its last report counts them all.
void SaveWorkflowTest::progressReportsAreSpacedOut()
{
    const qint64 folderId = TmpMlrcPtrStart->ParentId;
    QVERIFY(folderId > 0);
    for (int i = 0; i < 4000; ++i)
        appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount)->ParentId = folderId;
    checkFolders([](const FolderAttribute &record) { return record.folderType == MailFolderType; });
    const QString destination = m_dir.filePath(QStringLiteral("many"));
    QVERIFY(QDir().mkpath(destination));
    QSignalSpy progress(workflow()->savingThread(), &QMailSavingThread::progressCounts);
    QElapsedTimer took;
    took.start();
    QCOMPARE(save(destination), QStringList{QStringLiteral("Files Saved Successfully.")});
    const qint64 elapsed = took.elapsed();
    QVERIFY2(progress.count() <= elapsed / kProgressIntervalMs + 2,
             qPrintable(QStringLiteral("%1 reports in %2 ms").arg(progress.count()).arg(elapsed)));
    QVERIFY(progress.count() < 400);
    QCOMPARE(progress.last().at(0).value<SaveProgress>().done, MailItemCount);
    QCOMPARE(workflow()->progressDialog()->progressBar()->value(), int(MailItemCount));
}

// Stopped through the progress dialog before its first item: the message and the
// rescue report say the save was stopped and count, per folder, what it left unwritten.
void SaveWorkflowTest::stoppedSaveSaysWhatItLeftUnwritten()
{
    checkFolders([](const FolderAttribute &record) { return record.folderId != llRootId; });
    const QString destination = m_dir.filePath(QStringLiteral("stopped"));
    QVERIFY(QDir().mkpath(destination));
    bool stopClicked = false;
    connect(workflow()->savingThread(), &QMailSavingThread::progressCounts, this, [&] {
        if (stopClicked)
            return;
        stopClicked = true;
        workflow()->progressDialog()->stopButton()->click();
    }, Qt::BlockingQueuedConnection);
    QStringList details;
    const QStringList texts = save(destination, QMessageBox::Yes, BundleFormat::Standard, &details);
    QVERIFY(stopClicked);
    QCOMPARE(texts, QStringList({QStringLiteral("Process cannot be resumed from the current stage."),
                                 QStringLiteral("Saving Process Aborted. Files Saved Partially.")}));
    const qint64 all = MailItemCount + ContactItemCount + CalendarItemCount + TaskItemCount + NotesItemCount;
    QVERIFY(details.last().contains(QStringLiteral("Not written, since the save was stopped: %1 of %1 items").arg(all)));

    QFile reportFile(destination + QStringLiteral("/intact (rescued)/Rescue report.txt"));
    QVERIFY(reportFile.open(QIODevice::ReadOnly));
    const QString report = QString::fromUtf8(reportFile.readAll());
    QVERIFY2(!report.contains(QStringLiteral("everything the scan found was written")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("The save was stopped before it ended: %1 of %1 items were not written").arg(all)));
    // Per folder: the mails of each mail folder and every contact, counted apart.
    const QString unwritten = report.section(QStringLiteral("Not written because the save was stopped, per folder:\n"), 1)
                                  .section(QStringLiteral("\n\n"), 0, 0);
    qint64 mails = 0, contacts = 0;
    for (const QString &line : unwritten.split(QLatin1Char('\n'))) {
        const QStringList words = line.section(QStringLiteral(": "), -1).split(QLatin1Char(' '));
        if (words.value(1) == QLatin1String("mails"))
            mails += words.first().toLongLong();
        if (words.value(1) == QLatin1String("contacts"))
            contacts += words.first().toLongLong();
    }
    QCOMPARE(mails, MailItemCount);
    QCOMPARE(contacts, ContactItemCount);
}

// A scan stopped once it found its first mails: the save of what it found is no
// success, and its message says how far the scan got.
void SaveWorkflowTest::saveAfterStoppedScanSaysHowFarTheScanGot()
{
    FolderInformation parsers;
    WalkHooks hooks;
    // Handed on, a mail is parsed by the time the walk ends, on whichever thread.
    bool mailHandedOn = false;
    hooks.dispatched = [&mailHandedOn](const DispatchedEntry &entry) {
        mailHandedOn = mailHandedOn || entry.kind == DocumentKind::Mail;
    };
    hooks.stopRequested = [&mailHandedOn] { return mailHandedOn; };
    QCOMPARE(int(scanFile(m_strDatabasePath, parsers, hooks)), int(ScanResult::Stopped));
    const qint64 stoppedAt = dwOffset;
    finishScan();
    QVERIFY(MailItemCount > 0);
    checkFolders(isMailFolder);
    const QString destination = m_dir.filePath(QStringLiteral("after a stopped scan"));
    QVERIFY(QDir().mkpath(destination));
    const QStringList texts = save(destination);
    QCOMPARE(texts.size(), 1);
    QVERIFY2(!texts.first().contains(QStringLiteral("Successfully")), qPrintable(texts.first()));
    QVERIFY2(texts.first().contains(QStringLiteral("%1 % of the OLM file").arg(stoppedAt * 100 / lSize)), qPrintable(texts.first()));
    QCOMPARE(workflow()->savingThread()->lastReport().written[size_t(ItemKind::Mail)], MailItemCount);

    // A whole scan of the same file again ends in success.
    QCOMPARE(int(scanFile(m_strDatabasePath, parsers, WalkHooks())), int(ScanResult::Finished));
    checkFolders(isMailFolder);
    const QString again = m_dir.filePath(QStringLiteral("after a whole scan"));
    QVERIFY(QDir().mkpath(again));
    QCOMPARE(save(again), QStringList{QStringLiteral("Files Saved Successfully.")});
}

QTEST_MAIN(SaveWorkflowTest)
#include "test_saveworkflow.moc"
