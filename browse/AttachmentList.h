#pragma once
// The attachments of the previewed mail, under its header lines: name and size of
// each, saved one by one (double-click, "Save Attachment As…") or all into a folder
// ("Save All Attachments…"), byte for byte from the .olm file.
#include "archive/MailAttachments.h"
#include "parsers/ItemDetails.h"

#include <QMessageBox>
#include <QTreeWidget>

class QAction;

class AttachmentList : public QTreeWidget
{
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn };

    explicit AttachmentList(QWidget *parent = nullptr);

    // Lists these attachments, telling those that the file holds only in part or not
    // at all (fileSize: of the .olm file), then those the mail lists but the scan could
    // not recover, as "missing"; hidden when there are none.
    void showAttachments(const QVector<MailAttachment> &attachments, qint64 fileSize,
                         const QVector<MissingAttachment> &unrecovered = {});
    void clearAttachments();
    const QVector<MailAttachment> &attachments() const { return m_attachments; }

    QAction *saveAsAction() const { return m_saveAs; }
    QAction *saveAllAction() const { return m_saveAll; }

public slots:
    // Asks where to save the attachment of this row, then writes it.
    void saveAttachmentAs(int row);
    // Asks for a folder and writes every attachment into it, asking before it
    // replaces a file; two attachments of one name get two files.
    void saveAllAttachments();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Return or Enter on a row saves it, as a double-click does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class ExistingFile { Replace, KeepBoth, Skip, Cancel };
    // What to do with a file of this name that the folder already holds.
    ExistingFile askAboutExisting(const QString &name, bool *sameForTheRest);
    void fitHeight();
    // The file holds none of its bytes, or the scan found it nowhere.
    bool notInFile(const MailAttachment &attachment) const;

    QVector<MailAttachment> m_attachments;
    qint64 m_fileSize = 0;
    QAction *m_saveAs;
    QAction *m_saveAll;
    QString m_lastFolder; // where the last attachment went; offered first the next time
};
