#include "browse/QParseDatabase.h"

#include "app/AppState.h"
#include "app/WidgetLook.h"
#include "browse/DetailLines.h"
#include "browse/MailRowText.h"
#include "browse/QPreviewOfItems.h"
#include "browse/SearchableRow.h"
#include "browse/SizeText.h"
#include "olm/FolderModel.h"
#include "olm/RecoveredAttachments.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/EntityDecoding.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"
#include "search/QSearchPSTFile.h"
#include "ui_ParseDatabase.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <climits>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QMessageBox>
#include <QMultiHash>
#include <QScopedValueRollback>
#include <QRegularExpression>
#include <QSet>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <optional>

QMap<qint64, QTreeWidgetItem *> objMapFileIdTreeItem;

namespace {
// The parent id the root item shows.
const char kRootParentText[] = "500";
const char kFolderWithoutPathLocation[] = "/Main Identity.rge/Folder1";
// The item list's columns never get narrower than this, however short their texts.
constexpr int kNarrowestDetailColumn = 60;
constexpr int kNarrowestSubjectColumn = 150;
// Rows measured for the columns' widths: enough to be representative, few enough for a big folder.
constexpr int kMeasuredRows = 1000;
// Room beside a cell's text for its margins, and beside a header's for the sort arrow too.
constexpr int kCellTextPadding = 16;
constexpr int kHeaderTextPadding = 30;
// Longest event pass per walk tick: short enough to keep the walk going, long enough to paint.
constexpr int kEventPassMs = 15;
// Longest slice of making a list's rows searchable between events.
constexpr int kSearchTextSliceMs = 20;

CheckStateCode codeOf(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked: return CheckedCode;
    case Qt::PartiallyChecked: return PartiallyCheckedCode;
    case Qt::Unchecked: break;
    }
    return UncheckedCode;
}

QString codeText(Qt::CheckState state)
{
    return QString::number(codeOf(state));
}

// What every folder item shares: font, size, an unchecked box recorded as "3".
void prepareFolderItem(QTreeWidgetItem *item, const QString &name, const QString &icon)
{
    item->setText(FolderNameColumn, name);
    item->setIcon(FolderNameColumn, QIcon(icon));
    item->setFont(FolderNameColumn, lucidaGrande(11));
    item->setSizeHint(FolderNameColumn, QSize(20, 20));
    item->setCheckState(FolderNameColumn, Qt::Unchecked);
    item->setText(FolderStateColumn, QString::number(UncheckedCode));
}

qint64 folderIdOf(const QTreeWidgetItem *item)
{
    return item->text(FolderIdColumn).toLongLong();
}

// The special folder an item of the tree stands for by its name and type; mail otherwise.
FolderType openedKind(const QTreeWidgetItem *item)
{
    const qulonglong type = item->text(FolderTypeColumn).toULongLong();
    for (const SpecialFolder &special : kSpecialFolders) {
        if (special.type != MailFolderType && qulonglong(special.type) == type
            && item->text(FolderNameColumn) == QLatin1String(special.name))
            return special.type;
    }
    return MailFolderType;
}

// A row that sorts by its column's number where it has one (dates, sizes), by its text
// otherwise. The numbers are plain members: a sort of tens of thousands of rows compares
// them hundreds of thousands of times. What every row shows alike, and moments in the
// user's zone, are given when asked for rather than kept per row: a folder of hundreds of
// thousands of mails shows a few dozen rows at once, and the zone costs a look at the
// system's settings each time.
class ItemRow : public SearchableRow
{
public:
    // Told apart from other items by its type: a cast that looks the class up costs more
    // than the comparison it serves.
    static constexpr int kType = UserType + 1;
    ItemRow() : SearchableRow(kType) {}

    void setSortKey(int column, qint64 key)
    {
        const int slot = column - ItemFirstDetailColumn;
        if (slot < 0 || slot >= kSlots)
            return;
        m_keys[slot] = key;
        m_hasKey |= 1 << slot;
    }
    // The column shows seconds since the epoch as the user's short date and time, and sorts by them.
    void setMomentColumn(int column, qint64 seconds)
    {
        setSortKey(column, seconds);
        const int slot = column - ItemFirstDetailColumn;
        if (slot >= 0 && slot < kSlots)
            m_isMoment |= 1 << slot;
    }

    bool isMomentColumn(int column) const
    {
        const int slot = column - ItemFirstDetailColumn;
        return slot >= 0 && slot < kSlots && (m_isMoment & (1 << slot));
    }

    QVariant data(int column, int role) const override
    {
        switch (role) {
        case Qt::FontRole: {
            static const QFont font = lucidaGrande(11);
            return font;
        }
        case Qt::SizeHintRole: return QSize(20, 20);
        case Qt::DisplayRole:
            if (isMomentColumn(column))
                return listMomentText(QDateTime::fromSecsSinceEpoch(m_keys[column - ItemFirstDetailColumn], Qt::UTC));
            break;
        default: break;
        }
        return SearchableRow::data(column, role);
    }

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : ItemTextColumn;
        const int slot = column - ItemFirstDetailColumn;
        const auto *row = other.type() == kType ? static_cast<const ItemRow *>(&other) : nullptr;
        if (row && slot >= 0 && slot < kSlots && ((m_hasKey | row->m_hasKey) & (1 << slot)))
            return keyAt(slot) < row->keyAt(slot);
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }

