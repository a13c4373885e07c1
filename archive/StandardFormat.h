#pragma once
// The standard files: what today's mail clients, address books and calendars
// import without help. One mbox per mail folder (mboxrd, LF line ends, RFC 5322
// and MIME 1.0 messages), one vCard 3.0 file for every contact, one iCalendar 2.0
// file for every event, task and note. Converters from a record (and its details)
// to bytes; the saving pass decides where the bytes go.
#include "archive/TextBlocks.h"
#include "archive/TextReader.h"
#include "parsers/ItemDetails.h"
#include "parsers/Records.h"
#include "parsers/ZoneRules.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QUuid>

// A content line folded after at most 75 octets (never inside a UTF-8 sequence),
// each piece ended by CR LF and every continuation begun with one space.
QByteArray foldedContentLine(const QByteArray &line);

// vCard 3.0 of one contact (BEGIN:VCARD … END:VCARD).
QByteArray standardVCard(const ContactInformation &contact, const ContactDetails &details,
                         const TextReader &olm);

// Contact groups as vCards of their own, in the form Apple Contacts and CardDAV servers use
// (X-ADDRESSBOOKSERVER-KIND:group, a member line urn:uuid: of each member's card). Members
// are found by address among the contacts noted; those not found stay on the card as EMAIL.
class ContactGroupCards
{
public:
    // A contact's card, as standardVCard made it.
    void noteContact(const ContactInformation &contact, const ContactDetails &details, const QByteArray &card);
    QByteArray card(const ContactGroup &group) const;

private:
    QHash<QString, QByteArray> m_uidByAddress; // lower-case address: UID
};

// The VCALENDAR around the components, and one component per item.
QByteArray standardCalendarBegin();
QByteArray standardCalendarEnd();
QByteArray standardEvent(const CalenderInformation &event, const EventDetails &details, const TextReader &olm);
QByteArray standardTodo(const TasksInformation &task, const TaskDetails &details, const TextReader &olm);
QByteArray standardJournal(const NotesInformation &note, const TextReader &olm);
// The identifier a note keeps from save to save: the journal entry's UID, the Apple note's.
QUuid noteUuid(const NotesInformation &note);
// A note as the message Apple Notes and iOS keep in an IMAP account's Notes folder
// (X-Uniform-Type-Identifier: com.apple.mail-note): its title the subject, its last change
// the date, its text as HTML; lines end with LF.
QByteArray appleNoteMessage(const NotesInformation &note, const TextReader &olm);

// The RRULE value of a pattern whose first occurrence falls on localStart in the item's own
// zone (weekdays and days of the month are that zone's); until is the UNTIL value, used when
// no count limits the pattern. Empty when the item does not repeat.
QByteArray recurrenceRule(const Recurrence &recurrence, const QDate &localStart, const QByteArray &until);
// The zone a repeating event is written in: the export's own rules, else the fixed distance
// from UTC its zone name gives; invalid when the event is written in UTC.
ZoneRules eventZone(const CalenderInformation &event, const EventDetails &details);
// The zone whose local dates and times an event's are: its rules, else its name's distance
// from UTC, else UTC.
ZoneRules eventDayZone(const EventDetails &details);

// Appends one mboxrd message: the "From " line, the header, the body as UTF-8 text/html
// (text/plain when it holds no markup) in quoted-printable, the attachments in Base64
// read through olm block by block, and a text part after the body that names the attachments
// the mail lists that could not be recovered. Attachments cut short by the end of the file
// are added to *problems. False when out refused a write.
// The body is read and converted in blocks of blockSize bytes.
bool writeStandardMessage(QIODevice &out, const MailMLRC &mail, const MailDetails &details,
                          const TextReader &olm, QStringList *problems, qint64 blockSize = TextBlocks::kBlockSize);

// The message alone, as a mail server stores it: the same header, body and attachments
// as in the mbox, without the "From " line, the quoting of lines that could pass for
// one and the empty line that ends it there. Lines end with LF. Written to out block by
// block; false when out refused a write.
bool writeStandardMessageAlone(QIODevice &out, const MailMLRC &mail, const MailDetails &details,
                               const TextReader &olm, QStringList *problems);
// The message as a file of its own (.eml), written to out block by block: the bytes of the
// mbox's message, read marks included, without its "From " line, its quoting and the empty
// line that ends it there. False when out refused a write.
bool writeStandardMessageFile(QIODevice &out, const MailMLRC &mail, const MailDetails &details,
                              const TextReader &olm, QStringList *problems);
// Text in IMAP's modified UTF-7 (RFC 3501), as mailbox names and keywords carry it.
QByteArray modifiedUtf7(const QString &text);
// Who the message names as its sender and its To and Cc recipients: the export's lists,
// else the addresses the record keeps.
struct MailParties {
    QVector<MailAddress> from, to, cc;
};
MailParties mailParties(const MailMLRC &mail, const MailDetails &details);
// The mail's categories as IMAP keywords (atoms; non-ASCII in modified UTF-7), each once.
QList<QByteArray> imapKeywords(const QStringList &categories);
// The Message-ID the message carries (<id@host>): the export's, or one made from the
// mail's content when the export gives none that identifies it (none, "<>", "< >").
QByteArray standardMessageId(const MailMLRC &mail, const MailDetails &details, const TextReader &olm);
