#include "upload/DavUpload.h"

#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "olm/LossAccount.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

namespace {
constexpr int kRequestTimeoutMs = 60 * 1000;

struct DavItem {
    QString description;
    QByteArray object;
};

struct PutResult {
    int status = 0;                    // the HTTP status; 0 when none came
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText;
};

class DavUploader
{
public:
    DavUploader(const DavUploadRequest &request, const UploadHooks &hooks) : m_request(request), m_hooks(hooks) {}

    DavUploadReport run()
    {
        if (!checkCollection())
            return m_report;
        const QVector<DavItem> items = collectItems();
        if (m_hooks.started)
            m_hooks.started(items.size());
        for (const DavItem &item : items) {
            if (m_hooks.stopRequested && m_hooks.stopRequested()) {
                m_report.stopped = true;
                break;
            }
            put(item);
            if (m_hooks.itemDone)
                m_hooks.itemDone();
            if (!m_report.failure.isEmpty())
                break;
        }
        return m_report;
    }

private:
    bool checkCollection()
    {
        m_collection = QUrl(m_request.url, QUrl::StrictMode);
        const QString scheme = m_collection.scheme().toLower();
        if (!m_collection.isValid() || m_collection.host().isEmpty()
            || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
            m_report.failure = QStringLiteral("%1 is not an https:// address of a collection.").arg(m_request.url);
            return false;
        }
        if (scheme == QLatin1String("http") && !m_request.allowPlain) {
            m_report.failure = QStringLiteral("%1 would send the password in the clear; use https:// "
                                              "(or --no-tls to allow it).").arg(m_request.url);
            return false;
        }
        if (!m_collection.password().isEmpty()) {
            m_report.failure = QStringLiteral("The password does not belong in the address %1.")
                                   .arg(m_collection.toString(QUrl::RemoveUserInfo));
            return false;
        }
        m_user = m_collection.userName().isEmpty() ? m_request.user : m_collection.userName();
        m_collection.setUserInfo(QString());
        // The path stays in the encoded form given: "my%20cal" and "jane%40example.com" are
        // the server's own spelling of the collection, not text to escape again.
        const QString path = m_collection.path(QUrl::FullyEncoded);
        if (!path.endsWith(QLatin1Char('/')))
            m_collection.setPath(path + QLatin1Char('/'), QUrl::TolerantMode);
        m_ssl = QSslConfiguration::defaultConfiguration();
        if (!m_request.caFile.isEmpty())
            m_ssl.addCaCertificates(QSslCertificate::fromPath(m_request.caFile, QSsl::Pem));
        return true;
    }

    QVector<DavItem> collectItems() const
    {
        QVector<DavItem> items;
        const TextReader &olm = *m_request.olm;
        if (m_request.collection == DavCollection::Contacts) {
            if (includesKind(m_request.folders, ItemKind::Contact))
                for (const ContactInformation *contact = TmpCTRCPtrStart; contact; contact = contact->Next)
                    items.append({describeItem(*contact), standardVCard(*contact, detailsOf(contact), olm)});
            return items;
        }
        if (includesKind(m_request.folders, ItemKind::Event))
            for (const CalenderInformation *event = TmpCLRCPtrStart; event; event = event->Next) {
                const EventDetails &details = detailsOf(event);
                // Each resource stands alone: the zone its times name comes with it, as in Calendar.ics.
                const ZoneRules zone = eventZone(*event, details);
                items.append({describeItem(*event), standardCalendarBegin()
                                                        + (zone.isValid() ? zone.vtimezone() : QByteArray())
                                                        + standardEvent(*event, details, olm) + standardCalendarEnd()});
            }
        if (includesKind(m_request.folders, ItemKind::Task))
            for (const TasksInformation *task = TmpTSRCPtrStart; task; task = task->Next)
                items.append({describeItem(*task), standardCalendarBegin() + standardTodo(*task, detailsOf(task), olm)
                                                       + standardCalendarEnd()});
        return items;
    }

