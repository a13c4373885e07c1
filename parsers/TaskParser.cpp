#include "olm/FolderHierarchy.h"
#include "parsers/FolderInformation.h"

void FolderInformation::InitializeTSRC(qint64)
{
    treeCreator(QStringLiteral("Tasks"));
}
