#include "app/SaveWorkflow.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "app/SaveFormatDialog.h"
#include "app/UploadAccountDialog.h"
#include "app/UploadThread.h"
#include "browse/MailSearchPane.h"
#include "archive/BundleLayout.h"
#include "archive/QMailSavingThread.h"
#include "archive/StandardFiles.h"
#include "browse/SizeText.h"
#include "log/QLogReport.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"
#include "pdf/PdfMailPrinter.h"
#include "scan/ScanSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSysInfo>
#include <QTreeWidget>
#include <climits>

namespace {
// Titles say what a window is for; the window system adds the application's name.
const char kTitle[] = QT_TRANSLATE_NOOP("SaveWorkflow", "Save");
const char kUploadTitle[] = QT_TRANSLATE_NOOP("SaveWorkflow", "Upload");

// What each format writes, as the messages and the log name it.
struct FormatWords {
    const char *files;     // "standard files"
    const char *label;     // "Standard files: %1", with the output's path
    const char *completed; // the log's record of a save's end
    const char *aborted;
};
const FormatWords &wordsFor(BundleFormat format)
{
    static const FormatWords kWords[] = {
        {QT_TRANSLATE_NOOP("SaveWorkflow", "bundle"), QT_TRANSLATE_NOOP("SaveWorkflow", "Bundle: %1"),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Completed Saving Main Identity.rge File ."),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Aborted Saving Main Identity.rge File .")},
        {QT_TRANSLATE_NOOP("SaveWorkflow", "standard files"), QT_TRANSLATE_NOOP("SaveWorkflow", "Standard files: %1"),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Completed Saving Standard Files ."),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Aborted Saving Standard Files .")},
        {QT_TRANSLATE_NOOP("SaveWorkflow", "EML files"), QT_TRANSLATE_NOOP("SaveWorkflow", "EML files: %1"),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Completed Saving EML Files ."),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Aborted Saving EML Files .")},
        {QT_TRANSLATE_NOOP("SaveWorkflow", "PDF files"), QT_TRANSLATE_NOOP("SaveWorkflow", "PDF files: %1"),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Completed Saving PDF Files ."),
         QT_TRANSLATE_NOOP("SaveWorkflow", "Aborted Saving PDF Files .")},
    };
    return kWords[int(format)];
}
QString filesWord(BundleFormat format) { return QCoreApplication::translate("SaveWorkflow", wordsFor(format).files); }
QString outputLabel(BundleFormat format) { return QCoreApplication::translate("SaveWorkflow", wordsFor(format).label); }

// How far the scan got, for the end of a save or an upload; empty after a whole scan.
QString incompleteScanLine()
{
    const ScanExtent scan = lastScanExtent();
    if (scan.whole)
        return QString();
    return SaveWorkflow::tr("The scan was incomplete: it read %1 % of the OLM file (%2 of %3). Items after that "
                            "point were not found and are not saved.")
        .arg(scan.percent())
        .arg(sizeText(scan.reached), sizeText(scan.fileSize));
}
} // namespace

SaveWorkflow::SaveWorkflow(QEntourageMainWindow *window)
    : QObject(window), m_window(window), m_thread(new QMailSavingThread(this))
{
    connect(m_thread, &QMailSavingThread::OnInitialSettingsMainWindow, this, &SaveWorkflow::SetInitialSettingsForMail);
    connect(m_thread, &QMailSavingThread::progressCounts, this, &SaveWorkflow::showSaveProgress);
    connect(m_thread, &QMailSavingThread::strInfo, this, &SaveWorkflow::OnStrInfo);
    connect(m_thread, &QMailSavingThread::OnFinishScanning, this, &SaveWorkflow::SetFinishSettings);
    connect(m_thread, &QMailSavingThread::logLine, this, [](const QString &line) {
        if (m_pLogDlg)
            m_pLogDlg->AppendLog(line);
    });
    connect(m_thread, &QThread::finished, this, &SaveWorkflow::onThreadFinished);
    // The next Save takes the checked folders again.
    connect(this, &SaveWorkflow::saveEnded, this, [this] { m_search = MailFilter(); });
}

