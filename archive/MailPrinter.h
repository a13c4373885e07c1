#pragma once
// A mail laid out for reading on paper: its header block, the files to carry along and
// its body as the preview shows it. The PDF writer (pdf/) makes pages of it; it needs
// fonts, and with them the GUI libraries, which the core and the command line do
// without: they know it only through this interface and these plain values.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QVector>

struct PrintedHeaderLine {
    QString label; // "From"
    QString value; // shown as plain text, never as markup
};

// An attachment carried inside the document, for the reader to open or save.
struct PrintedFile {
    QString name;
    QString contentType;
    QByteArray bytes;
};

struct PrintedMail {
    QVector<PrintedHeaderLine> header;
    QVector<PrintedFile> files; // its attachments, for the document to carry
    QString body;
    bool bodyIsHtml = false;
};

class MailPrinter
{
public:
    virtual ~MailPrinter() = default;
    // A new document, written to out as it grows; title goes into its properties. The
    // files it carries are given here: a PDF writer takes them before its first page only.
    virtual void begin(QIODevice *out, const QString &title, const QVector<PrintedFile> &files) = 0;
    // The mail, from a new page on; its pages are numbered on from the document's last.
    virtual void addMail(const PrintedMail &mail) = 0;
    // Writes the document's end. Whether every write reached out is out's to say.
    virtual void finish() = 0;
};
