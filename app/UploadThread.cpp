#include "app/UploadThread.h"

#include "archive/TextReader.h"
#include "olm/ScanState.h"

#include <climits>

UploadThread::UploadThread(const MailUploadRequest &request, QObject *parent) : QThread(parent), m_request(request) {}

void UploadThread::run()
{
    const FileTextReader olm(fileDescriptor, lSize);
    m_request.olm = &olm;
    UploadHooks hooks;
    hooks.started = [this](qint64 items) { emit itemsCounted(unsigned(qMin<qint64>(items, UINT_MAX))); };
    hooks.itemDone = [this] { emit itemDone(); };
    hooks.stopRequested = [] { return bool(stopflag); };
    m_report = uploadMails(m_request, hooks);
    m_request.olm = nullptr;
}