SaveWorkflow::~SaveWorkflow()
{
    // The thread is a child; its destructor stops the save and waits for it.
    m_thread->disconnect(this);
    if (m_upload) {
        // The upload stops after the mail it is sending.
        m_upload->disconnect(this);
        stopflag = true;
        m_upload->wait();
    }
}

void SaveWorkflow::OnSavingFiles()
{
    // Save is disabled while a save runs; a request that arrives anyway must not
    // disturb the running one.
    if (saveRunning()) {
        if (m_pLogDlg)
            m_pLogDlg->AppendLog(tr("A second save was refused: a save is running."));
        return;
    }
    bool formatChosen = false;
    for (;;) {
        if (bStopFlag)
            return;
        if (m_search.isEmpty()
            && (!StartFldrAtrib || (StartFldrAtrib->state != CheckedCode && StartFldrAtrib->state != PartiallyCheckedCode))) {
            QMessageBox::information(m_window, tr(kTitle), tr("Select a folder to save."));
            emit saveEnded();
            return;
        }
        if (!formatChosen && !chooseFormat()) {
            emit saveEnded();
            return;
        }
        if (m_uploadChosen) {
            startUpload();
            return;
        }
        formatChosen = true;
        strTime = bundleTimeStamp(QDateTime::currentDateTime());
        SizeOfAllMails = m_search.isEmpty() ? countItemsToSave(checkedFolders()) : m_searchMails;
        saveDir = QFileDialog::getExistingDirectory(m_window, tr("Select Folder"), QStringLiteral("/root"),
                                                    QFileDialog::ShowDirsOnly);
        const bool accepted = !saveDir.isEmpty() && OnBrowseBtn();
        if (!accepted) {
            emit saveEnded();
            return;
        }
        if (m_format != BundleFormat::Entourage) {
            bool askAgain = false;
            if (prepareStandardFiles(&askAgain))
                break;
            if (askAgain)
                continue;
            emit saveEnded();
            return;
        }
        const QString bundle = bundlePathFor(saveDir, strTime);
        if (!QFileInfo(bundle).isDir()) {
            m_replaceBundle = false;
            break;
        }
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            m_window, tr(kTitle), tr("Main Identity.rge already exists at this location,Do you want to replace it?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            // The new bundle is written beside the old one, which it replaces only when
            // every item was written.
            m_window->SetSaveActionsEnabled(false);
            m_replaceBundle = true;
            break;
        }
    }
    if (m_format == BundleFormat::Entourage) {
        m_outputPath = bundlePathFor(saveDir, strTime);
        QString error;
        if (!m_place.begin(m_outputPath, m_replaceBundle, m_strDatabasePath, &error)
            || !CreateMailFolder(m_place.directory(), &error)) {
            QMessageBox::warning(m_window, tr(kTitle),
                                 tr("The bundle could not be created at this location:\n%1\nSelect a different location to proceed.")
                                     .arg(error));
            m_window->SetSaveActionsEnabled(true);
            emit saveEnded();
            return;
        }
    }
    m_abortPending = false;
    lockWindow(true);
    m_thread->setOutput(m_format, m_place.writePath());
    m_thread->setMailFilter(m_search);
    if (m_format == BundleFormat::Pdf && !m_printer)
        m_printer = std::make_unique<PdfMailPrinter>();
    m_thread->setPrinter(m_printer.get(), m_pdfPerFolder);
    m_thread->SetInitialSettings(m_strDatabasePath);
}

void SaveWorkflow::saveSearchResults(const MailFilter &search, qint64 mails)
{
    if (saveRunning())
        return;
    m_search = search;
    m_searchMails = mails;
    OnSavingFiles();
}

