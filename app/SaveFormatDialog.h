#pragma once
// The first question of a save: the Entourage archive bundle, standard files that
// today's mail clients, address books and calendars import, every mail as an .eml file
// or as a PDF document, or straight into a mail account.
#include "archive/SaveBundle.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;

class SaveFormatDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SaveFormatDialog(QWidget *parent = nullptr);

    BundleFormat format() const;
    void setFormat(BundleFormat format);
    // With PDF: one document for each folder's mails instead of one for each mail.
    bool pdfPerFolder() const;
    void setPdfPerFolder(bool perFolder);
    // The last choice: the mails uploaded to a mail account instead of saved.
    bool uploadChosen() const;
    void setUploadChosen(bool upload);

private:
    QRadioButton *m_bundle;
    QRadioButton *m_standard;
    QRadioButton *m_eml;
    QRadioButton *m_pdf;
    QCheckBox *m_pdfPerFolder;
    QRadioButton *m_upload;
};
