#include "archive/BodyStream.h"

#include "archive/MessageOutput.h"

#include <cstring>

namespace {

// CR LF and a CR alone each become LF, in one pass.
QByteArray withLfLineEnds(QByteArray text)
{
    char *const begin = text.data();
    const char *const end = begin + text.size();
    char *cr = static_cast<char *>(memchr(begin, '\r', size_t(text.size())));
    if (!cr)
        return text;
    char *put = cr;
    for (const char *at = cr; at < end; ++at) {
        if (*at != '\r') {
            *put++ = *at;
            continue;
        }
        *put++ = '\n';
        if (at + 1 < end && at[1] == '\n')
            ++at;
    }
    text.truncate(int(put - begin));
    return text;
}
} // namespace

BodyStream BodyStream::fileText(const TextReader &olm, qint64 offset, qint64 size, TextBlocks::ZeroBytes zeros,
                                qint64 blockSize)
{
    BodyStream stream(Source::FileText);
    stream.m_blocks = std::make_unique<TextBlocks>(olm, offset, size, zeros, blockSize);
    return stream;
}

BodyStream BodyStream::fileBytes(const TextReader &olm, qint64 offset, qint64 size, qint64 blockSize)
{
    BodyStream stream(Source::FileBytes);
    stream.m_olm = &olm;
    stream.m_at = offset;
    stream.m_end = size > 0 ? offset + size : offset;
    stream.m_blockSize = qMax<qint64>(blockSize, 1);
    return stream;
}

BodyStream BodyStream::heldText(const QByteArray &text)
{
    BodyStream stream(Source::Held);
    stream.m_held = text;
    return stream;
}

void BodyStream::read(QByteArray *block)
{
    block->clear();
    if (m_sourceDone)
        return;
    switch (m_source) {
    case Source::FileText:
        m_sourceDone = !m_blocks->next(block);
        return;
    case Source::FileBytes: {
        const qint64 wanted = qMin(m_blockSize, m_end - m_at);
        if (wanted > 0)
            *block = m_olm->read(m_at, wanted);
        m_at += block->size();
        m_read += block->size();
        // A file that ends early ends the bytes: what it held goes through.
        m_sourceDone = block->size() < wanted || m_at >= m_end;
        return;
    }
    case Source::Held:
        *block = m_held;
        m_held.clear();
        m_sourceDone = true;
        return;
    }
}

bool BodyStream::next(QByteArray *piece)
{
    while (!m_done) {
        QByteArray block;
        read(&block);
        const bool more = !block.isEmpty(); // sources give no empty block before their end
        m_done = !more;
        for (const auto &filter : m_filters) {
            // Nothing new, and not the end: nothing for the filters after this one to decide.
            if (block.isEmpty() && more)
                break;
            block = filter->add(block, !more);
        }
        if (!block.isEmpty()) {
            *piece = block;
            return true;
        }
    }
    piece->clear();
    return false;
}

QByteArray EntityFilter::add(const QByteArray &piece, bool last)
{
    m_held += piece;
    QByteArray decoded;
    decoded.reserve(m_held.size() + 1);
    dropFront(m_held, decodeEntityRange(m_held.constData(), m_held.size(), m_rule, &decoded, last));
    return decoded;
}

QByteArray LineEndFilter::add(const QByteArray &piece, bool last)
{
    if (m_mode == Mode::EveryCr) {
        // Only a piece that holds a CR is copied to change it.
        if (!memchr(piece.constData(), '\r', size_t(piece.size())))
            return piece;
        return QByteArray(piece).replace('\r', '\n');
    }
    QByteArray text = piece;
    QByteArray out;
    if (m_heldCR) {
        out += '\n';
        if (text.startsWith('\n'))
            text.remove(0, 1);
        m_heldCR = false;
    }
    if (!last && text.endsWith('\r')) {
        text.chop(1);
        m_heldCR = true;
    }
    out += withLfLineEnds(text);
    return out;
}

QByteArray FromQuotingFilter::add(const QByteArray &piece, bool last)
{
    const char *const begin = piece.constData();
    const char *const end = begin + piece.size();
    QByteArray before; // what goes out ahead of the piece
    // A line start the last piece ended in the middle of "From ": this piece decides.
    if (m_held > 0) {
        int matched = m_held;
        for (const char *at = begin; matched < kMboxSeparatorLength && at < end && *at == kMboxSeparator[matched]; ++at)
            ++matched;
        if (matched < kMboxSeparatorLength && matched - m_held == piece.size() && !last) {
            m_held = matched; // this piece ends inside it too
            return QByteArray();
        }
        // The bytes this piece adds hold no line end: the piece goes on past them.
        before = (matched == kMboxSeparatorLength ? ">" : "") + QByteArray(kMboxSeparator, m_held);
        m_held = 0;
        m_lineStart = false;
    }
    // Where a ">" goes in, and where the piece ends for now.
    std::vector<int> quotes;
    const char *cut = end;
    const char *nextCR = begin, *nextLF = begin;
    const auto findFrom = [end](const char *from, char wanted) {
        const void *found = memchr(from, wanted, size_t(end - from));
        return found ? static_cast<const char *>(found) : end;
    };
    for (const char *at = begin; at < end;) {
        if (m_lineStart) {
            const int compared = int(qMin<qint64>(end - at, kMboxSeparatorLength));
            if (memcmp(at, kMboxSeparator, size_t(compared)) == 0) {
                if (compared < kMboxSeparatorLength) {
                    if (!last) {
                        m_held = compared; // the next piece decides
                        cut = at;
                    }
                    break;
                }
                quotes.push_back(int(at - begin));
            }
        }
        if (nextCR < at)
            nextCR = findFrom(at, '\r');
        if (nextLF < at)
            nextLF = findFrom(at, '\n');
        if (nextCR == at && *at != '\r')
            nextCR = findFrom(at, '\r');
        if (nextLF == at && *at != '\n')
            nextLF = findFrom(at, '\n');
        const char *const lineEnd = qMin(nextCR, nextLF);
        m_lineStart = lineEnd < end;
        at = lineEnd < end ? lineEnd + 1 : end;
    }
    if (last) {
        m_lineStart = true;
        m_held = 0;
    }
    if (before.isEmpty() && quotes.empty() && cut == end)
        return piece;
    QByteArray out = before;
    out.reserve(before.size() + int(cut - begin) + int(quotes.size()));
    int from = 0;
    for (const int quote : quotes) {
        out.append(begin + from, quote - from);
        out += '>';
        from = quote;
    }
    out.append(begin + from, int(cut - begin) - from);
    return out;
}
