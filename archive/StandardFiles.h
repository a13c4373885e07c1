#pragma once
// Where a save in the standard format puts the items: DIR/Mail/<folder>/<name>.mbox
// for every mail folder, DIR/Contacts.vcf for every contact, DIR/Calendar.ics for every
// event, task and note. Each item is appended whole or not at all.
#include "archive/OutputFile.h"
#include "archive/StandardFormat.h"
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

// DESTDIR/"<export file name without .olm> (rescued)".
QString standardOutputPath(const QString &destination, const QString &olmPath);

class StandardFiles
{
public:
    explicit StandardFiles(const QString &directory) : m_directory(directory) {}
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
    // Closes the files. The calendar needs no end written here: it always has one.
    void finish();

private:
    bool open(OutputFile &file, const QString &path, QString *reason);
    bool append(OutputFile &file, const QByteArray &bytes, QString *reason);
    bool addCalendarComponent(const QByteArray &component, QString *reason);

    QString m_directory;
    OutputFile m_mbox;
    OutputFile m_contacts;
    OutputFile m_calendar;
    bool m_calendarBegun = false;
    QSet<QString> m_zonesWritten; // TZIDs of the VTIMEZONEs the calendar holds
    ContactGroupCards m_groups;
};
