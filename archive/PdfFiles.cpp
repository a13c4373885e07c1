#include "archive/PdfFiles.h"

#include "archive/BundleLayout.h"
#include "archive/MailAttachments.h"
#include "archive/MailEncoders.h"
#include "archive/MailHeaders.h"
#include "archive/StandardFiles.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"
#include "parsers/EntityDecoding.h"
#include "parsers/HtmlTest.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

namespace {
const char kPdfSuffix[] = ".pdf";

QString shownAddresses(const QVector<MailAddress> &addresses)
{
    QStringList shown;
    for (const MailAddress &entry : addresses) {
        const QString address = headerSafe(entry.address).trimmed();
        const QString name = headerSafe(entry.name).trimmed();
        shown.append(name.isEmpty() || name == address ? address : name + QLatin1String(" <") + address + QLatin1Char('>'));
    }
    return shown.join(QLatin1String(", "));
}

// Page layout takes time that grows steeply with how deep elements and tables nest: a
// body nesting deeper than this is printed as its text, so that no mail can hold the save.
constexpr int kDeepestPrintedElements = 128;
constexpr int kDeepestPrintedTables = 12;

// Whether the markup's elements or tables nest deeper than the page layout can take.
// Elements without an end tag, or whose end tag may be left out, do not nest.
bool nestsTooDeep(const QString &html)
{
    static const QSet<QString> kNotNesting = {
        QStringLiteral("area"), QStringLiteral("base"), QStringLiteral("br"), QStringLiteral("col"),
        QStringLiteral("embed"), QStringLiteral("hr"), QStringLiteral("img"), QStringLiteral("input"),
        QStringLiteral("link"), QStringLiteral("meta"), QStringLiteral("param"), QStringLiteral("source"),
        QStringLiteral("track"), QStringLiteral("wbr"), QStringLiteral("p"), QStringLiteral("li"),
        QStringLiteral("td"), QStringLiteral("th"), QStringLiteral("tr"), QStringLiteral("dt"),
        QStringLiteral("dd"), QStringLiteral("option"), QStringLiteral("colgroup"), QStringLiteral("tbody"),
        QStringLiteral("thead"), QStringLiteral("tfoot"), QStringLiteral("html"), QStringLiteral("head"),
        QStringLiteral("body")};
    int elements = 0, tables = 0;
    for (int at = html.indexOf(QLatin1Char('<')); at >= 0; at = html.indexOf(QLatin1Char('<'), at + 1)) {
        const bool closing = at + 1 < html.size() && html.at(at + 1) == QLatin1Char('/');
        const int nameStart = at + 1 + int(closing);
        int nameEnd = nameStart;
        while (nameEnd < html.size() && html.at(nameEnd).isLetterOrNumber())
            ++nameEnd;
        const QString name = html.mid(nameStart, nameEnd - nameStart).toLower();
        if (name.isEmpty() || kNotNesting.contains(name))
            continue;
        const int step = closing ? -1 : 1;
        elements = qMax(0, elements + step);
        if (name == QLatin1String("table"))
            tables = qMax(0, tables + step);
        if (elements > kDeepestPrintedElements || tables > kDeepestPrintedTables)
            return true;
    }
    return false;
}

QString sizeText(qint64 size)
{
    return QLocale().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

// The body as the preview shows it: the export's entities decoded, line ends made LF.
void addPrintedBody(PrintedMail *printed, const MailMLRC &mail, const TextReader &olm, QStringList *problems)
{
    const qint64 bodySize = mail.BodySize; // a copy: the packed field is not aligned
    if (bodySize <= 0)
        return;
    QByteArray body = decodeEntities(olm.read(mail.BodyOffset, qMin(bodySize, kPrintedBodyLimit)), EntityRule::Preview);
    body.replace('\r', '\n');
    printed->bodyIsHtml = previewLooksLikeHtml(body);
    printed->body = QString::fromUtf8(body);
    if (printed->bodyIsHtml && nestsTooDeep(printed->body)) {
        printed->body = plainTextOfHtml(printed->body);
        printed->bodyIsHtml = false;
        problems->append(QStringLiteral("its body is printed as plain text: its markup nests too deep to lay out"));
    }
    if (bodySize > kPrintedBodyLimit) {
        const QString note = QStringLiteral("(Only the first %1 MB of this %2 MB message are shown.)")
                                 .arg(kPrintedBodyLimit >> 20)
                                 .arg((bodySize + (1 << 20) - 1) >> 20);
        printed->body += printed->bodyIsHtml ? QLatin1String("<hr><p>") + note.toHtmlEscaped() + QLatin1String("</p>")
                                             : QLatin1String("\n\n") + note;
        problems->append(QStringLiteral("its body is in the PDF up to its first %1 MB").arg(kPrintedBodyLimit >> 20));
    }
}

QString pdfOutputPath(const QString &destination, const QString &olmPath)
{
    return rescuedOutputPath(destination, olmPath, "rescued pdf");
}

PrintedMail printedMail(const MailMLRC &mail, const TextReader &olm, qint64 *carriedBudget, QStringList *problems)
{
    const MailDetails &details = detailsOf(&mail);
    const MailParties parties = mailParties(mail, details);
    PrintedMail printed;
    auto line = [&printed](const QString &label, const QString &value) {
        if (!value.isEmpty())
            printed.header.append({label, value});
    };
    line(QStringLiteral("From"), shownAddresses(parties.from));
    line(QStringLiteral("To"), shownAddresses(parties.to));
    line(QStringLiteral("Cc"), shownAddresses(parties.cc));
    line(QStringLiteral("Date"), QString::fromLatin1(headerDate(mail)));
    line(QStringLiteral("Subject"), headerSafe(mail.Subject[0] ? utf8Field(mail.Subject) : details.subject));

    for (const MailAttachment &attachment : attachmentsOf(mail)) {
        const QString name = headerSafe(attachment.name);
        QString shown = name + QLatin1String(" (") + sizeText(attachment.size) + QLatin1Char(')');
        // The size the mail lists bounds the read; the file may hold fewer bytes.
        if (attachment.size > kLargestCarriedFile || attachment.size > *carriedBudget) {
            shown += QStringLiteral(", too large to carry in this PDF: saved with --format eml it is kept");
            problems->append(QStringLiteral("attachment \"%1\" is listed in the PDF without its bytes: too large").arg(name));
            line(QStringLiteral("Attachment"), shown);
            continue;
        }
        const QByteArray bytes = olm.read(attachment.offset, attachment.size);
        if (bytes.isEmpty() && attachment.size > 0) {
            shown += QStringLiteral(", its bytes are not in the export");
            problems->append(QStringLiteral("attachment \"%1\" has none of its bytes in the file").arg(name));
        } else {
            *carriedBudget -= bytes.size();
            printed.files.append({name, attachment.contentType, bytes});
            if (bytes.size() < attachment.size) {
                shown += QStringLiteral(", only %1 of its %2 bytes are in the export").arg(bytes.size()).arg(attachment.size);
                problems->append(QStringLiteral("attachment \"%1\" ends after %2 of %3 bytes")
                                     .arg(name).arg(bytes.size()).arg(attachment.size));
            }
        }
        line(QStringLiteral("Attachment"), shown);
    }
    for (const MissingAttachment &missing : details.unrecoveredAttachments)
        line(QStringLiteral("Attachment"), missing.size >= 0
                                               ? QStringLiteral("%1 (%2), missing").arg(headerSafe(missing.name), sizeText(missing.size))
                                               : QStringLiteral("%1, missing").arg(headerSafe(missing.name)));
    return printed;
}

PdfFiles::PdfFiles(const OutputDirectory &directory, MailPrinter &printer, Grouping grouping)
    : m_printer(printer), m_grouping(grouping), m_directory(directory), m_names(directory)
{
}

namespace {
// Writes the document's end and checks that every write reached the file; false with the
// reason, the file removed, otherwise.
bool finishDocument(MailPrinter &printer, OutputFile &file, QString *reason)
{
    printer.finish();
    if (file.flush() && !file.writeFailed())
        return true;
    *reason = QStringLiteral("cannot write %1: %2").arg(file.path(), file.failure());
    file.discard();
    return false;
}
} // namespace

bool PdfFiles::addMail(const MailMLRC &mail, const QString &place, const TextReader &olm, QStringList *problems,
                       QString *reason)
{
    if (m_grouping == Grouping::FilePerFolder) {
        m_folderPlace = place;
        m_folderMails.append(&mail);
        m_folderOlm = &olm;
        return true;
    }
    OutputFile file;
    const QString base = emlBaseName(mail);
    if (!m_names.create(QLatin1String(kMailDirectory) + QLatin1Char('/') + place, base, QLatin1String(kPdfSuffix),
                        &file, QIODevice::WriteOnly, reason))
        return false;
    qint64 carriedBudget = kCarriedBytesPerDocument;
    PrintedMail printed = printedMail(mail, olm, &carriedBudget, problems);
    addPrintedBody(&printed, mail, olm, problems);
    m_printer.begin(&file, base, printed.files);
    m_printer.addMail(printed);
    return finishDocument(m_printer, file, reason);
}

bool PdfFiles::endFolder(QString *reason, MailProblems *problems)
{
    const QVector<const MailMLRC *> mails = std::move(m_folderMails);
    m_folderMails.clear();
    if (mails.isEmpty())
        return true;
    const QFileInfo mbox(m_folderPlace);
    OutputFile file;
    if (!file.openIn(m_directory, QLatin1String(kMailDirectory) + QLatin1Char('/') + mbox.path() + QLatin1Char('/')
                                      + mbox.completeBaseName() + QLatin1String(kPdfSuffix),
                     OutputFile::Creation::New, QIODevice::WriteOnly)) {
        *reason = QStringLiteral("cannot create %1: %2").arg(file.path(), file.errorString());
        return false;
    }
    // The header blocks and the files first; each body is read as its pages are made.
    qint64 carriedBudget = kCarriedBytesPerDocument;
    QVector<PrintedMail> printed;
    QVector<PrintedFile> files;
    problems->clear();
    for (const MailMLRC *mail : mails) {
        QStringList lacking;
        printed.append(printedMail(*mail, *m_folderOlm, &carriedBudget, &lacking));
        files += printed.last().files;
        printed.last().files.clear();
        problems->append({mail, lacking});
    }
    m_printer.begin(&file, mbox.completeBaseName(), files);
    files.clear();
    for (int i = 0; i < printed.size(); ++i) {
        addPrintedBody(&printed[i], *mails.at(i), *m_folderOlm, &(*problems)[i].second);
        m_printer.addMail(printed.at(i));
        printed[i] = PrintedMail();
    }
    return finishDocument(m_printer, file, reason);
}
