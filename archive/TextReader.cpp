#include "archive/TextReader.h"

#include "olm/ByteSource.h"
#include "olm/InflatedEntries.h"

#include <climits>

QByteArray FileTextReader::read(qint64 offset, qint64 size) const
{
    if (isInflatedOffset(offset)) {
        const qint64 length = qMin(size, inflatedLengthAt(offset));
        if (length <= 0 || m_fd < 0)
            return QByteArray();
        QByteArray bytes(int(qMin<qint64>(length, INT_MAX - 1)), Qt::Uninitialized);
        bytes.resize(int(readInflated(m_fd, m_fileSize, offset, bytes.data(), bytes.size())));
        return bytes;
    }
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
