#include "olm/ContainerWalk.h"

#include "olm/BlockReader.h"
#include "olm/CentralDirectory.h"
#include "olm/InflatedEntries.h"
#include "olm/LossAccount.h"
#include "olm/ZipRecords.h"
#include "olm/ByteSearch.h"
#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"

#include <QElapsedTimer>
#include <cstring>
#include <zlib.h>

namespace {

// The walk ends at the third central directory header met since the last entry or document.
constexpr int kCentralHeadersThatEndTheWalk = 3;
// An inflated document's item longer than this is handed on cut short.
constexpr int kLongestInflatedItem = 256 * 1024 * 1024;
// Checksums are computed through a buffer of this size.
constexpr qint64 kChecksumPiece = 1024 * 1024;
// An entry packed with a data descriptor has it after its data: 12 or 20 bytes, and
// 4 more where the descriptor carries its own signature.
constexpr qint64 kDataDescriptorSizes[] = {12, 16, 20, 24};

struct LocalHeader {
    qint64 start = 0;
    quint8 version = 0;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 compressedSize32 = 0;
    quint32 uncompressedSize32 = 0;
    quint16 nameLength = 0;
    quint16 extraLength = 0;
    QString name;
    bool zip64 = false;  // the extra field begins with a Zip64 record
    quint64 uncompressedSize = 0; // U
    quint64 compressedSize = 0;   // Z
    qint64 dataStart = 0;

