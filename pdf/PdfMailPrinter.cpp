#include "pdf/PdfMailPrinter.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

namespace {
constexpr int kResolution = 300;   // dots per inch of the page's coordinates
constexpr qreal kMarginMm = 15;
constexpr int kTextPointSize = 10;
constexpr int kFooterPointSize = 8;
// An inline image larger than this many pixels is left out: decoding it could take
// more memory than the whole mail.
constexpr qint64 kLargestImagePixels = 4096 * 4096;

// A document that loads nothing from outside the mail: a mail that names a file or a
// server would otherwise have it read (QTextDocument reads local files on its own) or
// learn that it was opened.
class MailDocument : public QTextDocument
{
protected:
    QVariant loadResource(int type, const QUrl &name) override
    {
        if (type != QTextDocument::ImageResource)
            return QVariant();
        // An image refused is an empty one: without any, the image handler would read the
        // name as a file path itself.
        QImage refused(1, 1, QImage::Format_ARGB32);
        refused.fill(Qt::transparent);
        if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) != 0)
            return refused;
        const QByteArray url = name.toEncoded();
        const int comma = url.indexOf(',');
        if (comma < 0)
            return refused;
        QByteArray bytes = QByteArray::fromPercentEncoding(url.mid(comma + 1));
        if (url.left(comma).endsWith(";base64"))
            bytes = QByteArray::fromBase64(bytes);
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        const QSize size = reader.size(); // from the image's header, before anything is decoded
        if (!size.isValid() || qint64(size.width()) * size.height() > kLargestImagePixels)
            return refused;
        const QImage image = reader.read();
        return image.isNull() ? refused : image;
    }
};

void fillDocument(QTextDocument &document, const PrintedMail &mail)
{
    QTextCursor cursor(&document);
    QTextCharFormat labelFormat;
    labelFormat.setFontWeight(QFont::Bold);
    const QTextCharFormat valueFormat;
    bool first = true;
    // Header values are text: a subject "<b>hi" is shown as written.
    for (const PrintedHeaderLine &line : mail.header) {
        if (!first)
            cursor.insertBlock();
        first = false;
        cursor.insertText(line.label + QLatin1String(": "), labelFormat);
        cursor.insertText(line.value, valueFormat);
    }
    cursor.insertBlock();
    cursor.insertHtml(QStringLiteral("<hr>"));
    cursor.insertBlock(QTextBlockFormat(), valueFormat);
    if (mail.bodyIsHtml)
        cursor.insertFragment(QTextDocumentFragment::fromHtml(mail.body, &document));
    else
        cursor.insertText(mail.body, valueFormat);
}
} // namespace

PdfMailPrinter::PdfMailPrinter() = default;
PdfMailPrinter::~PdfMailPrinter() = default;

void PdfMailPrinter::begin(QIODevice *out, const QString &title, const QVector<PrintedFile> &files)
{
    m_painter.reset();
    m_writer = std::make_unique<QPdfWriter>(out);
    m_writer->setTitle(title);
    m_writer->setCreator(QStringLiteral("Mendora"));
    m_writer->setResolution(kResolution);
    m_writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                        QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
    m_pages = 0;
    for (const PrintedFile &file : files)
        m_writer->addFileAttachment(file.name, file.bytes, file.contentType);
}

void PdfMailPrinter::startPage()
{
    if (!m_painter)
        m_painter = std::make_unique<QPainter>(m_writer.get());
    else
        m_writer->newPage();
    ++m_pages;
}

void PdfMailPrinter::addMail(const PrintedMail &mail)
{

    QFont footerFont;
    footerFont.setPointSize(kFooterPointSize);
    const QFontMetricsF footerMetrics(footerFont, m_writer.get());
    const qreal footerHeight = 2 * footerMetrics.height();
    const QSizeF page(m_writer->width(), m_writer->height() - footerHeight);

    MailDocument document;
    document.documentLayout()->setPaintDevice(m_writer.get());
    QFont textFont;
    textFont.setPointSize(kTextPointSize);
    document.setDefaultFont(textFont);
    QTextOption wrapping = document.defaultTextOption();
    // A long address or link with no space in it is broken rather than cut off at the edge.
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(wrapping);
    document.setPageSize(page);
    fillDocument(document, mail);

    const int pages = document.pageCount();
    for (int i = 0; i < pages; ++i) {
        startPage();
        m_painter->save();
        m_painter->translate(0, -i * page.height());
        document.drawContents(m_painter.get(), QRectF(QPointF(0, i * page.height()), page));
        m_painter->restore();
        m_painter->setFont(footerFont);
        m_painter->drawText(QRectF(0, page.height() + footerMetrics.height(), page.width(), footerMetrics.height()),
                            Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("Page %1").arg(m_pages));
    }
}

void PdfMailPrinter::finish()
{
    if (!m_painter && m_writer)
        startPage(); // a document without pages is no PDF
    m_painter.reset(); // ends the painting: the document's end is written
    m_writer.reset();
}
