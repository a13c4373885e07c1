#pragma once
// The browse window: the user chooses an .olm file here and starts its scan. After
// the scan it builds the folder tree from the folder maps, keeps the tree's check
// boxes and the folder attribute list in step, and fills the item list of the folder
// or category chosen. It works on the two trees it is given and tells its owner what
// happened through signals.
#include <QDialog>
#include <QMap>
#include <QTimer>

class FolderInformation;
class QPreviewOfItems;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class ParseDatabaseDialog;
}

// Folder id to its item in the folder tree; rebuilt with the tree.
extern QMap<qint64, QTreeWidgetItem *> objMapFileIdTreeItem;

// Empties the folder tree and forgets its items.
void clearFolderTree(QTreeWidget *tree);

// Columns of the folder tree; only the name shows.
enum FolderTreeColumn {
    FolderNameColumn = 0,
    FolderIdColumn = 1,
    FolderParentColumn = 2,
    FolderLocationColumn = 3,
    FolderTypeColumn = 6,
    FolderStateColumn = 7,
};

class QParseDatabase : public QDialog
{
    Q_OBJECT
public:
    QParseDatabase(QWidget *parent, QTreeWidget *folderTree, QTreeWidget *itemList, QPreviewOfItems *preview);
    ~QParseDatabase() override;

    // Makes path the file to scan, as choosing it in the file dialog does.
    void ChooseFile(const QString &path);

    // Builds the folder tree: the root, every folder of the scan, then "Folder1".
    void GenerateTree();
    void AddItemToTree(qint64 id);

    // Check-state propagation after the user changed item's box.
    void LeftTreeWidgetItem(QTreeWidgetItem *item);
    void MarkChildAccordingToParent(QTreeWidgetItem *item, unsigned char state);
    void MarkParentAccordingToChild(QTreeWidgetItem *item);
    void MarkDirToRootCheckedOrUnchecked(unsigned char state, unsigned long long = 0);
    // Records every folder's box in its column 7.
    void SetRecoverSelectedState();

signals:
    // A scan is about to free the records of the last one.
    void scanStarting();
    void OnInitialSettings(long long maximum);
    void OnProgressvalue(long long value);
    void OnFinishScanning();
    void InformationDlgOpen();
    // A folder of this type was opened from the tree: its category is to be selected.
    void folderOpened(int folderType);

public slots:
    void ShowindivisualMailItemsInfo(QTreeWidgetItem *item, int column);
    // Connected to the folder tree's itemChanged: a box changed by any means.
    void OnFolderBoxChanged(QTreeWidgetItem *item, int column);
    // Connected to the folder tree's currentItemChanged.
    void OnFolderTreeCurrentChanged(QTreeWidgetItem *current);
    void OnPressed();
    void OnReleased();
    void SearchFile();
    void OnMessageSubjectChanged();
    void OnStartScan();
    void OpenFileDialog();
    void OnHideFindWindow();
    void OnRecievePathOfSelectedFile(const QString &path);
    void OnContactsClicked();
    void OnCalenderClicked();
    void OnTasksClicked();
    void OnNotesClicked();

private:
    // The walk; false when the user stopped it.
    bool CreateFile();
    void ShowMailsOfFolder(qint64 folderId);
    // The attachments kept without their mail: their paths and sizes, nothing to preview.
    void ShowRecoveredAttachments();
    // The header texts of the list's columns for a kind of item, and which columns show.
    void setListHeaders(int kind);
    // Sizes the visible columns to the rows just added.
    void fitColumnsToRows(const QList<QTreeWidgetItem *> &rows);
    // Adds the rows in one batch with updates suspended and selects the first.
    void showRows(const QList<QTreeWidgetItem *> &rows);
    // Makes the next rows of the list searchable, as long as one slice of time allows.
    void prepareSearchTexts();

    Ui::ParseDatabaseDialog *ui;
    QTreeWidget *m_pFolderTree;
    QTreeWidget *m_pItemList;
    QPreviewOfItems *m_preview;
    FolderInformation *m_pParser;
    // True while the tree is built or the propagation sets boxes.
    bool m_settingBoxes = false;
    // True while a folder being opened is made the tree's current item.
    bool m_openingFolder = false;
    // Rows of the list are made searchable between events from this row on.
    QTimer m_searchTextPreparation;
    int m_searchTextsToPrepare = 0;
};
