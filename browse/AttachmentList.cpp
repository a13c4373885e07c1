#include "browse/AttachmentList.h"

#include "browse/SizeText.h"
#include "olm/ScanState.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <sys/stat.h>

namespace {
constexpr int kRowsShownAtMost = 4;
const char kTitle[] = QT_TRANSLATE_NOOP("AttachmentList", "Save Attachments");

// The names a folder already holds, compared as distinctFileName compares them.
QSet<QString> namesIn(const QString &folder)
{
    QSet<QString> names;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                       | QDir::NoDotAndDotDot);
    for (const QString &entry : entries)
        names.insert(fileNameKey(entry));
    return names;
}
// True when path names the export the scan read, under whatever name: writing there
// would destroy the very file the attachments come from.
bool isTheOpenExport(const QString &path)
{
    struct stat open {}, named {};
    return fileDescriptor >= 0 && ::fstat(fileDescriptor, &open) == 0
           && ::stat(QFile::encodeName(path).constData(), &named) == 0 && open.st_dev == named.st_dev
           && open.st_ino == named.st_ino;
}
} // namespace

AttachmentList::AttachmentList(QWidget *parent)
    : QTreeWidget(parent)
    , m_saveAs(new QAction(tr("Save Attachment As…"), this))
    , m_saveAll(new QAction(tr("Save All Attachments…"), this))
{
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAccessibleName(tr("Attachments"));
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(SizeColumn, QHeaderView::ResizeToContents);
    m_lastFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (m_lastFolder.isEmpty() || !QFileInfo(m_lastFolder).isDir())
        m_lastFolder = QDir::homePath();

    connect(m_saveAs, &QAction::triggered, this, [this] {
        if (currentItem())
            saveAttachmentAs(indexOfTopLevelItem(currentItem()));
    });
    connect(m_saveAll, &QAction::triggered, this, &AttachmentList::saveAllAttachments);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { saveAttachmentAs(indexOfTopLevelItem(item)); });
    hide();
}

void AttachmentList::showAttachments(const QVector<MailAttachment> &attachments, qint64 fileSize,
                                     const QVector<MissingAttachment> &unrecovered)
{
    clear();
    m_attachments = attachments;
    m_fileSize = fileSize;
    // Unrecovered ones have no place in the file (offset -1): nothing of them can be saved.
    for (const MissingAttachment &listed : unrecovered)
        m_attachments.append({listed.name, QString(), -1, qMax<qint64>(0, listed.size)});
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    const QIcon missingIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < m_attachments.size(); ++i) {
        const MailAttachment &attachment = m_attachments.at(i);
        const bool unrecoveredRow = i >= attachments.size();
        auto *row = new QTreeWidgetItem(this);
        // The name as it would be saved: an export's name may hold line breaks or a path.
        row->setText(NameColumn, attachmentFileName(attachment.name));
        row->setIcon(NameColumn, unrecoveredRow ? missingIcon : icon);
        row->setToolTip(NameColumn, attachment.name.toHtmlEscaped());
        QString size = sizeText(attachment.size);
        QString damage;
        const qint64 inFile = attachmentBytesInFile(attachment, fileSize);
        if (unrecoveredRow) {
            size = unrecovered.at(i - attachments.size()).size >= 0 ? tr("%1, missing").arg(size) : tr("missing");
            damage = tr("The mail lists this attachment, but the OLM file does not hold it: it could not be recovered.");
        } else if (inFile < attachment.size) {
            size = inFile == 0 ? tr("%1, missing").arg(size) : tr("%1, only %2 in the file").arg(size, sizeText(inFile));
            damage = tr("The OLM file is damaged here: it holds %1 of the %2 bytes of this attachment.")
                         .arg(countText(inFile), countText(attachment.size));
        }
        if (!damage.isEmpty()) {
            row->setForeground(SizeColumn, QColor(176, 32, 32));
            row->setToolTip(SizeColumn, damage);
        }
        row->setText(SizeColumn, size);
        row->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    setVisible(!m_attachments.isEmpty());
    fitHeight();
}

bool AttachmentList::notInFile(const MailAttachment &attachment) const
{
    return attachment.offset < 0 || (attachment.size > 0 && attachmentBytesInFile(attachment, m_fileSize) == 0);
}

void AttachmentList::clearAttachments()
{
    clear();
    m_attachments.clear();
    hide();
}

void AttachmentList::fitHeight()
{
    const int rows = qMin(topLevelItemCount(), kRowsShownAtMost);
    const int rowHeight = topLevelItemCount() > 0 ? qMax(sizeHintForRow(0), 18) : 18;
    setFixedHeight(rows * rowHeight + 2 * frameWidth() + 2);
}

void AttachmentList::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_attachments.isEmpty())
        return;
    if (event->reason() == QContextMenuEvent::Mouse) {
        if (QTreeWidgetItem *item = itemAt(event->pos()))
            setCurrentItem(item);
    }
    m_saveAs->setEnabled(currentItem() != nullptr);
    QMenu menu(this);
    menu.addAction(m_saveAs);
    menu.addAction(m_saveAll);
    menu.exec(event->globalPos());
}