    // Sizes are untrusted: an entry counts only when its data lies inside the file.
    // A stored entry's data is its uncompressed bytes, so its two sizes agree;
    // otherwise an uncompressed size larger than the stored one would reach back
    // before the data and hand on bytes of earlier entries again. A deflated
    // entry's bytes inflate by no more than deflate can shrink them.
    bool sizesFit(qint64 fileSize) const
    {
        if (dataStart > fileSize)
            return false;
        const quint64 room = quint64(fileSize - dataStart);
        if (compressedSize > room)
            return false;
        if (method == kMethodDeflated)
            return uncompressedSize <= compressedSize * quint64(kLargestInflateRatio)
                   && uncompressedSize <= quint64(kLargestInflatedEntry);
        const bool sizesAgree = method == kMethodStored ? uncompressedSize == compressedSize
                                                        : uncompressedSize <= compressedSize;
        return uncompressedSize <= room && sizesAgree;
    }
    // The sizes say the data runs past the end of the file, and nothing else about
    // the header is wrong: a file cut short.
    bool cutByTheEnd(qint64 fileSize) const
    {
        return zip64 && dataStart <= fileSize && compressedSize > quint64(fileSize - dataStart)
               && (method != kMethodStored || uncompressedSize == compressedSize);
    }
    // The shape of the container's own headers; anything else met while
    // raw-scanning is data (attachments are often ZIP archives themselves).
    bool looksLikeContainerHeader(qint64 fileSize) const
    {
        return version == kContainerVersion && method == 0 && compressedSize32 == kSizeInZip64
               && uncompressedSize32 == kSizeInZip64 && extraLength == kZip64RecordSize && zip64
               && sizesFit(fileSize);
    }
};

// Reads the local header at offset; false when its fixed part, name or extra
// field runs past the end of the file.
bool readLocalHeader(BlockReader &reader, qint64 offset, LocalHeader *header)
{
    qint64 available = 0;
    const uchar *fixed = reader.bytesAt(offset, kLocalHeaderFixedSize, &available);
    if (available < kLocalHeaderFixedSize)
        return false;
    header->start = offset;
    header->version = fixed[4];
    header->flags = le16(fixed + 6);
    header->method = le16(fixed + 8);
    header->crc = le32(fixed + 14);
    header->compressedSize32 = le32(fixed + 18);
    header->uncompressedSize32 = le32(fixed + 22);
    header->nameLength = le16(fixed + 26);
    header->extraLength = le16(fixed + 28);
    const qint64 variableLength = qint64(header->nameLength) + header->extraLength;
    const uchar *variable = reader.bytesAt(offset + kLocalHeaderFixedSize, variableLength, &available);
    if (available < variableLength)
        return false;
    const uchar *name = variable;
    // A header ending where the file ends has no name bytes, and no pointer to them.
    const void *zero = header->nameLength > 0 ? memchr(name, 0, header->nameLength) : nullptr;
    const int nameBytes = zero ? int(static_cast<const uchar *>(zero) - name) : header->nameLength;
    // Exports set the language encoding flag: their names are UTF-8, as the
    // attachment URLs inside the mails that name them are.
    const char *nameText = reinterpret_cast<const char *>(name);
    header->name = (header->flags & kUtf8NamesFlag) ? QString::fromUtf8(nameText, nameBytes)
                                                    : QString::fromLatin1(nameText, nameBytes);
    const uchar *extra = variable + header->nameLength;
    header->zip64 = header->extraLength >= kZip64RecordSize && le16(extra) == kZip64Tag
                    && le16(extra + 2) >= 16;
    if (header->zip64) {
        header->uncompressedSize = le64(extra + 4);
        header->compressedSize = le64(extra + 12);
    } else if (header->compressedSize32 != kSizeInZip64 && header->uncompressedSize32 != kSizeInZip64) {
        header->uncompressedSize = header->uncompressedSize32;
        header->compressedSize = header->compressedSize32;
    } else {
        // No size at all: such an entry cannot be walked, only raw-scanned.
        header->uncompressedSize = header->compressedSize = ~quint64(0);
    }
    header->dataStart = offset + kLocalHeaderFixedSize + variableLength;
    return true;
}

bool looksLikeContainerCentralHeader(BlockReader &reader, qint64 offset)
{
    qint64 available = 0;
    const uchar *fixed = reader.bytesAt(offset, kCentralHeaderFixedSize, &available);
    return available == kCentralHeaderFixedSize && le16(fixed + 10) == 0
           && le32(fixed + 20) == kSizeInZip64 && le32(fixed + 24) == kSizeInZip64;
}

struct RawDocumentKind {
    QByteArray startTag;
    QByteArray endTag;
    DocumentKind kind;
};
const RawDocumentKind kRawDocumentKinds[] = {
    {QByteArrayLiteral("<emails "), QByteArrayLiteral("</emails>"), DocumentKind::Mail},
    {QByteArrayLiteral("<notes "), QByteArrayLiteral("</notes>"), DocumentKind::Notes},
    {QByteArrayLiteral("<tasks "), QByteArrayLiteral("</tasks>"), DocumentKind::Tasks},
    {QByteArrayLiteral("<contacts "), QByteArrayLiteral("</contacts>"), DocumentKind::Contacts},
    {QByteArrayLiteral("<appointments "), QByteArrayLiteral("</appointments>"), DocumentKind::Calendar},
};
// The clock is read once per this many walk steps; a step is short.
constexpr int kStepsPerClockRead = 64;
constexpr qint64 kLongestStartTag = 14;
// The second byte of every start tag: "<emails ", "<notes ", "<tasks ", "<contacts ", "<appointments ".
constexpr char kStartTagSecondBytes[] = "entca";

// Where in bytes the raw scan must look next: the first byte that may begin a
// local or central header signature or a document start tag, or size when none
// does. A candidate too close to the end to be judged is returned as it is.
qint64 nextCandidateIn(const uchar *bytes, qint64 size)
{
    qint64 at = 0;
    while ((at += qint64(findEitherByte(bytes + at, size_t(size - at), '<', 'P'))) < size) {
        if (bytes[at] == '<') {
            if (at + 1 >= size || memchr(kStartTagSecondBytes, bytes[at + 1], sizeof kStartTagSecondBytes - 1))
                return at;
        } else if (at + 3 >= size
                   || (bytes[at + 1] == 'K'
                       && ((bytes[at + 2] == 3 && bytes[at + 3] == 4) || (bytes[at + 2] == 1 && bytes[at + 3] == 2)))) {
            return at;
        }
        ++at;
    }
    return size;
}

class Walk
{
public:
    Walk(ByteSource &source, DocumentSink &sink, const WalkHooks &hooks)
        : m_fileSize(source.size()),
          m_blockSize(qMax<qint64>(source.blockSizes().block, 1)),
          m_documentPart(qMax<qint64>(source.blockSizes().documentPart, 1)),
          m_source(source),
          m_reader(source),
          m_sink(sink),
          m_hooks(hooks)
    {
    }

