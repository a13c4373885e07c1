#pragma once
// A row of the item list that the search box filters. What the search looks in is kept
// on the row itself, case-folded once when the row is made: reading an item's data
// through the model costs more than the match, and each keystroke goes over every row
// of a folder of tens of thousands of mails.
#include <QString>
#include <QTreeWidgetItem>

class SearchableRow : public QTreeWidgetItem
{
public:
    void setSearchText(const QString &text) { m_searchText = text.toCaseFolded(); }
    // wanted is case-folded; an empty one matches every row.
    bool matches(const QString &wanted) const { return m_searchText.contains(wanted); }

    // Hidden by the search box: the row's own record of it, which survives sorting.
    bool filteredOut = false;

private:
    QString m_searchText;
};
