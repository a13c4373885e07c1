#include "parsers/AttachmentPlacement.h"

#include "olm/EntryPath.h"
#include "olm/ZipRecords.h"
#include "parsers/ExportFacts.h"

#include <QHash>
#include <QStringList>
#include <cmath>

namespace {
// Between the mail's header and its document's root tag stands at most an XML declaration.
constexpr int kDeclarationRoom = 256;
// Exports' entry paths are a few hundred bytes; a header is looked for this far back,
// so that a file of many small damaged mails is not read many times over.
constexpr int kLongestEntryPath = 4096;
constexpr qint64 kMailHeaderSearch = kLongestEntryPath + kLocalHeaderFixedSize + kZip64RecordSize + kDeclarationRoom;
// Bytes between two entries (a damaged disk's, or another tool's) are looked past this far.
constexpr qint64 kGapSearch = 4096;
// Where something before the document merely looks like the end of a header, the
// nearest candidates are tried, not every one a crafted file can hold.
constexpr int kCandidatesTried = 2;

const QLatin1String kAttachmentsFolder(kAttachmentsFolderName);

// The first bytes every file of a content type begins with; empty where a type has none.
QByteArray leadingBytesOf(const QString &contentType)
{
    static const struct {
        const char *type; // a whole type, or a prefix ending in "."
        const char *bytes;
        int length;
    } kLeadingBytes[] = {
        {"application/pdf", "%PDF-", 5},
        {"image/png", "\x89PNG\r\n\x1a\n", 8},
        {"image/jpeg", "\xFF\xD8\xFF", 3},
        {"image/gif", "GIF8", 4},
        {"application/zip", "PK\x03\x04", 4},
        {"application/x-zip-compressed", "PK\x03\x04", 4},
        {"application/vnd.openxmlformats-officedocument.", "PK\x03\x04", 4},
        {"application/vnd.oasis.opendocument.", "PK\x03\x04", 4},
        {"application/msword", "\xD0\xCF\x11\xE0", 4},
        {"application/vnd.ms-excel", "\xD0\xCF\x11\xE0", 4},
        {"application/vnd.ms-powerpoint", "\xD0\xCF\x11\xE0", 4},
    };
    const QString type = contentType.trimmed().toLower();
    for (const auto &leading : kLeadingBytes) {
        const QLatin1String name(leading.type);
        if (name.endsWith(QLatin1Char('.')) ? type.startsWith(name) : type == name)
            return QByteArray(leading.bytes, leading.length);
    }
    return QByteArray();
}

QByteArray bytesAt(ByteSource &source, qint64 offset, qint64 length)
{
    const qint64 within = lengthWithin(offset, length, source.size());
    QByteArray bytes(int(within), '\0');
    bytes.resize(int(qMax<qint64>(0, source.readAt(offset, bytes.data(), within))));
    return bytes;
}

// The document starts dataStart bytes into window, which ends where the document begins:
// directly, or after an XML declaration.
bool documentFollows(const QByteArray &window, int dataStart)
{
    return dataStart <= window.size() && window.size() - dataStart <= kDeclarationRoom
           && (dataStart == window.size() || window.at(dataStart) == '<');
}

// The entry path up to and including the folder that holds the attachments folder
// ("Local/…/Inbox/"); empty when the path does not end in <attachments folder>/<file>.
QString folderPrefixOf(const QString &url)
{
    const QStringList parts = url.split(QLatin1Char('/'));
    if (parts.size() < 3 || parts.at(parts.size() - 2) != kAttachmentsFolder || parts.last().isEmpty())
        return QString();
    return QStringList(parts.mid(0, parts.size() - 2)).join(QLatin1Char('/')) + QLatin1Char('/');
}

// The mail's own local header: its entry path begins with the folder of its attachments,
// is one more component ending in ".xml", and is followed by the Zip64 record and, after
// at most a declaration, the document. -1 when no such header stands before it.
qint64 mailHeaderBefore(ByteSource &source, qint64 documentStart, const QByteArray &folderPrefix)
{
    const qint64 from = qMax<qint64>(0, documentStart - kMailHeaderSearch);
    const QByteArray window = bytesAt(source, from, documentStart - from);
    int tried = 0;
    for (int at = window.lastIndexOf(folderPrefix); at >= 0 && tried < kCandidatesTried;
         at = at > 0 ? window.lastIndexOf(folderPrefix, at - 1) : -1) {
        ++tried;
        const int nameRest = at + folderPrefix.size();
        const int xml = window.indexOf(".xml", nameRest);
        if (xml < 0)
            continue;
        const int slash = window.indexOf('/', nameRest);
        if ((slash >= 0 && slash < xml) || !documentFollows(window, xml + 4 + int(kZip64RecordSize)))
            continue;
        const qint64 header = from + at - kLocalHeaderFixedSize;
        return header >= 0 ? header : -1;
    }
    return -1;
}

// The header nearest before expected (within kGapSearch bytes) whose entry path is path; -1 when none.
qint64 headerByPathBefore(ByteSource &source, qint64 expected, const QByteArray &path)
{
    const qint64 from = qMax<qint64>(0, expected - kGapSearch);
    const QByteArray window = bytesAt(source, from + kLocalHeaderFixedSize, expected - from + path.size());
    const int at = window.lastIndexOf(path);
    return at >= 0 ? from + at : -1;
}

// What confirms that an attachment's header starts at header and its data at dataStart.
QString confirmation(ByteSource &source, qint64 header, qint64 dataStart, const ListedAttachment &listed)
{
    QStringList found;
    const QByteArray path = listed.url.toUtf8();
    if (bytesAt(source, header + kLocalHeaderFixedSize, path.size()) == path)
        found << QStringLiteral("its entry path in its header");
    const QByteArray leading = leadingBytesOf(listed.contentType);
    if (!leading.isEmpty() && listed.size >= leading.size() && bytesAt(source, dataStart, leading.size()) == leading)
        found << QStringLiteral("the first bytes of its content type");
    return found.join(QStringLiteral(" and "));
}
} // namespace

