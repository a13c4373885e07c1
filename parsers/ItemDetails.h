#pragma once
// What an export says about an item beyond the bundle's fixed-width records:
// recurrence, categories, completion, privacy, all-day, display names, every
// attendee, middle names and e-mail kinds. Read during the scan beside each record and kept,
// keyed by the record, until the next scan frees the records.
#include "parsers/ElementText.h"
#include "parsers/Records.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// A repeating pattern as the export describes it, in the item's own zone.
struct Recurrence {
    enum class Pattern { None, Daily, Weekly, Monthly, MonthNth, Yearly, YearNth };
    Pattern pattern = Pattern::None;
    int interval = 1;
    int daysOfWeek = 0;  // bit 0 Sunday, bit 1 Monday, ... bit 6 Saturday
    int occurrences = 0; // 0: not limited by a count
    int instance = 0;    // of the nth-weekday patterns: 1 to 4, 5 the last; 0 when not given
    int dayOfMonth = 0;  // of the monthly and yearly patterns; 0 when not given
    int month = 0;       // of the yearly patterns, 1 to 12; 0 when not given
    QDate startDate;
    QDate endDate;       // last day an occurrence may fall on; invalid: no end date
    QDateTime endUtc;    // the end as the export writes it: the local midnight of endDate, in UTC
    bool unreadable = false; // the export holds a pattern this reader cannot follow
    // Values no rule can say (an interval of 0, a count of -3), each with what was kept instead.
    struct Adjustment {
        const char *element;
        QString why;
    };
    QVector<Adjustment> adjustments;
    bool repeats() const { return pattern != Pattern::None; }
};

struct MailAddress {
    QString address;
    QString name; // empty when the export gives none
};

// The attributes of a mail address entry, as searched for: name and "=".
inline const QLatin1String kAddressAttribute("OPFContactEmailAddressAddress=");
inline const QLatin1String kNameAttribute("OPFContactEmailAddressName=");
inline const QLatin1String kTypeAttribute("OPFContactEmailAddressType=");

// An entry of a mail's address list as the record cuts it: its bytes, its text and
// the character positions of its address, name and type attributes (-1 when absent).
// The text of a plain entry (ASCII without zero bytes) is its bytes and is not made.
struct AddressEntry {
    ByteSpan bytes; // in the item
    bool plain;
    QString text;   // empty for a plain entry
    int a, n, t;
};

// One address list of a mail, read once for both its uses: the record's joined
// fields take the entries with an address attribute, the details every address whole.
struct MailAddressList {
    bool found = false; // the record's element
    QVector<AddressEntry> entries;
    bool plain = true; // every entry is
    QVector<MailAddress> whole; // filled only when asked for
};
enum class WholeAddresses { Skip, Read };
MailAddressList readMailAddressList(const DocumentItem &item, const char *listName, WholeAddresses whole);

// What an item is, for identifiers that stay the same from one scan of a file to the
// next: its place in the file and its bytes, which are read back and digested only
// where a save or upload needs the identifier (itemIdentity()).
struct ItemPlace {
    qint64 offset = -1; // the item's offset as its other offsets count it; -1: no place
    qint64 bytesAt = 0; // where its bytes lie in the file
    qint64 size = 0;
    bool isEmpty() const { return offset < 0; }
};

struct EventDetails {
    QVector<MailAddress> attendees; // all of them, however long their joined list
    QString summary; // whole, where the record's field could not hold it; empty otherwise

    int reminderSeconds = -1;    // before the start; -1: no reminder
    int zoneOffsetMinutes = 0;   // of the event's zone name, "(UTC-07:00) …"
    bool hasZoneOffset = false;
    QString zoneName;            // "(UTC-07:00) Mountain Time (US & Canada)"; empty when the export names none
    bool allDay = false;
    bool isPrivate = false;
    QStringList categories;      // document order
    Recurrence recurrence;
    QString ownUid;              // OPFCalendarEventCopyUUID; empty when the export gives none
    ItemPlace place;             // what the item is: its place in the file and its content
    QString zoneText;            // OPFCalendarEventGetStartTimeZoneICSData, decoded
};

struct TaskDetails {
    QDateTime startUtc, dueUtc, completedUtc;
    // The days a task starts and is due: exports write a task's dates as their local midnight in UTC.
    QDate startDay, dueDay;
    bool complete = false;       // completed, with or without a completion time
    QStringList categories;
    Recurrence recurrence;
    ItemPlace place;             // what the item is: its place in the file and its content
};

