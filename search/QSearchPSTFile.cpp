#include "search/QSearchPSTFile.h"

#include "platform/OlmSearch.h"
#include "search/QPSTSearchingThread.h"
#include "ui_SearchDlg.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

std::atomic<bool> bProcessRunningSearching{false};
QString strSelectedPath;

namespace {
const char kTitle[] = "Find OLM"; // the window system adds the application's name
const char kScanAnimation[] = ":/images/img_Scan.gif";

enum ResultColumn { NameColumn, SizeColumn, CreatedColumn, AccessedColumn, ModifiedColumn };
const int kColumnWidths[] = {300, 80, 200, 200, 200};

QIcon iconOf(const QString &path)
{
    return QFileIconProvider().icon(QFileInfo(path));
}

// Where the file system keeps no birth time, the last status change stands in.
QDateTime creationTime(const QFileInfo &info)
{
    return info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
}
} // namespace

QSearchPSTFile::QSearchPSTFile(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::SearchDlg)
    , m_scanMovie(QLatin1String(kScanAnimation))
{
    ui->setupUi(this);
    // The dialog starts at its usual size and grows with long paths and wide columns.
    setMinimumSize(600, 470);
    ui->groupBox->setFixedSize(ui->groupBox->size());
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ui->ClearListButton);
    buttons->addStretch(1);
    buttons->addWidget(ui->OKButton);
    buttons->addWidget(ui->CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 15);
    layout->addWidget(ui->groupBox);
    layout->addWidget(ui->FileTreeWidget, 1);
    layout->addLayout(buttons);
    setWindowModality(Qt::ApplicationModal);

    connect(ui->StopButton, &QPushButton::clicked, this, &QSearchPSTFile::OnStopSearching);
    connect(ui->SearchButton, &QPushButton::clicked, this, &QSearchPSTFile::StartFileSearch);
    connect(ui->ClearListButton, &QPushButton::clicked, this, &QSearchPSTFile::OnClearList);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QSearchPSTFile::OnClose);
    connect(ui->SearchInFolderButton, &QPushButton::clicked, this, &QSearchPSTFile::OnSearchInFolder);
    connect(ui->FileTreeWidget, &QTreeWidget::itemClicked, this, &QSearchPSTFile::OnItemSelection);
    connect(ui->OKButton, &QPushButton::clicked, this, &QSearchPSTFile::OnOK);
    for (int column = NameColumn; column <= ModifiedColumn; ++column)
        ui->FileTreeWidget->setColumnWidth(column, kColumnWidths[column]);
    ui->FileTreeWidget->setAlternatingRowColors(true);
    // Long paths keep their file name in view.
    ui->FileTreeWidget->setTextElideMode(Qt::ElideMiddle);

    ui->SourceComboBox->clear();
    ui->OKButton->setEnabled(false);
    ui->ClearListButton->setEnabled(false);
    ui->StopButton->setEnabled(false);
    ui->MovieLabel->setMovie(&m_scanMovie);
    ui->MovieLabel->hide();
    strSelectedPath.clear();

    m_volumes = mountedVolumes();
    ShowDisk();
}

QSearchPSTFile::~QSearchPSTFile()
{
    // Stopped walks may still be winding down; none may outlive its thread object.
    for (QPSTSearchingThread *thread : findChildren<QPSTSearchingThread *>()) {
        thread->RequestStop();
        thread->wait();
    }
    if (m_pThread)
        bProcessRunningSearching = false;
    delete ui;
}

void QSearchPSTFile::ShowDisk()
{
    for (const Volume &volume : qAsConst(m_volumes))
        ui->SourceComboBox->addItem(iconOf(volume.rootPath), volume.name, volume.rootPath);
}

