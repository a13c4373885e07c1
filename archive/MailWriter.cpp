#include "archive/MailWriter.h"

#include "archive/StandardText.h"
#include "parsers/ElementText.h"
#include "parsers/RecordText.h"

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

// One value of a sender list: fewer than two ";" are dropped; otherwise the value
// after the last ";" but one.
QString reducedSender(QString text)
{
    if (text.count(QLatin1Char(';')) < 2)
        return text.remove(QLatin1Char(';'));
    text.chop(1);
    return text.mid(text.lastIndexOf(QLatin1Char(';')) + 1);
}

bool containsEntity(const QString &text, bool withGt)
{
    for (const char *entity : {"&lt;", "&amp;", "&nbsp;", "&gt;"}) {
        if ((withGt || qstrcmp(entity, "&gt;") != 0) && text.contains(QLatin1String(entity), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// "To: a <a>,CR TAB b <b>CR". A piece counts as the last address only where its
// first occurrence is the last address.
QByteArray addressLines(const char *header, const QString &decoded)
{
    const QStringList pieces = decoded.split(QLatin1Char(';'));
    const int addresses = pieces.size() - 1;
    QByteArray lines(header);
    for (int i = 0; i < addresses; ++i) {
        const QByteArray address = pieces.at(i).toLatin1();
        lines += address + " <" + address + '>';
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
    text.replace(QLatin1String("&amp;gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&amp;lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool looksLikeHtml(const QString &body, bool withLinks)
{
    static const char *const kPairs[][2] = {
        {"<html", "</html>"}, {"<table", "</table>"}, {"<body", "</body>"}, {"<tbody", "</tbody>"},
        {"<td", "</td>"}, {"<tr", "</tr>"}, {"<div", "</div>"}, {"<br", "</br>"},
        {"<small", "</small>"}, {"<strong", "</strong>"}, {"<map", "</map>"}, {"<head", "</head>"},
        {"<title", "</title>"}, {"<a ", "</a>"}};
    const int pairs = int(sizeof kPairs / sizeof kPairs[0]) - (withLinks ? 0 : 1);
    for (int i = 0; i < pairs; ++i) {
        if (body.contains(QLatin1String(kPairs[i][0]), Qt::CaseInsensitive)
            && body.contains(QLatin1String(kPairs[i][1]), Qt::CaseInsensitive))
            return true;
    }
    return false;
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

// The boundary of the message's outer part: its identifier without angle brackets.
QByteArray outerBoundary(QByteArray messageId)
{
    return messageId.replace("<", "").replace(">", "");
}

// The outer part's header; its boundary parameter is the identifier with its brackets turned into quotes.
QByteArray mixedHeader(QByteArray messageId)
{
    return "Content-type: multipart/mixed;\r\tboundary=" + messageId.replace('<', '"').replace('>', '"') + "\r\r";
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

void writeBody(MessageOutput &out, const MailMLRC &mail, const TextReader &olm, const QByteArray &messageId,
               int innerNumber)
{
    const QString body = decodedBody(bodyText(mail, olm));
    const bool html = looksLikeHtml(body, true);
    const QByteArray inner = "B_336332" + QByteArray::number(innerNumber) + "6825_117674";

    QByteArray head = mixedHeader(messageId) + "--" + outerBoundary(messageId) + kCR;
    head += "Content-type: multipart/alternative;\r\tboundary=\"" + inner + "\"\r\r--" + inner + kCR;
    head += html ? "Content-type: text/html;" : "Content-type: text/plain;";
    head += "charset=\"UTF-8\"\rContent-transfer-encoding: 8bit\r\r";
    out.put(head);
    QString content = html ? withUtf8Declaration(body) : body;
    if (!looksLikeHtml(body, false))
        content.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.put(quotedFromLines(content.toUtf8()));
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
    for (int i = 0; i < names.size() - 1 && out.ok(); ++i) {
        const QByteArray name = headerText(names.at(i));
        const QString id = ids.value(i);
        QByteArray head = "--" + outer + kCR;
        head += "Content-type: " + types.value(i).toLatin1() + "; name=\"" + name + "\"\r";
        head += "Content-Description: " + name + kCR;
        head += "Content-Disposition: attachment; filename=\"" + name + "\";\r";
        head += "Content-Transfer-Encoding: base64";
        if (id != QLatin1String("no"))
            head += "\rContent-ID: <" + id.toLatin1() + '>';
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

QStringList mailFolderNames(const MailMLRC &mail)
{
    QString path = utf8Field(mail.FolderPath);
    if (path.isEmpty())
        path = QStringLiteral("Folder1");
    QStringList names;
    for (QString name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        name.remove(QChar(0));
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            name.replace(QLatin1Char('.'), QLatin1Char('_'));
        if (!name.isEmpty())
            names.append(name);
    }
    if (names.isEmpty())
        names.append(QStringLiteral("Folder1"));
    return names;
}

QString mboxRelativePath(const MailMLRC &mail)
{
    const QStringList names = mailFolderNames(mail);
    return names.join(QLatin1Char('/')) + QLatin1Char('/') + names.last() + QLatin1String(".mbox");
}

QByteArray separatorDate(const MailMLRC &mail)
{
    return chosenDate(mail, ruleField(mail, false));
}

QByteArray headerDate(const MailMLRC &mail)
{
    return chosenDate(mail, ruleField(mail, true));
}

bool writeMboxMessage(QIODevice &out, const MailMLRC &mail, const TextReader &olm, int innerNumber,
                      QStringList *problems)
{
    MessageOutput message(out);
    const QByteArray d = separatorDate(mail);
    QByteArray head = "From ???@??? " + d.mid(0, 3) + ' ' + d.mid(8, 3) + ' ' + d.mid(5, 2) + ' ' + d.mid(17, 8)
                      + ' ' + d.mid(12, 4) + ' ' + d.mid(26, 5) + kCR;
    head += "User-Agent: Microsoft-MacOutlook/14.0.0.100825\r";
    const QString subject = utf8Field(mail.Subject);
    if (!subject.isEmpty())
        head += "Subject: =?UTF-8?B?" + subject.toUtf8().toBase64() + "?=\r";
    const QByteArray fromAddress = reducedSender(latin1Field(mail.FromAddress)).toLatin1();
    if (!fromAddress.isEmpty()) {
        const QString fromName = reducedSender(utf8Field(mail.FromName));
        head += "From: " + (fromName.isEmpty() ? fromAddress : headerText(fromName)) + " <" + fromAddress + ">\r";
    }
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
    const QByteArray messageId = fieldBytes(mail.MessageId);
    if (!messageId.isEmpty())
        head += "Message-ID: " + messageId + kCR;
    head += QByteArray("X-MS-Has-Attach: ") + (mail.AttachContentIds ? "yes" : "") + kCR;
    head += "Mime-version: 1.1\r";
    message.put(head);

    const bool withBody = mail.BodySize > 0 && !messageId.isEmpty();
    if (withBody)
        writeBody(message, mail, olm, messageId, innerNumber);
    if (mail.AttachContentIds && mail.AttachContentTypes && mail.AttachNames && mail.AttachUrls
        && mail.AttachOffsets && mail.AttachSizes) {
        if (!withBody)
            message.put(mixedHeader(messageId));
        writeAttachments(message, mail, olm, outerBoundary(messageId), problems);
    }
    return message.finish();
}
