#pragma once
// The scan summary: how many items of each kind the scan recovered.
#include <QDialog>

namespace Ui {
class InformationDialog;
}

class InformationDlg : public QDialog
{
    Q_OBJECT
public:
    // Reads the item counters; sets SizeOfAllMails to their sum.
    explicit InformationDlg(QWidget *parent = nullptr);
    ~InformationDlg() override;

private:
    Ui::InformationDialog *ui;
};