private:
    static constexpr int kSlots = ItemColumnCount - ItemFirstDetailColumn;
    qint64 keyAt(int slot) const { return (m_hasKey & (1 << slot)) ? m_keys[slot] : LLONG_MIN; }
    qint64 m_keys[kSlots] = {};
    int m_hasKey = 0;
    int m_isMoment = 0;
};

// A compact UTC stamp as the parsers store it ("20110319T172229", a final "Z" allowed)
// shown in the user's own short date and time, sorting by its moment; nothing for other text.
void setStampColumn(ItemRow *row, int column, const char *stamp, int width)
{
    QString text = QString::fromLatin1(stamp, int(qstrnlen(stamp, width)));
    if (text.endsWith(QLatin1Char('Z')))
        text.chop(1);
    if (text.size() != 15 || text.at(8) != QLatin1Char('T'))
        return;
    const QDate date = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    const QTime time = QTime::fromString(text.mid(9), QStringLiteral("HHmmss"));
    if (!date.isValid() || !time.isValid())
        return;
    row->setMomentColumn(column, QDateTime(date, time, Qt::UTC).toSecsSinceEpoch());
}

// A day in the user's short date, sorting with the moments beside it at its local midnight.
void setDayColumn(ItemRow *row, int column, const QDate &day)
{
    row->setText(column, QLocale().toString(day, QLocale::ShortFormat));
    row->setSortKey(column, QDateTime(day, QTime(0, 0)).toSecsSinceEpoch());
}

// A row of the item list: the kind's icon and the text.
ItemRow *newRow(const QString &text, const QIcon &kindIcon)
{
    auto *row = new ItemRow;
    row->setIcon(ItemKindIconColumn, kindIcon);
    row->setText(ItemTextColumn, text);
    return row;
}

// A contact, event, task or note row, found again by its identifier.
template <int Width>
ItemRow *identifiedRow(const QString &text, const char (&identifier)[Width], FolderType kind,
                               const QIcon &kindIcon)
{
    ItemRow *row = newRow(text, kindIcon);
    row->setText(ItemKeyColumn, QString::fromLatin1(identifier, int(qstrnlen(identifier, Width))));
    row->setText(ItemKindColumn, QString::number(kind));
    return row;
}

template <int Width>
QString rowText(const char (&field)[Width])
{
    return utf8OrLatin1Field(field, Width);
}

template <int Width>
bool isHighPriority(const char (&priority)[Width])
{
    return qstrncmp(priority, "2", Width) == 0;
}

// A mail's row, made from its record when shown: a folder of hundreds of thousands of
// mails shows a few dozen at a time. What it sorts by is worked out at once.
class MailRow : public ItemRow
{
public:
    MailRow(const MailMLRC &mail, qint64 ordinal) : m_mail(mail), m_ordinal(ordinal)
    {
        qint64 seconds = LLONG_MIN;
        if (mailDateSeconds(mail, &seconds))
            setMomentColumn(ItemFirstDetailColumn + 1, seconds);
        else
            setSortKey(ItemFirstDetailColumn + 1, LLONG_MIN);
        setSortKey(ItemFirstDetailColumn + 2, mailSize(mail));
    }

    QVariant data(int column, int role) const override
    {
        if (role == Qt::DisplayRole) {
            switch (column) {
            case ItemTextColumn:
                // Kept once asked for, as the sender: a sort asks for them many times over.
                if (!m_subject) {
                    const QString subject = rowText(m_mail.Subject);
                    m_subject = subject.isEmpty() ? QParseDatabase::tr("No Subject") : subject;
                }
                return *m_subject;
            case ItemKeyColumn: return QString::number(m_mail.BodyOffset);
            case ItemSizeColumn: return QString::number(m_mail.BodySize);
            case ItemFirstDetailColumn:
                if (!m_sender)
                    m_sender = mailSenderText(m_mail);
                return *m_sender;
            case ItemFirstDetailColumn + 2: return sizeText(mailSize(m_mail));
            default: break;
            }
            // A mail without a time shows the Date line's own text.
            if (column == ItemFirstDetailColumn + 1 && !isMomentColumn(column))
                return mailShownDate(m_mail).text;
        } else if (role == Qt::ToolTipRole && column == ItemFirstDetailColumn + 1 && isMomentColumn(column)) {
            // The user's short date fits the column; the preview's whole line stays at hand.
            return mailShownDate(m_mail).text;
        } else if (role == Qt::UserRole && column == ItemKeyColumn) {
            return m_ordinal;
        } else if (role == Qt::DecorationRole) {
            switch (column) {
            case ItemKindIconColumn: return icon(":/images/img_InboxFolderIcon.png");
            case ItemPriorityColumn:
                return isHighPriority(m_mail.Priority) ? icon(":/images/img_Priority.png") : QVariant();
            case ItemAttachmentColumn:
                // A mail whose attachments could not be recovered still shows that it had some.
                return m_mail.AttachNames || !detailsOf(&m_mail).unrecoveredAttachments.isEmpty()
                           ? icon(":/images/img_Attachment.png")
                           : QVariant();
            default: break;
            }
        }
        return ItemRow::data(column, role);
    }

protected:
    // What a person searches a mail by: subject, people and attachment names.
    QString searchTextOnDemand() const override
    {
        QString text = rowText(m_mail.Subject) + QLatin1Char('\n') + rowText(m_mail.FromName) + QLatin1Char('\n')
                       + rowText(m_mail.FromAddress) + QLatin1Char('\n') + rowText(m_mail.ToAddresses)
                       + QLatin1Char('\n') + rowText(m_mail.CcAddresses) + QLatin1Char('\n')
                       + rowText(m_mail.BccAddresses);
        if (m_mail.AttachNames)
            text += QLatin1Char('\n') + QString::fromUtf8(m_mail.AttachNames);
        for (const MissingAttachment &missing : detailsOf(&m_mail).unrecoveredAttachments)
            text += QLatin1Char('\n') + missing.name;
        return text;
    }

private:
    static QIcon icon(const char *path)
    {
        static QHash<const char *, QIcon> icons;
        auto found = icons.find(path);
        if (found == icons.end())
            found = icons.insert(path, QIcon(QLatin1String(path)));
        return *found;
    }

