#include "archive/MailEncoders.h"

#include "archive/MailHeaders.h"
#include "archive/TextBlocks.h"
#include "parsers/MailDateRule.h"
#include "parsers/RecordText.h"

#include <QVector>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define MENDORA_BASE64_VECTORS
#endif

namespace {

// The date of last resort: messages must never lose their separator line.
const char kFixedDate[] = "Thu, 01 Jan 1970 00:00:00 +0000";
constexpr int kMessageDateLength = 31;

bool isMessageDate(const QByteArray &text)
{
    return text.size() == kMessageDateLength && text.at(3) == ',';
}

QByteArray chosenDate(const MailMLRC &mail, MailTimeField field)
{
    const QByteArray sent = fieldBytes(mail.SentTime), received = fieldBytes(mail.ReceivedTime);
    const QByteArray candidates[] = {field == MailTimeField::Received ? received : sent,
                                     field == MailTimeField::Received ? sent : received,
                                     fieldBytes(mail.ModifiedTime)};
    for (const QByteArray &candidate : candidates) {
        if (isMessageDate(candidate))
            return candidate;
    }
    return QByteArray(kFixedDate);
}

// Base64 output two characters per table look-up: attachments are most of what a save
// writes, and encoding them byte by byte costs more than reading and writing them.
class Base64Pairs
{
public:
    Base64Pairs()
    {
        for (int value = 0; value < 4096; ++value) {
            m_pairs[value][0] = kAlphabet[value >> 6];
            m_pairs[value][1] = kAlphabet[value & 63];
        }
    }
    QByteArray encode(const QByteArray &bytes) const
    {
        const auto *in = reinterpret_cast<const uchar *>(bytes.constData());
        const int size = bytes.size();
        QByteArray text((size + 2) / 3 * 4, Qt::Uninitialized);
        char *out = text.data();
        int at = 0;
#ifdef MENDORA_BASE64_VECTORS
        if (m_vectors) {
            at = int(encodeVectors(in, size_t(size), out));
            out += at / 3 * 4;
        }
#endif
        for (; at + 3 <= size; at += 3, out += 4) {
            const quint32 group = quint32(in[at]) << 16 | quint32(in[at + 1]) << 8 | in[at + 2];
            memcpy(out, m_pairs[group >> 12], 2);
            memcpy(out + 2, m_pairs[group & 0xFFF], 2);
        }
        if (at < size) {
            const bool two = at + 1 < size;
            const quint32 group = quint32(in[at]) << 16 | (two ? quint32(in[at + 1]) << 8 : 0);
            out[0] = kAlphabet[group >> 18];
            out[1] = kAlphabet[(group >> 12) & 63];
            out[2] = two ? kAlphabet[(group >> 6) & 63] : '=';
            out[3] = '=';
        }
        return text;
    }

private:
#ifdef MENDORA_BASE64_VECTORS
    // Twelve bytes to sixteen characters per step, sixteen bytes read; returns the bytes
    // encoded, a multiple of 3, leaving at least four for the step above.
    __attribute__((target("ssse3"))) static size_t encodeVectors(const uchar *in, size_t size, char *out)
    {
        // Each 32-bit lane gets the bytes b1 b0 b2 b1 of its group of three.
        const __m128i spread = _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
        // Offsets from each 6-bit value to its character, by class: 26-51, 52-61 (ten
        // classes 1-10), 62, 63, 0-25.
        const __m128i offsets = _mm_setr_epi8(char('a' - 26), char('0' - 52), char('0' - 52), char('0' - 52),
                                              char('0' - 52), char('0' - 52), char('0' - 52), char('0' - 52),
                                              char('0' - 52), char('0' - 52), char('0' - 52), char('+' - 62),
                                              char('/' - 63), 'A', 0, 0);
        size_t at = 0;
        for (; at + 16 <= size; at += 12, out += 16) {
            const __m128i lanes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + at)), spread);
            // The four 6-bit values of each lane into its four bytes, first to last.
            const __m128i high = _mm_mulhi_epu16(_mm_and_si128(lanes, _mm_set1_epi32(0x0FC0FC00)),
                                                 _mm_set1_epi32(0x04000040));
            const __m128i low = _mm_mullo_epi16(_mm_and_si128(lanes, _mm_set1_epi32(0x003F03F0)),
                                                _mm_set1_epi32(0x01000010));
            const __m128i values = _mm_or_si128(high, low);
            __m128i classes = _mm_subs_epu8(values, _mm_set1_epi8(51));
            classes = _mm_or_si128(classes, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), values), _mm_set1_epi8(13)));
            const __m128i characters = _mm_add_epi8(_mm_shuffle_epi8(offsets, classes), values);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), characters);
        }
        return at;
    }
    // Asked once the program runs: the processor's features are known by then.
    const bool m_vectors = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
