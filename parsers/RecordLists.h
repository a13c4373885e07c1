#pragma once
// The five record lists: head, tail and item counter of each kind.
#include "parsers/Records.h"

extern MailMLRC *TmpMlrcPtrStart, *TmpMlrcPtrEnd;
extern ContactInformation *TmpCTRCPtrStart, *TmpCTRCPtrEnd;
extern CalenderInformation *TmpCLRCPtrStart, *TmpCLRCPtrEnd;
extern TasksInformation *TmpTSRCPtrStart, *TmpTSRCPtrEnd;
extern NotesInformation *TmpNTRCPtrStart, *TmpNTRCPtrEnd;
extern qint64 MailItemCount, ContactItemCount, CalendarItemCount, TaskItemCount, NotesItemCount;

// Appends a zero-filled record at the tail of a list and counts it.
template <typename Record>
Record *appendRecord(Record *&head, Record *&tail, qint64 &count)
{
    auto *record = static_cast<Record *>(calloc(1, sizeof(Record)));
    if (!record)
        qFatal("out of memory while allocating an item record");
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

// Frees every record of the five lists with the buffers they own; heads, tails and counters become null and zero.
void freeRecordLists();
// Any list non-empty: a scan has loaded data.
bool anyRecordsLoaded();
// Bytes the five lists hold: the records and the buffers they own.
qint64 recordListBytes();
