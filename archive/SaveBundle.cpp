#include "archive/SaveBundle.h"

#include "archive/BundleLayout.h"
#include "archive/FileNames.h"
#include "archive/EmlFiles.h"
#include "archive/PdfFiles.h"
#include "archive/FolderLabels.h"
#include "archive/ItemConverters.h"
#include "archive/MailboxPaths.h"
#include "archive/MailWriter.h"
#include "archive/OutputFile.h"
#include "archive/StandardFiles.h"
#include "archive/VisibleText.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"
#include "platform/FinderInfo.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <memory>

const char kRescueReportName[] = "Rescue report.txt";

const char *itemKindName(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Mail: return "mails";
    case ItemKind::Contact: return "contacts";
    case ItemKind::Event: return "calendar events";
    case ItemKind::Task: return "tasks";
    case ItemKind::Note: return "notes";
    }
    return "";
}

QString UnwrittenItem::line() const
{
    return item + QLatin1String(": ") + why;
}

qint64 SaveReport::writtenTotal() const
{
    qint64 total = 0;
    for (qint64 count : written)
        total += count;
    return total;
}

QString writtenCountsText(const SaveReport &report)
{
    QStringList parts;
    for (int kind = 0; kind < kItemKindCount; ++kind)
        parts.append(QStringLiteral("%1 %2").arg(report.written[size_t(kind)]).arg(QLatin1String(itemKindName(ItemKind(kind)))));
    return parts.join(QLatin1String(", "));
}

QVector<SaveFolder> checkedFolders()
{
    QVector<SaveFolder> folders;
    for (const FolderAttribute *record = StartFldrAtrib; record; record = record->next) {
        if (record->state == CheckedCode)
            folders.append({record->folderId, record->folderType});
    }
    return folders;
}

QVector<SaveFolder> foldersAtOrBelow(const QVector<qint64> &ids)
{
    // Parents come before their children in the list, so one pass marks whole subtrees.
    QSet<qint64> chosen(ids.cbegin(), ids.cend());
    QVector<SaveFolder> folders;
    for (const FolderAttribute *record = StartFldrAtrib; record; record = record->next) {
        const qint64 id = record->folderId, parentId = record->parentId;
        if (chosen.contains(id) || chosen.contains(parentId)) {
            chosen.insert(id);
            folders.append({id, record->folderType});
        }
    }
    return folders;
}

qint64 itemCountOf(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Contact: return ContactItemCount;
    case ItemKind::Event: return CalendarItemCount;
    case ItemKind::Task: return TaskItemCount;
    case ItemKind::Note: return NotesItemCount;
    case ItemKind::Mail: break;
    }
    return 0;
}

