#pragma once
#include <QStringList>

// mendora-cli save FILE DESTDIR [--folder PATH]...
int runSave(const QStringList &arguments);
