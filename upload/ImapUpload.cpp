#include "upload/ImapUpload.h"

#include "archive/ContentLines.h"
#include "archive/MailWriter.h"
#include "archive/MailboxPaths.h"
#include "archive/SaveBundle.h"
#include "archive/StandardFormat.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"

#include <KIMAP/AppendJob>
#include <KIMAP/CapabilitiesJob>
#include <KIMAP/CreateJob>
#include <KIMAP/FetchJob>
#include <KIMAP/ListJob>
#include <KIMAP/LoginJob>
#include <KIMAP/LogoutJob>
#include <KIMAP/SelectJob>
#include <KIMAP/Session>
#include <KIMAP/SessionUiProxy>
#include <KCrash>
#include <KMime/Headers>

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>
#include <memory>

namespace {
// KIMAP brings KDE's crash handler along, which would take over every crash of the program
// and look for a runtime directory at start-up; Mendora keeps the system's own handling.
void keepSystemCrashHandling()
{
    KCrash::setDrKonqiEnabled(false);
}
Q_CONSTRUCTOR_FUNCTION(keepSystemCrashHandling)

constexpr quint16 kImapsPort = 993;
constexpr quint16 kImapPort = 143;
// Seconds without an answer before the server counts as gone.
constexpr int kServerTimeout = 60;

// A certificate the system does not trust is refused; this only remembers that it happened,
// so that the message can say so.
class CertificateRefusal : public KIMAP::SessionUiProxy
{
public:
    bool ignoreSslError(const KSslErrorUiData &) override
    {
        refused = true;
        return false;
    }
    bool refused = false;
};

// Runs a job to its end in a local event loop; its results arrive through the signals
// connected beforehand. The job deletes itself afterwards.
bool runJob(KIMAP::Job *job, QString *error)
{
    QString message;
    QObject::connect(job, &KJob::result, [&message](KJob *done) { message = done->errorString(); });
    const bool ok = job->exec();
    if (!ok && error)
        *error = message.isEmpty() ? QStringLiteral("the server did not answer") : message;
    return ok;
}

// The identifier inside a Message-ID header value, as the server's copy is compared.
QByteArray identifierOf(const QByteArray &headerValue)
{
    KMime::Headers::MessageID header;
    header.from7BitString(headerValue);
    return header.identifier();
}

bool trustCertificates(const QString &caFile, QString *error)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(caFile, QSsl::Pem);
    if (certificates.isEmpty()) {
        *error = QStringLiteral("%1 holds no certificate in PEM form").arg(caFile);
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}

// One target mailbox: its name, why it cannot be used, and how many copies of each
// Message-ID it held before this run.
struct Mailbox {
    QString name;
    QString failure;
    QHash<QByteArray, int> present;
};

class ImapUploader
{
public:
    ImapUploader(const MailUploadRequest &request, const UploadHooks &hooks) : m_request(request), m_hooks(hooks) {}
    ~ImapUploader()
    {
        if (m_session)
            m_session->close();
    }

    MailUploadReport run()
    {
        // One pass over the mail list, not one per folder.
        QHash<qint64, QVector<const MailMLRC *>> mailsOf;
        const bool filtered = !m_request.filter.isEmpty();
        for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
            if (filtered && !m_request.filter.matches(*mail, *m_request.olm))
                continue;
            const qint64 parentId = mail->ParentId; // a copy: the packed field is not aligned
            mailsOf[parentId].append(mail);
        }
        QVector<const MailMLRC *> mails;
        for (const qint64 folderId : m_request.folderIds)
            mails += mailsOf.value(folderId);
        QVector<const NotesInformation *> notes;
        for (const NotesInformation *note = TmpNTRCPtrStart; note && m_request.notes; note = note->Next)
            notes.append(note);
        if (m_hooks.started)
            m_hooks.started(mails.size() + notes.size());
        if (!connectAndLogIn() || !listMailboxes())
            return m_report;
        readAppendLimit();
        nameMailboxes();
        for (const MailMLRC *mail : mails) {
            if (m_hooks.stopRequested && m_hooks.stopRequested()) {
                m_report.stopped = true;
                break;
            }
            upload(*mail);
            if (m_hooks.itemDone)
                m_hooks.itemDone();
        }
        // A folder without mail or folders of its own is made all the same, so the tree arrives
        // whole; not one that a filter emptied.
        for (const qint64 folderId : m_request.folderIds) {
            if (filtered || m_report.stopped || m_lost || mailsOf.contains(folderId) || folderId == kFolderWithoutPathId
                || m_paths.holdsFolders(folderId))
                continue;
            const Mailbox &mailbox = mailboxFor(folderId);
            if (!mailbox.failure.isEmpty())
                m_report.notUploaded.append(QStringLiteral("the empty folder \"%1\": %2").arg(folderPathOf(folderId), mailbox.failure));
        }
        for (const NotesInformation *note : notes) {
            if (m_report.stopped || (m_hooks.stopRequested && m_hooks.stopRequested())) {
                m_report.stopped = true;
                break;
            }
            upload(*note);
            if (m_hooks.itemDone)
                m_hooks.itemDone();
        }
        if (!m_lost) {
            auto *logout = new KIMAP::LogoutJob(m_session.get());
            runJob(logout, nullptr);
        }
        return m_report;
    }

private:
    QString serverName() const
    {
        return QStringLiteral("%1:%2").arg(m_request.account.host).arg(m_request.account.port);
    }

