// An appointment as the bundle's iCalendar file: one VTIMEZONE and one VEVENT, with
// Entourage's and Microsoft's own properties beside the standard ones. Times are
// written in UTC, as the export gives them.
#include "archive/ContentLines.h"
#include "archive/ItemConverters.h"
#include "archive/StandardText.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const char kNoZoneOffset[] = "+0000";

// "+0530" as a VTIMEZONE offset; anything else stands for UTC.
QByteArray zoneOffset(const CalenderInformation &event)
{
    static const QRegularExpression offset(QStringLiteral("^[+-][0-9]{4}$"));
    const QString stored = latin1Field(event.TimeZoneOffset);
    return offset.match(stored).hasMatch() ? stored.toLatin1() : QByteArray(kNoZoneOffset);
}

void timeZone(ContentLines &lines, const CalenderInformation &event)
{
    lines.add("BEGIN:VTIMEZONE");
    if (event.TimeZoneName[0])
        lines.add("TZID:", escapedValue(latin1Field(event.TimeZoneName)));
    else
        lines.add("TZID:UTC");
    if (event.TimeZoneCode[0]) {
        lines.add("X-ENTOURAGE-TZID:", latin1Field(event.TimeZoneCode));
        lines.add("X-ENTOURAGE-CFTIMEZONE:");
    }
    lines.add("BEGIN:STANDARD");
    lines.add("TZNAME:Standard");
    const QByteArray offset = event.TimeZoneName[0] ? zoneOffset(event) : QByteArray(kNoZoneOffset);
    lines.add("TZOFFSETFROM:" + offset);
    lines.add("TZOFFSETTO:" + offset);
    lines.add("DTSTART:20080101T000000");
    lines.add("END:STANDARD");
    lines.add("END:VTIMEZONE");
}

// A text the element kept with its escapes, as one value.
template <int Width>
QString elementValue(const char (&field)[Width])
{
    return escapedValue(decodeXmlText(utf8Field(field)));
}

QString description(const CalenderInformation &event, const TextReader &olm)
{
    if (event.DescriptionSize > kLargestBundleDescription)
        return QString();
    return escapedValue(decodeXmlText(fileStretchText(olm, event.DescriptionOffset, event.DescriptionSize)));
}

// A parameter value between quotation marks may hold anything but a quotation
// mark or a control character.
QString quotedParameter(QString value)
{
    value.remove(QLatin1Char('"'));
    for (QChar &c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// One line per attendee; the name goes in where the two lists pair up and the
// name says more than the address.
void attendees(ContentLines &lines, const CalenderInformation &event)
{
    QStringList addresses = joinedListPiecesKeepingReferences(latin1Field(event.AttendeeAddresses));
    QStringList names = joinedListPiecesKeepingReferences(utf8Field(event.AttendeeNames));
    for (QString &address : addresses)
        address = decodeXmlText(address);
    for (QString &name : names)
        name = decodeXmlText(name);
    for (int i = 0; i + 1 < addresses.size(); ++i) {
        QString line = QStringLiteral("ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;");
        if (names.size() == addresses.size() && !names.at(i).isEmpty() && names.at(i) != addresses.at(i))
            line += QLatin1String("CN=") + quotedParameter(names.at(i)) + QLatin1Char(';');
        line += QLatin1String("PARTSTAT=NEEDS-ACTION:MAILTO:") + addresses.at(i);
        lines.add(QByteArray(), line);
    }
}

QByteArray busyStatusLine(char status)
{
    switch (status) {
    case '0': return "X-MICROSOFT-CDO-BUSYSTATUS:BUSY";
    case '1': return "X-MICROSOFT-CDO-BUSYSTATUS:FREE";
    case '2': return "X-MICROSOFT-CDO-BUSYSTATUS:TANTATIVE";
    case '3': return "X-MICROSOFT-CDO-BUSYSTATUS:OOF";
    default: return QByteArray();
    }
}

QByteArray allDayLine(char flag)
{
    switch (flag) {
    case '0': return "X-MICROSOFT-CDO-ALLDAYEVENT:FALSE";
    case '1': return "X-MICROSOFT-CDO-ALLDAYEVENT:TRUE";
    default: return QByteArray();
    }
}

bool isOneCharacter(const char (&flag)[2])
{
    return flag[0] && !flag[1];
}
} // namespace

QByteArray eventCalendarFor(const CalenderInformation &event, const TextReader &olm)
{
    ContentLines lines;
    lines.add("BEGIN:VCALENDAR");
    lines.add("VERSION:2.0");
    lines.add("PRODID:-//Microsoft Corporation//Entourage Mac 11.0 MIMEDIR//EN");
    lines.add("METHOD:PUBLISH");
    timeZone(lines, event);

    lines.add("BEGIN:VEVENT");
    const QByteArray uid = uidOf(event.Identifier);
    lines.add("UID:" + uid);
    lines.add("X-ENTOURAGE_UUID:" + uid);
    const QByteArray modified = latin1Field(event.ModStampUtc).toLatin1();
    lines.add(stampLine(modified));
    if (event.StartUtc[0])
        lines.add("DTSTART:" + latin1Field(event.StartUtc).toLatin1() + 'Z');
    if (event.EndUtc[0])
        lines.add("DTEND:" + latin1Field(event.EndUtc).toLatin1() + 'Z');
    if (isCompactStamp(modified))
        lines.add("LAST-MODIFIED:" + modified + 'Z');
    if (event.Summary[0])
        lines.add("SUMMARY:", elementValue(event.Summary));
    if (event.DescriptionSize != 0)
        lines.add("DESCRIPTION:", description(event, olm));
    if (event.Location[0])
        lines.add("LOCATION:", elementValue(event.Location));
    if (event.Organizer[0])
        lines.add("ORGANIZER:MAILTO:", escapedValue(utf8Field(event.Organizer)));
    lines.add("SEQUENCE:0");
    if (event.AttendeeAddresses[0])
        attendees(lines, event);
    if (isOneCharacter(event.FreeBusy) && !busyStatusLine(event.FreeBusy[0]).isEmpty())
        lines.add(busyStatusLine(event.FreeBusy[0]));
    if (isOneCharacter(event.AllDay) && !allDayLine(event.AllDay[0]).isEmpty())
        lines.add(allDayLine(event.AllDay[0]));
    lines.add("X-MICROSOFT-CDO-INSTTYPE:0");
    if (event.ReminderDuration[0]) {
        lines.add("BEGIN:VALARM");
        lines.add("ACTION:DISPLAY");
        lines.add("DESCRIPTION:REMINDER");
        lines.add("TRIGGER;RELATED=START:-" + latin1Field(event.ReminderDuration).toLatin1());
        lines.add("END:VALARM");
    }
    lines.add("END:VEVENT");
    lines.add("END:VCALENDAR");
    return lines.bytes();
}
