#include "platform/MemorySize.h"

#include <sys/resource.h>
#include <unistd.h>

namespace {
qint64 softLimit(int resource)
{
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return qint64(qMin<rlim_t>(limit.rlim_cur, rlim_t(Q_INT64_C(0x7FFFFFFFFFFFFFFF))));
}
} // namespace

qint64 memoryAvailableToProcess()
{
    qint64 smallest = 0;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        smallest = qint64(pages) * pageSize;
    for (const qint64 limit : {softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA)})
        if (limit > 0 && (smallest == 0 || limit < smallest))
            smallest = limit;
    return smallest;
}
