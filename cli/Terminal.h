#pragma once
// What mendora-cli shows on a terminal: progress of a scan and of a save, and the
// exit statuses of its commands.
#include "cli/ScanReport.h"
#include "olm/ContainerWalk.h"

#include <QString>
#include <cstdio>

constexpr int kExitUsage = 64;
constexpr int kExitRefused = 2;
constexpr int kExitNothingFound = 3;
constexpr int kExitNotAllWritten = 1;
constexpr int kExitNoBundle = 4;
constexpr int kExitUnknownFolder = 5;
constexpr int kExitStopped = 6;
constexpr int kExitIncomplete = 7; // record memory filled up: the items found so far were reported

constexpr int kExitNoConnection = 8; // upload: no connection, login refused
constexpr int kExitOutputFailed = 9; // the report could not be written to standard output
// Files that cannot be scanned at all, each with its own status.
constexpr int kExitMissingFile = 10;
constexpr int kExitDirectory = 11;
constexpr int kExitNoPermission = 12;
constexpr int kExitEmptyFile = 13;

struct ScanRefusal;
// Says on standard error why the file named path could not be scanned; returns its exit status.
int reportRefusal(const QByteArray &path, const ScanRefusal &refusal);

bool stderrIsTerminal();
// text and a line end, in UTF-8, its control characters shown as visible escapes.
void printLine(FILE *stream, const QString &text);
// Counts the dispatched documents; on a terminal also shows a progress line.
WalkHooks scanTerminalHooks(DispatchCounts *counts);

// A progress bar on stderr, drawn only on a terminal and only when its text changes.
class TerminalProgressBar
{
public:
    void setMaximum(qint64 maximum);
    void setCaption(const QString &caption);
    void advance();
    // Ends the bar's line.
    void finish();

private:
    void draw();
    bool m_enabled = stderrIsTerminal();
    qint64 m_maximum = 1, m_value = 0;
    QString m_caption;
    QString m_shown;
};
