#pragma once
// Mails saved one message a file: DIR/Mail/<folder path>/<date> - <subject>.eml, each
// the same bytes as the mail's message in the standard mbox, without its separator line
// and quoting. A file is written whole or removed again.
#include "archive/OutputFile.h"
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// DESTDIR/"<export file name without .olm> (rescued eml)".
QString emlOutputPath(const QString &destination, const QString &olmPath);

// "2020-05-01 1030 - Subject": the date and time the Date line shows, and the subject
// made fit for a file name: no control, format or path characters, and cut at a
// character boundary so that the name with a suffix " (12345)" and ".eml" keeps within
// the 255 bytes a file name holds.
QString emlBaseName(const MailMLRC &mail);

// Files named after their mail, each name once in its folder and never over a file that
// is there already: "<base><suffix>", else the first free "<base> (2)<suffix>", ...
class MessageFileNames
{
public:
    // directory: the output directory, held open (archive/OutputFile.h).
    explicit MessageFileNames(const OutputDirectory &directory) : m_directory(directory) {}

    // Creates the file in folder (below the directory), open with mode; false with the reason.
    bool create(const QString &folder, const QString &base, const QString &suffix, OutputFile *file,
                QIODevice::OpenMode mode, QString *reason);

private:
    const OutputDirectory &m_directory;
    QHash<QString, QSet<QString>> m_takenNames; // per folder, as a file system compares them
};

class EmlFiles
{
public:
    explicit EmlFiles(const OutputDirectory &directory) : m_names(directory) {}

    // folderDirectory is the folder's directory below the Mail directory (MailboxPaths).
    // False with the reason when the mail could not be written; problems that leave it
    // readable but incomplete go to *problems.
    bool addMail(const MailMLRC &mail, const QString &folderDirectory, const TextReader &olm, QStringList *problems,
                 QString *reason);

private:
    MessageFileNames m_names;
};
