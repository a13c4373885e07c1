#include "archive/MailWriter.h"

#include "archive/MailHeaders.h"
#include "archive/StandardText.h"
#include "parsers/ElementText.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <cstring>

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

enum class TimeField { None, Sent, Received };

bool folderContains(const MailMLRC &mail, const char *name)
{
    return fieldBytes(mail.FolderPath).contains(name);
}

// The time field a rule picks. The separator and the Date line share the first
// six rows; the last rows of the separator look at IsOutgoing, those of the Date
// line at which field is filled.
TimeField ruleField(const MailMLRC &mail, bool forDateLine)
{
    if (mail.IsOutgoing == kOutgoingMarker || folderContains(mail, "Sent Items"))
        return TimeField::Sent;
    if (folderContains(mail, "Inbox"))
        return TimeField::Received;
    const bool deleted = folderContains(mail, "Deleted Items");
    if (deleted && mail.IsOutgoing == 1)
        return TimeField::Sent;
    if (deleted && mail.IsOutgoing == 0)
        return TimeField::Received;
    if (folderContains(mail, "Drafts"))
        return TimeField::Sent;
    if (deleted)
        return TimeField::None;
    if (forDateLine) {
        if (mail.SentTime[0])
            return TimeField::Sent;
        return mail.ReceivedTime[0] ? TimeField::Received : TimeField::None;
    }
    if (mail.IsOutgoing == 1)
        return TimeField::Sent;
    return mail.IsOutgoing == 0 ? TimeField::Received : TimeField::None;
}

bool isMessageDate(const QByteArray &text)
{
    return text.size() == kMessageDateLength && text.at(3) == ',';
}

