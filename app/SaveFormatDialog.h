#pragma once
// The first question of a save: the Entourage archive bundle, or standard files that
// today's mail clients, address books and calendars import.
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

private:
    QRadioButton *m_bundle;
    QRadioButton *m_standard;
};