#endif
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char m_pairs[4096][2];
};

// What each byte is in quoted-printable text, looked up rather than worked out per byte.
class QuotedPrintableBytes
{
public:
    enum Kind : uchar {
        Encoded, // encoded wherever it is
        Plain,   // stands for itself wherever it is
        Blank,   // a space or tab: itself, unless it ends its line
        LineEnd,
    };
    QuotedPrintableBytes()
    {
        static const char kHex[] = "0123456789ABCDEF";
        for (int byte = 0; byte < 256; ++byte) {
            m_kinds[byte] = byte >= 33 && byte <= 126 && byte != '=' ? Plain
                            : byte == ' ' || byte == '\t'            ? Blank
                            : byte == '\n'                           ? LineEnd
                                                                     : Encoded;
            m_encoded[byte][0] = '=';
            m_encoded[byte][1] = kHex[byte >> 4];
            m_encoded[byte][2] = kHex[byte & 15];
        }
    }
    Kind kind(char c) const { return Kind(m_kinds[uchar(c)]); }
    // "=" and two hexadecimal digits.
    const char *encoded(char c) const { return m_encoded[uchar(c)]; }

private:
    uchar m_kinds[256];
    char m_encoded[256][3];
};
const QuotedPrintableBytes kQuotedPrintable;

// True when the eight bytes at p all stand for themselves: printable but "=", or spaces,
// none of them the last of its line (end is where the text known so far ends).
bool eightStandForThemselves(const char *p, const char *end)
{
    constexpr quint64 kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    quint64 word;
    memcpy(&word, p, 8);
    const quint64 below = (word - kOnes * 32) & ~word & kHighs;   // a byte below the space
    const quint64 above = ((word + kOnes * (127 - 126)) | word) & kHighs; // a byte above "~"
    const quint64 notEquals = word ^ (kOnes * '=');
    const quint64 equals = (notEquals - kOnes) & ~notEquals & kHighs;
    return !(below | above | equals) && (p[7] != ' ' || (end - p > 8 && p[8] != '\n'));
}

const char kWordStart[] = "=?UTF-8?B?";
const char kQWordStart[] = "=?UTF-8?Q?";
const char kWordEnd[] = "?=";
constexpr int kWordFraming = 12;
// RFC 2047: an encoded word is at most 75 characters long.
constexpr int kLongestWord = 75;

// The bytes a word of at most width characters holds: whole Base64 quads only.
int wordBytes(int width)
{
    return qMax(0, (qMin(width, kLongestWord) - kWordFraming) / 4 * 3);
}

// The UTF-8 bytes of each character, a surrogate pair being one character.
QVector<QByteArray> utf8Characters(const QString &text)
{
    QVector<QByteArray> characters;
    characters.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        characters.append(text.mid(i, length).toUtf8());
        i += length - 1;
    }
    return characters;
}

// RFC 2047 "Q" of one character: letters and digits as they are, a space as "_",
// every other byte as =XX, which is safe in a phrase as in unstructured text.
QByteArray qEncoded(const QByteArray &character)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char byte : character) {
        const uchar c = uchar(byte);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += byte;
        else if (c == ' ')
            out += '_';
        else
            out += '=' + QByteArray(1, kHex[c >> 4]) + kHex[c & 15];
    }
    return out;
}
} // namespace

