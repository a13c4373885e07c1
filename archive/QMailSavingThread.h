#pragma once
// The saving thread: one pass over the checked folders of the folder attribute
// list per save, writing straight into the bundle that CreateMailFolder made.
#include "archive/SaveBundle.h"

#include <QMetaType>
#include <QString>
#include <QThread>

extern QString saveDir;        // the destination directory the user chose
extern QString strTime;        // the bundle name's time stamp, "(6 Dec 2026,21-50-07)"
extern qint64 SizeOfAllMails;  // items to write, counted before the save starts

// The saving thread reports its progress no more often than this: one event per
// item would cost a save of small mails more time than the writing.
constexpr int kProgressIntervalMs = 100;

class QMailSavingThread : public QThread
{
    Q_OBJECT
public:
    explicit QMailSavingThread(QObject *parent = nullptr);
    ~QMailSavingThread() override;

    // Starts a save of the checked folders from the scanned file at olmPath into
    // saveDir's bundle; refused while a save runs.
    void SetInitialSettings(const QString &olmPath);
    // What the next saves write and where: the bundle at saveDir and strTime (the
    // default, path empty), or the standard files in path.
    void setOutput(BundleFormat format, const QString &path);
    // What the next saves take: the mails of every folder that the filter takes, or with
    // an empty filter (the default) the checked folders.
    void setMailFilter(const MailFilter &filter) { m_filter = filter; }
    // For PDF: what makes the pages (it must outlive the save), and whether each folder's
    // mails share one document.
    void setPrinter(MailPrinter *printer, bool perFolder);
    // What the last save wrote and what it could not; read after it finished.
    const SaveReport &lastReport() const { return m_report; }

signals:
    void OnInitialSettingsMainWindow(unsigned int items);
    void OnFinishScanning();
    // Where the save is, at most every kProgressIntervalMs, and once more at its end.
    void progressCounts(const SaveProgress &progress);
    void OnFinishScanningMainWindow();
    void strInfo(const QString &caption);
    // An item that could not be written, or was written incomplete.
    void logLine(const QString &line);

protected:
    void run() override;

private:
    QString m_olmPath;
    BundleFormat m_format = BundleFormat::Entourage;
    QString m_outputPath;
    MailFilter m_filter;
    MailPrinter *m_printer = nullptr;
    bool m_pdfPerFolder = false;
    SaveReport m_report;
};

Q_DECLARE_METATYPE(SaveProgress)
