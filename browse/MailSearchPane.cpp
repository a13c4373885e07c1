#include "browse/MailSearchPane.h"

#include "app/WidgetLook.h"
#include "archive/TextReader.h"
#include "browse/MailRowText.h"
#include "browse/QPreviewOfItems.h"
#include "browse/SizeText.h"
#include "olm/FolderModel.h"
#include "olm/ScanState.h"
#include "parsers/ItemDetails.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

// The results.

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_hits.size())
        return QVariant();
    const SearchHit &hit = m_hits.at(index.row());
    const MailMLRC &mail = *hit.mail;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case AttachmentColumn: return QVariant();
        case SubjectColumn: {
            const QString subject = utf8OrLatin1Field(mail.Subject, int(sizeof mail.Subject));
            return subject.isEmpty() ? tr("No Subject") : subject;
        }
        case SenderColumn: return hit.sender;
        case FolderColumn: return folderPathOf(mail.ParentId).section(QLatin1Char('/'), -1);
        case DateColumn:
            return hit.date == LLONG_MIN ? mailShownDate(mail).text
                                         : listMomentText(QDateTime::fromSecsSinceEpoch(hit.date, Qt::UTC));
        case SizeColumn: return sizeText(hit.size);
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == DateColumn)
            return mailShownDate(mail).text;
        if (index.column() == FolderColumn)
            return folderPathOf(mail.ParentId);
        break;
    case Qt::DecorationRole:
        // A mail whose attachments could not be recovered still shows that it had some.
        if (index.column() == AttachmentColumn && (mail.AttachNames || !detailsOf(&mail).unrecoveredAttachments.isEmpty())) {
            static const QIcon attachment(QStringLiteral(":/images/img_Attachment.png"));
            return attachment;
        }
        break;
    case Qt::FontRole: {
        static const QFont font = lucidaGrande(11);
        return font;
    }
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    }
    return QVariant();
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == AttachmentColumn && role == Qt::DecorationRole) {
        static const QIcon attachment(QStringLiteral(":/images/img_Attachment.png"));
        return attachment;
    }
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case SubjectColumn: return tr("Subject");
    case SenderColumn: return tr("From");
    case FolderColumn: return tr("Folder");
    case DateColumn: return tr("Date");
    case SizeColumn: return tr("Size");
    }
    return QVariant();
}

bool SearchResultsModel::sorts(int column)
{
    return column == SenderColumn || column == DateColumn || column == SizeColumn;
}

bool SearchResultsModel::before(const SearchHit &a, const SearchHit &b) const
{
    const SearchHit &first = m_sortOrder == Qt::AscendingOrder ? a : b;
    const SearchHit &second = m_sortOrder == Qt::AscendingOrder ? b : a;
    switch (m_sortColumn) {
    case SenderColumn: return first.sender.compare(second.sender, Qt::CaseInsensitive) < 0;
    case DateColumn: return first.date < second.date;
    case SizeColumn: return first.size < second.size;
    }
    return false;
}

void SearchResultsModel::sort(int column, Qt::SortOrder order)
{
    if (!sorts(column))
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    mergeSorted(0);
}

