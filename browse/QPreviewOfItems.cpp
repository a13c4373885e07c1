#include "browse/QPreviewOfItems.h"

#include "app/WidgetLook.h"
#include "archive/MailAttachments.h"
#include "archive/TextReader.h"
#include "browse/AttachmentList.h"
#include "browse/DetailLines.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/EntityDecoding.h"
#include "parsers/HtmlTest.h"
#include "parsers/ItemDetails.h"
#include "parsers/MailDateRule.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"

#include <QRegularExpression>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSet>
#include <QTextBrowser>
#include <QTextCodec>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>
#include <QWebView>
#include <algorithm>
#include <cmath>
#include <cstring>

QPreviewOfItems *m_pPreview = nullptr;

namespace {
const QColor kDetailText(68, 68, 68);
const QColor kHeadingText(25, 104, 232);

template <int Width>
QString text(const char (&field)[Width])
{
    return utf8OrLatin1Field(field, Width);
}

template <int Width>
bool present(const char (&field)[Width])
{
    return field[0] != '\0';
}

// A stretch of the .olm file as the previews show it: only the bytes actually read,
// at most limit of them, cut at the first zero byte where asked.
PreviewText readPreviewText(const TextReader &olm, qint64 offset, qint64 size, qint64 limit, bool cutAtZero)
{
    PreviewText result;
    result.bytes = olm.read(offset, qMin(size, limit));
    // Shortened only where the file holds more; a size beyond the file's end shows what there is.
    result.shortened = size > limit && result.bytes.size() == limit;
    if (cutAtZero) {
        const int zero = result.bytes.indexOf('\0');
        if (zero >= 0)
            result.bytes.truncate(zero);
    }
    return result;
}

FileTextReader olmReader()
{
    return FileTextReader(fileDescriptor, lSize);
}

// Walks a list for the first record whose identifier equals the row's column 5.
template <typename Record>
const Record *recordWithIdentifier(const Record *head, QTreeWidgetItem *item)
{
    const QByteArray wanted = item->text(ItemKeyColumn).toLatin1();
    for (const Record *record = head; record; record = record->Next) {
        if (qstrncmp(record->Identifier, wanted.constData(), sizeof(record->Identifier)) == 0
            && wanted.size() < int(sizeof(record->Identifier)))
            return record;
    }
    return nullptr;
}

// The web view lays out a line without break opportunities in time that grows with the
// square of its length (seconds for 64 KB): runs longer than this outside markup get
// an invisible break opportunity.
constexpr int kLongestUnbrokenRun = 200;
const char kZeroWidthSpace[] = "\xe2\x80\x8b";

QByteArray breakLongRuns(const QByteArray &body, bool html)
{
    QByteArray result;
    result.reserve(body.size() + body.size() / kLongestUnbrokenRun * 3 + 3);
    int run = 0;
    bool inTag = false;
    for (const char byte : body) {
        const bool continuation = (uchar(byte) & 0xC0) == 0x80;
        if (html && byte == '<')
            inTag = true;
        if (inTag || byte == ' ' || byte == '\n' || byte == '\t') {
            run = 0;
        } else if (!continuation && ++run > kLongestUnbrokenRun) {
            run = 1;
            result += kZeroWidthSpace;
        }
        if (html && byte == '>')
            inTag = false;
        result += byte;
    }
    return result;
}

// The entities decoded, then the text up to its first zero byte.
QByteArray decodedUpToZero(const QByteArray &bytes)
{
    QByteArray decoded = decodePreviewEntities(bytes);
    const int zero = decoded.indexOf('\0');
    if (zero >= 0)
        decoded.truncate(zero);
    return decoded;
}

// " (work)" after a contact's e-mail address; nothing when the export gives no kind.
QString emailKindText(EmailKind kind)
{
    switch (kind) {
    case EmailKind::Work: return QPreviewOfItems::tr(" (work)");
    case EmailKind::Home: return QPreviewOfItems::tr(" (home)");
    case EmailKind::Other: return QPreviewOfItems::tr(" (other)");
    case EmailKind::Unknown: break;
    }
    return QString();
}

// "Yomi First Name : " for OPFContactCopyYomiFirstName: a label for an element the preview
// does not know by name.
// The element's name without the exporting program's prefix: "CanDelete".
QString elementName(const QByteArray &element)
{
    QString name = QString::fromLatin1(element);
    for (const char *prefix : {"OPFContactCopy", "OPFContact"}) {
        if (name.startsWith(QLatin1String(prefix))) {
            name.remove(0, int(strlen(prefix)));
            break;
        }
    }
    return name;
}

// The exporting program's own flags ("CanDelete" 0, "IsJapaneseContact" 0E0) say nothing
// of the person: a number under a name of that shape is left out.
bool isInternalFlag(const QByteArray &element, const QString &value)
{
    static const QRegularExpression flagName(QStringLiteral("^(Is|Can|Has|Get|Should|Was)[A-Z]"));
    bool number = false;
    value.toDouble(&number);
    return number && flagName.match(elementName(element)).hasMatch();
}

// A time as the export writes it ("2018-06-18T16:30:00", UTC) in the user's locale and
// zone; any other value as it is.
QString readableValue(const QString &value)
{
    static const QRegularExpression exportTime(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z?$"));
    if (!exportTime.match(value).hasMatch())
        return value;
    QDateTime moment = QDateTime::fromString(value.left(19), Qt::ISODate);
    moment.setTimeSpec(Qt::UTC);
    return moment.isValid() ? momentText(moment.toLocalTime()) : value;
}

QString elementLabel(const QByteArray &element)
{
    const QString name = elementName(element);
    QString label;
    for (int i = 0; i < name.size(); ++i) {
        if (i > 0 && name[i].isUpper() && !name[i - 1].isUpper())
            label += QLatin1Char(' ');
        label += name[i];
    }
    return label + QLatin1String(" : ");
}
} // namespace

QByteArray decodePreviewEntities(QByteArray text)
{
    return decodeEntities(text, EntityRule::Preview);
}

bool messageDateSeconds(const char *text, int width, qint64 *seconds)
{
    if (int(qstrnlen(text, width)) != 31 || text[3] != ',')
        return false;
    auto number = [text](int at, int digits, int *value) {
        *value = 0;
        for (int i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            *value = *value * 10 + (text[i] - '0');
        }
        return true;
    };
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    int month = 0;
    for (; month < 12; ++month) {
        if (qstrncmp(kMonths + 3 * month, text + 8, 3) == 0)
            break;
    }
    int day, year, hour, minute, second, zoneHours, zoneMinutes;
    if (month == 12 || !number(5, 2, &day) || !number(12, 4, &year) || !number(17, 2, &hour) || !number(20, 2, &minute)
        || !number(23, 2, &second) || !number(27, 2, &zoneHours) || !number(29, 2, &zoneMinutes))
        return false;
    const QDate date(year, month + 1, day);
    if (!date.isValid())
        return false;
    const int zone = (text[26] == '-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);
    *seconds = (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + hour * 3600 + minute * 60 + second - zone;
    return true;
}

MailShownDate mailShownDate(const MailMLRC &mail)
{
    const bool sentFirst = text(mail.FolderPath).isEmpty() || dateLineTimeField(mail) != MailTimeField::Received;
    const QString sent = text(mail.SentTime12);
    const QString received = text(mail.ReceivedTime12);
    const MailShownDate sentDate{sent, mail.SentTime, int(sizeof mail.SentTime)};
    const MailShownDate receivedDate{received, mail.ReceivedTime, int(sizeof mail.ReceivedTime)};
    // A received mail or a draft may have no sent time at all: the other time is shown then.
    if (!sent.isEmpty() || !received.isEmpty())
        return (sentFirst ? !sent.isEmpty() : received.isEmpty()) ? sentDate : receivedDate;
    // A draft may hold neither: the time it was last changed.
    const MailShownDate modified{QString(), mail.ModifiedTime, int(sizeof mail.ModifiedTime)};
    qint64 seconds = 0;
    if (!messageDateSeconds(modified.stamp, modified.stampWidth, &seconds))
        return {text(mail.ModifiedTime), modified.stamp, modified.stampWidth};
    return {QPreviewOfItems::tr("%1 (last modified)")
                .arg(QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toLocalTime(), QLocale::ShortFormat)),
            modified.stamp, modified.stampWidth};
}

QString addressesForDisplay(const QString &joined)
{
    // Lines may break only between addresses: inside one, spaces become no-break
    // spaces and hyphens and slashes are held to their neighbours by word joiners.
    const QChar noBreakSpace(0x00A0);
    const QString wordJoiner(QChar(0x2060));
    QStringList shown;
    for (QString address : joined.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        address = address.trimmed();
        if (address.isEmpty())
            continue;
        address.replace(QLatin1Char(' '), noBreakSpace);
        address.replace(QLatin1Char('-'), wordJoiner + QLatin1Char('-') + wordJoiner);
        address.replace(QLatin1Char('/'), wordJoiner + QLatin1Char('/') + wordJoiner);
        shown.append(address);
    }
    return shown.join(QLatin1String("; "));
}

QString utf8OrLatin1Field(const char *field, int width)
{
    const int length = int(strnlen(field, size_t(width)));
    QTextCodec::ConverterState state;
    const QString decoded = QTextCodec::codecForName("UTF-8")->toUnicode(field, length, &state);
    return state.invalidChars == 0 && state.remainingChars == 0 ? decoded : QString::fromLatin1(field, length);
}

QPreviewOfItems::QPreviewOfItems(const PreviewPanes &panes, QObject *parent)
    : QObject(parent)
    , m_panes(panes)
{
    // A narrower or wider preview wraps the header lines anew.
    m_headerViewport = m_panes.header->viewport();
    m_headerViewport->installEventFilter(this);
}

bool QPreviewOfItems::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == m_headerViewport) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->oldSize().width() != resize->size().width() && !m_panes.header->document()->isEmpty())
            fitHeaderHeight();
    }
    return QObject::eventFilter(watched, event);
}

