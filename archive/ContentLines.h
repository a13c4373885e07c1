#pragma once
// What the bundle's vCard and iCalendar converters share: lines ended by CR LF
// (never folded), the UID and the stamp every calendar item carries. Values are
// escaped with escapedValue (archive/StandardText.h).
#include "platform/UuidBytes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstring>

// The lines of one iCalendar file.
class ContentLines
{
public:
    void add(const QByteArray &line);
    // name is the line's text up to its value ("SUMMARY:"); the value goes in as UTF-8.
    void add(const QByteArray &name, const QString &value);
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// A content line as one line: every control character but TAB that a value kept
// (a line break above all, which would end the line and let the value add
// properties or whole components) becomes a space.
QByteArray contentLineText(const QByteArray &line);

// An item's UID: its identifier in the 8-4-4-4-12 form, upper case.
template <int Width>
QByteArray uidOf(const char (&identifier)[Width])
{
    return uuidText(QByteArray(identifier, int(strnlen(identifier, Width))).toUpper());
}

// The DTSTAMP line from an item's UTC modification stamp (20100512T143000); an
// item that carries none is stamped at the epoch, so every item still has one.
QByteArray stampLine(const QByteArray &utcStamp);

// True for a compact stamp of a real moment, such as 20100512T143000, and nothing else.
bool isCompactStamp(const QByteArray &text);
// A compact UTC stamp (20100512T143000, or with a closing Z as the notes keep it) as a
// moment; invalid for any other text.
QDateTime compactStampUtc(QByteArray stamp);
