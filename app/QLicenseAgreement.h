#pragma once
// The agreement shown on first run: accepted with "I Agree", refused with "Disagree".
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class QLicenseAgreement : public QDialog
{
    Q_OBJECT
public:
    // Shows the text of the file at agreementPath, read as ISO 8859-1.
    explicit QLicenseAgreement(const QString &agreementPath, QWidget *parent = nullptr);

    QPlainTextEdit *agreementText() const { return m_pText; }
    QPushButton *agreeButton() const { return m_pAgree; }
    QPushButton *disagreeButton() const { return m_pDisagree; }

private:
    QPlainTextEdit *m_pText;
    QPushButton *m_pDisagree;
    QPushButton *m_pAgree;
};
