#include "olm/BlockReader.h"

#include <cstring>

namespace {
// The window is a QByteArray: one item longer than this is handed on cut short.
constexpr qint64 kLongestWindow = qint64(1) << 30;
}

BlockReader::BlockReader(ByteSource &source)
    : m_source(source),
      m_fileSize(source.size()),
      m_blockSize(qMax<qint64>(source.blockSizes().block, 1)),
      m_headerReadSize(qBound<qint64>(1, source.blockSizes().headerRead, m_blockSize)),
      m_keptCapacity(qMax<qint64>(source.blockSizes().documentPart, 1) + 2 * m_blockSize + 1)
{
}

bool BlockReader::load(qint64 offset, qint64 wanted, qint64 readSize)
{
    const qint64 held = m_blockStart + m_blockLength;
    if (offset >= m_blockStart && offset + wanted <= held)
        return true;
    // wanted never exceeds what the source holds from offset, so neither does the window.
    const qint64 length = qMin(qMin(qMax(wanted, readSize), m_fileSize - offset), kLongestWindow);
    if (length <= 0)
        return false;
    // Bytes from offset that are held already move to the front and are not read again.
    const qint64 kept = offset >= m_blockStart && offset < held ? held - offset : 0;
    if (kept > 0 && offset > m_blockStart)
        memmove(m_block.data(), m_block.constData() + (offset - m_blockStart), size_t(kept));
    if (m_block.size() < length + 1)
        m_block.resize(int(qMax(length, qMin(m_blockSize, m_fileSize)) + 1));
    m_blockStart = offset;
    m_blockLength = kept + m_source.readAt(offset + kept, m_block.data() + kept, length - kept);
    return m_blockLength > 0;
}

const uchar *BlockReader::bytesAt(qint64 offset, qint64 wanted, qint64 *available)
{
    *available = 0;
    // A stretch longer than a header read and shorter than a block is mostly a document
    // whose entry's next header follows it: reading that header along saves a read.
    const qint64 readSize = wanted >= m_blockSize        ? m_blockSize
                            : wanted > m_headerReadSize ? wanted + m_headerReadSize
                                                        : m_headerReadSize;
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

char *BlockReader::terminatedAt(qint64 offset, qint64 size, qint64 *available)
{
    static char nothing[1] = {0};
    if (size <= 0 || !bytesAt(offset, size, available)) {
        *available = 0;
        return nothing;
    }
    char *bytes = m_block.data() + (offset - m_blockStart);
    // The window always has one byte to spare past its end.
    m_terminatorAt = (offset - m_blockStart) + *available;
    m_terminatorCovers = m_block.at(int(m_terminatorAt));
    m_block[int(m_terminatorAt)] = '\0';
    return bytes;
}

void BlockReader::releaseTerminator()
{
    if (m_terminatorAt >= 0)
        m_block[int(m_terminatorAt)] = m_terminatorCovers;
    m_terminatorAt = -1;
    if (m_block.size() > m_keptCapacity) {
        m_block = QByteArray();
        m_blockStart = m_blockLength = 0;
    }
}
