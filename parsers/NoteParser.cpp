#include "olm/FolderHierarchy.h"
#include "parsers/FolderInformation.h"

void FolderInformation::InitializeNTRC(qint64)
{
    treeCreator(QStringLiteral("Notes"));
}