void SaveWorkflow::uploadSearchResults(const MailFilter &search)
{
    if (saveRunning())
        return;
    m_search = search;
    startUpload();
}

QString SaveWorkflow::searchLine() const
{
    return m_search.isEmpty() ? QString() : tr("Only the mails %1").arg(m_search.description());
}

bool SaveWorkflow::chooseFormat()
{
    SaveFormatDialog dialog(m_window);
    dialog.setFormat(m_format);
    dialog.setPdfPerFolder(m_pdfPerFolder);
    dialog.setUploadChosen(m_uploadChosen);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_uploadChosen = dialog.uploadChosen();
    if (!m_uploadChosen) {
        m_format = dialog.format();
        m_pdfPerFolder = dialog.pdfPerFolder();
    }
    return true;
}

UploadThread *SaveWorkflow::uploadThread() const
{
    return m_upload;
}

void SaveWorkflow::startUpload()
{
    UploadAccountDialog dialog(m_window);
    if (dialog.exec() != QDialog::Accepted) {
        emit saveEnded();
        return;
    }
    MailUploadRequest request;
    request.account = dialog.account();
    request.root = defaultUploadRoot(m_strDatabasePath);
    const QVector<SaveFolder> checked = m_search.isEmpty() ? checkedFolders() : foldersAtOrBelow({llRootId});
    request.folderIds = mailFolderIds(checked);
    request.filter = m_search;
    // A search chooses mails only: its upload carries nothing else.
    request.notes = m_search.isEmpty() && includesKind(checked, ItemKind::Note) && NotesItemCount > 0;
    // Contacts, events and tasks go where the form names a collection for them; the
    // kinds checked without one are named at the end.
    QVector<DavUploadRequest> collections;
    QStringList notSent;
    const struct {
        DavCollection collection;
        QString address;
        QVector<ItemKind> kinds;
    } targets[] = {{DavCollection::Contacts, dialog.contactsAddress(), {ItemKind::Contact}},
                   {DavCollection::Calendar, dialog.calendarAddress(), {ItemKind::Event, ItemKind::Task}}};
    for (const auto &target : targets) {
        if (!m_search.isEmpty())
            break;
        QStringList held;
        for (const ItemKind kind : target.kinds)
            if (itemCountOf(kind) > 0 && includesKind(checked, kind))
                held << QStringLiteral("%1 %2").arg(itemCountOf(kind)).arg(tr(itemKindName(kind)));
        if (held.isEmpty())
            continue;
        if (target.address.isEmpty()) {
            notSent += held;
            continue;
        }
        DavUploadRequest collection;
        collection.url = target.address;
        collection.collection = target.collection;
        collection.user = request.account.user;
        collection.password = request.account.password;
        collection.caFile = request.account.caFile;
        collection.allowPlain = request.account.security == ImapSecurity::None;
        collection.folders = checked;
        collections.append(collection);
    }
    m_notUploadedKinds = notSent.join(QLatin1String(", "));
    if (m_upload)
        m_upload->deleteLater();
    m_upload = new UploadThread(request, collections, this);
    connect(m_upload, &UploadThread::itemsCounted, this, [this](unsigned int items, const QString &caption) {
        SetInitialSettingsForMail(items);
        OnStrInfo(caption);
    });
    connect(m_upload, &UploadThread::itemDone, this, &SaveWorkflow::SetProgressValueForMail);
    connect(m_upload, &QThread::finished, this, &SaveWorkflow::onUploadFinished);
    m_abortPending = false;
    stopflag = false;
    bProcessRunning = true;
    lockWindow(true);
    m_upload->start(QThread::LowPriority);
}

