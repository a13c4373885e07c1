// First-run agreement, the files found beside the executable and the support links.
#include "GuiTestSupport.h"
#include "app/Agreement.h"
#include "app/AppPaths.h"
#include "app/QLicenseAgreement.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

class StartUpTest : public QObject
{
    Q_OBJECT

private slots:
    void markerFirstLine_data();
    void markerFirstLine();
    void missingMarkerMeansNoAgreement();
    void recordedAgreementIsRecognised();
    void unwritableMarkerIsNoFailure();
    void agreementDialogButtons();
    void agreementTextIsLatin1();
    void agreementScrollBarHandleFollowsTheText();
    void resourcesBesideTheExecutable();
    void shippedFilesBesideThenInstalled();
    void linksFromPropertyList_data();
    void linksFromPropertyList();

private:
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(QDir(m_dir.path()), name, bytes);
    }

    QTemporaryDir m_dir;
};

void StartUpTest::markerFirstLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("agreed");
    QTest::newRow("CR LF as written") << QByteArray("Agree\r\n") << true;
    QTest::newRow("LF") << QByteArray("Agree\n") << true;
    QTest::newRow("lone CR at the end") << QByteArray("Agree\r") << true;
    QTest::newRow("no line end") << QByteArray("Agree") << true;
    QTest::newRow("later lines ignored") << QByteArray("Agree\r\nanything") << true;
    QTest::newRow("lower case") << QByteArray("agree\r\n") << false;
    QTest::newRow("trailing space") << QByteArray("Agree \r\n") << false;
    QTest::newRow("CR inside the line") << QByteArray("Agree\rX\n") << false;
    QTest::newRow("second line") << QByteArray("\nAgree\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("longer word") << QByteArray("Agreed\n") << false;
    QTest::newRow("huge line") << QByteArray("Agree") + QByteArray(1 << 20, 'x') << false;
}

void StartUpTest::markerFirstLine()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, agreed);
    QCOMPARE(agreementGiven(writeFile(QStringLiteral("marker"), content)), agreed);
}

void StartUpTest::missingMarkerMeansNoAgreement()
{
    QVERIFY(!agreementGiven(m_dir.filePath(QStringLiteral("no-such-marker"))));
    // A directory where the marker should be cannot be read as one.
    QVERIFY(!agreementGiven(m_dir.path()));
}

void StartUpTest::recordedAgreementIsRecognised()
{
    const QString path = writeFile(QStringLiteral("old-marker"), QByteArray("Disagree and more text\n"));
    QVERIFY(!agreementGiven(path));
    QVERIFY(recordAgreement(path));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("Agree\r\n")); // truncated, not appended
    QVERIFY(agreementGiven(path));
}

void StartUpTest::unwritableMarkerIsNoFailure()
{
    QVERIFY(!recordAgreement(m_dir.filePath(QStringLiteral("missing-directory/marker"))));
}

void StartUpTest::agreementDialogButtons()
{
    const QString text = writeFile(QStringLiteral("Eula.txt"), QByteArray("Terms."));
    QLicenseAgreement agreeing(text);
    QCOMPARE(agreeing.windowTitle(), QStringLiteral("License Agreement"));
    QCOMPARE(agreeing.agreeButton()->text(), QStringLiteral("I Agree"));
    QCOMPARE(agreeing.disagreeButton()->text(), QStringLiteral("Disagree"));
    QVERIFY(agreeing.agreementText()->isReadOnly());
    QTimer::singleShot(0, agreeing.agreeButton(), &QPushButton::click);
    QCOMPARE(agreeing.exec(), int(QDialog::Accepted));

    QLicenseAgreement refusing(text);
    QTimer::singleShot(0, refusing.disagreeButton(), &QPushButton::click);
    QCOMPARE(refusing.exec(), int(QDialog::Rejected));
}

void StartUpTest::agreementTextIsLatin1()
{
    // E9 is "é" in ISO 8859-1 and no valid UTF-8.
    const QString path = writeFile(QStringLiteral("Eula-latin1.txt"), QByteArray("Caf\xe9 terms\n"));
    QLicenseAgreement agreement(path);
    QCOMPARE(agreement.agreementText()->toPlainText(), QStringLiteral("Caf\u00e9 terms\n"));

    QLicenseAgreement missing(m_dir.filePath(QStringLiteral("no-Eula.txt")));
    QVERIFY(missing.agreementText()->toPlainText().isEmpty());
}