QByteArray base64(const QByteArray &bytes)
{
    static const Base64Pairs pairs;
    return pairs.encode(bytes);
}

QByteArray Base64Encoder::add(const QByteArray &bytes, bool last)
{
    // Groups of three bytes encode alone; a line takes lineLength / 4 of them.
    const int unit = m_lineLength > 0 ? m_lineLength / 4 * 3 : 3;
    const QByteArray input = m_held.isEmpty() ? bytes : m_held + bytes;
    const int whole = last ? input.size() : input.size() / unit * unit;
    m_held = input.mid(whole);
    const QByteArray encoded = base64(whole == input.size() ? input : QByteArray::fromRawData(input.constData(), whole));
    if (m_lineLength <= 0 || encoded.isEmpty())
        return encoded;
    const int lines = (encoded.size() + m_lineLength - 1) / m_lineLength;
    QByteArray out(encoded.size() + lines, Qt::Uninitialized);
    char *put = out.data();
    for (int from = 0; from < encoded.size(); from += m_lineLength) {
        const int length = qMin(m_lineLength, encoded.size() - from);
        memcpy(put, encoded.constData() + from, size_t(length));
        put += length;
        *put++ = '\n';
    }
    return out;
}

QByteArray headerText(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
    }
    return text.toLatin1();
}

QByteArray separatorDate(const MailMLRC &mail)
{
    return chosenDate(mail, separatorTimeField(mail));
}

QByteArray headerDate(const MailMLRC &mail)
{
    return chosenDate(mail, MailTimeField::Sent);
}

QByteArray QuotedPrintableEncoder::add(const QByteArray &text, bool last)
{
    m_input += text;
    const char *const begin = m_input.constData();
    const char *const end = begin + m_input.size();
    // Room for the worst case: every byte encoded, a soft break after every 25 of them.
    QByteArray out(int(m_input.size() * 3 + (m_input.size() / 25 + 2) * 2), Qt::Uninitialized);
    char *put = out.data();
    const char *c = begin;
    // The ">" run a line start was last judged over, and whether it leads to "From ".
    const char *judgedRunEnd = begin;
    bool judgedRunGuard = false;
    while (c < end) {
        // Runs that need no look ahead, as far as the line has room: printable bytes other
        // than "=" (and spaces followed by more of the line) stand for themselves, and bytes
        // that are always encoded are. Only ">" and "F" can start a separator line.
        if (!m_lineStart || (*c != '>' && *c != 'F')) {
            const char *const lineRoom = c + qMin<qint64>(end - c, 75 - m_column);
            const char *run = c;
            while (run < lineRoom) {
                if (lineRoom - run >= 8 && eightStandForThemselves(run, end)) {
                    run += 8;
                    continue;
                }
                const QuotedPrintableBytes::Kind kind = kQuotedPrintable.kind(*run);
                if (kind != QuotedPrintableBytes::Plain
                    && !(kind == QuotedPrintableBytes::Blank && run + 1 < end && run[1] != '\n'))
                    break;
                ++run;
            }
            if (run == c) {
                const char *const encodedRoom = c + qMin<qint64>(end - c, (75 - m_column) / 3);
                for (; run < encodedRoom && kQuotedPrintable.kind(*run) == QuotedPrintableBytes::Encoded; ++run) {
                    memcpy(put, kQuotedPrintable.encoded(*run), 3);
                    put += 3;
                }
                m_column += 3 * int(run - c);
            } else {
                memcpy(put, c, size_t(run - c));
                put += run - c;
                m_column += int(run - c);
            }
            if (run > c) {
                m_lineStart = false;
                c = run;
                continue;
            }
        }
        const uchar byte = uchar(*c);
        if (byte == '\n') {
            *put++ = '\n';
            m_column = 0;
            m_lineStart = true;
            ++c;
            continue;
        }
        // Whether a byte ends its line is known once the next one is.
        if (c + 1 == end && !last)
            break;
        const bool lastOfLine = c + 1 == end || c[1] == '\n';
        // A line that could pass for a separator begins with its first byte encoded.
        bool guard = false;
        if (m_lineStart && c < judgedRunEnd) {
            guard = judgedRunGuard; // a soft line inside a run of ">" already judged
        } else if (m_lineStart) {
            const char *after = c + m_scannedQuotes;
            while (after < end && *after == '>')
                ++after;
            const qint64 left = end - after;
            if (!last && left < 5 && memcmp(after, "From ", size_t(left)) == 0) {
                m_scannedQuotes = int(after - c);
                break; // the next piece decides
            }
            guard = left >= 5 && memcmp(after, "From ", 5) == 0;
            // Every soft line that starts inside the run reads the same to the end of it.
            judgedRunEnd = after;
            judgedRunGuard = guard;
        }
        m_scannedQuotes = 0;
        const bool literal = !guard && ((byte >= 33 && byte <= 126 && byte != '=')
                                        || ((byte == ' ' || byte == '\t') && !lastOfLine));
        const int width = literal ? 1 : 3;
        if (m_column + width > 75) {
            *put++ = '=';
            *put++ = '\n';
            m_column = 0;
            m_lineStart = true;
            continue; // the byte starts the next line
        }
        if (literal) {
            *put++ = char(byte);
        } else {
            memcpy(put, kQuotedPrintable.encoded(char(byte)), 3);
            put += 3;
        }
        m_column += width;
        m_lineStart = false;
        ++c;
    }
    out.truncate(int(put - out.constData()));
    dropFront(m_input, c - begin);
    return out;
}