QByteArray chosenDate(const MailMLRC &mail, TimeField field)
{
    const QByteArray sent = fieldBytes(mail.SentTime), received = fieldBytes(mail.ReceivedTime);
    const QByteArray candidates[] = {field == TimeField::Received ? received : sent,
                                     field == TimeField::Received ? sent : received,
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

QString decodedBody(QString text)
{
    if (!containsEntity(text, true))
        return text;
    text = decodeEntities(text, EntityRule::MailBody);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}


// A body line starting "From " would start a new message for every mbox reader.
QByteArray quotedFromLines(const QByteArray &content)
{
    QByteArray quoted;
    quoted.reserve(content.size());
    for (int at = 0; at < content.size(); ++at) {
        const bool lineStart = at == 0 || content.at(at - 1) == '\r' || content.at(at - 1) == '\n';
        if (lineStart && qstrncmp(content.constData() + at, "From ", 5) == 0)
            quoted += '>';
        quoted += content.at(at);
    }
    return quoted;
}

// Gathers the small pieces of a message into one write; large pieces (attachment
// blocks) go out as they come.
class MessageOutput
{
public:
    explicit MessageOutput(QIODevice &device) : m_device(device) {}
    void put(const QByteArray &bytes)
    {
        m_pending += bytes;
        if (m_pending.size() >= kGathered)
            flush();
    }
    bool finish()
    {
        flush();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    static constexpr int kGathered = 256 * 1024;
    void flush()
    {
        if (m_ok && !m_pending.isEmpty() && m_device.write(m_pending) != m_pending.size())
            m_ok = false;
        m_pending.clear();
    }

    QIODevice &m_device;
    QByteArray m_pending;
    bool m_ok = true;
};

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

Boundaries boundariesFor(const QByteArray &messageId, const QByteArray &content, quint32 innerNumber)
{
    auto heldBy = [&content](const QByteArray &boundary) { return content.contains("--" + boundary); };
    Boundaries boundaries;
    boundaries.outer = QByteArray(messageId).replace("<", "").replace(">", "");
    while (!isBoundaryText(boundaries.outer) || heldBy(boundaries.outer))
        boundaries.outer = "Mendora_" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
    boundaries.inner = innerBoundary(innerNumber);
    while (heldBy(boundaries.inner) || boundaries.inner == boundaries.outer)
        boundaries.inner = innerBoundary(randomNumber());
    return boundaries;
}

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

// The text of a body read back from the file, up to its first zero byte.
QString bodyText(const MailMLRC &mail, const TextReader &olm)
{
    QByteArray bytes = olm.read(mail.BodyOffset, mail.BodySize);
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

// The body part's content as it is written: the decoded text, with LF line ends unless it is HTML.
QByteArray bodyContent(const QString &body)
{
    // HTML goes out in UTF-8, so its own declaration must say so.
    QString content = looksLikeHtml(body, true) ? withUtf8Declaration(body) : body;
    if (!looksLikeHtml(body, false))
        content.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return quotedFromLines(content.toUtf8());
}

void writeBody(MessageOutput &out, const QString &body, const QByteArray &content, const Boundaries &boundaries)
{
    const QByteArray &inner = boundaries.inner;
    QByteArray head = mixedHeader(boundaries.outer) + "--" + boundaries.outer + kCR;
    head += "Content-type: multipart/alternative;\r\tboundary=\"" + inner + "\"\r\r--" + inner + kCR;
    head += looksLikeHtml(body, true) ? "Content-type: text/html;" : "Content-type: text/plain;";
    head += "charset=\"UTF-8\"\rContent-transfer-encoding: 8bit\r\r";
    out.put(head);
    out.put(content);
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

bool looksLikeHtml(const QString &body, bool withLinks)
{
    static const char *const kPairs[][2] = {
        {"<html", "</html>"}, {"<table", "</table>"}, {"<body", "</body>"}, {"<tbody", "</tbody>"},
        {"<td", "</td>"}, {"<tr", "</tr>"}, {"<div", "</div>"}, {"<br", "</br>"},
        {"<small", "</small>"}, {"<strong", "</strong>"}, {"<map", "</map>"}, {"<head", "</head>"},
        {"<title", "</title>"}, {"<a ", "</a>"}};
    // The tags are compared without regard to case, as Unicode folds it: the body folded
    // once into bytes, where the only characters outside ASCII that fold into it (KELVIN
    // SIGN to "k", LONG S to "s") become those letters and every other one a byte no tag holds.
    QByteArray folded(body.size(), Qt::Uninitialized);
    char *put = folded.data();
    for (const QChar c : body) {
        const ushort code = c.unicode();
        if (code < 0x80)
            *put++ = (code >= 'A' && code <= 'Z') ? char(code + ('a' - 'A')) : char(code);
        else if (code == 0x212A)
            *put++ = 'k';
        else if (code == 0x017F)
            *put++ = 's';
        else
            *put++ = char(0x80);
    }
    const int pairs = int(sizeof kPairs / sizeof kPairs[0]) - (withLinks ? 0 : 1);
    for (int i = 0; i < pairs; ++i) {
        if (memmem(folded.constData(), size_t(folded.size()), kPairs[i][0], strlen(kPairs[i][0]))
            && memmem(folded.constData(), size_t(folded.size()), kPairs[i][1], strlen(kPairs[i][1])))
            return true;
    }
    return false;
}

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
    return chosenDate(mail, ruleField(mail, false));
}

QByteArray headerDate(const MailMLRC &mail)
{
    return chosenDate(mail, ruleField(mail, true));
}

bool writeMboxMessage(QIODevice &out, const MailMLRC &mail, const TextReader &olm, quint32 innerNumber,
                      QStringList *problems)
{
    MessageOutput message(out);
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
    const QString body = withBody ? decodedBody(bodyText(mail, olm)) : QString();
    const QByteArray content = withBody ? bodyContent(body) : QByteArray();
    const Boundaries boundaries = boundariesFor(messageId, content, innerNumber);
    if (withBody)
        writeBody(message, body, content, boundaries);
    if (mail.AttachContentIds && mail.AttachContentTypes && mail.AttachNames && mail.AttachUrls
        && mail.AttachOffsets && mail.AttachSizes) {
        if (!withBody)
            message.put(mixedHeader(boundaries.outer));
        writeAttachments(message, mail, olm, boundaries.outer, problems);
    }
    return message.finish();
}
