#include "olm/CentralDirectory.h"

#include "olm/BlockReader.h"
#include "olm/ByteSearch.h"
#include "olm/ZipRecords.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 kLongestComment = 0xFFFF;
constexpr char kCentralSignatureBytes[] = "PK\x01\x02";
// A record with the longest name, extra field and comment.
constexpr qint64 kLongestRecord = kCentralHeaderFixedSize + 3 * 0xFFFF;
// The end of a file without a directory is read this far at most past the longest record.
constexpr qint64 kLongestBackwardStep = 256 * 1024;

// The directory record at offset with its Zip64 values; *next gets the offset just
// past it. containerShaped asks for the shape of the export's own records (stored,
// 32-bit sizes in the Zip64 field), which attachments that are ZIP archives lack.
bool readRecord(BlockReader &reader, qint64 offset, bool containerShaped, DirectoryRecord *record, qint64 *next)
{
    qint64 available = 0;
    const uchar *fixed = reader.bytesAt(offset, kCentralHeaderFixedSize, &available);
    if (available < kCentralHeaderFixedSize || le32(fixed) != kCentralHeaderSignature)
        return false;
    record->recordOffset = offset;
    record->flags = le16(fixed + 8);
    record->method = le16(fixed + 10);
    record->crc = le32(fixed + 16);
    const quint32 compressed32 = le32(fixed + 20);
    const quint32 uncompressed32 = le32(fixed + 24);
    const qint64 nameLength = le16(fixed + 28);
    const qint64 extraLength = le16(fixed + 30);
    const qint64 commentLength = le16(fixed + 32);
    const quint32 offset32 = le32(fixed + 42);
    if (containerShaped && (record->method != kMethodStored || compressed32 != kSizeInZip64 || uncompressed32 != kSizeInZip64))
        return false;
    const uchar *extra = reader.bytesAt(offset + kCentralHeaderFixedSize + nameLength, extraLength, &available);
    if (available < extraLength)
        return false;
    quint64 values[3] = {uncompressed32, compressed32, offset32};
    const bool inZip64[3] = {uncompressed32 == kSizeInZip64, compressed32 == kSizeInZip64, offset32 == kSizeInZip64};
    for (qint64 at = 0; extra && at + 4 <= extraLength;) {
        const quint16 tag = le16(extra + at);
        const qint64 size = qMin<qint64>(le16(extra + at + 2), extraLength - at - 4);
        if (tag == kZip64Tag) {
            // Only the values whose 32-bit field is full stand in the Zip64 field, in this order.
            qint64 field = at + 4;
            for (int i = 0; i < 3; ++i) {
                if (inZip64[i] && field + 8 <= at + 4 + size) {
                    values[i] = le64(extra + field);
                    field += 8;
                }
            }
            break;
        }
        at += 4 + size;
    }
    const qint64 fileSize = reader.fileSize();
    record->uncompressedSize = values[0];
    record->compressedSize = values[1];
    record->headerOffset = qint64(values[2]);
    *next = offset + kCentralHeaderFixedSize + nameLength + extraLength + commentLength;
    return values[2] < quint64(fileSize) && values[1] <= quint64(fileSize);
}

// An export spends far more than this on each entry (its local header, the directory
// record and two copies of its name); a file of nothing but tiny records is hostile.
constexpr qint64 kFewestBytesPerEntry = 256;

// Every record in [from, to): where one ends the next is expected; where none is,
// the next container-shaped one is searched for.
void readRecords(BlockReader &reader, qint64 from, qint64 to, std::vector<DirectoryRecord> *records)
{
    const size_t mostRecords = size_t(reader.fileSize() / kFewestBytesPerEntry + 16);
    bool expected = true;
    qint64 at = from;
    while (at < to && records->size() < mostRecords) {
        DirectoryRecord record;
        qint64 next = 0;
        if (readRecord(reader, at, !expected, &record, &next) && next > at) {
            records->push_back(record);
            at = next;
            expected = true;
            continue;
        }
        expected = false;
        qint64 available = 0;
        const char *bytes = reinterpret_cast<const char *>(reader.blockFrom(at + 1, &available));
        if (!bytes || available <= 0)
            return;
        const char *end = bytes + qMin(available, to - at - 1);
        const char *hit = findTag(bytes, end, kCentralSignatureBytes, 4);
        // A signature cut by the end of the held bytes is found by the next read.
        at = hit ? at + 1 + (hit - bytes) : at + 1 + qMax<qint64>(1, end - bytes - 3);
    }
}

