#pragma once
// An upload of the checked items, run away from the windows: the mails and notes into
// the mail account, then the contacts and the calendar into their collections where
// their addresses were given. It reports through queued signals as the saving thread does.
#include "upload/DavUpload.h"
#include "upload/ImapUpload.h"

#include <QThread>
#include <QVector>

class UploadThread : public QThread
{
    Q_OBJECT
public:
    UploadThread(const MailUploadRequest &mails, const QVector<DavUploadRequest> &collections,
                 QObject *parent = nullptr);

    // Valid once the thread has finished.
    const MailUploadReport &report() const { return m_report; }
    // One report a collection, in the order given; those after a stop or a failure of the
    // mail account are missing.
    const QVector<DavUploadReport> &collectionReports() const { return m_collectionReports; }
    const QVector<DavUploadRequest> &collections() const { return m_collections; }
    const MailUploadRequest &request() const { return m_request; }

signals:
    // A stage begins: the mails, the contacts or the calendar, with its items.
    void itemsCounted(unsigned int items, const QString &caption);
    void itemDone();

protected:
    void run() override;

private:
    MailUploadRequest m_request;
    MailUploadReport m_report;
    QVector<DavUploadRequest> m_collections;
    QVector<DavUploadReport> m_collectionReports;
};
