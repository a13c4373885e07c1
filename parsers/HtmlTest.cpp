#include "parsers/HtmlTest.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
// Opening texts first, closing texts after, in the same order; the last pair is the link pair.
const char *const kPairTexts[] = {"<html", "<table", "<body", "<tbody", "<td", "<tr", "<div", "<br",
                                  "<small", "<strong", "<map", "<head", "<title", "<a ",
                                  "</html>", "</table>", "</body>", "</tbody>", "</td>", "</tr>", "</div>", "</br>",
                                  "</small>", "</strong>", "</map>", "</head>", "</title>", "</a>"};
constexpr int kPairs = int(sizeof kPairTexts / sizeof kPairTexts[0]) / 2;

enum class Match { Yes, No, Cut };

// Whether text at `at` reads `wanted` without regard to case. Besides the ASCII letters,
// the only characters that fold into a tag's letters are LONG S (to "s") and KELVIN SIGN
// (to "k"), written in two and three bytes.
Match foldedMatch(const char *text, qint64 at, qint64 size, const char *wanted)
{
    for (; *wanted; ++wanted) {
        if (at >= size)
            return Match::Cut;
        const uchar byte = uchar(text[at]);
        const char folded = (byte >= 'A' && byte <= 'Z') ? char(byte + ('a' - 'A')) : char(byte);
        if (folded == *wanted) {
            ++at;
            continue;
        }
        const char *other = *wanted == 's' ? "\xC5\xBF" : *wanted == 'k' ? "\xE2\x84\xAA" : nullptr;
        if (!other)
            return Match::No;
        const qint64 length = qint64(strlen(other));
        const qint64 available = qMin(length, size - at);
        if (memcmp(text + at, other, size_t(available)) != 0)
            return Match::No;
        if (available < length)
            return Match::Cut;
        at += length;
    }
    return Match::Yes;
}

quint32 pairMask(bool withLinks)
{
    return withLinks ? (1u << kPairs) - 1 : (1u << (kPairs - 1)) - 1;
}

// The piece with what the last piece held back put before it: text and size then
// describe the joined bytes, which the returned array keeps alive.
QByteArray withHeldTail(QByteArray &tail, const char *&text, qint64 &size)
{
    if (tail.isEmpty())
        return QByteArray();
    QByteArray joined = tail + QByteArray::fromRawData(text, int(size));
    tail.clear();
    text = joined.constData();
    size = joined.size();
    return joined;
}

// Every byte a character of a text can begin with: the letter in either case, and the
// lead byte of LONG S or KELVIN SIGN for "s" and "k".
void markBytesOf(char wanted, quint32 bit, quint32 *table)
{
    table[uchar(wanted)] |= bit;
    if (wanted >= 'a' && wanted <= 'z')
        table[uchar(wanted - 'a' + 'A')] |= bit;
    if (wanted == 's')
        table[0xC5] |= bit;
    if (wanted == 'k')
        table[0xE2] |= bit;
}
} // namespace

FoldedScan::FoldedScan(const char *const *texts, int count) : m_texts(texts), m_count(count)
{
    std::fill(std::begin(m_second), std::end(m_second), 0u);
    std::fill(std::begin(m_third), std::end(m_third), 0u);
    for (int i = 0; i < count; ++i) {
        const quint32 bit = 1u << i;
        const size_t length = strlen(texts[i]);
        // A text too short to be ruled out by its second or third character never is.
        if (length < 3) {
            for (int byte = 0; byte < 256; ++byte) {
                m_third[byte] |= bit;
                if (length < 2)
                    m_second[byte] |= bit;
            }
        }
        if (length >= 2)
            markBytesOf(texts[i][1], bit, m_second);
        if (length >= 3)
            markBytesOf(texts[i][2], bit, m_third);
    }
}

