#pragma once
// A row of the item list that the search box filters. What the search looks in is kept
// on the row itself, case-folded once: reading an item's data through the model costs
// more than the match, and each keystroke goes over every row of a folder of tens of
// thousands of mails. A row may give its text only when first asked for it, so that a
// big folder shows before its rows are made searchable.
#include <QString>
#include <QTreeWidgetItem>

class SearchableRow : public QTreeWidgetItem
{
public:
    explicit SearchableRow(int type = Type) : QTreeWidgetItem(type) {}
    void setSearchText(const QString &text)
    {
        m_searchText = text.toCaseFolded();
        m_searchTextKnown = true;
    }
    // wanted is case-folded; an empty one matches every row.
    bool matches(const QString &wanted) const
    {
        prepareSearchText();
        return m_searchText.contains(wanted);
    }
    // Works out the text of a row that gives it on demand; false when it was known already.
    bool prepareSearchText() const
    {
        if (m_searchTextKnown)
            return false;
        m_searchText = searchTextOnDemand().toCaseFolded();
        m_searchTextKnown = true;
        return true;
    }

    // Hidden by the search box: the row's own record of it, which survives sorting.
    bool filteredOut = false;

protected:
    virtual QString searchTextOnDemand() const { return QString(); }

private:
    mutable QString m_searchText;
    mutable bool m_searchTextKnown = false;
};
