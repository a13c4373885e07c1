#pragma once
// What a container entry holds, judged by its path.
#include <QString>

enum class DocumentKind { Skipped, Mail, Contacts, Calendar, Tasks, Notes, Attachment };

struct EntryClass {
    DocumentKind kind = DocumentKind::Attachment;
    QString folderPath; // mail entries only
};

EntryClass classifyEntry(const QString &entryPath);
// The element name of one item of a document of this kind ("email"), and the
// tag that ends such an item ("</email>"); null for kinds that hold no items.
const char *itemName(DocumentKind kind);
const char *itemEndTag(DocumentKind kind);
// The folder of a message entry: the components after "Local/<store>/" or
// "Accounts/<a>/<b>/", without the file name; empty for other roots.
QString messageFolderPath(const QString &entryPath);
