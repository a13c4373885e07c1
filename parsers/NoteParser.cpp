#include "parsers/ElementText.h"
#include "parsers/ItemReaders.h"
#include "parsers/TimeConverter.h"

void readNoteItem(ParsedItem &parsed)
{
    NotesInformation *note = parsedRecord<NotesInformation>(parsed);
    const DocumentItem &item = parsed.item;
    CopyToField(note->Identifier, QString::fromLatin1(newIdentifier(true)), FieldEncoding::Latin1);

    // The previews show the HTML text; the writers prefer the plain one.
    const FileText text = findFileText(item, "OPFNoteCopyText");
    note->NotesSize = text.size;
    note->NotesOffset = text.offset;
    const FileText plainText = findFileText(item, "OPFNoteCopyNonHTMLText");
    note->PlainTextSize = plainText.size;
    note->PlainTextOffset = plainText.offset;

    QString title;
    if (GetElementText(item, "OPFNoteCopyTitle", &title) && !title.isEmpty())
        CopyToField(note->Title, DecodeEntities(title), FieldEncoding::Utf8);
    QString modified;
    if (GetElementText(item, "OPFNoteCopyModDate", &modified) && !modified.isEmpty())
        CopyToField(note->ModStampUtc, QString::fromLatin1(utcCompactStamp(modified)), FieldEncoding::Latin1);
}