    WalkResult run();

private:
    bool tickAndTestStop();
    // Reads the entry whose local header is expected at here; false when there is
    // none there and the raw scan takes over.
    bool entryAt(qint64 here, bool signatureFound);
    // The entry the directory places at here, its data where the directory's sizes
    // and the next header agree or the checksum confirms it.
    bool entryFromDirectory(qint64 here, const DirectoryRecord &record, const LocalHeader *local, LocalHeader *entry);
    const CentralDirectory &directory();
    bool headerOrEndAt(qint64 offset);
    // Past the data descriptor after an entry's data, where a header follows it.
    qint64 skipDataDescriptor(qint64 dataEnd);
    bool nextHeaderFollows(const LocalHeader &header);
    bool containerHeaderBetween(qint64 from, qint64 to);
    quint32 checksumOf(qint64 from, qint64 size, bool *complete);
    void noteChecksum(const LocalHeader &entry, quint32 headerChecksum, const DirectoryRecord *record);
    void walkEntry(const LocalHeader &header);
    void walkCutEntry(const LocalHeader &header);
    void handInflatedDocument(const LocalHeader &header, const EntryClass &entry);
    // Examines the byte at q for a document start tag; true when a document was handed on.
    bool rawScanAt(qint64 q);
    // Hands on the document starting at q with the start tag of length startLength,
    // reading on until its end tag; returns the offset just past the document.
    qint64 streamRawDocument(DocumentKind kind, qint64 q, qint64 startLength, const QByteArray &endTag);
    qint64 containerHeaderIn(qint64 from, const char *bytes, const char *begin, const char *limit, const char *end);
    void advanceToNextCandidate(qint64 from);
    // Hands the document in [from, to) to the sink, in parts of whole items where it is
    // long; each part's end offset is shifted by endShift, as the whole document's is.
    // endKnown: the document ends at to, whatever its bytes say there.
    void handDocument(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift,
                      bool endKnown = false);
    void handPart(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift);
    // The end of the last item of the document in [from, from + m_documentPart), or of
    // the first item after that when one item is longer; to when there is none.
    qint64 partEnd(DocumentKind kind, qint64 from, qint64 to);
    void reportDispatched(DocumentKind kind, const QString &entryName, qint64 start, qint64 size, qint64 end);

