#include "parsers/EntityDecoding.h"

#include <cstring>

// Every pattern starts with the only "&" it may hold, and every replacement but
// "&amp;" removes that "&". So replacing pattern after pattern over a whole text
// only ever touches the "&" where a match starts and the characters right after
// it: each "&" can be decoded on its own, in one pass over the text.

namespace {

struct Step {
    template <int Size>
    constexpr Step(const char (&text)[Size], char by) : name(text), length(Size - 1), replacement(by)
    {
    }
    const char *name; // after the "&"
    qint64 length;
    char replacement;
};

struct Steps {
    const Step *steps;
    int count;
};

const Step kRecordSteps[] = {{"lt;", '<'}, {"amp;", '&'}, {"nbsp;", ' '}, {"gt;", '>'}};
const Step kPreviewSteps[] = {{"lt;", '<'}, {"amp;", '&'}, {"nbsp;", ' '}, {"amp;lt;", '<'}, {"gt;", '>'}};
const Step kMailBodySteps[] = {{"amp;gt;", '>'}, {"amp;lt;", '<'}, {"gt;", '>'},
                               {"lt;", '<'},     {"amp;", '&'},    {"nbsp;", ' '}};

Steps stepsOf(EntityRule rule)
{
    switch (rule) {
    case EntityRule::RecordFields:
        return {kRecordSteps, 3};
    case EntityRule::RecordFieldsAndGt:
        return {kRecordSteps, 4};
    case EntityRule::Preview:
        return {kPreviewSteps, int(sizeof kPreviewSteps / sizeof *kPreviewSteps)};
    case EntityRule::MailBody:
        return {kMailBodySteps, int(sizeof kMailBodySteps / sizeof *kMailBodySteps)};
    case EntityRule::Xml:
        break;
    }
    return {nullptr, 0};
}

// A reference of the Xml rule ends at most this many characters after its "&".
constexpr int kReferenceReach = 10;

inline uint unitValue(char c) { return uchar(c); }
inline uint unitValue(ushort c) { return c; }
// A UTF-8 byte that continues a character; UTF-16 units are counted one by one.
inline bool continuesCharacter(char c) { return (uchar(c) & 0xC0) == 0x80; }
inline bool continuesCharacter(ushort) { return false; }

inline void appendUnits(QByteArray &out, const char *units, qint64 count) { out.append(units, int(count)); }
inline void appendUnits(QString &out, const ushort *units, qint64 count)
{
    out.append(reinterpret_cast<const QChar *>(units), int(count));
}
inline void appendAscii(QByteArray &out, char c) { out.append(c); }
inline void appendAscii(QString &out, char c) { out.append(QLatin1Char(c)); }
inline void appendText(QByteArray &out, const QString &text) { out.append(text.toUtf8()); }
inline void appendText(QString &out, const QString &text) { out.append(text); }
// Bytes written into room made beforehand: decoding never makes a text longer (every
// replacement is shorter than its reference, a character number's UTF-8 included).
struct ByteSink {
    char *put;
};
inline void appendUnits(ByteSink &out, const char *units, qint64 count)
{
    memcpy(out.put, units, size_t(count));
    out.put += count;
}
inline void appendAscii(ByteSink &out, char c) { *out.put++ = c; }
inline void appendText(ByteSink &out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    appendUnits(out, bytes.constData(), bytes.size());
}
inline QString unitsText(const char *units, qint64 count) { return QString::fromUtf8(units, int(count)); }
inline QString unitsText(const ushort *units, qint64 count)
{
    return QString(reinterpret_cast<const QChar *>(units), int(count));
}

enum class Match { Yes, No, Cut };

template <typename Unit>
Match matchAt(const Unit *units, qint64 at, qint64 size, const char *name, bool last)
{
    for (qint64 k = 0; name[k]; ++k) {
        if (at + k >= size)
            return last ? Match::No : Match::Cut;
        if (unitValue(units[at + k]) != uchar(name[k]))
            return Match::No;
    }
    return Match::Yes;
}

// The "&" at `amp` after the steps ran `times` times over it; returns where the
// text goes on, or -1 when the range ends before the outcome is known.
template <typename Unit, typename Out>
qint64 decodeStepsAt(const Unit *units, qint64 amp, qint64 size, Steps steps, int times, bool last, Out &out)
{
    qint64 at = amp + 1;
    for (int round = 0; round < times; ++round) {
        const qint64 roundStart = at;
        for (int i = 0; i < steps.count; ++i) {
            const Step &step = steps.steps[i];
            const Match match = matchAt(units, at, size, step.name, last);
            if (match == Match::Cut)
                return -1;
            if (match == Match::No)
                continue;
            at += step.length;
            if (step.replacement != '&') {
                appendAscii(out, step.replacement);
                return at;
            }
        }
        // A round that matched nothing leaves the text as every later round finds it.
        if (at == roundStart)
            break;
    }
    appendAscii(out, '&');
    return at;
}

// "&lt;", "&gt;" and "&amp;", by far the most common references (markup kept as text),
// told without the general search; 0 when the text at amp is none of them.
template <typename Unit>
char commonReferenceAt(const Unit *units, qint64 amp, qint64 size, qint64 *next)
{
    const qint64 left = size - amp;
    if (left >= 4 && unitValue(units[amp + 2]) == 't' && unitValue(units[amp + 3]) == ';') {
        const uint first = unitValue(units[amp + 1]);
        if (first == 'l' || first == 'g') {
            *next = amp + 4;
            return first == 'l' ? '<' : '>';
        }
    }
    if (left >= 5 && unitValue(units[amp + 1]) == 'a' && unitValue(units[amp + 2]) == 'm'
        && unitValue(units[amp + 3]) == 'p' && unitValue(units[amp + 4]) == ';') {
        *next = amp + 5;
        return '&';
    }
    return 0;
}

template <typename Unit, typename Out>
qint64 decodeReferenceAt(const Unit *units, qint64 amp, qint64 size, bool last, Out &out)
{
    qint64 next = 0;
    if (const char common = commonReferenceAt(units, amp, size, &next)) {
        appendAscii(out, common);
        return next;
    }
    qint64 end = -1;
    int characters = 0;
    qint64 at = amp + 1;
    for (; at < size; ++at) {
        if (continuesCharacter(units[at]))
            continue;
        if (++characters > kReferenceReach)
            break;
        if (unitValue(units[at]) == ';') {
            end = at;
            break;
        }
    }
    if (end < 0 && at >= size && !last)
        return -1;
    if (end >= 0) {
        const Unit *name = units + amp + 1;
        const qint64 length = end - amp - 1;
        const auto is = [&](const char *word) {
            return qint64(strlen(word)) == length && matchAt(name, 0, length, word, true) == Match::Yes;
        };
        char replacement = 0;
        if (is("amp"))
            replacement = '&';
        else if (is("lt"))
            replacement = '<';
        else if (is("gt"))
            replacement = '>';
        else if (is("quot"))
            replacement = '"';
        else if (is("apos"))
            replacement = '\'';
        if (replacement) {
            appendAscii(out, replacement);
            return end + 1;
        }
        if (length > 0 && unitValue(name[0]) == '#') {
            const QString number = unitsText(name + 1, length - 1);
            bool ok = false;
            const uint code = number.startsWith(QLatin1Char('x'), Qt::CaseInsensitive) ? number.mid(1).toUInt(&ok, 16)
                                                                                       : number.toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                appendText(out, QString::fromUcs4(&code, 1));
                return end + 1;
            }
        }
    }
    appendAscii(out, '&');
    return amp + 1;
}

