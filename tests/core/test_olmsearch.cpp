// The walk for .olm files: what it reports on a tree of awkward names, how it stops,
// the size texts, and the volume list it starts from.
#include "SearchTree.h"
#include "platform/OlmSearch.h"
#include "platform/Volumes.h"

#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QStringList walk(const QString &start)
{
    QStringList found;
    OlmSearchHooks hooks;
    hooks.found = [&found](const QString &path) { found << path; };
    findOlmFiles(start, hooks);
    return found;
}
} // namespace

class OlmSearchTest : public QObject
{
    Q_OBJECT
private slots:
    void walkReportsEveryOlmFileOnce()
    {
        QTemporaryDir root, outside;
        const QStringList expected = makeSearchTree(QDir(root.path()), QDir(outside.path()));
        QStringList found = walk(root.path());
        found.sort();
        QCOMPARE(found, expected);
        // A trailing slash on the start changes nothing.
        found = walk(root.path() + QLatin1Char('/'));
        found.sort();
        QCOMPARE(found, expected);
    }

    void nothingToWalk_data()
    {
        QTest::addColumn<QString>("start");
        QTest::newRow("missing") << QStringLiteral("/no/such/directory");
        QTest::newRow("empty") << QString();
        QTest::newRow("a file") << QStringLiteral("plain.olm");
    }

    void nothingToWalk()
    {
        QTemporaryDir root;
        writeSizedFile(QDir(root.path()), QStringLiteral("plain.olm"), 1);
        QFETCH(QString, start);
        if (start.endsWith(QLatin1String(".olm")))
            start = QDir(root.path()).filePath(start);
        QCOMPARE(walk(start), QStringList());
    }

    void stopEndsTheWalkAtTheNextEntry()
    {
        QTemporaryDir root;
        for (int i = 0; i < 50; ++i)
            writeSizedFile(QDir(root.path()), QStringLiteral("f%1.olm").arg(i), 0);
        int polls = 0;
        int found = 0;
        OlmSearchHooks hooks;
        hooks.stopRequested = [&polls] { return ++polls == 7; };
        hooks.found = [&found](const QString &) { ++found; };
        findOlmFiles(root.path(), hooks);
        QCOMPARE(polls, 7);
        QVERIFY(found < 7);
    }

    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << qint64(0) << QStringLiteral("0 Byte");
        QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023 Byte");
        QTest::newRow("1024") << qint64(1024) << QStringLiteral("1 KB");
        QTest::newRow("just under a MB") << qint64(1048575) << QStringLiteral("1023 KB");
        QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("1 MB");
        QTest::newRow("just under a GB") << qint64(1073741823) << QStringLiteral("1023 MB");
        QTest::newRow("1 GB") << qint64(1073741824) << QStringLiteral("1 GB");
        QTest::newRow("past 4 GB") << qint64(5) * 1073741824 + 7 << QStringLiteral("5 GB");
    }

    void sizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(olmSizeText(bytes), text);
    }

    void volumeNames_data()
    {
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("name");
        QTest::newRow("macOS volume") << QStringLiteral("/Volumes/My Disk") << QStringLiteral("My Disk");
        QTest::newRow("udisks") << QStringLiteral("/media/ann/USB STICK") << QStringLiteral("USB STICK");
        QTest::newRow("run media") << QStringLiteral("/run/media/ann/Backup") << QStringLiteral("Backup");
        QTest::newRow("fixed disk") << QStringLiteral("/home") << QStringLiteral("/home");
        QTest::newRow("bare parent") << QStringLiteral("/media/") << QStringLiteral("/media/");
    }

    void volumeNames()
    {
        QFETCH(QString, mountPoint);
        QFETCH(QString, name);
        QCOMPARE(volumeNameForMountPoint(mountPoint), name);
    }

    void volumeListStartsWithTheStartUpVolume()
    {
        const QList<Volume> volumes = mountedVolumes();
        QVERIFY(!volumes.isEmpty());
        QCOMPARE(volumes.first().rootPath, QStringLiteral("/"));
        QVERIFY(!volumes.first().name.isEmpty());
        QSet<QString> names, roots;
        for (const Volume &volume : volumes) {
            QVERIFY2(QFileInfo(volume.rootPath).isDir(), qPrintable(volume.rootPath));
            names.insert(volume.name);
            roots.insert(volume.rootPath);
        }
        QCOMPARE(names.size(), volumes.size());
        QCOMPARE(roots.size(), volumes.size());
        QVERIFY(!roots.contains(QStringLiteral("/proc")));
        QVERIFY(!roots.contains(QStringLiteral("/sys")));
    }

    void pseudoFileSystemsAreKnownWhereTheyAreMounted_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("/proc") << QStringLiteral("/proc") << true;
        QTest::newRow("/sys") << QStringLiteral("/sys") << true;
        QTest::newRow("/") << QStringLiteral("/") << false;
        QTest::newRow("temp") << QDir::tempPath() << false;
    }

    void pseudoFileSystemsAreKnownWhereTheyAreMounted()
    {
        QFETCH(QString, path);
        QFETCH(bool, pseudo);
        const QStorageInfo volume(path);
        if (pseudo && volume.rootPath() != path)
            QSKIP("not mounted here");
        QCOMPARE(isPseudoFileSystem(volume.fileSystemType()), pseudo);
    }
};

QTEST_GUILESS_MAIN(OlmSearchTest)
#include "test_olmsearch.moc"
