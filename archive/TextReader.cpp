#include "archive/TextReader.h"

#include "olm/ByteSource.h"

#include <climits>

namespace {
// How much of [offset, offset + size) lies within a source of total bytes.
qint64 clampedLength(qint64 offset, qint64 size, qint64 total)
{
    if (offset < 0 || size <= 0 || offset >= total)
        return 0;
    return qMin(size, total - offset);
}
} // namespace

QByteArray FileTextReader::read(qint64 offset, qint64 size) const
{
    const qint64 length = clampedLength(offset, size, m_fileSize);
    if (length <= 0 || m_fd < 0)
        return QByteArray();
    QByteArray bytes(int(qMin<qint64>(length, INT_MAX - 1)), Qt::Uninitialized);
    const qint64 got = readFully(m_fd, offset, bytes.data(), bytes.size());
    bytes.resize(int(qMax<qint64>(got, 0)));
    return bytes;
}

QByteArray ByteArrayTextReader::read(qint64 offset, qint64 size) const
{
    const qint64 length = clampedLength(offset, size, m_bytes.size());
    return length > 0 ? m_bytes.mid(int(offset), int(length)) : QByteArray();
}