    bool connectAndLogIn()
    {
        const ImapAccount &account = m_request.account;
        QString error;
        if (!account.caFile.isEmpty() && !trustCertificates(account.caFile, &error)) {
            m_report.failure = QStringLiteral("The certificate file could not be used: %1.").arg(error);
            return false;
        }
        const QHostInfo host = QHostInfo::fromName(account.host);
        if (host.error() != QHostInfo::NoError) {
            m_report.failure = QStringLiteral("The server \"%1\" is not known: %2.").arg(account.host, host.errorString());
            return false;
        }
        m_session = std::make_unique<KIMAP::Session>(account.host, account.port);
        m_session->setTimeout(kServerTimeout);
        m_certificates = QSharedPointer<CertificateRefusal>::create();
        m_session->setUiProxy(m_certificates);
        // The session may report a failed connection after this call has returned: the flag outlives it.
        const auto connectionFailed = std::make_shared<bool>(false);
        QObject::connect(m_session.get(), &KIMAP::Session::connectionFailed, [connectionFailed] { *connectionFailed = true; });
        QObject::connect(m_session.get(), &KIMAP::Session::connectionLost, [this] { m_lost = true; });

        auto *login = new KIMAP::LoginJob(m_session.get());
        login->setUserName(account.user);
        login->setPassword(account.password);
        login->setAuthenticationMode(KIMAP::LoginJob::ClearText);
        switch (account.security) {
        case ImapSecurity::Tls: login->setEncryptionMode(KIMAP::LoginJob::SSLorTLS); break;
        case ImapSecurity::StartTls: login->setEncryptionMode(KIMAP::LoginJob::STARTTLS); break;
        case ImapSecurity::None: login->setEncryptionMode(KIMAP::LoginJob::Unencrypted); break;
        }
        if (runJob(login, &error)) {
            m_lost = false;
            return true;
        }
        m_lost = true;
        if (m_certificates->refused)
            m_report.failure = QStringLiteral("The certificate of %1 is not trusted, so nothing was sent to it "
                                              "(a server's own certificate can be trusted with --ca-file).")
                                   .arg(serverName());
        else if (*connectionFailed)
            m_report.failure = QStringLiteral("No connection to %1: %2.").arg(serverName(), error);
        else
            m_report.failure = QStringLiteral("%1 refused the login of %2: %3.").arg(serverName(), account.user, error);
        return false;
    }

    bool listMailboxes()
    {
        auto *list = new KIMAP::ListJob(m_session.get());
        list->setOption(KIMAP::ListJob::IncludeUnsubscribed);
        QObject::connect(list, &KIMAP::ListJob::mailBoxesReceived,
                         [this](const QList<KIMAP::MailBoxDescriptor> &mailboxes, const QList<QList<QByteArray>> &) {
                             for (const KIMAP::MailBoxDescriptor &mailbox : mailboxes) {
                                 m_existing.insert(mailbox.name);
                                 if (m_separator.isNull() && !mailbox.separator.isNull())
                                     m_separator = mailbox.separator;
                             }
                         });
        QString error;
        if (!runJob(list, &error)) {
            m_report.failure = QStringLiteral("%1 did not list its folders: %2.").arg(serverName(), error);
            return false;
        }
        // A server without a hierarchy still takes the names; "/" then stays part of them.
        if (m_separator.isNull())
            m_separator = QLatin1Char('/');
        return true;
    }

