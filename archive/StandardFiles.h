#pragma once
// Where a save in the standard format puts the items: DIR/Mail/<folder>/<name>.mbox
// for every mail folder, DIR/Contacts.vcf for every contact, DIR/Calendar.ics for every
// event, task and note. Each item is appended whole or not at all.
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QFile>
#include <QString>
#include <QStringList>

// DESTDIR/"<export file name without .olm> (rescued)".
QString standardOutputPath(const QString &destination, const QString &olmPath);
// Makes the output directory. An existing one is an error unless replace says it may
// be removed first.
bool prepareStandardOutput(const QString &path, bool replace, QString *error);

class StandardFiles
{
public:
    explicit StandardFiles(const QString &directory) : m_directory(directory) {}
    ~StandardFiles() { finish(nullptr); }

    // False with the reason when the item could not be written; problems that leave
    // a mail readable but incomplete go to *problems.
    // mboxPath is the folder's mbox below the Mail directory (MailboxPaths).
    bool addMail(const MailMLRC &mail, const QString &mboxPath, const TextReader &olm, QStringList *problems,
                 QString *reason);
    bool add(const ContactInformation &contact, const TextReader &olm, QString *reason);
    bool add(const CalenderInformation &event, const TextReader &olm, QString *reason);
    bool add(const TasksInformation &task, const TextReader &olm, QString *reason);
    bool add(const NotesInformation &note, const TextReader &olm, QString *reason);
    // Ends the calendar and closes the files; false when that could not be written.
    bool finish(QString *reason);

private:
    bool open(QFile &file, const QString &path, QString *reason);
    bool append(QFile &file, const QByteArray &bytes, QString *reason);
    bool addCalendarComponent(const QByteArray &component, QString *reason);

    QString m_directory;
    QFile m_mbox;
    QFile m_contacts;
    QFile m_calendar;
    bool m_calendarBegun = false;
};
