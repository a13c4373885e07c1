#include "cli/SaveCommand.h"

#include "archive/BundleLayout.h"
#include "archive/SaveBundle.h"
#include "archive/StandardFiles.h"
#include "cli/Terminal.h"
#include "olm/FolderModel.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstdio>

namespace {

void printSaveUsage()
{
    fprintf(stderr, "usage: mendora-cli save FILE DESTDIR [--folder PATH]... [--format rge|standard] [--replace]\n"
                    "  --format standard  mbox, vCard and iCalendar files in DESTDIR/\"<file name> (rescued)\"\n"
                    "  --replace          with --format standard: replace an existing output\n");
}

void printLine(FILE *stream, const QString &text)
{
    fputs((text + QLatin1Char('\n')).toUtf8().constData(), stream);
}

// Ctrl-C stops the save between two items: the bundle keeps whole items only.
void requestStop(int)
{
    stopflag = true;
}

struct SaveArguments {
    QString olmPath, destination;
    QStringList folderPaths;
    BundleFormat format = BundleFormat::Entourage;
    bool replace = false;
};

bool parseFormat(const QString &name, BundleFormat *format)
{
    if (name == QLatin1String("rge"))
        *format = BundleFormat::Entourage;
    else if (name == QLatin1String("standard"))
        *format = BundleFormat::Standard;
    else
        return false;
    return true;
}

bool parseArguments(const QStringList &arguments, SaveArguments *parsed)
{
    QStringList positional;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--folder") && i + 1 < arguments.size())
            parsed->folderPaths.append(arguments.at(++i));
        else if (argument.startsWith(QLatin1String("--folder=")))
            parsed->folderPaths.append(argument.mid(9));
        else if (argument == QLatin1String("--format") && i + 1 < arguments.size()) {
            if (!parseFormat(arguments.at(++i), &parsed->format))
                return false;
        } else if (argument.startsWith(QLatin1String("--format="))) {
            if (!parseFormat(argument.mid(9), &parsed->format))
                return false;
        } else if (argument == QLatin1String("--replace"))
            parsed->replace = true;
        else if (argument.startsWith(QLatin1String("--")))
            return false;
        else
            positional.append(argument);
    }
    if (positional.size() != 2 || (parsed->replace && parsed->format != BundleFormat::Standard))
        return false;
    parsed->olmPath = positional.at(0);
    parsed->destination = positional.at(1);
    return true;
}

// The named folders with everything below them; all folders when none is named.
bool selectFolders(const QStringList &paths, QVector<SaveFolder> *folders)
{
    QVector<qint64> ids;
    bool allKnown = true;
    for (const QString &path : paths) {
        const qint64 id = folderIdForPath(path);
        if (id < 0) {
            printLine(stderr, QStringLiteral("No folder named \"%1\" in this file.").arg(path));
            allKnown = false;
        }
        ids.append(id);
    }
    if (ids.isEmpty())
        ids.append(llRootId);
    *folders = foldersAtOrBelow(ids);
    return allKnown;
}

// The bundle, or the directory of the standard files; empty when it could not be made.
QString makeOutput(const SaveArguments &arguments)
{
    QString error;
    if (arguments.format == BundleFormat::Standard) {
        const QString path = standardOutputPath(arguments.destination, arguments.olmPath);
        if (!prepareStandardOutput(path, arguments.replace, &error)) {
            printLine(stderr, QStringLiteral("The standard files could not be saved: %1.").arg(error));
            return QString();
        }
        return path;
    }
    const QString bundle = bundlePathFor(arguments.destination, bundleTimeStamp(QDateTime::currentDateTime()));
    if (QFileInfo::exists(bundle)) {
        printLine(stderr, QStringLiteral("%1 exists already.").arg(bundle));
        return QString();
    }
    if (!CreateMailFolder(bundle, &error)) {
        printLine(stderr, QStringLiteral("The bundle could not be created: %1").arg(error));
        return QString();
    }
    return bundle;
}

int saveScanned(const SaveArguments &arguments)
{
    QVector<SaveFolder> folders;
    if (!selectFolders(arguments.folderPaths, &folders))
        return kExitUnknownFolder;
    if (!QFileInfo(arguments.destination).isDir()) {
        printLine(stderr, QStringLiteral("The destination \"%1\" is not a directory.").arg(arguments.destination));
        return kExitNoBundle;
    }
    const QString bundle = makeOutput(arguments);
    if (bundle.isEmpty())
        return kExitNoBundle;

    const FileTextReader olm(fileDescriptor, lSize);
    SaveRequest request;
    request.bundlePath = bundle;
    request.folders = folders;
    request.olm = &olm;
    request.format = arguments.format;
    TerminalProgressBar bar;
    SaveHooks hooks;
    hooks.started = [&bar](qint64 items) { bar.setMaximum(items); };
    hooks.caption = [&bar](const QString &caption) { bar.setCaption(caption); };
    hooks.itemDone = [&bar] { bar.advance(); };
    hooks.stopRequested = [] { return bool(stopflag); };
    stopflag = false;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    const SaveReport report = saveBundle(request, hooks);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    bar.finish();

    printLine(stdout, (arguments.format == BundleFormat::Standard ? QStringLiteral("Standard files: %1")
                                                                  : QStringLiteral("Bundle: %1"))
                          .arg(bundle));
    printLine(stdout, QStringLiteral("Written: %1").arg(writtenCountsText(report)));
    fflush(stdout);
    if (!report.notWritten.isEmpty()) {
        printLine(stderr, QStringLiteral("Not written (%1 items):").arg(report.notWritten.size()));
        for (const QString &line : report.notWritten)
            printLine(stderr, QLatin1String("  ") + line);
    }
    if (report.stopped) {
        printLine(stderr, QStringLiteral("Saving Process Aborted. Files Saved Partially."));
        return kExitStopped;
    }
    return report.notWritten.isEmpty() ? 0 : kExitNotAllWritten;
}

} // namespace

int runSave(const QStringList &arguments)
{
    SaveArguments parsed;
    if (!parseArguments(arguments, &parsed)) {
        printSaveUsage();
        return kExitUsage;
    }
    DispatchCounts counts;
    FolderInformation parsers;
    const ScanResult result = scanFile(parsed.olmPath, parsers, scanTerminalHooks(&counts));
    if (stderrIsTerminal())
        fprintf(stderr, "\n");
    if (result == ScanResult::Refused) {
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitRefused;
    }
    if (result == ScanResult::Incomplete)
        fprintf(stderr, "%s\n", kRecordMemoryFullMessage);
    if (!anyRecordsLoaded()) {
        CleanListAndHash();
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitNothingFound;
    }
    const int status = saveScanned(parsed);
    CleanListAndHash();
    return status;
}