    const MailMLRC &m_mail;
    qint64 m_ordinal;
    mutable std::optional<QString> m_subject, m_sender;
};

// A contact is searched by every field a person may remember: the record's and,
// where the export held more, every text of the export's contact.
QString contactSearchText(const ContactInformation &contact, const QString &name, const QStringList &addresses)
{
    QStringList parts{name, rowText(contact.Company), rowText(contact.NickName), rowText(contact.JobTitle),
                      rowText(contact.Department), rowText(contact.HomeCity), rowText(contact.WorkCity),
                      rowText(contact.HomePhone1), rowText(contact.HomePhone2), rowText(contact.WorkPhone1),
                      rowText(contact.WorkPhone2), rowText(contact.MobilePhone), rowText(contact.MainPhone)};
    parts += addresses;
    const ContactDetails &more = detailsOf(&contact);
    for (auto text = more.texts.cbegin(); text != more.texts.cend(); ++text)
        parts.append(text.value());
    for (const ContactAddress &address : more.emails + more.imAddresses)
        parts.append(address.address);
    parts += more.children;
    parts += more.categories;
    return parts.join(QLatin1Char('\n'));
}

} // namespace

void clearFolderTree(QTreeWidget *tree)
{
    objMapFileIdTreeItem.clear();
    tree->clear();
}

QParseDatabase::QParseDatabase(QWidget *parent, QTreeWidget *folderTree, QTreeWidget *itemList,
                               QPreviewOfItems *preview)
    : QDialog(parent)
    , ui(new Ui::ParseDatabaseDialog)
    , m_pFolderTree(folderTree)
    , m_pItemList(itemList)
    , m_preview(preview)
    , m_pParser(new FolderInformation(this))
{
    ui->setupUi(this);
    bProcessRunning = false;

    connect(ui->browseButton, &QPushButton::clicked, this, &QParseDatabase::OpenFileDialog);
    connect(ui->startButton, &QPushButton::clicked, this, &QParseDatabase::OnStartScan);
    connect(ui->startButton, &QPushButton::pressed, this, &QParseDatabase::OnPressed);
    connect(ui->startButton, &QPushButton::released, this, &QParseDatabase::OnReleased);
    connect(ui->findButton, &QPushButton::clicked, this, &QParseDatabase::SearchFile);
    connect(&m_searchTextPreparation, &QTimer::timeout, this, &QParseDatabase::prepareSearchTexts);
    // A typed or pasted path is checked when the scan starts.
    connect(ui->pathField, &QLineEdit::textChanged, this,
            [this](const QString &text) { ui->startButton->setEnabled(!text.trimmed().isEmpty()); });
}

QParseDatabase::~QParseDatabase()
{
    delete ui;
}

void QParseDatabase::ChooseFile(const QString &path)
{
    m_selectedFile = path;
    m_strDatabasePath = path;
    if (path.isEmpty())
        return;
    ui->startButton->setEnabled(true);
    ui->pathField->setText(path);
}

void QParseDatabase::OpenFileDialog()
{
    ChooseFile(QFileDialog::getOpenFileName(this, tr("Open OLM File"), QString(),
                                            tr("Outlook for Mac export (*.olm)") + QLatin1String(";;")
                                                + tr("All Files (*)")));
}

void QParseDatabase::SearchFile()
{
    m_strDatabasePath.clear();
    m_selectedFile.clear();
    ui->pathField->clear();
    ui->startButton->setEnabled(false);
    hide();
    auto *search = new QSearchPSTFile(this);
    connect(search, &QSearchPSTFile::SendPathOfSelectedFile, this, &QParseDatabase::OnRecievePathOfSelectedFile);
    connect(search, &QSearchPSTFile::HideFindWindow, this, &QParseDatabase::OnHideFindWindow);
    search->show();
}

void QParseDatabase::OnRecievePathOfSelectedFile(const QString &path)
{
    if (path.isEmpty())
        return;
    ChooseFile(path);
    show();
}

void QParseDatabase::OnHideFindWindow()
{
    // After Find File from the main window the browse window stays hidden.
    if (bLastState)
        show();
}

