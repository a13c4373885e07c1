#pragma once
// Positioned reads of a byte source through one held window of bytes, so that
// header checks and the raw scan never cost a read per byte, and no byte the
// walk has read is read again while it moves forward.
#include "olm/ByteSource.h"

#include <QByteArray>
#include <QtGlobal>

class BlockReader
{
public:
    explicit BlockReader(ByteSource &source);

    qint64 fileSize() const { return m_fileSize; }
    // Points at the bytes from offset on; *available gets how many of the wanted
    // bytes the source holds there (fewer near the end, 0 past it). Where offset
    // lies inside the held bytes, only the bytes after them are read.
    const uchar *bytesAt(qint64 offset, qint64 wanted, qint64 *available);
    // The held bytes from offset to the end of the window (reading a block there
    // when offset is outside it); for scans that take whatever comes.
    const uchar *blockFrom(qint64 offset, qint64 *available);
    // Little-endian 32-bit value at offset; 0 when fewer than 4 bytes remain.
    quint32 uint32At(qint64 offset);
    // The size bytes at offset in place, followed by a zero byte until
    // releaseTerminator(); nothing may be read in between.
    char *terminatedAt(qint64 offset, qint64 size, qint64 *available);
    void releaseTerminator();

private:
    bool load(qint64 offset, qint64 wanted, qint64 readSize);

    ByteSource &m_source;
    qint64 m_fileSize;
    qint64 m_blockSize;
    qint64 m_headerReadSize;
    // A window grown past this for one long item is given back once it is handed on.
    qint64 m_keptCapacity;
    QByteArray m_block;   // one byte longer than the window, for the terminator
    qint64 m_blockStart = 0;
    qint64 m_blockLength = 0;
    qint64 m_terminatorAt = -1; // index in m_block of the byte the terminator covers
    char m_terminatorCovers = 0;
};
