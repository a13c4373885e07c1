// Mails as mboxrd messages: RFC 5322 headers, MIME 1.0 bodies, LF line ends.
#include "archive/BodyStream.h"
#include "archive/ContentLines.h"
#include "archive/MailAttachments.h"
#include "archive/MailEncoders.h"
#include "archive/MailHeaders.h"
#include "archive/MessageOutput.h"
#include "archive/TextBlocks.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"
#include "parsers/EntityDecoding.h"
#include "parsers/RecordText.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>

namespace {
// Parameter values longer than this are split into RFC 2231 continuations.
constexpr int kParameterPiece = 60;

// "name <address>", the address on a line of its own where the name leaves it no room.
QByteArray mailbox(const MailAddress &entry, int column)
{
    const QString address = headerSafe(entry.address).trimmed();
    const QString name = headerSafe(entry.name).trimmed();
    const QByteArray bare = addrSpec(address);
    if (name.isEmpty() || name == address)
        return bare;
    const QByteArray display = phrase(name, column, "\n");
    const int lastBreak = display.lastIndexOf('\n');
    const int lastLine = lastBreak < 0 ? column + display.size() : display.size() - lastBreak - 1;
    const bool fits = lastLine + int(qstrlen(" <>")) + bare.size() <= kHeaderLineLength;
    return display + (fits ? " <" : "\n <") + bare + '>';
}

// Addresses one per line, so that no header line grows past what readers take.
QByteArray addressList(const char *header, const QVector<MailAddress> &entries)
{
    QList<QByteArray> mailboxes;
    for (const MailAddress &entry : entries)
        mailboxes.append(mailbox(entry, mailboxes.isEmpty() ? int(qstrlen(header)) : 1));
    return header + mailboxes.join(",\n ");
}

// A record's joined address list, for records read without details.
QVector<MailAddress> recordAddresses(const QString &joined, const QString &joinedNames = QString())
{
    QVector<MailAddress> entries;
    const QStringList names = joinedListValues(joinedNames);
    const QStringList addresses = joinedListValues(joined);
    for (int i = 0; i < addresses.size(); ++i)
        if (!addresses.at(i).trimmed().isEmpty())
            entries.append({addresses.at(i), names.value(i)});
    return entries;
}

// One side of a message identifier as a dot-atom: every byte that cannot stand in
// one percent-encoded, and so are dots that would stand first, last or doubled.
QByteArray identifierPart(const QString &text)
{
    static const QByteArray kAtext("!#$%&'*+-/=?^_`{|}~");
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    for (int i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes.at(i));
        const bool dot = c == '.' && i > 0 && i + 1 < bytes.size() && !out.endsWith('.');
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || dot
            || (c != '%' && kAtext.contains(char(c))))
            out += char(c);
        else
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

// asctime form of the message date in UTC, as mbox separator lines carry it.
QByteArray separatorTime(const QByteArray &date)
{
    QDateTime moment = QDateTime::fromString(QString::fromLatin1(date), Qt::RFC2822Date);
    if (!moment.isValid())
        moment = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC);
    moment = moment.toUTC();
    const QLocale c = QLocale::c();
    return c.toString(moment, QStringLiteral("ddd MMM ")).toLatin1()
           + QByteArray::number(moment.date().day()).rightJustified(2, ' ') + ' '
           + c.toString(moment, QStringLiteral("hh:mm:ss yyyy")).toLatin1();
}

QByteArray separatorAddress(const QVector<MailAddress> &from)
{
    const QString address = from.isEmpty() ? QString() : from.first().address.trimmed();
    if (address.isEmpty() || !isPlainAddress(address))
        return "MAILER-DAEMON";
    return address.toUtf8();
}

QByteArray boundaryOf(const MailMLRC &mail, const QByteArray &messageId)
{
    // "=_" cannot occur in quoted-printable or Base64 text, so no part can hold the boundary.
    const QByteArray seed = messageId + QByteArray::number(mail.BodyOffset);
    return "=_mendora_" + QCryptographicHash::hash(seed, QCryptographicHash::Md5).toHex().left(24);
}