void QParseDatabase::OnPressed()
{
    ui->startButton->setIcon(QIcon(QStringLiteral(":/images/img_Start.png")));
}

void QParseDatabase::OnReleased()
{
    ui->startButton->setIcon(QIcon(QStringLiteral(":/images/img_Start.png")));
}

void QParseDatabase::OnStartScan()
{
    const QString typed = ui->pathField->text().trimmed();
    if (typed != m_selectedFile)
        ChooseFile(typed);
    if (m_selectedFile.isEmpty())
        return;
    if (!QFileInfo::exists(m_selectedFile)) {
        // The window stays, with the path to correct.
        QMessageBox::warning(this, tr("Select OLM File"),
                             tr("There is no file at \"%1\".\nCheck the path, or choose the file with Browse.")
                                 .arg(m_selectedFile));
        ui->pathField->setFocus();
        return;
    }
    emit scanStarting();
    clearFolderTree(m_pFolderTree);
    m_pFolderTree->setAlternatingRowColors(true);

    // Frees the previous scan, closes its file and opens this one; lSize comes from the open file.
    ScanRefusal refusal;
    if (!beginScan(m_selectedFile, &refusal)) {
        hide();
        QMessageBox::information(parentWidget(), tr("Scan"),
                                 openFailureMessage(refusal, QDir::toNativeSeparators(m_selectedFile)));
        return;
    }
    hide();
    const bool stopped = !CreateFile();

    finishScan();
    // A stopped scan is reported like a finished one, with what it found so far: this
    // is a rescue, and the user may want exactly those items.
    bStopFlag = false;
    // The owner enables its controls, selects the mail category and builds the tree.
    emit OnFinishScanning();
    if (stopped) {
        QMessageBox::information(parentWidget(), tr("Scan"),
                                 anyRecordsLoaded()
                                     ? tr("The scan was stopped before the end of the file. The folders and items "
                                          "found so far are shown.")
                                     : tr("The scan was stopped before the end of the file. It found no items "
                                          "before it was stopped."));
        return;
    }
    if (recordMemoryFull)
        QMessageBox::information(parentWidget(), tr("Scan"), tr(recordSpaceFullMessage()));
    if (anyRecordsLoaded())
        emit InformationDlgOpen();
    else
        QMessageBox::information(parentWidget(), tr("Scan"), tr(kInvalidFileMessage));
}

bool QParseDatabase::CreateFile()
{
    WalkHooks hooks;
    hooks.started = [this](qint64 maximumUnits) { emit OnInitialSettings(maximumUnits); };
    hooks.tick = [this](qint64 units) {
        emit OnProgressvalue(units);
        // The scan runs on the interface thread: one bounded event pass per tick keeps
        // the windows painted and the stop button answering.
        QCoreApplication::processEvents(QEventLoop::AllEvents, kEventPassMs);
    };
    // The progress dialog's stop button sets bStopFlag; each walk starts with it clear.
    bStopFlag = false;
    hooks.stopRequested = [] { return bStopFlag.load(); };
    // A walk that ended because record memory is full keeps and shows what it found.
    return walkOpenFile(*m_pParser, hooks) != WalkResult::Stopped;
}

// The folder tree.

namespace {
bool anyMailWithoutPath()
{
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next)
        if (mail->ParentId == kFolderWithoutPathId)
            return true;
    return false;
}
} // namespace

void QParseDatabase::GenerateTree()
{
    const QScopedValueRollback<bool> building(m_settingBoxes, true);
    // A rebuild replaces the tree and its records: a folder is never listed, or saved, twice.
    clearFolderTree(m_pFolderTree);
    buildFolderAttributeList();
    m_pFolderTree->setIconSize(QSize(20, 20));

    auto *root = new QTreeWidgetItem(m_pFolderTree);
    prepareFolderItem(root, m_selectedFile, QLatin1String(kPlainFolderIcon));
    // A long path is cut at the pane's edge; the tooltip shows it whole.
    root->setToolTip(FolderNameColumn, m_selectedFile);
    root->setText(FolderIdColumn, QString::number(llRootId));
    root->setText(FolderParentColumn, QLatin1String(kRootParentText));
    root->setExpanded(true);
    objMapFileIdTreeItem.insert(llRootId, root);

    // Parents have smaller ids than their children, so ascending order meets every parent first.
    for (auto it = objMapFID_PID.constBegin(); it != objMapFID_PID.constEnd(); ++it)
        AddItemToTree(it.key());

    // "Folder1" takes the mails found without a folder path: a healthy export has none,
    // and an empty folder of that name would only leave the user wondering what was lost.
    if (anyMailWithoutPath()) {
        auto *withoutPath = new QTreeWidgetItem(root);
        prepareFolderItem(withoutPath, QLatin1String(kFolderWithoutPathName), QLatin1String(kPlainFolderIcon));
        withoutPath->setText(FolderIdColumn, QString::number(kFolderWithoutPathId));
        withoutPath->setText(FolderParentColumn, QString::number(llRootId));
        withoutPath->setText(FolderLocationColumn, QLatin1String(kFolderWithoutPathLocation));
        withoutPath->setExpanded(true);
        objMapFileIdTreeItem.insert(kFolderWithoutPathId, withoutPath);
    }

    // Attachments whose mail is not in the file: saved as files when checked.
    if (!recoveredAttachments.isEmpty()) {
        auto *recovered = new QTreeWidgetItem(root);
        prepareFolderItem(recovered, QLatin1String(kRecoveredAttachmentsName), QLatin1String(kPlainFolderIcon));
        recovered->setText(FolderTypeColumn, QString::number(RecoveredAttachmentsFolderType));
        recovered->setText(FolderIdColumn, QString::number(kRecoveredAttachmentsId));
        recovered->setText(FolderParentColumn, QString::number(llRootId));
        recovered->setToolTip(FolderNameColumn, tr("%n attachment(s) whose mail is not in the file", nullptr,
                                                   recoveredAttachments.size()));
        objMapFileIdTreeItem.insert(kRecoveredAttachmentsId, recovered);
    }
}