void SaveWorkflow::onUploadFinished()
{
    bProcessRunning = false;
    m_abortPending = false;
    enableControlsAfterSave();
    const MailUploadReport &report = m_upload->report();
    QStringList notUploaded = report.notUploaded;
    for (const DavUploadReport &collection : m_upload->collectionReports())
        notUploaded += collection.notUploaded;
    for (const QString &line : notUploaded)
        if (m_pLogDlg)
            m_pLogDlg->AppendLog(QStringLiteral("Not uploaded: ") + line);
    if (!report.failure.isEmpty()) {
        QString text = report.failure;
        if (!report.untrustedCertificate.isEmpty())
            text += tr("\nIf this is the server's own certificate, choose its file as \"Certificate file\" in the "
                       "upload form to trust it.");
        QMessageBox::warning(m_window, tr(kUploadTitle), text);
    } else {
        QStringList lines{tr("Uploaded: %1 mails (%2 already there)").arg(report.uploaded).arg(report.alreadyThere)};
        if (!m_search.isEmpty())
            lines << searchLine();
        if (m_upload->request().notes)
            lines << tr("Uploaded: %1 notes into \"%2\" (%3 already there)")
                         .arg(report.notesUploaded)
                         .arg((m_upload->request().root + QStringList{QStringLiteral("Notes")}).join(QLatin1Char('/')))
                         .arg(report.notesAlreadyThere);
        bool failed = false;
        bool stopped = report.stopped;
        for (int i = 0; i < m_upload->collectionReports().size(); ++i) {
            const DavUploadReport &collection = m_upload->collectionReports().at(i);
            const bool contacts = m_upload->collections().at(i).collection == DavCollection::Contacts;
            failed = failed || !collection.failure.isEmpty();
            stopped = stopped || collection.stopped;
            lines << (!collection.failure.isEmpty() ? collection.failure
                      : contacts ? tr("Uploaded: %1 contacts (%2 replaced)")
                                       .arg(collection.created + collection.replaced)
                                       .arg(collection.replaced)
                                 : tr("Uploaded: %1 events and tasks (%2 replaced)")
                                       .arg(collection.created + collection.replaced)
                                       .arg(collection.replaced));
        }
        const QString scanLine = incompleteScanLine();
        if (!scanLine.isEmpty())
            lines << scanLine;
        if (!m_notUploadedKinds.isEmpty())
            lines << tr("Not sent, since the form names no address for them: %1. Contacts go to a CardDAV address "
                        "book, events and tasks to a CalDAV calendar.")
                         .arg(m_notUploadedKinds);
        if (stopped)
            lines << tr("The upload was stopped; uploading again goes on where it stopped.");
        if (!notUploaded.isEmpty())
            lines << tr("%1 items could not be uploaded.\nThe log window names each of them.").arg(notUploaded.size());
        const QString text = lines.join(QLatin1Char('\n'));
        if (notUploaded.isEmpty() && !stopped && !failed && scanLine.isEmpty() && m_notUploadedKinds.isEmpty())
            QMessageBox::information(m_window, tr(kUploadTitle), text);
        else
            QMessageBox::warning(m_window, tr(kUploadTitle), text);
    }
    bStopFlag = false;
    stopflag = false;
    emit saveEnded();
}

bool SaveWorkflow::prepareStandardFiles(bool *askAgain)
{
    m_outputPath = filesOutputPath(m_format, saveDir, m_strDatabasePath);
    const QFileInfo existing(m_outputPath);
    bool replace = false;
    if (existing.exists() || existing.isSymLink()) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            m_window, tr(kTitle), tr("\"%1\" already exists at this location, Do you want to replace it?").arg(existing.fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            *askAgain = true;
            return false;
        }
        replace = true;
    }
    QString error;
    if (!m_place.begin(m_outputPath, replace, m_strDatabasePath, &error)) {
        QMessageBox::warning(m_window, tr(kTitle),
                             tr("The %1 could not be created at this location:\n%2\nSelect a different location to proceed.")
                                 .arg(filesWord(m_format), error));
        m_window->SetSaveActionsEnabled(true);
        return false;
    }
    return true;
}

