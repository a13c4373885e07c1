#include "olm/EntryPath.h"

#include <QStringList>

QString messageFolderPath(const QString &entryPath)
{
    const QStringList components = entryPath.split(QLatin1Char('/'));
    const int pathLength = entryPath.size();
    const int fileNameLength = components.last().size();
    int start = 0;
    int length = 0;
    if (components.first() == QLatin1String("Accounts") && components.size() >= 4) {
        start = components[0].size() + components[1].size() + components[2].size() + 3;
        length = pathLength - start - 1 - fileNameLength;
    } else if (components.first() == QLatin1String("Local") && components.size() >= 3) {
        start = components[0].size() + components[1].size() + 2;
        length = pathLength - components[0].size() - components[1].size() - fileNameLength - 3;
    } else {
        return QString();
    }
    // A message directly below the store level yields its own file name.
    return entryPath.mid(start, length < 0 ? -1 : length);
}

EntryClass classifyEntry(const QString &entryPath)
{
    const QStringList components = entryPath.split(QLatin1Char('/'));
    EntryClass result;
    if (components.contains(QLatin1String("Categories.xml")))
        result.kind = DocumentKind::Skipped;
    else if (components.contains(QLatin1String("Contacts.xml")))
        result.kind = DocumentKind::Contacts;
    else if (components.contains(QLatin1String("Calendar.xml")))
        result.kind = DocumentKind::Calendar;
    else if (components.contains(QLatin1String("Tasks.xml")))
        result.kind = DocumentKind::Tasks;
    else if (components.contains(QLatin1String("Notes.xml")))
        result.kind = DocumentKind::Notes;
    else if (components.last().contains(QLatin1String("message_"))
             && components.last().contains(QLatin1String(".xml"))) {
        result.kind = DocumentKind::Mail;
        result.folderPath = messageFolderPath(entryPath);
    }
    return result;
}

namespace {
struct ItemTags {
    DocumentKind kind;
    const char *name;
    const char *endTag;
};
const ItemTags kItemTags[] = {
    {DocumentKind::Mail, "email", "</email>"},
    {DocumentKind::Contacts, "contact", "</contact>"},
    {DocumentKind::Calendar, "appointment", "</appointment>"},
    {DocumentKind::Tasks, "task", "</task>"},
    {DocumentKind::Notes, "note", "</note>"},
};
const ItemTags *itemTagsOf(DocumentKind kind)
{
    for (const ItemTags &tags : kItemTags)
        if (tags.kind == kind)
            return &tags;
    return nullptr;
}
} // namespace

const char *itemName(DocumentKind kind)
{
    const ItemTags *tags = itemTagsOf(kind);
    return tags ? tags->name : nullptr;
}

const char *itemEndTag(DocumentKind kind)
{
    const ItemTags *tags = itemTagsOf(kind);
    return tags ? tags->endTag : nullptr;
}
