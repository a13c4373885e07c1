#pragma once
// The walk over an .olm container: ZIP local headers where they are intact,
// a raw scan for the five document start tags wherever they are not.
#include "olm/EntryPath.h"

#include <QString>
#include <QtGlobal>
#include <functional>

class FolderInformation;

// Progress is counted in units of 512 bytes.
constexpr qint64 kProgressUnit = 512;
// The walk calls tick at most this often; the window processes its events there.
constexpr int kTickIntervalMs = 30;

struct DispatchedEntry {
    DocumentKind kind;
    QString entryName;  // empty for documents found by the raw scan
    qint64 start;       // file offset of the first byte handed on
    qint64 size;        // bytes handed on (attachments: the size only)
    qint64 end;         // the end offset the parser was given
};

struct WalkHooks {
    std::function<void(qint64 maximumUnits)> started;
    // Reports the position and keeps the caller alive; bStopFlag is tested right after.
    std::function<void(qint64 units)> tick;
    // Told of every document and attachment handed to the parsers.
    std::function<void(const DispatchedEntry &entry)> dispatched;
};

enum class WalkResult { Finished, Stopped };

// Walks fd (fileSize bytes) from offset 0 and hands every document to parsers.
// Uses and updates dwOffset, pBuff, bStopFlag and bProcessRunning.
WalkResult walkContainer(int fd, qint64 fileSize, FolderInformation &parsers, const WalkHooks &hooks);
