#pragma once
// The search across every folder, run beside the window: a thread of its own walks the
// mail records with a MailFilter and hands what it finds to the window's thread in
// batches. A new search stops the one at work; it touches no widget.
#include "archive/MailFilter.h"

#include <QObject>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// A mail the search found, with what its row sorts by.
struct SearchHit {
    const MailMLRC *mail = nullptr;
    QString sender;
    qint64 date = 0; // seconds since the epoch; LLONG_MIN when the mail shows no time
    qint64 size = 0;
};

class MailSearch : public QObject
{
    Q_OBJECT
public:
    explicit MailSearch(QObject *parent = nullptr);
    ~MailSearch() override;

    // Searches every mail record for those the filter takes; the search at work stops
    // first, and what it found is no longer reported. Returns at once.
    void start(const MailFilter &filter);
    // Stops the search at work and returns once it has: the records may be freed then.
    void stop();
    // Started and neither finished nor stopped.
    bool isSearching() const { return m_searching; }

signals:
    // Mails found, in the order of the mail list; the first as soon as it is found.
    void found(const QVector<SearchHit> &hits);
    // Every mail was looked at; examined is how many.
    void finished(qint64 examined);

private:
    struct Request {
        MailFilter filter;
        quint64 generation;
    };
    void work();
    void search(const Request &request);
    void deliver(QVector<SearchHit> *hits, quint64 generation, bool last, qint64 examined);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_pending; // under m_mutex
    bool m_working = false;           // under m_mutex
    bool m_quit = false;              // under m_mutex
    // The search that counts; any other one stops at its next mail.
    std::atomic<quint64> m_generation{0};
    bool m_searching = false; // on the window's thread
    std::thread m_thread;
};
