// Upload from the main window: the third choice of Save, the account form, the progress
// and the counts at the end, against Dovecot served by the end-to-end tests' helper.
#include "GuiTestSupport.h"

#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "app/SaveFormatDialog.h"
#include "app/SaveWorkflow.h"
#include "app/UploadAccountDialog.h"
#include "app/UploadThread.h"
#include "browse/MailSearchPane.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// Chooses "Upload to a mail account…" in the format question, then fills the account
// form (or cancels it when server is empty).
class UploadAnswerer : public QObject
{
public:
    UploadAnswerer(const QString &server, int port, const QString &password, int security = 2,
                   const QString &certificates = QString(), const QStringList &collections = {QString(), QString()})
        : m_server(server), m_port(port), m_password(password), m_security(security), m_certificates(certificates),
          m_collections(collections)
    {
        connect(&m_poll, &QTimer::timeout, this, &UploadAnswerer::poll);
        m_poll.start(5);
    }

    QVector<int> portsOffered; // the port the form showed for TLS, STARTTLS and none

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *formats = qobject_cast<SaveFormatDialog *>(modal)) {
            formats->findChild<QRadioButton *>(QStringLiteral("uploadFormat"))->click();
            formats->accept();
        } else if (auto *account = qobject_cast<UploadAccountDialog *>(modal)) {
            if (m_server.isEmpty()) {
                account->reject();
                return;
            }
            auto *security = account->findChild<QComboBox *>(QStringLiteral("security"));
            auto *port = account->findChild<QSpinBox *>(QStringLiteral("port"));
            for (int choice = 0; choice < 3; ++choice) {
                security->setCurrentIndex(choice);
                portsOffered.append(port->value());
            }
            security->setCurrentIndex(m_security);
            account->findChild<QLineEdit *>(QStringLiteral("certificateFile"))->setText(m_certificates);
            account->findChild<QLineEdit *>(QStringLiteral("server"))->setText(m_server);
            port->setValue(m_port);
            account->findChild<QLineEdit *>(QStringLiteral("user"))->setText(QStringLiteral("rescuer"));
            account->findChild<QLineEdit *>(QStringLiteral("password"))->setText(m_password);
            account->findChild<QLineEdit *>(QStringLiteral("carddav"))->setText(m_collections.value(0));
            account->findChild<QLineEdit *>(QStringLiteral("caldav"))->setText(m_collections.value(1));
            account->accept();
        }
    }

    QString m_server;
    int m_port;
    QString m_password;
    int m_security; // the choice: 0 SSL/TLS, 1 STARTTLS, 2 none
    QString m_certificates;
    QStringList m_collections; // the address book's and the calendar's addresses
    QTimer m_poll;
};

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class UploadWorkflowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cancelledFormUploadsNothing();
    void noServerIsReported();
    void uploadsAndCountsWhatIsThere();

private:
    // Runs Save (or start), answered by the UploadAnswerer the caller holds; returns the
    // texts of the message boxes shown.
    QStringList upload(const std::function<void()> &start = {});

    std::unique_ptr<QEntourageMainWindow> m_window;
};

void UploadWorkflowTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
    scanIntactSample();
    m_window->SetSaveActionsEnabled(true);
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        record->state = record->folderType == MailFolderType ? CheckedCode : UncheckedCode;
    StartFldrAtrib->state = PartiallyCheckedCode;
}

void UploadWorkflowTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    bStopFlag = false;
    stopflag = false;
    bProcessRunning = false;
    m_strDatabasePath.clear();
}

QStringList UploadWorkflowTest::upload(const std::function<void()> &start)
{
    QSignalSpy ended(m_window->saveWorkflow(), &SaveWorkflow::saveEnded);
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    if (start)
        start();
    else
        m_window->menuSaveAction()->trigger();
    if (ended.isEmpty() && !ended.wait(120000))
        qWarning("the upload did not end");
    if (!QTest::qWaitFor([] { return !qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }))
        qWarning("a message box stayed open");
    return boxes.texts;
}

void UploadWorkflowTest::cancelledFormUploadsNothing()
{
    UploadAnswerer answerer{QString(), 0, QString()};
    QCOMPARE(upload(), QStringList());
    QVERIFY(!m_window->saveWorkflow()->uploadThread());
}

void UploadWorkflowTest::noServerIsReported()
{
    const int port = closedPort();
    UploadAnswerer answerer(QStringLiteral("127.0.0.1"), port, QStringLiteral("secret"));
    const QStringList texts = upload();
    QCOMPARE(answerer.portsOffered, QVector<int>({993, 143, 143}));
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().startsWith(QStringLiteral("No connection to 127.0.0.1:%1").arg(port)), qPrintable(texts.first()));
    QVERIFY(!texts.first().contains(QLatin1String("secret")));
    QVERIFY(m_window->menuSaveAction()->isEnabled());
    QVERIFY(!bProcessRunning);
}

