#pragma once
#include "archive/SaveBundle.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// mendora-cli save FILE DESTDIR [--folder PATH]... [--format rge|standard|eml|pdf] [--replace] [--json]
int runSave(const QList<QByteArray> &arguments);
// Whether these arguments of save ask for a PDF save (which runs under the PDF module's
// application object, cli/PdfModule.h); false for arguments save refuses.
bool savesPdf(const QList<QByteArray> &arguments);

// The named folders with everything below them; all folders when none is named. False,
// with a message, when a folder is not in the file.
bool selectFolders(const QStringList &paths, QVector<SaveFolder> *folders);
// Scans the file for a save: 0 when it holds items, else the exit status (with its message
// printed). After 0 the caller frees the records with CleanListAndHash(). *incomplete tells
// whether the scan stopped at the memory limit before the end of the file.
int scanToSave(const QString &olmPath, bool *incomplete = nullptr);
