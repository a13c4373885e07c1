#pragma once
// The ZIP records an .olm container is made of: their signatures, the shape an
// export gives them, and little-endian reads of their fields.
#include <QtGlobal>

constexpr quint32 kLocalHeaderSignature = 0x04034B50;
constexpr quint32 kCentralHeaderSignature = 0x02014B50;
constexpr quint32 kEndRecordSignature = 0x06054B50;
constexpr quint32 kZip64EndRecordSignature = 0x06064B50;
constexpr quint32 kZip64LocatorSignature = 0x07064B50;
constexpr qint64 kLocalHeaderFixedSize = 30;
constexpr qint64 kCentralHeaderFixedSize = 46;
constexpr qint64 kEndRecordSize = 22;
constexpr qint64 kZip64LocatorSize = 20;
constexpr qint64 kZip64EndRecordSize = 56;
constexpr quint16 kZip64Tag = 1;
constexpr qint64 kZip64RecordSize = 20; // the local header's Zip64 extra field: tag, size, U, Z
constexpr quint8 kContainerVersion = 45;
constexpr quint32 kSizeInZip64 = 0xFFFFFFFF;
constexpr quint16 kUtf8NamesFlag = 0x0800;
constexpr quint16 kDataDescriptorFlag = 0x0008;
constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;

inline quint16 le16(const uchar *b) { return quint16(b[0] | b[1] << 8); }
inline quint32 le32(const uchar *b) { return quint32(le16(b)) | quint32(le16(b + 2)) << 16; }
inline quint64 le64(const uchar *b) { return quint64(le32(b)) | quint64(le32(b + 4)) << 32; }