void QSearchPSTFile::OnSearchInFolder()
{
    const QString directory = QFileDialog::getExistingDirectory(
        this, tr("Open Directory"), QStringLiteral("/"), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (directory.isEmpty())
        return;
    QComboBox *lookIn = ui->SourceComboBox;
    const int existing = lookIn->findText(directory, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (existing >= 0)
        lookIn->removeItem(existing);
    lookIn->addItem(iconOf(directory), directory, directory);
    lookIn->setCurrentIndex(lookIn->count() - 1);
}

void QSearchPSTFile::SetSearching(bool searching)
{
    ui->SearchButton->setEnabled(!searching);
    ui->SearchInFolderButton->setEnabled(!searching);
    ui->SourceComboBox->setEnabled(!searching);
    ui->StopButton->setEnabled(searching);
    if (searching) {
        m_scanMovie.start();
        ui->MovieLabel->show();
    } else {
        m_scanMovie.stop();
        ui->MovieLabel->hide();
    }
}

void QSearchPSTFile::StartFileSearch()
{
    ui->FileTreeWidget->clear();
    strSelectedPath.clear();
    ui->ClearListButton->setEnabled(false);
    ui->OKButton->setEnabled(false);
    SetSearching(true);

    auto *thread = new QPSTSearchingThread(this);
    const quint64 searchNumber = ++m_searchNumber;
    connect(thread, &QPSTSearchingThread::FoundFile, this, [this, searchNumber](const QString &path) {
        if (searchNumber == m_searchNumber)
            AddResultRow(path);
    });
    connect(thread, &QPSTSearchingThread::FinshScanningProcess, this, [this, searchNumber] {
        if (searchNumber == m_searchNumber)
            OnFinshScanningProcess();
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_pThread = thread;
    bProcessRunningSearching = true;
    // Volumes and chosen folders carry the directory to walk; a bare text is taken as a path.
    const QVariant directory = ui->SourceComboBox->currentData();
    thread->SetInitialSettings(directory.isValid() ? directory.toString() : ui->SourceComboBox->currentText());
}

void QSearchPSTFile::AddResultRow(const QString &path)
{
    const QFileInfo info(path);
    auto *row = new QTreeWidgetItem(ui->FileTreeWidget);
    row->setText(NameColumn, path);
    row->setText(SizeColumn, olmSizeText(info.size()));
    row->setText(CreatedColumn, creationTime(info).toString(Qt::TextDate));
    row->setText(AccessedColumn, info.lastRead().toString(Qt::TextDate));
    row->setText(ModifiedColumn, info.lastModified().toString(Qt::TextDate));
    fitColumns();
}

void QSearchPSTFile::fitColumns()
{
    QTreeWidget *results = ui->FileTreeWidget;
    int wanted = 0;
    for (int column = NameColumn; column <= ModifiedColumn; ++column) {
        results->resizeColumnToContents(column);
        results->setColumnWidth(column, qMax(results->columnWidth(column), kColumnWidths[column]));
        wanted += results->columnWidth(column);
    }
    // The dialog grows to show whole rows, as far as the screen allows.
    const int extra = width() - results->viewport()->width();
    const QScreen *display = screen();
    const int widest = display ? display->availableGeometry().width() : wanted + extra;
    const int target = qMin(wanted + extra, widest);
    if (target > width())
        resize(target, height());
}

void QSearchPSTFile::OnFinshScanningProcess()
{
    m_pThread = nullptr;
    bProcessRunningSearching = false;
    SetSearching(false);
    const bool found = ui->FileTreeWidget->topLevelItemCount() > 0;
    ui->ClearListButton->setEnabled(found);
    // A row clicked while the walk went on can be taken now.
    ui->OKButton->setEnabled(!strSelectedPath.isEmpty());
    if (!found)
        QMessageBox::information(this, tr(kTitle), tr("Search completed. No OLM file found."));
}

void QSearchPSTFile::OnStopSearching()
{
    QMessageBox question(QMessageBox::Warning, tr(kTitle), tr("Process can't be resumed from the current stage."),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setInformativeText(tr("Do you want to abort the current process?"));
    question.setDefaultButton(QMessageBox::No);
    // The walk goes on while the question is open; a search that ended meanwhile keeps its results.
    if (question.exec() != QMessageBox::Yes || !bProcessRunningSearching)
        return;

    if (m_pThread)
        m_pThread->RequestStop();
    m_pThread = nullptr;
    ++m_searchNumber;
    bProcessRunningSearching = false;
    // The files found before the stop stay listed and can be taken.
    SetSearching(false);
    ui->ClearListButton->setEnabled(ui->FileTreeWidget->topLevelItemCount() > 0);
    ui->OKButton->setEnabled(!strSelectedPath.isEmpty());
}

void QSearchPSTFile::OnItemSelection(QTreeWidgetItem *item, int)
{
    strSelectedPath = item->text(NameColumn);
    ui->OKButton->setEnabled(!bProcessRunningSearching);
}

void QSearchPSTFile::OnOK()
{
    hide();
    emit SendPathOfSelectedFile(strSelectedPath);
}

void QSearchPSTFile::OnClearList()
{
    ui->FileTreeWidget->clear();
    strSelectedPath.clear();
    ui->ClearListButton->setEnabled(false);
    ui->OKButton->setEnabled(false);
}

bool QSearchPSTFile::CloseUnlessSearching()
{
    if (bProcessRunningSearching) {
        QMessageBox::warning(this, tr(kTitle), tr("First stop the currently running process."));
        return false;
    }
    hide();
    emit HideFindWindow();
    return true;
}

void QSearchPSTFile::OnClose()
{
    CloseUnlessSearching();
}

void QSearchPSTFile::reject()
{
    CloseUnlessSearching();
}

void QSearchPSTFile::closeEvent(QCloseEvent *event)
{
    if (CloseUnlessSearching())
        event->accept();
    else
        event->ignore();
}
