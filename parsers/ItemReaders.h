#pragma once
// The item readers: each fills the zero-filled record of parsed, of its kind, and the
// item's details from the item's bytes, touching nothing shared; losses go to the
// thread's loss context, which collects them for the item.
#include "olm/ByteSource.h"
#include "parsers/ParsedDocument.h"

void readMailItem(ParsedItem &parsed, const QString &folderPath);
void readContactItem(ParsedItem &parsed);
void readEventItem(ParsedItem &parsed);
void readTaskItem(ParsedItem &parsed);
void readNoteItem(ParsedItem &parsed);

// Where a mail's document begins in the file, for what lies before it.
struct MailPlace {
    ByteSource *source = nullptr;
    qint64 documentStart = -1; // -1 for an item that is not its document's first
};
// Committed in file order: the folder of a mail whose entry damage took, and its
// attachments from the entries collected since the last mail's list. Returns the
// attachments its list names that were not found.
QVector<MissingAttachment> placeMailFolderAndAttachments(MailMLRC *mail, const ParsedItem &parsed,
                                                         const MailPlace &place);