    // The mailbox of a folder, made with its parents when the server lacks it, and the
    // Message-IDs it holds.
    Mailbox &mailboxFor(qint64 folderId)
    {
        auto found = m_mailboxes.find(folderId);
        if (found != m_mailboxes.end())
            return *found;
        Mailbox &mailbox = m_mailboxes[folderId];
        const QStringList levels = mailboxLevels(folderId);
        if (m_renamed.contains(folderId))
            noteRenamed(folderId, levels.last());
        return openMailbox(mailbox, levels);
    }

    // Creates the mailboxes of levels (parents first, the last one the mailbox's own) where
    // the server has none, and notes the Message-IDs the last one holds.
    Mailbox &openMailbox(Mailbox &mailbox, const QStringList &levels)
    {
        mailbox.name = levels.last();
        QString error;
        for (const QString &name : levels) {
            if (m_existing.contains(name))
                continue;
            auto *create = new KIMAP::CreateJob(m_session.get());
            create->setMailBox(name);
            if (!runJob(create, &error)) {
                mailbox.failure = QStringLiteral("the server refused to create the folder \"%1\": %2").arg(name, error);
                return mailbox;
            }
            m_existing.insert(name);
        }
        int messages = 0;
        auto *select = new KIMAP::SelectJob(m_session.get());
        select->setMailBox(mailbox.name);
        select->setOpenReadOnly(true);
        QObject::connect(select, &KJob::result, [&messages](KJob *done) {
            messages = static_cast<KIMAP::SelectJob *>(done)->messageCount();
        });
        if (!runJob(select, &error)) {
            mailbox.failure = QStringLiteral("the server did not open the folder \"%1\": %2").arg(mailbox.name, error);
            return mailbox;
        }
        if (messages > 0) {
            auto *fetch = new KIMAP::FetchJob(m_session.get());
            fetch->setSequenceSet(KIMAP::ImapSet(1, messages));
            KIMAP::FetchJob::FetchScope scope;
            scope.mode = KIMAP::FetchJob::FetchScope::Headers;
            fetch->setScope(scope);
            QObject::connect(fetch, &KIMAP::FetchJob::messagesAvailable,
                             [&mailbox](const QMap<qint64, KIMAP::Message> &fetched) {
                                 for (const KIMAP::Message &message : fetched) {
                                     const auto *id = message.message ? message.message->messageID(false) : nullptr;
                                     if (id && !id->identifier().isEmpty())
                                         ++mailbox.present[id->identifier()];
                                 }
                             });
            if (!runJob(fetch, &error))
                mailbox.failure = QStringLiteral("the server did not list the messages of \"%1\": %2")
                                      .arg(mailbox.name, error);
        }
        return mailbox;
    }

    // RFC 7889: "APPENDLIMIT=N" among the capabilities is the largest message the server
    // takes; a larger one is named as such instead of being sent to be refused.
    void readAppendLimit()
    {
        auto *job = new KIMAP::CapabilitiesJob(m_session.get());
        QStringList capabilities;
        QObject::connect(job, &KIMAP::CapabilitiesJob::capabilitiesReceived,
                         [&capabilities](const QStringList &received) { capabilities = received; });
        if (!runJob(job, nullptr))
            return;
        const QLatin1String key("APPENDLIMIT=");
        for (const QString &capability : capabilities) {
            bool isNumber = false;
            const qint64 limit = capability.mid(key.size()).toLongLong(&isNumber);
            if (capability.startsWith(key, Qt::CaseInsensitive) && isNumber && limit > 0)
                m_appendLimit = limit;
        }
    }

    // One mailbox per folder: below the root, a folder's name as the standard export's
    // Mail directory has it, the server's separator in it made "_"; where that gives the
    // name of another folder of the same parent ("v1.0" and "v1_0" on a server that
    // separates with "."), the later folder gets a visible suffix, " (2)", and the report
    // says so. Folders are named parents first, in the order the scan found them, so
    // every run of the same file names them alike.
    void nameMailboxes()
    {
        const QString root = mailboxName(m_request.root, m_separator);
        QSet<QString> taken;
        for (auto folder = objMapFID_PID.constBegin(); folder != objMapFID_PID.constEnd(); ++folder) {
            const QString parent = m_mailboxNames.value(folder.value(), root);
            const QString own = mailboxName({m_paths.directoryOf(folder.key()).section(QLatin1Char('/'), -1)}, m_separator);
            QString name = parent + m_separator + own;
            for (int n = 2; taken.contains(name); ++n) {
                name = parent + m_separator + own + QStringLiteral(" (%1)").arg(n);
                m_renamed.insert(folder.key());
            }
            taken.insert(name);
            m_mailboxNames.insert(folder.key(), name);
        }
    }

