// A note as the bundle's iCalendar file holding one VJOURNAL.
#include "archive/ContentLines.h"
#include "archive/ItemConverters.h"
#include "archive/StandardText.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

QByteArray noteCalendarFor(const NotesInformation &note, const TextReader &olm)
{
    ContentLines lines;
    lines.add("BEGIN:VCALENDAR");
    lines.add("VERSION:2.0");
    lines.add("PRODID:-//Microsoft Corporation//Entourage Mac 11.1 MIMEDIR//EN");
    lines.add("METHOD:PUBLISH");
    lines.add("BEGIN:VJOURNAL");
    lines.add("UID:" + uidOf(note.Identifier));
    lines.add(stampLine(latin1Field(note.ModStampUtc).toLatin1()));
    if (note.Title[0])
        lines.add("SUMMARY:", escapedValue(utf8Field(note.Title)));
    if (note.NotesSize != 0 || note.PlainTextSize != 0)
        lines.add("DESCRIPTION:", escapedValue(noteText(note, olm)));
    lines.add("END:VJOURNAL");
    lines.add("END:VCALENDAR");
    return lines.bytes();
}
