#pragma once
// Documents parsed on a pool of threads and committed on the caller's thread in the
// order they came, with the steps handed on between them (attachments, document ends,
// the walk's own losses) kept in their places. The queue holds a share of the room the
// record-memory watch has left, so memory stays bounded.
#include "parsers/ParsedDocument.h"

#include <QThreadPool>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class InOrderParsing
{
public:
    // commitDocument takes each parsed document, in order, on the caller's thread.
    InOrderParsing(int workers, std::function<void(ParsedDocument &)> commitDocument);
    ~InOrderParsing(); // waits for the parses under way; what is queued is dropped

    void addDocument(DocumentBytes document);
    void addStep(std::function<void()> step);
    // Commits what is ready at the head of the queue, without waiting.
    void commitReady();
    // Commits everything queued, waiting for the parses.
    void commitAll();
    // Drops everything queued: the sink took all it may keep.
    void dropQueued();
    // Steps added since the last call end where the walk stands now: a walk handing
    // on one thing at a time would have asked there whether to go on.
    void walkStandsAt(qint64 walkOffset);
    // Where the walk stood after the step whose commit filled record memory; -1 when
    // it has not filled, or that step's place is not known yet.
    qint64 filledAt() const { return m_filledAt; }

private:
    // Documents go to the workers a few at a time: a mail is parsed in microseconds, and
    // handing each on alone would cost more than its parse.
    struct Batch {
        std::vector<DocumentBytes> documents;
        std::vector<ParsedDocument> parsed; // filled by the worker, read once done is ready
        std::shared_future<void> done;      // valid once the batch is started
        qint64 bytes = 0;
    };
    struct Queued {
        std::shared_ptr<Batch> batch; // for a document: its batch and its place there
        int index = -1;
        std::function<void()> step;   // for anything else
        qint64 bytes = 0;
        qint64 walkOffset = -1; // where the walk stood after handing it on; -1 not yet known
    };
    void startBatch();
    void commitHead();
    // Commits from the head until bytes more fit the queue.
    void waitForRoom(qint64 bytes);
    // Record memory filled with the step the walk handed on at walkOffset (-1 not known yet).
    void fill(qint64 walkOffset);

    std::function<void(ParsedDocument &)> m_commitDocument;
    QThreadPool m_pool;
    std::deque<Queued> m_queue;
    std::shared_ptr<Batch> m_openBatch; // collecting documents, not started yet
    qint64 m_queuedBytes = 0;
    int m_entryBudget = 0;
    size_t m_unplaced = 0; // entries at the queue's end whose walk offset is not known yet
    bool m_filled = false;
    qint64 m_filledAt = -1;
    bool m_filledAtNextPlace = false;
    bool m_walkMovedOnSinceFill = false;
};

// Parsing threads for a scan: MENDORA_SCAN_WORKERS when set to a number from 1 up,
// otherwise one per core.
int scanWorkerCount();