bool SaveWorkflow::OnBrowseBtn()
{
    const QString version = QSysInfo::productVersion().trimmed();
    const bool restrictedSystem = version.contains(QLatin1String("10.15"), Qt::CaseInsensitive)
                                  || version.contains(QLatin1String("10.16"), Qt::CaseInsensitive)
                                  || version.contains(QLatin1String("10.17"), Qt::CaseInsensitive);
    if (restrictedSystem && QFileInfo(saveDir).absolutePath().trimmed().compare(QLatin1String("/"), Qt::CaseInsensitive) == 0) {
        QMessageBox::information(m_window, tr(kTitle),
                                 tr("Selected destination path is read-only (restricted by the operating system).\n"
                                    "Select a different location to proceed."));
        return false;
    }
    return true;
}

bool SaveWorkflow::saveRunning() const
{
    return m_saving || m_thread->isRunning();
}

void SaveWorkflow::lockWindow(bool locked)
{
    m_saving = locked;
    // What is saved is what the screen shows: boxes, lists and views stay as they are.
    m_window->SetSaveActionsEnabled(!locked);
    m_window->SetOpenActionsEnabled(!locked);
    m_window->SetViewControlsEnabled(!locked);
    m_window->folderTree()->setEnabled(!locked);
    m_window->itemList()->setEnabled(!locked);
    m_window->mailSearch()->setLocked(locked);
}

void SaveWorkflow::SetInitialSettingsForMail(unsigned int items)
{
    m_window->ClearPreviewPanes();
    lockWindow(true);
    if (m_progress)
        m_progress->deleteLater();
    m_progress = new QProgressInfo(m_window);
    connect(m_progress, &QProgressInfo::OnAbort, this, &SaveWorkflow::OnAbortSettings);
    const bool uploading = m_upload && m_upload->isRunning();
    m_progress->setWindowTitle(uploading ? tr("Uploading") : tr("Saving Files"));
    m_progress->setResumable(uploading);
    m_progress->caption()->setText(tr("Saving Files..."));
    m_progress->progressBar()->setRange(0, int(qMin<quint64>(items, INT_MAX)));
    m_progress->progressBar()->setValue(0);
    m_progress->show();
}

void SaveWorkflow::SetProgressValueForMail()
{
    if (!m_progress)
        return;
    QProgressBar *bar = m_progress->progressBar();
    bar->setValue(bar->value() + 1);
    m_progress->showCounts(tr("%1 of %2 mails").arg(countText(bar->value()), countText(bar->maximum())), QString());
}

void SaveWorkflow::showSaveProgress(const SaveProgress &progress)
{
    if (!m_progress)
        return;
    QProgressBar *bar = m_progress->progressBar();
    bar->setMaximum(int(qMin<qint64>(progress.total, INT_MAX)));
    bar->setValue(int(qMin<qint64>(progress.done, INT_MAX)));
    m_progress->showCounts(tr("%1 of %2 %3")
                               .arg(countText(progress.kindDone), countText(progress.kindTotal),
                                    tr(itemKindName(progress.kind))),
                           progress.folder);
}

void SaveWorkflow::OnStrInfo(const QString &caption)
{
    if (m_progress)
        m_progress->caption()->setText(caption);
}

void SaveWorkflow::enableControlsAfterSave()
{
    lockWindow(false);
    if (m_progress)
        m_progress->hide();
}

void SaveWorkflow::logRecord(const char *what, const char *when, const SaveReport &report)
{
    if (!m_pLogDlg)
        return;
    m_pLogDlg->AppendLog(tr(what));
    m_pLogDlg->AppendLog(tr(when) + QDate::currentDate().toString(Qt::TextDate) + QLatin1Char(',')
                         + QTime::currentTime().toString(Qt::TextDate));
    m_pLogDlg->AppendLog(m_outputPath);
    if (!m_search.isEmpty())
        m_pLogDlg->AppendLog(searchLine());
    m_pLogDlg->AppendLog(tr("Written: %1").arg(writtenCountsText(report)));
}

