#include "olm/FolderHierarchy.h"
#include "parsers/FolderInformation.h"

QString tmpstrOrigPath;
QString tmpdoffset_NoteText;
QString tmpdsizeofattch;

void FolderInformation::InitializeMLRC(const QString &folderPath, qint64)
{
    treeCreator(folderPath);
    llParentIdRunning = 0;
}

void FolderInformation::InitializeAttachment(const QString &entryName, qint64 offset, qint64 size)
{
    tmpstrOrigPath += entryName + QLatin1Char(';');
    tmpdoffset_NoteText += QString::number(offset) + QLatin1Char(';');
    tmpdsizeofattch += QString::number(size) + QLatin1Char(';');
}