namespace {
// The view lays out expanded folders recursively, so a path thousands of folders
// deep, all expanded, would overflow the stack: only the first levels open by themselves.
constexpr int kLevelsExpanded = 64;
bool withinExpandedLevels(const QTreeWidgetItem *item)
{
    int depth = 0;
    for (const QTreeWidgetItem *up = item->parent(); up && depth <= kLevelsExpanded; up = up->parent())
        ++depth;
    return depth <= kLevelsExpanded;
}
} // namespace

void QParseDatabase::AddItemToTree(qint64 id)
{
    if (objMapFileIdTreeItem.contains(id))
        return;
    const qint64 parentId = objMapFID_PID.value(id);

    // The nearest ancestor that already has an item; a broken chain ends at the root.
    QTreeWidgetItem *parentItem = objMapFileIdTreeItem.value(llRootId);
    qint64 ancestor = parentId;
    for (int steps = 0; steps <= objMapFID_PID.size(); ++steps) {
        if (QTreeWidgetItem *found = objMapFileIdTreeItem.value(ancestor)) {
            parentItem = found;
            break;
        }
        if (!objMapFID_PID.contains(ancestor))
            break;
        ancestor = objMapFID_PID.value(ancestor);
    }

    const QString name = objMapFID_Name.value(id);
    const SpecialFolder *special = specialFolderOf(id);
    const QString icon = QLatin1String(special ? special->icon : kPlainFolderIcon);
    const FolderType type = special ? special->type : MailFolderType;

    auto *item = new QTreeWidgetItem(parentItem);
    prepareFolderItem(item, name, icon);
    if (type != MailFolderType)
        item->setText(FolderTypeColumn, QString::number(type));
    item->setText(FolderIdColumn, QString::number(id));
    item->setText(FolderParentColumn, QString::number(parentId));
    objMapFileIdTreeItem.insert(id, item);
    item->setExpanded(withinExpandedLevels(item));
}

// Check-state propagation. Every box the propagation changes has its state code
// written to its item's column 7 and to its folder attribute record, which is what
// a save walks.

void QParseDatabase::LeftTreeWidgetItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QScopedValueRollback<bool> spreading(m_settingBoxes, true);
    QTreeWidgetItem *root = m_pFolderTree->topLevelItem(0);
    if (root && item->text(FolderParentColumn) == root->text(FolderParentColumn)) {
        if (item->checkState(FolderNameColumn) == Qt::Checked)
            MarkDirToRootCheckedOrUnchecked(CheckedCode);
        else if (item->checkState(FolderNameColumn) == Qt::Unchecked)
            MarkDirToRootCheckedOrUnchecked(UncheckedCode);
    } else {
        const CheckStateCode state = codeOf(item->checkState(FolderNameColumn));
        if (FolderAttribute *record = folderAttributeOf(folderIdOf(item)))
            record->state = state;
        if (state != PartiallyCheckedCode)
            MarkChildAccordingToParent(item, state);
        MarkParentAccordingToChild(item);
    }
    SetRecoverSelectedState();
}

void QParseDatabase::MarkDirToRootCheckedOrUnchecked(unsigned char state, unsigned long long)
{
    const QScopedValueRollback<bool> spreading(m_settingBoxes, true);
    const bool checked = state == CheckedCode;
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        record->state = checked ? CheckedCode : UncheckedCode;
    for (QTreeWidgetItemIterator it(m_pFolderTree); *it; ++it)
        (*it)->setCheckState(FolderNameColumn, checked ? Qt::Checked : Qt::Unchecked);
}

void QParseDatabase::MarkChildAccordingToParent(QTreeWidgetItem *item, unsigned char state)
{
    // Breadth-first over the records by their parent ids; each folder is visited once,
    // so a damaged parent chain cannot loop.
    QMultiHash<qint64, FolderAttribute *> childrenOf;
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        childrenOf.insert(qint64(record->parentId), record); // a copy: the packed field is not aligned
    const Qt::CheckState box = state == CheckedCode ? Qt::Checked : Qt::Unchecked;
    QList<qint64> work{folderIdOf(item)};
    QSet<qint64> visited{work.first()};
    for (int next = 0; next < work.size(); ++next) {
        // QMultiHash returns the most recently inserted first; list order is kept by reversing.
        QList<FolderAttribute *> children = childrenOf.values(work.at(next));
        for (auto it = children.crbegin(); it != children.crend(); ++it) {
            FolderAttribute *record = *it;
            const qint64 id = record->folderId;
            if (QTreeWidgetItem *child = objMapFileIdTreeItem.value(id))
                child->setCheckState(FolderNameColumn, box);
            if (!visited.contains(id)) {
                visited.insert(id);
                work.append(id);
            }
            record->state = state;
        }
    }
}

