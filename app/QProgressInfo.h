#pragma once
// The progress window of a scan or a save, with the button that stops it.
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class ProgressInfoDialog;
}

class QProgressInfo : public QDialog
{
    Q_OBJECT
public:
    explicit QProgressInfo(QWidget *parent = nullptr);
    ~QProgressInfo() override;

    QLabel *caption() const;
    QProgressBar *progressBar() const;
    QPushButton *stopButton() const;
    // The lines under the bar: the counts ("2,345 of 21,000 mails") and the folder at work.
    QLabel *counts() const;
    QLabel *folder() const;
    // folder empty: the folder line is left as it is.
    void showCounts(const QString &counts, const QString &folder);
    // Work that a second run takes up where this one stopped (an upload) says so in the stop question.
    void setResumable(bool resumable) { m_resumable = resumable; }

signals:
    void OnAbort();

public slots:
    // Asks whether to abort; on Yes raises the stop flags and hides the window.
    void OnStop();

protected:
    // The close button and Escape are the Stop button: the window never goes while the work does.
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    Ui::ProgressInfoDialog *ui;
    bool m_resumable = false;
};