    // The mailboxes from the root down to the folder's own, each one level deeper.
    QStringList mailboxLevels(qint64 folderId) const
    {
        QStringList levels;
        const auto named = m_mailboxNames.constFind(folderId);
        if (named == m_mailboxNames.constEnd()) { // "Folder1": the mails without a folder path
            const QStringList names = m_request.root + m_paths.directoryOf(folderId).split(QLatin1Char('/'));
            for (int level = 1; level <= names.size(); ++level)
                levels.append(mailboxName(names.mid(0, level), m_separator));
            return levels;
        }
        for (qint64 at = folderId; m_mailboxNames.contains(at) && levels.size() <= m_mailboxNames.size();
             at = objMapFID_PID.value(at))
            levels.prepend(m_mailboxNames.value(at));
        for (int level = m_request.root.size(); level >= 1; --level)
            levels.prepend(mailboxName(m_request.root.mid(0, level), m_separator));
        return levels;
    }

    void noteRenamed(qint64 folderId, const QString &mailbox)
    {
        const QString path = folderPathOf(folderId);
        const QString why = QStringLiteral("its mails are in the mailbox \"%1\", since its name on this server is "
                                           "another folder's there").arg(mailbox);
        recordLoss(Loss{LossReason::FolderPathLost, QStringLiteral("folder"), path, path, QString(), why});
        m_report.renamedFolders.append(QStringLiteral("Folder \"%1\": %2").arg(path, why));
    }

    // One message into its mailbox, unless the mailbox holds one of its identifier already
    // (each copy stands for one item). Counted in *uploaded or *there; else the reason why not.
    void appendMessage(Mailbox &mailbox, const QString &item, const QByteArray &messageId, const QByteArray &content,
                       const QList<QByteArray> &flags, const QDateTime &date, qint64 *uploaded, qint64 *there)
    {
        const QString lost = QStringLiteral("the connection to %1 was lost").arg(serverName());
        if (m_lost || !mailbox.failure.isEmpty()) {
            m_report.notUploaded.append(item + QLatin1String(": ") + (m_lost ? lost : mailbox.failure));
            return;
        }
        const QByteArray id = identifierOf(messageId);
        if (!id.isEmpty()) {
            auto copies = mailbox.present.find(id);
            if (copies != mailbox.present.end() && *copies > 0) {
                --*copies;
                ++*there;
                return;
            }
        }
        const QByteArray message = withCrLf(content);
        if (m_appendLimit > 0 && message.size() > m_appendLimit) {
            m_report.notUploaded.append(item + QLatin1String(": ")
                                        + QStringLiteral("it is %1 bytes, more than the %2 bytes the server takes in "
                                                         "one message (APPENDLIMIT %2)").arg(message.size()).arg(m_appendLimit));
            return;
        }
        auto *append = new KIMAP::AppendJob(m_session.get());
        append->setMailBox(mailbox.name);
        append->setContent(message);
        if (!flags.isEmpty())
            append->setFlags(flags);
        if (date.isValid())
            append->setInternalDate(date);
        QString error;
        if (runJob(append, &error)) {
            ++*uploaded;
            return;
        }
        if (m_session->state() == KIMAP::Session::Disconnected)
            m_lost = true;
        m_report.notUploaded.append(item + QLatin1String(": ")
                                    + (m_lost ? lost : QStringLiteral("the server refused it: %1").arg(error)));
    }

    void upload(const MailMLRC &mail)
    {
        Mailbox &mailbox = m_lost ? m_unreachable : mailboxFor(qint64(mail.ParentId));
        const MailDetails &details = detailsOf(&mail);
        QList<QByteArray> flags = imapKeywords(details.categories);
        if (details.read)
            flags.prepend(QByteArrayLiteral("\\Seen"));
        if (details.flagged)
            flags.prepend(QByteArrayLiteral("\\Flagged"));
        const QDateTime date = QDateTime::fromString(QString::fromLatin1(separatorDate(mail)), Qt::RFC2822Date);
        appendMessage(mailbox, describeItem(mail), standardMessageId(mail, details, *m_request.olm),
                      standardMessage(mail, details, *m_request.olm, nullptr), flags, date, &m_report.uploaded,
                      &m_report.alreadyThere);
    }

