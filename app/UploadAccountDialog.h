#pragma once
// The mail account an upload goes to: server, port, user name, password and how the
// connection is protected.
#include "upload/ImapUpload.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

class UploadAccountDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UploadAccountDialog(QWidget *parent = nullptr);

    ImapAccount account() const;

private:
    void securityChanged();
    void updateButtons();
    void chooseCertificates();

    QLineEdit *m_server;
    QSpinBox *m_port;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QComboBox *m_security;
    QLineEdit *m_certificates; // a PEM file trusted besides the system's certificates
    QDialogButtonBox *m_buttons;
};