// The lowest container-shaped directory record in the stretch of records that ends
// the file (or ends at searchEnd), searched backwards a step at a time; -1 when the
// end of the file holds none.
qint64 lowestRecordBefore(BlockReader &reader, qint64 searchEnd, qint64 step)
{
    qint64 lowest = -1;
    for (qint64 stepEnd = searchEnd; stepEnd > 0; stepEnd -= step) {
        const qint64 stepStart = qMax<qint64>(0, stepEnd - step);
        // The step reads a record's fixed part past its end, so that a record it cuts is seen whole.
        const qint64 wanted = qMin(stepEnd + kCentralHeaderFixedSize, searchEnd) - stepStart;
        qint64 available = 0;
        const char *bytes = reinterpret_cast<const char *>(reader.bytesAt(stepStart, wanted, &available));
        if (!bytes)
            return lowest;
        const char *end = bytes + qMin(available, stepEnd - stepStart + 3);
        qint64 found = -1;
        for (const char *hit = findTag(bytes, end, kCentralSignatureBytes, 4); hit;
             hit = findTag(hit + 1, end, kCentralSignatureBytes, 4)) {
            DirectoryRecord record;
            qint64 next = 0;
            const qint64 offset = stepStart + (hit - bytes);
            if (readRecord(reader, offset, true, &record, &next)) {
                found = offset;
                break;
            }
            // Checking a record may move the held bytes.
            bytes = reinterpret_cast<const char *>(reader.bytesAt(stepStart, wanted, &available));
            hit = bytes + (offset - stepStart);
            end = bytes + qMin(available, stepEnd - stepStart + 3);
        }
        // A step inside one long record finds none: the search ends only past the longest.
        if (found < 0 && (lowest >= 0 ? lowest : searchEnd) - stepStart > kLongestRecord)
            return lowest;
        if (found >= 0)
            lowest = found;
    }
    return lowest;
}

struct EndRecords {
    qint64 directoryEnd = -1; // where the directory ends: the Zip64 end record, or the end record
    qint64 directorySize = -1;
    qint64 directoryOffset = -1;
};

EndRecords findEndRecords(BlockReader &reader)
{
    EndRecords found;
    const qint64 fileSize = reader.fileSize();
    const qint64 tailStart = qMax<qint64>(0, fileSize - kEndRecordSize - kLongestComment);
    qint64 available = 0;
    const char *tail = reinterpret_cast<const char *>(reader.bytesAt(tailStart, fileSize - tailStart, &available));
    if (!tail || available < kEndRecordSize)
        return found;
    qint64 end = -1;
    for (const char *hit = findLastTag(tail, tail + available - kEndRecordSize + 4, "PK\x05\x06", 4); hit;
         hit = hit > tail ? findLastTag(tail, hit + 3, "PK\x05\x06", 4) : nullptr) {
        const uchar *record = reinterpret_cast<const uchar *>(hit);
        if ((hit - tail) + kEndRecordSize + le16(record + 20) <= available) {
            end = tailStart + (hit - tail);
            found.directoryEnd = end;
            found.directorySize = le32(record + 12);
            found.directoryOffset = le32(record + 16);
            break;
        }
    }
    if (end < 0)
        return found;
    const qint64 locatorAt = end - kZip64LocatorSize;
    if (locatorAt < 0 || reader.uint32At(locatorAt) != kZip64LocatorSignature)
        return found;
    const uchar *locator = reader.bytesAt(locatorAt, kZip64LocatorSize, &available);
    const qint64 named = qint64(qMin<quint64>(le64(locator + 8), quint64(fileSize)));
    // The Zip64 end record where the locator names it, or where it stands before the locator.
    for (const qint64 at : {named, locatorAt - kZip64EndRecordSize}) {
        if (at < 0 || reader.uint32At(at) != kZip64EndRecordSignature)
            continue;
        const uchar *record = reader.bytesAt(at, kZip64EndRecordSize, &available);
        if (available < kZip64EndRecordSize)
            continue;
        found.directoryEnd = at;
        found.directorySize = qint64(qMin<quint64>(le64(record + 40), quint64(fileSize)));
        found.directoryOffset = qint64(qMin<quint64>(le64(record + 48), quint64(fileSize)));
        break;
    }
    return found;
}

} // namespace