void AttachmentList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        saveAttachmentAs(indexOfTopLevelItem(currentItem()));
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void AttachmentList::saveAttachmentAs(int row)
{
    if (row < 0 || row >= m_attachments.size())
        return;
    const MailAttachment attachment = m_attachments.at(row);
    const QString name = attachmentFileName(attachment.name);
    if (notInFile(attachment)) {
        QMessageBox::warning(window(), tr(kTitle),
                             tr("\"%1\" cannot be saved: the OLM file is damaged and holds none of its bytes.").arg(name));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(window(), tr("Save Attachment As"),
                                                      QDir(m_lastFolder).filePath(name));
    if (path.isEmpty())
        return;
    m_lastFolder = QFileInfo(path).path();
    if (isTheOpenExport(path)) {
        QMessageBox::warning(window(), tr(kTitle),
                             tr("\"%1\" is the OLM file being read: the attachment is not saved over it. Choose "
                                "another name.")
                                 .arg(path));
        return;
    }
    const AttachmentWrite write = writeAttachmentFile(FileTextReader(fileDescriptor, lSize), attachment, path);
    if (!write.error.isEmpty()) {
        QMessageBox::warning(window(), tr(kTitle), tr("\"%1\" could not be saved:\n%2").arg(path, write.error));
    } else if (write.written < attachment.size) {
        QMessageBox::warning(window(), tr(kTitle),
                             tr("\"%1\" was saved with only %2 of its %3 bytes: the OLM file is damaged and ends "
                                "before the attachment does.")
                                 .arg(path, countText(write.written), countText(attachment.size)));
    }
}

AttachmentList::ExistingFile AttachmentList::askAboutExisting(const QString &name, bool *sameForTheRest)
{
    QMessageBox question(QMessageBox::Warning, tr(kTitle),
                         tr("\"%1\" already exists in this folder. Do you want to replace it?").arg(name),
                         QMessageBox::Yes | QMessageBox::Save | QMessageBox::No | QMessageBox::Cancel, window());
    question.button(QMessageBox::Yes)->setText(tr("Replace"));
    question.button(QMessageBox::Save)->setText(tr("Keep Both"));
    question.button(QMessageBox::No)->setText(tr("Skip"));
    question.setDefaultButton(QMessageBox::Save);
    question.setInformativeText(tr("Keep Both saves the attachment under a new name."));
    auto *same = new QCheckBox(tr("Do the same for the other files that exist"));
    question.setCheckBox(same);
    const int answer = question.exec();
    *sameForTheRest = same->isChecked();
    switch (answer) {
    case QMessageBox::Yes: return ExistingFile::Replace;
    case QMessageBox::Save: return ExistingFile::KeepBoth;
    case QMessageBox::No: return ExistingFile::Skip;
    default: return ExistingFile::Cancel;
    }
}

void AttachmentList::saveAllAttachments()
{
    if (m_attachments.isEmpty())
        return;
    const QString folder = QFileDialog::getExistingDirectory(window(), tr("Save All Attachments"), m_lastFolder,
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    m_lastFolder = folder;
    const QVector<MailAttachment> attachments = m_attachments; // the list may change while a question is open
    const FileTextReader olm(fileDescriptor, lSize);
    QSet<QString> usedNow; // names given in this pass: same-named attachments never share a file
    bool decided = false;
    ExistingFile decision = ExistingFile::KeepBoth;
    int saved = 0;
    QStringList problems;
    for (const MailAttachment &attachment : attachments) {
        QString name = distinctFileName(attachmentFileName(attachment.name), usedNow);
        QString path = QDir(folder).filePath(name);
        QFileInfo existing(path);
        // The export itself is never replaced: the attachment is kept beside it.
        if (isTheOpenExport(path)) {
            name = distinctFileName(name, usedNow + namesIn(folder));
            path = QDir(folder).filePath(name);
            existing = QFileInfo(path);
        }
        if (existing.exists() || existing.isSymLink()) {
            ExistingFile answer = decision;
            if (!decided) {
                bool sameForTheRest = false;
                answer = askAboutExisting(name, &sameForTheRest);
                if (sameForTheRest && answer != ExistingFile::Cancel) {
                    decided = true;
                    decision = answer;
                }
            }
            if (answer == ExistingFile::Cancel)
                break;
            if (answer == ExistingFile::Skip) {
                usedNow.insert(fileNameKey(name));
                problems << tr("%1: skipped, the folder holds a file of that name").arg(name);
                continue;
            }
            // A folder of that name cannot be replaced by a file: the attachment gets a name of its own.
            if (answer == ExistingFile::KeepBoth || existing.isDir()) {
                name = distinctFileName(name, usedNow + namesIn(folder));
                path = QDir(folder).filePath(name);
            } else if (existing.isSymLink() && !QFile::remove(path)) {
                // A link is replaced itself, never the file it points to.
                problems << tr("%1: the link there could not be replaced").arg(name);
                usedNow.insert(fileNameKey(name));
                continue;
            }
        }
        usedNow.insert(fileNameKey(name));
        if (notInFile(attachment)) {
            problems << tr("%1: not saved, the OLM file holds none of its bytes").arg(name);
            continue;
        }
        const AttachmentWrite write = writeAttachmentFile(olm, attachment, path);
        if (!write.error.isEmpty()) {
            problems << tr("%1: not saved, %2").arg(name, write.error);
            continue;
        }
        ++saved;
        if (write.written < attachment.size)
            problems << tr("%1: saved with only %2 of its %3 bytes, the OLM file is damaged")
                            .arg(name, countText(write.written), countText(attachment.size));
    }
    const QString summary = tr("%1 of %2 attachments saved in \"%3\".")
                                .arg(countText(saved), countText(attachments.size()), folder);
    if (problems.isEmpty() && saved == attachments.size()) {
        QMessageBox::information(window(), tr(kTitle), summary);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr(kTitle), summary, QMessageBox::Ok, window());
    if (!problems.isEmpty())
        box.setInformativeText(problems.join(QLatin1Char('\n')));
    box.exec();
}
