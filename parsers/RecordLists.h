#pragma once
// The five record lists: head, tail and item counter of each kind.
#include "olm/ScanMemory.h"
#include "parsers/Records.h"

extern MailMLRC *TmpMlrcPtrStart, *TmpMlrcPtrEnd;
extern ContactInformation *TmpCTRCPtrStart, *TmpCTRCPtrEnd;
extern CalenderInformation *TmpCLRCPtrStart, *TmpCLRCPtrEnd;
extern TasksInformation *TmpTSRCPtrStart, *TmpTSRCPtrEnd;
extern NotesInformation *TmpNTRCPtrStart, *TmpNTRCPtrEnd;
extern qint64 MailItemCount, ContactItemCount, CalendarItemCount, TaskItemCount, NotesItemCount;

// Called when an item's record is made, before the item is read; null but in tests,
// which throw std::bad_alloc there to stand for memory running out inside an item.
extern void (*recordAppendedForTests)();

// Appends a zero-filled record at the tail of a list and counts it; null when
// record memory is full.
template <typename Record>
Record *appendRecord(Record *&head, Record *&tail, qint64 &count)
{
    auto *record = static_cast<Record *>(allocateRecordSlot(sizeof(Record)));
    if (!record)
        return nullptr;
    if (!head) {
        head = tail = record;
        count = 1;
    } else {
        ++count;
        tail->Next = record;
        tail = record;
    }
    return record;
}

// Frees the buffers a record owns and gives its slot back.
void freeRecord(MailMLRC *mail);
void freeRecord(ContactInformation *contact);
void freeRecord(CalenderInformation *event);
void freeRecord(TasksInformation *task);
void freeRecord(NotesInformation *note);

// Removes the tail record, whose item could not be read; the search for the record
// before it starts at from (the head when null).
template <typename Record>
void dropTailRecord(Record *&head, Record *&tail, qint64 &count, Record *from)
{
    Record *dropped = tail;
    if (!dropped)
        return;
    Record *before = from && from != dropped ? from : (head == dropped ? nullptr : head);
    while (before && before->Next != dropped)
        before = before->Next;
    if (before)
        before->Next = nullptr;
    else
        head = nullptr;
    tail = before;
    --count;
    freeRecord(dropped);
}

// Frees every record of the five lists with the buffers they own; heads, tails and
// counters become null and zero, and record memory is empty again.
void freeRecordLists();
// Any list non-empty: a scan has loaded data.
bool anyRecordsLoaded();
