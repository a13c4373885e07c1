#pragma once
// The container's central directory as a second map of its entries: where each
// local header stands, with the entry's sizes, checksum and method. It is read
// where it survives, whole or in part, so that an entry whose local header is
// damaged keeps its name, folder and size.
#include "olm/ByteSource.h"

#include <QString>
#include <vector>

struct DirectoryRecord {
    qint64 headerOffset = 0;  // where the directory says the local header stands
    qint64 recordOffset = 0;  // where the directory record itself stands (its name follows it)
    quint64 compressedSize = 0;
    quint64 uncompressedSize = 0;
    quint32 crc = 0;
    quint16 method = 0;
    quint16 flags = 0;
};

class CentralDirectory
{
public:
    // Finds the directory through the end record (and its Zip64 record and locator)
    // or, when those are gone or point nowhere, by the signatures of directory
    // records of the container's own shape at the end of the file. Records are
    // kept in one array, 40 bytes each; names stay in the file until asked for.
    static CentralDirectory read(ByteSource &source);

    bool isEmpty() const { return m_records.empty(); }
    qint64 recordCount() const { return qint64(m_records.size()); }
    // The first byte of the directory: no entry's data reaches past it.
    qint64 start() const { return m_start; }
    // The record whose local header stands at offset; null when none does.
    const DirectoryRecord *recordAt(qint64 offset) const;
    // The first local header the directory places after offset; -1 when none.
    qint64 nextHeaderAfter(qint64 offset) const;
    // Where the entry of record ends at the latest: the next header the
    // directory names, or the directory itself.
    qint64 boundAfter(const DirectoryRecord &record) const;
    // The record's entry name as the directory stores it, read back from the file.
    QByteArray nameBytesOf(const DirectoryRecord &record, ByteSource &source) const;
    QString nameOf(const DirectoryRecord &record, ByteSource &source) const;

private:
    std::vector<DirectoryRecord> m_records; // sorted by headerOffset, one per offset
    qint64 m_start = -1;
};
