#pragma once
// Reads back a stretch of the .olm file that a record keeps as offset and size:
// bodies, attachments, descriptions, note texts and pictures.
#include <QByteArray>
#include <QtGlobal>

class TextReader
{
public:
    virtual ~TextReader() = default;
    // The bytes from offset on, at most size of them: fewer where the source ends
    // (a short read gives only what was read), none for a negative offset or size.
    virtual QByteArray read(qint64 offset, qint64 size) const = 0;
};

// Positioned reads of an open descriptor, clamped to the file's size; safe to use
// from several threads at once.
class FileTextReader : public TextReader
{
public:
    FileTextReader(int fd, qint64 fileSize) : m_fd(fd), m_fileSize(fileSize) {}
    QByteArray read(qint64 offset, qint64 size) const override;

private:
    int m_fd;
    qint64 m_fileSize;
};

// The same over bytes in memory, for tests and converters fed from a buffer.
class ByteArrayTextReader : public TextReader
{
public:
    explicit ByteArrayTextReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QByteArray read(qint64 offset, qint64 size) const override;

private:
    QByteArray m_bytes;
};
