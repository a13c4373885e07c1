#include "olm/FolderHierarchy.h"
#include "parsers/FolderInformation.h"

void FolderInformation::InitializeCTRC(qint64)
{
    treeCreator(QStringLiteral("Contacts"));
}
