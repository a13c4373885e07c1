#include "archive/StandardFiles.h"

#include "archive/MailWriter.h"
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
    return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.failure());
}
} // namespace

QString standardOutputPath(const QString &destination, const QString &olmPath)
{
    QString name = QFileInfo(olmPath).fileName();
    if (name.endsWith(QLatin1String(".olm"), Qt::CaseInsensitive))
        name.chop(4);
    return QDir(destination).absoluteFilePath(name + QLatin1String(" (rescued)"));
}

bool StandardFiles::open(OutputFile &file, const QString &path, QString *reason)
{
    if (file.isOpen() && file.fileName() == path)
        return true;
    if (file.isOpen())
        file.close();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *reason = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    file.setFileName(path);
    // Unbuffered: the writers hand over large blocks, and a failed write must leave
    // nothing behind in a buffer that closing would still write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
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
    const QString path = m_directory + QLatin1Char('/') + QLatin1String(kMailDirectory) + QLatin1Char('/') + mboxPath;
    if (!open(m_mbox, path, reason))
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
    return open(m_mbox, m_directory + QLatin1Char('/') + QLatin1String(kMailDirectory) + QLatin1Char('/') + mboxPath,
                reason);
}

bool StandardFiles::add(const ContactInformation &contact, const TextReader &olm, QString *reason)
{
    const ContactDetails &details = detailsOf(&contact);
    const QByteArray card = standardVCard(contact, details, olm);
    if (!open(m_contacts, m_directory + QLatin1Char('/') + QLatin1String(kContactsFile), reason)
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
           || (open(m_contacts, m_directory + QLatin1Char('/') + QLatin1String(kContactsFile), reason)
               && append(m_contacts, cards, reason));
}

// The calendar's end is written after every component and cut off before the next,
// so that the file is a whole calendar whenever the save stops or a write fails.
bool StandardFiles::addCalendarComponent(const QByteArray &component, QString *reason)
{
    if (!open(m_calendar, m_directory + QLatin1Char('/') + QLatin1String(kCalendarFile), reason))
        return false;
    const QByteArray end = standardCalendarEnd();
    if (!m_calendarBegun)
        return m_calendarBegun = append(m_calendar, standardCalendarBegin() + component + end, reason);
    const qint64 withoutEnd = m_calendar.pos() - end.size();
    if (!m_calendar.resize(withoutEnd)) {
        *reason = QStringLiteral("cannot write %1: %2").arg(m_calendar.fileName(), m_calendar.errorString());
        return false;
    }
    if (append(m_calendar, component + end, reason))
        return true;
    QString endReason;
    if (!append(m_calendar, end, &endReason))
        *reason += QStringLiteral("; the calendar is left without its end");
    return false;
}

bool StandardFiles::add(const CalenderInformation &event, const TextReader &olm, QString *reason)
{
    const EventDetails &details = detailsOf(&event);
    QByteArray bytes = standardEvent(event, details, olm);
    // Each zone once, before the first event that needs it.
    const ZoneRules zone = eventZone(event, details);
    const bool newZone = zone.isValid() && !m_zonesWritten.contains(zone.id());
    if (newZone)
        bytes.prepend(zone.vtimezone());
    if (!addCalendarComponent(bytes, reason))
        return false;
    if (newZone)
        m_zonesWritten.insert(zone.id());
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

void StandardFiles::finish()
{
    m_zonesWritten.clear();
    m_calendar.close();
    m_contacts.close();
    m_mbox.close();
}