// RFC 2231: the UTF-8 bytes with everything but attribute characters percent-encoded.
QByteArray percentEncoded(const QString &value)
{
    static const QByteArray kept("!#$&+-.^_`|~");
    QByteArray out;
    for (const char byte : value.toUtf8()) {
        const uchar c = uchar(byte);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || kept.contains(byte))
            out += byte;
        else
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

// A parameter of a Content-Type or Content-Disposition line, on lines of its own.
QByteArray parameter(const char *name, const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[\\x20-\\x7E]*$"));
    if (plain.match(value).hasMatch() && value.size() <= kParameterPiece) {
        QByteArray quoted = value.toLatin1();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        return ";\n " + QByteArray(name) + "=\"" + quoted + '"';
    }
    const QByteArray encoded = "UTF-8''" + percentEncoded(value);
    if (encoded.size() <= kParameterPiece)
        return ";\n " + QByteArray(name) + "*=" + encoded;
    // Continuations; readers decode each piece on its own, so no character is split.
    QList<QByteArray> pieces{"UTF-8''"};
    for (int i = 0; i < value.size(); ++i) {
        const int length = value.at(i).isHighSurrogate() && i + 1 < value.size() ? 2 : 1;
        const QByteArray character = percentEncoded(value.mid(i, length));
        if (pieces.last().size() + character.size() > kParameterPiece)
            pieces.append(QByteArray());
        pieces.last() += character;
        i += length - 1;
    }
    QByteArray out;
    for (int piece = 0; piece < pieces.size(); ++piece)
        out += ";\n " + QByteArray(name) + '*' + QByteArray::number(piece) + "*=" + pieces.at(piece);
    return out;
}

QByteArray contentTypeOf(const QString &stored)
{
    static const QRegularExpression type(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+$"));
    const QString trimmed = stored.trimmed();
    return type.match(trimmed).hasMatch() ? trimmed.toLatin1() : QByteArray("application/octet-stream");
}

// A body kept in the file as the message carries it, block by block: zero bytes
// dropped, entities and character references decoded once, line ends LF.
BodyStream bodyText(const TextReader &olm, qint64 offset, qint64 size, qint64 blockSize)
{
    BodyStream text = BodyStream::fileText(olm, offset, size, TextBlocks::ZeroBytes::Dropped, blockSize);
    text.then<EntityFilter>(EntityRule::Xml).then<LineEndFilter>(LineEndFilter::Mode::CrLfPairs);
    return text;
}

// True when the UTF-8 text is all white space, as QString::trimmed() judges it.
bool allSpace(const QByteArray &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const uchar byte = uchar(text.at(i));
        if (byte >= 0x80) {
            const QString rest = QString::fromUtf8(text.constData() + i, text.size() - i);
            return std::all_of(rest.begin(), rest.end(), [](QChar c) { return c.isSpace(); });
        }
        if (byte != ' ' && (byte < '\t' || byte > '\r'))
            return false;
    }
    return true;
}

// What a body is, read once before it is written: HTML (markup, where asked) and empty
// but for white space; and its text where it fits in one block, so that it is not
// read and converted again.
struct BodyLook {
    bool markup = false;
    bool blank = true;
    bool whole = false;
    QByteArray text;
};

BodyLook lookAt(const TextReader &olm, qint64 offset, qint64 size, bool markupWanted, qint64 blockSize)
{
    BodyStream text = bodyText(olm, offset, size, blockSize);
    MarkupScan markup;
    BodyLook look;
    QByteArray piece;
    int pieces = 0;
    look.whole = true;
    while (text.next(&piece)) {
        if (++pieces == 1) {
            look.text = piece;
        } else {
            look.text.clear();
            look.whole = false;
        }
        if (markupWanted)
            markup.add(piece.constData(), piece.size());
        look.blank = look.blank && allSpace(piece);
        if (pieces > 1 && !look.blank && (!markupWanted || markup.holdsMarkup()))
            break;
    }
    look.markup = markup.holdsMarkup();
    return look;
}

// A text part in quoted-printable, converted block by block and written in whole lines.
void writeTextPart(MessageOutput &message, const char *subtype, const TextReader &olm, qint64 offset, qint64 size,
                   const BodyLook &look, qint64 blockSize)
{
    const bool html = qstrcmp(subtype, "html") == 0;
    message.line(QByteArray("Content-Type: text/") + subtype + "; charset=utf-8");
    message.line("Content-Transfer-Encoding: quoted-printable");
    message.line(QByteArray());
    BodyStream text = look.whole ? BodyStream::heldText(look.text) : bodyText(olm, offset, size, blockSize);
    if (html)
        text.then<Utf8Declarations>();
    // The encoder leaves no line that could pass for a separator: nothing to quote.
    text.then<QuotedPrintableEncoder>();
    QByteArray encoded;
    bool lineOpen = false; // the text so far ends inside a line
    while (message.ok() && text.next(&encoded)) {
        message.put(encoded);
        lineOpen = !encoded.endsWith('\n');
    }
    if (lineOpen)
        message.put("\n");
}

// The body: HTML as text/html, text as text/plain, and a plain body with the HTML one
// the export keeps beside it as the two alternatives.
void writeBody(MessageOutput &message, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
               const QByteArray &boundary, qint64 blockSize)
{
    const BodyLook body = lookAt(olm, mail.BodyOffset, mail.BodySize, true, blockSize);
    if (body.markup) {
        writeTextPart(message, "html", olm, mail.BodyOffset, mail.BodySize, body, blockSize);
        return;
    }
    const BodyLook html = lookAt(olm, details.htmlBody.offset, details.htmlBody.size, false, blockSize);
    if (html.blank) {
        writeTextPart(message, "plain", olm, mail.BodyOffset, mail.BodySize, body, blockSize);
        return;
    }
    if (body.blank) {
        writeTextPart(message, "html", olm, details.htmlBody.offset, details.htmlBody.size, html, blockSize);
        return;
    }
    const QByteArray alternative = boundary + "_alt";
    message.lines("Content-Type: multipart/alternative;\n boundary=\"" + alternative + '"');
    message.line(QByteArray());
    message.line("--" + alternative);
    writeTextPart(message, "plain", olm, mail.BodyOffset, mail.BodySize, body, blockSize);
    message.line("--" + alternative);
    writeTextPart(message, "html", olm, details.htmlBody.offset, details.htmlBody.size, html, blockSize);
    message.line("--" + alternative + "--");
}

// The note on attachments that could not be recovered: a text part that mail clients
// show with the body, right after it.
void writeUnrecoveredNote(MessageOutput &message, const QString &note)
{
    message.line("Content-Type: text/plain; charset=utf-8");
    message.line("Content-Disposition: inline");
    message.line(QByteArray("Content-Description: ") + kUnrecoveredAttachmentsTitle);
    message.line("Content-Transfer-Encoding: quoted-printable");
    message.line(QByteArray());
    // The encoder leaves no line that could pass for a separator: nothing to quote.
    message.put(quotedPrintable(note.toUtf8()));
}

// One attachment part, its bytes read and encoded block by block.
void writeAttachment(MessageOutput &message, const QString &storedName, const QString &type,
                     const QString &contentId, qint64 offset, qint64 size, const TextReader &olm, QStringList *problems)
{
    // A line break in a file name would reach whatever saves the attachment under it.
    const QString name = headerSafe(storedName);
    QByteArray header = "Content-Type: " + contentTypeOf(type);
    if (!name.isEmpty())
        header += parameter("name", name);
    message.lines(header);
    QByteArray disposition = "Content-Disposition: attachment";
    if (!name.isEmpty())
        disposition += parameter("filename", name);
    message.lines(disposition);
    message.line("Content-Transfer-Encoding: base64");
    const QString id = contentId.trimmed();
    if (!id.isEmpty() && id != QLatin1String("no")) {
        QString bare = id;
        static const QRegularExpression notInIdentifier(QStringLiteral("[\\x00-\\x20<>\\x7F]"));
        bare.remove(notInIdentifier);
        message.line("Content-ID: <" + bare.toLatin1() + '>');
    }
    message.line(QByteArray());
    BodyStream bytes = BodyStream::fileBytes(olm, offset, size, kAttachmentBlock);
    bytes.then<Base64Encoder>(kBase64LineLength);
    QByteArray encoded;
    while (message.ok() && bytes.next(&encoded))
        message.put(encoded);
    if (bytes.bytesRead() < size && message.ok() && problems)
        problems->append(QStringLiteral("attachment \"%1\" ends after %2 of %3 bytes").arg(name).arg(bytes.bytesRead()).arg(size));
}

// What a mail without an identifier of its own is: from the scan, or else from its record.
QByteArray mailIdentity(const MailMLRC &mail, const MailDetails &details, const TextReader &olm)
{
    if (!details.place.isEmpty())
        return itemIdentity(details.place, olm);
    return utf8Field(mail.Subject).toUtf8() + '\0' + latin1Field(mail.SentTime).toLatin1() + '\0'
           + latin1Field(mail.ReceivedTime).toLatin1() + '\0' + utf8Field(mail.FolderPath).toUtf8() + '\0'
           + QByteArray::number(mail.BodyOffset) + '\0' + QByteArray::number(mail.BodySize);
}

QVector<MailAddress> sendersOf(const MailMLRC &mail, const MailDetails &details)
{
    return details.from.isEmpty() ? recordAddresses(latin1Field(mail.FromAddress), utf8Field(mail.FromName))
                                  : details.from;
}

// The categories as a Keywords field, one phrase a line; empty when there are none.
QByteArray keywordsHeader(const QStringList &categories)
{
    QList<QByteArray> phrases;
    for (const QString &category : categories) {
        const QString name = headerSafe(category).trimmed();
        if (!name.isEmpty())
            phrases.append(phrase(name, phrases.isEmpty() ? int(qstrlen("Keywords: ")) : 1, "\n"));
    }
    return phrases.isEmpty() ? QByteArray() : "Keywords: " + phrases.join(",\n ");
}

} // namespace