HeaderBefore headerBefore(ByteSource &source, qint64 documentStart)
{
    static const QByteArray kZip64Start("\x01\x00\x10\x00", 4);
    const qint64 from = qMax<qint64>(0, qMin(documentStart, source.size()) - kMailHeaderSearch);
    const QByteArray window = bytesAt(source, from, documentStart - from);
    int tried = 0;
    for (int record = window.lastIndexOf(kZip64Start); record >= 0 && tried < kCandidatesTried;
         record = record > 0 ? window.lastIndexOf(kZip64Start, record - 1) : -1) {
        if (window.size() - (record + kZip64RecordSize) > kDeclarationRoom)
            break; // every earlier record stands further from the document
        if (!documentFollows(window, record + int(kZip64RecordSize)))
            continue;
        ++tried;
        for (int nameStart = record - 1; nameStart >= kLocalHeaderFixedSize && record - nameStart <= kLongestEntryPath;
             --nameStart) {
            const uchar *fixed = reinterpret_cast<const uchar *>(window.constData()) + nameStart - kLocalHeaderFixedSize;
            if (le16(fixed + 26) == record - nameStart && le16(fixed + 28) == kZip64RecordSize)
                return {from + nameStart - kLocalHeaderFixedSize,
                        QString::fromUtf8(window.constData() + nameStart, record - nameStart)};
        }
    }
    return {};
}

qint64 attachmentSizeFrom(const QString &text, qint64 limit)
{
    double number = 0;
    if (!floatNotationValue(text.trimmed(), 0, double(limit), &number) || std::floor(number) != number)
        return -1;
    return qint64(number);
}

QString folderOfAttachmentPaths(const QVector<ListedAttachment> &listed)
{
    QString folder;
    for (const ListedAttachment &attachment : listed) {
        const QString prefix = folderPrefixOf(attachment.url);
        const QString named = prefix.isEmpty() ? QString() : messageFolderPath(prefix + QLatin1Char('x'));
        if (named.isEmpty() || (!folder.isEmpty() && named != folder))
            return QString();
        folder = named;
    }
    return folder;
}

QVector<PlacedAttachment> placeAttachments(ByteSource &source, qint64 documentStart,
                                           const QVector<ListedAttachment> &listed,
                                           const QVector<AttachmentEntry> &registered)
{
    QVector<PlacedAttachment> placed(listed.size());
    QHash<QString, const AttachmentEntry *> walked; // by path, the last of a path
    for (const AttachmentEntry &entry : registered)
        walked.insert(entry.entryName, &entry);
    // Where the data of the attachment being placed ends: the next one's header, or the mail's.
    qint64 end = -2; // not looked for yet; -1 when not found
    for (int i = listed.size() - 1; i >= 0; --i) {
        const ListedAttachment &attachment = listed.at(i);
        const QByteArray path = attachment.url.toUtf8();
        const qint64 headerRest = kLocalHeaderFixedSize + path.size() + kZip64RecordSize;
        if (const AttachmentEntry *entry = walked.value(attachment.url)) {
            placed[i] = {entry->offset, entry->size, false, QString()};
            end = entry->offset - headerRest;
            continue;
        }
        if (end == -2) {
            const QString prefix = folderPrefixOf(attachment.url);
            end = headerBefore(source, documentStart).start;
            if (end < 0 && !prefix.isEmpty())
                end = mailHeaderBefore(source, qMin(documentStart, source.size()), prefix.toUtf8());
        }
        // Without its place, the places of the ones before it are unknown too, up to
        // one the walk found.
        if (end < 0 || attachment.size < 0 || attachment.size > end || end - attachment.size < headerRest) {
            end = -1;
            continue;
        }
        qint64 dataStart = end - attachment.size;
        qint64 header = dataStart - headerRest;
        QString evidence = confirmation(source, header, dataStart, attachment);
        if (evidence.isEmpty()) {
            // Bytes between two entries move it back: its path in its header says by how much.
            header = headerByPathBefore(source, header, path);
            dataStart = header + headerRest;
            if (header >= 0)
                evidence = QStringLiteral("its entry path in its header, %1 bytes before where its size put it")
                               .arg(end - attachment.size - dataStart);
        }
        if (!evidence.isEmpty())
            placed[i] = {dataStart, attachment.size, true, evidence};
        // Unconfirmed, its size still says where the one before it ends.
        end = header >= 0 ? header : end - attachment.size - headerRest;
    }
    return placed;
}
