#pragma once
// The rescued mails appended to a mail account over IMAP, each as the message the
// standard export writes, with its delivery time as the internal date and the marks
// the export gives it; the notes as Apple Notes keeps them. A mail or note whose
// Message-ID its mailbox holds already is skipped, so a run cut short is simply run again.
#include "archive/MailFilter.h"
#include "archive/TextReader.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

enum class ImapSecurity { Tls, StartTls, None };

struct ImapAccount {
    QString host;
    quint16 port = 993;
    QString user;
    QString password;
    ImapSecurity security = ImapSecurity::Tls;
    QString caFile; // PEM certificates trusted besides the system's, for a server's own certificate
};

// imaps://USER@HOST[:PORT] (TLS, port 993) or imap://USER@HOST[:PORT] (STARTTLS, port 143;
// no encryption at all only when allowPlain). A password in the address is refused: it would
// stand on the command line. False with the reason.
bool parseImapAddress(const QString &address, bool allowPlain, ImapAccount *account, QString *error);

struct UploadHooks {
    std::function<void(qint64 items)> started;
    std::function<void()> itemDone;       // once per item, uploaded or not
    std::function<bool()> stopRequested;  // tested before every item
};

struct MailUploadRequest {
    ImapAccount account;
    QStringList root;               // the folders above the rescued ones ("Rescued", "<file name>")
    QVector<qint64> folderIds;      // the mail folders to upload
    MailFilter filter;              // when not empty, only the mails of those folders it takes
    bool notes = false;             // the notes too, as Apple Notes keeps them, in <root>/Notes
    const TextReader *olm = nullptr;
};

struct MailUploadReport {
    qint64 uploaded = 0;
    qint64 alreadyThere = 0;
    qint64 leftOutByFilter = 0; // mails of the folders that the filter did not take
    qint64 notesUploaded = 0;
    qint64 notesAlreadyThere = 0;
    QStringList notUploaded; // one line per mail: what it is and why
    QStringList renamedFolders; // folders uploaded into a mailbox of another name, and why
    QString failure;         // why nothing could be uploaded at all (no connection, refused login)
    QString untrustedCertificate; // the SHA-256 fingerprint of the server's certificate, when it was not trusted
    bool stopped = false;
};

MailUploadReport uploadMails(const MailUploadRequest &request, const UploadHooks &hooks);

// The root for a file when none is given: Rescued/<file name without .olm>.
QStringList defaultUploadRoot(const QString &olmPath);
// A mailbox name of names joined by the server's separator; a separator inside a name
// becomes "_", so that it cannot open a level of its own.
QString mailboxName(const QStringList &names, QChar separator);
