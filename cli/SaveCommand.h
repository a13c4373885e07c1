#pragma once
#include "archive/SaveBundle.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// mendora-cli save FILE DESTDIR [--folder PATH]... [--format rge|standard] [--replace] [--json]
int runSave(const QList<QByteArray> &arguments);

// The named folders with everything below them; all folders when none is named. False,
// with a message, when a folder is not in the file.
bool selectFolders(const QStringList &paths, QVector<SaveFolder> *folders);
// Scans the file for a save: 0 when it holds items, else the exit status (with its message
// printed). After 0 the caller frees the records with CleanListAndHash().
int scanToSave(const QString &olmPath);
