#include "olm/EntryPath.h"
#include "parsers/ElementText.h"
#include "parsers/ItemReaders.h"
#include "parsers/ItemLosses.h"
#include "parsers/ItemDetails.h"
#include "parsers/TimeConverter.h"

#include <QStringList>

namespace {
enum class EventField {
    Ignored,
    AttendeeList,
    Organizer,
    Description, // left in the file
    FreeBusy,
    Location,
    ModDate,
    ReminderDelta,
    Start,
    End,
    Summary,
    TimeZone,
    AllDay,
};

struct EventElement {
    const char *name;
    EventField field;
    bool inAttendeePieces; // also searched in the pieces around the attendee list
};

const EventElement kEventElements[] = {
    {"OPFCalendarEventCopyAttendeeList", EventField::AttendeeList, false},
    {"OPFCalendarEventCopyOrganizer", EventField::Organizer, false},
    {"OPFCalendarEventCopyDescription", EventField::Ignored, false},
    {"OPFCalendarEventCopyDescriptionPlain", EventField::Description, false},
    {"OPFCalendarEventCopyFreeBusyStatus", EventField::FreeBusy, true},
    {"OPFCalendarEventCopyLocation", EventField::Location, true},
    {"OPFCalendarEventCopyModDate", EventField::ModDate, true},
    {"OPFCalendarEventCopyOriginalReminderTime", EventField::Ignored, false},
    {"OPFCalendarEventCopyReminderDelta", EventField::ReminderDelta, false},
    {"OPFCalendarEventCopyStartTime", EventField::Start, true},
    {"OPFCalendarEventCopyEndTime", EventField::End, true},
    {"OPFCalendarEventCopySummary", EventField::Summary, true},
    {"OPFCalendarEventCopyTimeZone", EventField::TimeZone, true},
    {"OPFCalendarEventCopyUUID", EventField::Ignored, false},
    {"OPFCalendarEventGetIsAllDayEvent", EventField::AllDay, false},
    {"OPFCalendarEventCopyReminderTime", EventField::Ignored, false},
    {"OPFContactCopyCategoryList", EventField::Ignored, false},
};

struct ZoneCode {
    const char *offset;
    const char *name;
    const char *code;
};

const ZoneCode kZoneCodes[] = {
    {"+0530", "Chennai, Kolkata, Mumbai, New Delhi", "28"},
    {"-0600", "Central America", "68"},
};

const char kAttendeeListEnd[] = "</OPFCalendarEventCopyAttendeeList>";
const char kAttendeeEnd[] = "</appointmentAttendee>";

// The item cut at every end of an attendee list, the text after the last one
// included. The pieces view the item.
QVector<QByteArray> attendeeListPieces(const QByteArray &item)
{
    QVector<QByteArray> pieces;
    int from = 0;
    // With the item's size as the end, a piece's offset is its position in the item.
    const QVector<DocumentItem> cut =
        splitDocumentItems(item.constData(), item.size(), item.size(), kAttendeeListEnd);
    for (const DocumentItem &piece : cut) {
        pieces.append(piece.bytes);
        from = int(piece.fileOffset) + piece.bytes.size() + int(sizeof kAttendeeListEnd) - 1;
    }
    pieces.append(QByteArray::fromRawData(item.constData() + from, item.size() - from));
    return pieces;
}

// The date and time pieces joined as they stand: 2010-05-12T14:30:00 gives
// 20100512T143000. A text without both parts of three pieces gives nothing.
QString utcStamp(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('T'), Qt::KeepEmptyParts);
    if (parts.size() < 2)
        return QString();
    const QStringList date = parts.at(0).split(QLatin1Char('-'), Qt::KeepEmptyParts);
    const QStringList time = parts.at(1).split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (date.size() < 3 || time.size() < 3)
        return QString();
    return date.at(0) + date.at(1) + date.at(2) + QLatin1Char('T') + time.at(0) + time.at(1)
           + time.at(2);
}

