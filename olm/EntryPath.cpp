#include "olm/EntryPath.h"


namespace {
// The documents whose file names decide an entry's kind, the first that stands as a
// whole component of its path winning.
const struct {
    QLatin1String name;
    DocumentKind kind;
} kDocumentNames[] = {
    {QLatin1String("Categories.xml"), DocumentKind::Skipped}, {QLatin1String("Contacts.xml"), DocumentKind::Contacts},
    {QLatin1String("Calendar.xml"), DocumentKind::Calendar},  {QLatin1String("Tasks.xml"), DocumentKind::Tasks},
    {QLatin1String("Notes.xml"), DocumentKind::Notes},
};
constexpr int kDocumentNameCount = int(sizeof kDocumentNames / sizeof *kDocumentNames);

// Which of the names stand as components of the path, read without making a list of
// them: every entry of the container is classified. kDocumentNameCount when none does.
int firstDocumentName(const QString &path)
{
    int first = kDocumentNameCount;
    for (int start = 0;;) {
        const int separator = path.indexOf(QLatin1Char('/'), start);
        const int end = separator < 0 ? path.size() : separator;
        const QStringRef component = path.midRef(start, end - start);
        for (int i = 0; i < first; ++i)
            if (component == kDocumentNames[i].name)
                first = i;
        if (separator < 0)
            return first;
        start = separator + 1;
    }
}

// Where the nth separator stands (counted from 1); -1 when the path has fewer.
int separatorAt(const QString &path, int n)
{
    int at = -1;
    for (int i = 0; i < n; ++i) {
        at = path.indexOf(QLatin1Char('/'), at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}
} // namespace

QString messageFolderPath(const QString &entryPath)
{
    // Below the store: after "Accounts/account/store/" or "Local/store/", up to the file name.
    const int first = entryPath.indexOf(QLatin1Char('/'));
    const QStringRef root = entryPath.leftRef(first < 0 ? entryPath.size() : first);
    int storeEnd = -1;
    if (root == QLatin1String("Accounts"))
        storeEnd = separatorAt(entryPath, 3);
    else if (root == QLatin1String("Local"))
        storeEnd = separatorAt(entryPath, 2);
    if (storeEnd < 0)
        return QString();
    const int start = storeEnd + 1;
    const int length = entryPath.lastIndexOf(QLatin1Char('/')) - start;
    // A message directly below the store level yields its own file name.
    return entryPath.mid(start, length < 0 ? -1 : length);
}

EntryClass classifyEntry(const QString &entryPath)
{
    EntryClass result;
    const int document = firstDocumentName(entryPath);
    if (document < kDocumentNameCount) {
        result.kind = kDocumentNames[document].kind;
        return result;
    }
    const QStringRef fileName = entryPath.midRef(entryPath.lastIndexOf(QLatin1Char('/')) + 1);
    if (fileName.contains(QLatin1String("message_")) && fileName.contains(QLatin1String(".xml"))) {
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
