#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/ElementText.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"

void FolderInformation::InitializeNTRC(qint64 documentEnd)
{
    treeCreator(QStringLiteral("Notes"));
    const QVector<DocumentItem> items = splitDocumentItems(pBuff, pBuffSize, documentEnd, "</note>");
    for (const DocumentItem &item : items) {
        NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
        CopyToField(note->Identifier, QString::fromLatin1(newIdentifier(true)), FieldEncoding::Latin1);

        // OPFNoteCopyNonHTMLText is not kept: the readers show the text element.
        const FileText text = findFileText(item, "OPFNoteCopyText");
        note->NotesSize = text.size;
        note->NotesOffset = text.offset;

        QString title;
        if (GetElementText(item, "OPFNoteCopyTitle", &title) && !title.isEmpty())
            CopyToField(note->Title, DecodeEntities(title), FieldEncoding::Utf8);
        readNoteDetails(note, item);
    }
}
