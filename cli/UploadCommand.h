#pragma once
#include <QByteArray>
#include <QList>

// mendora-cli upload FILE imaps://USER@HOST[:PORT] [--folder PATH]... [--into ROOT] ...
int runUpload(const QList<QByteArray> &arguments);
