#include "olm/ByteSearch.h"
#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "olm/ScanState.h"
#include "parsers/ElementText.h"
#include "parsers/ExportFacts.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemReaders.h"
#include "parsers/ItemDetails.h"
#include "parsers/ItemLosses.h"
#include "parsers/AttachmentPlacement.h"
#include "parsers/RecordLists.h"
#include "parsers/TimeConverter.h"

#include <QSet>
#include <QStringMatcher>

#include <algorithm>
#include <cstdlib>
#include <cstring>

QString tmpstrOrigPath;
QString tmpdoffset_NoteText;
QString tmpdsizeofattch;

namespace {

// What the attachment lists hold, counted as their characters.
qint64 attachmentListsMemory()
{
    return 2 * qint64(tmpstrOrigPath.size() + tmpdoffset_NoteText.size() + tmpdsizeofattch.size());
}

void releaseAttachmentLists()
{
    releaseSideMemory(attachmentListsMemory());
    tmpstrOrigPath.clear();
    tmpdoffset_NoteText.clear();
    tmpdsizeofattch.clear();
}

// Exports write the flag in float notation ("0E0", "1E0"): a text that reads as a
// number is that number, whatever its length. Other text of three or more
// characters stands for the marker, shorter text for its integer value.
qint32 outgoingFlag(const QString &text)
{
    double number = 0;
    // A double outside qint32 has no qint32 value.
    if (floatNotationValue(text, -2147483648.0, 2147483647.0, &number))
        return qint32(number);
    return text.size() >= 3 ? kOutgoingMarker : text.toInt(nullptr, 10);
}
const QLatin1String kContentIdAttribute("OPFAttachmentContentID=");
const QLatin1String kContentTypeAttribute("OPFAttachmentContentType=");
const QLatin1String kAttachmentNameAttribute("OPFAttachmentName=");
const QLatin1String kAttachmentSizeAttribute("OPFAttachmentContentFileSize=");
const QLatin1String kUrlAttribute("OPFAttachmentURL=");
const QLatin1String kRecipientsMark("CN=RECIPIENTS_CN=");
// Matchers built once: every mail's attachment entries are searched for these names.
const QStringMatcher kContentIdAttributeMatcher(kContentIdAttribute);
const QStringMatcher kContentTypeAttributeMatcher(kContentTypeAttribute);
const QStringMatcher kAttachmentNameAttributeMatcher(kAttachmentNameAttribute);
const QStringMatcher kUrlAttributeMatcher(kUrlAttribute);

// The value of the attribute whose name (with its "=") starts at `at`: from one
// character past the "=" (the opening quote) to two characters before `next`,
// the attribute after it (closing quote and space). Out-of-place attributes are
// bad input: a missing attribute has no value, and where the following one is
// missing or stands before it, the value ends at its own closing quote.
template <typename Text>
Text attributeValue(const Text &entry, int at, int nameLength, int next)
{
    if (at < 0)
        return Text();
    const int start = at + nameLength + 1;
    if (next > at)
        return midOrEmpty(entry, start, next - start - 2);
    const int quote = entry.indexOf('"', start);
    return midOrEmpty(entry, start, quote < 0 ? -1 : quote - start);
}

// Every piece of a list element's text before an entry end tag, as text.
QStringList listEntries(const QByteArray &list, const char *entryEndTag)
{
    QStringList entries;
    const size_t tagLength = strlen(entryEndTag);
    const char *const end = list.constData() + list.size();
    for (const char *from = list.constData();;) {
        const char *tag = findTag(from, end, entryEndTag, tagLength);
        if (!tag)
            return entries;
        entries.append(utf8Text(from, int(tag - from)));
        from = tag + tagLength;
    }
}

// The address lists are joined as text, or, where every entry is plain, as the
// bytes that text would encode to in either encoding of their fields.
template <typename Text> Text entryText(const AddressEntry &entry);
template <>
QString entryText<QString>(const AddressEntry &entry)
{
    return entry.plain ? QString::fromLatin1(entry.bytes.data, entry.bytes.size) : entry.text;
}
template <>
QByteArray entryText<QByteArray>(const AddressEntry &entry)
{
    return QByteArray::fromRawData(entry.bytes.data, entry.bytes.size);
}

void removeEvery(QString &text, const char *what) { text.remove(QLatin1String(what)); }
void removeEvery(QByteArray &text, const char *what) { text.replace(what, ""); }
int indexIn(const QString &text, const char *what) { return text.indexOf(QLatin1String(what)); }
int indexIn(const QByteArray &text, const char *what) { return text.indexOf(what); }
QString recordDecoded(const QString &text) { return DecodeEntities(text); }
QByteArray recordDecoded(const QByteArray &text) { return decodeEntities(text, EntityRule::RecordFields); }
qint64 utf8Size(const QString &text) { return text.toUtf8().size(); }
qint64 utf8Size(const QByteArray &text) { return text.size(); }
template <int Width>
void store(char (&field)[Width], const QString &text, FieldEncoding encoding)
{
    CopyToField(field, text, encoding);
}
template <int Width>
void store(char (&field)[Width], const QByteArray &text, FieldEncoding)
{
    CopyBytesToField(field, text);
}

template <typename Text>
Text address(const AddressEntry &entry, const Text &text)
{
    return attributeValue(text, entry.a, kAddressAttribute.size(), entry.n);
}
template <typename Text>
Text addressBeforeType(const AddressEntry &entry, const Text &text)
{
    return attributeValue(text, entry.a, kAddressAttribute.size(), entry.t);
}

// Entries without a name: the address length is measured as if the address
// attribute stood where it does in a regular entry. Where that cut would leave
// the entry, the address ends at its closing quote instead.
template <typename Text>
Text addressAtRegularPlace(const AddressEntry &entry, const Text &text)
{
    const int start = entry.a + kAddressAttribute.size() + 1;
    const int length = entry.t - (kRegularAddressAt + kAddressAttribute.size() + 1) - 2;
    if (entry.t >= 0 && length >= 0 && start + length <= text.size())
        return text.mid(start, length);
    return addressBeforeType(entry, text);
}

template <typename Text>
Text toAddresses(const QVector<AddressEntry> &entries)
{
    static const char kRecipientsMark[] = "CN=RECIPIENTS_CN=";
    Text joined;
    for (const AddressEntry &entry : entries) {
        const Text text = entryText<Text>(entry);
        Text address;
        if (entry.n >= 0) {
            address = ::address(entry, text);
            const int mark = indexIn(address, kRecipientsMark);
            if (mark >= 0) {
                address = address.mid(mark + int(sizeof kRecipientsMark) - 1);
                removeEvery(address, "+2E");
            }
        } else {
            address = recordDecoded(addressAtRegularPlace(entry, text));
        }
        joined += address;
        joined += ';';
    }
    return joined;
}

// The copy lists: addresses as they stand.
template <typename Text>
Text copyAddresses(const QVector<AddressEntry> &entries)
{
    Text joined;
    for (const AddressEntry &entry : entries) {
        const Text text = entryText<Text>(entry);
        joined += entry.n >= 0 ? address(entry, text) : addressAtRegularPlace(entry, text);
        joined += ';';
    }
    return joined;
}

template <typename Text>
void storeTo(MailMLRC *mail, const QVector<AddressEntry> &entries)
{
    store(mail->ToAddresses, toAddresses<Text>(entries), FieldEncoding::Latin1);
}

template <typename Text>
void storeCc(MailMLRC *mail, const QVector<AddressEntry> &entries)
{
    store(mail->CcAddresses, copyAddresses<Text>(entries), FieldEncoding::Latin1);
}

template <typename Text>
void storeBcc(MailMLRC *mail, const QVector<AddressEntry> &entries)
{
    const Text joined = copyAddresses<Text>(entries);
    if (joined.size() < int(sizeof mail->BccAddresses))
        store(mail->BccAddresses, recordDecoded(joined), FieldEncoding::Utf8);
    else
        noteValueTooLong(joined.size(), int(sizeof mail->BccAddresses));
}

// A field holding a value `times` over. A repetition too long for the field leaves it
// empty like any too long value, without being built: a long list could otherwise ask
// for the square of its size.
template <int Width, typename Text>
void copyRepeated(char (&field)[Width], const Text &value, int times, FieldEncoding encoding)
{
    const qint64 bytes = encoding == FieldEncoding::Utf8 ? utf8Size(value) : value.size();
    if (bytes * times >= Width) {
        noteValueTooLong(bytes * times, Width);
        return;
    }
    store(field, value.repeated(times), encoding);
}

// The sender list repeats the values of its last entry once per entry.
template <typename Text>
void storeFrom(MailMLRC *mail, const AddressEntry &last, int entries)
{
    const Text text = entryText<Text>(last);
    Text address, name;
    if (last.n >= 0) {
        address = ::address(last, text);
        name = attributeValue(text, last.n, kNameAttribute.size(), last.t);
        removeEvery(name, ",");
        name += ';';
    } else {
        address = addressBeforeType(last, text);
        removeEvery(address, ",");
    }
    address += ';';
    // Names are kept in UTF-8: Latin-1 would turn every Korean or Greek sender into question marks.
    copyRepeated(mail->FromName, name, entries, FieldEncoding::Utf8);
    copyRepeated(mail->FromAddress, address, entries, FieldEncoding::Latin1);
}

void storeFrom(MailMLRC *mail, const QVector<AddressEntry> &entries)
{
    if (entries.isEmpty())
        return;
    if (entries.last().plain)
        storeFrom<QByteArray>(mail, entries.last(), entries.size());
    else
        storeFrom<QString>(mail, entries.last(), entries.size());
}

// Readers split the joined lists at ";", so one value must not hold one: a
// name keeps a look-alike, a content type drops its parameters (the writer adds
// its own), a content identifier a comma. Without this, the whole list of the
// mail would be refused and its attachments lost.
QString nameWithoutSeparator(QString name) { return name.replace(QLatin1Char(';'), QChar(0xFF1B)); }
QString typeWithoutSeparator(const QString &type) { return type.section(QLatin1Char(';'), 0, 0).trimmed(); }
QString identifierWithoutSeparator(QString identifier) { return identifier.replace(QLatin1Char(';'), QLatin1Char(',')); }

// Byte counts beyond this are no count: a double holds whole numbers exactly up to it.
constexpr qint64 kLargestListedSize = qint64(1) << 53;
const QLatin1String kFileSizeAttribute("OPFAttachmentContentFileSize=");
const QStringMatcher kFileSizeAttributeMatcher(kFileSizeAttribute);

QVector<ListedAttachment> readAttachmentList(const QByteArray &list)
{
    QVector<ListedAttachment> listed;
    const QStringList entries = listEntries(list, "</messageAttachment>");
    for (int k = 0; k < entries.size(); ++k) {
        const QString &entry = entries.at(k);
        // Names and URLs are decoded as a whole after every entry, so the value of
        // entry k of n goes through n - k + 1 decodings. Decoding each value that often
        // gives the same text, except that an entity can no longer swallow a separator.
        const int decodings = int(entries.size()) - k;
        const int i = kContentIdAttributeMatcher.indexIn(entry);
        const int y = kContentTypeAttributeMatcher.indexIn(entry);
        const int m = kAttachmentNameAttributeMatcher.indexIn(entry);
        const int u = kUrlAttributeMatcher.indexIn(entry);
        const int f = kFileSizeAttributeMatcher.indexIn(entry);
        ListedAttachment attachment;
        attachment.contentId = i < 0 ? QStringLiteral("no")
                                     : identifierWithoutSeparator(attributeValue(entry, i, kContentIdAttribute.size(), y));
        attachment.contentType = typeWithoutSeparator(attributeValue(entry, y, kContentTypeAttribute.size(), m));
        attachment.name = nameWithoutSeparator(decodeEntities(attributeValue(entry, m, kAttachmentNameAttribute.size(), u),
                                                             EntityRule::RecordFieldsAndGt, decodings));
        attachment.url = decodeEntities(attributeValue(entry, u, kUrlAttribute.size(), entry.size()).remove(QLatin1Char('"')),
                                        EntityRule::RecordFieldsAndGt, decodings);
        // Its value ends at its own closing quote: the attribute after it varies.
        attachment.size = attachmentSizeFrom(attributeValue(entry, f, kFileSizeAttribute.size(), -1), kLargestListedSize);
        listed.append(attachment);
    }
    return listed;
}

// The entries collected since the last mail with an attachment list.
QVector<AttachmentEntry> registeredAttachments()
{
    const QStringList paths = tmpstrOrigPath.split(QLatin1Char(';'));
    const QStringList offsets = tmpdoffset_NoteText.split(QLatin1Char(';'));
    const QStringList sizes = tmpdsizeofattch.split(QLatin1Char(';'));
    QVector<AttachmentEntry> registered;
    // Every value ends with ";": the piece after the last one is empty.
    for (int k = 0; k + 1 < paths.size() && k + 1 < offsets.size() && k + 1 < sizes.size(); ++k)
        registered.append({paths.at(k), offsets.at(k).toLongLong(), sizes.at(k).toLongLong()});
    return registered;
}

// Null when record memory is full.
char *ownedCopy(const QByteArray &bytes)
{
    auto *copy = static_cast<char *>(allocateRecordMemory(size_t(bytes.size()) + 1));
    if (copy)
        memcpy(copy, bytes.constData(), size_t(bytes.size()));
    return copy;
}

// Where the collected entries name exactly the list (or end with it: entries before
// those are files that are no attachment of this mail), each attachment's place.
QVector<PlacedAttachment> placedByCollectedEntries(const QVector<ListedAttachment> &listed,
                                                   const QVector<AttachmentEntry> &registered)
{
    const int stray = registered.size() - listed.size();
    if (listed.isEmpty() || stray < 0)
        return {};
    QVector<PlacedAttachment> placed;
    for (int k = 0; k < listed.size(); ++k) {
        const AttachmentEntry &entry = registered.at(stray + k);
        if (entry.entryName != listed.at(k).url)
            return {};
        placed.append({entry.offset, entry.size, false, QString()});
    }
    return placed;
}

// The six lists of a mail's attachments, each value followed by ";".
struct AttachmentLists {
    QString contentIds, contentTypes, names, urls, offsets, sizes;
};

// Stores the lists; they are read together: all of them or none.
void storeAttachmentLists(MailMLRC *mail, const AttachmentLists &lists)
{
    if (lists.urls.isEmpty())
        return;
    char *owned[] = {ownedCopy(lists.contentIds.toLatin1()), ownedCopy(lists.contentTypes.toLatin1()),
                     ownedCopy(lists.names.toUtf8()),        ownedCopy(lists.urls.toLatin1()),
                     ownedCopy(lists.offsets.toLatin1()),    ownedCopy(lists.sizes.toLatin1())};
    if (std::find(std::begin(owned), std::end(owned), nullptr) != std::end(owned)) {
        for (char *list : owned)
            free(list);
        return; // record memory is full: the scan says so as a whole
    }
    mail->AttachContentIds = owned[0];
    mail->AttachContentTypes = owned[1];
    mail->AttachNames = owned[2];
    mail->AttachUrls = owned[3];
    mail->AttachOffsets = owned[4];
    mail->AttachSizes = owned[5];
}

// The listed values of the attachments that were found (all when placed is empty), in list order.
AttachmentLists listedValues(const QVector<ListedAttachment> &listed, const QVector<PlacedAttachment> &placed)
{
    AttachmentLists lists;
    for (int k = 0; k < listed.size(); ++k) {
        if (!placed.isEmpty() && placed.at(k).offset < 0)
            continue;
        const ListedAttachment &attachment = listed.at(k);
        lists.contentIds += attachment.contentId + QLatin1Char(';');
        lists.contentTypes += attachment.contentType + QLatin1Char(';');
        lists.names += attachment.name + QLatin1Char(';');
        lists.urls += attachment.url + QLatin1Char(';');
        if (!placed.isEmpty()) {
            lists.offsets += QString::number(placed.at(k).offset) + QLatin1Char(';');
            lists.sizes += QString::number(placed.at(k).size) + QLatin1Char(';');
        }
    }
    return lists;
}

// Every attachment the list names that was not found, and every one found only by
// what the mail says of it, for the account.
void accountForAttachments(const QVector<ListedAttachment> &listed, const QVector<PlacedAttachment> &placed)
{
    QString mail; // named when an entry needs it
    bool named = false;
    for (int k = 0; k < listed.size(); ++k) {
        const PlacedAttachment &place = placed.at(k);
        if (place.offset >= 0 && !place.inferred)
            continue;
        if (!named) {
            mail = lossItemName(DocumentKind::Mail, lossContextItemBytes());
            named = true;
        }
        Loss loss;
        loss.kind = QStringLiteral("attachment");
        loss.item = decodeXmlText(listed.at(k).name);
        loss.folder = lossContext.folder;
        if (place.offset < 0) {
            loss.reason = LossReason::AttachmentMissing;
            loss.why = QStringLiteral("listed by the mail \"%1\" but not found in the file as listed").arg(mail);
        } else {
            loss.reason = LossReason::RecoveredWithDoubt;
            loss.why = QStringLiteral("recovered from the item's own description: its bytes were taken from before the "
                                      "mail \"%1\", where its size and place in the list put them; %2 confirmed it")
                           .arg(mail, place.evidence);
        }
        recordLoss(loss);
    }
}

// The attachments of the list: where the collected entries name them exactly, there;
// otherwise each from the collected entry of its path or from its size and order in
// the stretch before the mail. When every listed path was collected, but not as
// listed, the list is refused.
QVector<MissingAttachment> readAttachments(MailMLRC *mail, const QVector<ListedAttachment> &listed,
                                           const MailPlace &place)
{
    // The common case, kept cheap: the collected entries are exactly the listed ones.
    AttachmentLists lists = listedValues(listed, {});
    const int count = listed.size();
    if (count > 0 && lists.urls == tmpstrOrigPath && tmpdoffset_NoteText.count(QLatin1Char(';')) == count
        && tmpdsizeofattch.count(QLatin1Char(';')) == count) {
        lists.offsets = tmpdoffset_NoteText;
        lists.sizes = tmpdsizeofattch;
        storeAttachmentLists(mail, lists);
        return {};
    }
    const QVector<AttachmentEntry> registered = registeredAttachments();
    QVector<PlacedAttachment> placed = placedByCollectedEntries(listed, registered);
    if (placed.isEmpty()) {
        QSet<QString> collected;
        for (const AttachmentEntry &entry : registered)
            collected.insert(entry.entryName);
        const bool allCollected = std::all_of(listed.cbegin(), listed.cend(), [&](const ListedAttachment &attachment) {
            return collected.contains(attachment.url);
        });
        placed = allCollected || !place.source || place.documentStart < 0
                     ? QVector<PlacedAttachment>(listed.size())
                     : placeAttachments(*place.source, place.documentStart, listed, registered);
    }
    storeAttachmentLists(mail, listedValues(listed, placed));
    accountForAttachments(listed, placed);
    // An entry is taken when an attachment of its path was placed where it lies.
    QSet<QPair<QString, qint64>> taken;
    for (int k = 0; k < listed.size(); ++k)
        if (placed.at(k).offset >= 0 && !placed.at(k).inferred)
            taken.insert({listed.at(k).url, placed.at(k).offset});
    QVector<AttachmentEntry> unclaimed;
    for (const AttachmentEntry &entry : registered)
        if (!taken.contains({entry.entryName, entry.offset}))
            unclaimed.append(entry);
    keepRecoveredAttachments(unclaimed, QStringLiteral("the mail it belongs to is not in the file where it should "
                                                       "be, or does not list it as it stands"));
    // What the window shows as missing, with the name and size the list gives.
    QVector<MissingAttachment> missing;
    for (int k = 0; k < listed.size(); ++k)
        if (placed.at(k).offset < 0)
            missing.append({listed.at(k).name, listed.at(k).size});
    return missing;
}

// A message date text of at most width - 1 characters goes through the converter;
// a longer one leaves the field empty.
template <int Width>
bool storeMessageDate(char (&field)[Width], const QString &text, QByteArray *twelveHour = nullptr)
{
    if (text.isEmpty() || text.size() > Width - 1)
        return false;
    const MessageTime time = messageTime(text);
    qstrncpy(field, time.stamp.constData(), Width);
    if (twelveHour)
        *twelveHour = time.twelveHour;
    return true;
}

// The twelve-hour form of a date, with its own field.
template <int Width, int TwelveHourWidth>
void storeMessageDate(char (&field)[Width], char (&twelveHourField)[TwelveHourWidth], const QString &text)
{
    QByteArray twelveHour;
    if (storeMessageDate(field, text, &twelveHour))
        qstrncpy(twelveHourField, twelveHour.constData(), TwelveHourWidth);
}


// Values of ASCII bytes go from the item into their fields without becoming text:
// their text is their bytes, its UTF-8 and its Latin-1 too. Only entities to
// decode, or line breaks to drop, make a copy.
bool holdsAny(ByteSpan bytes, const char *wanted)
{
    return std::any_of(bytes.data, bytes.data + bytes.size, [&](char c) { return c && strchr(wanted, c); });
}

void storeSubject(MailMLRC *mail, ByteSpan bytes)
{
    ByteSpan ascii;
    if (asciiTrimmed(bytes, &ascii)) {
        if (!holdsAny(ascii, "&\r\n")) {
            CopyBytesToField(mail->Subject, ascii);
            return;
        }
        QByteArray subject = decodeEntities(QByteArray(ascii.data, ascii.size), EntityRule::RecordFields);
        subject.replace('\n', QByteArray()).replace('\r', QByteArray());
        CopyBytesToField(mail->Subject, subject);
        return;
    }
    QString subject = elementValueText(bytes);
    if (subject.isEmpty())
        return;
    subject = DecodeEntities(subject);
    subject.remove(QLatin1Char('\n'));
    subject.remove(QLatin1Char('\r'));
    CopyToField(mail->Subject, subject, FieldEncoding::Utf8);
}

// Exports write identifiers bare (abc@host) or with both brackets escaped
// (&lt;abc@host&gt;); either way the stored identifier reads <abc@host>.
template <typename Text>
Text bracketedId(Text id)
{
    if (!id.startsWith('<'))
        return '<' + id + '>';
    if (!id.endsWith('>'))
        id.chop(1);
    return id;
}

void storeMessageId(MailMLRC *mail, ByteSpan bytes)
{
    ByteSpan ascii;
    if (asciiTrimmed(bytes, &ascii)) {
        if (ascii.size > 0)
            CopyBytesToField(mail->MessageId, bracketedId(decodeEntities(QByteArray(ascii.data, ascii.size),
                                                                         EntityRule::RecordFieldsAndGt)));
        return;
    }
    const QString text = elementValueText(bytes);
    if (!text.isEmpty())
        CopyToField(mail->MessageId, bracketedId(DecodeEntities(text, GtEntity::Decode)), FieldEncoding::Latin1);
}

// A priority longer than its field is left out rather than cut.
void storePriority(MailMLRC *mail, const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    if (bytes.size() > int(sizeof mail->Priority))
        return;
    memcpy(mail->Priority, bytes.constData(), size_t(bytes.size()));
    mail->PriorityTerminator = 0;
}

// Gives a mail found without its entry a folder that damage left readable elsewhere.
void takeFolder(MailMLRC *mail, const DocumentItem &item, const QString &folder, const QString &why)
{
    lossFieldIs(item, "FolderPath");
    if (folder.isEmpty() || !CopyToField(mail->FolderPath, folder, FieldEncoding::Utf8))
        return;
    treeCreator(folder);
    mail->ParentId = llParentIdRunning;
    lossContext.folder = folder;
    recordLoss({LossReason::RecoveredWithDoubt, lossKindName(DocumentKind::Mail),
                lossItemName(DocumentKind::Mail, item.bytes), folder, QString(), why});
}

// The folder of the mail's own entry path, where its header lost only its signature.
void takeFolderOfDamagedHeader(MailMLRC *mail, const DocumentItem &item, const MailPlace &place)
{
    if (!place.source || place.documentStart < 0)
        return;
    const EntryClass entry = classifyEntry(headerBefore(*place.source, place.documentStart).entryName);
    if (entry.kind == DocumentKind::Mail)
        takeFolder(mail, item, entry.folderPath,
                   QStringLiteral("its entry header is damaged; its folder is read from the entry path that "
                                  "still stands in it"));
}
} // namespace

