#pragma once
// Finder file type and creator of a written bundle file, kept where the system has
// no Finder as the extended attribute macOS itself uses for them.
#include <QString>
#include <QtGlobal>

// Four-character codes, first character in the most significant byte.
constexpr quint32 fourCharCode(const char (&code)[5])
{
    return quint32(quint8(code[0])) << 24 | quint32(quint8(code[1])) << 16 | quint32(quint8(code[2])) << 8
           | quint32(quint8(code[3]));
}
constexpr quint32 kMboxFileType = fourCharCode("MBOX");
constexpr quint32 kVCardFileType = fourCharCode("vCrd");
constexpr quint32 kICalendarFileType = fourCharCode("Ics ");
constexpr quint32 kBundleCreator = fourCharCode("OPIM");

// Sets type and creator on an open file. A file system that refuses extended
// attributes leaves the file without them: false, and nothing else changes.
bool setFinderInfo(int descriptor, quint32 fileType, quint32 creator);
