#pragma once
// The Find OLM dialog: looks for .olm files on a volume or in a chosen folder, lists
// them as the walk finds them, and hands the chosen one to the browse window.
#include "platform/Volumes.h"

#include <QDialog>
#include <QList>
#include <QMovie>
#include <QPointer>
#include <atomic>

class QPSTSearchingThread;
class QTreeWidgetItem;

namespace Ui {
class SearchDlg;
}

// True from Start until the search ends or the user stops it; Close is refused meanwhile.
extern std::atomic<bool> bProcessRunningSearching;
// The path of the result row clicked last.
extern QString strSelectedPath;

class QSearchPSTFile : public QDialog
{
    Q_OBJECT
public:
    explicit QSearchPSTFile(QWidget *parent);
    ~QSearchPSTFile() override;

signals:
    void SendPathOfSelectedFile(QString path);
    void HideFindWindow();

public slots:
    void OnStopSearching();
    void StartFileSearch();
    void OnClearList();
    void OnClose();
    void OnSearchInFolder();
    void OnItemSelection(QTreeWidgetItem *item, int column);
    void OnOK();
    void OnFinshScanningProcess();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Escape closes the dialog the way Close does.
    void reject() override;

private:
    void ShowDisk();
    void AddResultRow(const QString &path);
    // Every column as wide as its widest text, the dialog wide enough to show them.
    void fitColumns();
    // Idle: Start, Find in Folder and the look-in choice; searching: only Stop.
    void SetSearching(bool searching);
    // Hides the dialog unless a search runs; false when it stays open.
    bool CloseUnlessSearching();

    Ui::SearchDlg *ui;
    QPointer<QPSTSearchingThread> m_pThread; // the running search; a finished thread deletes itself
    QList<Volume> m_volumes;
    QMovie m_scanMovie;
    // Tells the signals of the current search from late ones of a stopped search.
    quint64 m_searchNumber = 0;
};
