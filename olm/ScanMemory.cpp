#include "olm/ScanMemory.h"

#include "platform/MemorySize.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MENDORA_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MENDORA_ADDRESS_SANITIZER 1
#endif
#ifdef MENDORA_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

qint64 recordMemoryLimit = defaultRecordMemoryLimit();
qint64 recordMemoryInUse = 0;
bool recordMemoryFull = false;

qint64 defaultRecordMemoryLimit()
{
    // Without a figure from the system, records of 4 GiB are allowed.
    const qint64 available = memoryAvailableToProcess();
    return available > 0 ? available / 2 : Q_INT64_C(4) << 30;
}

namespace {
// Fresh anonymous pages read as zero and cost nothing until touched.
constexpr size_t kRecordBlockSize = size_t(8) << 20;
constexpr size_t kSlotAlignment = 16;
#ifdef MENDORA_ADDRESS_SANITIZER
// Under the address sanitizer every slot is followed by bytes it guards, so that a write
// past a record is caught as it would be past a record of its own allocation.
constexpr size_t kGuardBytes = 64;
void poison(const char *from, size_t size) { ASAN_POISON_MEMORY_REGION(from, size); }
void unpoison(const char *from, size_t size) { ASAN_UNPOISON_MEMORY_REGION(from, size); }
#else
constexpr size_t kGuardBytes = 0;
void poison(const char *, size_t) {}
void unpoison(const char *, size_t) {}
#endif

struct RecordBlock {
    char *start;
    size_t size;
    size_t used;
};
std::vector<RecordBlock> recordBlocks;

bool refusedByLimit(size_t size)
{
    if (recordMemoryFull || qint64(size) > recordMemoryLimit - recordMemoryInUse) {
        recordMemoryFull = true;
        return true;
    }
    return false;
}

size_t slotSize(size_t size) { return (size + kGuardBytes + kSlotAlignment - 1) & ~(kSlotAlignment - 1); }

bool addRecordBlock(size_t atLeast)
{
    const size_t size = atLeast > kRecordBlockSize ? slotSize(atLeast) : kRecordBlockSize;
    void *start = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return false;
    recordBlocks.push_back({static_cast<char *>(start), size, 0});
    poison(static_cast<char *>(start), size);
    return true;
}
} // namespace

void *allocateRecordSlot(size_t size)
{
    if (refusedByLimit(size))
        return nullptr;
    const size_t needed = slotSize(size);
    if ((recordBlocks.empty() || recordBlocks.back().size - recordBlocks.back().used < needed)
        && !addRecordBlock(needed)) {
        recordMemoryFull = true;
        return nullptr;
    }
    RecordBlock &block = recordBlocks.back();
    char *slot = block.start + block.used;
    block.used += needed;
    unpoison(slot, size);
    recordMemoryInUse += qint64(size);
    return slot;
}

void returnRecordSlot(void *slot, size_t size)
{
    if (recordBlocks.empty())
        return;
    RecordBlock &block = recordBlocks.back();
    const size_t needed = slotSize(size);
    if (static_cast<char *>(slot) + needed != block.start + block.used)
        return;
    // Handed out again, it must read as zero like a fresh one.
    memset(slot, 0, size);
    poison(static_cast<char *>(slot), size);
    block.used -= needed;
}

void releaseRecordBlocks()
{
    for (const RecordBlock &block : recordBlocks) {
        unpoison(block.start, block.size);
        munmap(block.start, block.size);
    }
    recordBlocks.clear();
}

void *allocateRecordMemory(size_t size)
{
    if (refusedByLimit(size))
        return nullptr;
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
