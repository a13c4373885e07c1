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

// A write the system cut short leaves no error of its own behind.
QString describeFailure(const QFile &file)
{
    const QString reason = file.error() == QFileDevice::NoError ? QStringLiteral("only part of it was written (is the disk full?)")
                                                                : file.errorString();
    return QStringLiteral("cannot write %1: %2").arg(file.fileName(), reason);
}
} // namespace

QString standardOutputPath(const QString &destination, const QString &olmPath)
{
    QString name = QFileInfo(olmPath).fileName();
    if (name.endsWith(QLatin1String(".olm"), Qt::CaseInsensitive))
        name.chop(4);
    return QDir(destination).absoluteFilePath(name + QLatin1String(" (rescued)"));
}

bool prepareStandardOutput(const QString &path, bool replace, QString *error)
{
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        if (!replace) {
            *error = QStringLiteral("%1 exists already").arg(path);
            return false;
        }
        const bool removed = existing.isDir() && !existing.isSymLink() ? QDir(path).removeRecursively()
                                                                        : QFile::remove(path);
        if (!removed) {
            *error = QStringLiteral("%1 could not be removed").arg(path);
            return false;
        }
    }
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("%1 could not be created").arg(path);
        return false;
    }
    return true;
}

bool StandardFiles::open(QFile &file, const QString &path, QString *reason)
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
bool StandardFiles::append(QFile &file, const QByteArray &bytes, QString *reason)
{
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size())
        return true;
    *reason = describeFailure(file);
    file.resize(before);
    return false;
}

bool StandardFiles::addMail(const MailMLRC &mail, const QString &mboxPath, const TextReader &olm,
                            QStringList *problems, QString *reason)
{
    const QString path = m_directory + QLatin1Char('/') + QLatin1String(kMailDirectory) + QLatin1Char('/') + mboxPath;
    if (!open(m_mbox, path, reason))
        return false;
    const qint64 before = m_mbox.size();
    if (writeStandardMessage(m_mbox, mail, detailsOf(&mail), olm, problems))
        return true;
    *reason = describeFailure(m_mbox);
    m_mbox.resize(before);
    return false;
}

bool StandardFiles::add(const ContactInformation &contact, const TextReader &olm, QString *reason)
{
    return open(m_contacts, m_directory + QLatin1Char('/') + QLatin1String(kContactsFile), reason)
           && append(m_contacts, standardVCard(contact, detailsOf(&contact), olm), reason);
}

bool StandardFiles::addCalendarComponent(const QByteArray &component, QString *reason)
{
    if (!open(m_calendar, m_directory + QLatin1Char('/') + QLatin1String(kCalendarFile), reason))
        return false;
    if (!append(m_calendar, m_calendarBegun ? component : standardCalendarBegin() + component, reason))
        return false;
    m_calendarBegun = true;
    return true;
}

bool StandardFiles::add(const CalenderInformation &event, const TextReader &olm, QString *reason)
{
    return addCalendarComponent(standardEvent(event, detailsOf(&event), olm), reason);
}

bool StandardFiles::add(const TasksInformation &task, const TextReader &olm, QString *reason)
{
    return addCalendarComponent(standardTodo(task, detailsOf(&task), olm), reason);
}

bool StandardFiles::add(const NotesInformation &note, const TextReader &olm, QString *reason)
{
    return addCalendarComponent(standardJournal(note, olm), reason);
}

bool StandardFiles::finish(QString *reason)
{
    QString failure;
    bool ok = true;
    if (m_calendarBegun) {
        ok = append(m_calendar, standardCalendarEnd(), &failure);
        m_calendarBegun = false;
    }
    m_calendar.close();
    m_contacts.close();
    m_mbox.close();
    if (!ok && reason)
        *reason = failure;
    return ok;
}
