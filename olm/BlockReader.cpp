#include "olm/BlockReader.h"

#include <cstring>

BlockReader::BlockReader(ByteSource &source)
    : m_source(source),
      m_fileSize(source.size()),
      m_blockSize(qMax<qint64>(source.blockSizes().block, 1)),
      m_headerReadSize(qBound<qint64>(1, source.blockSizes().headerRead, m_blockSize))
{
}

bool BlockReader::load(qint64 offset, qint64 wanted, qint64 readSize)
{
    if (offset >= m_blockStart && offset + wanted <= m_blockStart + m_blockLength)
        return true;
    // wanted never exceeds what the source holds from offset, so neither does the block.
    const qint64 length = qMin(qMax(wanted, readSize), m_fileSize - offset);
    if (length <= 0)
        return false;
    if (m_block.size() < length)
        m_block.resize(int(qMax(length, qMin(m_blockSize, m_fileSize))));
    m_blockStart = offset;
    m_blockLength = m_source.readAt(offset, m_block.data(), length);
    return m_blockLength > 0;
}

const uchar *BlockReader::bytesAt(qint64 offset, qint64 wanted, qint64 *available)
{
    *available = 0;
    const qint64 readSize = wanted >= m_blockSize ? m_blockSize : m_headerReadSize;
    if (offset < 0 || offset >= m_fileSize || !load(offset, qMin(wanted, m_fileSize - offset), readSize))
        return nullptr;
    *available = qMin(wanted, m_blockStart + m_blockLength - offset);
    return reinterpret_cast<const uchar *>(m_block.constData()) + (offset - m_blockStart);
}

const uchar *BlockReader::blockFrom(qint64 offset, qint64 *available)
{
    if (offset >= m_blockStart && offset < m_blockStart + m_blockLength) {
        *available = m_blockStart + m_blockLength - offset;
        return reinterpret_cast<const uchar *>(m_block.constData()) + (offset - m_blockStart);
    }
    return bytesAt(offset, m_blockSize, available);
}

quint32 BlockReader::uint32At(qint64 offset)
{
    qint64 available = 0;
    const uchar *b = bytesAt(offset, 4, &available);
    if (available < 4)
        return 0;
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

qint64 BlockReader::findByteInBlock(qint64 from, uchar byte)
{
    qint64 available = 0;
    const uchar *bytes = blockFrom(from, &available);
    if (!bytes || available <= 0)
        return m_fileSize;
    if (const void *hit = memchr(bytes, byte, size_t(available)))
        return from + (static_cast<const uchar *>(hit) - bytes);
    return from + available;
}

qint64 BlockReader::find(qint64 from, const QByteArray &pattern)
{
    const qint64 overlap = pattern.size() - 1;
    qint64 offset = qMax<qint64>(from, 0);
    while (offset + pattern.size() <= m_fileSize) {
        qint64 available = 0;
        const uchar *bytes = blockFrom(offset, &available);
        if (available < pattern.size())
            bytes = bytesAt(offset, qMax<qint64>(m_blockSize, pattern.size()), &available);
        if (!bytes || available < pattern.size())
            break;
        const void *hit = memmem(bytes, size_t(available), pattern.constData(), size_t(pattern.size()));
        if (hit)
            return offset + (static_cast<const uchar *>(hit) - bytes);
        offset += available - overlap;
    }
    return -1;
}