void readMailItem(ParsedItem &parsed, const QString &folderPath)
{
    MailMLRC *mail = parsedRecord<MailMLRC>(parsed);
    const DocumentItem &item = parsed.item;
    if (!folderPath.isEmpty()) {
        lossFieldIs(item, "FolderPath");
        CopyToField(mail->FolderPath, folderPath, FieldEncoding::Utf8);
    }
    QString text;

    // The body stays in the file. One whose end marker stands before its content
    // has no sound size and counts as absent.
    const ElementValue body = findElement(item, "OPFMessageCopyBody");
    if (body.found && !body.endBeforeStart) {
        mail->BodySize = body.size;
        mail->BodyOffset = item.fileOffset + body.start;
    }
    // The folder a damaged entry took and the attachments are placed in file order.
    parsed.lossesBeforeAttachments = lossContext.collected ? lossContext.collected->size() : 0;
    const ElementValue attachments = findElement(item, "OPFMessageCopyAttachmentList");
    parsed.attachmentListFound = attachments.found;
    if (attachments.found)
        parsed.listedAttachments = readAttachmentList(attachments.bytes);
    MailAddressList from = readMailAddressList(item, "OPFMessageCopyFromAddresses", WholeAddresses::Read);
    storeFrom(mail, from.entries);
    MailAddressList to = readMailAddressList(item, "OPFMessageCopyToAddresses", WholeAddresses::Read);
    if (to.found)
        (to.plain ? storeTo<QByteArray> : storeTo<QString>)(mail, to.entries);
    if (GetElementText(item, "OPFMessageCopySentTime", &text))
        storeMessageDate(mail->SentTime, mail->SentTime12, text);
    ByteSpan bytes;
    if (GetElementBytes(item, "OPFMessageCopySubject", &bytes))
        storeSubject(mail, bytes);
    // Thread topic, references and in-reply-to are not kept.
    if (GetElementBytes(item, "OPFMessageCopyMessageID", &bytes))
        storeMessageId(mail, bytes);
    MailAddressList cc = readMailAddressList(item, "OPFMessageCopyCCAddresses", WholeAddresses::Read);
    if (cc.found)
        (cc.plain ? storeCc<QByteArray> : storeCc<QString>)(mail, cc.entries);
    const MailAddressList bcc = readMailAddressList(item, "OPFMessageCopyBCCAddresses", WholeAddresses::Skip);
    if (bcc.found)
        (bcc.plain ? storeBcc<QByteArray> : storeBcc<QString>)(mail, bcc.entries);
    if (GetElementText(item, "OPFMessageCopyReceivedTime", &text))
        storeMessageDate(mail->ReceivedTime, mail->ReceivedTime12, text);
    if (GetElementText(item, "OPFMessageIsOutgoing", &text) && !text.isEmpty())
        mail->IsOutgoing = outgoingFlag(text);
    if (GetElementText(item, "OPFMessageGetPriority", &text) && !text.isEmpty())
        storePriority(mail, text);
    if (GetElementText(item, "OPFMessageCopyModDate", &text))
        storeMessageDate(mail->ModifiedTime, text);

    if (mail->MessageId[0] == '\0')
        CopyToField(mail->MessageId, QString::fromLatin1(newIdentifier(false)), FieldEncoding::Latin1);
    parsed.details = mailDetailsOf(mail, item, std::move(from), std::move(to), std::move(cc));
}

