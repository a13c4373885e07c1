#pragma once
// The log window: a plain-text log that can be cleared or saved to a text file.
#include <QDialog>

namespace Ui {
class LogReportDialog;
}

class QLogReport : public QDialog
{
    Q_OBJECT
public:
    explicit QLogReport(QWidget *parent = nullptr);
    ~QLogReport() override;

    // Enables "Clear log" and "Save log" when there is a log, then shows the window.
    void ShowReport();

public slots:
    void ClearLogTree();
    void SaveLogTree();
    // Appends the record of a save to fileName.
    void SaveLogPath(const QString &fileName);
    // Appends one line of the log, such as an item a save could not write.
    void AppendLog(const QString &line);
    QString logText() const;
    void ChangePixmapofSave();
    void ChangePixmapofSaveOnRelease();
    void ChangePixmapofClear();
    void ChangePixmapofClearOnRelease();
    void ChangePixmapofStop();
    void ChangePixmapofStopOnRelease();

private:
    void setLogButtonsEnabled(bool enabled);

    Ui::LogReportDialog *ui;
};
