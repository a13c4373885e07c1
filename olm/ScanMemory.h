#pragma once
// The record-memory watch. Records, the buffers they own and everything a scan keeps
// beside them (item details, folder maps, the account of losses, the attachment lists
// waiting for their mail) are counted, so that a file of tiny items cannot take the
// machine's memory: once an allocation would pass a limit (or the system has no memory
// or temporary disk left) it is refused, recordMemoryFull is set and the scan ends with
// what it has.
//
// What has to stay in memory is watched against residentMemoryLimit, half of the memory
// in force (the control group's limit, the process's limits, the machine). Records take
// memory blocks up to a quarter of that; past it they are cut from runs of a deleted file in
// the temporary directory, mapped shared, whose pages the system writes out and drops
// under pressure, so an export whose records outgrow memory still scans whole. When that
// disk fills, records take memory blocks again until the resident limit.
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstddef>

// A cap on everything a scan keeps, records wherever they live included; none by default.
extern qint64 recordMemoryLimit;
extern qint64 recordMemoryInUse;
extern bool recordMemoryFull;
// The temporary disk had no room for more records; said when the scan ends incomplete.
extern bool recordDiskFull;
extern qint64 residentMemoryLimit;
extern qint64 residentMemoryInUse;
// No cap of its own: memory is watched by the resident limit and the temporary disk
// bounds the records beyond it.
qint64 defaultRecordMemoryLimit();
// Half the memory the process may use.
qint64 defaultResidentMemoryLimit();
// Zero-filled and counted as resident; null when refused. Freed with free().
void *allocateRecordMemory(size_t size);
// A record's place: zero-filled and counted like allocateRecordMemory, but cut from
// large blocks that are given back whole by releaseRecordBlocks(), so that a scan of
// many items spends no time clearing, faulting and freeing them one by one.
void *allocateRecordSlot(size_t size);
// Gives a slot back for reuse when it is the last one handed out (a dropped tail
// record); any other stays unused until the blocks go. The count is unchanged.
void returnRecordSlot(void *slot, size_t size);
// Unmaps every block and removes the temporary file: every slot handed out is invalid afterwards.
void releaseRecordBlocks();
// Bytes of records that live in the temporary file.
qint64 recordBytesOnDisk();

// Counts memory kept beside the records. False, with recordMemoryFull set, when it
// would pass the limit: the caller drops what it was about to keep, or, where the
// kept amount is bounded otherwise, keeps it and lets the scan end.
bool countSideMemory(qint64 bytes);
// Gives back counted memory that was freed before the scan ended.
void releaseSideMemory(qint64 bytes);
// The count starts again from nothing: called when a scan's data is freed.
void resetRecordMemory();

// What a value held in a side table costs: its characters, the container's header
// and the allocator's rounding.
constexpr qint64 kAllocationOverhead = 32;
// A table entry (hash or map node) beside its key and value.
constexpr qint64 kTableEntryOverhead = 48;
inline qint64 memoryOf(const QString &text)
{
    return text.isNull() ? 0 : kAllocationOverhead + 2 * qint64(text.capacity() + 1);
}
inline qint64 memoryOf(const QByteArray &bytes)
{
    return bytes.isNull() ? 0 : kAllocationOverhead + qint64(bytes.capacity() + 1);
}
