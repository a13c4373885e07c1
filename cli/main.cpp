// mendora-cli: the scan, the save and the .olm file search of the desktop application without a window.
#include "cli/SaveCommand.h"
#include "cli/UploadCommand.h"
#include "cli/ScanReport.h"
#include "cli/Terminal.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "platform/OlmSearch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStringList>
#include <cstdio>

namespace {

void printUsage()
{
    fprintf(stderr, "usage: mendora-cli scan [--json] [--items] [--record-memory MB] [--] FILE\n"
                    "       mendora-cli save FILE DESTDIR [--folder PATH]...\n"
                    "       mendora-cli upload FILE imaps://USER@HOST[:PORT] [--folder PATH]... [--into ROOT]\n"
                    "       mendora-cli find DIR\n");
}

// Arguments are taken as the bytes the system passed: a file name need not be
// valid in any encoding to be opened.
int runScan(const QList<QByteArray> &arguments)
{
    bool json = false;
    bool withItems = false;
    bool optionsEnded = false;
    QByteArray path;
    bool havePath = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments.at(i);
        bool isNumber = false;
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (!optionsEnded && argument == "--record-memory" && i + 1 < arguments.size()
                 && arguments.at(i + 1).toLongLong(&isNumber) > 0 && isNumber)
            recordMemoryLimit = arguments.at(++i).toLongLong() << 20;
        else if (!optionsEnded && argument == "--json")
            json = true;
        else if (!optionsEnded && argument == "--items")
            withItems = true;
        else if (!havePath && (optionsEnded || !argument.startsWith("--"))) {
            path = argument;
            havePath = true;
        } else {
            printUsage();
            return kExitUsage;
        }
    }
    if (!havePath || path.isEmpty()) {
        printUsage();
        return kExitUsage;
    }
    DispatchCounts counts;
    FolderInformation parsers;
    QString openError;
    const ScanResult result = scanFile(path, parsers, scanTerminalHooks(&counts), &openError);
    if (stderrIsTerminal())
        fprintf(stderr, "\n");
    if (result == ScanResult::Refused) {
        if (!openError.isEmpty())
            fprintf(stderr, "mendora-cli: %s: %s\n", path.constData(), openError.toLocal8Bit().constData());
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitRefused;
    }
    if (result == ScanResult::Incomplete)
        fprintf(stderr, "%s\n", kRecordMemoryFullMessage);
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
    return result == ScanResult::Incomplete ? kExitIncomplete : 0;
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
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    QCoreApplication application(argc, argv);
    if (arguments.isEmpty()) {
        printUsage();
        return kExitUsage;
    }
    const QByteArray command = arguments.takeFirst();
    if (command == "scan")
        return runScan(arguments);
    // save and find take names as text.
    QStringList textArguments;
    for (const QByteArray &argument : arguments)
        textArguments.append(QFile::decodeName(argument));
    if (command == "save")
        return runSave(textArguments);
    if (command == "find")
        return runFind(textArguments);
    if (command == "upload")
        return runUpload(textArguments);
    printUsage();
    return kExitUsage;
}
