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

QJsonArray mailItems()
{
    QJsonArray mails;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        QJsonObject item;
        item["folder"] = fieldText(mail->FolderPath, FieldEncoding::Utf8);
        item["subject"] = fieldText(mail->Subject, FieldEncoding::Utf8);
        item["from"] = fieldText(mail->FromAddress, FieldEncoding::Latin1);
        item["fromName"] = fieldText(mail->FromName, FieldEncoding::Latin1);
        item["to"] = fieldText(mail->ToAddresses, FieldEncoding::Latin1);
        item["cc"] = fieldText(mail->CcAddresses, FieldEncoding::Latin1);
        item["sent"] = fieldText(mail->SentTime, FieldEncoding::Latin1);
        item["received"] = fieldText(mail->ReceivedTime, FieldEncoding::Latin1);
        item["messageId"] = fieldText(mail->MessageId, FieldEncoding::Latin1);
        item["attachments"] = joinedList(ownedText(mail->AttachNames, FieldEncoding::Utf8));
        item["attachmentSizes"] = joinedList(ownedText(mail->AttachSizes, FieldEncoding::Latin1));
        item["bodySize"] = double(mail->BodySize);
        item["parentId"] = double(mail->ParentId);
        mails.append(item);
    }
    return mails;
}

QJsonArray contactItems()
{
    QJsonArray contacts;
    for (const ContactInformation *contact = TmpCTRCPtrStart; contact; contact = contact->Next) {
        QJsonObject item;
        item["firstName"] = fieldText(contact->FirstName, FieldEncoding::Utf8);
        item["lastName"] = fieldText(contact->LastName, FieldEncoding::Utf8);
        QJsonArray emails;
        for (const auto &slot : contact->EmailAddresses)
            if (slot[0])
                emails.append(fieldText(slot, FieldEncoding::Utf8));
        item["emails"] = emails;
        item["company"] = fieldText(contact->Company, FieldEncoding::Utf8);
        item["birthday"] = fieldText(contact->Birthday, FieldEncoding::Latin1);
        contacts.append(item);
    }
    return contacts;
}

QJsonArray calendarItems()
{
    QJsonArray events;
    for (const CalenderInformation *event = TmpCLRCPtrStart; event; event = event->Next) {
        QJsonObject item;
        item["summary"] = fieldText(event->Summary, FieldEncoding::Utf8);
        item["location"] = fieldText(event->Location, FieldEncoding::Utf8);
        item["start"] = fieldText(event->Start, FieldEncoding::Latin1);
        item["end"] = fieldText(event->End, FieldEncoding::Latin1);
        item["attendees"] = joinedList(fieldText(event->AttendeeAddresses, FieldEncoding::Latin1));
        events.append(item);
    }
    return events;
}

QJsonArray taskItems()
{
    QJsonArray tasks;
    for (const TasksInformation *task = TmpTSRCPtrStart; task; task = task->Next) {
        QJsonObject item;
        item["name"] = fieldText(task->Name, FieldEncoding::Utf8);
        item["start"] = fieldText(task->StartStamp, FieldEncoding::Latin1);
        item["due"] = fieldText(task->DueStamp, FieldEncoding::Latin1);
        item["priority"] = fieldText(task->Priority, FieldEncoding::Latin1);
        tasks.append(item);
    }
    return tasks;
}

QJsonArray noteItems()
{
    QJsonArray notes;
    for (const NotesInformation *note = TmpNTRCPtrStart; note; note = note->Next) {
        QJsonObject item;
        item["title"] = fieldText(note->Title, FieldEncoding::Utf8);
        item["textSize"] = double(note->NotesSize);
        notes.append(item);
    }
    return notes;
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
        items["mails"] = mailItems();
        items["contacts"] = contactItems();
        items["calendars"] = calendarItems();
        items["tasks"] = taskItems();
        items["notes"] = noteItems();
        report["items"] = items;
    }
    return report;
}