QVector<MissingAttachment> placeMailFolderAndAttachments(MailMLRC *mail, const ParsedItem &parsed,
                                                         const MailPlace &place)
{
    const DocumentItem &item = parsed.item;
    if (mail->ParentId == kFolderWithoutPathId)
        takeFolderOfDamagedHeader(mail, item, place);
    if (!parsed.attachmentListFound)
        return {};
    const QVector<ListedAttachment> &listed = parsed.listedAttachments;
    if (mail->ParentId == kFolderWithoutPathId)
        takeFolder(mail, item, folderOfAttachmentPaths(listed),
                   QStringLiteral("recovered from the item's own description: its entry header is damaged, and "
                                  "its folder is the one its attachments' entry paths name"));
    const QVector<MissingAttachment> missing = readAttachments(mail, listed, place);
    releaseAttachmentLists();
    return missing;
}

void FolderInformation::keepUnclaimedAttachments()
{
    keepRecoveredAttachments(registeredAttachments(), QStringLiteral("no mail after it in the file lists it (the file "
                                                                     "ends, or is damaged, before its mail)"));
    releaseAttachmentLists();
}

void FolderInformation::InitializeAttachment(const QString &entryName, qint64 offset, qint64 size)
{
    const qint64 before = attachmentListsMemory();
    tmpstrOrigPath += entryName + QLatin1Char(';');
    tmpdoffset_NoteText += QString::number(offset) + QLatin1Char(';');
    tmpdsizeofattch += QString::number(size) + QLatin1Char(';');
    // Entries that no mail takes grow the lists: the watch ends the scan.
    countSideMemory(attachmentListsMemory() - before);
}