namespace {
QString quoted(const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
} // namespace

QString describeItem(const MailMLRC &mail, FolderLabels &labels)
{
    // A path too long for the record's field is left empty there; the folder model has it.
    QString folder = shortenedForDisplay(utf8Field(mail.FolderPath));
    if (folder.isEmpty())
        folder = labels.label(mail.ParentId);
    return QStringLiteral("mail %1 in %2 (%3)")
        .arg(quoted(utf8Field(mail.Subject)), folder.isEmpty() ? QLatin1String(kFolderWithoutPathName) : folder,
             latin1Field(mail.MessageId));
}
QString describeItem(const MailMLRC &mail)
{
    FolderLabels labels;
    return describeItem(mail, labels);
}
QString describeItem(const ContactInformation &contact)
{
    return QStringLiteral("contact ")
           + quoted((utf8Field(contact.FirstName) + QLatin1Char(' ') + utf8Field(contact.LastName)).trimmed());
}
QString describeItem(const CalenderInformation &event) { return QStringLiteral("calendar event ") + quoted(utf8Field(event.Summary)); }
QString describeItem(const TasksInformation &task) { return QStringLiteral("task ") + quoted(utf8Field(task.Name)); }
QString describeItem(const NotesInformation &note) { return QStringLiteral("note ") + quoted(utf8Field(note.Title)); }


namespace {

QHash<qint64, qint64> mailsPerFolder()
{
    QHash<qint64, qint64> counts;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        const qint64 parentId = mail->ParentId;
        ++counts[parentId];
    }
    return counts;
}

ItemKind kindOf(qint32 folderType)
{
    switch (folderType) {
    case ContactsFolderType: return ItemKind::Contact;
    case CalendarFolderType: return ItemKind::Event;
    case TasksFolderType: return ItemKind::Task;
    case NotesFolderType: return ItemKind::Note;
    default: return ItemKind::Mail;
    }
}

// The folders a save writes: each once, and each item kind other than mail once.
QVector<SaveFolder> distinctFolders(const QVector<SaveFolder> &folders)
{
    QSet<qint64> seenIds;
    QSet<int> seenKinds;
    QVector<SaveFolder> distinct;
    for (const SaveFolder &folder : folders) {
        const ItemKind kind = kindOf(folder.type);
        if (seenIds.contains(folder.id) || (kind != ItemKind::Mail && seenKinds.contains(int(kind))))
            continue;
        seenIds.insert(folder.id);
        seenKinds.insert(int(kind));
        distinct.append(folder);
    }
    return distinct;
}


class BundleSaver
{
public:
    BundleSaver(const SaveRequest &request, const SaveHooks &hooks) : m_request(request), m_hooks(hooks) {}

    SaveReport run()
    {
        // The scan's losses, without those of earlier saves of the same scan.
        for (const Loss &loss : recordedLosses())
            if (!loss.duringSave)
                m_scanLosses.append(loss);
        const bool filtered = m_request.filter && !m_request.filter->isEmpty();
        QVector<SaveFolder> folders = distinctFolders(m_request.folders);
        // A filter picks mails: the other kinds, and attachments without a mail, have none of what it asks for.
        if (filtered)
            folders.erase(std::remove_if(folders.begin(), folders.end(),
                                         [](const SaveFolder &folder) {
                                             return kindOf(folder.type) != ItemKind::Mail
                                                    || folder.type == RecoveredAttachmentsFolderType;
                                         }),
                          folders.end());
        m_directory = m_request.directory;
        if (!m_directory) {
            QString error;
            if (!m_ownDirectory.open(m_request.bundlePath, &error)) {
                m_report.notWritten.append({QStringLiteral("every item"), error});
                return m_report;
            }
            m_directory = &m_ownDirectory;
        }
        if (m_request.format != BundleFormat::Entourage)
            m_standard = std::make_unique<StandardFiles>(*m_directory);
        if (m_request.format == BundleFormat::Eml)
            m_eml = std::make_unique<EmlFiles>(*m_directory);
        if (m_request.format == BundleFormat::Pdf) {
            if (!m_request.printer) {
                m_report.notWritten.append({QStringLiteral("every item"), QStringLiteral("no PDF writer")});
                return m_report;
            }
            m_pdf = std::make_unique<PdfFiles>(*m_directory, *m_request.printer,
                                               m_request.pdfPerFolder ? PdfFiles::Grouping::FilePerFolder
                                                                      : PdfFiles::Grouping::FilePerMail);
        }
        // One pass over the mail list, not one per folder: with thousands of folders
        // the passes would cost more than the writing.
        for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
            if (filtered && !m_request.filter->matches(*mail, *m_request.olm))
                continue;
            const qint64 parentId = mail->ParentId; // a copy: the packed field is not aligned
            m_mailsOf[parentId].append(mail);
        }
        for (const SaveFolder &folder : folders) {
            const ItemKind kind = kindOf(folder.type);
            const qint64 items = itemsIn(folder);
            m_kindTotals[size_t(kind)] += items;
            m_progress.total += items;
        }
        m_report.itemsToWrite = m_progress.total;
        if (m_hooks.started)
            m_hooks.started(m_progress.total);
        for (const SaveFolder &folder : folders) {
            // After a stop the folders not reached are still listed: the report names what is missing.
            if (folder.type == RecoveredAttachmentsFolderType) {
                const qint64 filesBefore = m_report.recoveredAttachmentsWritten;
                if (!m_report.stopped)
                    saveRecoveredAttachments();
                const qint64 files = m_report.recoveredAttachmentsWritten - filesBefore;
                m_writtenPerFolder.append({folderLabel(folder.id), QStringLiteral("files"), files,
                                           m_report.stopped ? qint64(recoveredAttachments.size()) : files});
                continue;
            }
            const qint64 writtenBefore = m_report.writtenTotal();
            if (!m_report.stopped)
                saveFolder(folder);
            m_writtenPerFolder.append({folderLabel(folder.id), QLatin1String(itemKindName(kindOf(folder.type))),
                                       m_report.writtenTotal() - writtenBefore, itemsIn(folder)});
        }
        if (m_standard) {
            m_standard->finish();
            writeRescueReport();
        }
        return m_report;
    }

private:
    // The folder a kind other than mail is written under, as the report names it.
    QString folderLabel(qint64 folderId)
    {
        const QString label = m_labels.label(folderId);
        return label.isEmpty() ? QStringLiteral("(root)") : label;
    }
    // The folder a loss names: whole, for scripts that look for it.
    QString folderOf(const MailMLRC &mail) { return folderPathOf(mail.ParentId); }
    template <typename Record> QString folderOf(const Record &) { return QString(); }
    QString describe(const MailMLRC &mail) { return describeItem(mail, m_labels); }
    template <typename Record> QString describe(const Record &record) { return describeItem(record); }

