#pragma once
// About Mendora: product and system, the help and support links, and the agreement.
#include <QDialog>

class QEntourageMainWindow;

class AboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDlg(QEntourageMainWindow *mainWindow);
};
