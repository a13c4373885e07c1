#include "app/SaveFormatDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

SaveFormatDialog::SaveFormatDialog(QWidget *parent)
    : QDialog(parent),
      m_bundle(new QRadioButton(tr("Entourage archive (.rge)"), this)),
      m_standard(new QRadioButton(tr("Standard files (mbox, vCard, iCalendar)"), this)),
      m_upload(new QRadioButton(tr("Upload to a mail account\u2026"), this))
{
    setObjectName(QStringLiteral("saveFormatDialog"));
    setWindowTitle(tr("Save")); // the window system adds the application's name
    m_bundle->setObjectName(QStringLiteral("bundleFormat"));
    m_standard->setObjectName(QStringLiteral("standardFormat"));
    m_upload->setObjectName(QStringLiteral("uploadFormat"));
    m_bundle->setChecked(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Save the checked folders as:"), this));
    layout->addWidget(m_bundle);
    layout->addWidget(m_standard);
    layout->addWidget(m_upload);
    layout->addWidget(buttons);
}

BundleFormat SaveFormatDialog::format() const
{
    return m_standard->isChecked() ? BundleFormat::Standard : BundleFormat::Entourage;
}

void SaveFormatDialog::setFormat(BundleFormat format)
{
    (format == BundleFormat::Standard ? m_standard : m_bundle)->setChecked(true);
}

bool SaveFormatDialog::uploadChosen() const
{
    return m_upload->isChecked();
}

void SaveFormatDialog::setUploadChosen(bool upload)
{
    if (upload)
        m_upload->setChecked(true);
}
