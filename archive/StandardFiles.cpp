#include "archive/StandardFiles.h"

#include "archive/FolderLabels.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "parsers/ItemDetails.h"

#include <QDir>
#include <QFileInfo>

namespace {
const char kMailDirectory[] = "Mail";
const char kContactsFile[] = "Contacts.vcf";
const char kCalendarFile[] = "Calendar.ics";

QString describeFailure(const OutputFile &file)
{
    return QStringLiteral("cannot write %1: %2").arg(shortenedForDisplay(file.path()), file.failure());
}
} // namespace

QByteArray withZoneId(const QByteArray &component, const QString &oldId, const QString &newId)
{
    const QByteArray parameter = ";TZID=" + oldId.toUtf8() + ':', property = "TZID:" + oldId.toUtf8();
    QByteArray out;
    const QList<QByteArray> lines = component.split('\n');
    for (int i = 0; i < lines.size();) {
        // A line and its folded continuations, each ended by CR LF.
        int next = i + 1;
        while (next < lines.size() && lines.at(next).startsWith(' '))
            ++next;
        QByteArray whole, original;
        for (int j = i; j < next; ++j) {
            const QByteArray physical = lines.at(j).endsWith('\r') ? lines.at(j).chopped(1) : lines.at(j);
            whole += j == i ? physical : physical.mid(1);
            original += lines.at(j) + (j + 1 < lines.size() ? "\n" : "");
        }
        if (whole.contains(parameter))
            out += foldedContentLine(QByteArray(whole).replace(parameter, ";TZID=" + newId.toUtf8() + ':'));
        else if (whole == property)
            out += foldedContentLine("TZID:" + newId.toUtf8());
        else
            out += original;
        i = next;
    }
    return out;
}

QString rescuedOutputPath(const QString &destination, const QString &olmPath, const char *label)
{
    QString name = QFileInfo(olmPath).fileName();
    if (name.endsWith(QLatin1String(".olm"), Qt::CaseInsensitive))
        name.chop(4);
    return QDir(destination).absoluteFilePath(name + QLatin1String(" (") + QLatin1String(label) + QLatin1Char(')'));
}

QString standardOutputPath(const QString &destination, const QString &olmPath)
{
    return rescuedOutputPath(destination, olmPath, "rescued");
}

