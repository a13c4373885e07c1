#pragma once
// Positioned reads of a byte source through one cached block, so that header
// checks and the raw scan never cost a read per byte.
#include "olm/ByteSource.h"

#include <QByteArray>
#include <QtGlobal>

class BlockReader
{
public:
    explicit BlockReader(ByteSource &source);

    qint64 fileSize() const { return m_fileSize; }
    // Points at the bytes from offset on; *available gets how many of the wanted
    // bytes the source holds there (fewer near the end, 0 past it).
    const uchar *bytesAt(qint64 offset, qint64 wanted, qint64 *available);
    // The cached bytes from offset to the end of the block (loading a block there
    // when offset is outside the cache); for scans that take whatever comes.
    const uchar *blockFrom(qint64 offset, qint64 *available);
    // Little-endian 32-bit value at offset; 0 when fewer than 4 bytes remain.
    quint32 uint32At(qint64 offset);
    // First offset >= from holding byte within the block that holds from, or
    // the end of that block: no byte in between. Searching no further keeps the
    // block where the walk is, so the scan reads the source once, front to back.
    qint64 findByteInBlock(qint64 from, uchar byte);
    // First offset >= from where pattern starts, or -1 when the source does not hold it.
    qint64 find(qint64 from, const QByteArray &pattern);

private:
    bool load(qint64 offset, qint64 wanted, qint64 readSize);

    ByteSource &m_source;
    qint64 m_fileSize;
    qint64 m_blockSize;
    qint64 m_headerReadSize;
    QByteArray m_block;
    qint64 m_blockStart = 0;
    qint64 m_blockLength = 0;
};
