#pragma once
// Process-wide state of one scan: the open .olm file, the walk position,
// the document buffer and the flags the progress dialog and the walk share.
#include <QString>
#include <QtGlobal>
#include <atomic>

extern QString m_selectedFile;      // path of the file to scan
extern QString m_strDatabasePath;   // the chosen .olm path as the browse window shows it
extern int fileDescriptor;          // open .olm file; -1 when none
extern qint64 lSize;                // size of the selected file in bytes
extern qint64 dwOffset;             // absolute offset of the next thing the walk examines
extern char *pBuff;                 // one XML document followed by a zero byte; null between documents
extern qint64 pBuffSize;            // bytes of the document in pBuff, without the terminating zero
extern qint64 pBuffFileOffset;      // where pBuff's first byte lies in the file
// pBuff ends where its document ends: the walk knows that end (the entry's size, or the next
// header after a document whose end tag is lost), though the root's end tag may be damaged.
extern bool pBuffEndsDocument;
// Written by one thread and polled by another, so atomic; lock-free, so a signal
// handler may set them.
extern std::atomic<bool> bStopFlag;       // stop request from the progress dialog
extern std::atomic<bool> stopflag;        // set together with bStopFlag when the user aborts
extern std::atomic<bool> bProcessRunning; // a scan or a save runs
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flags are set from a signal handler");