void QPreviewOfItems::clear()
{
    hideAttachments();
    m_panes.header->clear();
    m_panes.details->clear();
    m_panes.webView->setHtml(QString());
    m_panes.webView->close();
}

void QPreviewOfItems::OnMessageSubjectClicked(QTreeWidgetItem *item, int column)
{
    if (!item)
        return;
    switch (item->text(ItemKindColumn).toULongLong()) {
    case ContactsFolderType: OnContactItemClicked(item, column); return;
    case CalendarFolderType: OnCalendarItemClicked(item, column); return;
    case TasksFolderType: OnTaskItemClicked(item, column); return;
    case NotesFolderType: OnNoteItemClicked(item, column); return;
    case RecoveredAttachmentsFolderType:
        // A file without its mail: what is known of it is its path and size.
        clear();
        m_panes.header->setPlainText(item->toolTip(ItemTextColumn) + QLatin1Char('\n') + item->text(ItemFirstDetailColumn)
                                     + QLatin1Char('\n') + tr("Its mail is not in the file; check the folder "
                                                               "\"Recovered attachments\" to save it."));
        return;
    default: break;
    }
    const qint64 offset = item->text(ItemKeyColumn).toLongLong();
    const qint64 size = qint64(item->text(ItemSizeColumn).toULongLong());
    // The row also knows its record's place in the list: mails without a body all
    // have offset and size 0, and the first of them is not necessarily this one.
    const QVariant ordinal = item->data(ItemKeyColumn, Qt::UserRole);
    if (ordinal.isValid()) {
        qint64 index = ordinal.toLongLong();
        const MailMLRC *mail = TmpMlrcPtrStart;
        while (mail && index-- > 0)
            mail = mail->Next;
        if (mail && mail->BodyOffset == offset && mail->BodySize == size) {
            MessageFieldsForThePreview(mail, olmReader());
            return;
        }
    }
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        if (mail->BodyOffset == offset && mail->BodySize == size) {
            MessageFieldsForThePreview(mail, olmReader());
            return;
        }
    }
}

