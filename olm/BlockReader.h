#pragma once
// Positioned reads of the .olm file through one large cached block, so that
// header checks and the raw scan never cost a system call per byte.
#include <QByteArray>
#include <QtGlobal>

class BlockReader
{
public:
    static constexpr qint64 kBlockSize = 4 * 1024 * 1024;
    // A jump to a header reads this much, not a whole block: intact entries are
    // skipped without reading their data.
    static constexpr qint64 kHeaderReadSize = 64 * 1024;

    BlockReader(int fd, qint64 fileSize);

    qint64 fileSize() const { return m_fileSize; }
    // Points at the bytes from offset on; *available gets how many of the wanted
    // bytes the file holds there (fewer near the end, 0 past it). wanted <= kBlockSize.
    const uchar *bytesAt(qint64 offset, qint64 wanted, qint64 *available);
    // The cached bytes from offset to the end of the block (loading a block there
    // when offset is outside the cache); for scans that take whatever comes.
    const uchar *blockFrom(qint64 offset, qint64 *available);
    // Little-endian 32-bit value at offset; 0 when fewer than 4 bytes remain.
    quint32 uint32At(qint64 offset);
    // First offset >= from holding byte within the block that holds from, or
    // the end of that block: no byte in between. Searching no further keeps the
    // block where the walk is, so the scan reads the file once, front to back.
    qint64 findByteInBlock(qint64 from, uchar byte);
    // First offset >= from where pattern starts, or -1 when the file does not hold it.
    qint64 find(qint64 from, const QByteArray &pattern);

private:
    bool load(qint64 offset, qint64 wanted, qint64 readSize);

    int m_fd;
    qint64 m_fileSize;
    QByteArray m_block;
    qint64 m_blockStart = 0;
    qint64 m_blockLength = 0;
};

// Reads size bytes at offset into buffer with pread, retrying short reads;
// returns the bytes actually read.
qint64 readFully(int fd, qint64 offset, char *buffer, qint64 size);
