#include "cli/ScanReport.h"

#include "archive/VisibleText.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"
#include "parsers/RecordText.h"
#include "parsers/RecordLists.h"

#include <QHash>
#include <QJsonArray>
#include <QStringList>
#include <cstring>

namespace {

struct FolderRow {
    QString path; // null where the report leaves it out
    QString name;
    qint64 id;
    qint64 parent;
    qint32 type;
    qint64 items;
};

// Full paths are given for folders this shallow and for folders holding items:
// every folder's full path would make the report grow with the square of a deep path.
constexpr int kFullPathDepth = 64;

// "a;b;" as the list a, b.
QJsonArray joinedList(const QString &joined)
{
    return QJsonArray::fromStringList(joinedListValues(joined));
}

QList<FolderRow> folderRows()
{
    QMap<qint64, qint64> mailsPerFolder;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        const qint64 parentId = mail->ParentId; // a packed field is not bound to a reference
        ++mailsPerFolder[parentId];
    }
    QList<FolderRow> rows;
    // Parents have smaller ids, so ascending order meets every parent first.
    QHash<qint64, int> depthOf;
    for (auto it = objMapFID_PID.cbegin(); it != objMapFID_PID.cend(); ++it) {
        const qint64 id = it.key();
        const int depth = depthOf.value(it.value()) + 1;
        depthOf.insert(id, depth);
        const qint32 type = folderTypeOf(id);
        qint64 items = mailsPerFolder.value(id);
        switch (type) {
        case ContactsFolderType: items += ContactItemCount; break;
        case CalendarFolderType: items += CalendarItemCount; break;
        case TasksFolderType: items += TaskItemCount; break;
        case NotesFolderType: items += NotesItemCount; break;
        default: break;
        }
        const QString path = depth <= kFullPathDepth || items > 0 ? folderPathOf(id) : QString();
        rows.append({path, objMapFID_Name.value(id), id, it.value(), type, items});
    }
    rows.append({folderPathOf(kFolderWithoutPathId), QLatin1String(kFolderWithoutPathName), kFolderWithoutPathId,
                 llRootId, MailFolderType, mailsPerFolder.value(kFolderWithoutPathId)});
    if (!recoveredAttachments.isEmpty())
        rows.append({folderPathOf(kRecoveredAttachmentsId), QLatin1String(kRecoveredAttachmentsName),
                     kRecoveredAttachmentsId, llRootId, RecoveredAttachmentsFolderType, recoveredAttachments.size()});
    return rows;
}


QJsonObject describe(const MailMLRC &mail)
{
    return {{"folder", utf8Field(mail.FolderPath)},
            {"subject", utf8Field(mail.Subject)},
            {"from", latin1Field(mail.FromAddress)},
            {"fromName", utf8Field(mail.FromName)},
            {"to", latin1Field(mail.ToAddresses)},
            {"cc", latin1Field(mail.CcAddresses)},
            {"sent", latin1Field(mail.SentTime)},
            {"received", latin1Field(mail.ReceivedTime)},
            {"messageId", latin1Field(mail.MessageId)},
            {"attachments", joinedList(ownedText(mail.AttachNames, FieldEncoding::Utf8))},
            {"attachmentSizes", joinedList(ownedText(mail.AttachSizes, FieldEncoding::Latin1))},
            {"bodySize", double(mail.BodySize)},
            {"parentId", double(mail.ParentId)}};
}

QJsonObject describe(const ContactInformation &contact)
{
    QJsonArray emails;
    for (const auto &slot : contact.EmailAddresses)
        if (slot[0])
            emails.append(utf8Field(slot));
    return {{"firstName", utf8Field(contact.FirstName)},
            {"lastName", utf8Field(contact.LastName)},
            {"emails", emails},
            {"company", utf8Field(contact.Company)},
            {"birthday", latin1Field(contact.Birthday)}};
}

QJsonObject describe(const CalenderInformation &event)
{
    return {{"summary", utf8Field(event.Summary)},
            {"location", utf8Field(event.Location)},
            {"start", latin1Field(event.Start)},
            {"end", latin1Field(event.End)},
            {"attendees", joinedList(latin1Field(event.AttendeeAddresses))}};
}

QJsonObject describe(const TasksInformation &task)
{
    return {{"name", utf8Field(task.Name)},
            {"start", latin1Field(task.StartStamp)},
            {"due", latin1Field(task.DueStamp)},
            {"priority", latin1Field(task.Priority)}};
}