void QPreviewOfItems::MessageFieldsForThePreview(const MailMLRC *mail, const TextReader &olm)
{
    QTextBrowser *header = m_panes.header;
    header->clear();
    header->show();
    m_panes.details->clear();
    m_panes.details->hide();
    header->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont font = header->font();
    font.setPointSize(11);
    header->setFont(font);
    if (!mail) {
        hideAttachments();
        return;
    }
    if (m_panes.attachments)
        m_panes.attachments->showAttachments(attachmentsOf(*mail), lSize, detailsOf(mail).unrecoveredAttachments);

    // Header lines are plain text: a subject such as "<b>hi" is shown, not rendered.
    QTextCursor lines(header->document());
    auto line = [&lines](const QString &label, const QString &value) {
        if (value.isEmpty())
            return;
        if (!lines.atStart())
            lines.insertBlock();
        lines.insertText(label + value);
    };
    const QString address = reducedSender(text(mail->FromAddress).split(QLatin1Char(';')));
    const QString name = reducedSender(text(mail->FromName).split(QLatin1Char(';')));
    // The sender's name as written (any script) beside the address.
    line(tr("From: "), name.isEmpty() || name == address || address.isEmpty()
                           ? (address.isEmpty() ? name : address)
                           : name + QLatin1String(" <") + address + QLatin1Char('>'));
    line(tr("Subject: "), text(mail->Subject));
    line(tr("To: "), addressesForDisplay(text(mail->ToAddresses)));
    line(tr("Date: "), mailShownDate(*mail).text);
    line(tr("Cc: "), addressesForDisplay(text(mail->CcAddresses)));
    line(tr("Bcc: "), addressesForDisplay(text(mail->BccAddresses)));
    QString attachmentNames = mail->AttachNames ? QString::fromUtf8(mail->AttachNames) : QString();
    for (const MissingAttachment &missing : detailsOf(mail).unrecoveredAttachments)
        attachmentNames += tr("%1 (missing);").arg(missing.name);
    line(tr("Attachments: "), attachmentNames);
    QTextCursor cursor = header->textCursor();
    cursor.movePosition(QTextCursor::Start);
    header->setTextCursor(cursor);
    fitHeaderHeight();
    header->ensureCursorVisible();

    QByteArray body;
    bool shortened = false;
    if (mail->BodyOffset > 0 && mail->BodySize > 0) {
        PreviewText read = readPreviewText(olm, mail->BodyOffset, mail->BodySize, kPreviewTextLimit, false);
        body = decodePreviewEntities(read.bytes);
        body.replace('\r', '\n');
        shortened = read.shortened;
    }
    const bool html = previewLooksLikeHtml(body);
    if (shortened) {
        const QString note = tr("(Only the first %1 MB of this %2 MB message are shown.)")
                                 .arg(kPreviewTextLimit >> 20)
                                 .arg((mail->BodySize + (1 << 20) - 1) >> 20);
        body += (html ? "<hr><p>" + note.toHtmlEscaped().toUtf8() + "</p>" : "\n\n" + note.toUtf8());
    }
    m_panes.webView->setContent(breakLongRuns(body, html), html ? QStringLiteral("text/html; charset=UTF-8")
                                           : QStringLiteral("text/plain; charset=UTF-8"),
                                QUrl());
    m_panes.webView->show();
}

