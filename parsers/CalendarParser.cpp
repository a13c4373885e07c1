#include "olm/FolderHierarchy.h"
#include "parsers/FolderInformation.h"

void FolderInformation::InitializeCLRC(qint64)
{
    treeCreator(QStringLiteral("Calendars"));
}