// Each file is made once, when its first item comes, and stays open while items follow.
bool StandardFiles::open(OutputFile &file, const QString &relativePath, QString *reason)
{
    const QString path = m_directory.path() + QLatin1Char('/') + relativePath;
    if (file.isOpen() && file.path() == path)
        return true;
    // Unbuffered: the writers hand over large blocks, and a failed write must leave
    // nothing behind in a buffer that closing would still write.
    if (!file.openIn(m_directory, relativePath, OutputFile::Creation::New,
                     QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *reason = QStringLiteral("cannot open %1: %2").arg(shortenedForDisplay(path), file.errorString());
        return false;
    }
    return true;
}

// Appends bytes whole; what a failed write left is cut off again.
bool StandardFiles::append(OutputFile &file, const QByteArray &bytes, QString *reason)
{
    const qint64 before = file.pos(); // opened for appending: the position is the size
    if (file.write(bytes) == bytes.size())
        return true;
    *reason = describeFailure(file);
    if (!file.resize(before))
        *reason += QStringLiteral("; its last item could not be cut off again");
    return false;
}

bool StandardFiles::addMail(const MailMLRC &mail, const QString &mboxPath, const TextReader &olm,
                            QStringList *problems, QString *reason)
{
    if (!open(m_mbox, QLatin1String(kMailDirectory) + QLatin1Char('/') + mboxPath, reason))
        return false;
    const qint64 before = m_mbox.pos();
    if (writeStandardMessage(m_mbox, mail, detailsOf(&mail), olm, problems))
        return true;
    *reason = describeFailure(m_mbox);
    if (!m_mbox.resize(before))
        *reason += QStringLiteral("; its last message could not be cut off again");
    return false;
}

bool StandardFiles::addEmptyMailbox(const QString &mboxPath, QString *reason)
{
    return open(m_mbox, QLatin1String(kMailDirectory) + QLatin1Char('/') + mboxPath, reason);
}

bool StandardFiles::add(const ContactInformation &contact, const TextReader &olm, QString *reason)
{
    const ContactDetails &details = detailsOf(&contact);
    const QByteArray card = standardVCard(contact, details, olm);
    if (!open(m_contacts, QLatin1String(kContactsFile), reason)
        || !append(m_contacts, card, reason))
        return false;
    m_groups.noteContact(contact, details, card);
    return true;
}

bool StandardFiles::addContactGroups(const QVector<ContactGroup> &groups, QString *reason)
{
    QByteArray cards;
    for (const ContactGroup &group : groups)
        cards += m_groups.card(group);
    return cards.isEmpty()
           || (open(m_contacts, QLatin1String(kContactsFile), reason)
               && append(m_contacts, cards, reason));
}

// The calendar's end is written after every component and cut off before the next,
// so that the file is a whole calendar whenever the save stops or a write fails.
bool StandardFiles::addCalendarComponent(QByteArray component, QString *reason)
{
    const QString uid = objectUid(component);
    const QString unique = uid.isEmpty() ? uid : m_uids.claim(uid);
    if (unique != uid) {
        component = objectWithUid(component, unique);
        m_identifierNotes.append(QStringLiteral("its identifier %1 is another item's too; it is written as %2").arg(uid, unique));
    }
    if (!open(m_calendar, QLatin1String(kCalendarFile), reason))
        return false;
    const QByteArray end = standardCalendarEnd();
    if (!m_calendarBegun)
        return m_calendarBegun = append(m_calendar, standardCalendarBegin() + component + end, reason);
    const qint64 withoutEnd = m_calendar.pos() - end.size();
    if (!m_calendar.resize(withoutEnd)) {
        *reason = QStringLiteral("cannot write %1: %2").arg(m_calendar.path(), m_calendar.errorString());
        return false;
    }
    if (append(m_calendar, component + end, reason))
        return true;
    QString endReason;
    if (!append(m_calendar, end, &endReason))
        *reason += QStringLiteral("; the calendar is left without its end");
    return false;
}

// The zone's TZID in this calendar: its own name, unless a zone of that name with other
// rules is there already (two texts that both say Europe/Berlin); then the first name
// with a visible suffix, "Europe/Berlin (2)", whose rules are these. *definition is the
// VTIMEZONE under that TZID.
QString StandardFiles::calendarZoneId(const ZoneRules &zone, QByteArray *definition) const
{
    const QByteArray own = zone.vtimezone();
    for (int n = 1;; ++n) {
        const QString id = n == 1 ? zone.id() : QStringLiteral("%1 (%2)").arg(zone.id()).arg(n);
        *definition = n == 1 ? own : withZoneId(own, zone.id(), id);
        const auto written = m_zonesWritten.constFind(id);
        if (written == m_zonesWritten.constEnd() || *written == *definition)
            return id;
    }
}

bool StandardFiles::add(const CalenderInformation &event, const TextReader &olm, QString *reason)
{
    const EventDetails &details = detailsOf(&event);
    QByteArray bytes = standardEvent(event, details, olm);
    // Each zone once, before the first event that needs it.
    const ZoneRules zone = eventZone(event, details);
    QString id;
    QByteArray definition;
    if (zone.isValid()) {
        id = calendarZoneId(zone, &definition);
        if (id != zone.id())
            bytes = withZoneId(bytes, zone.id(), id);
        if (!m_zonesWritten.contains(id))
            bytes.prepend(definition);
    }
    if (!addCalendarComponent(bytes, reason))
        return false;
    if (zone.isValid())
        m_zonesWritten.insert(id, definition);
    return true;
}

bool StandardFiles::add(const TasksInformation &task, const TextReader &olm, QString *reason)
{
    return addCalendarComponent(standardTodo(task, detailsOf(&task), olm), reason);
}

bool StandardFiles::add(const NotesInformation &note, const TextReader &olm, QString *reason)
{
    return addCalendarComponent(standardJournal(note, olm), reason);
}

QStringList StandardFiles::takeIdentifierNotes()
{
    QStringList notes;
    notes.swap(m_identifierNotes);
    return notes;
}

void StandardFiles::finish()
{
    m_zonesWritten.clear();
    m_calendar.close();
    m_contacts.close();
    m_mbox.close();
}
