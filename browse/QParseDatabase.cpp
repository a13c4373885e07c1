#include "browse/QParseDatabase.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "olm/FolderModel.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "search/QSearchPSTFile.h"
#include "ui_ParseDatabase.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTreeWidget>

QMap<qint64, QTreeWidgetItem *> objMapFileIdTreeItem;

namespace {
// The parent id the root item shows.
const char kRootParentText[] = "500";
const char kFolderWithoutPathLocation[] = "/Main Identity.rge/Folder1";

// Column roles of the folder tree.
enum FolderColumn { NameColumn = 0, IdColumn = 1, ParentColumn = 2, LocationColumn = 3, TypeColumn = 6,
                    StateColumn = 7 };

QFont folderFont()
{
    return QFont(QStringLiteral("Lucida Grande"), 11);
}

// What every folder item shares: font, size, an unchecked box recorded as "3".
void prepareFolderItem(QTreeWidgetItem *item, const QString &name, const QString &icon)
{
    item->setText(NameColumn, name);
    item->setIcon(NameColumn, QIcon(icon));
    item->setFont(NameColumn, folderFont());
    item->setSizeHint(NameColumn, QSize(20, 20));
    item->setCheckState(NameColumn, Qt::Unchecked);
    item->setText(StateColumn, QString::number(UncheckedCode));
}
} // namespace

QParseDatabase::QParseDatabase(QEntourageMainWindow *mainWindow)
    : QDialog(mainWindow)
    , ui(new Ui::ParseDatabaseDialog)
    , m_pMainWindow(mainWindow)
    , m_pParser(new FolderInformation(this))
{
    ui->setupUi(this);
    bProcessRunning = false;

    connect(this, &QParseDatabase::OnInitialSettings, mainWindow, &QEntourageMainWindow::SetInitialSettings);
    connect(this, &QParseDatabase::OnProgressvalue, mainWindow, &QEntourageMainWindow::SetProgressValue);
    connect(this, &QParseDatabase::OnFinishScanning, mainWindow, &QEntourageMainWindow::SetFinishSettingsForMail);
    connect(this, &QParseDatabase::InformationDlgOpen, mainWindow, &QEntourageMainWindow::OnInformationDlg);
    connect(ui->browseButton, &QPushButton::clicked, this, &QParseDatabase::OpenFileDialog);
    connect(ui->startButton, &QPushButton::clicked, this, &QParseDatabase::OnStartScan);
    connect(ui->startButton, &QPushButton::pressed, this, &QParseDatabase::OnPressed);
    connect(ui->startButton, &QPushButton::released, this, &QParseDatabase::OnReleased);
    connect(ui->findButton, &QPushButton::clicked, this, &QParseDatabase::SearchFile);
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
    ChooseFile(QFileDialog::getOpenFileName(this, tr("All Files")));
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
    m_pMainWindow->ClearFolderTree();
    m_pMainWindow->folderTree()->setAlternatingRowColors(true);
    if (m_selectedFile.isEmpty())
        return;

    // Frees the previous scan, closes its file and opens this one; lSize comes from the open file.
    if (!beginScan(m_selectedFile)) {
        hide();
        QMessageBox::information(m_pMainWindow, QString(), tr(kInvalidFileMessage));
        return;
    }
    hide();
    if (!CreateFile())
        return;

    finishScan();
    emit OnFinishScanning();
    m_pMainWindow->OnMailButtonClicked();
    if (anyRecordsLoaded())
        emit InformationDlgOpen();
    else
        QMessageBox::information(m_pMainWindow, QString(), tr(kInvalidFileMessage));
}

bool QParseDatabase::CreateFile()
{
    WalkHooks hooks;
    hooks.started = [this](qint64 maximumUnits) { emit OnInitialSettings(maximumUnits); };
    hooks.tick = [this](qint64 units) {
        emit OnProgressvalue(units);
        // The scan runs on the interface thread: this keeps the windows and the stop button alive.
        QCoreApplication::processEvents();
    };
    if (walkOpenFile(*m_pParser, hooks) == WalkResult::Finished)
        return true;

    // Stopped: what was parsed stays in the lists, but nothing is shown.
    m_pMainWindow->SetOpenActionsEnabled(true);
    m_pMainWindow->ClearFolderTree();
    m_pMainWindow->ClearPreviewPanes();
    return false;
}

void QParseDatabase::GenerateTree()
{
    // A rebuild replaces the tree and its records: a folder is never listed, or saved, twice.
    m_pMainWindow->ClearFolderTree();
    buildFolderAttributeList();
    QTreeWidget *tree = m_pMainWindow->folderTree();
    tree->setIconSize(QSize(20, 20));

    auto *root = new QTreeWidgetItem(tree);
    prepareFolderItem(root, m_selectedFile, QLatin1String(kPlainFolderIcon));
    root->setText(IdColumn, QString::number(llRootId));
    root->setText(ParentColumn, QLatin1String(kRootParentText));
    root->setExpanded(true);
    objMapFileIdTreeItem.insert(llRootId, root);

    // Parents have smaller ids than their children, so ascending order meets every parent first.
    for (auto it = objMapFID_PID.constBegin(); it != objMapFID_PID.constEnd(); ++it)
        AddItemToTree(it.key());

    auto *withoutPath = new QTreeWidgetItem(root);
    prepareFolderItem(withoutPath, QLatin1String(kFolderWithoutPathName), QLatin1String(kPlainFolderIcon));
    withoutPath->setText(IdColumn, QString::number(kFolderWithoutPathId));
    withoutPath->setText(ParentColumn, QString::number(llRootId));
    withoutPath->setText(LocationColumn, QLatin1String(kFolderWithoutPathLocation));
    withoutPath->setExpanded(true);
}

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
        item->setText(TypeColumn, QString::number(type));
    item->setText(IdColumn, QString::number(id));
    item->setText(ParentColumn, QString::number(parentId));
    objMapFileIdTreeItem.insert(id, item);
    item->setExpanded(true);
}
