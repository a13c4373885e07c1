#include "archive/MailWriter.h"

#include "archive/BodyStream.h"
#include "archive/MailAttachments.h"
#include "archive/MailEncoders.h"
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

namespace {

const char kCR = '\r';

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

BodyForm bodyForm(const MailMLRC &mail, const TextReader &olm, qint64 blockSize)
{
    TextBlocks blocks(olm, mail.BodyOffset, mail.BodySize, TextBlocks::ZeroBytes::EndText, blockSize);
    FoldedScan entities(kEntityTexts, int(sizeof kEntityTexts / sizeof kEntityTexts[0]));
    // The tag pairs are looked for in the text as it is and as decoded; the two are
    // one scan until decoding first changes something.
    HtmlPairScan asStored, decoded;
    bool decodingChanged = false;
    EntityFilter decoder(EntityRule::MailBody);
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

// The body part's content as the bundle writes it: entities decoded where the body has
// them, CR made LF unless it is HTML as stored, an HTML body's charset declared UTF-8 (it
// goes out in UTF-8), and a line that starts "From " quoted. A body read in one block is
// converted from the text its form kept.
BodyStream bundleBody(const MailMLRC &mail, const TextReader &olm, const BodyForm &form, qint64 blockSize)
{
    BodyStream body = form.oneBlock ? BodyStream::heldText(form.entities ? form.decoded : form.stored)
                                    : BodyStream::fileText(olm, mail.BodyOffset, mail.BodySize,
                                                           TextBlocks::ZeroBytes::EndText, blockSize);
    if (form.entities && !form.oneBlock)
        body.then<EntityFilter>(EntityRule::MailBody);
    if (form.entities || !form.html)
        body.then<LineEndFilter>(LineEndFilter::Mode::EveryCr);
    if (form.htmlWithLinks)
        body.then<Utf8Declarations>();
    body.then<FromQuotingFilter>();
    return body;
}

// The part delimiters of a message: the outer one is the message identifier without
// angle brackets where that makes a boundary the body does not hold, otherwise a
// random one; the inner one carries innerNumber, or a random number while the body
// holds it. Nobody can write a body (or name an attachment in the note) that closes the
// parts. A body that fits in one block is kept in *content, converted once.
Boundaries boundariesFor(const QByteArray &messageId, quint32 innerNumber, const MailMLRC *bodyMail,
                         const QByteArray &note, const TextReader &olm, const BodyForm &form, qint64 blockSize,
                         QByteArray *content, bool *contentWhole)
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
        bool outerFound = note.contains("--" + boundaries.outer), innerFound = false;
        if (bodyMail) {
            TextSearch outer("--" + boundaries.outer), inner("--" + boundaries.inner);
            BodyStream body = bundleBody(*bodyMail, olm, form, blockSize);
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
            outerFound = outerFound || outer.found();
            innerFound = inner.found();
        }
        if (!outerFound && !innerFound)
            return boundaries;
        if (outerFound)
            boundaries.outer = "Mendora_" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        if (innerFound)
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
        out.put(wholeContent);
    } else {
        BodyStream body = bundleBody(mail, olm, form, blockSize);
        QByteArray piece;
        while (out.ok() && body.next(&piece))
            out.put(piece);
    }
    out.put("\r\r--" + inner + "--\r\r");
}

// The note on attachments that could not be recovered (UTF-8, lines ended by CR): a text
// part that mail clients show with the body, right after it.
void writeUnrecoveredNote(MessageOutput &out, const QByteArray &outer, const QByteArray &note)
{
    out.put("--" + outer + kCR);
    out.put("Content-type: text/plain;charset=\"UTF-8\"\rContent-Disposition: inline\r");
    out.put(QByteArray("Content-Description: ") + kUnrecoveredAttachmentsTitle + kCR);
    out.put("Content-transfer-encoding: 8bit\r\r");
    out.put(note);
    out.put("\r");
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
        BodyStream bytes = BodyStream::fileBytes(olm, offsets.value(i).toLongLong(), size, kAttachmentBlock);
        bytes.then<Base64Encoder>();
        QByteArray encoded;
        while (out.ok() && bytes.next(&encoded))
            out.put(encoded);
        if (bytes.bytesRead() != size && out.ok())
            problems->append(QStringLiteral("attachment \"%1\" holds %2 of its %3 bytes: the file ends before it does")
                                 .arg(names.at(i)).arg(bytes.bytesRead()).arg(size));
        out.put("\r\r");
    }
    out.put("--" + outer + "--\r");
}

} // namespace


bool writeMboxMessage(QIODevice &out, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
                      quint32 innerNumber, QStringList *problems, qint64 blockSize)
{
    MessageOutput message(out, MessageOutput::Quoting::None);
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
    // Lines end with CR here; no line of the note starts "From ".
    const QByteArray note = unrecoveredAttachmentsNote(details.unrecoveredAttachments).toUtf8().replace('\n', kCR);
    QByteArray content;
    bool contentWhole = false;
    const Boundaries boundaries = boundariesFor(messageId, innerNumber, withBody ? &mail : nullptr, note, olm, form,
                                                blockSize, &content, &contentWhole);
    if (withBody)
        writeBody(message, mail, olm, form, boundaries, content, contentWhole, blockSize);
    const bool withAttachments = mail.AttachContentIds && mail.AttachContentTypes && mail.AttachNames
                                 && mail.AttachUrls && mail.AttachOffsets && mail.AttachSizes;
    if (!withBody && (withAttachments || !note.isEmpty()))
        message.put(mixedHeader(boundaries.outer));
    if (!note.isEmpty())
        writeUnrecoveredNote(message, boundaries.outer, note);
    if (withAttachments)
        writeAttachments(message, mail, olm, boundaries.outer, problems);
    else if (!note.isEmpty())
        message.put("--" + boundaries.outer + "--\r");
    return message.flush();
}
