#include "parsers/FolderInformation.h"

#include "parsers/RecordLists.h"

void FolderInformation::takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    switch (kind) {
    case DocumentKind::Mail:
        InitializeMLRC(folderPath, documentEnd);
        break;
    case DocumentKind::Contacts:
        InitializeCTRC(documentEnd);
        break;
    case DocumentKind::Calendar:
        InitializeCLRC(documentEnd);
        break;
    case DocumentKind::Tasks:
        InitializeTSRC(documentEnd);
        break;
    case DocumentKind::Notes:
        InitializeNTRC(documentEnd);
        break;
    case DocumentKind::Attachment:
    case DocumentKind::Skipped:
        break;
    }
}

void FolderInformation::takeAttachment(const QString &entryName, qint64 offset, qint64 size)
{
    InitializeAttachment(entryName, offset, size);
}

bool FolderInformation::full() const
{
    return recordMemoryFull;
}