// Seconds before the event as a duration counting its hours in total (a day is
// 24 hours). Seconds together with hours or minutes, or a reminder after the
// start, give nothing.
QString reminderDuration(int seconds)
{
    if (seconds < 0)
        return QString();
    const int h = seconds / 3600;
    const int m = seconds / 60 - 60 * h;
    const int s = seconds % 60;
    const QString pt = QStringLiteral("PT");
    if (h != 0 && m == 0 && s == 0)
        return pt + QString::number(h) + QStringLiteral("H00M00S");
    if (m != 0 && h == 0 && s == 0)
        return pt + QStringLiteral("00H") + QString::number(m) + QStringLiteral("M00S");
    if (s != 0 && h == 0 && m == 0)
        return pt + QStringLiteral("00H00M") + QString::number(s) + QLatin1Char('S');
    if (h != 0 && m != 0 && s == 0)
        return pt + QStringLiteral("00") + QString::number(h) + QLatin1Char('H')
               + QString::number(m) + QStringLiteral("M00S");
    if (h == 0 && m == 0 && s == 0)
        return pt + QStringLiteral("00H00M00S");
    return QString();
}

// "(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi": offset +0530, the name, and
// the code of the zones the writers know. Without ") " there is no name.
void storeTimeZone(CalenderInformation *event, QString text)
{
    const QStringList pieces = text.replace(QLatin1String(") "), QLatin1String("@"))
                                   .split(QLatin1Char('@'), Qt::KeepEmptyParts);
    QString offset = pieces.at(0);
    offset.remove(QLatin1String("(UTC"));
    if (!offset.isEmpty()) {
        offset.remove(QLatin1Char(':'));
        CopyToField(event->TimeZoneOffset, offset, FieldEncoding::Latin1);
    }
    const QString name = pieces.value(1);
    if (!name.isEmpty())
        CopyToField(event->TimeZoneName, name, FieldEncoding::Latin1);
    for (const ZoneCode &zone : kZoneCodes) {
        if (offset == QLatin1String(zone.offset) && name == QLatin1String(zone.name))
            CopyToField(event->TimeZoneCode, QString::fromLatin1(zone.code), FieldEncoding::Latin1);
    }
}

// The element's trimmed, non-empty text stored in its field.
void storeEventText(CalenderInformation *event, EventField field, const QString &text)
{
    switch (field) {
    case EventField::Organizer:
        CopyToFieldCut(event->Organizer, text);
        break;
    case EventField::FreeBusy:
        CopyToField(event->FreeBusy, text, FieldEncoding::Latin1);
        break;
    case EventField::AllDay:
        CopyToField(event->AllDay, text, FieldEncoding::Latin1);
        break;
    case EventField::Location:
        CopyToField(event->Location, text, FieldEncoding::Utf8);
        break;
    case EventField::Summary:
        CopyToField(event->Summary, text, FieldEncoding::Utf8);
        break;
    case EventField::ModDate:
        CopyToField(event->ModStampUtc, utcStamp(text), FieldEncoding::Latin1);
        CopyToField(event->ModStampLocal, QString::fromLatin1(timeconverter(text)), FieldEncoding::Latin1);
        break;
    case EventField::Start:
        CopyToField(event->Start, QString::fromLatin1(timeconverter(text)), FieldEncoding::Latin1);
        CopyToField(event->StartUtc, QString::fromLatin1(utcCompactStamp(text)), FieldEncoding::Latin1);
        break;
    case EventField::End:
        CopyToField(event->End, QString::fromLatin1(timeconverter(text)), FieldEncoding::Latin1);
        CopyToField(event->EndUtc, QString::fromLatin1(utcCompactStamp(text)), FieldEncoding::Latin1);
        break;
    case EventField::ReminderDelta:
        CopyToField(event->ReminderDuration, reminderDuration(text.toInt(nullptr, 10)),
                    FieldEncoding::Latin1);
        break;
    case EventField::TimeZone:
        storeTimeZone(event, text);
        break;
    case EventField::Ignored:
    case EventField::AttendeeList:
    case EventField::Description:
        break;
    }
}

