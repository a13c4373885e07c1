#include "archive/MessageOutput.h"

#include <cstring>

namespace {
constexpr int kBase64Line = 76;
const char kSeparator[] = "From ";
constexpr int kSeparatorLength = 5;
} // namespace

bool startsLikeSeparator(const char *at, const char *end)
{
    while (at < end && *at == '>')
        ++at;
    return end - at >= kSeparatorLength && memcmp(at, kSeparator, kSeparatorLength) == 0;
}

MessageOutput::MessageOutput(QIODevice &device, Quoting quoting) : m_device(device), m_quoting(quoting)
{
    // The reserve is kept across flushes: a large attachment does not allocate it again per block.
    m_pending.reserve(kOutputBlock + (1 << 16));
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

void MessageOutput::text(const char *bytes, qint64 size)
{
    if (m_quoting != Quoting::FromLines) {
        put(bytes, size);
        return;
    }
    const char *at = bytes;
    const char *const end = bytes + size;
    // A line start the last piece ended in the middle of "From ": this piece decides.
    while (m_heldFrom > 0 && at < end) {
        if (*at != kSeparator[m_heldFrom]) {
            m_pending.append(kSeparator, m_heldFrom);
            m_heldFrom = 0;
            m_textLineStart = false;
            break;
        }
        ++at;
        if (++m_heldFrom == kSeparatorLength) {
            m_pending.append(">From ", kSeparatorLength + 1);
            m_heldFrom = 0;
            m_textLineStart = false;
        }
    }
    // The next CR and the next LF, each looked for again only once passed.
    const char *nextCR = at, *nextLF = at;
    const auto findFrom = [end](const char *from, char wanted) {
        const void *found = memchr(from, wanted, size_t(end - from));
        return found ? static_cast<const char *>(found) : end;
    };
    while (at < end) {
        if (m_textLineStart) {
            const qint64 left = end - at;
            const int compared = int(qMin<qint64>(left, kSeparatorLength));
            if (memcmp(at, kSeparator, size_t(compared)) == 0) {
                if (compared < kSeparatorLength) {
                    m_heldFrom = compared; // the next piece decides
                    at = end;
                    break;
                }
                m_pending += '>';
            }
        }
        // Up to and including the next line end.
        if (nextCR < at || (nextCR == at && *at != '\r'))
            nextCR = findFrom(at, '\r');
        if (nextLF < at || (nextLF == at && *at != '\n'))
            nextLF = findFrom(at, '\n');
        const char *const lineEnd = qMin(nextCR, nextLF);
        if (lineEnd < end) {
            m_pending.append(at, int(lineEnd + 1 - at));
            at = lineEnd + 1;
            m_textLineStart = true;
        } else {
            m_pending.append(at, int(end - at));
            at = end;
            m_textLineStart = false;
        }
        flushWhenFull();
    }
    flushWhenFull();
}

void MessageOutput::endText()
{
    m_pending.append(kSeparator, m_heldFrom);
    m_heldFrom = 0;
    m_textLineStart = true;
}

void MessageOutput::base64Lines(const QByteArray &encoded)
{
    const int lines = (encoded.size() + kBase64Line - 1) / kBase64Line;
    int at = m_pending.size();
    m_pending.resize(at + encoded.size() + lines);
    char *out = m_pending.data();
    for (int from = 0; from < encoded.size(); from += kBase64Line) {
        const int length = qMin(kBase64Line, encoded.size() - from);
        memcpy(out + at, encoded.constData() + from, size_t(length));
        at += length;
        out[at++] = '\n';
    }
    flushWhenFull();
}

bool MessageOutput::flush()
{
    if (m_ok && !m_pending.isEmpty() && m_device.write(m_pending) != m_pending.size())
        m_ok = false;
    m_pending.resize(0);
    return m_ok;
}