QJsonObject describe(const NotesInformation &note)
{
    return {{"title", utf8Field(note.Title)}, {"textSize", double(note.NotesSize)}};
}

template <typename Record>
QJsonArray describeAll(const Record *head)
{
    QJsonArray items;
    for (const Record *record = head; record; record = record->Next)
        items.append(describe(*record));
    return items;
}

const struct {
    DocumentKind kind;
    const char *key;
} kDocumentKeys[] = {
    {DocumentKind::Mail, "mails"},         {DocumentKind::Contacts, "contacts"},
    {DocumentKind::Calendar, "calendars"}, {DocumentKind::Tasks, "tasks"},
    {DocumentKind::Notes, "notes"},        {DocumentKind::Attachment, "attachments"},
};

} // namespace

QString scanSummaryText(const DispatchCounts &dispatched)
{
    QString text;
    text += QStringLiteral("Mails: %1\n").arg(MailItemCount);
    text += QStringLiteral("Calendars: %1\n").arg(CalendarItemCount);
    text += QStringLiteral("Notes: %1\n").arg(NotesItemCount);
    text += QStringLiteral("Contacts: %1\n").arg(ContactItemCount);
    text += QStringLiteral("Tasks: %1\n").arg(TaskItemCount);
    QStringList documents;
    for (const auto &entry : kDocumentKeys)
        documents << QStringLiteral("%1 %2").arg(QLatin1String(entry.key)).arg(dispatched.perKind.value(entry.kind));
    text += QStringLiteral("Documents: %1\n").arg(documents.join(QStringLiteral(", ")));
    if (recordMemoryFull)
        text += QStringLiteral("Incomplete: the items found filled the memory set aside for them\n");
    const QString losses = lossCountsText();
    text += QStringLiteral("Losses: %1\n").arg(losses.isEmpty() ? QStringLiteral("none") : losses);
    text += QStringLiteral("Folders:\n");
    for (const FolderRow &row : folderRows())
        text += QStringLiteral("  %1  (id %2, %3 items)\n")
                    .arg(visibleText(row.path.isNull() ? QStringLiteral("…/%1 in %2").arg(row.name).arg(row.parent)
                                                       : row.path))
                    .arg(row.id)
                    .arg(row.items);
    return text;
}

QJsonObject itemCountsJson()
{
    QJsonObject counts;
    counts["mails"] = double(MailItemCount);
    counts["contacts"] = double(ContactItemCount);
    counts["calendars"] = double(CalendarItemCount);
    counts["tasks"] = double(TaskItemCount);
    counts["notes"] = double(NotesItemCount);
    return counts;
}

void addLossAccount(QJsonObject *report)
{
    (*report)["losses"] = lossEntriesJson();
    (*report)["lossCounts"] = lossCountsJson();
    (*report)["lossTotal"] = double(lossTotal());
}

QJsonObject scanSummaryJson(const DispatchCounts &dispatched, bool withItems)
{
    const QJsonObject counts = itemCountsJson();
    QJsonObject documents;
    for (const auto &entry : kDocumentKeys)
        documents[QLatin1String(entry.key)] = double(dispatched.perKind.value(entry.kind));
    QJsonArray folders;
    for (const FolderRow &row : folderRows()) {
        QJsonObject folder;
        if (!row.path.isNull())
            folder["path"] = row.path;
        folder["name"] = row.name;
        folder["id"] = double(row.id);
        folder["parent"] = double(row.parent);
        folder["type"] = row.type;
        folder["items"] = double(row.items);
        folders.append(folder);
    }
    QJsonObject report;
    report["counts"] = counts;
    report["documents"] = documents;
    report["folders"] = folders;
    report["recordBytes"] = double(recordMemoryInUse);
    report["incomplete"] = recordMemoryFull;
    addLossAccount(&report);
    if (withItems) {
        QJsonObject items;
        items["mails"] = describeAll(TmpMlrcPtrStart);
        items["contacts"] = describeAll(TmpCTRCPtrStart);
        items["calendars"] = describeAll(TmpCLRCPtrStart);
        items["tasks"] = describeAll(TmpTSRCPtrStart);
        items["notes"] = describeAll(TmpNTRCPtrStart);
        report["items"] = items;
    }
    return report;
}
