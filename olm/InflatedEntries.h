#pragma once
// Entries stored deflated (an export someone unpacked and packed again with a zip
// tool). Their inflated bytes are given offsets past the end of any file, so that
// records keep one offset and size for them as for stored bytes, and every reader
// of the .olm file inflates where such an offset is read.
#include "olm/ByteSource.h"

#include <QtGlobal>

// The first offset given to inflated bytes; no file reaches it.
constexpr qint64 kInflatedOffsetBase = qint64(1) << 60;
// Deflate cannot make its input smaller than about a thousandth: a declared size
// beyond this many times the stored bytes is damage.
constexpr qint64 kLargestInflateRatio = 1032;
// Re-packed exports carry no Zip64 record: an entry is at most 4 GiB inflated. More is
// a bomb or damage, and would hold the scan or the save for hours.
constexpr qint64 kLargestInflatedEntry = qint64(0xFFFFFFFF);

// Records an entry whose compressed bytes stand at dataStart; returns the offset
// its inflated bytes are read at. Kept until clearInflatedEntries().
qint64 registerInflatedEntry(qint64 dataStart, qint64 compressedSize, qint64 inflatedSize);
void clearInflatedEntries();

bool isInflatedOffset(qint64 offset);
// How many inflated bytes the entry holding offset has from offset on; 0 when none.
qint64 inflatedLengthAt(qint64 offset);
// Inflates the bytes [offset, offset + length) of a registered entry of the open file fd
// into buffer; returns how many it could inflate (fewer where the stored bytes are
// damaged). A read that continues the thread's last one goes on where it stopped.
qint64 readInflated(int fd, qint64 fileSize, qint64 offset, char *buffer, qint64 length);

// Where the deflated stream at dataStart ends, for an entry whose sizes only a data
// descriptor after it holds: *compressedSize and *inflatedSize get its sizes; false
// when the bytes up to limit hold no whole stream of at most kLargestInflatedEntry bytes.
bool measureDeflated(ByteSource &source, qint64 dataStart, qint64 limit, qint64 *compressedSize, qint64 *inflatedSize);

// Inflates compressedSize bytes at dataStart in source piece by piece.
class Inflater
{
public:
    Inflater(ByteSource &source, qint64 dataStart, qint64 compressedSize);
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Inflates up to length bytes into buffer; returns how many. 0 at the end of the
    // stream or where the bytes cannot be inflated (failed() then tells which).
    qint64 read(char *buffer, qint64 length);
    bool failed() const { return m_failed; }
    bool ended() const { return m_ended; }
    qint64 produced() const { return m_produced; }
    // The stored bytes the inflated ones came from.
    qint64 consumed() const;

private:
    ByteSource &m_source;
    qint64 m_start;
    qint64 m_next;
    qint64 m_end;
    qint64 m_produced = 0;
    bool m_failed = false;
    bool m_ended = false;
    struct Stream;
    Stream *m_stream;
};
