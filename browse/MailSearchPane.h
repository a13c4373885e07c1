#pragma once
// The search across every folder in the window: a field and a check box for the toolbar,
// and a page with the mails found, each with its folder (its name; the path as its tooltip), sortable by sender, date and
// size. A result previews as a row of the mail list does. Typing starts a new search
// beside the window (MailSearch) and stops the one before.
#include "browse/MailSearch.h"

#include <QAbstractTableModel>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

class SearchResultsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { AttachmentColumn, SubjectColumn, SenderColumn, FolderColumn, DateColumn, SizeColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // By sender, date or size; the file's order among equals. Other columns do not sort.
    void sort(int column, Qt::SortOrder order) override;
    static bool sorts(int column);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Mails found later join in the order the list is sorted by; a cleared list keeps its order.
    void append(const QVector<SearchHit> &hits);
    void clear();
    const MailMLRC *mailAt(int row) const;

private:
    bool before(const SearchHit &a, const SearchHit &b) const;
    // Sorts from the first unsorted row on, keeping the rows that persistent indexes name.
    void mergeSorted(int firstUnsorted);

    QVector<SearchHit> m_hits;
    int m_sortColumn = -1; // -1: the file's order
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

class MailSearchPane : public QWidget
{
    Q_OBJECT
public:
    explicit MailSearchPane(QWidget *parent = nullptr);

    // The field and the check box, for the window to place.
    QWidget *searchBar() const { return m_bar; }
    QLineEdit *searchField() const { return m_field; }
    QCheckBox *bodiesBox() const { return m_bodies; }
    QTreeView *resultsView() const { return m_view; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *uploadButton() const { return m_upload; }
    SearchResultsModel *results() const { return m_model; }
    // The search the results come from: Save results… and Upload results… take exactly its mails.
    const MailFilter &filter() const { return m_filter; }
    bool isSearching() const { return m_search->isSearching(); }

    // Stops the search, empties the field and the results and locks them: before the
    // records are freed. The next scan's end unlocks them.
    void reset();
    // While a save runs nothing here changes.
    void setLocked(bool locked);

signals:
    // The user typed a search: the results are to be shown.
    void resultsWanted();
    // The field was emptied: the results are gone.
    void resultsDismissed();
    void saveResultsRequested();
    void uploadResultsRequested();

private:
    void searchTyped();
    void sortBy(int column);
    void showStatus();
    void previewCurrent();

    QWidget *m_bar; // the window's toolbar takes it
    QLineEdit *m_field;
    QCheckBox *m_bodies;
    QLabel *m_status;
    QPushButton *m_save;
    QPushButton *m_upload;
    QTreeView *m_view;
    SearchResultsModel *m_model;
    MailSearch *m_search;
    MailFilter m_filter;
    qint64 m_examined = 0; // of the finished search
    bool m_locked = false;
};
