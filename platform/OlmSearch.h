#pragma once
// The search for .olm files below a directory: a walk with QDirIterator, no shell and
// no temporary file, that a caller on any thread can stop through its hook.
#include <QString>
#include <functional>

struct OlmSearchHooks {
    // Polled before every directory entry; true ends the walk at once.
    std::function<bool()> stopRequested;
    // Told of every .olm file as soon as the walk meets it.
    std::function<void(const QString &path)> found;
};

// Walks startDirectory and everything below it and reports every file whose name ends
// with ".olm", in any case. Symbolic links to directories are not followed and a
// directory reached twice (bind mounts) is walked once, so no loop runs forever;
// unreadable directories are skipped; kernel and virtual file systems mounted below
// the start (/proc, /sys, ...) are not entered.
void findOlmFiles(const QString &startDirectory, const OlmSearchHooks &hooks);

bool isOlmFileName(const QString &fileName);

// The size column of the search results: whole bytes, KB, MB or GB, rounded down.
QString olmSizeText(qint64 bytes);