    struct FolderWritten {
        QString folder;
        QString what; // "mails", "contacts", ..., "files"
        qint64 items;
        qint64 itemsInFolder; // written or not
    };

    void saveFolder(const SaveFolder &folder)
    {
            const ItemKind kind = kindOf(folder.type);
            m_kindDone[size_t(m_progress.kind)] = m_progress.kindDone;
            m_progress.kind = kind;
            m_progress.kindDone = m_kindDone[size_t(kind)];
            m_progress.kindTotal = m_kindTotals[size_t(kind)];
            m_progress.folder = kind == ItemKind::Mail ? m_labels.label(folder.id) : folderLabel(folder.id);
            if (m_progress.folder.isEmpty())
                m_progress.folder = QLatin1String(kFolderWithoutPathName);
            reportProgress();
            switch (kindOf(folder.type)) {
            case ItemKind::Mail: saveMailFolder(folder.id); break;
            case ItemKind::Contact:
                saveItems(TmpCTRCPtrStart, ItemKind::Contact, "Saving Contacts Folders...", kContactsDirectory,
                          kVCardFileType, vCardFor);
                saveContactGroups(folder);
                break;
            case ItemKind::Event:
                saveItems(TmpCLRCPtrStart, ItemKind::Event, "Saving Calender Folders...", kCalendarDirectory,
                          kICalendarFileType, eventCalendarFor);
                break;
            case ItemKind::Task:
                saveItems(TmpTSRCPtrStart, ItemKind::Task, "Saving Tasks Folders...", kTasksDirectory,
                          kICalendarFileType, taskCalendarFor);
                break;
            case ItemKind::Note:
                saveItems(TmpNTRCPtrStart, ItemKind::Note, "Saving Notes Folders...", kNotesDirectory,
                          kICalendarFileType, noteCalendarFor);
                break;
            }
    }

