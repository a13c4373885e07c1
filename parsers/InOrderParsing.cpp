#include "parsers/InOrderParsing.h"

#include "olm/ScanMemory.h"

#include <QRunnable>
#include <QThread>

namespace {
// Enough queued for every worker to find a document waiting, little beside the records:
// at most this, and at most this share of the room the record-memory watch has left.
constexpr qint64 kLargestQueuedBytes = qint64(64) << 20;
constexpr qint64 kShareOfRoomLeft = 8;
constexpr int kQueuedPerWorker = 64;
// A batch is started at this many documents or bytes, whichever comes first.
constexpr size_t kBatchDocuments = 16;
constexpr qint64 kBatchBytes = qint64(1) << 20;
// A queued step beside its bytes: its future, its function, the result's items.
constexpr qint64 kQueuedStepOverhead = 256;

class ParseTask : public QRunnable
{
public:
    explicit ParseTask(std::packaged_task<void()> task) : m_task(std::move(task)) {}
    void run() override { m_task(); }

private:
    std::packaged_task<void()> m_task;
};
} // namespace

int scanWorkerCount()
{
    bool ok = false;
    const int chosen = qEnvironmentVariableIntValue("MENDORA_SCAN_WORKERS", &ok);
    if (ok && chosen >= 1)
        return chosen;
    return qMax(1, QThread::idealThreadCount());
}

InOrderParsing::InOrderParsing(int workers, std::function<void(ParsedDocument &)> commitDocument)
    : m_commitDocument(std::move(commitDocument))
{
    m_pool.setMaxThreadCount(workers);
    m_entryBudget = kQueuedPerWorker * workers;
}

InOrderParsing::~InOrderParsing()
{
    dropQueued();
    m_pool.waitForDone();
}

void InOrderParsing::waitForRoom(qint64 bytes)
{
    // The queue takes a share of the room the watch has left, without being counted in it,
    // so that what the watch refuses is the same however many workers parse.
    const qint64 roomLeft = qMax<qint64>(0, qMin(recordMemoryLimit - recordMemoryInUse,
                                                 residentMemoryLimit - residentMemoryInUse));
    const qint64 byteBudget = qMin(kLargestQueuedBytes, roomLeft / kShareOfRoomLeft);
    while (!m_queue.empty() && (m_queuedBytes + bytes > byteBudget || int(m_queue.size()) >= m_entryBudget))
        commitHead();
}

void InOrderParsing::addDocument(DocumentBytes document)
{
    // Past the fill a walk handing on one thing at a time parses nothing more.
    if (m_filled)
        return;
    const qint64 bytes = document.bytes.size() + kQueuedStepOverhead;
    waitForRoom(bytes);
    if (m_filled)
        return;
    if (!m_openBatch)
        m_openBatch = std::make_shared<Batch>();
    Queued queued;
    queued.batch = m_openBatch;
    queued.index = int(m_openBatch->documents.size());
    queued.bytes = bytes;
    m_openBatch->documents.push_back(std::move(document));
    m_openBatch->bytes += bytes;
    m_queue.push_back(std::move(queued));
    m_queuedBytes += bytes;
    ++m_unplaced;
    if (m_openBatch->documents.size() >= kBatchDocuments || m_openBatch->bytes >= kBatchBytes)
        startBatch();
    commitReady();
}

void InOrderParsing::startBatch()
{
    std::shared_ptr<Batch> batch = std::move(m_openBatch);
    std::packaged_task<void()> task([batch] {
        batch->parsed.reserve(batch->documents.size());
        for (DocumentBytes &document : batch->documents)
            batch->parsed.push_back(parseDocument(std::move(document)));
    });
    batch->done = task.get_future().share();
    m_pool.start(new ParseTask(std::move(task)));
}

void InOrderParsing::addStep(std::function<void()> step)
{
    if (!m_filled)
        waitForRoom(kQueuedStepOverhead);
    // Until the walk next asks whether to go on, it still hands on the rest of its step.
    if (m_filled) {
        if (!m_walkMovedOnSinceFill)
            step();
        return;
    }
    Queued queued;
    queued.bytes = kQueuedStepOverhead;
    queued.step = std::move(step);
    m_queue.push_back(std::move(queued));
    ++m_unplaced;
    commitReady();
}

void InOrderParsing::commitHead()
{
    Queued head = std::move(m_queue.front());
    m_queue.pop_front();
    if (m_unplaced > m_queue.size())
        m_unplaced = m_queue.size();
    m_queuedBytes -= head.bytes;
    if (head.batch) {
        if (head.batch == m_openBatch)
            startBatch();
        head.batch->done.get();
        m_commitDocument(head.batch->parsed[size_t(head.index)]);
        head.batch->parsed[size_t(head.index)] = ParsedDocument(); // its bytes are no longer needed
    } else {
        head.step();
    }
    if (recordMemoryFull && !m_filled)
        fill(head.walkOffset);
}

void InOrderParsing::fill(qint64 walkOffset)
{
    m_filled = true;
    m_filledAt = walkOffset;
    m_filledAtNextPlace = walkOffset < 0;
    // A step whose place is known lies behind the walk: what comes now is a later step.
    m_walkMovedOnSinceFill = walkOffset >= 0;
    // What the walk handed on in the same step as the filling document still happens,
    // but for documents, whose items find no room; the rest of the queue never would.
    std::deque<Queued> rest;
    rest.swap(m_queue);
    // Batches under way finish on their own: nothing they touch is shared.
    m_openBatch.reset();
    for (Queued &queued : rest)
        if (!queued.batch && queued.walkOffset == walkOffset)
            queued.step();
    m_queuedBytes = 0;
    m_unplaced = 0;
}

void InOrderParsing::commitReady()
{
    while (!m_filled && !m_queue.empty()) {
        const Queued &head = m_queue.front();
        if (head.batch && (head.batch == m_openBatch
                           || head.batch->done.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
            return;
        commitHead();
    }
}

void InOrderParsing::commitAll()
{
    while (!m_filled && !m_queue.empty())
        commitHead();
}

void InOrderParsing::dropQueued()
{
    m_openBatch.reset();
    m_queue.clear();
    m_queuedBytes = 0;
    m_unplaced = 0;
}

void InOrderParsing::walkStandsAt(qint64 walkOffset)
{
    if (m_filled)
        m_walkMovedOnSinceFill = true;
    if (m_filledAtNextPlace) {
        m_filledAtNextPlace = false;
        m_filledAt = walkOffset;
    }
    for (size_t k = m_queue.size() - m_unplaced; k < m_queue.size(); ++k)
        m_queue[k].walkOffset = walkOffset;
    m_unplaced = 0;
}
