#pragma once
// The browse window: the user chooses an .olm file here and starts its scan; after
// the scan it builds the main window's folder tree from the folder maps.
#include <QDialog>
#include <QMap>

class FolderInformation;
class QEntourageMainWindow;
class QTreeWidgetItem;

namespace Ui {
class ParseDatabaseDialog;
}

// Folder id to its item in the main window's folder tree; rebuilt with the tree.
extern QMap<qint64, QTreeWidgetItem *> objMapFileIdTreeItem;

class QParseDatabase : public QDialog
{
    Q_OBJECT
public:
    explicit QParseDatabase(QEntourageMainWindow *mainWindow);
    ~QParseDatabase() override;

    // Makes path the file to scan, as choosing it in the file dialog does.
    void ChooseFile(const QString &path);

    // Builds the folder tree: the root, every folder of the scan, then "Folder1".
    void GenerateTree();
    void AddItemToTree(qint64 id);

signals:
    void OnInitialSettings(long long maximum);
    void OnProgressvalue(long long value);
    void OnFinishScanning();
    void InformationDlgOpen();

public slots:
    void OnPressed();
    void OnReleased();
    void SearchFile();
    void OnStartScan();
    void OpenFileDialog();
    void OnHideFindWindow();
    void OnRecievePathOfSelectedFile(const QString &path);

private:
    // The walk; false when the user stopped it.
    bool CreateFile();

    Ui::ParseDatabaseDialog *ui;
    QEntourageMainWindow *m_pMainWindow;
    FolderInformation *m_pParser;
};