    // Per folder the items written, then every loss of the scan and of this save.
    void writeRescueReport()
    {
        QString text = QStringLiteral("Rescue report\n\n");
        if (m_report.stopped)
            text += stoppedSaveText();
        if (m_request.filter && !m_request.filter->isEmpty())
            text += QStringLiteral("Only the mails %1\n\n").arg(visibleText(m_request.filter->description()));
        text += QStringLiteral("Items written, per folder:\n");
        for (const FolderWritten &folder : m_writtenPerFolder)
            text += folderCountLine(folder.folder, folder.items, folder.what);
        if (m_report.stopped) {
            text += QStringLiteral("\nNot written because the save was stopped, per folder:\n");
            for (const FolderWritten &folder : m_writtenPerFolder)
                if (folder.itemsInFolder > folder.items)
                    text += folderCountLine(folder.folder, folder.itemsInFolder - folder.items, folder.what);
        }
        QStringList lines;
        for (const QVector<Loss> *losses : {&m_scanLosses, &m_report.losses})
            for (const Loss &loss : *losses)
                if (!loss.standardFilesKeepIt) // the standard files hold these whole
                    lines << QStringLiteral("  ") + visibleText(lossLogLine(loss)) + QLatin1Char('\n');
        text += QStringLiteral("\nLosses (%1):\n").arg(lines.size());
        if (!lines.isEmpty())
            text += lines.join(QString());
        else if (m_report.stopped)
            text += QStringLiteral("  none besides what the stop left unwritten\n");
        else
            text += QStringLiteral("  none: everything the scan found was written\n");
        if (recordedLosses().size() >= kLossEntriesKept)
            text += QStringLiteral("  (only the first %1 losses are listed; %2 in all)\n").arg(kLossEntriesKept).arg(lossTotal());
        OutputFile file;
        const QByteArray bytes = text.toUtf8();
        if (!file.openIn(*m_directory, QLatin1String(kRescueReportName), OutputFile::Creation::New))
            notWritten(QStringLiteral("the rescue report"),
                       QStringLiteral("cannot create %1: %2").arg(file.path(), file.errorString()));
        else if (file.write(bytes) != bytes.size() || !file.flush())
            notWritten(QStringLiteral("the rescue report"),
                       QStringLiteral("cannot write %1: %2").arg(file.path(), file.failure()));
    }

    qint64 itemsIn(const SaveFolder &folder) const
    {
        const ItemKind kind = kindOf(folder.type);
        return kind == ItemKind::Mail ? m_mailsOf.value(folder.id).size() : itemCountOf(kind);
    }

    static QString folderCountLine(const QString &folder, qint64 items, const QString &what)
    {
        return QStringLiteral("  %1: %2 %3\n").arg(visibleText(folder)).arg(items).arg(what);
    }

    QString stoppedSaveText() const
    {
        qint64 items = 0;
        for (const FolderWritten &folder : m_writtenPerFolder)
            items += folder.itemsInFolder;
        return QStringLiteral("The save was stopped before it ended: %1 of %2 items were not written (listed below).\n\n")
            .arg(items - m_report.writtenTotal())
            .arg(items);
    }

    bool stopRequested()
    {
        if (m_hooks.stopRequested && m_hooks.stopRequested())
            m_report.stopped = true;
        return m_report.stopped;
    }
    void caption(const char *text)
    {
        if (m_hooks.caption)
            m_hooks.caption(QLatin1String(text));
    }
    void log(const QString &line)
    {
        if (m_hooks.log)
            m_hooks.log(line);
    }
    void notWritten(const QString &item, const QString &reason, const QString &folder = QString())
    {
        m_report.notWritten.append({item, reason});
        log(QStringLiteral("Not written: ") + m_report.notWritten.last().line());
        saveLoss({LossReason::NotWritten, QString(), item, folder, QString(), reason});
    }
    // Written, but without part of it.
    void writtenIncomplete(const QString &item, const QString &problem, const QString &folder)
    {
        const QString line = item + QLatin1String(": ") + problem;
        m_report.incomplete.append(line);
        log(line);
        saveLoss({LossReason::AttachmentCut, QString(), item, folder, QString(), problem});
    }
    void saveLoss(Loss loss)
    {
        loss.duringSave = true;
        recordLoss(loss);
        m_report.losses.append(loss);
    }
    void itemDone()
    {
        if (m_hooks.itemDone)
            m_hooks.itemDone();
        ++m_progress.done;
        ++m_progress.kindDone;
        reportProgress();
    }
    void reportProgress()
    {
        if (m_hooks.progress)
            m_hooks.progress(m_progress);
    }

