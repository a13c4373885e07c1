#include "parsers/RecordLists.h"

#include "parsers/ItemDetails.h"

#include <cstdlib>

MailMLRC *TmpMlrcPtrStart = nullptr, *TmpMlrcPtrEnd = nullptr;
ContactInformation *TmpCTRCPtrStart = nullptr, *TmpCTRCPtrEnd = nullptr;
CalenderInformation *TmpCLRCPtrStart = nullptr, *TmpCLRCPtrEnd = nullptr;
TasksInformation *TmpTSRCPtrStart = nullptr, *TmpTSRCPtrEnd = nullptr;
NotesInformation *TmpNTRCPtrStart = nullptr, *TmpNTRCPtrEnd = nullptr;
qint64 MailItemCount = 0, ContactItemCount = 0, CalendarItemCount = 0, TaskItemCount = 0,
       NotesItemCount = 0;

void (*recordAppendedForTests)() = nullptr;

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
void freeOwnedBuffers(CalenderInformation *) {}
void freeOwnedBuffers(TasksInformation *) {}
void freeOwnedBuffers(NotesInformation *) {}

} // namespace

void freeRecord(MailMLRC *mail) { freeOwnedBuffers(mail); returnRecordSlot(mail, sizeof *mail); }
void freeRecord(ContactInformation *contact) { freeOwnedBuffers(contact); returnRecordSlot(contact, sizeof *contact); }
void freeRecord(CalenderInformation *event) { returnRecordSlot(event, sizeof *event); }
void freeRecord(TasksInformation *task) { returnRecordSlot(task, sizeof *task); }
void freeRecord(NotesInformation *note) { returnRecordSlot(note, sizeof *note); }

namespace {
// The records themselves go with their blocks; only the buffers they own are freed here.
template <typename Record>
void freeList(Record *&head, Record *&tail, qint64 &count)
{
    for (Record *record = head; record; record = record->Next)
        freeOwnedBuffers(record);
    head = tail = nullptr;
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
    releaseRecordBlocks();
    resetRecordMemory();
}

bool anyRecordsLoaded()
{
    return TmpMlrcPtrStart || TmpCTRCPtrStart || TmpCLRCPtrStart || TmpTSRCPtrStart
           || TmpNTRCPtrStart;
}
