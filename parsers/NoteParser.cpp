#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/ElementText.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemLosses.h"
#include "parsers/RecordLists.h"
#include "parsers/TimeConverter.h"

void FolderInformation::InitializeNTRC(qint64 documentEnd)
{
    beginLossDocument(DocumentKind::Notes, QString());
    kindFolderCreator(QStringLiteral("Notes"), NotesFolderType);
    const QVector<DocumentItem> items =
        splitDocumentRecords(pBuff, pBuffSize, documentEnd, itemName(DocumentKind::Notes));
    for (const DocumentItem &item : items) {
        NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
        if (!note)
            break; // record memory is full
        noteItemEndDamaged(DocumentKind::Notes, item);
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
}
