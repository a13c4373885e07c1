#pragma once
// The steps of a scan around the walk, shared by the browse window and the command line.
#include "olm/ContainerWalk.h"
#include <QString>

// Shown when a file is refused or yields nothing.
extern const char kInvalidFileMessage[]; // "The scanned file is either an invalid file or heavily damaged."
// Shown when the items found filled the memory set aside for records, or the
// temporary disk that holds those past it.
extern const char kRecordMemoryFullMessage[];
extern const char kRecordDiskFullMessage[];
// The one of the two that ended this scan.
const char *recordSpaceFullMessage();

// Frees everything the previous scan built: the record lists with their buffers,
// the folder attribute list and the folder maps.
void CleanListAndHash();

// The first bytes of every export: "PK" 03 04 and version 45.
bool startsLikeOlm(const char *bytes, qint64 size);

// Why a file could not be scanned at all. A file that was read and held nothing
// recognisable is no refusal: the walk says so by finding nothing.
enum class OpenFailure { None, Missing, Directory, NoPermission, Empty, NotRegular, Unreadable };
struct ScanRefusal {
    OpenFailure failure = OpenFailure::None;
    QString systemMessage; // what the system said, for Unreadable
};
OpenFailure openFailureFor(int error);
// One sentence naming the file as displayName gives it, for the window and the command line.
QString openFailureMessage(const ScanRefusal &refusal, const QString &displayName);

// Zeroes the counters, frees the previous scan, closes the previous descriptor and
// opens the file named by its bytes on disk. True when it is a regular, readable,
// non-empty file, whatever its first bytes; otherwise fileDescriptor is -1 and
// *refusal says why.
bool beginScan(const QByteArray &localPath, ScanRefusal *refusal = nullptr);
bool beginScan(const QString &path, ScanRefusal *refusal = nullptr);

// Terminates the record lists after a walk that ran to its end and builds the
// folder attribute list, all unchecked.
void finishScan();

// Walks the file beginScan opened, in large blocks. A file that does not begin as an
// export does is walked all the same, with a loss entry saying what looked wrong.
WalkResult walkOpenFile(DocumentSink &sink, const WalkHooks &hooks);

// beginScan, then the walk; lSize is taken from the open file. Incomplete: the
// records filled their memory and the walk ended there; the lists are finished
// as after a whole walk.
enum class ScanResult { Refused, Stopped, Finished, Incomplete };
ScanResult scanFile(const QByteArray &localPath, DocumentSink &sink, const WalkHooks &hooks,
                    ScanRefusal *refusal = nullptr);
ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks, ScanRefusal *refusal = nullptr);
