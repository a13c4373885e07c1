#include "olm/ScanMemory.h"

#include "platform/MemorySize.h"

#include <cstdlib>

qint64 recordMemoryLimit = defaultRecordMemoryLimit();
qint64 recordMemoryInUse = 0;
bool recordMemoryFull = false;

qint64 defaultRecordMemoryLimit()
{
    // Without a figure from the system, records of 4 GiB are allowed.
    const qint64 available = memoryAvailableToProcess();
    return available > 0 ? available / 2 : Q_INT64_C(4) << 30;
}

void *allocateRecordMemory(size_t size)
{
    if (recordMemoryFull || qint64(size) > recordMemoryLimit - recordMemoryInUse) {
        recordMemoryFull = true;
        return nullptr;
    }
    void *memory = calloc(1, size);
    if (!memory) {
        recordMemoryFull = true;
        return nullptr;
    }
    recordMemoryInUse += qint64(size);
    return memory;
}

bool countSideMemory(qint64 bytes)
{
    if (recordMemoryFull || bytes > recordMemoryLimit - recordMemoryInUse) {
        recordMemoryFull = true;
        return false;
    }
    recordMemoryInUse += bytes;
    return true;
}

void releaseSideMemory(qint64 bytes)
{
    recordMemoryInUse = qMax<qint64>(0, recordMemoryInUse - bytes);
}

void resetRecordMemory()
{
    recordMemoryInUse = 0;
    recordMemoryFull = false;
}
