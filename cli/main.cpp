// mendora-cli: the scan (and later the save) of the desktop application without a window.
#include "cli/ScanReport.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitRefused = 2;
constexpr int kExitNothingFound = 3;

void printUsage()
{
    fprintf(stderr, "usage: mendora-cli scan [--json] [--items] FILE\n");
}

// A progress line on a terminal; nothing when stderr is redirected.
WalkHooks terminalHooks(DispatchCounts *counts)
{
    WalkHooks hooks;
    hooks.dispatched = [counts](const DispatchedEntry &entry) { ++counts->perKind[entry.kind]; };
    if (isatty(STDERR_FILENO)) {
        auto maximum = std::make_shared<qint64>(1);
        hooks.started = [maximum](qint64 units) { *maximum = qMax<qint64>(units, 1); };
        hooks.tick = [maximum](qint64 units) {
            fprintf(stderr, "\rScanning OLM File... %3lld%%", qMin<qint64>(100, units * 100 / *maximum));
            fflush(stderr);
        };
    }
    return hooks;
}

int runScan(const QStringList &arguments)
{
    bool json = false;
    bool withItems = false;
    QString path;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--json"))
            json = true;
        else if (argument == QLatin1String("--items"))
            withItems = true;
        else if (path.isEmpty() && !argument.startsWith(QLatin1String("--")))
            path = argument;
        else {
            printUsage();
            return kExitUsage;
        }
    }
    if (path.isEmpty()) {
        printUsage();
        return kExitUsage;
    }
    DispatchCounts counts;
    FolderInformation parsers;
    const ScanResult result = scanFile(path, parsers, terminalHooks(&counts));
    if (isatty(STDERR_FILENO))
        fprintf(stderr, "\n");
    if (result == ScanResult::Refused) {
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitRefused;
    }
    if (json)
        fputs(QJsonDocument(scanSummaryJson(counts, withItems)).toJson(QJsonDocument::Compact).constData(), stdout);
    else
        fputs(scanSummaryText(counts).toUtf8().constData(), stdout);
    fputs("\n", stdout);
    const bool foundItems = anyRecordsLoaded();
    CleanListAndHash();
    if (!foundItems) {
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitNothingFound;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty()) {
        printUsage();
        return kExitUsage;
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("scan"))
        return runScan(arguments);
    printUsage();
    return kExitUsage;
}
