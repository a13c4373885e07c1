// The control group's memory limit, read from files laid out as the system lays them
// out, under a temporary directory instead of the real /proc and /sys.
#include "platform/MemorySize.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray kVersion2Mount =
    "30 24 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
const QByteArray kVersion1Mount =
    "25 24 0:21 / /sys/fs/cgroup/memory rw,relatime shared:9 - cgroup cgroup rw,memory\n"
    "26 24 0:22 / /sys/fs/cgroup/cpu rw,relatime shared:10 - cgroup cgroup rw,cpu\n";

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class MemorySizeTest : public QObject
{
    Q_OBJECT
private slots:
    void limitOfTheGroupInForce_data()
    {
        QTest::addColumn<QByteArray>("groups");
        QTest::addColumn<QByteArray>("mounts");
        // Pairs of a file under the root and its text.
        QTest::addColumn<QStringList>("limitFiles");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("v2 without limit") << QByteArray("0::/user.slice/app\n") << kVersion2Mount
            << QStringList{"sys/fs/cgroup/user.slice/app/memory.max", "max\n",
                           "sys/fs/cgroup/user.slice/memory.max", "max\n"} << qint64(0);
        QTest::newRow("v2 own limit") << QByteArray("0::/user.slice/app\n") << kVersion2Mount
            << QStringList{"sys/fs/cgroup/user.slice/app/memory.max", "1610612736\n",
                           "sys/fs/cgroup/user.slice/memory.max", "max\n"} << qint64(1610612736);
        QTest::newRow("v2 smaller limit above") << QByteArray("0::/user.slice/app\n") << kVersion2Mount
            << QStringList{"sys/fs/cgroup/user.slice/app/memory.max", "4294967296\n",
                           "sys/fs/cgroup/user.slice/memory.max", "1073741824\n"} << qint64(1073741824);
        QTest::newRow("v1 no limit") << QByteArray("4:memory:/session\n1:cpu,cpuacct:/\n") << kVersion1Mount
            << QStringList{"sys/fs/cgroup/memory/session/memory.limit_in_bytes", "9223372036854771712\n",
                           "sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"} << qint64(0);
        QTest::newRow("v1 beside an empty v2") << QByteArray("4:memory:/session\n0::/\n") << kVersion1Mount + kVersion2Mount
            << QStringList{"sys/fs/cgroup/memory/session/memory.limit_in_bytes", "1610612736\n",
                           "sys/fs/cgroup/memory.max", "max\n"} << qint64(1610612736);
        // In a container the mount shows the container's own group at its mount point.
        QTest::newRow("v1 mounted from a group") << QByteArray("4:memory:/docker/abc\n")
            << QByteArray("25 24 0:21 /docker/abc /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n")
            << QStringList{"sys/fs/cgroup/memory/memory.limit_in_bytes", "536870912\n"} << qint64(536870912);
        QTest::newRow("unreadable text") << QByteArray("0::/app\n") << kVersion2Mount
            << QStringList{"sys/fs/cgroup/app/memory.max", "lots\n"} << qint64(0);
        QTest::newRow("no control groups") << QByteArray() << QByteArray() << QStringList{} << qint64(0);
    }

    void limitOfTheGroupInForce()
    {
        QFETCH(QByteArray, groups);
        QFETCH(QByteArray, mounts);
        QFETCH(QStringList, limitFiles);
        QFETCH(qint64, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        write(root.filePath("proc/self/cgroup"), groups);
        write(root.filePath("proc/self/mountinfo"), mounts);
        for (int i = 0; i + 1 < limitFiles.size(); i += 2)
            write(root.filePath(limitFiles.at(i)), limitFiles.at(i + 1).toLatin1());
        QCOMPARE(controlGroupMemoryLimit(root.path()), expected);
    }
};

QTEST_APPLESS_MAIN(MemorySizeTest)
#include "test_memorysize.moc"