MailParties mailParties(const MailMLRC &mail, const MailDetails &details)
{
    return {sendersOf(mail, details),
            details.to.isEmpty() ? recordAddresses(latin1Field(mail.ToAddresses)) : details.to,
            details.cc.isEmpty() ? recordAddresses(latin1Field(mail.CcAddresses)) : details.cc};
}

namespace {
// The message itself: header, body and attachments, lines ended by LF.
void writeMessage(MessageOutput &message, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
                  QStringList *problems, qint64 blockSize)
{
    const MailParties parties = mailParties(mail, details);
    if (!parties.from.isEmpty())
        message.lines(addressList("From: ", parties.from));
    if (!parties.to.isEmpty())
        message.lines(addressList("To: ", parties.to));
    if (!parties.cc.isEmpty())
        message.lines(addressList("Cc: ", parties.cc));
    // A subject too long for the record's field comes whole from the item.
    const QString subject = headerSafe(mail.Subject[0] ? utf8Field(mail.Subject) : details.subject);
    if (!subject.isEmpty())
        message.lines("Subject: " + subjectValue(subject, int(qstrlen("Subject: ")), "\n"));
    message.line("Date: " + headerDate(mail));
    const QByteArray messageId = standardMessageId(mail, details, olm);
    if (!messageId.isEmpty())
        message.line("Message-ID: " + messageId);
    if (details.priority != 0 && details.priority != kNormalPriority) {
        static const char *const kPriorityWords[] = {"Highest", "High", "Normal", "Low", "Lowest"};
        message.line("X-Priority: " + QByteArray::number(details.priority) + " (" + kPriorityWords[details.priority - 1]
                     + ')');
        message.line(details.priority < kNormalPriority ? "Importance: high" : "Importance: low");
    }
    const QByteArray keywords = keywordsHeader(details.categories);
    if (!keywords.isEmpty())
        message.lines(keywords);
    message.line("MIME-Version: 1.0");

    const QStringList names = joinedListValues(ownedText(mail.AttachNames, FieldEncoding::Utf8));
    const QStringList types = joinedListValues(ownedText(mail.AttachContentTypes, FieldEncoding::Latin1));
    const QStringList ids = joinedListValues(ownedText(mail.AttachContentIds, FieldEncoding::Latin1));
    const QStringList offsets = joinedListValues(ownedText(mail.AttachOffsets, FieldEncoding::Latin1));
    const QStringList sizes = joinedListValues(ownedText(mail.AttachSizes, FieldEncoding::Latin1));
    const QByteArray boundary = boundaryOf(mail, messageId);
    const QString unrecovered = unrecoveredAttachmentsNote(details.unrecoveredAttachments);
    if (offsets.isEmpty() && unrecovered.isEmpty()) {
        writeBody(message, mail, details, olm, boundary, blockSize);
    } else {
        message.lines("Content-Type: multipart/mixed;\n boundary=\"" + boundary + '"');
        message.line(QByteArray());
        message.line("--" + boundary);
        writeBody(message, mail, details, olm, boundary, blockSize);
        if (!unrecovered.isEmpty()) {
            message.line("--" + boundary);
            writeUnrecoveredNote(message, unrecovered);
        }
        for (int i = 0; i < offsets.size(); ++i) {
            message.line("--" + boundary);
            writeAttachment(message, names.value(i), types.value(i), ids.value(i), offsets.at(i).toLongLong(),
                            sizes.value(i).toLongLong(), olm, problems);
        }
        message.line("--" + boundary + "--");
    }
}
} // namespace

