#pragma once
// Where the walk's bytes come from: an open file or a buffer in memory, read
// through one interface in blocks whose sizes the caller chooses.
#include <QtGlobal>

struct BlockSizes {
    // Scans read this much at a time.
    qint64 block = 4 * 1024 * 1024;
    // A jump to a header reads this much, not a whole block: intact entries are
    // skipped without reading their data.
    qint64 headerRead = 4 * 1024;
    // A document larger than this goes to the sink in parts of whole items, so
    // that memory does not grow with the documents of the file.
    qint64 documentPart = 8 * 1024 * 1024;
};

class ByteSource
{
public:
    explicit ByteSource(BlockSizes sizes) : m_sizes(sizes) {}
    virtual ~ByteSource() = default;

    virtual qint64 size() const = 0;
    // Copies up to length bytes from offset into buffer; returns how many it
    // copied: fewer only where the source ends or the system refuses.
    virtual qint64 readAt(qint64 offset, char *buffer, qint64 length) = 0;
    const BlockSizes &blockSizes() const { return m_sizes; }

private:
    BlockSizes m_sizes;
};

// An open descriptor of size bytes; the descriptor stays the caller's.
class FileByteSource : public ByteSource
{
public:
    FileByteSource(int fd, qint64 size, BlockSizes sizes = BlockSizes());
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char *buffer, qint64 length) override;

private:
    int m_fd;
    qint64 m_size;
};

// Bytes that outlive the source.
class MemoryByteSource : public ByteSource
{
public:
    MemoryByteSource(const char *bytes, qint64 size, BlockSizes sizes = BlockSizes());
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char *buffer, qint64 length) override;

private:
    const char *m_bytes;
    qint64 m_size;
};

// Reads size bytes at offset into buffer with pread, retrying short reads;
// returns the bytes actually read.
qint64 readFully(int fd, qint64 offset, char *buffer, qint64 size);
// How much of [offset, offset + length) lies within a source of size bytes; 0 when none does.
qint64 lengthWithin(qint64 offset, qint64 length, qint64 size);
