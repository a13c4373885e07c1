#include "olm/FolderModel.h"

#include "olm/RecoveredAttachments.h"

#include <QStringList>

const SpecialFolder kSpecialFolders[8] = {
    {"Deleted Items", ":/images/img_DeletedFolderIcon.png", MailFolderType},
    {"Sent Items", ":/images/img_SentFolderIcon.png", MailFolderType},
    {"Drafts", ":/images/img_DraftsFolderIcon.png", MailFolderType},
    {"Inbox", ":/images/img_InboxFolderIcon.png", MailFolderType},
    {"Contacts", ":/images/img_AddressBookIcon.png", ContactsFolderType},
    {"Calendars", ":/images/img_CalendarIcon.png", CalendarFolderType},
    {"Tasks", ":/images/img_TaskIcon.png", TasksFolderType},
    {"Notes", ":/images/img_NotesIcon.png", NotesFolderType},
};
const char kPlainFolderIcon[] = ":/images/img_Folder.png";
const char kFolderWithoutPathName[] = "Folder1";

const SpecialFolder *specialFolderOf(qint64 id)
{
    if (objMapFID_PID.value(id) != llRootId)
        return nullptr;
    // A folder is of an item kind because the kind's items are in it, never by its name
    // alone: a mail folder called "Notes" is a mail folder.
    const bool kindFolder = isKindFolder(id);
    const QString name = objMapFID_Name.value(id);
    for (const SpecialFolder &special : kSpecialFolders) {
        if (name == QLatin1String(special.name) && kindFolder == (special.type != MailFolderType))
            return &special;
    }
    return nullptr;
}

FolderType folderTypeOf(qint64 id)
{
    const SpecialFolder *special = specialFolderOf(id);
    return special ? special->type : MailFolderType;
}

void buildFolderAttributeList()
{
    freeFolderAttributes();
    appendFolderAttribute(0, llRootId, MailFolderType);
    // Parents have smaller ids than their children, so ascending order meets every parent first.
    for (auto it = objMapFID_PID.constBegin(); it != objMapFID_PID.constEnd(); ++it)
        appendFolderAttribute(it.value(), it.key(), folderTypeOf(it.key()));
    appendFolderAttribute(llRootId, kFolderWithoutPathId, MailFolderType);
    if (!recoveredAttachments.isEmpty())
        appendFolderAttribute(llRootId, kRecoveredAttachmentsId, RecoveredAttachmentsFolderType);
}

FolderAttribute *folderAttributeOf(qint64 id)
{
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next) {
        if (record->folderId == id)
            return record;
    }
    return nullptr;
}

QString folderPathOf(qint64 id)
{
    if (id == kFolderWithoutPathId)
        return QLatin1String(kFolderWithoutPathName);
    if (id == kRecoveredAttachmentsId)
        return QLatin1String(kRecoveredAttachmentsName);
    QStringList names;
    // Bounded by the folder count, so a broken parent chain cannot loop.
    qint64 at = id;
    for (int steps = 0; at != llRootId && objMapFID_Name.contains(at) && steps <= objMapFID_Name.size(); ++steps) {
        names.prepend(objMapFID_Name.value(at));
        at = objMapFID_PID.value(at);
    }
    return names.join(QLatin1Char('/'));
}

QVector<qint64> folderIdsForPath(const QString &path)
{
    if (path == QLatin1String(kFolderWithoutPathName))
        return {kFolderWithoutPathId};
    QVector<qint64> ids;
    if (path == QLatin1String(kRecoveredAttachmentsName) && !recoveredAttachments.isEmpty())
        ids.append(kRecoveredAttachmentsId);
    for (const SpecialFolder &special : kSpecialFolders) {
        if (special.type != MailFolderType && path == QLatin1String(special.name) && kindFolderId(special.type) >= 0)
            ids.append(kindFolderId(special.type));
    }
    if (path.isEmpty())
        return ids;
    qint64 at = llRootId;
    for (const QString &name : path.split(QLatin1Char('/'))) {
        if (!GetParentId(name, at, &at))
            return ids;
    }
    ids.append(at);
    return ids;
}

qint64 folderIdForPath(const QString &path)
{
    const QVector<qint64> ids = folderIdsForPath(path);
    return ids.isEmpty() ? -1 : ids.first();
}