// The darker part of the scroll bar is its handle: at the top while the text shows its
// start, at the bottom once it shows its end.
void StartUpTest::agreementScrollBarHandleFollowsTheText()
{
    QByteArray text;
    for (int line = 0; line < 200; ++line)
        text += "Clause " + QByteArray::number(line) + ": terms of use.\n";
    QLicenseAgreement agreement(writeFile(QStringLiteral("Eula-long.txt"), text));
    agreement.show();
    QVERIFY(QTest::qWaitForWindowExposed(&agreement));
    QScrollBar *bar = agreement.agreementText()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    auto lightness = [bar](double at) {
        const QImage image = bar->grab().toImage();
        return qGray(image.pixel(image.width() / 2, int(image.height() * at)));
    };
    bar->setValue(bar->minimum());
    QVERIFY(lightness(0.03) < lightness(0.97));
    bar->setValue(bar->maximum());
    QVERIFY(lightness(0.97) < lightness(0.03));
}

void StartUpTest::resourcesBesideTheExecutable()
{
    QCOMPARE(resourcesDirectoryFor(QStringLiteral("/Applications/Mendora.app/Contents/MacOS")),
             QStringLiteral("/Applications/Mendora.app/Contents/Resources"));
    QCOMPARE(resourcesDirectoryFor(QStringLiteral("/home/a b/build/Mendora.app/Contents/MacOS")),
             QStringLiteral("/home/a b/build/Mendora.app/Contents/Resources"));
}

// A build runs from Mendora.app/Contents/MacOS with its files in Contents/Resources; an
// installed copy runs from <prefix>/bin with its files in <prefix>/share/mendora.
void StartUpTest::shippedFilesBesideThenInstalled()
{
    const QDir root(m_dir.path());
    const QString bundle = root.filePath(QStringLiteral("Mendora.app/Contents/MacOS"));
    const QString installed = root.filePath(QStringLiteral("usr/bin"));
    QVERIFY(root.mkpath(bundle) && root.mkpath(installed));
    QVERIFY(root.mkpath(QStringLiteral("Mendora.app/Contents/Resources")));
    QVERIFY(root.mkpath(QStringLiteral("usr/share/mendora/help")));
    writeFile(QStringLiteral("Mendora.app/Contents/Resources/Eula.txt"), "beside");
    writeFile(QStringLiteral("usr/share/mendora/Eula.txt"), "installed");
    writeFile(QStringLiteral("usr/share/mendora/help/Mendora_Help.htm"), "installed");
    auto contentOf = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    };
    QCOMPARE(contentOf(shippedFilePathFor(bundle, QStringLiteral("Eula.txt"))), QByteArray("beside"));
    QCOMPARE(contentOf(shippedFilePathFor(installed, QStringLiteral("Eula.txt"))), QByteArray("installed"));
    QCOMPARE(contentOf(shippedFilePathFor(installed, QStringLiteral("help/Mendora_Help.htm"))),
             QByteArray("installed"));
    // Found nowhere: the path beside the executable, where a message would send the user.
    QCOMPARE(shippedFilePathFor(installed, QStringLiteral("MendoraLink.plist")),
             root.filePath(QStringLiteral("usr/Resources/MendoraLink.plist")));
}

void StartUpTest::linksFromPropertyList_data()
{
    QTest::addColumn<QByteArray>("plist");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("link");

    const QByteArray links = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>BuyOnlineLink</key><string> https://example.com/buy </string>"
                             "<key>EmailToSupport</key><string>help@example.com</string>"
                             "<key>Nested</key><dict><key>KBLink</key><string>https://wrong</string></dict>"
                             "<key>KBLink</key><string>https://example.com/kb?a=1&amp;b=2</string>"
                             "<key>Flag</key><true/>"
                             "</dict></plist>";
    QTest::newRow("trimmed value") << links << "BuyOnlineLink" << "https://example.com/buy";
    QTest::newRow("second key") << links << "EmailToSupport" << "help@example.com";
    QTest::newRow("top level only, entities decoded") << links << "KBLink" << "https://example.com/kb?a=1&b=2";
    QTest::newRow("not a string") << links << "Flag" << QString();
    QTest::newRow("missing key") << links << "ViewSupportLink" << QString();
    QTest::newRow("key text is not a prefix match") << links << "Buy" << QString();
    QTest::newRow("broken XML") << QByteArray("<plist><dict><key>KBLink</key><str") << "KBLink" << QString();
    QTest::newRow("empty file") << QByteArray() << "KBLink" << QString();
}

void StartUpTest::linksFromPropertyList()
{
    QFETCH(QByteArray, plist);
    QFETCH(QString, key);
    QFETCH(QString, link);
    QCOMPARE(readLinkFromPropertyList(writeFile(QStringLiteral("links.plist"), plist), key), link);
    QCOMPARE(readLinkFromPropertyList(m_dir.filePath(QStringLiteral("missing.plist")), key), QString());
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    StartUpTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