void UploadWorkflowTest::uploadsAndCountsWhatIsThere()
{
    // The helper stops Dovecot when its input closes, whatever the test's outcome.
    struct Served : QProcess {
        ~Served() override
        {
            closeWriteChannel();
            waitForFinished(30000);
        }
    } server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("python3"), {QFINDTESTDATA("../e2e/mailservers.py")});
    while (!server.canReadLine() && server.waitForReadyRead(60000)) {
    }
    if (!server.canReadLine())
        QSKIP("Dovecot did not start (tools/bootstrap.sh installs dovecot-imapd and openssl); the upload to a server "
              "is not tested");
    const QList<QByteArray> served = server.readLine().trimmed().split(' ');
    QCOMPARE(served.size(), 7);
    const int port = served.at(0).toInt();
    const QString password = QString::fromUtf8(served.at(1));
    // No certificate of its own to trust in the form: the plain port, as the choice "None" allows.
    for (const char *expected : {"Uploaded: 20 mails (0 already there)", "Uploaded: 0 mails (20 already there)"}) {
        UploadAnswerer answerer(QStringLiteral("127.0.0.1"), port, password);
        QCOMPARE(upload(), QStringList{QLatin1String(expected)});
        QCOMPARE(m_window->saveWorkflow()->progressDialog()->counts()->text(), QStringLiteral("20 of 20 mails"));
    }
    // Upload results… of a search across every folder: exactly the mails it found, and the
    // end message names the search.
    {
        m_window->SetFinishSettingsForMail();
        MailSearchPane *search = m_window->mailSearch();
        search->searchField()->setText(QString::fromUtf8("資料一式"));
        QVERIFY(QTest::qWaitFor([search] { return !search->isSearching(); }));
        UploadAnswerer answerer(QStringLiteral("127.0.0.1"), port, password);
        QCOMPARE(upload([search] { search->uploadButton()->click(); }),
                 QStringList{QString::fromUtf8("Uploaded: 0 mails (2 already there)\nOnly the mails found by the search "
                                               "\"資料一式\"")});
        QCOMPARE(m_window->saveWorkflow()->progressDialog()->counts()->text(), QStringLiteral("2 of 2 mails"));
    }
    // Over TLS the server's own certificate is refused, named by its fingerprint, until the
    // form's certificate file trusts it.
    const int tlsPort = served.at(2).toInt();
    const QString certificate = QString::fromUtf8(served.at(3));
    {
        UploadAnswerer answerer(QStringLiteral("127.0.0.1"), tlsPort, password, 0);
        const QStringList texts = upload();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains(QStringLiteral("is not trusted")), qPrintable(texts.first()));
        QVERIFY2(texts.first().contains(QStringLiteral("Its SHA-256 fingerprint is %1.\n").arg(QString::fromUtf8(served.at(4)))),
                 qPrintable(texts.first()));
        QVERIFY2(texts.first().contains(QStringLiteral("\"Certificate file\"")), qPrintable(texts.first()));
    }
    // Every folder checked: the notes go with the mails; contacts, events and tasks need
    // the collections' addresses, and without them are named as not sent.
    for (FolderAttribute *record = StartFldrAtrib->next; record; record = record->next)
        record->state = CheckedCode;
    const QString notes = QStringLiteral("Uploaded: %1 notes into \"Rescued/intact/Notes\" (%2 already there)");
    {
        UploadAnswerer answerer(QStringLiteral("127.0.0.1"), tlsPort, password, 0, certificate);
        QCOMPARE(upload(), QStringList{QStringLiteral("Uploaded: 0 mails (20 already there)\n%1\nNot sent, since the form "
                                                      "names no address for them: %2 contacts, %3 calendar events, %4 "
                                                      "tasks. Contacts go to a CardDAV address book, events and tasks "
                                                      "to a CalDAV calendar.")
                                           .arg(notes.arg(NotesItemCount).arg(0))
                                           .arg(ContactItemCount)
                                           .arg(CalendarItemCount)
                                           .arg(TaskItemCount)});
    }
    if (served.at(5) == "-")
        QSKIP("Radicale is not installed (tools/bootstrap.sh installs it); contacts and calendar are not uploaded");
    {
        // The collections take the account's user name and password; plain HTTP only with "None".
        // The contact groups go as cards of their own.
        UploadAnswerer answerer(QStringLiteral("127.0.0.1"), port, password, 2, QString(),
                                {QString::fromUtf8(served.at(5)), QString::fromUtf8(served.at(6))});
        QCOMPARE(upload(), QStringList{QStringLiteral("Uploaded: 0 mails (20 already there)\n%1\nUploaded: %2 contacts "
                                                      "(0 replaced)\nUploaded: %3 events and tasks (0 replaced)")
                                           .arg(notes.arg(0).arg(NotesItemCount))
                                           .arg(ContactItemCount + contactGroups().size())
                                           .arg(CalendarItemCount + TaskItemCount)});
    }
    // Its stop question tells the truth: uploading again goes on where it stopped.
    MessageBoxAnswerer answer(QMessageBox::No);
    m_window->saveWorkflow()->progressDialog()->stopButton()->click();
    QCOMPARE(answer.texts, QStringList{QStringLiteral("The upload can be resumed: uploading again goes on where it stopped.")});
}

QTEST_MAIN(UploadWorkflowTest)
#include "test_uploadworkflow.moc"
