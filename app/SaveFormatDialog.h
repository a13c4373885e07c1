#pragma once
// The first question of a save: the Entourage archive bundle, standard files that
// today's mail clients, address books and calendars import, or straight into a mail account.
#include "archive/SaveBundle.h"

#include <QDialog>

class QRadioButton;

class SaveFormatDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SaveFormatDialog(QWidget *parent = nullptr);

    BundleFormat format() const;
    void setFormat(BundleFormat format);
    // The third choice: the mails uploaded to a mail account instead of saved.
    bool uploadChosen() const;
    void setUploadChosen(bool upload);

private:
    QRadioButton *m_bundle;
    QRadioButton *m_standard;
    QRadioButton *m_upload;
};
