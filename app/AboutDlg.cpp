#include "app/AboutDlg.h"

#include "app/AppPaths.h"
#include "app/QEntourageMainWindow.h"

#include <BuildConfig.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

AboutDlg::AboutDlg(QEntourageMainWindow *mainWindow)
    : QDialog(mainWindow)
{
    setWindowTitle(tr("About")); // the window system adds the application's name

    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/images/img_logo_progressbar.png")));
    logo->setAlignment(Qt::AlignTop);

    auto *product = new QLabel(this);
    product->setTextFormat(Qt::RichText);
    product->setText(tr("<b style=\"font-size:15pt\">Mendora</b><br>Version %1<br>"
                        "Repairs damaged Outlook for Mac export files (.olm) and saves what they hold "
                        "as an Entourage archive.")
                         .arg(QStringLiteral(MENDORA_VERSION)));
    product->setWordWrap(true);

    auto *system = new QLabel(this);
    system->setText(tr("System: %1 (%2 %3)\nQt: %4")
                        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                             QString::fromLatin1(qVersion())));
    system->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *help = new QPushButton(tr("Help Topics"), this);
    auto *support = new QPushButton(tr("Support"), this);
    auto *email = new QPushButton(tr("Email Support"), this);
    auto *agreement = new QPushButton(tr("License Agreement"), this);
    connect(help, &QPushButton::clicked, mainWindow, &QEntourageMainWindow::OpenHelp);
    connect(support, &QPushButton::clicked, mainWindow, &QEntourageMainWindow::OnViewSupport);
    connect(email, &QPushButton::clicked, mainWindow, &QEntourageMainWindow::OnEmailSupport);
    connect(agreement, &QPushButton::clicked, this,
            [this] { openLocalPage(this, agreementTextPath(), tr("License Agreement")); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *text = new QVBoxLayout;
    text->addWidget(product);
    text->addWidget(system);
    auto *head = new QHBoxLayout;
    head->addWidget(logo);
    head->addLayout(text, 1);
    auto *links = new QHBoxLayout;
    links->addWidget(help);
    links->addWidget(support);
    links->addWidget(email);
    links->addWidget(agreement);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(links);
    layout->addWidget(buttons);
}
