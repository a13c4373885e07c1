// mendora-cli: the scan, the save and the .olm file search of the desktop application without a window.
#include "cli/SaveCommand.h"
#include "cli/ScanReport.h"
#include "cli/Terminal.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "platform/OlmSearch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStringList>
#include <cstdio>

namespace {

void printUsage()
{
    fprintf(stderr, "usage: mendora-cli scan [--json] [--items] FILE\n"
                    "       mendora-cli save FILE DESTDIR [--folder PATH]...\n"
                    "       mendora-cli find DIR\n");
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
    const ScanResult result = scanFile(path, parsers, scanTerminalHooks(&counts));
    if (stderrIsTerminal())
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

// find DIR: every .olm file below DIR, "PATH<tab>SIZE" a line in the order the Find OLM
// dialog lists them. Backslash, tab, newline and carriage return in a path are written
// as \\, \t, \n and \r, so every line stays one file.
int runFind(const QStringList &arguments)
{
    if (arguments.size() != 1 || !QFileInfo(arguments.first()).isDir()) {
        printUsage();
        return kExitUsage;
    }
    bool foundAny = false;
    OlmSearchHooks hooks;
    hooks.found = [&foundAny](const QString &path) {
        foundAny = true;
        QByteArray line = QFile::encodeName(path);
        line.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
        line += '\t' + olmSizeText(QFileInfo(path).size()).toUtf8() + '\n';
        fwrite(line.constData(), 1, size_t(line.size()), stdout);
    };
    findOlmFiles(arguments.first(), hooks);
    if (!foundAny) {
        fprintf(stderr, "Search completed. No OLM file found.\n");
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
    if (command == QLatin1String("save"))
        return runSave(arguments);
    if (command == QLatin1String("find"))
        return runFind(arguments);
    printUsage();
    return kExitUsage;
}