    void saveMailFolder(qint64 folderId)
    {
        caption("Saving Mail Folders...");
        const QVector<const MailMLRC *> mails = m_mailsOf.value(folderId);
        if (mails.isEmpty()) {
            keepEmptyFolder(folderId);
            return;
        }
        // Once per folder, not per mail: a deep folder's path is as long as its depth.
        const QString mailPath = filePerMail() ? m_mailboxes.directoryOf(folderId) : m_mailboxes.relativePath(folderId);
        bool named = false;
        const bool oneDocument = m_pdf && !filePerMail();
        QVector<const MailMLRC *> inDocument; // the mails the folder's one document holds
        for (const MailMLRC *mail : mails) {
            if (stopRequested())
                break;
            if (!named && m_mailboxes.isRenamed(folderId))
                folderRenamed(folderId, mailPath);
            named = true;
            const qint64 writtenBefore = m_report.written[size_t(ItemKind::Mail)];
            saveMail(*mail, mailPath);
            if (oneDocument && m_report.written[size_t(ItemKind::Mail)] > writtenBefore)
                inDocument.append(mail);
            itemDone();
        }
        m_mailbox.reset();
        if (oneDocument)
            endPdfFolder(inDocument);
    }

    // The folder's one PDF document is written once all its mails are known; if it
    // cannot be, none of them is written after all.
    void endPdfFolder(const QVector<const MailMLRC *> &inDocument)
    {
        QString reason;
        MailProblems problems;
        if (!m_pdf->endFolder(&reason, &problems)) {
            for (const MailMLRC *mail : inDocument) {
                --m_report.written[size_t(ItemKind::Mail)];
                notWritten(describe(*mail), reason, folderOf(*mail));
            }
            return;
        }
        for (const auto &lacking : problems)
            for (const QString &problem : lacking.second)
                writtenIncomplete(describe(*lacking.first), problem, folderOf(*lacking.first));
    }

    // Whether every mail goes into a file of its own, in a directory for its folder.
    bool filePerMail() const
    {
        return m_eml || (m_pdf && m_pdf->grouping() == PdfFiles::Grouping::FilePerMail);
    }

    // A folder without mail or folders of its own is kept as an empty mbox, so the tree
    // arrives whole. Folders that hold folders need no mbox of their own.
    // A folder that a filter emptied is not kept: it holds mails, only none that were asked for.
    void keepEmptyFolder(qint64 folderId)
    {
        if (!m_standard || folderId == kFolderWithoutPathId || m_mailboxes.holdsFolders(folderId)
            || (m_request.filter && !m_request.filter->isEmpty()))
            return;
        QString reason;
        const bool kept = m_eml || m_pdf ? m_directory->makePath(QLatin1String(kMailDirectory) + QLatin1Char('/')
                                                            + m_mailboxes.directoryOf(folderId),
                                                        &reason)
                                : m_standard->addEmptyMailbox(m_mailboxes.relativePath(folderId), &reason);
        if (!kept)
            notWritten(QStringLiteral("the empty folder \"%1\"").arg(folderPathOf(folderId)), reason,
                       folderPathOf(folderId));
    }

    // A folder whose name a file system cannot keep, or would not tell from another
    // folder's, is written under another name; the account of losses says which.
    // mailPath: below Mail, the folder's mbox or, for EML, its directory.
    void folderRenamed(qint64 folderId, const QString &mailPath)
    {
        const QString path = folderPathOf(folderId);
        // Whole: it says where the folder's mails are.
        const QString written = QLatin1String(kMailDirectory) + QLatin1Char('/') + mailPath;
        const QString why = QStringLiteral("its mails are in %1, since its own name cannot be a file name or is "
                                           "another folder's there").arg(written);
        saveLoss(Loss{LossReason::FolderPathLost, QStringLiteral("folder"), path, path, QString(), why});
        log(QStringLiteral("Folder \"%1\": %2").arg(path, why));
    }

