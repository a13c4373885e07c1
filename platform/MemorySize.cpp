#include "platform/MemorySize.h"

#include <QFile>

#include <sys/resource.h>
#include <unistd.h>

namespace {
// Limits at or above this stand for none: v1 writes "no limit" as the largest page
// count it holds (9223372036854771712), and no machine has 4 EiB.
constexpr qint64 kNoLimitFrom = Q_INT64_C(1) << 62;

qint64 softLimit(int resource)
{
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return qint64(qMin<rlim_t>(limit.rlim_cur, rlim_t(Q_INT64_C(0x7FFFFFFFFFFFFFFF))));
}

// The smaller of two limits, where 0 stands for none.
qint64 leastLimit(qint64 a, qint64 b)
{
    if (a <= 0)
        return qMax<qint64>(b, 0);
    return b > 0 && b < a ? b : a;
}

QList<QByteArray> linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // These files are a few lines; the bound keeps a strange one from costing memory.
    return file.read(1 << 20).split('\n');
}

// A limit file's value: a byte count, or "max" (v2) or a huge count (v1) for none.
qint64 limitIn(const QString &path)
{
    const QList<QByteArray> lines = linesOf(path);
    if (lines.isEmpty())
        return 0;
    bool isNumber = false;
    const qint64 limit = lines.first().trimmed().toLongLong(&isNumber);
    return isNumber && limit > 0 && limit < kNoLimitFrom ? limit : 0;
}

// mountinfo writes a space, tab, newline or backslash in a path as \ and three octal digits.
QByteArray unescapedPath(const QByteArray &field)
{
    QByteArray path;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool isOctal = false;
            const int code = field.mid(i + 1, 3).toInt(&isOctal, 8);
            if (isOctal && code < 256) {
                path += char(code);
                i += 3;
                continue;
            }
        }
        path += field[i];
    }
    return path;
}

struct ControlGroupMount {
    QByteArray root;  // the group the mount shows at its mount point
    QByteArray point;
};

// The mount of the v2 hierarchy (memoryController false) or of v1's memory controller.
bool findMount(const QString &root, bool memoryController, ControlGroupMount *mount)
{
    for (const QByteArray &line : linesOf(root + QStringLiteral("/proc/self/mountinfo"))) {
        const QList<QByteArray> fields = line.split(' ');
        const int separator = fields.indexOf("-");
        if (separator < 5 || separator + 3 >= fields.size())
            continue;
        const QByteArray &type = fields.at(separator + 1);
        const bool matches = memoryController
                                 ? type == "cgroup" && fields.at(separator + 3).split(',').contains("memory")
                                 : type == "cgroup2";
        if (matches) {
            *mount = {unescapedPath(fields.at(3)), unescapedPath(fields.at(4))};
            return true;
        }
    }
    return false;
}

// The least limit of the group at groupPath and the groups above it, up to the mount.
qint64 leastLimitUpFrom(const QString &root, const ControlGroupMount &mount, QByteArray groupPath,
                        const char *limitFile)
{
    if (mount.root != "/") {
        if (groupPath != mount.root && !groupPath.startsWith(mount.root + '/'))
            return 0; // the group lies outside what the mount shows
        groupPath = groupPath.mid(mount.root.size());
    }
    qint64 least = 0;
    for (;;) {
        const QString directory = root + QFile::decodeName(mount.point) + QFile::decodeName(groupPath);
        least = leastLimit(least, limitIn(directory + QLatin1Char('/') + QLatin1String(limitFile)));
        const int slash = groupPath.lastIndexOf('/');
        if (slash < 0 || groupPath.isEmpty() || groupPath == "/")
            return least;
        groupPath.truncate(slash);
    }
}
} // namespace

qint64 controlGroupMemoryLimit(const QString &root)
{
    qint64 least = 0;
    // Each line is "hierarchy:controllers:path"; the path itself may hold colons.
    for (const QByteArray &line : linesOf(root + QStringLiteral("/proc/self/cgroup"))) {
        const int first = line.indexOf(':');
        const int second = first < 0 ? -1 : line.indexOf(':', first + 1);
        if (second < 0)
            continue;
        const QByteArray controllers = line.mid(first + 1, second - first - 1);
        const QByteArray groupPath = line.mid(second + 1);
        const bool isVersion2 = line.left(first) == "0" && controllers.isEmpty();
        const bool isMemoryVersion1 = controllers.split(',').contains("memory");
        ControlGroupMount mount;
        if ((isVersion2 || isMemoryVersion1) && findMount(root, isMemoryVersion1, &mount))
            least = leastLimit(least, leastLimitUpFrom(root, mount, groupPath,
                                                       isMemoryVersion1 ? "memory.limit_in_bytes" : "memory.max"));
    }
    return least;
}

qint64 memoryAvailableToProcess()
{
    qint64 least = 0;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        least = qint64(pages) * pageSize;
    for (const qint64 limit : {softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA), controlGroupMemoryLimit()})
        least = leastLimit(least, limit);
    return least;
}
