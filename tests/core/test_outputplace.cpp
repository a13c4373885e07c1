// Where a save puts its output: made exclusively, replaced only by a whole new output,
// never over the file being saved.
#include "archive/OutputPlace.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The names in directory, sorted.
QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}
} // namespace

class TestOutputPlace : public QObject
{
    Q_OBJECT
private slots:
    void newOutputIsMadeOnceOnly()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("deep/mailbox (rescued)"));
        OutputPlace first, second;
        QString error;
        QVERIFY2(first.begin(path, false, tmp.filePath(QStringLiteral("in.olm")), &error), qPrintable(error));
        QCOMPARE(first.writePath(), path);
        QVERIFY(QFileInfo(path).isDir());
        // A second save of the same output at the same moment does not write into it,
        // whether it may replace or not: a replace writes beside it.
        QVERIFY(!second.begin(path, false, QString(), &error));
        QCOMPARE(error, path + QStringLiteral(" exists already"));
        QVERIFY(second.begin(path, true, QString(), &error));
        QVERIFY(second.writePath() != path);
        QString note;
        QVERIFY(first.end(true, &note));
        QVERIFY(note.isEmpty());
    }

    void replacementTakesThePlaceOnlyWhenWhole_data()
    {
        QTest::addColumn<bool>("everyItemWritten");
        QTest::newRow("every item written") << true;
        QTest::newRow("failed or stopped") << false;
    }
    void replacementTakesThePlaceOnlyWhenWhole()
    {
        QFETCH(bool, everyItemWritten);
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("mailbox (rescued)"));
        writeFile(path + QStringLiteral("/Contacts.vcf"), "old");
        OutputPlace place;
        QString error;
        QVERIFY2(place.begin(path, true, tmp.filePath(QStringLiteral("mailbox.olm")), &error), qPrintable(error));
        QVERIFY(place.replacing());
        const QString staged = place.writePath();
        QCOMPARE(QFileInfo(staged).path(), tmp.path());
        // While the new output is written, the old one is untouched.
        QCOMPARE(readFile(path + QStringLiteral("/Contacts.vcf")), QByteArray("old"));
        writeFile(staged + QStringLiteral("/Contacts.vcf"), "new");
        QString note;
        QVERIFY(place.end(everyItemWritten, &note));
        if (everyItemWritten) {
            QCOMPARE(readFile(path + QStringLiteral("/Contacts.vcf")), QByteArray("new"));
            QCOMPARE(entries(tmp.path()), QStringList{QStringLiteral("mailbox (rescued)")});
            QVERIFY(note.isEmpty());
        } else {
            QCOMPARE(readFile(path + QStringLiteral("/Contacts.vcf")), QByteArray("old"));
            QCOMPARE(readFile(staged + QStringLiteral("/Contacts.vcf")), QByteArray("new"));
            QVERIFY(note.contains(path) && note.contains(staged));
        }
    }

    void outputHoldingTheInputIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("inside") << QStringLiteral("mailbox (rescued)/mailbox.olm");
        QTest::newRow("deeper") << QStringLiteral("mailbox (rescued)/Mail/a/mailbox.olm");
        QTest::newRow("through a link") << QStringLiteral("link/mailbox.olm");
    }
    void outputHoldingTheInputIsNeverReplaced()
    {
        QFETCH(QString, input);
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("mailbox (rescued)"));
        QVERIFY(QDir().mkpath(path));
        QVERIFY(QFile::link(path, tmp.filePath(QStringLiteral("link"))));
        writeFile(tmp.filePath(input), "the only copy");
        OutputPlace place;
        QString error;
        QVERIFY(!place.begin(path, true, tmp.filePath(input), &error));
        QVERIFY2(error.contains(QLatin1String("holds the file being saved")), qPrintable(error));
        QCOMPARE(readFile(tmp.filePath(input)), QByteArray("the only copy"));
        // A sibling whose name merely begins alike is no part of it.
        writeFile(tmp.filePath(QStringLiteral("mailbox (rescued) 2/x.olm")), "x");
        QVERIFY(place.begin(path, true, tmp.filePath(QStringLiteral("mailbox (rescued) 2/x.olm")), &error));
    }

    void oldOutputThatIsALinkIsReplacedNotFollowed()
    {
        QTemporaryDir tmp;
        const QString target = tmp.filePath(QStringLiteral("elsewhere"));
        writeFile(target + QStringLiteral("/keep"), "keep");
        const QString path = tmp.filePath(QStringLiteral("out"));
        QVERIFY(QFile::link(target, path));
        OutputPlace place;
        QString error, note;
        QVERIFY2(place.begin(path, true, tmp.filePath(QStringLiteral("in.olm")), &error), qPrintable(error));
        writeFile(place.writePath() + QStringLiteral("/new"), "new");
        QVERIFY(place.end(true, &note));
        QVERIFY(!QFileInfo(path).isSymLink());
        QCOMPARE(readFile(path + QStringLiteral("/new")), QByteArray("new"));
        QCOMPARE(readFile(target + QStringLiteral("/keep")), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TestOutputPlace)
#include "test_outputplace.moc"
