#include "app/InformationDlg.h"

#include "app/AppState.h"
#include "olm/LossAccount.h"
#include "parsers/RecordLists.h"
#include "ui_InformationDlg.h"

InformationDlg::InformationDlg(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::InformationDialog)
{
    ui->setupUi(this);
    SizeOfAllMails = MailItemCount + ContactItemCount + TaskItemCount + NotesItemCount + CalendarItemCount;
    ui->mailCount->setText(QString::number(MailItemCount));
    ui->calendarCount->setText(QString::number(CalendarItemCount));
    ui->notesCount->setText(QString::number(NotesItemCount));
    ui->contactCount->setText(QString::number(ContactItemCount));
    ui->taskCount->setText(QString::number(TaskItemCount));
    // Under the counts, one line when the scan could not carry everything.
    const QString losses = lossSummaryLine();
    ui->lossLine->setText(losses);
    ui->lossLine->setVisible(!losses.isEmpty());
}

InformationDlg::~InformationDlg()
{
    delete ui;
}
