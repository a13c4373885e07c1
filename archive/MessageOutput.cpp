#include "archive/MessageOutput.h"

#include <cstring>

bool startsLikeSeparator(const char *at, const char *end)
{
    while (at < end && *at == '>')
        ++at;
    return end - at >= kMboxSeparatorLength && memcmp(at, kMboxSeparator, kMboxSeparatorLength) == 0;
}

MessageOutput::MessageOutput(QIODevice &device, Quoting quoting) : m_device(device), m_quoting(quoting)
{
    // The reserve is kept across flushes: a large attachment does not allocate it again per block.
    m_pending.reserve(kOutputBlock + (1 << 16));
}

void MessageOutput::put(const QByteArray &bytes)
{
    // A large block (encoded attachment bytes, most of what a save writes) goes out as
    // it is, not copied among the gathered ones first.
    if (bytes.size() >= kDirectWrite) {
        flush();
        if (m_ok && m_device.write(bytes) != bytes.size())
            m_ok = false;
        return;
    }
    put(bytes.constData(), bytes.size());
}

void MessageOutput::put(const char *bytes, qint64 size)
{
    m_pending.append(bytes, int(size));
    flushWhenFull();
}

void MessageOutput::line(const char *begin, const char *end)
{
    if (m_quoting == Quoting::Mboxrd && startsLikeSeparator(begin, end))
        m_pending += '>';
    m_pending.append(begin, int(end - begin));
    m_pending += '\n';
    flushWhenFull();
}

void MessageOutput::lines(const QByteArray &text)
{
    const char *from = text.constBegin();
    const char *const end = text.constEnd();
    while (from < end) {
        const char *lineEnd = static_cast<const char *>(memchr(from, '\n', size_t(end - from)));
        if (!lineEnd)
            lineEnd = end;
        line(from, lineEnd);
        from = lineEnd + 1;
    }
}

bool MessageOutput::flush()
{
    if (m_ok && !m_pending.isEmpty() && m_device.write(m_pending) != m_pending.size())
        m_ok = false;
    m_pending.resize(0);
    return m_ok;
}
