// mendora-cli: the scan, the save and the .olm file search of the desktop application without a window.
#include "archive/VisibleText.h"
#include "cli/PdfModule.h"
#include "cli/SaveCommand.h"
#include "cli/UploadCommand.h"
#include "cli/ScanReport.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
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
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

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
        if (optionsEnded || argument == "-" || !argument.startsWith('-')) {
            if (havePath)
                return usageError(Command::Scan, "unexpected argument '" + argument + "'");
            path = argument;
            havePath = true;
        } else if (argument == "--")
            optionsEnded = true;
        else if (isHelpOption(argument))
            return printHelp(Command::Scan);
        else if (argument == "--json")
            json = true;
        else if (argument == "--items")
            withItems = true;
        else if (argument == "--record-memory") {
            bool isNumber = false;
            const qint64 megabytes = i + 1 < arguments.size() ? arguments.at(i + 1).toLongLong(&isNumber) : 0;
            // Shifted into bytes below, so the count must leave room for 20 more bits.
            if (!isNumber || megabytes <= 0 || megabytes > (qint64(1) << 42))
                return usageError(Command::Scan, "--record-memory takes a positive number of mebibytes");
            recordMemoryLimit = megabytes << 20;
            ++i;
        } else
            return usageError(Command::Scan, "unknown option '" + argument + "'");
    }
    if (!havePath || path.isEmpty())
        return usageError(Command::Scan, "missing FILE");
    DispatchCounts counts;
    FolderInformation parsers;
    ScanRefusal refusal;
    const ScanResult result = scanFile(path, parsers, scanTerminalHooks(&counts), &refusal);
    if (stderrIsTerminal())
        fprintf(stderr, "\n");
    if (result == ScanResult::Refused)
        return reportRefusal(path, refusal);
    if (result == ScanResult::Incomplete)
        fprintf(stderr, "%s\n", recordSpaceFullMessage());
    if (json)
        fputs(QJsonDocument(scanSummaryJson(counts, withItems)).toJson(QJsonDocument::Compact).constData(), stdout);
    else
        fputs(scanSummaryText(counts).toUtf8().constData(), stdout);
    fputs("\n", stdout);
    // The process ends here: the scan's records and details go with it, unfreed.
    if (!anyRecordsLoaded()) {
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitNothingFound;
    }
    return result == ScanResult::Incomplete ? kExitIncomplete : 0;
}

// find DIR: every .olm file below DIR, "PATH<tab>SIZE" a line in the order the Find OLM
// dialog lists them. Control characters in a path are written as visible escapes, so
// every line stays one file and no name reaches the terminal raw.
int runFind(const QList<QByteArray> &arguments)
{
    QStringList directories;
    bool optionsEnded = false;
    for (const QByteArray &argument : arguments) {
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (!optionsEnded && isHelpOption(argument))
            return printHelp(Command::Find);
        else if (!optionsEnded && argument.startsWith('-') && argument != "-")
            return usageError(Command::Find, "unknown option '" + argument + "'");
        else
            directories.append(QFile::decodeName(argument));
    }
    if (directories.isEmpty())
        return usageError(Command::Find, "missing DIR");
    if (directories.size() > 1)
        return usageError(Command::Find, "unexpected argument '" + QFile::encodeName(directories.at(1)) + "'");
    if (!QFileInfo(directories.first()).isDir())
        return usageError(Command::Find, "'" + QFile::encodeName(directories.first()) + "' is not a directory");
    bool foundAny = false;
    OlmSearchHooks hooks;
    hooks.found = [&foundAny](const QString &path) {
        foundAny = true;
        QByteArray line = visibleBytes(QFile::encodeName(path));
        line += '\t' + olmSizeText(QFileInfo(path).size()).toUtf8() + '\n';
        fwrite(line.constData(), 1, size_t(line.size()), stdout);
    };
    findOlmFiles(directories.first(), hooks);
    if (!foundAny) {
        fprintf(stderr, "Search completed. No OLM file found.\n");
        return kExitNothingFound;
    }
    return 0;
}

// A report that did not reach standard output (a full disk, a closed pipe) is a failure:
// the command's own status stands when it failed already, otherwise the write error's.
int withStandardOutputChecked(int status)
{
    const bool flushed = fflush(stdout) == 0 && !ferror(stdout);
    const int flushError = errno;
    if (fclose(stdout) == 0 && flushed)
        return status;
    fprintf(stderr, "mendora-cli: standard output could not be written: %s\n",
            strerror(flushed ? errno : flushError));
    return status != 0 ? status : kExitOutputFailed;
}

} // namespace

int main(int argc, char **argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    // A PDF save lays text out, which takes the GUI application object of the PDF module.
    std::unique_ptr<QCoreApplication> application;
    if (arguments.size() > 1 && commandNamed(arguments.first()) == Command::Save && savesPdf(arguments.mid(1))) {
        QString error;
        application = pdfApplication(&argc, argv, &error);
        if (!application) {
            printLine(stderr, QStringLiteral("The PDF files could not be saved: %1.").arg(error));
            return kExitNoBundle;
        }
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (arguments.isEmpty())
        return usageError(Command::None, "missing command");
    const QByteArray first = arguments.takeFirst();
    if (isHelpOption(first))
        return printHelp(Command::None);
    if (first == "--version")
        return printVersion();
    if (first == "help")
        return runHelp(arguments);
    switch (commandNamed(first)) {
    case Command::Scan: return withStandardOutputChecked(runScan(arguments));
    case Command::Save: return withStandardOutputChecked(runSave(arguments));
    case Command::Find: return withStandardOutputChecked(runFind(arguments));
    case Command::Upload: return withStandardOutputChecked(runUpload(arguments));
    case Command::None: break;
    }
    if (first.startsWith('-'))
        return usageError(Command::None, "unknown option '" + first + "'");
    return usageError(Command::None, "unknown command '" + first + "'");
}
