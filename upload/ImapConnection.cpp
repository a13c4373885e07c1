#include "upload/ImapConnection.h"

#include "archive/StandardFormat.h"
#include "upload/ImapUpload.h"

#include <QCryptographicHash>
#include <QHostInfo>
#include <QIODevice>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {
// Answers are short lines and the header lines of a few messages; a line or literal
// larger than these is not an answer to anything asked here.
constexpr int kLongestLine = 1 << 20;
constexpr qint64 kLargestLiteral = 16 << 20;
// A message goes out in blocks of this size, with at most kQueuedBytes waiting in the socket.
constexpr qint64 kBlockSize = 256 * 1024;
constexpr qint64 kQueuedBytes = 1 << 20;

// Reads the values of one answer: atoms, quoted strings, literals and lists.
class ResponseParser
{
public:
    ResponseParser(const ImapConnection::Response &response, int from) : m_response(response), m_at(from) {}

    bool take(char c)
    {
        skipSpaces();
        if (m_at < m_response.text.size() && m_response.text.at(m_at) == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    // An atom; one with "[" runs to the matching "]", spaces included (BODY[HEADER.FIELDS (X)]).
    QByteArray atom()
    {
        skipSpaces();
        const QByteArray &text = m_response.text;
        const int start = m_at;
        int depth = 0;
        for (; m_at < text.size(); ++m_at) {
            const char c = text.at(m_at);
            if (c == '[')
                ++depth;
            else if (c == ']' && depth > 0)
                --depth;
            else if (depth == 0 && (c == ' ' || c == '(' || c == ')'))
                break;
        }
        return text.mid(start, m_at - start);
    }

    // A quoted string, a literal or NIL (*isNil), or else an atom.
    bool string(QByteArray *value, bool *isNil = nullptr)
    {
        skipSpaces();
        const QByteArray &text = m_response.text;
        if (isNil)
            *isNil = false;
        if (m_at >= text.size())
            return false;
        if (text.at(m_at) == '"') {
            value->clear();
            for (++m_at; m_at < text.size(); ++m_at) {
                char c = text.at(m_at);
                if (c == '"') {
                    ++m_at;
                    return true;
                }
                if (c == '\\' && m_at + 1 < text.size())
                    c = text.at(++m_at);
                value->append(c);
            }
            return false;
        }
        if (text.at(m_at) == '{') {
            const int end = text.indexOf('}', m_at);
            if (end < 0 || m_literal >= m_response.literals.size())
                return false;
            m_at = end + 1;
            *value = m_response.literals.at(m_literal++);
            return true;
        }
        *value = atom();
        if (isNil && value->toUpper() == "NIL") {
            *isNil = true;
            value->clear();
        }
        return !value->isEmpty() || (isNil && *isNil);
    }

    // Any one value, lists with all they hold.
    bool skipValue()
    {
        if (take('(')) {
            while (!take(')'))
                if (atEnd() || !skipValue())
                    return false;
            return true;
        }
        QByteArray ignored;
        return string(&ignored);
    }

    bool atEnd()
    {
        skipSpaces();
        return m_at >= m_response.text.size();
    }

private:
    void skipSpaces()
    {
        while (m_at < m_response.text.size() && m_response.text.at(m_at) == ' ')
            ++m_at;
    }

    const ImapConnection::Response &m_response;
    int m_at;
    int m_literal = 0;
};

// A string argument on the command line, or empty when it needs a literal (line ends,
// 8-bit bytes, NUL).
QByteArray quoted(const QByteArray &value)
{
    QByteArray out("\"");
    for (const char c : value) {
        if (c == '\r' || c == '\n' || c == '\0' || (c & 0x80))
            return QByteArray();
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

QByteArray mailboxArgument(const QString &mailbox)
{
    return quoted(modifiedUtf7(mailbox)); // modified UTF-7 is printable ASCII, always quotable
}

// "18-Jun-2018 16:31:00 +0000", the form of an IMAP date-time, with English month names
// whatever the machine's language.
QByteArray imapDateTime(const QDateTime &date)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int offset = date.offsetFromUtc() / 60;
    const QDate day = date.date();
    return QStringLiteral("%1-%2-%3 %4 %5%6%7")
        .arg(day.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kMonths[day.month() - 1]))
        .arg(day.year(), 4, 10, QLatin1Char('0'))
        .arg(date.time().toString(QStringLiteral("HH:mm:ss")))
        .arg(QLatin1Char(offset < 0 ? '-' : '+'))
        .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
        .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray firstWord(const QByteArray &text)
{
    const int space = text.indexOf(' ');
    return space < 0 ? text : text.left(space);
}

// The words of a tagged or untagged status after its keyword: "[ALERT] text" as it came.
QString statusText(const QByteArray &line, int keywordEnd)
{
    return QString::fromUtf8(line.mid(keywordEnd).trimmed());
}
} // namespace

ImapConnection::ImapConnection(int silenceLimitMs) : m_silenceLimitMs(silenceLimitMs) {}

bool ImapConnection::open(const ImapAccount &account)
{
    m_refusal = Refusal::NoConnection;
    const QHostInfo host = QHostInfo::fromName(account.host);
    if (host.error() != QHostInfo::NoError) {
        m_refusal = Refusal::UnknownHost;
        m_error = host.errorString();
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!account.caFile.isEmpty()) {
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(account.caFile, QSsl::Pem);
        if (certificates.isEmpty()) {
            m_refusal = Refusal::UntrustedCertificate;
            m_error = QStringLiteral("%1 holds no certificate in PEM form").arg(account.caFile);
            return false;
        }
        configuration.setCaCertificates(configuration.caCertificates() + certificates);
    }
    m_socket.setSslConfiguration(configuration);
    if (!connectAndGreet(account))
        return false;
    if (!logIn(account))
        return false;
    readCapabilities();
    m_refusal = Refusal::None;
    return true;
}

bool ImapConnection::connectAndGreet(const ImapAccount &account)
{
    m_lost = false;
    if (account.security == ImapSecurity::Tls) {
        m_socket.connectToHostEncrypted(account.host, account.port);
        if (!encrypted())
            return false;
    } else {
        m_socket.connectToHost(account.host, account.port);
        if (!m_socket.waitForConnected(m_silenceLimitMs)) {
            lose(m_socket.errorString());
            return false;
        }
    }
    Response greeting;
    if (!readResponse(&greeting))
        return false;
    if (!greeting.text.startsWith("* OK") && !greeting.text.startsWith("* PREAUTH")) {
        lose(QStringLiteral("the server greeted with \"%1\"").arg(QString::fromUtf8(greeting.text.left(200))));
        return false;
    }
    if (account.security != ImapSecurity::StartTls)
        return true;
    if (!run("STARTTLS")) {
        if (!m_lost)
            lose(QStringLiteral("the server refused STARTTLS: %1").arg(m_error));
        return false;
    }
    m_socket.startClientEncryption();
    return encrypted();
}

// Waits for the handshake; a certificate that is not trusted is named with its fingerprint.
bool ImapConnection::encrypted()
{
    if (m_socket.waitForEncrypted(m_silenceLimitMs))
        return true;
    const QList<QSslError> errors = m_socket.sslHandshakeErrors();
    if (errors.isEmpty()) {
        lose(m_socket.errorString());
        return false;
    }
    QSslCertificate certificate = m_socket.peerCertificate();
    for (const QSslError &error : errors)
        if (certificate.isNull())
            certificate = error.certificate();
    m_refusedFingerprint = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    lose(errors.first().errorString());
    m_refusal = Refusal::UntrustedCertificate;
    return false;
}

bool ImapConnection::logIn(const ImapAccount &account)
{
    const QByteArray tag = nextTag();
    // Each argument quoted where it can be, else a literal the server asks for first.
    QByteArray line = tag + " LOGIN";
    bool asked = true;
    for (const QByteArray &argument : {account.user.toUtf8(), account.password.toUtf8()}) {
        const QByteArray text = quoted(argument);
        if (!text.isEmpty()) {
            line += ' ' + text;
            continue;
        }
        asked = send(line + " {" + QByteArray::number(argument.size()) + "}\r\n") && awaitContinuation(tag, nullptr);
        if (!asked)
            break;
        line = argument;
    }
    if (asked && send(line + "\r\n") && finish(tag, nullptr))
        return true;
    if (!m_lost)
        m_refusal = Refusal::Login;
    return false;
}

void ImapConnection::readCapabilities()
{
    QList<Response> untagged;
    if (!run("CAPABILITY", &untagged))
        return;
    for (const Response &response : untagged) {
        if (!response.text.startsWith("* CAPABILITY "))
            continue;
        for (const QByteArray &capability : response.text.split(' ')) {
            if (!capability.toUpper().startsWith("APPENDLIMIT="))
                continue;
            bool isNumber = false;
            const qint64 limit = capability.mid(int(qstrlen("APPENDLIMIT="))).toLongLong(&isNumber);
            if (isNumber && limit > 0)
                m_appendLimit = limit;
        }
    }
}

bool ImapConnection::list(QStringList *names, QChar *separator)
{
    QList<Response> untagged;
    if (!run("LIST \"\" \"*\"", &untagged))
        return false;
    *separator = QChar();
    for (const Response &response : untagged) {
        if (!response.text.startsWith("* LIST "))
            continue;
        ResponseParser parser(response, int(qstrlen("* LIST ")));
        QByteArray delimiter, name;
        bool noDelimiter = false;
        if (!parser.skipValue() || !parser.string(&delimiter, &noDelimiter) || !parser.string(&name))
            continue;
        names->append(decodeModifiedUtf7(name));
        if (separator->isNull() && delimiter.size() == 1)
            *separator = QLatin1Char(delimiter.at(0));
    }
    return true;
}

bool ImapConnection::create(const QString &mailbox)
{
    return run("CREATE " + mailboxArgument(mailbox));
}

bool ImapConnection::examine(const QString &mailbox, qint64 *messages)
{
    QList<Response> untagged;
    if (!run("EXAMINE " + mailboxArgument(mailbox), &untagged))
        return false;
    *messages = 0;
    for (const Response &response : untagged) {
        const QList<QByteArray> words = response.text.split(' ');
        if (words.size() >= 3 && words.at(2).toUpper() == "EXISTS")
            *messages = words.at(1).toLongLong();
    }
    return true;
}

bool ImapConnection::fetchMessageIdHeaders(qint64 count, QList<QByteArray> *headers)
{
    QList<Response> untagged;
    if (!run("FETCH 1:" + QByteArray::number(count) + " (BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])", &untagged))
        return false;
    for (const Response &response : untagged) {
        const int fetch = response.text.indexOf(" FETCH ");
        if (!response.text.startsWith("* ") || fetch < 0)
            continue;
        ResponseParser parser(response, fetch + int(qstrlen(" FETCH ")));
        if (!parser.take('('))
            continue;
        while (!parser.atEnd() && !parser.take(')')) {
            const QByteArray item = parser.atom().toUpper();
            QByteArray value;
            if (item.startsWith("BODY[") && parser.string(&value))
                headers->append(value);
            else if (item.isEmpty() || !parser.skipValue())
                break;
        }
    }
    return true;
}

bool ImapConnection::append(const QString &mailbox, const QList<QByteArray> &flags, const QDateTime &date,
                            QIODevice &message, qint64 size)
{
    const QByteArray tag = nextTag();
    QByteArray line = tag + " APPEND " + mailboxArgument(mailbox);
    if (!flags.isEmpty()) {
        QByteArray joined;
        for (const QByteArray &flag : flags)
            joined += (joined.isEmpty() ? "" : " ") + flag;
        line += " (" + joined + ')';
    }
    if (date.isValid())
        line += " \"" + imapDateTime(date) + '"';
    line += " {" + QByteArray::number(size) + "}\r\n";
    if (!send(line) || !awaitContinuation(tag, nullptr))
        return false;
    for (qint64 sent = 0; sent < size;) {
        const QByteArray block = message.read(qMin(kBlockSize, size - sent));
        if (block.isEmpty()) {
            // The server counts the bytes it was promised: the session cannot go on.
            lose(QStringLiteral("the message could not be read back from its temporary file: %1")
                     .arg(message.errorString()));
            m_socket.abort();
            return false;
        }
        if (!send(block))
            return false;
        sent += block.size();
    }
    return send("\r\n") && finish(tag, nullptr);
}

void ImapConnection::logout()
{
    if (!m_lost)
        run("LOGOUT");
    m_socket.disconnectFromHost();
    m_lost = true;
}

bool ImapConnection::send(const QByteArray &bytes)
{
    if (m_lost)
        return false;
    if (m_socket.write(bytes) != bytes.size()) {
        lose(m_socket.errorString());
        return false;
    }
    // Both the bytes still to encrypt and those encrypted but not yet sent count.
    while (m_socket.bytesToWrite() + m_socket.encryptedBytesToWrite() > kQueuedBytes)
        if (!m_socket.waitForBytesWritten(m_silenceLimitMs)) {
            lose(m_socket.error() == QAbstractSocket::SocketTimeoutError
                     ? QStringLiteral("the server took nothing for %1 seconds").arg(m_silenceLimitMs / 1000)
                     : m_socket.errorString());
            return false;
        }
    return true;
}

bool ImapConnection::readLine(QByteArray *line)
{
    while (!m_socket.canReadLine()) {
        if (m_socket.bytesAvailable() > kLongestLine) {
            lose(QStringLiteral("the server sent a line longer than any answer"));
            return false;
        }
        m_socket.flush();
        if (!m_socket.waitForReadyRead(m_silenceLimitMs)) {
            lose(m_socket.error() == QAbstractSocket::SocketTimeoutError
                     ? QStringLiteral("the server did not answer for %1 seconds").arg(m_silenceLimitMs / 1000)
                     : m_socket.errorString());
            return false;
        }
    }
    *line = m_socket.readLine(kLongestLine + 1);
    if (!line->endsWith('\n')) {
        lose(QStringLiteral("the server sent a line longer than any answer"));
        return false;
    }
    line->chop(line->endsWith("\r\n") ? 2 : 1);
    return true;
}

bool ImapConnection::readResponse(Response *response)
{
    response->text.clear();
    response->literals.clear();
    for (;;) {
        QByteArray line;
        if (!readLine(&line))
            return false;
        response->text += line;
        // A line ending in {N} (or {N+}) is followed by N bytes of a literal, then the rest of the answer.
        const int open = line.lastIndexOf('{');
        if (!line.endsWith('}') || open < 0)
            break;
        bool isNumber = false;
        const qint64 size = line.mid(open + 1, line.size() - open - 2).replace("+", "").toLongLong(&isNumber);
        if (!isNumber)
            break;
        if (size < 0 || size > kLargestLiteral) {
            lose(QStringLiteral("the server announced %1 bytes in answer to a question for a few").arg(size));
            return false;
        }
        QByteArray literal;
        while (literal.size() < size) {
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(m_silenceLimitMs)) {
                lose(QStringLiteral("the server stopped in the middle of an answer"));
                return false;
            }
            literal += m_socket.read(size - literal.size());
        }
        response->literals.append(literal);
    }
    if (response->text.startsWith("* BYE"))
        m_error = statusText(response->text, int(qstrlen("* BYE")));
    return true;
}

QByteArray ImapConnection::nextTag()
{
    return 'M' + QByteArray::number(++m_tags);
}

bool ImapConnection::run(const QByteArray &command, QList<Response> *untagged)
{
    const QByteArray tag = nextTag();
    return send(tag + ' ' + command + "\r\n") && finish(tag, untagged);
}

bool ImapConnection::finish(const QByteArray &tag, QList<Response> *untagged)
{
    Response response;
    while (readResponse(&response)) {
        if (response.text.startsWith(tag + ' ')) {
            const QByteArray status = firstWord(response.text.mid(tag.size() + 1)).toUpper();
            m_error = statusText(response.text, tag.size() + 1 + status.size());
            if (status == "OK")
                return true;
            if (status != "NO" && status != "BAD")
                lose(QStringLiteral("the server answered \"%1\"").arg(QString::fromUtf8(response.text.left(200))));
            return false;
        }
        if (response.text.startsWith("* BYE")) {
            lose(m_error.isEmpty() ? QStringLiteral("the server closed the connection") : m_error);
            return false;
        }
        if (untagged)
            untagged->append(response);
    }
    return false;
}

bool ImapConnection::awaitContinuation(const QByteArray &tag, QList<Response> *untagged)
{
    Response response;
    while (readResponse(&response)) {
        if (response.text.startsWith('+'))
            return true;
        if (response.text.startsWith(tag + ' ') || response.text.startsWith("* BYE")) {
            // Refused before the literal: the command is over.
            const QByteArray status = firstWord(response.text.mid(tag.size() + 1));
            m_error = statusText(response.text, tag.size() + 1 + status.size());
            if (response.text.startsWith("* BYE"))
                lose(m_error);
            return false;
        }
        if (untagged)
            untagged->append(response);
    }
    return false;
}

void ImapConnection::lose(const QString &why)
{
    m_error = why;
    m_lost = true;
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
}

QString decodeModifiedUtf7(const QByteArray &encoded)
{
    QString text;
    for (int i = 0; i < encoded.size(); ++i) {
        const int end = encoded.at(i) == '&' ? encoded.indexOf('-', i) : -1;
        if (end < 0) {
            text += QLatin1Char(encoded.at(i));
            continue;
        }
        if (end == i + 1) {
            text += QLatin1Char('&');
        } else {
            const QByteArray utf16 = QByteArray::fromBase64(encoded.mid(i + 1, end - i - 1).replace(',', '/'));
            for (int at = 0; at + 1 < utf16.size(); at += 2)
                text += QChar(ushort((uchar(utf16.at(at)) << 8) | uchar(utf16.at(at + 1))));
        }
        i = end;
    }
    return text;
}
