#include "app/QProgressInfo.h"

#include "olm/ScanState.h"
#include "ui_ProgressInfo.h"

#include <QCloseEvent>
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

void QProgressInfo::OnStop()
{
    QMessageBox question(QMessageBox::Warning, QString(),
                         tr("Process cannot be resumed from the current stage."),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setInformativeText(tr("Do you want to abort the current process?"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
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