// <left@right>, as readers take it: what an identifier holds beyond that is percent-encoded.
QByteArray standardMessageId(const MailMLRC &mail, const MailDetails &details, const TextReader &olm)
{
    // Identifiers from the export are stored in brackets; the scan's own are random,
    // and a second save (or upload) must give the same message the same identifier.
    const auto madeFromContent = [&] {
        return '<' + stableItemUuid("mail", mailIdentity(mail, details, olm)).toString(QUuid::WithoutBraces).toLatin1()
               + "@mendora.invalid>";
    };
    if (mail.MessageId[0] != '<')
        return madeFromContent();
    QString id = latin1Field(mail.MessageId).trimmed();
    if (id.startsWith(QLatin1Char('<')))
        id.remove(0, 1);
    if (id.endsWith(QLatin1Char('>')))
        id.chop(1);
    static const QRegularExpression spacesAndControls(QStringLiteral("[\\x00-\\x20\\x7F]"));
    id.remove(spacesAndControls);
    if (id.isEmpty()) // "<>", "< >": nothing that tells one mail from another
        return madeFromContent();
    const int at = id.lastIndexOf(QLatin1Char('@'));
    // Identifiers made by the scan have no domain; readers want one.
    const QString right = at < 0 ? QStringLiteral("mendora.invalid") : id.mid(at + 1);
    const QString left = at < 0 ? id : id.left(at);
    if (left.isEmpty() || right.isEmpty())
        return '<' + identifierPart(id) + "@mendora.invalid>";
    return '<' + identifierPart(left) + '@' + identifierPart(right) + '>';
}

