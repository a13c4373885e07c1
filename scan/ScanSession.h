#pragma once
// The steps of a scan around the walk, shared by the browse window and the command line.
#include "olm/ContainerWalk.h"
#include <QString>

// Shown when a file is refused or yields nothing.
extern const char kInvalidFileMessage[]; // "The scanned file is either an invalid file or heavily damaged."

// Frees everything the previous scan built: the record lists with their buffers,
// the folder attribute list and the folder maps.
void CleanListAndHash();

// Zeroes the counters, frees the previous scan, closes the previous descriptor and
// opens path. True when the file starts like an .olm export (PK 03 04 and version 45);
// otherwise the descriptor is closed again and fileDescriptor is -1.
bool beginScan(const QString &path);

// Terminates the record lists after a walk that ran to its end and builds the
// folder attribute list, all unchecked.
void finishScan();

// Walks the file beginScan opened, in large blocks.
WalkResult walkOpenFile(DocumentSink &sink, const WalkHooks &hooks);

// beginScan, then the walk; lSize is taken from the open file.
enum class ScanResult { Refused, Stopped, Finished };
ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks);
