#include "archive/TextReader.h"

#include "olm/ByteSource.h"

#include <climits>

QByteArray FileTextReader::read(qint64 offset, qint64 size) const
{
    const qint64 length = lengthWithin(offset, size, m_fileSize);
    if (length <= 0 || m_fd < 0)
        return QByteArray();
    QByteArray bytes(int(qMin<qint64>(length, INT_MAX - 1)), Qt::Uninitialized);
    const qint64 got = readFully(m_fd, offset, bytes.data(), bytes.size());
    bytes.resize(int(qMax<qint64>(got, 0)));
    return bytes;
}

QByteArray ByteArrayTextReader::read(qint64 offset, qint64 size) const
{
    const qint64 length = lengthWithin(offset, size, m_bytes.size());
    return length > 0 ? m_bytes.mid(int(offset), int(length)) : QByteArray();
}
