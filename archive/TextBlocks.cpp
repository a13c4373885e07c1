#include "archive/TextBlocks.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace {
const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool continues(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool isWellFormedUtf8(const QByteArray &bytes)
{
    const auto *at = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *const end = at + bytes.size();
    while (at < end) {
        // Eight ASCII bytes at a time, the common case.
        if (end - at >= 8) {
            quint64 word;
            memcpy(&word, at, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                at += 8;
                continue;
            }
        }
        const uchar lead = *at;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        // Two bytes (Latin, Greek, Cyrillic, Hebrew, Arabic letters), and three whose second
        // may be any continuation byte (most of Chinese, Japanese and Korean): one step each.
        if (lead >= 0xC2 && lead <= 0xDF) {
            if (end - at < 2 || !continues(at[1]))
                return false;
            at += 2;
            continue;
        }
        if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED) {
            if (end - at < 3 || !continues(at[1]) || !continues(at[2]))
                return false;
            at += 3;
            continue;
        }
        // The rest: three bytes after E0 or ED, whose second byte has a narrower range, and four.
        int length = 0;
        uchar low = 0x80, high = 0xBF; // the range of the second byte
        if (lead == 0xE0 || lead == 0xED) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - at < length || at[1] < low || at[1] > high)
            return false;
        for (int i = 2; i < length; ++i) {
            if (!continues(at[i]))
                return false;
        }
        at += length;
    }
    return true;
}

// Where a block may end without splitting a character: before a byte that does not
// continue one, or deep in a run of continuation bytes that no character can hold.
// The decoder starts afresh at such a place, so the two sides convert as the whole does.
int cutPosition(const QByteArray &bytes)
{
    const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
    const int size = bytes.size();
    for (int p = size - 1; p >= 1 && p >= size - 4; --p) {
        if (!continues(b[p]))
            return p;
        if (p >= 3 && continues(b[p - 1]) && continues(b[p - 2]) && continues(b[p - 3]))
            return p;
    }
    return 0;
}
} // namespace

QByteArray utf8Text(const QByteArray &bytes, bool atStart)
{
    if (isWellFormedUtf8(bytes))
        return atStart && bytes.startsWith(kByteOrderMark) ? bytes.mid(3) : bytes;
    // The decoder drops a byte order mark where the text begins: elsewhere a letter
    // before the bytes keeps it, and the decoder starts afresh after the letter.
    if (!atStart)
        return QString::fromUtf8('a' + bytes).toUtf8().mid(1);
    return QString::fromUtf8(bytes).toUtf8();
}

TextBlocks::TextBlocks(const TextReader &olm, qint64 offset, qint64 size, ZeroBytes zeros, qint64 blockSize)
    : m_olm(olm), m_at(offset), m_end(size > 0 ? offset + size : offset), m_zeros(zeros),
      m_blockSize(qMax<qint64>(blockSize, 1)), m_done(size <= 0)
{
}

bool TextBlocks::next(QByteArray *text)
{
    while (!m_done) {
        const qint64 wanted = qMin(m_blockSize, m_end - m_at);
        QByteArray block = m_olm.read(m_at, wanted);
        m_at += block.size();
        bool last = block.size() < wanted || m_at >= m_end;
        if (memchr(block.constData(), '\0', size_t(block.size()))) {
            if (m_zeros == ZeroBytes::EndText) {
                block.truncate(block.indexOf('\0'));
                last = true;
            } else {
                block.truncate(int(std::remove(block.begin(), block.end(), '\0') - block.begin()));
            }
        }
        QByteArray piece = m_carry.isEmpty() ? block : m_carry + block;
        m_carry.clear();
        if (last) {
            m_done = true;
        } else {
            const int cut = cutPosition(piece);
            m_carry = piece.mid(cut);
            piece.truncate(cut);
        }
        *text = utf8Text(piece, m_first);
        if (!piece.isEmpty())
            m_first = false;
        if (!text->isEmpty())
            return true;
    }
    text->clear();
    return false;
}

void dropFront(QByteArray &text, qint64 count)
{
    if (count >= text.size())
        text.clear();
    else
        text.remove(0, int(count));
}