QString SaveWorkflow::outcomeDetails(const SaveReport &report) const
{
    QString details = outputLabel(m_format).arg(m_outputPath)
                      + QLatin1Char('\n') + tr("Written: %1").arg(writtenCountsText(report));
    if (!m_search.isEmpty())
        details += QLatin1Char('\n') + searchLine();
    const qint64 notWritten = report.itemsToWrite - report.writtenTotal();
    if (report.stopped && notWritten > 0) {
        details += QLatin1Char('\n') + tr("Not written, since the save was stopped: %1 of %2 items").arg(notWritten).arg(report.itemsToWrite);
        if (m_format != BundleFormat::Entourage)
            details += tr(" (\"%1\" lists them per folder)").arg(QLatin1String(kRescueReportName));
    }
    return details;
}

void SaveWorkflow::showOutcome(QMessageBox::Icon icon, const QString &text, const SaveReport &report)
{
    QMessageBox box(icon, tr(kTitle), text, QMessageBox::Ok, m_window);
    box.setInformativeText(outcomeDetails(report));
    box.exec();
}

void SaveWorkflow::SetFinishSettings()
{
    m_thread->wait(); // its running flag clears as run() returns
    const SaveReport &report = m_thread->lastReport();
    const bool stopped = report.stopped || bStopFlag;
    endOutputPlace(!stopped && report.notWritten.isEmpty());
    enableControlsAfterSave();
    if (stopped) {
        // Stopped other than through the progress dialog: still never a success.
        reportAborted(report);
    } else {
        logRecord(wordsFor(m_format).completed, QT_TR_NOOP("Completed on : "), report);
        if (!report.notWritten.isEmpty()) {
            showOutcome(QMessageBox::Warning,
                        tr("%1 of %2 items could not be saved.\nThe log window names each of them.")
                            .arg(report.notWritten.size())
                            .arg(report.notWritten.size() + report.writtenTotal()),
                        report);
        } else if (report.writtenTotal() == 0) {
            showOutcome(QMessageBox::Warning, tr("Nothing was saved: the checked folders hold no items."), report);
        } else if (!incompleteScanLine().isEmpty()) {
            // Every item found was written, but the scan did not see the whole file: no success.
            showOutcome(QMessageBox::Warning, tr("The items found were saved.") + QLatin1Char('\n') + incompleteScanLine(),
                        report);
        } else {
            showOutcome(QMessageBox::Information, tr("Files Saved Successfully."), report);
        }
    }
    bStopFlag = false;
    emit saveEnded();
}

void SaveWorkflow::OnAbortSettings()
{
    // The thread finishes the item it is writing first; the end is reported once it has.
    if (m_upload && m_upload->isRunning())
        return; // the upload reports its own end, stopped or not
    if (m_thread->isRunning()) {
        m_abortPending = true;
        return;
    }
    SetFinishSettingsforAbort();
}

void SaveWorkflow::onThreadFinished()
{
    if (m_abortPending) {
        m_abortPending = false;
        SetFinishSettingsforAbort();
    }
}

void SaveWorkflow::reportAborted(const SaveReport &report)
{
    logRecord(wordsFor(m_format).aborted, QT_TR_NOOP("Aborted on : "), report);
    showOutcome(QMessageBox::Information, tr("Saving Process Aborted. Files Saved Partially."), report);
}

void SaveWorkflow::endOutputPlace(bool everyItemWritten)
{
    QString note;
    m_place.end(everyItemWritten, &note);
    if (!note.isEmpty() && m_pLogDlg)
        m_pLogDlg->AppendLog(note);
}

void SaveWorkflow::SetFinishSettingsforAbort()
{
    endOutputPlace(false);
    enableControlsAfterSave();
    if (stopflag)
        reportAborted(m_thread->lastReport());
    stopflag = false;
    emit saveEnded();
}