// Where an attribute stands in an attendee entry; -1 when the entry lacks it.
struct AttendeeAttribute {
    QLatin1String name;
    int at;
};

// An attribute's value runs from past its opening quotation mark to two
// characters before the attribute that follows it in the entry; the last one
// ends at its closing quotation mark. Nothing when the attribute is missing or
// no end can be found.
QString attributeValue(const QString &entry, const AttendeeAttribute (&attributes)[3], int index)
{
    if (attributes[index].at < 0)
        return QString();
    const int start = attributes[index].at + attributes[index].name.size() + 1;
    int end = -1;
    for (const AttendeeAttribute &other : attributes) {
        if (other.at > attributes[index].at && (end < 0 || other.at - 2 < end))
            end = other.at - 2;
    }
    if (end < 0)
        end = entry.indexOf(QLatin1Char('"'), start);
    if (start > entry.size() || end < start)
        return QString();
    return entry.mid(start, end - start);
}

// Attendees of the whole item: addresses and names as two joined lists in
// entry order. An entry without an address is no attendee; one without a name
// keeps an empty name, so the two lists stay aligned.
void storeAttendees(CalenderInformation *event, const QVector<QByteArray> &pieces)
{
    QString addresses, names;
    for (const QByteArray &piece : pieces) {
        const QVector<DocumentItem> entries =
            splitDocumentItems(piece.constData(), piece.size(), piece.size(), kAttendeeEnd);
        for (const DocumentItem &entryBytes : entries) {
            const QString entry = QString::fromUtf8(entryBytes.bytes);
            AttendeeAttribute attributes[] = {
                {QLatin1String("OPFCalendarAttendeeAddress="), -1},
                {QLatin1String("OPFCalendarAttendeeName="), -1},
                {QLatin1String("OPFCalendarAttendeeResponseRequested="), -1},
            };
            for (AttendeeAttribute &attribute : attributes)
                attribute.at = entry.indexOf(attribute.name);
            if (attributes[0].at < 0)
                continue;
            addresses += attributeValue(entry, attributes, 0) + QLatin1Char(';');
            names += attributeValue(entry, attributes, 1) + QLatin1Char(';');
        }
    }
    CopyToField(event->AttendeeAddresses, addresses, FieldEncoding::Latin1);
    CopyToFieldCut(event->AttendeeNames, names);
}

void readAttendeeList(CalenderInformation *event, const QByteArray &item)
{
    const QVector<QByteArray> pieces = attendeeListPieces(item);
    storeAttendees(event, pieces);
    // The run over the whole item that follows stores these fields again; a
    // piece's value stands only where the whole item gives none.
    for (const QByteArray &piece : pieces) {
        for (const EventElement &element : kEventElements) {
            QString text;
            if (element.inAttendeePieces && GetElementText(piece, element.name, &text)
                && !text.isEmpty())
                storeEventText(event, element.field, text);
        }
    }
}
} // namespace

void readEventItem(ParsedItem &parsed)
{
    CalenderInformation *event = parsedRecord<CalenderInformation>(parsed);
    const DocumentItem &item = parsed.item;
    // The item's own OPFCalendarEventCopyUUID is not used: every scan makes new identifiers.
    CopyToField(event->Identifier, QString::fromLatin1(newIdentifier(true)), FieldEncoding::Latin1);

    for (const EventElement &element : kEventElements) {
        if (element.field == EventField::Ignored)
            continue;
        if (element.field == EventField::AttendeeList) {
            if (findElement(item, element.name).found)
                readAttendeeList(event, item.bytes);
            continue;
        }
        if (element.field == EventField::Description) {
            const FileText description = findFileText(item, element.name);
            event->DescriptionSize = description.size;
            event->DescriptionOffset = description.offset;
            continue;
        }
        QString text;
        if (GetElementText(item, element.name, &text) && !text.isEmpty())
            storeEventText(event, element.field, text);
    }
    parsed.details = eventDetailsOf(event, item);
}
