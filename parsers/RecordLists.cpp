#include "parsers/RecordLists.h"

#include "parsers/ItemDetails.h"

#include "platform/MemorySize.h"

#include <cstdlib>

MailMLRC *TmpMlrcPtrStart = nullptr, *TmpMlrcPtrEnd = nullptr;
ContactInformation *TmpCTRCPtrStart = nullptr, *TmpCTRCPtrEnd = nullptr;
CalenderInformation *TmpCLRCPtrStart = nullptr, *TmpCLRCPtrEnd = nullptr;
TasksInformation *TmpTSRCPtrStart = nullptr, *TmpTSRCPtrEnd = nullptr;
NotesInformation *TmpNTRCPtrStart = nullptr, *TmpNTRCPtrEnd = nullptr;
qint64 MailItemCount = 0, ContactItemCount = 0, CalendarItemCount = 0, TaskItemCount = 0,
       NotesItemCount = 0;

qint64 recordMemoryLimit = defaultRecordMemoryLimit();
qint64 recordMemoryInUse = 0;
bool recordMemoryFull = false;
void (*recordAppendedForTests)() = nullptr;

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

namespace {
void freeOwnedBuffers(MailMLRC *mail)
{
    free(mail->AttachContentIds);
    free(mail->AttachContentTypes);
    free(mail->AttachNames);
    free(mail->AttachUrls);
    free(mail->AttachOffsets);
    free(mail->AttachSizes);
}
void freeOwnedBuffers(ContactInformation *contact) { free(contact->Categories); }

} // namespace

void freeRecord(MailMLRC *mail) { freeOwnedBuffers(mail); free(mail); }
void freeRecord(ContactInformation *contact) { freeOwnedBuffers(contact); free(contact); }
void freeRecord(CalenderInformation *event) { free(event); }
void freeRecord(TasksInformation *task) { free(task); }
void freeRecord(NotesInformation *note) { free(note); }

namespace {
template <typename Record>
void freeList(Record *&head, Record *&tail, qint64 &count)
{
    while (head) {
        Record *next = head->Next;
        freeRecord(head);
        head = next;
    }
    tail = nullptr;
    count = 0;
}
} // namespace

void freeRecordLists()
{
    freeList(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    freeList(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    freeList(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
    freeList(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
    freeList(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    clearItemDetails();
    recordMemoryInUse = 0;
    recordMemoryFull = false;
}

bool anyRecordsLoaded()
{
    return TmpMlrcPtrStart || TmpCTRCPtrStart || TmpCLRCPtrStart || TmpTSRCPtrStart
           || TmpNTRCPtrStart;
}
