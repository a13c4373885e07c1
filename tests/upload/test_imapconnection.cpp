// The IMAP session against a scripted server on a loopback port: answers with literals,
// names in modified UTF-7, and servers that misbehave (a literal larger than any answer,
// a line without end, a goodbye in the middle, silence), each ending in a clear reason
// and never in a hang or an allocation the server chose.
#include "upload/ImapConnection.h"
#include "upload/ImapUpload.h"

#include <QBuffer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <future>
#include <memory>
#include <thread>

namespace {

// One exchange: the command word the client sends, and the answer, "TAG" standing for its tag.
struct Exchange {
    QByteArray command;
    QByteArray answer;
};

// Serves one connection in a thread of its own: the greeting, then each exchange in turn;
// a literal the client announces is read before the next exchange. Whatever the client
// sends beyond the script is read and left unanswered.
class ScriptedServer
{
public:
    explicit ScriptedServer(QList<Exchange> script) : m_script(std::move(script))
    {
        std::promise<quint16> listening;
        m_port = 0;
        m_thread = std::thread([this, &listening] { serve(&listening); });
        m_port = listening.get_future().get();
    }
    ~ScriptedServer() { finish(); }
    // Waits until the client has left and the script is over.
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    quint16 port() const { return m_port; }
    QList<QByteArray> received; // the client's command lines; read once the client is done

private:
    void serve(std::promise<quint16> *listening)
    {
        QTcpServer listener;
        listener.listen(QHostAddress::LocalHost);
        listening->set_value(listener.serverPort());
        if (!listener.waitForNewConnection(10000))
            return;
        std::unique_ptr<QTcpSocket> client(listener.nextPendingConnection());
        client->write("* OK scripted server ready\r\n");
        client->waitForBytesWritten(5000);
        QByteArray tag;
        qint64 literal = 0;
        for (const Exchange &exchange : m_script) {
            for (QByteArray skipped; skipped.size() < literal && client->waitForReadyRead(5000);)
                skipped += client->read(literal - skipped.size());
            QByteArray line;
            while (!line.endsWith('\n') && (client->canReadLine() || client->waitForReadyRead(5000)))
                line += client->readLine();
            line = line.trimmed();
            if (literal == 0) {
                received.append(line);
                tag = line.left(line.indexOf(' '));
            }
            const int open = line.lastIndexOf('{');
            literal = line.endsWith('}') && open >= 0 ? line.mid(open + 1, line.size() - open - 2).toLongLong() : 0;
            QByteArray answer = exchange.answer;
            client->write(answer.replace("TAG", tag));
            client->waitForBytesWritten(5000);
        }
        while (client->state() == QAbstractSocket::ConnectedState && client->waitForReadyRead(3000))
            client->readAll();
    }

    QList<Exchange> m_script;
    quint16 m_port;
    std::thread m_thread;
};

const QByteArray kLoggedIn = "TAG OK logged in\r\n";
const QByteArray kCapabilities = "* CAPABILITY IMAP4rev1 APPENDLIMIT=5000\r\nTAG OK done\r\n";

ImapAccount plainAccount(quint16 port)
{
    ImapAccount account;
    account.host = QStringLiteral("127.0.0.1");
    account.port = port;
    account.user = QStringLiteral("ann");
    account.password = QStringLiteral("pa\"ss\\word");
    account.security = ImapSecurity::None;
    return account;
}

} // namespace

class TestImapConnection : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void appendSendsWhatItWasGiven();
};

