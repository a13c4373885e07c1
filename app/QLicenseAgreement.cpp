#include "app/QLicenseAgreement.h"

#include "app/WidgetLook.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCodec>
#include <QVBoxLayout>

QLicenseAgreement::QLicenseAgreement(const QString &agreementPath, QWidget *parent)
    : QDialog(parent)
    , m_pText(new QPlainTextEdit(this))
    , m_pDisagree(new QPushButton(tr("Disagree"), this))
    , m_pAgree(new QPushButton(tr("I Agree"), this))
{
    setWindowTitle(tr("License Agreement"));
    setModal(true);
    resize(560, 440);

    QFile file(agreementPath);
    if (file.open(QIODevice::ReadOnly))
        m_pText->setPlainText(QTextCodec::codecForName("ISO 8859-1")->toUnicode(file.readAll()));
    m_pText->setReadOnly(true);
    useClearScrollBars(this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pDisagree);
    buttons->addWidget(m_pAgree);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pText, 1);
    layout->addLayout(buttons);

    m_pAgree->setDefault(true);
    connect(m_pAgree, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pDisagree, &QPushButton::clicked, this, &QDialog::reject);
}