void QParseDatabase::MarkParentAccordingToChild(QTreeWidgetItem *item)
{
    for (QTreeWidgetItem *child = item; child && child->parent(); child = child->parent()) {
        QTreeWidgetItem *parent = child->parent();
        const bool childUnchecked = child->checkState(FolderNameColumn) == Qt::Unchecked;
        const Qt::CheckState uniform = childUnchecked ? Qt::Unchecked : Qt::Checked;
        Qt::CheckState result = uniform;
        for (int i = 0; i < parent->childCount(); ++i) {
            if (parent->child(i)->checkState(FolderNameColumn) != uniform) {
                result = Qt::PartiallyChecked;
                break;
            }
        }
        parent->setCheckState(FolderNameColumn, result);
        parent->setText(FolderStateColumn, codeText(result));
        if (FolderAttribute *record = folderAttributeOf(folderIdOf(parent)))
            record->state = codeOf(result);
    }
}

void QParseDatabase::SetRecoverSelectedState()
{
    for (QTreeWidgetItemIterator it(m_pFolderTree); *it; ++it)
        (*it)->setText(FolderStateColumn, codeText((*it)->checkState(FolderNameColumn)));
}

void QParseDatabase::OnFolderBoxChanged(QTreeWidgetItem *item, int column)
{
    // A box toggled from the keyboard reports no click; it spreads all the same. Boxes
    // the propagation itself sets are already in step.
    if (m_settingBoxes || column != FolderNameColumn)
        return;
    if (item->text(FolderStateColumn) != codeText(item->checkState(FolderNameColumn)))
        LeftTreeWidgetItem(item);
}

// A click on a folder: check states first, then the list of the folder's kind.

void QParseDatabase::ShowindivisualMailItemsInfo(QTreeWidgetItem *item, int)
{
    if (!item)
        return;
    // A click on the box alone does not select the folder; the list shown is this one's.
    {
        const QScopedValueRollback<bool> opening(m_openingFolder, true);
        m_pFolderTree->setCurrentItem(item);
    }
    m_preview->clear();
    m_pItemList->clear();

    const qulonglong recorded = item->text(FolderStateColumn).toULongLong();
    const Qt::CheckState box = item->checkState(FolderNameColumn);
    // An unchecked folder always applies its state again; a partially checked one never does.
    if ((box == Qt::Checked && recorded != CheckedCode) || (box == Qt::Unchecked && recorded != 0))
        LeftTreeWidgetItem(item);

    const qint64 folderId = folderIdOf(item);
    if (folderId == 0)
        return;
    const FolderType kind = openedKind(item);
    if (kind != MailFolderType)
        emit folderOpened(kind);
    switch (kind) {
    case ContactsFolderType: OnContactsClicked(); return;
    case CalendarFolderType: OnCalenderClicked(); return;
    case TasksFolderType: OnTasksClicked(); return;
    case NotesFolderType: OnNotesClicked(); return;
    case MailFolderType: break;
    }
    if (folderId == kRecoveredAttachmentsId)
        ShowRecoveredAttachments();
    else
        ShowMailsOfFolder(folderId);
}