void QPreviewOfItems::fitHeaderHeight()
{
    // The header box is as high as its lines, from its usual height up to half the
    // preview; beyond that it scrolls.
    QTextBrowser *header = m_panes.header;
    QTextDocument *document = header->document();
    document->setTextWidth(header->viewport()->width());
    const int frame = 2 * header->frameWidth();
    const int wanted = int(std::ceil(document->size().height())) + frame;
    const int half = header->parentWidget() ? header->parentWidget()->height() / 2 : kHeaderMinimumHeight;
    header->setFixedHeight(qMax(kHeaderMinimumHeight, qMin(wanted, half)));
}

void QPreviewOfItems::hideAttachments()
{
    if (m_panes.attachments)
        m_panes.attachments->clearAttachments();
}

void QPreviewOfItems::prepareDetailsPane()
{
    hideAttachments();
    m_panes.header->clear();
    m_panes.header->hide();
    m_panes.webView->setHtml(QString());
    m_panes.webView->close();
    QTextBrowser *details = m_panes.details;
    details->show();
    details->clear();
    details->setFont(lucidaGrande(12));
    details->setTextInteractionFlags(Qt::NoTextInteraction);
}

void QPreviewOfItems::appendDetail(const QString &line)
{
    m_panes.details->setTextColor(kDetailText);
    m_panes.details->append(line);
}

