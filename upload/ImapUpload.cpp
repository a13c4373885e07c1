#include "upload/ImapUpload.h"

#include "archive/ContentLines.h"
#include "archive/MailEncoders.h"
#include "archive/MailboxPaths.h"
#include "archive/SaveBundle.h"
#include "archive/StandardFormat.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"

#include "upload/CrLfWriter.h"
#include "upload/ImapConnection.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>
#include <QUrl>

namespace {
constexpr quint16 kImapsPort = 993;
constexpr quint16 kImapPort = 143;
// Seconds without a sign of the server before it counts as gone.
constexpr int kServerSilenceLimit = 60;

// The identifier inside a Message-ID header value (<id@host>, or the bare value), as the
// server's copies and the uploaded messages are compared.
QByteArray identifierOf(const QByteArray &headerValue)
{
    const int open = headerValue.indexOf('<');
    const int close = headerValue.indexOf('>', open + 1);
    if (open >= 0 && close > open)
        return headerValue.mid(open + 1, close - open - 1).trimmed();
    return headerValue.trimmed();
}

// The value of the Message-ID line among header lines ("Message-ID: <x@y>" CR LF,
// perhaps folded).
QByteArray messageIdValue(const QByteArray &headerLines)
{
    QByteArray unfolded = headerLines;
    unfolded.replace("\r\n ", " ").replace("\r\n\t", " ").replace("\n ", " ").replace("\n\t", " ");
    for (const QByteArray &line : unfolded.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "message-id")
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
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
    ImapUploader(const MailUploadRequest &request, const UploadHooks &hooks)
        : m_request(request), m_hooks(hooks), m_imap(kServerSilenceLimit * 1000)
    {
    }

    MailUploadReport run()
    {
        // One pass over the mail list, not one per folder.
        QHash<qint64, QVector<const MailMLRC *>> mailsOf;
        for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
            const qint64 parentId = mail->ParentId; // a copy: the packed field is not aligned
            mailsOf[parentId].append(mail);
        }
        QVector<const MailMLRC *> mails;
        const bool filtered = !m_request.filter.isEmpty();
        for (const qint64 folderId : m_request.folderIds)
            for (const MailMLRC *mail : mailsOf.value(folderId)) {
                if (!filtered || m_request.filter.matches(*mail, *m_request.olm))
                    mails.append(mail);
                else
                    ++m_report.leftOutByFilter;
            }
        QVector<const NotesInformation *> notes;
        for (const NotesInformation *note = TmpNTRCPtrStart; note && m_request.notes; note = note->Next)
            notes.append(note);
        if (m_hooks.started)
            m_hooks.started(mails.size() + notes.size());
        if (!connectAndLogIn() || !listMailboxes() || !openStaging())
            return m_report;
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
        // whole; not so under a filter, where it holds mails, only none that were asked for.
        for (const qint64 folderId : m_request.folderIds) {
            if (filtered || m_report.stopped || m_imap.isLost() || mailsOf.contains(folderId) || folderId == kFolderWithoutPathId
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
        m_imap.logout();
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
        if (m_imap.open(account))
            return true;
        switch (m_imap.refusal()) {
        case ImapConnection::Refusal::UnknownHost:
            m_report.failure = QStringLiteral("The server \"%1\" is not known: %2.").arg(account.host, m_imap.error());
            break;
        case ImapConnection::Refusal::UntrustedCertificate:
            if (m_imap.refusedFingerprint().isEmpty()) {
                m_report.failure = QStringLiteral("The certificate file could not be used: %1.").arg(m_imap.error());
                break;
            }
            m_report.failure = QStringLiteral("The certificate of %1 is not trusted, so nothing was sent to it (%2). "
                                              "Its SHA-256 fingerprint is %3.")
                                   .arg(serverName(), m_imap.error(), m_imap.refusedFingerprint());
            m_report.untrustedCertificate = m_imap.refusedFingerprint();
            break;
        case ImapConnection::Refusal::Login:
            m_report.failure = QStringLiteral("%1 refused the login of %2: %3.").arg(serverName(), account.user, m_imap.error());
            break;
        case ImapConnection::Refusal::NoConnection:
        case ImapConnection::Refusal::None:
            m_report.failure = QStringLiteral("No connection to %1: %2.").arg(serverName(), m_imap.error());
            break;
        }
        return false;
    }

    bool listMailboxes()
    {
        QStringList names;
        if (!m_imap.list(&names, &m_separator)) {
            m_report.failure = QStringLiteral("%1 did not list its folders: %2.").arg(serverName(), m_imap.error());
            return false;
        }
        m_existing = QSet<QString>(names.cbegin(), names.cend());
        // A server without a hierarchy still takes the names; "/" then stays part of them.
        if (m_separator.isNull())
            m_separator = QLatin1Char('/');
        return true;
    }

    // Each message is written to a temporary file before it is sent, so that neither its
    // size nor the upload's memory depends on its attachments.
    bool openStaging()
    {
        if (m_staging.open())
            return true;
        m_report.failure = QStringLiteral("No temporary file for the messages could be made in %1: %2.")
                               .arg(QDir::tempPath(), m_staging.errorString());
        return false;
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
        for (const QString &name : levels) {
            if (m_existing.contains(name))
                continue;
            if (!m_imap.create(name)) {
                mailbox.failure = QStringLiteral("the server refused to create the folder \"%1\": %2").arg(name, m_imap.error());
                return mailbox;
            }
            m_existing.insert(name);
        }
        qint64 messages = 0;
        if (!m_imap.examine(mailbox.name, &messages)) {
            mailbox.failure = QStringLiteral("the server did not open the folder \"%1\": %2").arg(mailbox.name, m_imap.error());
            return mailbox;
        }
        QList<QByteArray> headers;
        if (messages > 0 && !m_imap.fetchMessageIdHeaders(messages, &headers)) {
            mailbox.failure = QStringLiteral("the server did not list the messages of \"%1\": %2")
                                  .arg(mailbox.name, m_imap.error());
            return mailbox;
        }
        for (const QByteArray &header : headers) {
            const QByteArray id = identifierOf(messageIdValue(header));
            if (!id.isEmpty())
                ++mailbox.present[id];
        }
        return mailbox;
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

    // Writes a message into the staging file with CR LF line ends; its size, or -1 with
    // *error when the file could not take it.
    qint64 stage(const std::function<bool(QIODevice &)> &writeMessage, QString *error)
    {
        CrLfWriter withCrLf(m_staging);
        if (!m_staging.resize(0) || !m_staging.seek(0) || !writeMessage(withCrLf) || !m_staging.flush()
            || !m_staging.seek(0)) {
            *error = QStringLiteral("it could not be written to the temporary file %1: %2")
                         .arg(m_staging.fileName(), m_staging.errorString());
            return -1;
        }
        return m_staging.size();
    }

    // One message into its mailbox, unless the mailbox holds one of its identifier already
    // (each copy stands for one item). Counted in *uploaded or *there; else the reason why not.
    void appendMessage(Mailbox &mailbox, const QString &item, const QByteArray &messageId,
                       const std::function<bool(QIODevice &)> &writeMessage, const QList<QByteArray> &flags,
                       const QDateTime &date, qint64 *uploaded, qint64 *there)
    {
        const QString lost = QStringLiteral("the connection to %1 was lost: %2").arg(serverName());
        if (m_imap.isLost() || !mailbox.failure.isEmpty()) {
            m_report.notUploaded.append(item + QLatin1String(": ")
                                        + (m_imap.isLost() ? lost.arg(m_imap.error()) : mailbox.failure));
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
        QString error;
        const qint64 size = stage(writeMessage, &error);
        if (size < 0) {
            m_report.notUploaded.append(item + QLatin1String(": ") + error);
            return;
        }
        if (m_imap.appendLimit() > 0 && size > m_imap.appendLimit()) {
            m_report.notUploaded.append(item + QLatin1String(": ")
                                        + QStringLiteral("it is %1 bytes, more than the %2 bytes the server takes in "
                                                         "one message (APPENDLIMIT %2)")
                                              .arg(size)
                                              .arg(m_imap.appendLimit()));
            return;
        }
        if (m_imap.append(mailbox.name, flags, date, m_staging, size)) {
            ++*uploaded;
            return;
        }
        m_report.notUploaded.append(item + QLatin1String(": ")
                                    + (m_imap.isLost() ? lost.arg(m_imap.error())
                                                       : QStringLiteral("the server refused it: %1").arg(m_imap.error())));
    }

    void upload(const MailMLRC &mail)
    {
        Mailbox &mailbox = m_imap.isLost() ? m_unreachable : mailboxFor(qint64(mail.ParentId));
        const MailDetails &details = detailsOf(&mail);
        QList<QByteArray> flags = imapKeywords(details.categories);
        if (details.read)
            flags.prepend(QByteArrayLiteral("\\Seen"));
        if (details.flagged)
            flags.prepend(QByteArrayLiteral("\\Flagged"));
        const QDateTime date = QDateTime::fromString(QString::fromLatin1(separatorDate(mail)), Qt::RFC2822Date);
        const TextReader &olm = *m_request.olm;
        appendMessage(
            mailbox, describeItem(mail), standardMessageId(mail, details, olm),
            [&](QIODevice &out) { return writeStandardMessageAlone(out, mail, details, olm, nullptr); }, flags, date,
            &m_report.uploaded, &m_report.alreadyThere);
    }

    // A note as Apple Notes keeps it, in the folder "Notes" under the upload's own.
    void upload(const NotesInformation &note)
    {
        if (!m_imap.isLost() && !m_notesOpened) {
            QStringList levels;
            const QStringList names = m_request.root + QStringList{QStringLiteral("Notes")};
            for (int level = 1; level <= names.size(); ++level)
                levels.append(mailboxName(names.mid(0, level), m_separator));
            openMailbox(m_notes, levels);
            m_notesOpened = true;
        }
        const QByteArray uuid = noteUuid(note).toString(QUuid::WithoutBraces).toUpper().toLatin1();
        const QByteArray message = appleNoteMessage(note, *m_request.olm);
        appendMessage(m_imap.isLost() ? m_unreachable : m_notes, describeItem(note), '<' + uuid + "@mendora.invalid>",
                      [&message](QIODevice &out) { return out.write(message) == message.size(); },
                      {QByteArrayLiteral("\\Seen")}, compactStampUtc(latin1Field(note.ModStampUtc).toLatin1()),
                      &m_report.notesUploaded, &m_report.notesAlreadyThere);
    }

    const MailUploadRequest &m_request;
    const UploadHooks &m_hooks;
    MailUploadReport m_report;
    ImapConnection m_imap;
    QTemporaryFile m_staging;
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

MailUploadReport uploadMails(const MailUploadRequest &request, const UploadHooks &hooks)
{
    if (!request.olm) {
        MailUploadReport report;
        report.failure = QStringLiteral("no .olm file to read the mails from");
        return report;
    }
    return ImapUploader(request, hooks).run();
}