void SearchResultsModel::mergeSorted(int firstUnsorted)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList kept = persistentIndexList();
    QVector<const MailMLRC *> keptMails;
    for (const QModelIndex &index : kept)
        keptMails.append(m_hits.at(index.row()).mail);
    const auto less = [this](const SearchHit &a, const SearchHit &b) { return before(a, b); };
    const auto middle = m_hits.begin() + firstUnsorted;
    std::stable_sort(middle, m_hits.end(), less);
    std::inplace_merge(m_hits.begin(), middle, m_hits.end(), less);
    QModelIndexList moved;
    for (int i = 0; i < kept.size(); ++i) {
        const auto found = std::find_if(m_hits.cbegin(), m_hits.cend(),
                                        [&](const SearchHit &hit) { return hit.mail == keptMails.at(i); });
        moved.append(index(int(found - m_hits.cbegin()), kept.at(i).column()));
    }
    changePersistentIndexList(kept, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SearchResultsModel::append(const QVector<SearchHit> &hits)
{
    if (hits.isEmpty())
        return;
    const int first = int(m_hits.size());
    beginInsertRows(QModelIndex(), first, first + int(hits.size()) - 1);
    m_hits += hits;
    endInsertRows();
    if (m_sortColumn >= 0)
        mergeSorted(first);
}

void SearchResultsModel::clear()
{
    beginResetModel();
    m_hits.clear();
    endResetModel();
}

const MailMLRC *SearchResultsModel::mailAt(int row) const
{
    return row >= 0 && row < m_hits.size() ? m_hits.at(row).mail : nullptr;
}

// The pane.

MailSearchPane::MailSearchPane(QWidget *parent)
    : QWidget(parent)
    , m_bar(new QWidget(this))
    , m_field(new QLineEdit(m_bar))
    , m_bodies(new QCheckBox(tr("&Bodies too"), m_bar))
    , m_status(new QLabel(this))
    , m_save(new QPushButton(tr("Save results…"), this))
    , m_upload(new QPushButton(tr("Upload results…"), this))
    , m_view(new QTreeView(this))
    , m_model(new SearchResultsModel(this))
    , m_search(new MailSearch(this))
{
    m_field->setObjectName(QStringLiteral("mailSearchField"));
    m_field->setPlaceholderText(tr("Search all folders"));
    m_field->setToolTip(tr("Finds mails in every folder by subject, sender, recipients and attachment names"));
    m_field->setClearButtonEnabled(true);
    m_field->setMinimumWidth(220);
    // Reached from anywhere in the window, as a mail program's search is.
    auto *focusField = new QAction(tr("Search All Folders"), m_bar);
    focusField->setShortcut(QKeySequence(tr("Ctrl+Shift+F")));
    focusField->setShortcutContext(Qt::WindowShortcut);
    m_bar->addAction(focusField);
    connect(focusField, &QAction::triggered, this, [this] {
        m_field->setFocus(Qt::ShortcutFocusReason);
        m_field->selectAll();
    });
    m_bodies->setToolTip(tr("Searches the text of every mail as well: slower, since the bodies are read from the file"));
    auto *barLayout = new QHBoxLayout(m_bar);
    barLayout->setContentsMargins(0, 0, 8, 0);
    barLayout->addWidget(m_field);
    barLayout->addWidget(m_bodies);

    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setAllColumnsShowFocus(true);
    m_view->header()->setSectionsClickable(true);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(SearchResultsModel::SubjectColumn, QHeaderView::Stretch);
    m_view->header()->setMinimumSectionSize(24);
    m_view->setColumnWidth(SearchResultsModel::AttachmentColumn, 24);
    m_view->setColumnWidth(SearchResultsModel::SenderColumn, 100);
    m_view->setColumnWidth(SearchResultsModel::FolderColumn, 75);
    m_view->setColumnWidth(SearchResultsModel::DateColumn, 140);
    m_view->setColumnWidth(SearchResultsModel::SizeColumn, 70);
    m_save->setEnabled(false);
    m_upload->setEnabled(false);
    m_save->setToolTip(tr("Saves the mails found, in the format chosen next"));
    m_upload->setToolTip(tr("Uploads the mails found to a mail account"));

    // The status gives way before the list is made wider than the mail list it replaces.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *actions = new QHBoxLayout;
    actions->setContentsMargins(6, 4, 6, 4);
    actions->addWidget(m_status, 1);
    actions->addWidget(m_save);
    actions->addWidget(m_upload);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(actions);
    layout->addWidget(m_view, 1);

    connect(m_field, &QLineEdit::textChanged, this, &MailSearchPane::searchTyped);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (!m_filter.searchWords.isEmpty())
            emit resultsWanted();
    });
    connect(m_bodies, &QCheckBox::toggled, this, &MailSearchPane::searchTyped);
    connect(m_search, &MailSearch::found, this, [this](const QVector<SearchHit> &hits) {
        m_model->append(hits);
        showStatus();
    });
    connect(m_search, &MailSearch::finished, this, [this](qint64 examined) {
        m_examined = examined;
        showStatus();
    });
    connect(m_view->header(), &QHeaderView::sectionClicked, this, &MailSearchPane::sortBy);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &MailSearchPane::previewCurrent);
    connect(m_save, &QPushButton::clicked, this, &MailSearchPane::saveResultsRequested);
    connect(m_upload, &QPushButton::clicked, this, &MailSearchPane::uploadResultsRequested);
    showStatus();
}

void MailSearchPane::searchTyped()
{
    MailFilter filter;
    filter.searchWords = searchWordsOf(m_field->text());
    filter.searchBodies = m_bodies->isChecked();
    m_filter = filter;
    m_examined = 0;
    // The order chosen stays for the next search.
    m_model->clear();
    if (m_pPreview)
        m_pPreview->clear();
    if (filter.isEmpty()) {
        m_search->stop();
        showStatus();
        emit resultsDismissed();
        return;
    }
    m_search->start(filter);
    showStatus();
    emit resultsWanted();
}

void MailSearchPane::reset()
{
    m_search->stop();
    const QSignalBlocker quiet(m_field);
    m_field->clear();
    m_filter = MailFilter();
    m_model->clear();
    m_examined = 0;
    setLocked(true);
    emit resultsDismissed();
}

void MailSearchPane::setLocked(bool locked)
{
    m_locked = locked;
    m_bar->setEnabled(!locked);
    m_view->setEnabled(!locked);
    showStatus();
}

void MailSearchPane::sortBy(int column)
{
    if (!SearchResultsModel::sorts(column))
        return;
    // The header flips its own indicator before it reports the click: the order is kept here.
    QHeaderView *header = m_view->header();
    const bool again = m_model->sortColumn() == column && m_model->sortOrder() == Qt::AscendingOrder;
    const Qt::SortOrder order = again ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_model->sort(column, order);
    header->setSortIndicator(column, order);
    header->setSortIndicatorShown(true);
    if (m_view->currentIndex().isValid())
        m_view->scrollTo(m_view->currentIndex());
}

void MailSearchPane::showStatus()
{
    const int found = m_model->rowCount();
    if (m_filter.isEmpty())
        m_status->setText(tr("Type in \"Search all folders\" to find mails in every folder."));
    else if (m_search->isSearching())
        m_status->setText(tr("Searching… %1 found so far").arg(countText(found)));
    else
        m_status->setText(tr("%1 of %2 mails found").arg(countText(found), countText(m_examined)));
    const bool ready = !m_locked && !m_search->isSearching() && found > 0;
    m_save->setEnabled(ready);
    m_upload->setEnabled(ready);
}

void MailSearchPane::previewCurrent()
{
    const MailMLRC *mail = m_model->mailAt(m_view->currentIndex().row());
    if (!m_pPreview)
        return;
    if (!mail) {
        m_pPreview->clear();
        return;
    }
    m_pPreview->MessageFieldsForThePreview(mail, FileTextReader(fileDescriptor, lSize));
}