void QParseDatabase::OnFolderTreeCurrentChanged(QTreeWidgetItem *current)
{
    // The keyboard moved to this folder: it opens as a click opens it. A mouse press
    // also moves the current item, and its click that follows opens the folder.
    if (!current || m_openingFolder || m_settingBoxes || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    ShowindivisualMailItemsInfo(current, FolderNameColumn);
}

// The item lists.

void QParseDatabase::setListHeaders(int kind)
{
    struct Headers {
        const char *text, *first, *second, *third;
    };
    Headers headers;
    switch (kind) {
    case ContactsFolderType: headers = {QT_TR_NOOP("Name"), QT_TR_NOOP("Company"), QT_TR_NOOP("E-mail"), nullptr}; break;
    case CalendarFolderType:
        headers = {QT_TR_NOOP("Summary"), QT_TR_NOOP("Start"), QT_TR_NOOP("End"), QT_TR_NOOP("Location")};
        break;
    case TasksFolderType: headers = {QT_TR_NOOP("Task"), QT_TR_NOOP("Due"), QT_TR_NOOP("Done"), nullptr}; break;
    case NotesFolderType: headers = {QT_TR_NOOP("Title"), QT_TR_NOOP("Date"), nullptr, nullptr}; break;
    case RecoveredAttachmentsFolderType: headers = {QT_TR_NOOP("File"), QT_TR_NOOP("Size"), nullptr, nullptr}; break;
    default: headers = {QT_TR_NOOP("Subject"), QT_TR_NOOP("From"), QT_TR_NOOP("Date"), QT_TR_NOOP("Size")}; break;
    }
    QTreeWidgetItem *header = m_pItemList->headerItem();
    header->setText(ItemTextColumn, tr(headers.text));
    const char *details[] = {headers.first, headers.second, headers.third};
    for (int i = 0; i < 3; ++i) {
        header->setText(ItemFirstDetailColumn + i, details[i] ? tr(details[i]) : QString());
        m_pItemList->setColumnHidden(ItemFirstDetailColumn + i, !details[i]);
    }
    // A new list is shown in the file's order until a header is clicked.
    m_pItemList->header()->setSortIndicatorShown(false);
}

void QParseDatabase::fitColumnsToRows(const QList<QTreeWidgetItem *> &rows)
{
    // The detail columns as wide as their texts in the first rows, none wider than a third
    // of the list; the subject takes what is left.
    const int widest = qMax(kNarrowestDetailColumn, m_pItemList->viewport()->width() / 3);
    const int measured = int(qMin<qsizetype>(rows.size(), kMeasuredRows));
    int detailsWidth = 0;
    for (int column = ItemFirstDetailColumn; column < ItemColumnCount; ++column) {
        if (m_pItemList->isColumnHidden(column))
            continue;
        int width = QFontMetrics(m_pItemList->header()->font())
                        .horizontalAdvance(m_pItemList->headerItem()->text(column)) + kHeaderTextPadding;
        for (int i = 0; i < measured; ++i) {
            const QFontMetrics metrics(rows.at(i)->font(column));
            width = qMax(width, metrics.horizontalAdvance(rows.at(i)->text(column)) + kCellTextPadding);
        }
        m_pItemList->setColumnWidth(column, qBound(kNarrowestDetailColumn, width, widest));
        detailsWidth += m_pItemList->columnWidth(column);
    }
    int iconsWidth = 0;
    for (int column = 0; column < ItemTextColumn; ++column) {
        if (!m_pItemList->isColumnHidden(column))
            iconsWidth += m_pItemList->columnWidth(column);
    }
    m_pItemList->setColumnWidth(ItemTextColumn, qMax(kNarrowestSubjectColumn,
                                                     m_pItemList->viewport()->width() - iconsWidth - detailsWidth));
}

void QParseDatabase::showRows(const QList<QTreeWidgetItem *> &rows)
{
    // One insertion with painting suspended: a folder of tens of thousands of mails
    // must not repaint per row.
    m_pItemList->setUpdatesEnabled(false);
    m_pItemList->addTopLevelItems(rows);
    fitColumnsToRows(rows);
    if (!rows.isEmpty()) {
        // The caller previews the first row itself; the selection signal would do it twice.
        const QSignalBlocker quiet(m_pItemList);
        // On a visible column: from the hidden column 0 the arrow keys select the wrong row.
        m_pItemList->setCurrentItem(rows.first(), ItemTextColumn);
        // A user moving through the folders keeps the focus there; otherwise the list takes it.
        if (!m_pFolderTree->hasFocus())
            m_pItemList->setFocus(Qt::OtherFocusReason);
    }
    m_pItemList->setUpdatesEnabled(true);
}

void QParseDatabase::ShowMailsOfFolder(qint64 folderId)
{
    emit folderOpened(MailFolderType);
    m_pItemList->clear();
    setListHeaders(MailFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon kindIcon(QStringLiteral(":/images/img_InboxFolderIcon.png"));
    const QIcon priorityIcon(QStringLiteral(":/images/img_Priority.png"));
    const QIcon attachmentIcon(QStringLiteral(":/images/img_Attachment.png"));

    QList<QTreeWidgetItem *> rows;
    qint64 ordinal = 0;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next, ++ordinal) {
        if (mail->ParentId == folderId)
            rows.append(new MailRow(*mail, ordinal));
    }
    showRows(rows);
    if (!rows.isEmpty())
        m_preview->OnMessageSubjectClicked(rows.first(), 0);
    m_searchTextsToPrepare = 0;
    m_searchTextPreparation.start();
}

void QParseDatabase::prepareSearchTexts()
{
    // A slice at a time between events: the user may browse and type meanwhile, and a
    // keystroke before the end prepares the rest itself.
    QElapsedTimer slice;
    slice.start();
    const int count = m_pItemList->topLevelItemCount();
    for (; m_searchTextsToPrepare < count; ++m_searchTextsToPrepare) {
        if (auto *row = dynamic_cast<SearchableRow *>(m_pItemList->topLevelItem(m_searchTextsToPrepare)))
            row->prepareSearchText();
        if ((m_searchTextsToPrepare & 255) == 0 && slice.elapsed() >= kSearchTextSliceMs)
            return;
    }
    m_searchTextPreparation.stop();
}

void QParseDatabase::ShowRecoveredAttachments()
{
    emit folderOpened(MailFolderType);
    m_pItemList->clear();
    setListHeaders(RecoveredAttachmentsFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon icon(QStringLiteral(":/images/img_Attachment.png"));
    QList<QTreeWidgetItem *> rows;
    for (const AttachmentEntry &entry : recoveredAttachments) {
        // The path the save gives its file; the entry path in full as its tooltip.
        ItemRow *row = newRow(recoveredAttachmentPathParts(entry.entryName).join(QLatin1Char('/')), icon);
        row->setToolTip(ItemTextColumn, entry.entryName);
        row->setText(ItemFirstDetailColumn, sizeText(entry.size));
        row->setSortKey(ItemFirstDetailColumn, entry.size);
        row->setText(ItemKindColumn, QString::number(RecoveredAttachmentsFolderType));
        rows.append(row);
    }
    showRows(rows);
    if (!rows.isEmpty())
        m_preview->OnMessageSubjectClicked(rows.first(), 0);
}

void QParseDatabase::OnContactsClicked()
{
    m_pItemList->clear();
    setListHeaders(ContactsFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon icon(QStringLiteral(":/images/img_AddressBookIcon.png"));
    QList<QTreeWidgetItem *> rows;
    for (const ContactInformation *contact = TmpCTRCPtrStart; contact; contact = contact->Next) {
        const QString name = rowText(contact->FirstName) + QLatin1Char(' ') + rowText(contact->LastName);
        ItemRow *row = identifiedRow(name, contact->Identifier, ContactsFolderType, icon);
        QStringList addresses;
        for (const auto &address : contact->EmailAddresses) {
            if (qstrnlen(address, sizeof address) > 1)
                addresses.append(rowText(address));
        }
        row->setText(ItemFirstDetailColumn, rowText(contact->Company));
        row->setText(ItemFirstDetailColumn + 1, addresses.value(0));
        row->setSearchText(contactSearchText(*contact, name, addresses));
        rows.append(row);
    }
    showRows(rows);
    m_preview->writePreviewItemsForContact(TmpCTRCPtrStart);
}

void QParseDatabase::OnCalenderClicked()
{
    m_pItemList->clear();
    setListHeaders(CalendarFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon icon(QStringLiteral(":/images/img_CalendarIcon.png"));
    QList<QTreeWidgetItem *> rows;
    for (const CalenderInformation *event = TmpCLRCPtrStart; event; event = event->Next) {
        // The record keeps the summary and location with their character references.
        const QString summary = decodeXmlText(rowText(event->Summary));
        ItemRow *row = identifiedRow(summary + QLatin1Char(' '), event->Identifier, CalendarFolderType, icon);
        const EventDays days = allDayEventDays(*event, detailsOf(event));
        if (days.first.isValid()) {
            // An all-day event has days, not clock times.
            setDayColumn(row, ItemFirstDetailColumn, days.first);
            setDayColumn(row, ItemFirstDetailColumn + 1, days.last);
        } else {
            setStampColumn(row, ItemFirstDetailColumn, event->StartUtc, int(sizeof event->StartUtc));
            setStampColumn(row, ItemFirstDetailColumn + 1, event->EndUtc, int(sizeof event->EndUtc));
        }
        row->setText(ItemFirstDetailColumn + 2, decodeXmlText(rowText(event->Location)));
        row->setSearchText(summary);
        rows.append(row);
    }
    showRows(rows);
    m_preview->writePreviewItemsForCalendar(TmpCLRCPtrStart);
}

void QParseDatabase::OnTasksClicked()
{
    m_pItemList->clear();
    setListHeaders(TasksFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon icon(QStringLiteral(":/images/img_TaskIcon.png"));
    const QIcon priorityIcon(QStringLiteral(":/images/img_Priority.png"));
    QList<QTreeWidgetItem *> rows;
    for (const TasksInformation *task = TmpTSRCPtrStart; task; task = task->Next) {
        ItemRow *row =
            identifiedRow(rowText(task->Name) + QLatin1Char(' '), task->Identifier, TasksFolderType, icon);
        if (isHighPriority(task->Priority))
            row->setIcon(ItemPriorityColumn, priorityIcon);
        const TaskDetails &details = detailsOf(task);
        if (details.dueUtc.isValid()) {
            row->setText(ItemFirstDetailColumn, QLocale().toString(details.dueUtc.toLocalTime().date(), QLocale::ShortFormat));
            row->setSortKey(ItemFirstDetailColumn, details.dueUtc.toSecsSinceEpoch());
        }
        row->setText(ItemFirstDetailColumn + 1, details.complete ? tr("Done") : QString());
        row->setSearchText(rowText(task->Name));
        rows.append(row);
    }
    showRows(rows);
    m_preview->writePreviewItemsForTask(TmpTSRCPtrStart);
}

void QParseDatabase::OnNotesClicked()
{
    m_pItemList->clear();
    setListHeaders(NotesFolderType);
    m_pItemList->setAlternatingRowColors(true);
    const QIcon icon(QStringLiteral(":/images/img_NotesIcon.png"));
    QList<QTreeWidgetItem *> rows;
    for (const NotesInformation *note = TmpNTRCPtrStart; note; note = note->Next) {
        ItemRow *row = identifiedRow(rowText(note->Title) + QLatin1Char(' '), note->Identifier,
                                     NotesFolderType, icon);
        setStampColumn(row, ItemFirstDetailColumn, note->ModStampUtc, int(sizeof note->ModStampUtc));
        row->setSearchText(rowText(note->Title));
        rows.append(row);
    }
    showRows(rows);
    m_preview->writePreviewItemsForNotes(TmpNTRCPtrStart);
}

void QParseDatabase::OnMessageSubjectChanged()
{
    QTreeWidgetItemIterator selected(m_pItemList, QTreeWidgetItemIterator::Selected);
    if (*selected)
        m_preview->OnMessageSubjectClicked(*selected, 0);
}
