#include "archive/MailWriter.h"

#include "archive/MailHeaders.h"
#include "archive/MessageOutput.h"
#include "archive/TextBlocks.h"
#include "archive/StandardText.h"
#include "parsers/ElementText.h"
#include "parsers/EntityDecoding.h"
#include "parsers/HtmlTest.h"
#include "parsers/ItemDetails.h"
#include "parsers/MailDateRule.h"
#include "parsers/RecordText.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define MENDORA_BASE64_VECTORS
#endif

namespace {

const char kCR = '\r';
// A multiple of 3, so that the Base64 texts of consecutive blocks join into the text of the whole.
constexpr qint64 kAttachmentBlock = 3 * 256 * 1024;
// The date of last resort: messages must never lose their separator line.
const char kFixedDate[] = "Thu, 01 Jan 1970 00:00:00 +0000";
constexpr int kMessageDateLength = 31;

template <int Width>
QByteArray fieldBytes(const char (&field)[Width])
{
    return QByteArray(field, int(strnlen(field, Width)));
}

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

// The values of a joined list, with the empty text after its final ";", and with the
// character references they kept decoded.
QStringList joinedValues(const QString &text)
{
    QStringList values = joinedListPiecesKeepingReferences(text);
    for (QString &value : values)
        value = decodeXmlText(value);
    return values;
}

bool containsEntity(const QString &text, bool withGt)
{
    for (const char *entity : {"&lt;", "&amp;", "&nbsp;", "&gt;"}) {
        if ((withGt || qstrcmp(entity, "&gt;") != 0) && text.contains(QLatin1String(entity), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// A display name: as it stands where it holds nothing that ends a phrase; quoted
// where it does; encoded words where Latin-1 cannot hold it.
QByteArray displayName(const QString &name, int column)
{
    static const QRegularExpression specials(QStringLiteral("[\\\\\"<>()\\[\\],;:@]|=\\?"));
    const QString safe = headerSafe(name);
    for (const QChar c : safe) {
        if (c.unicode() > 0xFF)
            return encodedWords(safe, column, "\r");
    }
    if (!safe.contains(specials))
        return safe.toLatin1();
    QString quoted = safe;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return '"' + quoted.toLatin1() + '"';
}

// "name <address>"; a plain address stands as it is on both sides, any other
// becomes a quoted phrase and a quoted local part, so it stays one address.
QByteArray mailbox(const QString &name, const QString &address, int column)
{
    if (isPlainAddress(address))
        return (name.isEmpty() ? address.toLatin1() : displayName(name, column)) + " <" + address.toLatin1() + '>';
    return displayName(name.isEmpty() ? address : name, column) + " <" + addrSpec(address) + '>';
}

// "To: a <a>,CR TAB b <b>CR". A piece counts as the last address only where its
// first occurrence is the last address.
QByteArray addressLines(const char *header, const QString &decoded)
{
    const QStringList pieces = joinedValues(decoded);
    const int addresses = pieces.size() - 1;
    QByteArray lines(header);
    for (int i = 0; i < addresses; ++i) {
        lines += mailbox(QString(), pieces.at(i), i == 0 ? int(qstrlen(header)) : 1);
        if (addresses > 1 && pieces.indexOf(pieces.at(i)) != addresses - 1)
            lines += ",\r\t";
    }
    return lines + kCR;
}

QByteArray copyLines(const char *header, const QString &text)
{
    return addressLines(header, containsEntity(text, false) ? DecodeEntities(text, GtEntity::Decode) : text);
}

// RFC 2046: 1 to 70 characters of this set, and "@", which the quotation marks
// around the parameter make safe for every reader (message identifiers hold one).
bool isBoundaryText(const QByteArray &text)
{
    static const QRegularExpression boundary(QStringLiteral("^[A-Za-z0-9'()+_,./:=?@-]{1,70}$"));
    return boundary.match(QString::fromLatin1(text)).hasMatch();
}

// What a message's part delimiters are: the outer one is the message identifier
// without angle brackets where that makes a boundary the body does not hold,
// otherwise a random one; the inner one carries a random number, drawn again
// while the body holds it. Nobody can write a body that closes the parts.
struct Boundaries {
    QByteArray outer;
    QByteArray inner;
};

QByteArray innerBoundary(quint32 number)
{
    return "B_336332" + QByteArray::number(number) + "6825_117674";
}

quint32 randomNumber()
{
    return QRandomGenerator::system()->bounded(quint32(RAND_MAX));
}

// Whether the text given in pieces holds a text, wherever the pieces cut it.
class TextSearch
{
public:
    explicit TextSearch(const QByteArray &wanted) : m_wanted(wanted) {}
    void add(const QByteArray &text)
    {
        if (m_found)
            return;
        const int reach = m_wanted.size() - 1;
        const QByteArray across = m_tail + text.left(reach);
        m_found = across.contains(m_wanted) || text.contains(m_wanted);
        m_tail = (m_tail + text.right(reach)).right(reach);
    }
    bool found() const { return m_found; }

private:
    const QByteArray m_wanted;
    QByteArray m_tail;
    bool m_found = false;
};

// The outer part's header, its boundary in quotation marks.
QByteArray mixedHeader(const QByteArray &boundary)
{
    return "Content-type: multipart/mixed;\r\tboundary=\"" + boundary + "\"\r\r";
}

// An identifier as one header token: no space, line break or other control character.
QByteArray identifierText(const QByteArray &text)
{
    QByteArray token;
    for (const char c : text) {
        if (uchar(c) > 0x20 && uchar(c) != 0x7F)
            token += c;
    }
    return token;
}

// What a body becomes in the message, judged in one pass over its text before any of
// it is written.
struct BodyForm {
    // The text holds "&lt;", "&amp;", "&nbsp;" or "&gt;" (any case): entities are decoded and CR becomes LF.
    bool entities = false;
    // The text, decoded where it has entities, holds an HTML tag pair: CR stays.
    bool html = false;
    // ... or the link pair: the part is text/html, and its charset declarations say UTF-8.
    bool htmlWithLinks = false;
    // A body read in one block keeps its text, as stored and decoded, for the conversion.
    bool oneBlock = true;
    QByteArray stored;
    QByteArray decoded;
};

const char *const kEntityTexts[] = {"&lt;", "&amp;", "&nbsp;", "&gt;"};

// Decodes the mail body's entities in pieces, holding back an entity a piece cuts.
class BodyEntities
{
public:
    QByteArray add(const QByteArray &text, bool last)
    {
        m_held += text;
        QByteArray decoded;
        decoded.reserve(m_held.size());
        dropFront(m_held, decodeEntityRange(m_held.constData(), m_held.size(), EntityRule::MailBody, &decoded, last));
        return decoded;
    }

private:
    QByteArray m_held;
};

BodyForm bodyForm(const MailMLRC &mail, const TextReader &olm, qint64 blockSize)
{
    TextBlocks blocks(olm, mail.BodyOffset, mail.BodySize, TextBlocks::ZeroBytes::EndText, blockSize);
    FoldedScan entities(kEntityTexts, int(sizeof kEntityTexts / sizeof kEntityTexts[0]));
    // The tag pairs are looked for in the text as it is and as decoded; the two are
    // one scan until decoding first changes something.
    HtmlPairScan asStored, decoded;
    bool decodingChanged = false;
    BodyEntities decoder;
    QByteArray text;
    const auto addDecoded = [&](const QByteArray &piece, const QByteArray &stored) {
        if (!decodingChanged && piece != stored) {
            decoded = asStored;
            decodingChanged = true;
        }
        if (decodingChanged)
            decoded.add(piece.constData(), piece.size());
    };
    BodyForm form;
    int pieces = 0;
    while (blocks.next(&text)) {
        if (!entities.found()) // one entity is enough to know
            entities.add(text.constData(), text.size());
        const QByteArray piece = decoder.add(text, false);
        addDecoded(piece, text);
        asStored.add(text.constData(), text.size());
        if (++pieces == 1) {
            form.stored = text;
            form.decoded = piece;
        }
    }
    const QByteArray rest = decoder.add(QByteArray(), true);
    addDecoded(rest, QByteArray());
    if (!decodingChanged)
        decoded = asStored;
    form.oneBlock = pieces <= 1;
    if (form.oneBlock)
        form.decoded += rest;
    else
        form.stored = form.decoded = QByteArray();
    form.entities = entities.found() != 0;
    const HtmlPairScan &judged = form.entities ? decoded : asStored;
    form.html = judged.holdsPair(false);
    form.htmlWithLinks = judged.holdsPair(true);
    return form;
}

// The body part's content as it is written, block by block (before the "From " lines
// are quoted): the text decoded as its form says, with LF line ends unless it is HTML.
class BodyContent
{
public:
    BodyContent(const MailMLRC &mail, const TextReader &olm, const BodyForm &form, qint64 blockSize)
        : m_blocks(olm, mail.BodyOffset, mail.BodySize, TextBlocks::ZeroBytes::EndText, blockSize), m_form(form)
    {
    }
    bool next(QByteArray *content)
    {
        QByteArray text;
        while (!m_done) {
            const bool more = !m_form.oneBlock && m_blocks.next(&text);
            m_done = !more;
            QByteArray piece;
            if (m_form.oneBlock)
                piece = m_form.entities ? m_form.decoded : m_form.stored;
            else
                piece = m_form.entities ? m_entities.add(text, !more) : text;
            // Only a piece that holds a CR is copied to change it.
            if ((m_form.entities || !m_form.html) && memchr(piece.constData(), '\r', size_t(piece.size())))
                piece.replace('\r', '\n');
            // HTML goes out in UTF-8, so its own declaration must say so.
            if (m_form.htmlWithLinks)
                piece = m_declarations.add(piece, !more);
            if (!piece.isEmpty()) {
                *content = piece;
                return true;
            }
        }
        content->clear();
        return false;
    }

private:
    TextBlocks m_blocks;
    const BodyForm &m_form;
    BodyEntities m_entities;
    Utf8Declarations m_declarations;
    bool m_done = false;
};

// The part delimiters of a message: the outer one is the message identifier without
// angle brackets where that makes a boundary the body does not hold, otherwise a
// random one; the inner one carries innerNumber, or a random number while the body
// holds it. Nobody can write a body that closes the parts. A body that fits in one
// block is kept in *content, converted once.
Boundaries boundariesFor(const QByteArray &messageId, quint32 innerNumber, const MailMLRC *bodyMail,
                         const TextReader &olm, const BodyForm &form, qint64 blockSize, QByteArray *content,
                         bool *contentWhole)
{
    Boundaries boundaries;
    boundaries.outer = QByteArray(messageId).replace("<", "").replace(">", "");
    if (!isBoundaryText(boundaries.outer))
        boundaries.outer = "Mendora_" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
    boundaries.inner = innerBoundary(innerNumber);
    *contentWhole = false;
    for (;;) {
        while (boundaries.inner == boundaries.outer)
            boundaries.inner = innerBoundary(randomNumber());
        if (!bodyMail)
            return boundaries;
        TextSearch outer("--" + boundaries.outer), inner("--" + boundaries.inner);
        BodyContent body(*bodyMail, olm, form, blockSize);
        QByteArray piece;
        int pieces = 0;
        while (body.next(&piece)) {
            outer.add(piece);
            inner.add(piece);
            if (++pieces == 1)
                *content = piece;
        }
        *contentWhole = pieces <= 1;
        if (pieces == 0)
            content->clear();
        if (!outer.found() && !inner.found())
            return boundaries;
        if (outer.found())
            boundaries.outer = "Mendora_" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        if (inner.found())
            boundaries.inner = innerBoundary(randomNumber());
    }
}

void writeBody(MessageOutput &out, const MailMLRC &mail, const TextReader &olm, const BodyForm &form,
               const Boundaries &boundaries, const QByteArray &wholeContent, bool contentWhole, qint64 blockSize)
{
    const QByteArray &inner = boundaries.inner;
    QByteArray head = mixedHeader(boundaries.outer) + "--" + boundaries.outer + kCR;
    head += "Content-type: multipart/alternative;\r\tboundary=\"" + inner + "\"\r\r--" + inner + kCR;
    head += form.htmlWithLinks ? "Content-type: text/html;" : "Content-type: text/plain;";
    head += "charset=\"UTF-8\"\rContent-transfer-encoding: 8bit\r\r";
    out.put(head);
    if (contentWhole) {
        out.text(wholeContent.constData(), wholeContent.size());
    } else {
        BodyContent body(mail, olm, form, blockSize);
        QByteArray piece;
        while (body.next(&piece) && out.ok())
            out.text(piece.constData(), piece.size());
    }
    out.endText();
    out.put("\r\r--" + inner + "--\r\r");
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

// Streams size bytes at offset through Base64 on one line; false when the file held fewer.
bool writeBase64(MessageOutput &out, const TextReader &olm, qint64 offset, qint64 size, qint64 *written)
{
    *written = 0;
    while (*written < size && out.ok()) {
        const qint64 wanted = qMin(kAttachmentBlock, size - *written);
        const QByteArray block = olm.read(offset + *written, wanted);
        out.put(base64(block));
        *written += block.size();
        if (block.size() < wanted)
            break;
    }
    return *written == size;
}

void writeAttachments(MessageOutput &out, const MailMLRC &mail, const TextReader &olm, const QByteArray &outer,
                      QStringList *problems)
{
    const QStringList names = ownedText(mail.AttachNames, FieldEncoding::Utf8).split(QLatin1Char(';'));
    const QStringList types = ownedText(mail.AttachContentTypes, FieldEncoding::Latin1).split(QLatin1Char(';'));
    const QStringList ids = ownedText(mail.AttachContentIds, FieldEncoding::Latin1).split(QLatin1Char(';'));
    const QStringList offsets = ownedText(mail.AttachOffsets, FieldEncoding::Latin1).split(QLatin1Char(';'));
    const QStringList sizes = ownedText(mail.AttachSizes, FieldEncoding::Latin1).split(QLatin1Char(';'));
    static const QRegularExpression mediaType(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+$"));
    for (int i = 0; i < names.size() - 1 && out.ok(); ++i) {
        const QByteArray name = headerText(headerSafe(names.at(i)));
        QByteArray quotedName = name;
        quotedName.replace('\\', "\\\\").replace('"', "\\\"");
        const QString type = types.value(i);
        const QString id = ids.value(i);
        QByteArray head = "--" + outer + kCR;
        head += "Content-type: " + (mediaType.match(type).hasMatch() ? type.toLatin1() : "application/octet-stream")
                + "; name=\"" + quotedName + "\"\r";
        head += "Content-Description: " + name + kCR;
        head += "Content-Disposition: attachment; filename=\"" + quotedName + "\";\r";
        head += "Content-Transfer-Encoding: base64";
        if (id != QLatin1String("no"))
            head += "\rContent-ID: <" + identifierText(id.toLatin1()).replace("<", "").replace(">", "") + '>';
        head += "\r\r";
        out.put(head);
        const qint64 size = sizes.value(i).toLongLong();
        qint64 written = 0;
        if (!writeBase64(out, olm, offsets.value(i).toLongLong(), size, &written) && out.ok())
            problems->append(QStringLiteral("attachment \"%1\" holds %2 of its %3 bytes: the file ends before it does")
                                 .arg(names.at(i)).arg(written).arg(size));
        out.put("\r\r");
    }
    out.put("--" + outer + "--\r");
}

} // namespace

QByteArray base64(const QByteArray &bytes)
{
    static const Base64Pairs pairs;
    return pairs.encode(bytes);
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

bool writeMboxMessage(QIODevice &out, const MailMLRC &mail, const TextReader &olm, quint32 innerNumber,
                      QStringList *problems, qint64 blockSize)
{
    MessageOutput message(out, MessageOutput::Quoting::FromLines);
    const QByteArray d = separatorDate(mail);
    QByteArray head = "From ???@??? " + d.mid(0, 3) + ' ' + d.mid(8, 3) + ' ' + d.mid(5, 2) + ' ' + d.mid(17, 8)
                      + ' ' + d.mid(12, 4) + ' ' + d.mid(26, 5) + kCR;
    head += "User-Agent: Microsoft-MacOutlook/14.0.0.100825\r";
    const QString subject = headerSafe(utf8Field(mail.Subject));
    if (!subject.isEmpty())
        head += "Subject: " + encodedWords(subject, int(qstrlen("Subject: ")), "\r") + kCR;
    const QString fromAddress = reducedSender(joinedValues(latin1Field(mail.FromAddress)));
    if (!fromAddress.isEmpty())
        head += "From: " + mailbox(reducedSender(joinedValues(utf8Field(mail.FromName))), fromAddress, int(qstrlen("From: "))) + kCR;
    if (mail.ToAddresses[0])
        head += addressLines("To: ", DecodeEntities(latin1Field(mail.ToAddresses)));
    if (mail.CcAddresses[0])
        head += copyLines("Cc: ", latin1Field(mail.CcAddresses));
    if (mail.BccAddresses[0])
        head += copyLines("Bcc: ", utf8Field(mail.BccAddresses));
    head += "Date: " + headerDate(mail) + kCR;
    if (!subject.isEmpty())
        head += "Thread-Topic: " + subject.toUtf8() + kCR;
    if (mail.Priority[0]) {
        const QByteArray priority = fieldBytes(mail.Priority);
        head += "X-Priority: " + (priority == "4" || priority == "2" ? priority : QByteArray()) + "\r\n";
    }
    const QByteArray messageId = identifierText(fieldBytes(mail.MessageId));
    if (!messageId.isEmpty())
        head += "Message-ID: " + messageId + kCR;
    head += QByteArray("X-MS-Has-Attach: ") + (mail.AttachContentIds ? "yes" : "") + kCR;
    head += "Mime-version: 1.1\r";
    message.put(head);

    const bool withBody = mail.BodySize > 0 && !messageId.isEmpty();
    const BodyForm form = withBody ? bodyForm(mail, olm, blockSize) : BodyForm();
    QByteArray content;
    bool contentWhole = false;
    const Boundaries boundaries = boundariesFor(messageId, innerNumber, withBody ? &mail : nullptr, olm, form,
                                                blockSize, &content, &contentWhole);
    if (withBody)
        writeBody(message, mail, olm, form, boundaries, content, contentWhole, blockSize);
    if (mail.AttachContentIds && mail.AttachContentTypes && mail.AttachNames && mail.AttachUrls
        && mail.AttachOffsets && mail.AttachSizes) {
        if (!withBody)
            message.put(mixedHeader(boundaries.outer));
        writeAttachments(message, mail, olm, boundaries.outer, problems);
    }
    return message.flush();
}
