#pragma once
// One session with an IMAP server (RFC 3501) on a socket of its own: the few commands
// the upload needs, one at a time. Every wait for the server ends after a stretch of
// silence, not after a fixed time for a whole command, so a large message on a slow line
// is not cut off while it moves and a server that stopped answering is named as such.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSslSocket>
#include <QString>
#include <QStringList>

class QIODevice;
struct ImapAccount;

class ImapConnection
{
public:
    enum class Refusal { None, UnknownHost, NoConnection, UntrustedCertificate, Login };

    explicit ImapConnection(int silenceLimitMs);

    // Connects, protects the connection as the account asks and logs in; false with
    // refusal() and error() saying why.
    bool open(const ImapAccount &account);
    Refusal refusal() const { return m_refusal; }
    // What failed last, in the server's or the system's words.
    QString error() const { return m_error; }
    // The SHA-256 fingerprint of the certificate that was not trusted, as "AB:CD:…".
    QString refusedFingerprint() const { return m_refusedFingerprint; }
    // The connection is gone: the server closed it, stopped answering or broke the protocol.
    bool isLost() const { return m_lost; }
    // The largest message the server takes (RFC 7889 APPENDLIMIT); 0 when it names none.
    qint64 appendLimit() const { return m_appendLimit; }

    // Every mailbox's name and the separator of the levels (null when the server has none).
    bool list(QStringList *names, QChar *separator);
    bool create(const QString &mailbox);
    // Opens the mailbox read-only; *messages is how many it holds.
    bool examine(const QString &mailbox, qint64 *messages);
    // The Message-ID header lines of messages 1 to count of the mailbox examined last.
    bool fetchMessageIdHeaders(qint64 count, QList<QByteArray> *headers);
    // Appends the size bytes of message (lines ended by CR LF), read and sent block by
    // block. The server is asked first, so a refusal costs no transfer.
    bool append(const QString &mailbox, const QList<QByteArray> &flags, const QDateTime &date, QIODevice &message,
                qint64 size);
    void logout();

    // One answer of the server: its text, with "{N}" where a literal of N bytes stood,
    // and those literals in order.
    struct Response {
        QByteArray text;
        QList<QByteArray> literals;
    };

private:
    bool connectAndGreet(const ImapAccount &account);
    bool encrypted();
    bool logIn(const ImapAccount &account);
    void readCapabilities();
    bool send(const QByteArray &bytes);
    bool readLine(QByteArray *line);
    bool readResponse(Response *response);
    QByteArray nextTag();
    // Sends a command whose arguments are all on its line and waits for its end.
    bool run(const QByteArray &command, QList<Response> *untagged = nullptr);
    // Reads answers up to the tagged one; true when it says OK.
    bool finish(const QByteArray &tag, QList<Response> *untagged);
    // After a line ending in a literal's size: true when the server asks for the literal,
    // false when it refused the command (or went away) instead.
    bool awaitContinuation(const QByteArray &tag, QList<Response> *untagged);
    void lose(const QString &why);

    QSslSocket m_socket;
    const int m_silenceLimitMs;
    Refusal m_refusal = Refusal::None;
    QString m_error;
    QString m_refusedFingerprint;
    bool m_lost = true;
    qint64 m_appendLimit = 0;
    int m_tags = 0;
};

// IMAP's modified UTF-7 (RFC 3501) as text; bytes that are not valid in it stay as they are.
QString decodeModifiedUtf7(const QByteArray &encoded);