enum class EmailKind { Unknown, Work, Home, Other };

struct ContactAddress {
    QString address;
    EmailKind kind = EmailKind::Unknown;
};

struct ContactDetails {
    QString middleName;
    QVector<EmailKind> emailKinds; // one per e-mail entry, in slot order
    // Every element of the contact that holds text alone, by element name, read whole
    // and decoded once: the record's fields drop or cut what does not fit them.
    // The picture stays in the file.
    QHash<QByteArray, QString> texts;
    QVector<ContactAddress> emails, imAddresses; // every entry, document order
    QStringList children, categories;            // document order
    ItemPlace place;                             // what the contact is
};

// Priorities as exports write them: 1 highest to 5 lowest.
constexpr int kNormalPriority = 3;

// An attachment a mail lists that the scan did not find in the file as listed.
struct MissingAttachment {
    QString name;
    qint64 size = -1; // as the list gives it; -1 when it gives none
};

struct MailDetails {
    QVector<MailAddress> from, to, cc;
    QVector<MissingAttachment> unrecoveredAttachments; // list order
    QString subject; // whole, where the record's field could not hold it; empty otherwise
    // What a mail whose export gives no message identifier is; empty otherwise.
    ItemPlace place;
    FileText htmlBody; // OPFMessageCopyHTMLBody, left in the file, beside the body the record keeps
    bool read = false; // the export marks the mail as read (OPFMessageGetIsRead)
    bool flagged = false; // marked for follow-up
    int priority = 0;     // 1 highest to 5 lowest, 3 normal; 0 when the export gives none of these
    QStringList categories; // document order
};

// A group of contacts (Local/Address Book/Groups.xml) and the addresses of its members.
struct ContactGroup {
    QString name;
    QVector<MailAddress> members;
};
// The groups of a Groups.xml document. How genuine exports write a group is known only in
// part: a group is a <group> element named by OPFGroupCopyName (or OPFGroupName), and every
// start tag inside it with an OPFContactEmailAddressAddress attribute is a member.
QVector<ContactGroup> readContactGroups(const QByteArray &groupsXml);
// The groups of the current scan; set when the scan ends, cleared with the records.
const QVector<ContactGroup> &contactGroups();
void keepContactGroups(QVector<ContactGroup> &&groups);

// Reading, once per item, from the record the parser filled; touches nothing shared.
// The mail's From, To and Cc lists come as the record parser read them; its unrecovered
// attachments are known only when its attachment list is committed.
MailDetails mailDetailsOf(const MailMLRC *mail, const DocumentItem &item, MailAddressList &&from,
                          MailAddressList &&to, MailAddressList &&cc);
ContactDetails contactDetailsOf(const DocumentItem &item);
EventDetails eventDetailsOf(const CalenderInformation *event, const DocumentItem &item);
TaskDetails taskDetailsOf(const TasksInformation *task, const DocumentItem &item);
// Keeps the details of a committed record, counted by the record-memory watch; false
// when they would pass its limit and are not kept: the item is then dropped and the scan ends.
bool keepDetails(const MailMLRC *mail, MailDetails &&details);
// The export marks an event all-day in its details or in the record's flag.
bool isAllDay(const CalenderInformation &event, const EventDetails &details);
bool keepDetails(const ContactInformation *contact, ContactDetails &&details);
bool keepDetails(const CalenderInformation *event, EventDetails &&details);
bool keepDetails(const TasksInformation *task, TaskDetails &&details);

// The details of a record of the current scan; empty details for a record without any.
const MailDetails &detailsOf(const MailMLRC *mail);
const ContactDetails &detailsOf(const ContactInformation *contact);
const EventDetails &detailsOf(const CalenderInformation *event);
const TaskDetails &detailsOf(const TasksInformation *task);

// Forgets every record's details; called when the records are freed.
void clearItemDetails();

// Where the item lies in the file.
ItemPlace itemPlace(const DocumentItem &item);

// Pieces of the reading, for the tests and the writers.
// "(UTC-07:00) Mountain Time (US &amp; Canada)": -420 minutes.
bool zoneOffsetMinutes(const QString &zoneText, int *minutes);
Recurrence readRecurrence(const QByteArray &recurrenceXml);
