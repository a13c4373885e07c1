#pragma once
// Saving from the main window: selection check, item count, destination, replacing
// an existing bundle, the saving thread with its progress dialog, and the messages
// at the end. The main window owns one for its whole life.
#include "archive/OutputPlace.h"
#include "archive/SaveBundle.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <memory>

class QEntourageMainWindow;
class QMailSavingThread;
class QProgressInfo;
class UploadThread;

class SaveWorkflow : public QObject
{
    Q_OBJECT
public:
    explicit SaveWorkflow(QEntourageMainWindow *window);
    ~SaveWorkflow() override;

    QMailSavingThread *savingThread() const { return m_thread; }
    // The upload that runs or ran last; null before the first.
    UploadThread *uploadThread() const;
    // The progress dialog of the current or last save; null before the first.
    QProgressInfo *progressDialog() const { return m_progress; }

public slots:
    // Both Save actions.
    void OnSavingFiles();
    // Save results… and Upload results… of the search across every folder: the same
    // workflows for exactly the mails the search takes (mails of them found).
    void saveSearchResults(const MailFilter &search, qint64 mails);
    void uploadSearchResults(const MailFilter &search);
    // The destination check; false when the destination is refused.
    bool OnBrowseBtn();
    void SetInitialSettingsForMail(unsigned int items);
    // One more mail uploaded: the bar and its counts.
    void SetProgressValueForMail();
    // The bar, the counts of the kind at work and its folder.
    void showSaveProgress(const SaveProgress &progress);
    void OnStrInfo(const QString &caption);
    void SetFinishSettings();
    void OnAbortSettings();
    void SetFinishSettingsforAbort();

signals:
    // The save ended and its message was shown (or nothing was started).
    void saveEnded();

private:
    // True from the destination's acceptance until the save's end was reported.
    bool saveRunning() const;
    // Save, Open, the views, the folder tree and the item list, all off while a save runs.
    void lockWindow(bool locked);
    void enableControlsAfterSave();
    void logRecord(const char *what, const char *when, const SaveReport &report);
    // "Only the mails found by the search …" for a save or upload of search results; empty otherwise.
    QString searchLine() const;
    // Where the save wrote and how many items of each kind.
    QString outcomeDetails(const SaveReport &report) const;
    void showOutcome(QMessageBox::Icon icon, const QString &text, const SaveReport &report);
    void reportAborted(const SaveReport &report);
    // The format of this save, asked before the destination; false when cancelled.
    bool chooseFormat();
    // Makes the directory of the standard files in saveDir, asking before replacing an
    // existing one; false when there is none to save into (*askAgain: choose another place).
    bool prepareStandardFiles(bool *askAgain);
    void onThreadFinished();
    // Asks for the mail account and starts the upload of the checked mail folders.
    void startUpload();
    void onUploadFinished();
    // The output takes its place (or the old one is kept); what there is to say goes to the log.
    void endOutputPlace(bool everyItemWritten);

    QEntourageMainWindow *m_window;
    QMailSavingThread *m_thread;
    QPointer<QProgressInfo> m_progress;
    bool m_abortPending = false;
    bool m_saving = false;
    BundleFormat m_format = BundleFormat::Entourage; // the last choice is offered again
    bool m_pdfPerFolder = false;
    std::unique_ptr<MailPrinter> m_printer; // the PDF save's, kept while the thread may use it
    bool m_uploadChosen = false;
    QPointer<UploadThread> m_upload;
    QString m_notUploadedKinds; // checked items the form names no collection for: "10 contacts, 5 tasks"
    QString m_outputPath;                            // the bundle or the standard files' directory
    OutputPlace m_place;                             // where the thread writes m_outputPath
    bool m_replaceBundle = false;                    // the user agreed to replace a bundle of the same name
    MailFilter m_search;                             // of Save or Upload results…; empty for the checked folders
    qint64 m_searchMails = 0;
};
