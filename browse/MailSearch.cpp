#include "browse/MailSearch.h"

#include "archive/TextReader.h"
#include "browse/MailRowText.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"

#include <QElapsedTimer>
#include <climits>

namespace {
// Found mails are handed over at most this often: often enough to fill the list as one
// watches, seldom enough that the window is not kept busy with them.
constexpr int kDeliveryIntervalMs = 50;

SearchHit hitFor(const MailMLRC &mail)
{
    SearchHit hit;
    hit.mail = &mail;
    hit.sender = mailSenderText(mail);
    if (!mailDateSeconds(mail, &hit.date))
        hit.date = LLONG_MIN;
    hit.size = mailSize(mail);
    return hit;
}
} // namespace

MailSearch::MailSearch(QObject *parent) : QObject(parent)
{
    m_thread = std::thread([this] { work(); });
}

MailSearch::~MailSearch()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_pending.reset();
    }
    ++m_generation;
    m_wake.notify_all();
    m_thread.join();
}

void MailSearch::start(const MailFilter &filter)
{
    const quint64 generation = ++m_generation;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = Request{filter, generation};
    }
    m_searching = true;
    m_wake.notify_all();
}

void MailSearch::stop()
{
    ++m_generation;
    m_searching = false;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_pending.reset();
    m_wake.wait(lock, [this] { return !m_working; });
}

void MailSearch::work()
{
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_pending; });
            if (m_quit)
                return;
            request = *m_pending;
            m_pending.reset();
            m_working = true;
        }
        search(request);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_working = false;
        }
        m_wake.notify_all();
    }
}

void MailSearch::search(const Request &request)
{
    const FileTextReader olm(fileDescriptor, lSize);
    QVector<SearchHit> hits;
    QElapsedTimer sinceDelivery;
    qint64 examined = 0;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next, ++examined) {
        if (m_generation != request.generation)
            return;
        if (request.filter.matches(*mail, olm))
            hits.append(hitFor(*mail));
        // The first mail found is shown at once, the others in batches.
        if (!hits.isEmpty() && (!sinceDelivery.isValid() || sinceDelivery.elapsed() >= kDeliveryIntervalMs)) {
            deliver(&hits, request.generation, false, examined);
            sinceDelivery.start();
        }
    }
    deliver(&hits, request.generation, true, examined);
}

void MailSearch::deliver(QVector<SearchHit> *hits, quint64 generation, bool last, qint64 examined)
{
    QVector<SearchHit> batch;
    batch.swap(*hits);
    // Queued to the window's thread; a search started since makes the batch stale.
    QMetaObject::invokeMethod(
        this,
        [this, batch, generation, last, examined] {
            if (m_generation != generation)
                return;
            if (!batch.isEmpty())
                emit found(batch);
            if (last) {
                m_searching = false;
                emit finished(examined);
            }
        },
        Qt::QueuedConnection);
}
