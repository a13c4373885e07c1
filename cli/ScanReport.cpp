#include "cli/ScanReport.h"

#include "olm/FolderHierarchy.h"
#include "parsers/ElementText.h"
#include "parsers/RecordLists.h"

#include <QJsonArray>
#include <QStringList>
#include <cstring>

namespace {

struct FolderRow {
    QString path;
    qint64 id;
    qint32 type;
    qint64 items;
};

template <int Width>
QString fieldText(const char (&field)[Width], FieldEncoding encoding)
{
    const int length = int(strnlen(field, Width));
    return encoding == FieldEncoding::Utf8 ? QString::fromUtf8(field, length)
                                           : QString::fromLatin1(field, length);
}

QString ownedText(const char *text, FieldEncoding encoding)
{
    if (!text)
        return QString();
    return encoding == FieldEncoding::Utf8 ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

// "a;b;" as the list a, b.
QJsonArray joinedList(const QString &joined)
{
    QJsonArray values;
    QStringList parts = joined.split(QLatin1Char(';'));
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    for (const QString &part : parts)
        values.append(part);
    return values;
}

qint32 folderType(qint64 id)
{
    if (objMapFID_PID.value(id) != llRootId)
        return MailFolderType;
    const QString name = objMapFID_Name.value(id);
    if (name == QLatin1String("Contacts")) return ContactsFolderType;
    if (name == QLatin1String("Calendars")) return CalendarFolderType;
    if (name == QLatin1String("Tasks")) return TasksFolderType;
    if (name == QLatin1String("Notes")) return NotesFolderType;
    return MailFolderType;
}

QString folderPath(qint64 id)
{
    QStringList names;
    for (qint64 at = id; at != llRootId && objMapFID_Name.contains(at); at = objMapFID_PID.value(at))
        names.prepend(objMapFID_Name.value(at));
    return names.join(QLatin1Char('/'));
}

QList<FolderRow> folderRows()
{
    QMap<qint64, qint64> mailsPerFolder;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        const qint64 parentId = mail->ParentId; // a packed field is not bound to a reference
        ++mailsPerFolder[parentId];
    }
    QList<FolderRow> rows;
    for (auto it = objMapFID_PID.cbegin(); it != objMapFID_PID.cend(); ++it) {
        const qint64 id = it.key();
        const qint32 type = folderType(id);
        qint64 items = mailsPerFolder.value(id);
        switch (type) {
        case ContactsFolderType: items += ContactItemCount; break;
        case CalendarFolderType: items += CalendarItemCount; break;
        case TasksFolderType: items += TaskItemCount; break;
        case NotesFolderType: items += NotesItemCount; break;
        default: break;
        }
        rows.append({folderPath(id), id, type, items});
    }
    rows.append({QStringLiteral("Folder1"), kFolderWithoutPathId, MailFolderType,
                 mailsPerFolder.value(kFolderWithoutPathId)});
    return rows;
}

template <int Width> QString utf8(const char (&field)[Width]) { return fieldText(field, FieldEncoding::Utf8); }
template <int Width> QString latin1(const char (&field)[Width]) { return fieldText(field, FieldEncoding::Latin1); }

QJsonObject describe(const MailMLRC &mail)
{
    return {{"folder", utf8(mail.FolderPath)},
            {"subject", utf8(mail.Subject)},
            {"from", latin1(mail.FromAddress)},
            {"fromName", latin1(mail.FromName)},
            {"to", latin1(mail.ToAddresses)},
            {"cc", latin1(mail.CcAddresses)},
            {"sent", latin1(mail.SentTime)},
            {"received", latin1(mail.ReceivedTime)},
            {"messageId", latin1(mail.MessageId)},
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
            emails.append(utf8(slot));
    return {{"firstName", utf8(contact.FirstName)},
            {"lastName", utf8(contact.LastName)},
            {"emails", emails},
            {"company", utf8(contact.Company)},
            {"birthday", latin1(contact.Birthday)}};
}

QJsonObject describe(const CalenderInformation &event)
{
    return {{"summary", utf8(event.Summary)},
            {"location", utf8(event.Location)},
            {"start", latin1(event.Start)},
            {"end", latin1(event.End)},
            {"attendees", joinedList(latin1(event.AttendeeAddresses))}};
}

QJsonObject describe(const TasksInformation &task)
{
    return {{"name", utf8(task.Name)},
            {"start", latin1(task.StartStamp)},
            {"due", latin1(task.DueStamp)},
            {"priority", latin1(task.Priority)}};
}

QJsonObject describe(const NotesInformation &note)
{
    return {{"title", utf8(note.Title)}, {"textSize", double(note.NotesSize)}};
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
    text += QStringLiteral("Folders:\n");
    for (const FolderRow &row : folderRows())
        text += QStringLiteral("  %1  (id %2, %3 items)\n").arg(row.path).arg(row.id).arg(row.items);
    return text;
}

QJsonObject scanSummaryJson(const DispatchCounts &dispatched, bool withItems)
{
    QJsonObject counts;
    counts["mails"] = double(MailItemCount);
    counts["contacts"] = double(ContactItemCount);
    counts["calendars"] = double(CalendarItemCount);
    counts["tasks"] = double(TaskItemCount);
    counts["notes"] = double(NotesItemCount);
    QJsonObject documents;
    for (const auto &entry : kDocumentKeys)
        documents[QLatin1String(entry.key)] = double(dispatched.perKind.value(entry.kind));
    QJsonArray folders;
    for (const FolderRow &row : folderRows()) {
        QJsonObject folder;
        folder["path"] = row.path;
        folder["id"] = double(row.id);
        folder["type"] = row.type;
        folder["items"] = double(row.items);
        folders.append(folder);
    }
    QJsonObject report;
    report["counts"] = counts;
    report["documents"] = documents;
    report["folders"] = folders;
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
