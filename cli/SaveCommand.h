#pragma once
#include <QByteArray>
#include <QList>

// mendora-cli save FILE DESTDIR [--folder PATH]... [--format rge|standard] [--replace] [--json]
int runSave(const QList<QByteArray> &arguments);