template <typename Unit>
qint64 findAmpersand(const Unit *units, qint64 from, qint64 size)
{
    while (from < size && unitValue(units[from]) != '&')
        ++from;
    return from;
}

qint64 findAmpersand(const char *units, qint64 from, qint64 size)
{
    const void *found = memchr(units + from, '&', size_t(size - from));
    return found ? static_cast<const char *>(found) - units : size;
}

template <typename Unit, typename Out>
qint64 decodeUnits(const Unit *units, qint64 size, EntityRule rule, int times, bool last, Out &out)
{
    const Steps steps = stepsOf(rule);
    qint64 at = 0;
    while (at < size) {
        const qint64 amp = findAmpersand(units, at, size);
        appendUnits(out, units + at, amp - at);
        if (amp == size)
            break;
        const qint64 next = rule == EntityRule::Xml ? decodeReferenceAt(units, amp, size, last, out)
                                                    : decodeStepsAt(units, amp, size, steps, times, last, out);
        if (next < 0)
            return amp;
        at = next;
    }
    return size;
}
} // namespace

QString decodeEntities(const QString &text, EntityRule rule, int times)
{
    if (times <= 0 || !text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    decodeUnits(text.utf16(), text.size(), rule, times, true, out);
    return out;
}

namespace {
qint64 decodeBytesInto(const char *data, qint64 size, EntityRule rule, int times, bool last, QByteArray *out)
{
    const int before = out->size();
    out->resize(before + int(size));
    ByteSink sink{out->data() + before};
    const qint64 decoded = decodeUnits(data, size, rule, times, last, sink);
    out->truncate(int(sink.put - out->constData()));
    return decoded;
}
} // namespace

QByteArray decodeEntities(const QByteArray &text, EntityRule rule, int times)
{
    if (times <= 0 || !text.contains('&'))
        return text;
    QByteArray out;
    decodeBytesInto(text.constData(), text.size(), rule, times, true, &out);
    return out;
}

qint64 decodeEntityRange(const char *data, qint64 size, EntityRule rule, QByteArray *out, bool last)
{
    return decodeBytesInto(data, size, rule, 1, last, out);
}

QString DecodeEntities(const QString &text, GtEntity gt)
{
    return decodeEntities(text, gt == GtEntity::Decode ? EntityRule::RecordFieldsAndGt : EntityRule::RecordFields);
}

QString decodeXmlText(const QString &text)
{
    return decodeEntities(text, EntityRule::Xml);
}