void FoldedScan::add(const char *text, qint64 size)
{
    const QByteArray joined = withHeldTail(m_tail, text, size);
    const char lead = m_texts[0][0];
    const char *const end = text + size;
    for (const char *at = text; at < end;) {
        const char *start = static_cast<const char *>(memchr(at, lead, size_t(end - at)));
        if (!start)
            break;
        const qint64 position = start - text;
        quint32 candidates = ~m_found;
        if (position + 1 < size) {
            const uchar second = uchar(text[position + 1]);
            candidates &= m_second[second];
            // After a character of two or three bytes the third character stands further on.
            if (second < 0x80 && position + 2 < size)
                candidates &= m_third[uchar(text[position + 2])];
        }
        bool cut = false;
        for (int i = 0; i < m_count && candidates; ++i) {
            const quint32 bit = 1u << i;
            if (!(candidates & bit))
                continue;
            const Match match = foldedMatch(text, position, size, m_texts[i]);
            if (match == Match::Yes)
                m_found |= bit;
            cut = cut || match == Match::Cut;
        }
        if (cut) {
            // The next piece decides; every start after this one is within the kept bytes.
            m_tail = QByteArray(start, int(end - start));
            return;
        }
        at = start + 1;
    }
}

HtmlPairScan::HtmlPairScan() : m_scan(kPairTexts, 2 * kPairs) {}

void HtmlPairScan::add(const char *text, qint64 size)
{
    // Once a pair without the link pair is there, both answers are known.
    if (!holdsPair(false))
        m_scan.add(text, size);
}

bool HtmlPairScan::holdsPair(bool withLinks) const
{
    const quint32 found = m_scan.found();
    const quint32 both = found & (found >> kPairs);
    return (both & pairMask(withLinks)) != 0;
}

bool bodyLooksLikeHtml(const QByteArray &utf8, bool withLinks)
{
    HtmlPairScan scan;
    scan.add(utf8.constData(), utf8.size());
    return scan.holdsPair(withLinks);
}

bool previewLooksLikeHtml(const QByteArray &body)
{
    static const char *const kTagNames[] = {"html", "table", "body", "tbody", "td", "tr",  "div", "br",
                                            "small", "strong", "map", "head", "title", "b", "a"};
    for (bool upper : {false, true}) {
        for (const char *name : kTagNames) {
            const QByteArray tag = upper ? QByteArray(name).toUpper() : QByteArray(name);
            if (body.contains("<" + tag) && body.contains("</" + tag + ">"))
                return true;
        }
    }
    return body.contains("<br><font size=") && body.contains("</font>");
}

void MarkupScan::add(const char *text, qint64 size)
{
    if (m_closed)
        return;
    const QByteArray joined = withHeldTail(m_tail, text, size);
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const char *const end = text + size;
    const char *at = text;
    // The first opening decides, since a '>' after a later one is after it too.
    while (!m_opened && at < end) {
        const char *open = static_cast<const char *>(memchr(at, '<', size_t(end - at)));
        if (!open)
            return;
        const qint64 left = end - open - 1;
        int opened = 0; // characters of the opening after "<"
        bool cut = false;
        if (left >= 1 && isLetter(open[1]))
            opened = 1;
        else if (left >= 1 && open[1] == '/')
            opened = left >= 2 ? (isLetter(open[2]) ? 2 : 0) : (cut = true, 0);
        else if (left >= 1 && open[1] == '!')
            opened = left >= 3 ? (memcmp(open + 1, "!--", 3) == 0 ? 3 : 0) : (cut = memcmp(open + 1, "!--", size_t(left)) == 0, 0);
        else if (left == 0)
            cut = true;
        if (cut) {
            m_tail = QByteArray(open, int(end - open));
            return;
        }
        if (opened) {
            m_opened = true;
            at = open + 1 + opened;
        } else {
            at = open + 1;
        }
    }
    if (m_opened && at < end && memchr(at, '>', size_t(end - at)))
        m_closed = true;
}

bool holdsMarkup(const QString &text)
{
    MarkupScan scan;
    const QByteArray utf8 = text.toUtf8();
    scan.add(utf8.constData(), utf8.size());
    return scan.holdsMarkup();
}