    qint64 m_fileSize;
    qint64 m_blockSize;
    qint64 m_documentPart;
    ByteSource &m_source;
    BlockReader m_reader;
    DocumentSink &m_sink;
    const WalkHooks &m_hooks;
    QElapsedTimer m_sinceTick;
    bool m_firstTick = true;
    int m_stepsSinceClockRead = 0;
    int m_centralHeaderCount = 0;
    // A header is expected at the start, at the end of an entry's data and at the
    // end of a recovered document; elsewhere only container-like headers count.
    bool m_headerExpected = true;
    // Read the first time the local headers fail the walk: an intact export never needs it.
    CentralDirectory m_directory;
    bool m_directoryRead = false;
    QString m_lastWholeEntry;
    // Checksums and the measuring of deflated streams read bytes again; a hostile file
    // naming the same bytes over and over is not read past a few times its size.
    qint64 m_rereadBudget = 4 * m_fileSize;
};

bool Walk::tickAndTestStop()
{
    if (m_firstTick || ++m_stepsSinceClockRead >= kStepsPerClockRead) {
        m_stepsSinceClockRead = 0;
        if (m_firstTick || m_sinceTick.elapsed() >= kTickIntervalMs) {
            m_firstTick = false;
            if (m_hooks.tick)
                m_hooks.tick(dwOffset / kProgressUnit);
            m_sinceTick.restart();
        }
    }
    return m_hooks.stopRequested && m_hooks.stopRequested();
}

WalkResult Walk::run()
{
    m_sinceTick.start();
    while (dwOffset < m_fileSize) {
        if (tickAndTestStop())
            return WalkResult::Stopped;
        if (m_sink.full()) {
            dwOffset = m_sink.filledAt(dwOffset);
            return WalkResult::SinkFull;
        }
        const qint64 here = dwOffset;
        const quint32 signature = m_reader.uint32At(here);
        if (signature == kCentralHeaderSignature
            && (m_headerExpected || looksLikeContainerCentralHeader(m_reader, here))) {
            m_headerExpected = false;
            dwOffset = here + 1;
            if (++m_centralHeaderCount >= kCentralHeadersThatEndTheWalk)
                dwOffset = m_fileSize;
            continue;
        }
        // Where the directory places a header, one is expected, whatever the raw scan passed.
        if (m_directoryRead && m_directory.recordAt(here))
            m_headerExpected = true;
        if ((signature == kLocalHeaderSignature || m_headerExpected) && entryAt(here, signature == kLocalHeaderSignature))
            continue;
        if (!rawScanAt(here))
            advanceToNextCandidate(here + 1);
    }
    // A document taken in the background may yet fill the sink where a walk that waited
    // would not have read on.
    m_sink.settle();
    if (m_sink.full() && m_sink.filledAt(dwOffset) < m_fileSize) {
        dwOffset = m_sink.filledAt(dwOffset);
        return WalkResult::SinkFull;
    }
    if (m_hooks.tick)
        m_hooks.tick(m_fileSize / kProgressUnit);
    return WalkResult::Finished;
}

bool Walk::entryAt(qint64 here, bool signatureFound)
{
    LocalHeader header;
    const bool readWhole = signatureFound && readLocalHeader(m_reader, here, &header);
    const bool local = readWhole && (m_headerExpected || header.looksLikeContainerHeader(m_fileSize));
    // An empty entry's checksum is zero; any other zero checksum is damage.
    const bool checksumSound = header.crc != 0 || header.compressedSize == 0;
    if (local && checksumSound && header.method == kMethodStored && header.sizesFit(m_fileSize)) {
        m_centralHeaderCount = 0;
        walkEntry(header);
        return true;
    }
    // The local header is damaged, cut, or of another packer's shape: the directory's map is asked.
    if (m_headerExpected || local) {
        if (const DirectoryRecord *record = directory().recordAt(here)) {
            LocalHeader fromDirectory;
            if (entryFromDirectory(here, *record, local ? &header : nullptr, &fromDirectory)) {
                m_centralHeaderCount = 0;
                noteChecksum(fromDirectory, local ? header.crc : record->crc, record);
                walkEntry(fromDirectory);
                if (fromDirectory.flags & kDataDescriptorFlag)
                    dwOffset = skipDataDescriptor(dwOffset);
                return true;
            }
        }
    }
    // A header is read whole unless the file ends inside it; what follows its signature is raw-scanned.
    if (signatureFound && !readWhole && m_headerExpected)
        m_sink.takeLoss({LossReason::FileCut, QString(), QString(), QString(), QString(),
                    QStringLiteral("the header at byte %1 runs past the end of the file (byte %2); the last entry read "
                                   "whole is \"%3\"")
                        .arg(here)
                        .arg(m_fileSize)
                        .arg(m_lastWholeEntry)});
    if (!local)
        return false;
    m_centralHeaderCount = 0;
    // Sizes that fit, with a header or the end of the file after them: a checksum
    // that is zero, or the method of another packer, does not make the entry damaged.
    const bool knownSizes = !(header.flags & kDataDescriptorFlag);
    if (knownSizes && header.sizesFit(m_fileSize) && headerOrEndAt(header.dataStart + qint64(header.compressedSize))) {
        noteChecksum(header, header.crc, nullptr);
        walkEntry(header);
        return true;
    }
    // A zip tool writing to a pipe puts the sizes after the data: the stream's own end tells them.
    qint64 compressed = 0, inflated = 0;
    const qint64 measurable = qMin(m_fileSize - header.dataStart, m_rereadBudget);
    if (!knownSizes && header.method == kMethodDeflated
        && measureDeflated(m_source, header.dataStart, header.dataStart + measurable, &compressed, &inflated)) {
        m_rereadBudget -= compressed;
        header.compressedSize = quint64(compressed);
        header.uncompressedSize = quint64(inflated);
        walkEntry(header);
        dwOffset = skipDataDescriptor(dwOffset);
        return true;
    }
    if (header.cutByTheEnd(m_fileSize) && !containerHeaderBetween(header.dataStart, m_fileSize)) {
        walkCutEntry(header);
        return true;
    }
    dwOffset = header.dataStart;
    if (header.crc == 0 && nextHeaderFollows(header)) {
        m_headerExpected = true;
        return true;
    }
    // Sizes the file cannot hold or that disagree: the data is raw-scanned.
    if (!rawScanAt(header.dataStart))
        advanceToNextCandidate(header.dataStart + 1);
    return true;
}

const CentralDirectory &Walk::directory()
{
    if (!m_directoryRead) {
        m_directoryRead = true;
        m_directory = CentralDirectory::read(m_source);
    }
    return m_directory;
}

bool Walk::entryFromDirectory(qint64 here, const DirectoryRecord &record, const LocalHeader *local, LocalHeader *entry)
{
    const QByteArray nameBytes = m_directory.nameBytesOf(record, m_source);
    const qint64 size = qint64(record.compressedSize);
    const qint64 bound = qMin(m_directory.boundAfter(record), m_fileSize);
    // The data starts after the local header as it reads, or as the export writes it
    // (the name, then the 20-byte Zip64 record), or as other packers do (no extra field).
    const qint64 fixedEnd = here + kLocalHeaderFixedSize + nameBytes.size();
    const qint64 candidates[] = {local ? local->dataStart : -1, fixedEnd + kZip64RecordSize, fixedEnd};
    const auto fits = [&](qint64 start) { return start >= here + kLocalHeaderFixedSize && start + size <= bound; };
    const auto endsAtBound = [&](qint64 start) {
        if (start + size == bound)
            return true;
        if (record.flags & kDataDescriptorFlag)
            for (const qint64 descriptor : kDataDescriptorSizes)
                if (start + size + descriptor == bound)
                    return true;
        return false;
    };
    // The record is checked against the bytes at its offset: the local header's name
    // (its length field may be what the damage took) ...
    qint64 available = 0;
    const char *localName = reinterpret_cast<const char *>(
        m_reader.bytesAt(here + kLocalHeaderFixedSize, nameBytes.size(), &available));
    const bool nameMatches = localName && available == nameBytes.size() && !nameBytes.isEmpty()
                             && memcmp(localName, nameBytes.constData(), size_t(available)) == 0;
    qint64 chosen = -1;
    for (const qint64 start : candidates)
        if (nameMatches && fits(start) && endsAtBound(start)) {
            chosen = start;
            break;
        }
    // ... or, where that is gone or bytes stand between the entries, the checksum.
    for (const qint64 start : candidates) {
        if (chosen >= 0 || record.crc == 0 || record.method != kMethodStored)
            break;
        bool complete = false;
        if (fits(start) && checksumOf(start, size, &complete) == record.crc && complete)
            chosen = start;
    }
    if (chosen < 0)
        return false;
    entry->start = here;
    entry->name = m_directory.nameOf(record, m_source);
    entry->flags = record.flags;
    entry->method = record.method;
    entry->crc = record.crc;
    entry->compressedSize = record.compressedSize;
    entry->uncompressedSize = record.uncompressedSize;
    entry->dataStart = chosen;
    entry->zip64 = true;
    return entry->sizesFit(m_fileSize);
}

qint64 Walk::skipDataDescriptor(qint64 dataEnd)
{
    for (const qint64 descriptor : kDataDescriptorSizes)
        if (headerOrEndAt(dataEnd + descriptor))
            return dataEnd + descriptor;
    return dataEnd;
}

bool Walk::headerOrEndAt(qint64 offset)
{
    if (offset == m_fileSize || (m_directoryRead && offset == m_directory.start()))
        return true;
    const quint32 signature = m_reader.uint32At(offset);
    return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature;
}

// A zero CRC-32 marks an entry without data when a header stands at its data
// start. An entry that does hold data (a damaged attachment that is itself a
// ZIP archive starts with a header too) only counts as empty when that header
// is the container's own.
bool Walk::nextHeaderFollows(const LocalHeader &header)
{
    if (m_reader.uint32At(header.dataStart) != kLocalHeaderSignature)
        return false;
    if (header.compressedSize == 0)
        return true;
    LocalHeader next;
    return readLocalHeader(m_reader, header.dataStart, &next) && next.looksLikeContainerHeader(m_fileSize);
}

bool Walk::containerHeaderBetween(qint64 from, qint64 to)
{
    for (qint64 at = from; at < to;) {
        qint64 available = 0;
        const char *bytes = reinterpret_cast<const char *>(m_reader.blockFrom(at, &available));
        if (!bytes || available <= 0)
            return false;
        const qint64 header = containerHeaderIn(at, bytes, bytes, bytes + available, bytes + available);
        if (header >= 0)
            return true;
        // A signature cut by the end of the held bytes is looked at again.
        at += qMax<qint64>(1, available - 3);
        if (at + 3 >= to)
            return false;
    }
    return false;
}

quint32 Walk::checksumOf(qint64 from, qint64 size, bool *complete)
{
    *complete = false;
    if (size > m_rereadBudget)
        return 0;
    m_rereadBudget -= size;
    QByteArray piece(int(qMin(kChecksumPiece, qMax<qint64>(size, 1))), Qt::Uninitialized);
    uLong crc = crc32(0, nullptr, 0);
    qint64 done = 0;
    while (done < size) {
        const qint64 got = m_source.readAt(from + done, piece.data(), qMin<qint64>(piece.size(), size - done));
        if (got <= 0)
            break;
        crc = crc32(crc, reinterpret_cast<const Bytef *>(piece.constData()), uInt(got));
        done += got;
    }
    *complete = done == size;
    return quint32(crc);
}

// A checksum is evidence, not a verdict: the entry's bytes are kept, and the account
// says what is known of them. The bytes are checked only where a second checksum
// (the directory's) can tell whether they are right.
void Walk::noteChecksum(const LocalHeader &entry, quint32 headerChecksum, const DirectoryRecord *record)
{
    const quint32 directoryChecksum = record ? record->crc : 0;
    const bool headerZero = headerChecksum == 0 && entry.compressedSize > 0;
    const bool disagree = record && directoryChecksum != headerChecksum && headerChecksum != 0;
    if (!headerZero && !disagree)
        return;
    QString why;
    if (directoryChecksum != 0 && entry.method == kMethodStored) {
        bool complete = false;
        const quint32 actual = checksumOf(entry.dataStart, qint64(entry.compressedSize), &complete);
        if (actual == directoryChecksum && complete)
            why = headerZero ? QStringLiteral("its header's checksum is zero; its bytes match the directory's checksum")
                             : QStringLiteral("its header's checksum differs from the directory's; its bytes match the directory's");
        else if (actual == headerChecksum && complete)
            why = QStringLiteral("the directory's checksum differs from its header's; its bytes match the header's");
        else
            why = QStringLiteral("its bytes match no checksum the file holds and may be damaged; they are kept");
    } else {
        why = QStringLiteral("its header's checksum is zero and no other checksum in the file could check its bytes; "
                             "they are kept");
    }
    const DocumentKind kind = classifyEntry(entry.name).kind;
    m_sink.takeLoss({LossReason::ChecksumMismatch,
                kind == DocumentKind::Attachment ? QStringLiteral("attachment") : QStringLiteral("document"),
                entry.name, QString(), QString(), why});
}

void Walk::walkEntry(const LocalHeader &header)
{
    const qint64 dataEnd = header.dataStart + qint64(header.compressedSize);
    dwOffset = dataEnd;
    m_headerExpected = true;
    if (header.compressedSize == 0 && header.uncompressedSize == 0)
        m_sink.takeEmptyEntry(header.name);
    // Directory entries ("Accounts/") hold nothing.
    if (header.name.endsWith(QLatin1Char('/')) && header.uncompressedSize == 0)
        return;
    const EntryClass entry = classifyEntry(header.name);
    if (entry.kind == DocumentKind::Skipped)
        return;
    m_lastWholeEntry = header.name;
    if (header.method == kMethodDeflated) {
        handInflatedDocument(header, entry);
        return;
    }
    if (header.method != kMethodStored) {
        m_sink.takeLoss({LossReason::DocumentUnreadable,
                    entry.kind == DocumentKind::Attachment ? QStringLiteral("attachment") : QStringLiteral("document"),
                    header.name, QString(), QString(),
                    QStringLiteral("it is packed with method %1, which cannot be read").arg(header.method)});
        return;
    }
    const qint64 size = qint64(header.uncompressedSize);
    if (entry.kind == DocumentKind::Attachment) {
        m_sink.takeAttachment(header.name, dataEnd - size, size);
        reportDispatched(DocumentKind::Attachment, header.name, dataEnd - size, size, dataEnd);
        return;
    }
    const qint64 documentSize = qBound<qint64>(0, size, m_fileSize - header.dataStart);
    const qint64 documentEnd = header.dataStart + documentSize;
    handDocument(entry.kind, entry.folderPath, header.dataStart, documentEnd, dataEnd - documentEnd,
                 documentSize == size);
    m_sink.documentEnded();
    reportDispatched(entry.kind, header.name, header.dataStart, documentSize, dataEnd);
}

// The file ends inside the entry: what there is of it keeps the entry's name and folder.
void Walk::walkCutEntry(const LocalHeader &header)
{
    const qint64 held = m_fileSize - header.dataStart;
    const EntryClass entry = classifyEntry(header.name);
    m_sink.takeLoss({LossReason::FileCut,
                entry.kind == DocumentKind::Attachment ? QStringLiteral("attachment") : QStringLiteral("document"), header.name, QString(), QString(),
                QStringLiteral("the file ends at byte %1, inside this entry (%2 of its %3 bytes); the last entry read "
                               "whole is \"%4\"")
                    .arg(m_fileSize)
                    .arg(held)
                    .arg(header.compressedSize)
                    .arg(m_lastWholeEntry)});
    dwOffset = m_fileSize;
    if (entry.kind == DocumentKind::Skipped || header.method != kMethodStored)
        return;
    if (entry.kind == DocumentKind::Attachment) {
        // Its full size: the writers say how much of it the file holds.
        m_sink.takeAttachment(header.name, header.dataStart, qint64(header.uncompressedSize));
        reportDispatched(DocumentKind::Attachment, header.name, header.dataStart, held, m_fileSize);
        return;
    }
    handDocument(entry.kind, entry.folderPath, header.dataStart, m_fileSize, 0);
    m_sink.documentEnded();
    reportDispatched(entry.kind, header.name, header.dataStart, held, m_fileSize);
}

void Walk::handInflatedDocument(const LocalHeader &header, const EntryClass &entry)
{
    const qint64 size = qint64(header.uncompressedSize);
    const qint64 start = registerInflatedEntry(header.dataStart, qint64(header.compressedSize), size);
    if (entry.kind == DocumentKind::Attachment) {
        m_sink.takeAttachment(header.name, start, size);
        reportDispatched(DocumentKind::Attachment, header.name, start, size, start + size);
        return;
    }
    // Inflated in parts of whole items, as a long stored document is handed on.
    Inflater inflater(m_source, header.dataStart, qint64(header.compressedSize));
    const char *itemEnd = itemEndTag(entry.kind);
    const qint64 itemEndLength = qint64(strlen(itemEnd));
    QByteArray held;
    qint64 handed = 0; // inflated bytes handed on before those held
    bool more = true;
    while (more) {
        const qint64 wanted = qMin(m_blockSize, size - handed - held.size());
        const int before = held.size();
        held.resize(int(before + qMax<qint64>(wanted, 0)));
        const qint64 got = wanted > 0 ? inflater.read(held.data() + before, wanted) : 0;
        held.resize(int(before + got));
        more = got > 0 && handed + held.size() < size;
        qint64 cut = held.size();
        if (more) {
            if (held.size() < m_documentPart)
                continue;
            const char *last = findLastTag(held.constData(), held.constData() + held.size(), itemEnd, size_t(itemEndLength));
            // One item longer than the largest window goes on cut short, as a stored one does.
            if (!last && held.size() < kLongestInflatedItem)
                continue;
            if (last)
                cut = (last - held.constData()) + itemEndLength;
        }
        // A copy ends in the zero byte the parsers expect after a document.
        QByteArray part = held.left(int(cut));
        pBuff = part.data();
        pBuffSize = part.size();
        m_sink.takeDocument(entry.kind, entry.folderPath, start + handed + cut);
        pBuff = nullptr;
        pBuffSize = 0;
        held.remove(0, int(cut));
        handed += cut;
    }
    m_sink.documentEnded();
    if (inflater.failed() || handed < size)
        m_sink.takeLoss({LossReason::DocumentUnreadable, QStringLiteral("document"), header.name, QString(), QString(),
                    QStringLiteral("its deflated bytes inflate to %1 of the %2 bytes its header declares").arg(handed).arg(size)});
    reportDispatched(entry.kind, header.name, start, handed, start + handed);
}

bool Walk::rawScanAt(qint64 q)
{
    m_headerExpected = false;
    dwOffset = q + 1;
    qint64 available = 0;
    const uchar *bytes = m_reader.bytesAt(q, kLongestStartTag, &available);
    if (available < 2 || bytes[0] != '<')
        return false;
    for (const RawDocumentKind &candidate : kRawDocumentKinds) {
        const qint64 length = candidate.startTag.size();
        if (available < length || memcmp(bytes, candidate.startTag.constData(), size_t(length)) != 0)
            continue;
        const qint64 documentEnd = streamRawDocument(candidate.kind, q, length, candidate.endTag);
        m_sink.documentEnded();
        reportDispatched(candidate.kind, QString(), q, documentEnd - q, documentEnd);
        dwOffset = documentEnd;
        m_centralHeaderCount = 0;
        m_headerExpected = true;
        return true;
    }
    return false;
}

qint64 Walk::streamRawDocument(DocumentKind kind, qint64 q, qint64 startLength, const QByteArray &endTag)
{
    qint64 from = q;                     // the first byte not handed on yet
    qint64 searchFrom = q + startLength; // the end tag starts nowhere before this
    // The held bytes are searched first: most documents end inside them.
    qint64 available = 0;
    const char *bytes = reinterpret_cast<const char *>(m_reader.blockFrom(from, &available));
    for (;;) {
        const char *end = bytes + available;
        const char *searchStart = bytes ? bytes + qMin(qMax(searchFrom, from) - from, available) : nullptr;
        const char *hit = bytes ? findTag(searchStart, end, endTag.constData(), size_t(endTag.size())) : nullptr;
        if (bytes) {
            // A document whose end tag the damage took ends where the container's next
            // header begins, so that it does not swallow every document after it.
            const qint64 held = available;
            const qint64 header = containerHeaderIn(from, bytes, searchStart, hit ? hit : end, end);
            if (header >= 0) {
                handDocument(kind, QString(), from, header, 0, true);
                return header;
            }
            bytes = reinterpret_cast<const char *>(m_reader.bytesAt(from, held, &available));
            end = bytes ? bytes + available : nullptr;
            searchStart = bytes ? bytes + qMin(qMax(searchFrom, from) - from, available) : nullptr;
            hit = bytes ? findTag(searchStart, end, endTag.constData(), size_t(endTag.size())) : nullptr;
        }
        if (hit || !bytes || from + available >= m_fileSize) {
            // An end tag that never comes: the document runs to the end of the file.
            const qint64 documentEnd = hit ? from + (hit - bytes) + endTag.size() : from + available;
            handDocument(kind, QString(), from, documentEnd, 0);
            return documentEnd;
        }
        searchFrom = qMax(searchFrom, from + available - endTag.size() + 1);
        // Whole items go on as soon as a part's worth is held; what follows the
        // last of them stays in the window and is not read again.
        if (available >= m_documentPart) {
            const char *itemEnd = itemEndTag(kind);
            const size_t itemEndLength = strlen(itemEnd);
            if (const char *last = findLastTag(bytes, end, itemEnd, itemEndLength)) {
                const qint64 cut = from + (last - bytes) + qint64(itemEndLength);
                handPart(kind, QString(), from, cut, 0);
                from = cut;
                bytes = reinterpret_cast<const char *>(m_reader.blockFrom(from, &available));
                continue;
            }
        }
        const qint64 held = available;
        bytes = reinterpret_cast<const char *>(m_reader.bytesAt(from, held + m_blockSize, &available));
        if (available <= held) {
            // The source gives no more (a failed read): the document ends with what there is.
            handDocument(kind, QString(), from, from + available, 0);
            return from + available;
        }
    }
}

// The offset of the first local header of the container's own shape whose signature
// starts in [begin, limit) of the held bytes [bytes, end), which hold the file from
// offset from; -1 when there is none. Checking a header may move the held window.
qint64 Walk::containerHeaderIn(qint64 from, const char *bytes, const char *begin, const char *limit,
                               const char *end)
{
    QVector<qint64> candidates;
    // The signature's last two bytes are rare in XML text, where "PK" is not.
    const char *searchEnd = qMin(limit + 2, end);
    for (const char *at = findTag(begin, searchEnd, "\x03\x04", 2); at; at = findTag(at + 1, searchEnd, "\x03\x04", 2))
        if (at - 2 >= begin && at[-2] == 'P' && at[-1] == 'K')
            candidates.append(from + (at - 2 - bytes));
    for (const qint64 offset : candidates) {
        LocalHeader header;
        if (readLocalHeader(m_reader, offset, &header) && header.looksLikeContainerHeader(m_fileSize))
            return offset;
    }
    return -1;
}

void Walk::advanceToNextCandidate(qint64 from)
{
    // Only a '<' can start a document and only a 'P' a signature; one pass looks
    // for both and passes over those that begin neither. Where the held bytes
    // have none, the scan reads on a block and returns inside it, so the walk
    // reports progress at least once a block.
    // Nor does it pass a header the directory places.
    const qint64 directoryHeader = m_directoryRead ? m_directory.nextHeaderAfter(from - 1) : -1;
    const auto stopAt = [this, directoryHeader](qint64 offset) {
        dwOffset = directoryHeader >= 0 ? qMin(offset, directoryHeader) : offset;
    };
    qint64 scanned = 0;
    for (;;) {
        qint64 available = 0;
        const uchar *bytes = m_reader.blockFrom(from, &available);
        if (!bytes || available <= 0) {
            stopAt(m_fileSize);
            return;
        }
        if (scanned >= m_blockSize || (directoryHeader >= 0 && directoryHeader < from)) {
            stopAt(from);
            return;
        }
        const qint64 candidate = nextCandidateIn(bytes, available);
        if (candidate < available) {
            stopAt(from + candidate);
            return;
        }
        from += available;
        scanned += available;
    }
}

void Walk::handDocument(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift,
                        bool endKnown)
{
    // An empty document is handed on too: its folder is registered all the same.
    do {
        const qint64 cut = to - from > m_documentPart ? partEnd(kind, from, to) : to;
        pBuffEndsDocument = endKnown && cut == to;
        handPart(kind, folderPath, from, cut, endShift);
        pBuffEndsDocument = false;
        from = cut;
    } while (from < to);
}

qint64 Walk::partEnd(DocumentKind kind, qint64 from, qint64 to)
{
    const char *itemEnd = itemEndTag(kind);
    const qint64 itemEndLength = qint64(strlen(itemEnd));
    qint64 wanted = qMin(m_documentPart, to - from);
    qint64 searched = from; // no item ends in [from, searched)
    for (;;) {
        qint64 available = 0;
        const char *bytes = reinterpret_cast<const char *>(m_reader.bytesAt(from, wanted, &available));
        if (!bytes)
            return to;
        const char *last = findLastTag(bytes + (searched - from), bytes + available, itemEnd, size_t(itemEndLength));
        if (last)
            return from + (last - bytes) + itemEndLength;
        if (available < wanted || from + available >= to)
            return to;
        searched = qMax(from, from + available - itemEndLength + 1);
        wanted = qMin(available + m_blockSize, to - from);
    }
}

void Walk::handPart(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift)
{
    qint64 available = 0;
    pBuff = m_reader.terminatedAt(from, to - from, &available);
    // A short read hands on the bytes there are.
    pBuffSize = available;
    pBuffFileOffset = from;
    m_sink.takeDocument(kind, folderPath, to + endShift);
    m_reader.releaseTerminator();
    pBuff = nullptr;
    pBuffSize = 0;
    pBuffFileOffset = 0;
}

void Walk::reportDispatched(DocumentKind kind, const QString &entryName, qint64 start, qint64 size, qint64 end)
{
    if (m_hooks.dispatched)
        m_hooks.dispatched({kind, entryName, start, size, end});
}

} // namespace

WalkResult walkContainer(ByteSource &source, DocumentSink &sink, const WalkHooks &hooks)
{
    PID = llRootId;
    bProcessRunning = true;
    if (hooks.started)
        hooks.started(source.size() / kProgressUnit);
    dwOffset = 0;
    sink.walkBegins(source);
    const WalkResult result = Walk(source, sink, hooks).run();
    sink.walkEnded();
    bProcessRunning = false;
    return result;
}
