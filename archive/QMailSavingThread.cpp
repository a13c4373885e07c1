#include "archive/QMailSavingThread.h"

#include "archive/BundleLayout.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"

#include <QElapsedTimer>

QString saveDir;
QString strTime;
qint64 SizeOfAllMails = 0;

QMailSavingThread::QMailSavingThread(QObject *parent) : QThread(parent)
{
    bStopFlag = false;
    qRegisterMetaType<SaveProgress>();
}

QMailSavingThread::~QMailSavingThread()
{
    if (isRunning()) {
        stopflag = true; // the save ends after the item it is writing
        wait();
    }
}

void QMailSavingThread::SetInitialSettings(const QString &olmPath)
{
    // A save runs to its end or until its own Stop: a second request never cuts it short.
    if (isRunning())
        return;
    bStopFlag = false;
    stopflag = false; // a stopped scan must not make this save look aborted
    m_olmPath = olmPath;
    start(QThread::LowPriority);
}

void QMailSavingThread::setOutput(BundleFormat format, const QString &path)
{
    m_format = format;
    m_outputPath = path;
}

void QMailSavingThread::setPrinter(MailPrinter *printer, bool perFolder)
{
    m_printer = printer;
    m_pdfPerFolder = perFolder;
}

void QMailSavingThread::run()
{
    bProcessRunning = true;
    m_report = SaveReport();
    if (!bStopFlag && StartFldrAtrib) {
        emit OnInitialSettingsMainWindow(static_cast<unsigned int>(SizeOfAllMails));
        const FileTextReader olm(fileDescriptor, lSize);
        SaveRequest request;
        request.bundlePath = m_outputPath.isEmpty() ? bundlePathFor(saveDir, strTime) : m_outputPath;
        request.format = m_format;
        request.folders = m_filter.isEmpty() ? checkedFolders() : foldersAtOrBelow({llRootId});
        request.filter = &m_filter;
        request.olm = &olm;
        request.printer = m_printer;
        request.pdfPerFolder = m_pdfPerFolder;
        SaveHooks hooks;
        hooks.caption = [this](const QString &caption) { emit strInfo(caption); };
        QElapsedTimer sinceReport;
        SaveProgress unreported;
        bool pending = false;
        hooks.progress = [&](const SaveProgress &progress) {
            if (sinceReport.isValid() && sinceReport.elapsed() < kProgressIntervalMs) {
                unreported = progress;
                pending = true;
                return;
            }
            sinceReport.start();
            pending = false;
            emit progressCounts(progress);
        };
        hooks.stopRequested = [] { return bool(stopflag) || bool(bStopFlag); };
        hooks.log = [this](const QString &line) { emit logLine(line); };
        m_report = saveBundle(request, hooks);
        if (pending)
            emit progressCounts(unreported);
    }
    if (!stopflag)
        emit OnFinishScanning();
    bStopFlag = false;
    bProcessRunning = false;
}
