#include "cli/SaveCommand.h"

#include "archive/BundleLayout.h"
#include "archive/EmlFiles.h"
#include "archive/OutputPlace.h"
#include "archive/SaveBundle.h"
#include "archive/StandardFiles.h"
#include "cli/MailFilterOptions.h"
#include "cli/PdfModule.h"
#include "cli/ScanReport.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <cstdio>

namespace {

// Ctrl-C stops the save between two items: the bundle keeps whole items only.
// The handler only sets the lock-free atomic stopflag.
void requestStop(int)
{
    stopflag = true;
}

struct SaveArguments {
    QString olmPath, destination;
    QStringList folderPaths;
    BundleFormat format = BundleFormat::Entourage;
    MailFilter filter;
    bool pdfPerFolder = false;
    bool replace = false;
    bool json = false;
};

enum class Parsed { Ready, HelpShown, Refused };

// Options may stand anywhere; after "--" every argument is a name. Names are taken as text.
// Quietly: neither help nor refusals are printed.
enum class Reporting { Printed, Quiet };
Parsed parseArguments(const QList<QByteArray> &arguments, SaveArguments *parsed, int *status,
                      Reporting reporting = Reporting::Printed)
{
    QStringList positional;
    bool optionsEnded = false;
    auto refuse = [status, reporting](const QByteArray &message) {
        *status = reporting == Reporting::Printed ? usageError(Command::Save, message) : kExitUsage;
        return Parsed::Refused;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments.at(i);
        QByteArray value;
        const bool hasNext = i + 1 < arguments.size();
        if (optionsEnded || argument == "-" || !argument.startsWith('-'))
            positional.append(QFile::decodeName(argument));
        else if (argument == "--")
            optionsEnded = true;
        else if (isHelpOption(argument)) {
            *status = reporting == Reporting::Printed ? printHelp(Command::Save) : 0;
            return Parsed::HelpShown;
        } else if (argument == "--folder" || argument.startsWith("--folder=")) {
            if (argument == "--folder" && !hasNext)
                return refuse("--folder needs a PATH");
            parsed->folderPaths.append(QFile::decodeName(argument == "--folder" ? arguments.at(++i) : argument.mid(9)));
        } else if (argument == "--format" || argument.startsWith("--format=")) {
            value = argument == "--format" ? (hasNext ? arguments.at(++i) : QByteArray()) : argument.mid(9);
            if (value == "rge")
                parsed->format = BundleFormat::Entourage;
            else if (value == "standard")
                parsed->format = BundleFormat::Standard;
            else if (value == "eml")
                parsed->format = BundleFormat::Eml;
            else if (value == "pdf")
                parsed->format = BundleFormat::Pdf;
            else
                return refuse("--format takes rge, standard, eml or pdf, not '" + value + "'");
        } else if (argument == "--pdf-per-folder")
            parsed->pdfPerFolder = true;
        else if (argument == "--replace")
            parsed->replace = true;
        else if (argument == "--json")
            parsed->json = true;
        else if (argument == "--record-memory") {
            bool isNumber = false;
            const qint64 megabytes = hasNext ? arguments.at(i + 1).toLongLong(&isNumber) : 0;
            // Shifted into bytes below, so the count must leave room for 20 more bits.
            if (!isNumber || megabytes <= 0 || megabytes > (qint64(1) << 42))
                return refuse("--record-memory takes a positive number of mebibytes");
            recordMemoryLimit = megabytes << 20;
            ++i;
        }
        else {
            QByteArray error;
            const FilterOption filterOption = takeFilterOption(arguments, &i, &parsed->filter, &error);
            if (filterOption == FilterOption::Refused)
                return refuse(error);
            if (filterOption == FilterOption::NotOne)
                return refuse("unknown option '" + argument + "'");
        }
    }
    if (positional.isEmpty())
        return refuse("missing FILE and DESTDIR");
    if (positional.size() == 1)
        return refuse("missing DESTDIR");
    if (positional.size() > 2)
        return refuse("unexpected argument '" + QFile::encodeName(positional.at(2)) + "'");
    if (parsed->replace && parsed->format == BundleFormat::Entourage)
        return refuse("--replace goes with --format standard, eml or pdf only");
    if (parsed->pdfPerFolder && parsed->format != BundleFormat::Pdf)
        return refuse("--pdf-per-folder goes with --format pdf only");
    QByteArray rangeError;
    if (!filterRangeUsable(parsed->filter, &rangeError))
        return refuse(rangeError);
    parsed->olmPath = positional.at(0);
    parsed->destination = positional.at(1);
    return Parsed::Ready;
}

const char *formatName(BundleFormat format)
{
    switch (format) {
    case BundleFormat::Entourage: return "rge";
    case BundleFormat::Standard: return "standard";
    case BundleFormat::Eml: return "eml";
    case BundleFormat::Pdf: return "pdf";
    }
    return "";
}

// The directory the standard, EML or PDF files go to.
QString filesPath(const SaveArguments &arguments)
{
    return filesOutputPath(arguments.format, arguments.destination, arguments.olmPath);
}

// The save for scripts: where it went, what the scan found and what was written, per
// kind under the keys of `scan --json`, every item not written with why, and the
// account of losses.
QJsonObject saveSummaryJson(const SaveArguments &arguments, const QString &output, const SaveReport &report)
{
    static const char *const kWrittenKeys[kItemKindCount] = {"mails", "contacts", "calendars", "tasks", "notes"};
    QJsonObject written;
    for (int kind = 0; kind < kItemKindCount; ++kind)
        written[QLatin1String(kWrittenKeys[kind])] = double(report.written[size_t(kind)]);
    QJsonArray notWritten;
    for (const UnwrittenItem &unwritten : report.notWritten)
        notWritten.append(QJsonObject{{"item", unwritten.item}, {"why", unwritten.why}});
    QJsonObject summary;
    summary["format"] = QLatin1String(formatName(arguments.format));
    if (!arguments.filter.isEmpty())
        summary["filter"] = arguments.filter.description();
    summary["output"] = output;
    summary["found"] = itemCountsJson();
    summary["written"] = written;
    summary["recoveredAttachmentsWritten"] = double(report.recoveredAttachmentsWritten);
    summary["notWritten"] = notWritten;
    summary["writtenIncomplete"] = QJsonArray::fromStringList(report.incomplete);
    summary["stopped"] = report.stopped;
    addLossAccount(&summary);
    return summary;
}

// Makes the place of the bundle, or of the standard or EML files' directory; false
// when it could not be made.
bool makeOutput(const SaveArguments &arguments, OutputPlace *place)
{
    QString error;
    if (arguments.format != BundleFormat::Entourage) {
        if (!place->begin(filesPath(arguments), arguments.replace, arguments.olmPath, &error)) {
            const QString files = arguments.format == BundleFormat::Standard ? QStringLiteral("standard")
                                                                             : QString::fromLatin1(formatName(arguments.format)).toUpper();
            printLine(stderr, QStringLiteral("The %1 files could not be saved: %2.").arg(files, error));
            return false;
        }
        return true;
    }
    const QString bundle = bundlePathFor(arguments.destination, bundleTimeStamp(QDateTime::currentDateTime()));
    if (!place->begin(bundle, false, arguments.olmPath, &error)) {
        printLine(stderr, QStringLiteral("%1.").arg(error));
        return false;
    }
    if (!CreateMailFolder(place->directory(), &error)) {
        printLine(stderr, QStringLiteral("The bundle could not be created: %1").arg(error));
        return false;
    }
    return true;
}

// What the system says of the destination: "is not a directory", or why it cannot be
// reached at all (a path longer than the system takes, a missing folder on the way).
bool destinationUsable(const QString &destination, QString *unusable)
{
    struct stat info;
    if (stat(QFile::encodeName(destination).constData(), &info) != 0) {
        *unusable = QStringLiteral("cannot be used: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *unusable = QStringLiteral("is not a directory");
        return false;
    }
    return true;
}

int saveScanned(const SaveArguments &arguments, bool scanIncomplete)
{
    QVector<SaveFolder> folders;
    if (!selectFolders(arguments.folderPaths, &folders))
        return kExitUnknownFolder;
    QString unusable;
    if (!destinationUsable(arguments.destination, &unusable)) {
        printLine(stderr, QStringLiteral("The destination \"%1\" %2.").arg(arguments.destination, unusable));
        return kExitNoBundle;
    }
    OutputPlace place;
    if (!makeOutput(arguments, &place))
        return kExitNoBundle;
    const QString bundle = arguments.format == BundleFormat::Entourage ? place.writePath() : filesPath(arguments);

    const FileTextReader olm(fileDescriptor, lSize);
    SaveRequest request;
    request.bundlePath = place.writePath();
    request.folders = folders;
    request.olm = &olm;
    request.format = arguments.format;
    request.directory = &place.directory();
    request.filter = &arguments.filter;
    const std::unique_ptr<MailPrinter> printer = arguments.format == BundleFormat::Pdf ? pdfPrinter() : nullptr;
    request.printer = printer.get();
    request.pdfPerFolder = arguments.pdfPerFolder;
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
    QString placeNote;
    const bool placed = place.end(!report.stopped && report.notWritten.isEmpty(), &placeNote);

    if (arguments.json) {
        fputs(QJsonDocument(saveSummaryJson(arguments, bundle, report)).toJson(QJsonDocument::Compact).constData(),
              stdout);
        fputs("\n", stdout);
    } else {
        const char *output[] = {"Bundle: %1", "Standard files: %1", "EML files: %1", "PDF files: %1"};
        printLine(stdout, QString::fromLatin1(output[int(arguments.format)]).arg(bundle));
        if (!arguments.filter.isEmpty())
            printLine(stdout, QStringLiteral("Only the mails %1").arg(arguments.filter.description()));
        printLine(stdout, QStringLiteral("Written: %1").arg(writtenCountsText(report)));
        if (report.recoveredAttachmentsWritten > 0)
            printLine(stdout, QStringLiteral("Recovered attachments: %1 files without their mail")
                                  .arg(report.recoveredAttachmentsWritten));
        const QString losses = lossCountsText();
        printLine(stdout, QStringLiteral("Losses: %1").arg(losses.isEmpty() ? QStringLiteral("none") : losses));
    }
    fflush(stdout);
    if (!report.notWritten.isEmpty()) {
        printLine(stderr, QStringLiteral("Not written (%1 items):").arg(report.notWritten.size()));
        for (const UnwrittenItem &unwritten : report.notWritten)
            printLine(stderr, QLatin1String("  ") + unwritten.line());
    }
    if (!report.incomplete.isEmpty()) {
        printLine(stderr, QStringLiteral("Written incomplete (%1 items):").arg(report.incomplete.size()));
        for (const QString &line : report.incomplete)
            printLine(stderr, QLatin1String("  ") + line);
    }
    if (!placeNote.isEmpty())
        printLine(stderr, placeNote);
    if (report.stopped) {
        printLine(stderr, QStringLiteral("Saving Process Aborted. Files Saved Partially."));
        return kExitStopped;
    }
    if (!report.notWritten.isEmpty() || !report.incomplete.isEmpty() || !placed)
        return kExitNotAllWritten;
    if (scanIncomplete) {
        printLine(stderr, QStringLiteral("Saved incomplete: the scan stopped before the end of the file, so the items "
                                         "after that point were not saved."));
        return kExitIncomplete;
    }
    return 0;
}

} // namespace

// The named folders with everything below them; all folders when none is named.
bool selectFolders(const QStringList &paths, QVector<SaveFolder> *folders)
{
    QVector<qint64> ids;
    bool allKnown = true;
    for (const QString &path : paths) {
        const QVector<qint64> named = folderIdsForPath(path);
        if (named.isEmpty()) {
            printLine(stderr, QStringLiteral("No folder named \"%1\" in this file.").arg(path));
            allKnown = false;
        }
        ids += named;
    }
    if (ids.isEmpty())
        ids.append(llRootId);
    *folders = foldersAtOrBelow(ids);
    return allKnown;
}

int scanToSave(const QString &olmPath, bool *incomplete)
{
    DispatchCounts counts;
    FolderInformation parsers;
    ScanRefusal refusal;
    const ScanResult result = scanFile(olmPath, parsers, scanTerminalHooks(&counts), &refusal);
    if (stderrIsTerminal())
        fprintf(stderr, "\n");
    if (result == ScanResult::Refused)
        return reportRefusal(QFile::encodeName(olmPath), refusal);
    if (result == ScanResult::Incomplete)
        fprintf(stderr, "%s\n", recordSpaceFullMessage());
    if (incomplete)
        *incomplete = result == ScanResult::Incomplete;
    if (!anyRecordsLoaded()) {
        CleanListAndHash();
        fprintf(stderr, "%s\n", kInvalidFileMessage);
        return kExitNothingFound;
    }
    return 0;
}

bool savesPdf(const QList<QByteArray> &arguments)
{
    SaveArguments parsed;
    int status = 0;
    return parseArguments(arguments, &parsed, &status, Reporting::Quiet) == Parsed::Ready
           && parsed.format == BundleFormat::Pdf;
}

int runSave(const QList<QByteArray> &arguments)
{
    SaveArguments parsed;
    int status = 0;
    if (parseArguments(arguments, &parsed, &status) != Parsed::Ready)
        return status;
    bool scanIncomplete = false;
    status = scanToSave(parsed.olmPath, &scanIncomplete);
    if (status != 0)
        return status;
    status = saveScanned(parsed, scanIncomplete);
    CleanListAndHash();
    return status;
}
