#pragma once
// Mails saved as PDF documents for reading and printing: one file a mail, named as the
// EML files are ("2020-05-01 1030 - Subject.pdf"), or one file a folder, where its mbox
// would be ("Inbox/Inbox.pdf"). The pages come from a MailPrinter (archive/MailPrinter.h).
#include "archive/EmlFiles.h"
#include "archive/MailPrinter.h"
#include "archive/OutputFile.h"
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <QPair>

// DESTDIR/"<export file name without .olm> (rescued pdf)".
QString pdfOutputPath(const QString &destination, const QString &olmPath);

// A body longer than this is printed up to here, and the mail is reported incomplete.
constexpr qint64 kPrintedBodyLimit = 16 * 1024 * 1024;
// Attachments are carried inside the document up to these sizes, each and together
// (a document is built in memory); larger ones are listed without their bytes.
constexpr qint64 kLargestCarriedFile = 64 * 1024 * 1024;
constexpr qint64 kCarriedBytesPerDocument = 256 * 1024 * 1024;

// The mail as its pages show it, without its body: From, To, Cc, Date and Subject, and a
// line for every attachment with its size (those the export lost marked "missing").
// Attachments go into files while carriedBudget allows; what the document lacks of the
// mail is added to *problems.
PrintedMail printedMail(const MailMLRC &mail, const TextReader &olm, qint64 *carriedBudget, QStringList *problems);
// Adds the body as the preview renders it.
void addPrintedBody(PrintedMail *printed, const MailMLRC &mail, const TextReader &olm, QStringList *problems);

// What a folder's document lacks of each of its mails.
using MailProblems = QVector<QPair<const MailMLRC *, QStringList>>;

class PdfFiles
{
public:
    enum class Grouping { FilePerMail, FilePerFolder };
    // directory: the output directory, held open (archive/OutputFile.h).
    PdfFiles(const OutputDirectory &directory, MailPrinter &printer, Grouping grouping);

    Grouping grouping() const { return m_grouping; }
    // With a file per mail, writes the mail's document into place, the folder's directory
    // below the Mail directory (MailboxPaths::directoryOf): false with the reason when it
    // could not be written; what it lacks of the mail goes to *problems.
    // With a file per folder, the mail joins the folder's document, written by endFolder
    // beside place, the folder's mbox path (MailboxPaths::relativePath); olm must last until then.
    bool addMail(const MailMLRC &mail, const QString &place, const TextReader &olm, QStringList *problems,
                 QString *reason);
    // With a file per folder, writes the folder's document: the files it carries come
    // before its first page, so it is made once all its mails are known. False with the
    // reason when it could not be written whole: it is removed, and none of its mails is
    // written. What it lacks of each mail goes to *problems.
    bool endFolder(QString *reason, MailProblems *problems);

private:
    MailPrinter &m_printer;
    const Grouping m_grouping;
    const OutputDirectory &m_directory;
    MessageFileNames m_names;
    QString m_folderPlace;                     // the mbox path of the folder whose mails are gathered
    QVector<const MailMLRC *> m_folderMails;   // in the order they came
    const TextReader *m_folderOlm = nullptr;
};
