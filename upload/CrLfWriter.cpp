#include "upload/CrLfWriter.h"

CrLfWriter::CrLfWriter(QIODevice &target) : m_target(target)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 CrLfWriter::writeData(const char *data, qint64 size)
{
    QByteArray converted;
    converted.reserve(int(size + size / 16));
    for (qint64 i = 0; i < size; ++i) {
        if (data[i] == '\n' && m_last != '\r')
            converted += '\r';
        converted += data[i];
        m_last = data[i];
    }
    if (m_target.write(converted) != converted.size()) {
        setErrorString(m_target.errorString());
        return -1;
    }
    return size;
}
