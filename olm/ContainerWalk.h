#pragma once
// The walk over an .olm container: ZIP local headers where they are intact,
// a raw scan for the five document start tags wherever they are not.
#include "olm/ByteSource.h"
#include "olm/DocumentSink.h"
#include "olm/EntryPath.h"

#include <QString>
#include <QtGlobal>
#include <functional>

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
    // Reports the position and keeps the caller alive; stopRequested is asked right after.
    std::function<void(qint64 units)> tick;
    // True ends the walk at its next step; records parsed so far stay.
    std::function<bool()> stopRequested;
    // Told of every document and attachment handed to the parsers.
    std::function<void(const DispatchedEntry &entry)> dispatched;
};

// SinkFull: the sink could keep no more; what it took stays.
enum class WalkResult { Finished, Stopped, SinkFull };

// Walks source from offset 0 and hands every document and attachment to sink.
// Uses and updates dwOffset, pBuff and bProcessRunning.
WalkResult walkContainer(ByteSource &source, DocumentSink &sink, const WalkHooks &hooks);
