#include "app/UploadThread.h"

#include "archive/TextReader.h"
#include "olm/ScanState.h"

#include <climits>

UploadThread::UploadThread(const MailUploadRequest &mails, const QVector<DavUploadRequest> &collections,
                           QObject *parent)
    : QThread(parent), m_request(mails), m_collections(collections)
{
}

void UploadThread::run()
{
    const FileTextReader olm(fileDescriptor, lSize);
    UploadHooks hooks;
    QString caption = tr("Uploading Mails...");
    hooks.started = [this, &caption](qint64 items) {
        emit itemsCounted(unsigned(qMin<qint64>(items, UINT_MAX)), caption);
    };
    hooks.itemDone = [this] { emit itemDone(); };
    hooks.stopRequested = [] { return bool(stopflag); };
    m_request.olm = &olm;
    m_report = uploadMails(m_request, hooks);
    m_request.olm = nullptr;
    for (DavUploadRequest &collection : m_collections) {
        if (!m_report.failure.isEmpty() || m_report.stopped
            || (!m_collectionReports.isEmpty() && m_collectionReports.last().stopped))
            break;
        caption = collection.collection == DavCollection::Contacts ? tr("Uploading Contacts...")
                                                                   : tr("Uploading Calendar...");
        collection.olm = &olm;
        m_collectionReports.append(uploadToDav(collection, hooks));
        collection.olm = nullptr;
    }
}
