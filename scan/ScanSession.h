#pragma once
// The steps of a scan around the walk, shared by the browse window and the command line.
#include "olm/ContainerWalk.h"
#include <QString>

// Shown when a file is refused or yields nothing.
extern const char kInvalidFileMessage[]; // "The scanned file is either an invalid file or heavily damaged."
// Shown when the items found filled the memory set aside for records.
extern const char kRecordMemoryFullMessage[];

// Frees everything the previous scan built: the record lists with their buffers,
// the folder attribute list and the folder maps.
void CleanListAndHash();

// The first bytes of every export: "PK" 03 04 and version 45.
bool startsLikeOlm(const char *bytes, qint64 size);

// Zeroes the counters, frees the previous scan, closes the previous descriptor and
// opens the file named by its bytes on disk. True when it is a regular file that
// starts like an .olm export (PK 03 04 and version 45); otherwise the descriptor
// is closed again, fileDescriptor is -1 and *openError gets what the system said
// (empty when the file opened but is no export).
bool beginScan(const QByteArray &localPath, QString *openError = nullptr);
bool beginScan(const QString &path, QString *openError = nullptr);

// Terminates the record lists after a walk that ran to its end and builds the
// folder attribute list, all unchecked.
void finishScan();

// Walks the file beginScan opened, in large blocks.
WalkResult walkOpenFile(DocumentSink &sink, const WalkHooks &hooks);

// How far the last walk got: the whole file once it ran to its end, else the bytes
// before the point where it stopped. Nothing after that point was read.
struct ScanExtent {
    qint64 reached = 0;
    qint64 fileSize = 0;
    bool whole = true;
    int percent() const; // rounded down, so an incomplete scan never reads 100
};
ScanExtent lastScanExtent();

// beginScan, then the walk; lSize is taken from the open file. Incomplete: the
// records filled their memory and the walk ended there; the lists are finished
// as after a whole walk.
enum class ScanResult { Refused, Stopped, Finished, Incomplete };
ScanResult scanFile(const QByteArray &localPath, DocumentSink &sink, const WalkHooks &hooks,
                    QString *openError = nullptr);
ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks, QString *openError = nullptr);