QByteArray quotedPrintable(const QByteArray &text)
{
    return QuotedPrintableEncoder().add(text, true);
}

QByteArray encodedWords(const QString &text, int column, const QByteArray &lineBreak)
{
    const QVector<QByteArray> characters = utf8Characters(text);
    QByteArray out;
    int width = qMin(kLongestWord, kHeaderLineLength - column);
    if (wordBytes(width) < 4 && column > 0) {
        // No room for a word beside what the line holds: the first word starts the next line.
        out += lineBreak + ' ';
        width = kLongestWord;
    }
    int at = 0;
    do {
        const int room = wordBytes(width);
        int end = at, bytes = 0, wholeEnd = -1;
        bool wholeAfterSpace = false;
        while (end < characters.size() && bytes + characters.at(end).size() <= room) {
            bytes += characters.at(end++).size();
            const bool afterSpace = characters.at(end - 1) == " ";
            // The latest cut after whole Base64 quads, one after a space where there is one.
            if (bytes % 3 == 0 && bytes * 2 >= room && (afterSpace || !wholeAfterSpace)) {
                wholeEnd = end;
                wholeAfterSpace = afterSpace;
            }
        }
        if (at > 0)
            out += lineBreak + ' ';
        QByteArray piece;
        if (end == characters.size() || wholeEnd > 0) {
            // Base64; every word but the last ends after whole quads, since some readers
            // join the Base64 of adjacent words before decoding it.
            if (end < characters.size())
                end = wholeEnd;
            for (int i = at; i < end; ++i)
                piece += characters.at(i);
            out += kWordStart + piece.toBase64() + kWordEnd;
        } else {
            // No cut after whole quads: this word is quoted-printable, which joins with anything.
            end = at;
            int length = 0;
            while (end < characters.size()) {
                const QByteArray encoded = qEncoded(characters.at(end));
                if (length + encoded.size() > width - kWordFraming && end > at)
                    break;
                piece += encoded;
                length += encoded.size();
                ++end;
            }
            out += kQWordStart + piece + kWordEnd;
        }
        at = end;
        width = kLongestWord;
    } while (at < characters.size());
    return out;
}
