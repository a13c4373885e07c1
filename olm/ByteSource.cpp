#include "olm/ByteSource.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

qint64 readFully(int fd, qint64 offset, char *buffer, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, buffer + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

qint64 lengthWithin(qint64 offset, qint64 length, qint64 size)
{
    if (offset < 0 || length <= 0 || offset >= size)
        return 0;
    return qMin(length, size - offset);
}

FileByteSource::FileByteSource(int fd, qint64 size, BlockSizes sizes)
    : ByteSource(sizes), m_fd(fd), m_size(size)
{
}

qint64 FileByteSource::readAt(qint64 offset, char *buffer, qint64 length)
{
    const qint64 wanted = lengthWithin(offset, length, m_size);
    return wanted > 0 ? readFully(m_fd, offset, buffer, wanted) : 0;
}

MemoryByteSource::MemoryByteSource(const char *bytes, qint64 size, BlockSizes sizes)
    : ByteSource(sizes), m_bytes(bytes), m_size(size)
{
}

qint64 MemoryByteSource::readAt(qint64 offset, char *buffer, qint64 length)
{
    const qint64 wanted = lengthWithin(offset, length, m_size);
    if (wanted > 0)
        memcpy(buffer, m_bytes + offset, size_t(wanted));
    return wanted;
}