void TestImapConnection::answers_data()
{
    QTest::addColumn<QByteArray>("listAnswer");
    QTest::addColumn<QString>("expected"); // the names listed and the separator, or "lost: " and the reason's start
    QTest::newRow("names quoted, atom, literal, modified UTF-7")
        << QByteArray("* LIST (\\HasNoChildren) \".\" \"Entw&APw-rfe\"\r\n* LIST () \".\" INBOX\r\n"
                      "* LIST () \".\" {9}\r\nA \"B\" C&-\r\n* LIST (\\Noselect) NIL \"flat\"\r\nTAG OK\r\n")
        << "Entwürfe|INBOX|A \"B\" C&|flat|.";
    QTest::newRow("a literal larger than any answer")
        << QByteArray("* LIST () \"/\" {99999999999}\r\nshort\r\nTAG OK\r\n") << "lost: the server announced 99999999999";
    QTest::newRow("a line without end") << QByteArray(3 << 20, 'x') << "lost: the server sent a line longer";
    QTest::newRow("goodbye in the middle") << QByteArray("* BYE shutting down\r\n") << "lost: shutting down";
    QTest::newRow("silence") << QByteArray() << "lost: the server did not answer";
    QTest::newRow("refused") << QByteArray("TAG NO [UNAVAILABLE] try later\r\n") << "refused: [UNAVAILABLE] try later";
}

void TestImapConnection::answers()
{
    QFETCH(QByteArray, listAnswer);
    QFETCH(QString, expected);
    QList<Exchange> script{{"LOGIN", kLoggedIn}, {"CAPABILITY", kCapabilities}, {"LIST", listAnswer}};
    QStringList names;
    QChar separator;
    ScriptedServer server(script);
    ImapConnection connection(1000);
    QVERIFY2(connection.open(plainAccount(server.port())), qPrintable(connection.error()));
    const qint64 appendLimit = connection.appendLimit();
    const bool listed = connection.list(&names, &separator);
    const QString error = connection.error();
    const bool lost = connection.isLost();
    connection.logout();
    server.finish();
    const QByteArray login = server.received.value(0);
    QCOMPARE(appendLimit, qint64(5000));
    // The password's quote and backslash are escaped, never cut or raw.
    QVERIFY2(login.endsWith(" LOGIN \"ann\" \"pa\\\"ss\\\\word\""), login.constData());
    if (expected.startsWith(QLatin1String("lost: "))) {
        QVERIFY(!listed);
        QVERIFY(lost);
        QVERIFY2(error.startsWith(expected.mid(6)), qPrintable(error));
    } else if (expected.startsWith(QLatin1String("refused: "))) {
        QVERIFY(!listed);
        QVERIFY(!lost);
        QCOMPARE(error, expected.mid(9));
    } else {
        QVERIFY2(listed, qPrintable(error));
        QCOMPARE((names + QStringList{QString(separator)}).join(QLatin1Char('|')), expected);
    }
}

void TestImapConnection::appendSendsWhatItWasGiven()
{
    const QByteArray message = QByteArray("Subject: x\r\n\r\n") + QByteArray(700000, 'y') + "\r\n";
    QBuffer staged;
    staged.setData(message);
    staged.open(QIODevice::ReadOnly);
    const QList<Exchange> script{{"LOGIN", kLoggedIn},
                                 {"CAPABILITY", kCapabilities},
                                 {"APPEND", "+ go ahead\r\n"},
                                 {"", "TAG NO [TOOBIG] over the limit\r\n"}};
    ScriptedServer server(script);
    ImapConnection connection(5000);
    QVERIFY(connection.open(plainAccount(server.port())));
    const QDateTime date(QDate(2018, 6, 18), QTime(16, 31), Qt::OffsetFromUTC, -6 * 3600);
    QVERIFY(!connection.append(QStringLiteral("Rescued/Entwürfe"), {"\\Seen", "$Label1"}, date, staged, message.size()));
    QCOMPARE(connection.error(), QStringLiteral("[TOOBIG] over the limit"));
    QVERIFY(!connection.isLost());
    connection.logout();
    server.finish();
    QVERIFY(server.received.size() >= 3);
    QVERIFY2(server.received.at(2).endsWith(" APPEND \"Rescued/Entw&APw-rfe\" (\\Seen $Label1) "
                                             "\"18-Jun-2018 16:31:00 -0600\" {700016}"),
             server.received.at(2).constData());
}

QTEST_GUILESS_MAIN(TestImapConnection)
#include "test_imapconnection.moc"