    // A note as Apple Notes keeps it, in the folder "Notes" under the upload's own.
    void upload(const NotesInformation &note)
    {
        if (!m_lost && !m_notesOpened) {
            QStringList levels;
            const QStringList names = m_request.root + QStringList{QStringLiteral("Notes")};
            for (int level = 1; level <= names.size(); ++level)
                levels.append(mailboxName(names.mid(0, level), m_separator));
            openMailbox(m_notes, levels);
            m_notesOpened = true;
        }
        const QByteArray uuid = noteUuid(note).toString(QUuid::WithoutBraces).toUpper().toLatin1();
        appendMessage(m_lost ? m_unreachable : m_notes, describeItem(note), '<' + uuid + "@mendora.invalid>",
                      appleNoteMessage(note, *m_request.olm), {QByteArrayLiteral("\\Seen")},
                      compactStampUtc(latin1Field(note.ModStampUtc).toLatin1()), &m_report.notesUploaded,
                      &m_report.notesAlreadyThere);
    }

    const MailUploadRequest &m_request;
    const UploadHooks &m_hooks;
    MailUploadReport m_report;
    std::unique_ptr<KIMAP::Session> m_session;
    QSharedPointer<CertificateRefusal> m_certificates;
    bool m_lost = true;
    qint64 m_appendLimit = 0; // 0: the server names no limit
    QSet<QString> m_existing;
    QChar m_separator;
    QHash<qint64, Mailbox> m_mailboxes;
    QHash<qint64, QString> m_mailboxNames; // every folder's mailbox, one each
    QSet<qint64> m_renamed;                // folders whose mailbox has a suffix
    Mailbox m_notes, m_unreachable;
    bool m_notesOpened = false;
    const MailboxPaths m_paths;
};
} // namespace

bool parseImapAddress(const QString &address, bool allowPlain, ImapAccount *account, QString *error)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("imaps") && scheme != QLatin1String("imap")) || url.host().isEmpty()) {
        *error = QStringLiteral("the account must be given as imaps://USER@HOST[:PORT] or imap://USER@HOST[:PORT]");
        return false;
    }
    if (!url.password().isEmpty()) {
        *error = QStringLiteral("the password does not belong in the address: give it in a file (--password-file) "
                                "or in MENDORA_PASSWORD");
        return false;
    }
    if (url.userName().isEmpty()) {
        *error = QStringLiteral("the address names no user (imaps://USER@HOST)");
        return false;
    }
    if (!url.path().isEmpty() && url.path() != QLatin1String("/")) {
        *error = QStringLiteral("the address holds a path; the folder to upload into is given with --into");
        return false;
    }
    const bool tls = scheme == QLatin1String("imaps");
    account->host = url.host();
    account->user = url.userName();
    account->port = quint16(url.port(tls ? kImapsPort : kImapPort));
    account->security = tls ? ImapSecurity::Tls : allowPlain ? ImapSecurity::None : ImapSecurity::StartTls;
    if (tls && allowPlain) {
        *error = QStringLiteral("--no-tls goes with imap:// only");
        return false;
    }
    return true;
}

QStringList defaultUploadRoot(const QString &olmPath)
{
    QString name = QFileInfo(olmPath).fileName();
    if (name.endsWith(QLatin1String(".olm"), Qt::CaseInsensitive))
        name.chop(4);
    return {QStringLiteral("Rescued"), name.isEmpty() ? QStringLiteral("export") : name};
}

QString mailboxName(const QStringList &names, QChar separator)
{
    QStringList kept;
    for (QString name : names)
        kept.append(name.replace(separator, QLatin1Char('_')));
    return kept.join(separator);
}

QByteArray withCrLf(const QByteArray &message)
{
    QByteArray out;
    out.reserve(message.size() + message.count('\n'));
    for (int i = 0; i < message.size(); ++i) {
        const char c = message.at(i);
        if (c == '\n' && (i == 0 || message.at(i - 1) != '\r'))
            out += '\r';
        out += c;
    }
    return out;
}

MailUploadReport uploadMails(const MailUploadRequest &request, const UploadHooks &hooks)
{
    // What went wrong is said once, in the report; the IMAP library's own log, which may
    // trace the session, stays quiet in the program and in the desktop application alike.
    QLoggingCategory::setFilterRules(QStringLiteral("org.kde.pim.*=false"));
    if (!request.olm) {
        MailUploadReport report;
        report.failure = QStringLiteral("no .olm file to read the mails from");
        return report;
    }
    return ImapUploader(request, hooks).run();
}