CentralDirectory CentralDirectory::read(ByteSource &source)
{
    CentralDirectory directory;
    BlockReader reader(source);
    const EndRecords end = findEndRecords(reader);
    qint64 start = -1;
    qint64 stop = end.directoryEnd >= 0 ? end.directoryEnd : reader.fileSize();
    // The offset the end record names, or where a directory of the size it names would
    // start (a file with bytes added in front, or an offset field damaged).
    for (const qint64 candidate : {end.directoryOffset, end.directoryEnd - end.directorySize}) {
        if (end.directoryEnd >= 0 && candidate >= 0 && candidate < end.directoryEnd
            && reader.uint32At(candidate) == kCentralHeaderSignature) {
            start = candidate;
            break;
        }
    }
    if (start < 0)
        start = lowestRecordBefore(reader, stop, qBound<qint64>(kCentralHeaderFixedSize, source.blockSizes().block, kLongestBackwardStep));
    if (start < 0)
        return directory;
    readRecords(reader, start, stop, &directory.m_records);
    std::stable_sort(directory.m_records.begin(), directory.m_records.end(),
                     [](const DirectoryRecord &a, const DirectoryRecord &b) { return a.headerOffset < b.headerOffset; });
    directory.m_records.erase(std::unique(directory.m_records.begin(), directory.m_records.end(),
                                          [](const DirectoryRecord &a, const DirectoryRecord &b) {
                                              return a.headerOffset == b.headerOffset;
                                          }),
                              directory.m_records.end());
    directory.m_records.shrink_to_fit();
    directory.m_start = start;
    return directory;
}

const DirectoryRecord *CentralDirectory::recordAt(qint64 offset) const
{
    const auto it = std::lower_bound(m_records.begin(), m_records.end(), offset,
                                     [](const DirectoryRecord &r, qint64 o) { return r.headerOffset < o; });
    return it != m_records.end() && it->headerOffset == offset ? &*it : nullptr;
}

qint64 CentralDirectory::nextHeaderAfter(qint64 offset) const
{
    const auto it = std::upper_bound(m_records.begin(), m_records.end(), offset,
                                     [](qint64 o, const DirectoryRecord &r) { return o < r.headerOffset; });
    return it != m_records.end() ? it->headerOffset : -1;
}

qint64 CentralDirectory::boundAfter(const DirectoryRecord &record) const
{
    const qint64 next = nextHeaderAfter(record.headerOffset);
    return next >= 0 && next < m_start ? next : m_start;
}

QByteArray CentralDirectory::nameBytesOf(const DirectoryRecord &record, ByteSource &source) const
{
    uchar fixed[kCentralHeaderFixedSize];
    if (source.readAt(record.recordOffset, reinterpret_cast<char *>(fixed), kCentralHeaderFixedSize) != kCentralHeaderFixedSize)
        return QByteArray();
    QByteArray name(le16(fixed + 28), Qt::Uninitialized);
    name.resize(int(source.readAt(record.recordOffset + kCentralHeaderFixedSize, name.data(), name.size())));
    return name;
}

QString CentralDirectory::nameOf(const DirectoryRecord &record, ByteSource &source) const
{
    QByteArray name = nameBytesOf(record, source);
    const int zero = name.indexOf('\0');
    if (zero >= 0)
        name.truncate(zero);
    return (record.flags & kUtf8NamesFlag) ? QString::fromUtf8(name) : QString::fromLatin1(name);
}
