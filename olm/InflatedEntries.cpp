#include "olm/InflatedEntries.h"

#include <QMutex>
#include <QMutexLocker>
#include <QVector>
#include <algorithm>
#include <memory>
#include <zlib.h>

namespace {

struct InflatedEntry {
    qint64 start; // the offset of its first inflated byte
    qint64 dataStart;
    qint64 compressedSize;
    qint64 inflatedSize;
};

QMutex entriesMutex;
QVector<InflatedEntry> entries; // by start, ascending
quint64 generation = 0;         // changes when the entries are cleared

constexpr qint64 kInputPiece = 64 * 1024;

bool entryAt(qint64 offset, InflatedEntry *found, quint64 *entryGeneration)
{
    QMutexLocker lock(&entriesMutex);
    *entryGeneration = generation;
    const auto it = std::upper_bound(entries.cbegin(), entries.cend(), offset,
                                     [](qint64 o, const InflatedEntry &e) { return o < e.start; });
    if (it == entries.cbegin())
        return false;
    const InflatedEntry &entry = *(it - 1);
    if (offset >= entry.start + entry.inflatedSize)
        return false;
    *found = entry;
    return true;
}

// The inflater a thread read from last, so that reading an attachment block by
// block inflates it once.
struct ThreadInflation {
    quint64 generation = 0;
    qint64 entryStart = -1;
    int fd = -1;
    std::unique_ptr<FileByteSource> source;
    std::unique_ptr<Inflater> inflater;
};
thread_local ThreadInflation lastInflation;

} // namespace

struct Inflater::Stream {
    z_stream z {};
    QByteArray input;
};

Inflater::Inflater(ByteSource &source, qint64 dataStart, qint64 compressedSize)
    : m_source(source), m_start(dataStart), m_next(dataStart), m_end(dataStart + qMax<qint64>(0, compressedSize)), m_stream(new Stream)
{
    // Raw deflate: a ZIP entry's bytes carry no zlib header.
    m_failed = inflateInit2(&m_stream->z, -MAX_WBITS) != Z_OK;
}

Inflater::~Inflater()
{
    inflateEnd(&m_stream->z);
    delete m_stream;
}

qint64 Inflater::read(char *buffer, qint64 length)
{
    z_stream &z = m_stream->z;
    z.next_out = reinterpret_cast<Bytef *>(buffer);
    z.avail_out = uInt(qMin<qint64>(length, 1 << 30));
    const uInt wanted = z.avail_out;
    while (!m_failed && !m_ended && z.avail_out > 0) {
        if (z.avail_in == 0) {
            const qint64 piece = qMin(kInputPiece, m_end - m_next);
            if (piece <= 0) {
                m_failed = true; // the stored bytes end before the stream does
                break;
            }
            m_stream->input.resize(int(piece));
            const qint64 got = m_source.readAt(m_next, m_stream->input.data(), piece);
            if (got <= 0) {
                m_failed = true;
                break;
            }
            m_next += got;
            z.next_in = reinterpret_cast<Bytef *>(m_stream->input.data());
            z.avail_in = uInt(got);
        }
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END)
            m_ended = true;
        else if (status != Z_OK)
            m_failed = true;
    }
    const qint64 produced = qint64(wanted - z.avail_out);
    m_produced += produced;
    return produced;
}

qint64 Inflater::consumed() const
{
    return m_next - m_start - qint64(m_stream->z.avail_in);
}

bool measureDeflated(ByteSource &source, qint64 dataStart, qint64 limit, qint64 *compressedSize, qint64 *inflatedSize)
{
    Inflater inflater(source, dataStart, limit - dataStart);
    QByteArray scratch(int(kInputPiece), Qt::Uninitialized);
    while (inflater.produced() <= kLargestInflatedEntry && inflater.read(scratch.data(), scratch.size()) > 0) {
    }
    if (!inflater.ended() || inflater.produced() > kLargestInflatedEntry)
        return false;
    *compressedSize = inflater.consumed();
    *inflatedSize = inflater.produced();
    return true;
}

qint64 registerInflatedEntry(qint64 dataStart, qint64 compressedSize, qint64 inflatedSize)
{
    QMutexLocker lock(&entriesMutex);
    const qint64 start = entries.isEmpty() ? kInflatedOffsetBase
                                           : entries.last().start + entries.last().inflatedSize + 1;
    entries.append({start, dataStart, compressedSize, inflatedSize});
    return start;
}

void clearInflatedEntries()
{
    QMutexLocker lock(&entriesMutex);
    entries.clear();
    entries.squeeze();
    ++generation;
}

bool isInflatedOffset(qint64 offset) { return offset >= kInflatedOffsetBase; }

qint64 inflatedLengthAt(qint64 offset)
{
    InflatedEntry entry;
    quint64 entryGeneration = 0;
    return entryAt(offset, &entry, &entryGeneration) ? entry.start + entry.inflatedSize - offset : 0;
}

qint64 readInflated(int fd, qint64 fileSize, qint64 offset, char *buffer, qint64 length)
{
    InflatedEntry entry;
    quint64 entryGeneration = 0;
    if (length <= 0 || !entryAt(offset, &entry, &entryGeneration))
        return 0;
    length = qMin(length, entry.start + entry.inflatedSize - offset);
    ThreadInflation &last = lastInflation;
    const qint64 wantedFrom = offset - entry.start;
    if (last.generation != entryGeneration || last.entryStart != entry.start || last.fd != fd
        || !last.inflater || last.inflater->produced() > wantedFrom) {
        last.generation = entryGeneration;
        last.entryStart = entry.start;
        last.fd = fd;
        last.inflater.reset();
        last.source = std::make_unique<FileByteSource>(fd, fileSize);
        last.inflater = std::make_unique<Inflater>(*last.source, entry.dataStart, entry.compressedSize);
    }
    // Bytes before the wanted ones are inflated and passed over.
    while (last.inflater->produced() < wantedFrom) {
        const qint64 skip = qMin<qint64>(length, wantedFrom - last.inflater->produced());
        if (last.inflater->read(buffer, skip) <= 0)
            return 0;
    }
    qint64 done = 0;
    while (done < length) {
        const qint64 got = last.inflater->read(buffer + done, length - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}
