#include "olm/ContainerWalk.h"

#include "olm/BlockReader.h"
#include "olm/ByteSearch.h"
#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"

#include <QElapsedTimer>
#include <cstring>

namespace {

constexpr quint32 kLocalHeaderSignature = 0x04034B50;
constexpr quint32 kCentralHeaderSignature = 0x02014B50;
constexpr qint64 kLocalHeaderFixedSize = 30;
constexpr qint64 kCentralHeaderFixedSize = 46;
constexpr quint16 kZip64Tag = 1;
constexpr qint64 kZip64RecordSize = 20;
constexpr quint8 kContainerVersion = 45;
constexpr quint32 kSizeInZip64 = 0xFFFFFFFF;
constexpr quint16 kUtf8NamesFlag = 0x0800;
// The walk ends at the third central directory header met since the last entry or document.
constexpr int kCentralHeadersThatEndTheWalk = 3;

quint16 le16(const uchar *b) { return quint16(b[0] | b[1] << 8); }
quint32 le32(const uchar *b) { return quint32(le16(b)) | quint32(le16(b + 2)) << 16; }
quint64 le64(const uchar *b) { return quint64(le32(b)) | quint64(le32(b + 4)) << 32; }

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

    // Sizes are untrusted: an entry counts only when its data lies inside the file,
    // and a stored entry's data is its uncompressed bytes, so its two sizes agree.
    // Otherwise an uncompressed size larger than the stored one would reach back
    // before the data and hand on bytes of earlier entries again.
    bool sizesFit(qint64 fileSize) const
    {
        const quint64 room = quint64(fileSize - dataStart);
        const bool sizesAgree = method == 0 ? uncompressedSize == compressedSize : uncompressedSize <= compressedSize;
        return dataStart <= fileSize && compressedSize <= room && uncompressedSize <= room && sizesAgree;
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
          m_reader(source),
          m_sink(sink),
          m_hooks(hooks)
    {
    }

    WalkResult run();

private:
    bool tickAndTestStop();
    bool nextHeaderFollows(const LocalHeader &header);
    void walkEntry(const LocalHeader &header);
    // Examines the byte at q for a document start tag; true when a document was handed on.
    bool rawScanAt(qint64 q);
    // Hands on the document starting at q with the start tag of length startLength,
    // reading on until its end tag; returns the offset just past the document.
    qint64 streamRawDocument(DocumentKind kind, qint64 q, qint64 startLength, const QByteArray &endTag);
    qint64 containerHeaderIn(qint64 from, const char *bytes, const char *begin, const char *limit, const char *end);
    void advanceToNextCandidate(qint64 from);
    // Hands the document in [from, to) to the sink, in parts of whole items where it is
    // long; each part's end offset is shifted by endShift, as the whole document's is.
    void handDocument(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift);
    void handPart(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift);
    // The end of the last item of the document in [from, from + m_documentPart), or of
    // the first item after that when one item is longer; to when there is none.
    qint64 partEnd(DocumentKind kind, qint64 from, qint64 to);
    void reportDispatched(DocumentKind kind, const QString &entryName, qint64 start, qint64 size, qint64 end);

    qint64 m_fileSize;
    qint64 m_blockSize;
    qint64 m_documentPart;
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
        if (m_sink.full())
            return WalkResult::SinkFull;
        const qint64 here = dwOffset;
        const quint32 signature = m_reader.uint32At(here);
        if (signature == kLocalHeaderSignature) {
            LocalHeader header;
            if (readLocalHeader(m_reader, here, &header)
                && (m_headerExpected || header.looksLikeContainerHeader(m_fileSize))) {
                m_centralHeaderCount = 0;
                if (header.crc != 0 && header.sizesFit(m_fileSize)) {
                    walkEntry(header);
                    continue;
                }
                dwOffset = header.dataStart;
                if (header.crc == 0 && nextHeaderFollows(header)) {
                    m_headerExpected = true;
                    continue;
                }
                // A zero CRC-32, or sizes the file cannot hold or that disagree: the data is raw-scanned.
                if (!rawScanAt(header.dataStart))
                    advanceToNextCandidate(header.dataStart + 1);
                continue;
            }
        } else if (signature == kCentralHeaderSignature
                   && (m_headerExpected || looksLikeContainerCentralHeader(m_reader, here))) {
            m_headerExpected = false;
            dwOffset = here + 1;
            if (++m_centralHeaderCount >= kCentralHeadersThatEndTheWalk)
                dwOffset = m_fileSize;
            continue;
        }
        if (!rawScanAt(here))
            advanceToNextCandidate(here + 1);
    }
    if (m_hooks.tick)
        m_hooks.tick(m_fileSize / kProgressUnit);
    return WalkResult::Finished;
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

void Walk::walkEntry(const LocalHeader &header)
{
    const qint64 dataEnd = header.dataStart + qint64(header.compressedSize);
    const qint64 size = qint64(header.uncompressedSize);
    dwOffset = dataEnd;
    m_headerExpected = true;
    const EntryClass entry = classifyEntry(header.name);
    switch (entry.kind) {
    case DocumentKind::Skipped:
        break;
    case DocumentKind::Attachment:
        m_sink.takeAttachment(header.name, dataEnd - size, size);
        if (m_hooks.dispatched)
            m_hooks.dispatched({DocumentKind::Attachment, header.name, dataEnd - size, size, dataEnd});
        break;
    default: {
        const qint64 documentSize = qBound<qint64>(0, size, m_fileSize - header.dataStart);
        const qint64 documentEnd = header.dataStart + documentSize;
        handDocument(entry.kind, entry.folderPath, header.dataStart, documentEnd, dataEnd - documentEnd);
        m_sink.documentEnded();
        reportDispatched(entry.kind, header.name, header.dataStart, documentSize, dataEnd);
        break;
    }
    }
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
                handDocument(kind, QString(), from, header, 0);
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
    qint64 scanned = 0;
    for (;;) {
        qint64 available = 0;
        const uchar *bytes = m_reader.blockFrom(from, &available);
        if (!bytes || available <= 0) {
            dwOffset = m_fileSize;
            return;
        }
        if (scanned >= m_blockSize) {
            dwOffset = from;
            return;
        }
        const qint64 candidate = nextCandidateIn(bytes, available);
        if (candidate < available) {
            dwOffset = from + candidate;
            return;
        }
        from += available;
        scanned += available;
    }
}

void Walk::handDocument(DocumentKind kind, const QString &folderPath, qint64 from, qint64 to, qint64 endShift)
{
    // An empty document is handed on too: its folder is registered all the same.
    do {
        const qint64 cut = to - from > m_documentPart ? partEnd(kind, from, to) : to;
        handPart(kind, folderPath, from, cut, endShift);
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
    m_sink.takeDocument(kind, folderPath, to + endShift);
    m_reader.releaseTerminator();
    pBuff = nullptr;
    pBuffSize = 0;
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
