#pragma once
// Builds small .olm containers byte by byte for tests: local headers shaped
// like a real export's (version 45, stored, Zip64 sizes), and raw bytes between.
#include <QByteArray>
#include <QTemporaryFile>
#include <QtEndian>
#include <memory>

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
        // The walk only tells a zero CRC-32 from any other value.
        const quint32 crc = header.zeroCrc ? 0 : 0x1CEDC0DE;
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
