#pragma once
// The worker thread of the Find OLM dialog: one walk for .olm files per search.
#include <QThread>
#include <atomic>

class QPSTSearchingThread : public QThread
{
    Q_OBJECT
public:
    explicit QPSTSearchingThread(QObject *parent = nullptr);

    // Starts the walk of startDirectory at low priority.
    void SetInitialSettings(const QString &startDirectory);
    // The walk ends at the next directory entry. Each thread has its own flag, so a
    // stopped walk that is still winding down never ends the next search.
    void RequestStop() { m_bStopFlagSearching = true; }

signals:
    void FoundFile(const QString &path);
    void FinshScanningProcess();

protected:
    void run() override;

private:
    void StartSearch();

    QString m_startDirectory;
    std::atomic<bool> m_bStopFlagSearching{false};
};