QByteArray appleNoteMessage(const NotesInformation &note, const TextReader &olm)
{
    const QByteArray uuid = noteUuid(note).toString(QUuid::WithoutBraces).toUpper().toLatin1();
    const QDateTime modified = compactStampUtc(latin1Field(note.ModStampUtc).toLatin1());
    const QString title = headerSafe(utf8Field(note.Title)).trimmed();
    QString html = QStringLiteral("<html><head></head><body>");
    const QString text = note.NotesSize > 0 || note.PlainTextSize > 0 ? noteText(note, olm) : QString();
    for (const QString &line : text.split(QLatin1Char('\n')))
        html += QStringLiteral("<div>") + (line.isEmpty() ? QStringLiteral("<br>") : line.toHtmlEscaped())
                + QStringLiteral("</div>");
    html += QStringLiteral("</body></html>");
    QByteArray message;
    if (!title.isEmpty())
        message += "Subject: " + subjectValue(title, int(qstrlen("Subject: ")), "\n") + '\n';
    const QByteArray date = (modified.isValid() ? modified : QDateTime::fromSecsSinceEpoch(0, Qt::UTC))
                                .toString(Qt::RFC2822Date).toLatin1();
    message += "Date: " + date + "\nX-Mail-Created-Date: " + date + '\n';
    message += "X-Uniform-Type-Identifier: com.apple.mail-note\nX-Universally-Unique-Identifier: " + uuid + '\n';
    message += "Message-ID: <" + uuid + "@mendora.invalid>\nMIME-Version: 1.0\n";
    message += "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n";
    return message + quotedPrintable(html.toUtf8()) + '\n';
}