    // createOnly: the server refuses (412) when the resource exists already.
    PutResult send(const QUrl &url, const QByteArray &object, bool createOnly)
    {
        QNetworkRequest request(url);
        if (createOnly)
            request.setRawHeader("If-None-Match", "*");
        request.setHeader(QNetworkRequest::ContentTypeHeader, m_request.collection == DavCollection::Contacts
                                                                  ? QByteArrayLiteral("text/vcard; charset=utf-8")
                                                                  : QByteArrayLiteral("text/calendar; charset=utf-8"));
        request.setRawHeader("Authorization",
                             "Basic " + (m_user.toUtf8() + ':' + m_request.password.toUtf8()).toBase64());
        request.setSslConfiguration(m_ssl);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *reply = m_network.put(request, object);
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, reply, &QNetworkReply::abort);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        timeout.start(kRequestTimeoutMs);
        loop.exec();
        PutResult result;
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.error = reply->error();
        result.errorText = reply->errorString();
        reply->deleteLater();
        return result;
    }

    // A later item of an identifier an earlier one of this collection has (two events of
    // one export UUID) would replace that item on the server: it goes under its own.
    QByteArray withUniqueUid(const DavItem &item, QString *uid)
    {
        const QString shared = *uid;
        *uid = m_uids.claim(shared);
        if (*uid == shared)
            return item.object;
        const QString why = QStringLiteral("its identifier %1 is another item's too; it is uploaded as %2")
                                .arg(shared, *uid);
        recordLoss(Loss{LossReason::ValueUnreadable, QString(), item.description, QString(), QStringLiteral("UID"), why});
        m_report.renamedItems.append(item.description + QLatin1String(": ") + why);
        return objectWithUid(item.object, *uid);
    }

    void put(const DavItem &item)
    {
        QString uid = objectUid(item.object);
        if (uid.isEmpty()) {
            m_report.notUploaded.append(item.description + QLatin1String(": it has no identifier to name it by"));
            return;
        }
        const QByteArray object = withUniqueUid(item, &uid);
        const QString extension = m_request.collection == DavCollection::Contacts ? QStringLiteral(".vcf")
                                                                                   : QStringLiteral(".ics");
        QUrl url = m_collection;
        url.setPath(m_collection.path(QUrl::FullyEncoded) + QString::fromLatin1(QUrl::toPercentEncoding(uid + extension)),
                    QUrl::TolerantMode);
        // Servers answer a replacement with 201 as well as 204; asking to create only tells them apart.
        PutResult result = send(url, object, true);
        const bool exists = result.status == 412;
        if (exists)
            result = send(url, object, false);
        if (result.status >= 200 && result.status < 300) {
            ++(exists ? m_report.replaced : m_report.created);
            return;
        }
        const QString where = m_collection.toDisplayString(QUrl::RemoveUserInfo);
        // No answer at all, a refused login or a missing collection ends the upload: every further item would fail alike.
        if (result.status == 401 || result.status == 403)
            m_report.failure = QStringLiteral("%1 refused the login of %2 (HTTP %3).").arg(where, m_user).arg(result.status);
        else if (result.status == 404 || result.status == 409)
            m_report.failure = QStringLiteral("%1 is not a collection on that server (HTTP %2).").arg(where).arg(result.status);
        else if (result.status == 0)
            m_report.failure = QStringLiteral("No connection to %1: %2.").arg(where, result.errorText);
        if (!m_report.failure.isEmpty())
            return;
        m_report.notUploaded.append(
            QStringLiteral("%1: the server refused it (HTTP %2: %3)").arg(item.description).arg(result.status).arg(result.errorText));
    }

    const DavUploadRequest &m_request;
    const UploadHooks &m_hooks;
    DavUploadReport m_report;
    QNetworkAccessManager m_network;
    QUrl m_collection;
    QString m_user;
    QSslConfiguration m_ssl;
    UidRegister m_uids;
};
} // namespace

DavUploadReport uploadToDav(const DavUploadRequest &request, const UploadHooks &hooks)
{
    if (!request.olm) {
        DavUploadReport report;
        report.failure = QStringLiteral("no .olm file to read the items from");
        return report;
    }
    return DavUploader(request, hooks).run();
}
