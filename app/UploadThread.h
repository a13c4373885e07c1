#pragma once
// An upload of the checked mail folders, run away from the windows; it reports through
// queued signals as the saving thread does.
#include "upload/ImapUpload.h"

#include <QThread>

class UploadThread : public QThread
{
    Q_OBJECT
public:
    UploadThread(const MailUploadRequest &request, QObject *parent = nullptr);

    // Valid once the thread has finished.
    const MailUploadReport &report() const { return m_report; }

signals:
    void itemsCounted(unsigned int items);
    void itemDone();

protected:
    void run() override;

private:
    MailUploadRequest m_request;
    MailUploadReport m_report;
};
