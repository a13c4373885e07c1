#pragma once
// The accounts an upload goes to: the mail server (server, port, user name, password and
// how the connection is protected, a certificate file to trust its own certificate) and,
// when given, the addresses of the address book (CardDAV) and calendar (CalDAV), which
// take the same user name and password.
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
    // Empty when not given.
    QString contactsAddress() const;
    QString calendarAddress() const;

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
    QLineEdit *m_contacts;     // the CardDAV collection
    QLineEdit *m_calendar;     // the CalDAV collection
    QDialogButtonBox *m_buttons;
};
