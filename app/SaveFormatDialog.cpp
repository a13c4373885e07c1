#include "app/SaveFormatDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

SaveFormatDialog::SaveFormatDialog(QWidget *parent)
    : QDialog(parent),
      m_bundle(new QRadioButton(tr("Entourage archive (.rge)"), this)),
      m_standard(new QRadioButton(tr("Standard files (mbox, vCard, iCalendar)"), this)),
      m_eml(new QRadioButton(tr("Every mail as an .eml file (the rest as standard files)"), this)),
      m_pdf(new QRadioButton(tr("Every mail as a PDF document (the rest as standard files)"), this)),
      m_pdfPerFolder(new QCheckBox(tr("One PDF document for each folder"), this)),
      m_upload(new QRadioButton(tr("Upload to a mail account\u2026"), this))
{
    setObjectName(QStringLiteral("saveFormatDialog"));
    setWindowTitle(tr("Save")); // the window system adds the application's name
    m_bundle->setObjectName(QStringLiteral("bundleFormat"));
    m_standard->setObjectName(QStringLiteral("standardFormat"));
    m_eml->setObjectName(QStringLiteral("emlFormat"));
    m_pdf->setObjectName(QStringLiteral("pdfFormat"));
    m_pdfPerFolder->setObjectName(QStringLiteral("pdfPerFolder"));
    m_upload->setObjectName(QStringLiteral("uploadFormat"));
    m_bundle->setChecked(true);
    m_pdfPerFolder->setEnabled(false);
    connect(m_pdf, &QRadioButton::toggled, m_pdfPerFolder, &QCheckBox::setEnabled);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Save the checked folders as:"), this));
    layout->addWidget(m_bundle);
    layout->addWidget(m_standard);
    layout->addWidget(m_eml);
    layout->addWidget(m_pdf);
    auto *perFolder = new QVBoxLayout;
    perFolder->setContentsMargins(24, 0, 0, 0); // under the choice it belongs to
    perFolder->addWidget(m_pdfPerFolder);
    layout->addLayout(perFolder);
    layout->addWidget(m_upload);
    layout->addWidget(buttons);
}

BundleFormat SaveFormatDialog::format() const
{
    if (m_standard->isChecked())
        return BundleFormat::Standard;
    if (m_eml->isChecked())
        return BundleFormat::Eml;
    return m_pdf->isChecked() ? BundleFormat::Pdf : BundleFormat::Entourage;
}

void SaveFormatDialog::setFormat(BundleFormat format)
{
    switch (format) {
    case BundleFormat::Entourage: m_bundle->setChecked(true); break;
    case BundleFormat::Standard: m_standard->setChecked(true); break;
    case BundleFormat::Eml: m_eml->setChecked(true); break;
    case BundleFormat::Pdf: m_pdf->setChecked(true); break;
    }
}

bool SaveFormatDialog::pdfPerFolder() const
{
    return m_pdf->isChecked() && m_pdfPerFolder->isChecked();
}

void SaveFormatDialog::setPdfPerFolder(bool perFolder)
{
    m_pdfPerFolder->setChecked(perFolder);
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
