#include "olm/ScanMemory.h"

#include "platform/MemorySize.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#endif

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
bool recordDiskFull = false;
qint64 residentMemoryLimit = defaultResidentMemoryLimit();
qint64 residentMemoryInUse = 0;

qint64 defaultRecordMemoryLimit() { return std::numeric_limits<qint64>::max(); }

qint64 defaultResidentMemoryLimit()
{
    // Without a figure from the system, 4 GiB are allowed.
    const qint64 available = memoryAvailableToProcess();
    return available > 0 ? available / 2 : Q_INT64_C(4) << 30;
}

namespace {
// Fresh anonymous pages read as zero and cost nothing until touched.
constexpr size_t kRecordBlockSize = size_t(8) << 20;
// The temporary file grows by runs this large: one reservation and one mapping each.
// Prefaulting a run (MADV_POPULATE_WRITE) took twice the system time of a fault per
// page on ext4, so pages are faulted as records reach them.
constexpr size_t kSpillRunSize = size_t(64) << 20;
// The temporary file leaves this much of its disk free for the save and everyone else.
constexpr qint64 kDiskKeptFree = Q_INT64_C(1) << 30;
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
    qint64 fileOffset; // where the block lies in the temporary file; -1 for memory
};
std::vector<RecordBlock> recordBlocks;

// The deleted temporary file that holds records past the resident share.
struct SpillFile {
    int descriptor = -1;
    qint64 size = 0;
    bool unusable = false; // no file could be made where pages can be written out
};
SpillFile spill;

bool refusedByLimit(size_t size)
{
    if (recordMemoryFull || qint64(size) > recordMemoryLimit - recordMemoryInUse) {
        recordMemoryFull = true;
        return true;
    }
    return false;
}

bool refusedByResidentLimit(qint64 size)
{
    if (size > residentMemoryLimit - residentMemoryInUse) {
        recordMemoryFull = true;
        return true;
    }
    return false;
}

size_t slotSize(size_t size) { return (size + kGuardBytes + kSlotAlignment - 1) & ~(kSlotAlignment - 1); }

#ifdef __linux__
// A file on a memory file system (tmpfs, ramfs) would hold its pages in memory.
bool pagesCanBeWrittenOut(int descriptor)
{
    struct statfs system;
    return fstatfs(descriptor, &system) == 0 && system.f_type != TMPFS_MAGIC && system.f_type != RAMFS_MAGIC;
}

int openSpillFile()
{
    const QByteArray directory = QFile::encodeName(QDir::tempPath());
    int descriptor = ::open(directory.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        // Without O_TMPFILE the file is named only until it is opened.
        QByteArray name = directory + "/mendora-records-XXXXXX";
        descriptor = mkostemp(name.data(), O_CLOEXEC);
        if (descriptor >= 0)
            unlink(name.constData());
    }
    if (descriptor >= 0 && !pagesCanBeWrittenOut(descriptor)) {
        ::close(descriptor);
        descriptor = -1;
    }
    return descriptor;
}