void QPreviewOfItems::appendPlainDetail(const QString &text)
{
    QTextEdit *details = m_panes.details;
    details->setTextColor(kDetailText);
    // The colour is set on the text itself: the new block would take a heading's before it.
    QTextCharFormat format = details->currentCharFormat();
    format.setForeground(kDetailText);
    QTextCursor cursor(details->document());
    cursor.movePosition(QTextCursor::End);
    if (!details->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text, format);
}

void QPreviewOfItems::appendLines(const QVector<DetailLine> &lines)
{
    for (const DetailLine &line : lines) {
        if (!line.value.isEmpty())
            appendPlainDetail(line.label + line.value + QLatin1Char('\n'));
    }
}

void QPreviewOfItems::noteShortened(const PreviewText &text, qint64 size)
{
    if (text.shortened)
        appendPlainDetail(tr("(Only the first %1 KB of this %2 KB text are shown.)")
                              .arg(kDetailsTextLimit >> 10)
                              .arg((size + 1023) >> 10));
}

void QPreviewOfItems::finishDetails()
{
    // Appending leaves the view at the end; the item is read from its top. The focus
    // stays in the list, so that the arrow keys go on through it.
    m_panes.details->moveCursor(QTextCursor::Start);
}

void QPreviewOfItems::OnContactItemClicked(QTreeWidgetItem *item, int)
{
    if (const ContactInformation *contact = recordWithIdentifier(TmpCTRCPtrStart, item))
        writePreviewItemsForContact(contact);
}

void QPreviewOfItems::OnCalendarItemClicked(QTreeWidgetItem *item, int)
{
    if (const CalenderInformation *event = recordWithIdentifier(TmpCLRCPtrStart, item))
        writePreviewItemsForCalendar(event);
}

void QPreviewOfItems::OnTaskItemClicked(QTreeWidgetItem *item, int)
{
    if (const TasksInformation *task = recordWithIdentifier(TmpTSRCPtrStart, item))
        writePreviewItemsForTask(task);
}

void QPreviewOfItems::OnNoteItemClicked(QTreeWidgetItem *item, int)
{
    if (const NotesInformation *note = recordWithIdentifier(TmpNTRCPtrStart, item))
        writePreviewItemsForNotes(note);
}

