#pragma once
// Builds small .olm containers byte by byte for tests: local headers shaped
// like a real export's (version 45, stored, Zip64 sizes), and raw bytes between.
#include <QByteArray>
#include <QTemporaryFile>
#include <QtEndian>
#include <memory>
#include <vector>
#include <zlib.h>

class OlmBuilder
{
public:
    struct Header {
        quint16 version = 45;
        quint16 method = 0;
        bool zeroCrc = false;
        quint64 uncompressedSize = ~quint64(0); // default: the data's length
        quint64 compressedSize = ~quint64(0);
    };

    // Appends a local header and its data; returns the header's offset.
    qint64 entry(const QByteArray &name, const QByteArray &data, Header header)
    {
        const qint64 start = bytes.size();
        const quint64 u = header.uncompressedSize == ~quint64(0) ? quint64(data.size()) : header.uncompressedSize;
        const quint64 z = header.compressedSize == ~quint64(0) ? quint64(data.size()) : header.compressedSize;
        const quint32 realCrc = quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
        const quint32 crc = header.zeroCrc ? 0 : realCrc;
        written.push_back({start, name, realCrc, z, u, header.method});
        put32(0x04034B50);
        put16(header.version);
        put16(0x0800);
        put16(header.method);
        put16(0);
        put16(0);
        put32(crc);
        put32(0xFFFFFFFF);
        put32(0xFFFFFFFF);
        put16(quint16(name.size()));
        put16(20);
        bytes += name;
        put16(1);
        put16(16);
        put64(u);
        put64(z);
        bytes += data;
        return start;
    }
    qint64 entry(const QByteArray &name, const QByteArray &data) { return entry(name, data, Header()); }

    // A central directory header shaped like the container's own.
    void centralHeader(const QByteArray &name = "x")
    {
        put32(0x02014B50);
        put16(45);
        put16(45);
        put16(0x0800);
        put16(0); // method
        put16(0);
        put16(0);
        put32(0);
        put32(0xFFFFFFFF);
        put32(0xFFFFFFFF);
        put16(quint16(name.size()));
        put16(0);
        put16(0);
        put16(0);
        put16(0);
        put32(0);
        put32(0xFFFFFFFF);
        bytes += name;
    }

    // The directory of every entry written so far, as an export ends: a record per
    // entry with a 28-byte Zip64 field, the Zip64 end record, its locator and the end
    // record. Returns the directory's offset.
    qint64 centralDirectory()
    {
        const qint64 start = bytes.size();
        for (const Written &entry : written) {
            put32(0x02014B50);
            put16(0x032D);
            put16(45);
            put16(0x0800);
            put16(entry.method);
            put32(0);
            put32(entry.crc);
            put32(0xFFFFFFFF);
            put32(0xFFFFFFFF);
            put16(quint16(entry.name.size()));
            put16(28);
            put16(0);
            put16(0);
            put16(0);
            put32(0);
            put32(0xFFFFFFFF);
            bytes += entry.name;
            put16(1);
            put16(24);
            put64(entry.uncompressed);
            put64(entry.compressed);
            put64(quint64(entry.offset));
        }
        const qint64 end = bytes.size();
        put32(0x06064B50);
        put64(44);
        put16(0x032D);
        put16(45);
        put32(0);
        put32(0);
        put64(written.size());
        put64(written.size());
        put64(quint64(end - start));
        put64(quint64(start));
        put32(0x07064B50);
        put32(0);
        put64(quint64(end));
        put32(1);
        put32(0x06054B50);
        put16(0);
        put16(0);
        put16(0xFFFF);
        put16(0xFFFF);
        put32(0xFFFFFFFF);
        put32(0xFFFFFFFF);
        put16(0);
        return start;
    }

    void raw(const QByteArray &data) { bytes += data; }

    // Writes the bytes to a temporary file and returns it (kept open).
    std::unique_ptr<QTemporaryFile> file() const
    {
        auto f = std::make_unique<QTemporaryFile>();
        f->open();
        f->write(bytes);
        f->flush();
        return f;
    }

    QByteArray bytes;

private:
    struct Written {
        qint64 offset;
        QByteArray name;
        quint32 crc;
        quint64 compressed;
        quint64 uncompressed;
        quint16 method;
    };
    std::vector<Written> written;

    void put16(quint16 v) { char b[2]; qToLittleEndian(v, b); bytes.append(b, 2); }
    void put32(quint32 v) { char b[4]; qToLittleEndian(v, b); bytes.append(b, 4); }
    void put64(quint64 v) { char b[8]; qToLittleEndian(v, b); bytes.append(b, 8); }
};

inline QByteArray mailDocument(const QByteArray &subject)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<emails xml:space=\"preserve\" elementCount=\"1\">"
           "<email xml:space=\"preserve\"><OPFMessageCopySubject xml:space=\"preserve\">"
           + subject + "</OPFMessageCopySubject></email></emails>";
}