// Each full run of the file starts on its way to disk, and the scan waits for the run
// that leaves a quarter of the resident limit behind it (two at least), so memory under a
// limit fills with pages the system can simply drop, while a scan with room to spare
// rarely waits for the disk.
void writeOutEarlierRuns()
{
    const qint64 runsAhead = qMax<qint64>(2, residentMemoryLimit / 4 / qint64(kSpillRunSize));
    qint64 runsSeen = 0;
    for (auto block = recordBlocks.rbegin(); block != recordBlocks.rend() && runsSeen <= runsAhead; ++block) {
        if (block->fileOffset < 0)
            continue;
        if (runsSeen == 0)
            sync_file_range(spill.descriptor, block->fileOffset, off64_t(block->size), SYNC_FILE_RANGE_WRITE);
        else if (runsSeen == runsAhead)
            sync_file_range(spill.descriptor, block->fileOffset, off64_t(block->size),
                            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ++runsSeen;
    }
}

// A run of the temporary file, reserved on disk before it is mapped, so that a full
// disk refuses the run here instead of faulting on a page later.
char *mapSpillRun(size_t size)
{
    if (spill.unusable || recordDiskFull)
        return nullptr;
    if (spill.descriptor < 0 && (spill.descriptor = openSpillFile()) < 0) {
        spill.unusable = true;
        return nullptr;
    }
    struct statvfs disk;
    if (fstatvfs(spill.descriptor, &disk) == 0
        && qint64(disk.f_bavail) * qint64(disk.f_frsize) - qint64(size) < kDiskKeptFree) {
        recordDiskFull = true;
        return nullptr;
    }
    const int reserved = posix_fallocate(spill.descriptor, spill.size, off_t(size));
    if (reserved != 0) {
        // A file system that cannot reserve is not full: records stay in memory.
        if (reserved == ENOSPC || reserved == EDQUOT || reserved == EFBIG)
            recordDiskFull = true;
        else
            spill.unusable = true;
        return nullptr;
    }
    void *start = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, spill.descriptor, spill.size);
    if (start == MAP_FAILED)
        return nullptr;
    writeOutEarlierRuns();
    return static_cast<char *>(start);
}

void closeSpillFile()
{
    if (spill.descriptor >= 0)
        ::close(spill.descriptor);
    spill = SpillFile();
}
#else
char *mapSpillRun(size_t) { return nullptr; }
void closeSpillFile() {}
#endif

// Memory blocks while what stays in memory holds less than a quarter of the resident
// limit, runs of the temporary file after that: the rest is for what cannot go to disk,
// some 900 bytes of details a mail. Without such a file, or once its disk is full,
// memory blocks again, up to the resident limit.
bool addRecordBlock(size_t atLeast)
{
    const bool inMemory = residentMemoryInUse + qint64(kRecordBlockSize) <= residentMemoryLimit / 4;
    if (!inMemory) {
        const size_t size = atLeast > kSpillRunSize ? slotSize(atLeast) : kSpillRunSize;
        if (char *start = mapSpillRun(size)) {
            recordBlocks.push_back({start, size, 0, spill.size});
            spill.size += qint64(size);
            poison(start, size);
            return true;
        }
    }
    const size_t size = atLeast > kRecordBlockSize ? slotSize(atLeast) : kRecordBlockSize;
    void *start = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return false;
    recordBlocks.push_back({static_cast<char *>(start), size, 0, -1});
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
    const bool inMemory = block.fileOffset < 0;
    if (inMemory && refusedByResidentLimit(qint64(size)))
        return nullptr;
    char *slot = block.start + block.used;
    block.used += needed;
    unpoison(slot, size);
    recordMemoryInUse += qint64(size);
    if (inMemory)
        residentMemoryInUse += qint64(size);
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
    closeSpillFile();
}

qint64 recordBytesOnDisk()
{
    qint64 bytes = 0;
    for (const RecordBlock &block : recordBlocks)
        if (block.fileOffset >= 0)
            bytes += qint64(block.used);
    return bytes;
}

void *allocateRecordMemory(size_t size)
{
    if (refusedByLimit(size) || refusedByResidentLimit(qint64(size)))
        return nullptr;
    void *memory = calloc(1, size);
    if (!memory) {
        recordMemoryFull = true;
        return nullptr;
    }
    recordMemoryInUse += qint64(size);
    residentMemoryInUse += qint64(size);
    return memory;
}

bool countSideMemory(qint64 bytes)
{
    if (recordMemoryFull || bytes > recordMemoryLimit - recordMemoryInUse || refusedByResidentLimit(bytes)) {
        recordMemoryFull = true;
        return false;
    }
    recordMemoryInUse += bytes;
    residentMemoryInUse += bytes;
    return true;
}

void releaseSideMemory(qint64 bytes)
{
    recordMemoryInUse = qMax<qint64>(0, recordMemoryInUse - bytes);
    residentMemoryInUse = qMax<qint64>(0, residentMemoryInUse - bytes);
}

void resetRecordMemory()
{
    recordMemoryInUse = 0;
    residentMemoryInUse = 0;
    recordMemoryFull = false;
    recordDiskFull = false;
}