void QPreviewOfItems::writePreviewItemsForContact(const ContactInformation *contact)
{
    prepareDetailsPane();
    if (!contact)
        return;
    QTextBrowser *details = m_panes.details;
    const ContactInformation &c = *contact;
    const ContactDetails &more = detailsOf(contact);
    // Every element shown by name, so that what is left can be shown after them.
    QSet<QByteArray> shownElements;
    auto value = [&](const char *element, const QString &recordValue) {
        shownElements.insert(element);
        return contactValue(more, element, recordValue);
    };
    const QString firstName = value("OPFContactCopyFirstName", text(c.FirstName));
    const QString lastName = value("OPFContactCopyLastName", text(c.LastName));
    QString name;
    if (!firstName.isEmpty())
        name = firstName + QLatin1Char(' ');
    name += lastName;

    details->setTextColor(kDetailText);
    details->append(QStringLiteral("\n"));
    details->setFontPointSize(18);
    appendPlainDetail(name.isEmpty() ? tr("Unknown") : name);
    details->setFontPointSize(11);
    details->append(QStringLiteral("\n"));
    details->setAlignment(Qt::AlignLeft);

    auto section = [&](const QString &heading, const QVector<DetailLine> &lines) {
        if (std::none_of(lines.cbegin(), lines.cend(), [](const DetailLine &line) { return !line.value.isEmpty(); }))
            return;
        details->setTextColor(kHeadingText);
        details->append(heading);
        details->setFontPointSize(11);
        appendLines(lines);
    };
    auto field = [](const char *label, const QString &value) { return DetailLine{tr(label), value}; };
    auto date = [](const QString &stored) {
        const QDate day = QDate::fromString(stored, Qt::ISODate);
        return day.isValid() ? dayText(day) : stored;
    };

    section(tr("Contact Name\n"),
            {field("Suffix : ", value("OPFContactCopySetNameSuffix", text(c.NameSuffix))),
             field("First Name : ", firstName), field("Middle Name : ", value("OPFContactCopyMiddleName", more.middleName)),
             field("Last Name : ", lastName), field("Nickname: ", value("OPFContactCopyNickName", text(c.NickName))),
             field("Display Name : ", value("OPFContactCopyDisplayName", text(c.DisplayName)))});
    section(tr("Professional Properties\n"),
            {field("Title : ", value("OPFContactCopyTitle", text(c.Title))),
             field("Company : ", value("OPFContactCopyBusinessCompany", text(c.Company))),
             field("Office : ", value("OPFContactCopyBusinessOffice", text(c.Office)))});

    QVector<DetailLine> emails;
    if (!more.emails.isEmpty()) {
        // Every address of the export, with its kind, however many the record's slots hold.
        for (int i = 0; i < more.emails.size(); ++i)
            emails.append({tr("Email Address %1 : ").arg(i + 1),
                           more.emails[i].address + emailKindText(more.emails[i].kind)});
    } else {
        for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot) {
            // An address of a single byte is no address.
            const bool shown = strnlen(c.EmailAddresses[slot], ContactWidth::Address) > 1;
            emails.append({tr("Email Address %1 : ").arg(slot + 1), shown ? text(c.EmailAddresses[slot]) : QString()});
        }
    }
    section(tr("Email Addresses\n"), emails);

    section(tr("Telephone Numbers and Fax\n"),
            {field("Home Phone 1 : ", value("OPFContactCopyHomePhone", text(c.HomePhone1))),
             field("Home Phone 2 : ", value("OPFContactCopyHomePhone2", text(c.HomePhone2))),
             field("Home Fax : ", value("OPFContactCopyHomeFax", text(c.HomeFax))),
             field("Work Phone 1 : ", value("OPFContactCopyBusinessPhone", text(c.WorkPhone1))),
             field("Work Phone 2 : ", value("OPFContactCopyBusinessPhone2", text(c.WorkPhone2))),
             field("Work Fax : ", value("OPFContactCopyBusinessFax", text(c.WorkFax))),
             field("Pager : ", value("OPFContactCopyPager", text(c.Pager))),
             field("Mobile Phone : ", value("OPFContactCopyCellPhone", text(c.MobilePhone))),
             field("Main Phone : ", value("OPFContactMainPhone", text(c.MainPhone))),
             field("Assistant Phone : ", value("OPFContactCopyAssistantPhone", text(c.AssistantPhone))),
             field("Radio Phone : ", value("OPFContactCopyRadioPhone", QString())),
             field("Other Phone : ", value("OPFContactCopyOtherPhone", QString())),
             field("Other Fax : ", value("OPFContactCopyOtherFax", QString())),
             field("Custom Phone 1 : ", value("OPFContactCopyCustomPhone1", text(c.CustomPhone[0]))),
             field("Custom Phone 2 : ", value("OPFContactCopyCustomPhone2", text(c.CustomPhone[1]))),
             field("Custom Phone 3 : ", value("OPFContactCopyCustomPhone3", text(c.CustomPhone[2]))),
             field("Custom Phone 4 : ", value("OPFContactCopyCustomPhone4", text(c.CustomPhone[3])))});

    QVector<DetailLine> others = {
        field("Job Title : ", value("OPFContactCopyBusinessTitle", text(c.JobTitle))),
        field("Dept : ", value("OPFContactCopyBusinessDepartment", text(c.Department))),
        field("Work Street Address : ", value("OPFContactCopyBusinessStreetAddress", text(c.WorkStreet))),
        field("Work City : ", value("OPFContactCopyBusinessCity", text(c.WorkCity))),
        field("Work State : ", value("OPFContactCopyBusinessState", text(c.WorkState))),
        field("Work Zip : ", value("OPFContactCopyBusinessZip", text(c.WorkZip))),
        field("Work Country/Region : ", value("OPFContactCopyBusinessCountry", text(c.WorkCountry))),
        field("Work URL : ", value("OPFContactCopyBusinessHomePage", text(c.WorkWebPage))),
        field("Home Street Address : ", value("OPFContactCopyHomeStreetAddress", text(c.HomeStreet))),
        field("Home City : ", value("OPFContactCopyHomeCity", text(c.HomeCity))),
        field("Home State : ", value("OPFContactCopyHomeState", text(c.HomeState))),
        field("Home Zip : ", value("OPFContactCopyHomeZip", text(c.HomeZip))),
        field("Home Country/Region : ", value("OPFContactCopyHomeCountry", text(c.HomeCountry))),
        field("Home URL : ", value("OPFContactCopyHomeWebPage", text(c.HomeWebPage))),
        field("Other Street Address : ", value("OPFContactCopyOtherStreetAddress", QString())),
        field("Other City : ", value("OPFContactCopyOtherCity", QString())),
        field("Other State : ", value("OPFContactCopyOtherState", QString())),
        field("Other Zip : ", value("OPFContactCopyOtherZip", QString())),
        field("Other Country/Region : ", value("OPFContactCopyOtherCountry", QString()))};
    if (!more.imAddresses.isEmpty()) {
        for (int i = 0; i < more.imAddresses.size(); ++i)
            others.append({tr("Instant Messaging %1 : ").arg(i + 1), more.imAddresses[i].address});
    } else {
        for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot)
            others.append({tr("Instant Messaging %1 : ").arg(slot + 1), text(c.IMAddresses[slot])});
    }
    static const char *const kCustomElements[] = {"OPFContactCopyCustom1Data", "OPFContactCopyCustom2Data",
                                                  "OPFContactCopyCustom3Data", "OPFContactCopyCustom4Data",
                                                  "OPFContactCustomData5",     "OPFContactCustomData6",
                                                  "OPFContactCustomData7",     "OPFContactCustomData8"};
    for (int slot = 0; slot < ContactWidth::CustomFieldSlots; ++slot)
        others.append({tr("Custom %1 : ").arg(slot + 1), value(kCustomElements[slot], text(c.CustomFields[slot]))});
    others.append(field("Custom Date 1 : ", date(text(c.CustomDate1))));
    others.append(field("Custom Date 2 : ", date(text(c.CustomDate2))));
    others.append(field("Spouse : ", value("OPFContactCopySpousesName", text(c.Spouse))));
    others.append(field("Interests : ", value("OPFContactCopyInterests", text(c.Interests))));
    if (!more.children.isEmpty()) {
        for (int i = 0; i < more.children.size(); ++i)
            others.append({tr("Childern %1 : ").arg(i + 1), more.children[i]});
    } else {
        for (int slot = 0; slot < ContactWidth::ChildSlots; ++slot)
            others.append({tr("Childern %1 : ").arg(slot + 1), text(c.Children[slot])});
    }
    others.append(field("Blood : ", value("OPFContactCopyBloodType", text(c.BloodType))));
    others.append(field("Age : ", c.Age != 0 ? QString::number(quint32(c.Age)) : QString()));
    others.append(field("Birthday : ", date(text(c.Birthday))));
    others.append(field("Anniversary : ", date(text(c.Anniversary))));
    others.append(field("Categories : ", more.categories.isEmpty() ? ownedText(c.Categories, FieldEncoding::Utf8)
                                                                   : more.categories.join(QLatin1String(", "))));
    // Whatever else the export holds for the contact, under its element's name.
    static const QSet<QByteArray> kShownElsewhere = {
        "OPFContactCopyNotes",      "OPFContactCopyNotesPlain",   "OPFContactCopyAge",
        "OPFContactCopyBirthday",   "OPFContactCopyAnniversary",  "OPFContactCopyCustomDate1",
        "OPFContactCopyCustomDate2"};
    QList<QByteArray> rest;
    for (auto it = more.texts.cbegin(); it != more.texts.cend(); ++it) {
        if (!shownElements.contains(it.key()) && !kShownElsewhere.contains(it.key()))
            rest.append(it.key());
    }
    std::sort(rest.begin(), rest.end());
    for (const QByteArray &element : rest) {
        const QString value = more.texts.value(element);
        if (!isInternalFlag(element, value))
            others.append({elementLabel(element), readableValue(value)});
    }
    section(tr("Others\n"), others);

    if (c.NotesSize != 0) {
        details->setTextColor(kHeadingText);
        details->append(tr("Description :\n"));
        details->setTextColor(kDetailText);
        details->append(QString());
        const PreviewText note = readPreviewText(olmReader(), c.NotesOffset, c.NotesSize, kDetailsTextLimit, true);
        QTextDocument scratch;
        scratch.setHtml(QString::fromUtf8(breakLongRuns(note.bytes, true)));
        appendPlainDetail(scratch.toPlainText());
        noteShortened(note, c.NotesSize);
    }
    finishDetails();
}

