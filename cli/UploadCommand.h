#pragma once
#include <QStringList>

// mendora-cli upload FILE imaps://USER@HOST[:PORT] [--folder PATH]... [--into ROOT] ...
int runUpload(const QStringList &arguments);
