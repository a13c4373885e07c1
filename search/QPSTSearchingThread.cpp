#include "search/QPSTSearchingThread.h"

#include "platform/OlmSearch.h"

QPSTSearchingThread::QPSTSearchingThread(QObject *parent)
    : QThread(parent)
{
}

void QPSTSearchingThread::SetInitialSettings(const QString &startDirectory)
{
    m_startDirectory = startDirectory;
    m_bStopFlagSearching = false;
    start(QThread::LowPriority);
}

void QPSTSearchingThread::run()
{
    if (!m_bStopFlagSearching)
        StartSearch();
    emit FinshScanningProcess();
}

void QPSTSearchingThread::StartSearch()
{
    OlmSearchHooks hooks;
    hooks.stopRequested = [this] { return m_bStopFlagSearching.load(std::memory_order_relaxed); };
    hooks.found = [this](const QString &path) { emit FoundFile(path); };
    findOlmFiles(m_startDirectory, hooks);
}
