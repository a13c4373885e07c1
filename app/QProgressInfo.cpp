#include "app/QProgressInfo.h"

#include "olm/ScanState.h"
#include "ui_ProgressInfo.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>

QProgressInfo::QProgressInfo(QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , ui(new Ui::ProgressInfoDialog)
{
    ui->setupUi(this);
    connect(ui->stopButton, &QPushButton::clicked, this, &QProgressInfo::OnStop);
}

QProgressInfo::~QProgressInfo()
{
    delete ui;
}

QLabel *QProgressInfo::caption() const
{
    return ui->caption;
}

QProgressBar *QProgressInfo::progressBar() const
{
    return ui->progressBar;
}

QPushButton *QProgressInfo::stopButton() const
{
    return ui->stopButton;
}

QLabel *QProgressInfo::counts() const
{
    return ui->counts;
}

QLabel *QProgressInfo::folder() const
{
    return ui->folder;
}

void QProgressInfo::showCounts(const QString &counts, const QString &folder)
{
    // Counts that do not fit keep their start; the tooltip holds them whole.
    ui->counts->setText(ui->counts->fontMetrics().elidedText(counts, Qt::ElideRight, ui->counts->width()));
    ui->counts->setToolTip(counts);
    if (folder.isEmpty() || folder == ui->folder->toolTip())
        return;
    // A deep path keeps its start and its last folder; the tooltip holds it whole.
    const QString line = tr("Folder: %1").arg(folder);
    ui->folder->setText(ui->folder->fontMetrics().elidedText(line, Qt::ElideMiddle, ui->folder->width()));
    ui->folder->setToolTip(folder);
}

void QProgressInfo::OnStop()
{
    QMessageBox question(QMessageBox::Warning, windowTitle(),
                         m_resumable ? tr("The upload can be resumed: uploading again goes on where it stopped.")
                                     : tr("Process cannot be resumed from the current stage."),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setInformativeText(tr("Do you want to abort the current process?"));
    question.setDefaultButton(QMessageBox::No);
    // A save can end while the question is open: then there is nothing left to stop.
    if (question.exec() != QMessageBox::Yes || !bProcessRunning)
        return;
    bStopFlag = true;
    bProcessRunning = false;
    hide();
    stopflag = true;
    emit OnAbort();
}

void QProgressInfo::closeEvent(QCloseEvent *event)
{
    event->ignore();
    OnStop();
}

void QProgressInfo::reject()
{
    OnStop();
}
