#include "log/QLogReport.h"

#include "ui_LogReportDialog.h"

#include <QDate>
#include <QFile>
#include <QFileDialog>
#include <QTextCursor>
#include <QTime>

QLogReport::QLogReport(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint)
    , ui(new Ui::LogReportDialog)
{
    ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    connect(ui->ClearLog, &QPushButton::clicked, this, &QLogReport::ClearLogTree);
    connect(ui->SaveLog, &QPushButton::clicked, this, &QLogReport::SaveLogTree);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(ui->SaveLog, &QPushButton::pressed, this, &QLogReport::ChangePixmapofSave);
    connect(ui->SaveLog, &QPushButton::released, this, &QLogReport::ChangePixmapofSaveOnRelease);
    connect(ui->ClearLog, &QPushButton::pressed, this, &QLogReport::ChangePixmapofClear);
    connect(ui->ClearLog, &QPushButton::released, this, &QLogReport::ChangePixmapofClearOnRelease);
    connect(ui->CloseButton, &QPushButton::pressed, this, &QLogReport::ChangePixmapofStop);
    connect(ui->CloseButton, &QPushButton::released, this, &QLogReport::ChangePixmapofStopOnRelease);
    setLogButtonsEnabled(false);
}

QLogReport::~QLogReport()
{
    delete ui;
}

void QLogReport::ShowReport()
{
    setLogButtonsEnabled(!ui->LogText->document()->isEmpty());
    setWindowModality(Qt::WindowModal);
    show();
}

void QLogReport::setLogButtonsEnabled(bool enabled)
{
    ui->SaveLog->setEnabled(enabled);
    ui->ClearLog->setEnabled(enabled);
}

void QLogReport::ClearLogTree()
{
    ui->LogText->clear();
    setLogButtonsEnabled(false);
}

void QLogReport::SaveLogTree()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Log Report to File"), tr("Mendora Log Report") + QLatin1String(".txt"), QString());
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    // A file that cannot be written is not reported; the save record is appended all the same.
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(ui->LogText->toPlainText().toUtf8());
    SaveLogPath(fileName);
    file.close();
}

void QLogReport::SaveLogPath(const QString &fileName)
{
    ui->LogText->append(tr("Log Report Saving Path :\n") + fileName);
    ui->LogText->append(tr(" Log Report Saving time :\n") + QDate::currentDate().toString(Qt::TextDate)
                        + QLatin1Char(',') + QTime::currentTime().toString(Qt::TextDate));
    ui->LogText->append(QString(63, QLatin1Char('*')));
}

void QLogReport::AppendLog(const QString &line)
{
    // As plain text: names from the file ("<urgent>", "a & b") are no markup.
    QTextCursor cursor(ui->LogText->document());
    cursor.movePosition(QTextCursor::End);
    if (!ui->LogText->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(line);
    setLogButtonsEnabled(true);
}

QString QLogReport::logText() const
{
    return ui->LogText->toPlainText();
}

void QLogReport::ChangePixmapofSave()
{
    ui->SaveLog->setIcon(QIcon(QStringLiteral(":/images/img_Save_Click.png")));
}

void QLogReport::ChangePixmapofSaveOnRelease()
{
    ui->SaveLog->setIcon(QIcon(QStringLiteral(":/images/img_Save.png")));
}

void QLogReport::ChangePixmapofClear()
{
    ui->ClearLog->setIcon(QIcon(QStringLiteral(":/images/img_ClearLog_Click.png")));
}

void QLogReport::ChangePixmapofClearOnRelease()
{
    ui->ClearLog->setIcon(QIcon(QStringLiteral(":/images/img_ClearLog.png")));
}

void QLogReport::ChangePixmapofStop()
{
    ui->CloseButton->setIcon(QIcon(QStringLiteral(":/images/img_Stop_Click.png")));
}

void QLogReport::ChangePixmapofStopOnRelease()
{
    ui->CloseButton->setIcon(QIcon(QStringLiteral(":/images/img_Stop.png")));
}
