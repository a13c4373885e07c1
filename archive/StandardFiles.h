#pragma once
// Where a save in the standard format puts the items: DIR/Mail/<folder>/<name>.mbox
// for every mail folder, DIR/Contacts.vcf for every contact, DIR/Calendar.ics for every
// event, task and note. Each item is appended whole or not at all.
#include "archive/OutputFile.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "archive/TextReader.h"
#include "parsers/Records.h"
#include "parsers/ZoneRules.h"

#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

// The component's lines that name the zone oldId (TZID parameters, a VTIMEZONE's TZID)
// naming newId instead; every other line stays as it was.
QByteArray withZoneId(const QByteArray &component, const QString &oldId, const QString &newId);

// DESTDIR/"<export file name without .olm> (<label>)".
QString rescuedOutputPath(const QString &destination, const QString &olmPath, const char *label);
// DESTDIR/"<export file name without .olm> (rescued)".
QString standardOutputPath(const QString &destination, const QString &olmPath);

class StandardFiles
{
public:
    // directory: the output directory, held open (archive/OutputFile.h).
    explicit StandardFiles(const OutputDirectory &directory) : m_directory(directory) {}
    ~StandardFiles() { finish(); }

    // False with the reason when the item could not be written; problems that leave
    // a mail readable but incomplete go to *problems.
    // mboxPath is the folder's mbox below the Mail directory (MailboxPaths).
    bool addMail(const MailMLRC &mail, const QString &mboxPath, const TextReader &olm, QStringList *problems,
                 QString *reason);
    // An mbox without messages, for a folder that holds none.
    bool addEmptyMailbox(const QString &mboxPath, QString *reason);
    bool add(const ContactInformation &contact, const TextReader &olm, QString *reason);
    // The groups, after the contacts they name.
    bool addContactGroups(const QVector<ContactGroup> &groups, QString *reason);
    bool add(const CalenderInformation &event, const TextReader &olm, QString *reason);
    bool add(const TasksInformation &task, const TextReader &olm, QString *reason);
    bool add(const NotesInformation &note, const TextReader &olm, QString *reason);
    // What the last items added had to change to be told apart: an identifier another
    // item has too, with the one written instead. Emptied by the call.
    QStringList takeIdentifierNotes();
    // Closes the files. The calendar needs no end written here: it always has one.
    void finish();

private:
    bool open(OutputFile &file, const QString &relativePath, QString *reason);
    bool append(OutputFile &file, const QByteArray &bytes, QString *reason);
    bool addCalendarComponent(QByteArray component, QString *reason);
    QString calendarZoneId(const ZoneRules &zone, QByteArray *definition) const;

    const OutputDirectory &m_directory;
    OutputFile m_mbox;
    OutputFile m_contacts;
    OutputFile m_calendar;
    bool m_calendarBegun = false;
    QHash<QString, QByteArray> m_zonesWritten; // the VTIMEZONEs the calendar holds, by TZID
    UidRegister m_uids;                        // the UIDs the calendar holds
    QStringList m_identifierNotes;
    ContactGroupCards m_groups;
};
