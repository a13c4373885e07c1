#pragma once
// Mails as PDF pages: Qt's rich text laid out on A4 by QPdfWriter, each mail from a new
// page, every page numbered at its foot. Mail bodies are untrusted HTML: nothing they
// name is fetched, neither from the network nor from the disk; only images written into
// the body itself (data: URLs) are shown, and those only when of a sane size. Needs a
// QGuiApplication (the offscreen platform serves).
#include "archive/MailPrinter.h"

#include <QPageLayout>
#include <memory>

class QPainter;
class QPdfWriter;

class PdfMailPrinter : public MailPrinter
{
public:
    PdfMailPrinter();
    ~PdfMailPrinter() override;

    void begin(QIODevice *out, const QString &title, const QVector<PrintedFile> &files) override;
    void addMail(const PrintedMail &mail) override;
    void finish() override;

private:
    void startPage();

    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    int m_pages = 0; // in the document so far
};