    // Every attachment entry the scan kept without its mail, as a file named from its
    // entry path below the folder, in both formats: its bytes as the file holds them.
    void saveRecoveredAttachments()
    {
        caption("Saving Recovered Attachments...");
        for (const AttachmentEntry &entry : recoveredAttachments) {
            if (stopRequested())
                return;
            QStringList parts{QLatin1String(kRecoveredAttachmentsName)};
            for (const QString &part : recoveredAttachmentPathParts(entry.entryName))
                parts << fileNameFor(part);
            if (parts.size() == 1)
                parts << QStringLiteral("attachment at %1").arg(entry.offset);
            const QString item = QStringLiteral("attachment %1").arg(visibleText(entry.entryName));
            const QByteArray bytes = m_request.olm->read(entry.offset, entry.size);
            OutputFile file;
            if (!file.openIn(*m_directory, parts.join(QLatin1Char('/')), OutputFile::Creation::New,
                             QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                notWritten(item, QStringLiteral("cannot create %1: %2").arg(file.path(), file.errorString()));
                continue;
            }
            if (file.write(bytes) != bytes.size() || !file.flush()) {
                const QString reason = file.failure();
                file.discard();
                notWritten(item, QStringLiteral("cannot write %1: %2").arg(file.path(), reason));
                continue;
            }
            if (bytes.size() < entry.size)
                writtenIncomplete(item, QStringLiteral("%1 of %2 bytes in the file").arg(bytes.size()).arg(entry.size),
                                  QLatin1String(kRecoveredAttachmentsName));
            ++m_report.recoveredAttachmentsWritten;
        }
    }

    // Appends one message; a message that could not be written whole is cut off
    // again, so the mbox file only ever holds whole messages.
    void saveMail(const MailMLRC &mail, const QString &mailPath)
    {
        if (m_standard) {
            saveStandard(mail, ItemKind::Mail, [&](QStringList *problems, QString *reason) {
                if (m_pdf)
                    return m_pdf->addMail(mail, mailPath, *m_request.olm, problems, reason);
                return m_eml ? m_eml->addMail(mail, mailPath, *m_request.olm, problems, reason)
                             : m_standard->addMail(mail, mailPath, *m_request.olm, problems, reason);
            });
            return;
        }
        const QString relativePath = QLatin1String(kMailDirectory) + QLatin1Char('/') + mailPath;
        if (!m_mailbox || m_mailboxPath != relativePath) {
            m_mailbox.reset();
            if (!openMailbox(relativePath, mail))
                return;
        }
        OutputFile &file = *m_mailbox;
        const QString path = file.path();
        // Opened for appending, the file's position is its size.
        const qint64 before = file.pos();
        QStringList problems;
        const quint32 innerNumber = QRandomGenerator::system()->bounded(quint32(RAND_MAX));
        if (!writeMboxMessage(file, mail, detailsOf(&mail), *m_request.olm, innerNumber, &problems) || !file.flush()) {
            const QString reason = file.failure();
            if (!file.resize(before))
                log(QStringLiteral("%1 could not be cut back to its last whole message").arg(shortenedForDisplay(path)));
            m_mailbox.reset(); // the next mail opens it afresh, without this failure's state
            notWritten(describe(mail), QStringLiteral("cannot write %1: %2").arg(shortenedForDisplay(path), reason));
            return;
        }
        for (const QString &problem : problems)
            writtenIncomplete(describe(mail), problem, folderOf(mail));
        ++m_report.written[size_t(ItemKind::Mail)];
    }

    // A folder's mbox is made when its first mail comes; after a failed write it is
    // opened again for the folder's next mail.
    bool openMailbox(const QString &relativePath, const MailMLRC &mail)
    {
        const bool isNew = relativePath != m_mailboxPath;
        auto file = std::make_unique<OutputFile>();
        // Unbuffered: a failed write must not leave bytes in a buffer that closing would still write.
        if (!file->openIn(*m_directory, relativePath, isNew ? OutputFile::Creation::New : OutputFile::Creation::Again,
                          QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            notWritten(describe(mail), QStringLiteral("cannot open %1: %2")
                                           .arg(shortenedForDisplay(file->path()), file->errorString()));
            return false;
        }
        if (isNew)
            setFinderInfo(file->handle(), kMboxFileType, kBundleCreator);
        m_mailboxPath = relativePath;
        m_mailbox = std::move(file);
        return true;
    }

    template <typename Record, typename Converter>
    void saveItems(const Record *head, ItemKind kind, const char *captionText, const char *directory,
                   quint32 fileType, Converter convert)
    {
        caption(captionText);
        for (const Record *record = head; record; record = record->Next) {
            if (stopRequested())
                return;
            saveItem(*record, kind, directory, fileType, convert);
            itemDone();
        }
    }

    template <typename Record, typename Converter>
    void saveItem(const Record &record, ItemKind kind, const char *directory, quint32 fileType, Converter convert)
    {
        if (m_standard) {
            saveStandard(record, kind, [&](QStringList *, QString *reason) {
                return m_standard->add(record, *m_request.olm, reason);
            });
            return;
        }
        const QString name = itemFileName(QByteArray(record.Identifier, int(qstrnlen(record.Identifier, sizeof record.Identifier))));
        if (name.isEmpty()) {
            notWritten(describe(record), QStringLiteral("it has no identifier to name its file"));
            return;
        }
        const QByteArray bytes = convert(record, *m_request.olm);
        if (bytes.isEmpty()) {
            notWritten(describe(record), QStringLiteral("it could not be converted"));
            return;
        }
        noteLeftOutOfBundle(record);
        OutputFile file;
        // Never over another item's file: two items of one name would otherwise count as two written.
        if (!file.openIn(*m_directory, QLatin1String(directory) + QLatin1Char('/') + name, OutputFile::Creation::New,
                         QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            notWritten(describe(record), QStringLiteral("cannot create %1: %2").arg(file.path(), file.errorString()));
            return;
        }
        setFinderInfo(file.handle(), fileType, kBundleCreator);
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const QString reason = file.failure();
            file.discard();
            notWritten(describe(record), QStringLiteral("cannot write %1: %2").arg(file.path(), reason));
            return;
        }
        ++m_report.written[size_t(kind)];
    }

    // What the bundle's file of an item leaves out; the standard files keep it.
    void noteLeftOutOfBundle(const CalenderInformation &event)
    {
        if (event.DescriptionSize <= kLargestBundleDescription)
            return;
        Loss loss{LossReason::ValueTooLong, QStringLiteral("event"), utf8Field(event.Summary), QString(),
                  QStringLiteral("OPFCalendarEventCopyDescriptionPlain"),
                  QStringLiteral("a description of %1 bytes is longer than the %2 the bundle's file takes: left out")
                      .arg(event.DescriptionSize)
                      .arg(kLargestBundleDescription)};
        loss.standardFilesKeepIt = true;
        saveLoss(loss);
    }
    template <typename Record> void noteLeftOutOfBundle(const Record &) {}

    // The bundle has no form for groups; the standard files keep them after the contacts.
    void saveContactGroups(const SaveFolder &folder)
    {
        QString reason;
        if (m_standard && !m_standard->addContactGroups(contactGroups(), &reason))
            notWritten(QStringLiteral("the contact groups"), reason, folderLabel(folder.id));
        if (!m_standard)
            for (const ContactGroup &group : contactGroups())
                saveLoss({LossReason::NotWritten, QStringLiteral("contact group"), group.name, folderLabel(folder.id),
                          QString(), QStringLiteral("the bundle has no form for contact groups; the standard files keep them")});
    }

    // One item into the standard files, whole or not at all. The item is described
    // only when there is something to say of it.
    template <typename Record, typename Write>
    void saveStandard(const Record &record, ItemKind kind, Write write)
    {
        QStringList problems;
        QString reason;
        if (!write(&problems, &reason)) {
            notWritten(describe(record), reason, folderOf(record));
            return;
        }
        for (const QString &problem : problems)
            writtenIncomplete(describe(record), problem, folderOf(record));
        for (const QString &note : m_standard->takeIdentifierNotes()) {
            log(describe(record) + QLatin1String(": ") + note);
            saveLoss({LossReason::ValueUnreadable, QString(), describe(record), QString(), QStringLiteral("UID"), note});
        }
        ++m_report.written[size_t(kind)];
    }

    const SaveRequest &m_request;
    const SaveHooks &m_hooks;
    SaveReport m_report;
    const OutputDirectory *m_directory = nullptr; // where everything is created: the request's or m_ownDirectory
    OutputDirectory m_ownDirectory;
    QString m_mailboxPath;                 // the mbox made last, relative to the bundle
    std::unique_ptr<OutputFile> m_mailbox; // the mbox a folder's mails go to, open while they do
    const MailboxPaths m_mailboxes; // the mbox of every mail folder, one each
    FolderLabels m_labels;          // folder paths as the report and the messages show them
    QHash<qint64, QVector<const MailMLRC *>> m_mailsOf; // the mails of each folder, in list order
    std::unique_ptr<StandardFiles> m_standard; // set when saving the standard format or EML
    std::unique_ptr<EmlFiles> m_eml;           // set when saving EML
    std::unique_ptr<PdfFiles> m_pdf;           // set when saving PDF
    QVector<Loss> m_scanLosses;
    QVector<FolderWritten> m_writtenPerFolder;
    SaveProgress m_progress;
    std::array<qint64, kItemKindCount> m_kindTotals{}, m_kindDone{};
};

} // namespace

QVector<qint64> mailFolderIds(const QVector<SaveFolder> &folders)
{
    QVector<qint64> ids;
    for (const SaveFolder &folder : distinctFolders(folders))
        if (kindOf(folder.type) == ItemKind::Mail && folder.type != RecoveredAttachmentsFolderType)
            ids.append(folder.id);
    return ids;
}

bool includesKind(const QVector<SaveFolder> &folders, ItemKind kind)
{
    for (const SaveFolder &folder : folders)
        if (kindOf(folder.type) == kind)
            return true;
    return false;
}

qint64 countItemsToSave(const QVector<SaveFolder> &folders)
{
    const QVector<SaveFolder> distinct = distinctFolders(folders);
    const QHash<qint64, qint64> mails = mailsPerFolder();
    qint64 total = 0;
    for (const SaveFolder &folder : distinct) {
        const ItemKind kind = kindOf(folder.type);
        total += kind == ItemKind::Mail ? mails.value(folder.id) : itemCountOf(kind);
    }
    return total;
}

QString filesOutputPath(BundleFormat format, const QString &destination, const QString &olmPath)
{
    switch (format) {
    case BundleFormat::Eml: return emlOutputPath(destination, olmPath);
    case BundleFormat::Pdf: return pdfOutputPath(destination, olmPath);
    default: return standardOutputPath(destination, olmPath);
    }
}

SaveReport saveBundle(const SaveRequest &request, const SaveHooks &hooks)
{
    if (!request.olm) {
        SaveReport report;
        report.notWritten.append({QStringLiteral("every item"), QStringLiteral("no .olm file to read the items from")});
        return report;
    }
    return BundleSaver(request, hooks).run();
}
