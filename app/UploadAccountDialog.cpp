#include "app/UploadAccountDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
// The port each protection is usually served on, in the order of the security choices.
const quint16 kUsualPorts[] = {993, 143, 143};
} // namespace

UploadAccountDialog::UploadAccountDialog(QWidget *parent)
    : QDialog(parent), m_server(new QLineEdit(this)), m_port(new QSpinBox(this)), m_user(new QLineEdit(this)),
      m_password(new QLineEdit(this)), m_security(new QComboBox(this)), m_certificates(new QLineEdit(this)),
      m_contacts(new QLineEdit(this)), m_calendar(new QLineEdit(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("uploadAccountDialog"));
    setWindowTitle(tr("Upload to a mail account"));
    m_server->setObjectName(QStringLiteral("server"));
    m_server->setPlaceholderText(tr("imap.example.com"));
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_port->setValue(kUsualPorts[0]);
    m_user->setObjectName(QStringLiteral("user"));
    m_user->setPlaceholderText(tr("name@example.com"));
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_security->setObjectName(QStringLiteral("security"));
    m_security->addItems({tr("SSL/TLS"), tr("STARTTLS"), tr("None (the password is sent in the clear)")});
    m_certificates->setObjectName(QStringLiteral("certificateFile"));
    m_certificates->setPlaceholderText(tr("only for a server with a certificate of its own"));
    m_contacts->setObjectName(QStringLiteral("carddav"));
    m_contacts->setPlaceholderText(tr("https://dav.example.com/addressbooks/name/default/"));
    m_calendar->setObjectName(QStringLiteral("caldav"));
    m_calendar->setPlaceholderText(tr("https://dav.example.com/calendars/name/default/"));
    auto *chooseCertificates = new QPushButton(tr("Choose…"), this);
    chooseCertificates->setObjectName(QStringLiteral("chooseCertificateFile"));
    connect(chooseCertificates, &QPushButton::clicked, this, &UploadAccountDialog::chooseCertificates);
    connect(m_security, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &UploadAccountDialog::securityChanged);
    connect(m_server, &QLineEdit::textChanged, this, &UploadAccountDialog::updateButtons);
    connect(m_user, &QLineEdit::textChanged, this, &UploadAccountDialog::updateButtons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("Server:"), m_server);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("User name:"), m_user);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Security:"), m_security);
    auto *certificateRow = new QHBoxLayout;
    certificateRow->addWidget(m_certificates, 1);
    certificateRow->addWidget(chooseCertificates);
    form->addRow(tr("Certificate file:"), certificateRow);
    form->addRow(tr("Contacts (CardDAV):"), m_contacts);
    form->addRow(tr("Calendar (CalDAV):"), m_calendar);
    // Tab goes down the form as it is laid out, the certificate file's button after its field.
    QWidget *order[] = {m_server, m_port, m_user, m_password, m_security, m_certificates, chooseCertificates,
                        m_contacts, m_calendar, m_buttons};
    for (size_t i = 1; i < sizeof order / sizeof *order; ++i)
        setTabOrder(order[i - 1], order[i]);
    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(tr("The checked mail folders and notes are added below \"Rescued\" in this account; "
                               "checked contacts go to the CardDAV address book, events and tasks to the CalDAV "
                               "calendar, with the same user name and password. Many providers want an app "
                               "password here."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(m_buttons);
    updateButtons();
}

ImapAccount UploadAccountDialog::account() const
{
    ImapAccount account;
    account.host = m_server->text().trimmed();
    account.port = quint16(m_port->value());
    account.user = m_user->text().trimmed();
    account.password = m_password->text();
    account.caFile = m_certificates->text().trimmed();
    const ImapSecurity security[] = {ImapSecurity::Tls, ImapSecurity::StartTls, ImapSecurity::None};
    account.security = security[qBound(0, m_security->currentIndex(), 2)];
    return account;
}

QString UploadAccountDialog::contactsAddress() const
{
    return m_contacts->text().trimmed();
}

QString UploadAccountDialog::calendarAddress() const
{
    return m_calendar->text().trimmed();
}

// A port left at the usual one follows the protection; one typed in stays.
void UploadAccountDialog::securityChanged()
{
    for (const quint16 usual : kUsualPorts)
        if (m_port->value() == usual) {
            m_port->setValue(kUsualPorts[qBound(0, m_security->currentIndex(), 2)]);
            break;
        }
}

void UploadAccountDialog::chooseCertificates()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Certificate File"), m_certificates->text(),
                                                      tr("Certificates (*.pem *.crt *.cer);;All Files (*)"));
    if (!path.isEmpty())
        m_certificates->setText(path);
}

void UploadAccountDialog::updateButtons()
{
    m_buttons->button(QDialogButtonBox::Ok)
        ->setEnabled(!m_server->text().trimmed().isEmpty() && !m_user->text().trimmed().isEmpty());
}