void QPreviewOfItems::writePreviewItemsForCalendar(const CalenderInformation *event)
{
    prepareDetailsPane();
    if (!event)
        return;
    const EventDetails &more = detailsOf(event);
    m_panes.details->setFontPointSize(11);
    // The record keeps the summary and location with their character references; a summary
    // too long for its field comes whole from the details.
    const QString summary = present(event->Summary) ? decodeXmlText(text(event->Summary)) : more.summary;
    if (!summary.isEmpty())
        appendPlainDetail(tr("Summary : ") + summary + QLatin1Char('\n'));
    if (present(event->Location))
        appendPlainDetail(tr("Location : ") + decodeXmlText(text(event->Location)) + QLatin1Char('\n'));
    appendLines(eventLines(*event, more));
    if (event->DescriptionSize != 0) {
        appendPlainDetail(tr("Description: \n"));
        const PreviewText description = readPreviewText(olmReader(), event->DescriptionOffset,
                                                         event->DescriptionSize, kDetailsTextLimit, true);
        appendPlainDetail(QString::fromUtf8(breakLongRuns(decodePreviewEntities(description.bytes), false)));
        noteShortened(description, event->DescriptionSize);
    }
    finishDetails();
}

void QPreviewOfItems::writePreviewItemsForTask(const TasksInformation *task)
{
    prepareDetailsPane();
    if (!task)
        return;
    const TaskDetails &more = detailsOf(task);
    if (present(task->Name))
        appendPlainDetail(tr("Task : ") + text(task->Name) + QLatin1Char('\n'));
    appendLines(taskDateLines(*task, more));
    if (present(task->Priority)) {
        const QByteArray priority(task->Priority, int(strnlen(task->Priority, sizeof(task->Priority))));
        if (priority == "2")
            appendPlainDetail(tr("Priority : ") + tr("High") + QLatin1Char('\n'));
        else if (priority == "3")
            appendPlainDetail(tr("Priority : ") + tr("Normal") + QLatin1Char('\n'));
        else if (priority == "4")
            appendPlainDetail(tr("Priority : ") + tr("Low") + QLatin1Char('\n'));
        else
            appendPlainDetail(tr("Priority : "));
    }
    appendLines(taskStateLines(more));
    if (task->NoteSize != 0) {
        appendPlainDetail(tr("Description: \n"));
        const PreviewText note = readPreviewText(olmReader(), task->NoteOffset, task->NoteSize, kDetailsTextLimit, false);
        appendDetail(QString::fromUtf8(breakLongRuns(decodedUpToZero(note.bytes), true)));
        noteShortened(note, task->NoteSize);
    }
    finishDetails();
}

void QPreviewOfItems::writePreviewItemsForNotes(const NotesInformation *note)
{
    prepareDetailsPane();
    if (!note)
        return;
    if (present(note->Title))
        appendPlainDetail(tr("Summary : ") + text(note->Title) + QLatin1Char('\n'));
    appendLines(noteLines(*note));
    if (note->NotesSize != 0) {
        appendPlainDetail(tr("Description : \n"));
        const PreviewText body = readPreviewText(olmReader(), note->NotesOffset, note->NotesSize, kDetailsTextLimit, false);
        appendDetail(QString::fromUtf8(breakLongRuns(decodedUpToZero(body.bytes), true)));
        noteShortened(body, note->NotesSize);
    }
    finishDetails();
}