QByteArray modifiedUtf7(const QString &text)
{
    QByteArray encoded;
    for (int i = 0; i < text.size();) {
        const ushort c = text.at(i).unicode();
        if (c >= 0x20 && c < 0x7F) {
            encoded += c == '&' ? QByteArray("&-") : QByteArray(1, char(c));
            ++i;
            continue;
        }
        QByteArray utf16;
        for (; i < text.size() && (text.at(i).unicode() < 0x20 || text.at(i).unicode() >= 0x7F); ++i)
            utf16 += char(text.at(i).unicode() >> 8) + QByteArray(1, char(text.at(i).unicode() & 0xFF));
        encoded += '&' + utf16.toBase64(QByteArray::OmitTrailingEquals).replace('/', ',') + '-';
    }
    return encoded;
}

QList<QByteArray> imapKeywords(const QStringList &categories)
{
    QList<QByteArray> keywords;
    for (const QString &category : categories) {
        const QString name = headerSafe(category).trimmed();
        if (name.isEmpty())
            continue;
        // Modified UTF-7 keeps every character, then whatever may not stand in an atom becomes "_".
        QByteArray keyword = modifiedUtf7(name);
        static const QByteArray kAtomSpecials(" (){%*\"\\]");
        for (char &byte : keyword)
            if (kAtomSpecials.contains(byte))
                byte = '_';
        // "$" begins the keywords clients give a meaning of their own ($Junk, $Forwarded).
        if (keyword.startsWith('$'))
            keyword[0] = '_';
        if (!keywords.contains(keyword))
            keywords.append(keyword);
    }
    return keywords;
}

// The marks as mutt and Dovecot keep them in an mbox: read (R, with O for seen before) and flagged (F).
static void writeMarks(MessageOutput &message, const MailDetails &details)
{
    message.line(details.read ? "Status: RO" : "Status: O");
    if (details.flagged)
        message.line("X-Status: F");
}

bool writeStandardMessage(QIODevice &out, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
                          QStringList *problems, qint64 blockSize)
{
    MessageOutput message(out, MessageOutput::Quoting::Mboxrd);
    message.put("From " + separatorAddress(sendersOf(mail, details)) + ' ' + separatorTime(separatorDate(mail)) + '\n');
    writeMarks(message, details);
    writeMessage(message, mail, details, olm, problems, blockSize);
    // An empty line ends the message before the next separator.
    message.put("\n");
    return message.flush();
}

bool writeStandardMessageFile(QIODevice &out, const MailMLRC &mail, const MailDetails &details,
                              const TextReader &olm, QStringList *problems)
{
    MessageOutput message(out, MessageOutput::Quoting::None);
    writeMarks(message, details);
    writeMessage(message, mail, details, olm, problems, TextBlocks::kBlockSize);
    return message.flush();
}

bool writeStandardMessageAlone(QIODevice &out, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
                               QStringList *problems)
{
    MessageOutput message(out, MessageOutput::Quoting::None);
    writeMessage(message, mail, details, olm, problems, TextBlocks::kBlockSize);
    return message.flush();
}
