#include "cli/UploadCommand.h"

#include "archive/VisibleText.h"
#include "cli/MailFilterOptions.h"
#include "cli/SaveCommand.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "olm/ScanState.h"
#include "scan/ScanSession.h"
#include "parsers/RecordLists.h"
#include "upload/DavUpload.h"
#include "upload/ImapUpload.h"

#include <QFile>
#include <QProcessEnvironment>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

void requestStop(int)
{
    stopflag = true;
}

struct UploadArguments {
    QString olmPath, address, root, passwordFile, caFile, carddav, caldav;
    QStringList folderPaths;
    MailFilter filter;
    bool noTls = false;
};

enum class Parsed { Ready, HelpShown, Refused };

// Options may stand anywhere; after "--" every argument is a name. Names are taken as text.
Parsed parseArguments(const QList<QByteArray> &arguments, UploadArguments *parsed, int *status)
{
    QStringList positional;
    bool optionsEnded = false;
    auto refuse = [status](const QByteArray &message) {
        *status = usageError(Command::Upload, message);
        return Parsed::Refused;
    };
    const struct {
        QByteArray name;
        QString *value;
    } valued[] = {{"--into", &parsed->root},      {"--password-file", &parsed->passwordFile},
                  {"--ca-file", &parsed->caFile}, {"--carddav", &parsed->carddav},
                  {"--caldav", &parsed->caldav},  {"--folder", nullptr}};
    for (int i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments.at(i);
        if (optionsEnded || argument == "-" || !argument.startsWith('-')) {
            positional.append(QFile::decodeName(argument));
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (isHelpOption(argument)) {
            *status = printHelp(Command::Upload);
            return Parsed::HelpShown;
        }
        if (argument == "--no-tls") {
            parsed->noTls = true;
            continue;
        }
        bool taken = false;
        for (const auto &option : valued) {
            QByteArray value;
            if (argument == option.name) {
                if (i + 1 >= arguments.size())
                    return refuse(option.name + " needs a value");
                value = arguments.at(++i);
            } else if (argument.startsWith(option.name + '=')) {
                value = argument.mid(option.name.size() + 1);
            } else {
                continue;
            }
            if (option.value)
                *option.value = QFile::decodeName(value);
            else
                parsed->folderPaths.append(QFile::decodeName(value));
            taken = true;
            break;
        }
        if (taken)
            continue;
        QByteArray error;
        const FilterOption filterOption = takeFilterOption(arguments, &i, &parsed->filter, &error);
        if (filterOption == FilterOption::Refused)
            return refuse(error);
        if (filterOption == FilterOption::NotOne)
            return refuse("unknown option '" + argument + "'");
    }
    QByteArray rangeError;
    if (!filterRangeUsable(parsed->filter, &rangeError))
        return refuse(rangeError);
    // Without a mail account only the contacts and the calendar are uploaded.
    const bool davOnly = positional.size() == 1 && !(parsed->carddav.isEmpty() && parsed->caldav.isEmpty());
    if (positional.isEmpty())
        return refuse("missing FILE and the account imaps://USER@HOST");
    if (positional.size() == 1 && !davOnly)
        return refuse("missing the account imaps://USER@HOST");
    if (positional.size() > 2)
        return refuse("unexpected argument '" + QFile::encodeName(positional.at(2)) + "'");
    parsed->olmPath = positional.at(0);
    parsed->address = positional.value(1);
    return Parsed::Ready;
}

// A password typed on the terminal is not shown.
QString promptForPassword(const QString &account)
{
    fprintf(stderr, "Password for %s: ", visibleText(account).toUtf8().constData());
    fflush(stderr);
    termios saved;
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    const QByteArray line = input.readLine();
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    fprintf(stderr, "\n");
    return QString::fromUtf8(line).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

// The password from the file (its first line), the environment or the terminal; false when there is none.
bool readPassword(const UploadArguments &arguments, const QString &account, QString *password)
{
    if (!arguments.passwordFile.isEmpty()) {
        QFile file(arguments.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            printLine(stderr, QStringLiteral("The password file %1 could not be read: %2.")
                                  .arg(arguments.passwordFile, file.errorString()));
            return false;
        }
        *password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        return true;
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("MENDORA_PASSWORD"))) {
        *password = environment.value(QStringLiteral("MENDORA_PASSWORD"));
        return true;
    }
    if (isatty(STDIN_FILENO)) {
        *password = promptForPassword(account);
        return true;
    }
    printLine(stderr, QStringLiteral("No password: give it in a file (--password-file) or in MENDORA_PASSWORD."));
    return false;
}

QStringList rootNames(const UploadArguments &arguments)
{
    if (arguments.root.isEmpty())
        return defaultUploadRoot(arguments.olmPath);
    return arguments.root.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// Runs one upload with a progress bar; Ctrl-C stops it between two items.
template <typename Upload>
auto withProgress(const QString &caption, Upload upload)
{
    TerminalProgressBar bar;
    UploadHooks hooks;
    hooks.started = [&bar, &caption](qint64 items) {
        bar.setMaximum(items);
        bar.setCaption(caption);
    };
    hooks.itemDone = [&bar] { bar.advance(); };
    hooks.stopRequested = [] { return bool(stopflag); };
    stopflag = false;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    const auto report = upload(hooks);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    bar.finish();
    return report;
}

void printNotUploaded(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    printLine(stderr, QStringLiteral("Not uploaded (%1 items):").arg(lines.size()));
    for (const QString &line : lines)
        printLine(stderr, QLatin1String("  ") + line);
}

// What the chosen folders hold that this upload takes nowhere, so that nothing stays
// behind unsaid: the kinds whose account was not given, the mails the filter did not
// take and, under a filter, every other kind.
void printNotCarried(const UploadArguments &arguments, const QVector<SaveFolder> &folders, bool toImap,
                     qint64 leftOutByFilter)
{
    QStringList kinds;
    const auto name = [&kinds](qint64 count, const char *what, const char *why) {
        if (count > 0)
            kinds << QStringLiteral("%1 %2 (%3)").arg(count).arg(QLatin1String(what), QLatin1String(why));
    };
    qint64 mails = 0;
    const QVector<qint64> mailFolders = mailFolderIds(folders);
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail && !toImap; mail = mail->Next)
        mails += mailFolders.contains(qint64(mail->ParentId)) ? 1 : 0;
    name(mails, "mails", "no IMAP account was given");
    const QString filter = arguments.filter.description();
    if (leftOutByFilter > 0)
        kinds << QStringLiteral("%1 mails (not chosen by the filter: %2)").arg(leftOutByFilter).arg(filter);
    const bool filtered = !arguments.filter.isEmpty();
    const char *const filterReason = "the filter chooses mails only";
    if (includesKind(folders, ItemKind::Contact) && (arguments.carddav.isEmpty() || filtered))
        name(ContactItemCount, "contacts", filtered ? filterReason : "no --carddav address was given");
    if (arguments.caldav.isEmpty() || filtered) {
        const char *why = filtered ? filterReason : "no --caldav address was given";
        name(includesKind(folders, ItemKind::Event) ? CalendarItemCount : 0, "events", why);
        name(includesKind(folders, ItemKind::Task) ? TaskItemCount : 0, "tasks", why);
    }
    name(includesKind(folders, ItemKind::Note) && (!toImap || filtered) ? NotesItemCount : 0, "notes",
         filtered ? filterReason : "no IMAP account was given");
    if (!kinds.isEmpty())
        printLine(stdout, QStringLiteral("Not carried by this upload: ") + kinds.join(QStringLiteral(", ")));
}

int uploadScanned(const UploadArguments &arguments, const ImapAccount &account)
{
    QVector<SaveFolder> folders;
    if (!selectFolders(arguments.folderPaths, &folders))
        return kExitUnknownFolder;
    const FileTextReader olm(fileDescriptor, lSize);

    bool complete = true;
    bool stopped = false;
    qint64 leftOutByFilter = 0;
    const bool filtered = !arguments.filter.isEmpty();
    if (filtered)
        printLine(stdout, QStringLiteral("Only the mails %1").arg(arguments.filter.description()));
    if (!account.host.isEmpty()) {
        MailUploadRequest request;
        request.account = account;
        request.root = rootNames(arguments);
        request.folderIds = mailFolderIds(folders);
        request.filter = arguments.filter;
        request.notes = includesKind(folders, ItemKind::Note) && !filtered;
        request.olm = &olm;
        const MailUploadReport mails = withProgress(QStringLiteral("Uploading Mails..."),
                                                    [&request](const UploadHooks &hooks) { return uploadMails(request, hooks); });
        if (!mails.failure.isEmpty()) {
            printLine(stderr, mails.failure);
            if (!mails.untrustedCertificate.isEmpty())
                printLine(stderr, QStringLiteral("A server's own certificate can be trusted with --ca-file."));
            return kExitNoConnection;
        }
        printLine(stdout, QStringLiteral("Uploaded: %1 mails (%2 already there)").arg(mails.uploaded).arg(mails.alreadyThere));
        if (request.notes)
            printLine(stdout, QStringLiteral("Uploaded: %1 notes into \"%2\" (%3 already there)")
                                  .arg(mails.notesUploaded)
                                  .arg((request.root + QStringList{QStringLiteral("Notes")}).join(QLatin1Char('/')))
                                  .arg(mails.notesAlreadyThere));
        fflush(stdout);
        for (const QString &line : mails.renamedFolders)
            printLine(stderr, line);
        printNotUploaded(mails.notUploaded);
        complete = mails.notUploaded.isEmpty();
        stopped = mails.stopped;
        leftOutByFilter = mails.leftOutByFilter;
    }

    const struct {
        const QString &url;
        DavCollection collection;
    } collections[] = {{arguments.carddav, DavCollection::Contacts}, {arguments.caldav, DavCollection::Calendar}};
    for (const auto &target : collections) {
        if (target.url.isEmpty() || stopped || filtered)
            continue;
        DavUploadRequest dav;
        dav.url = target.url;
        dav.collection = target.collection;
        dav.user = account.user;
        dav.password = account.password;
        dav.caFile = account.caFile;
        dav.allowPlain = arguments.noTls;
        dav.folders = folders;
        dav.olm = &olm;
        const DavUploadReport report = withProgress(target.collection == DavCollection::Contacts
                                                        ? QStringLiteral("Uploading Contacts...")
                                                        : QStringLiteral("Uploading Calendar..."),
                                                    [&dav](const UploadHooks &hooks) { return uploadToDav(dav, hooks); });
        if (!report.failure.isEmpty()) {
            printLine(stderr, report.failure);
            return kExitNoConnection;
        }
        printLine(stdout, QStringLiteral("Uploaded: %1 %2 (%3 replaced)")
                              .arg(report.created + report.replaced)
                              .arg(target.collection == DavCollection::Contacts ? QStringLiteral("contacts")
                                                                                : QStringLiteral("events and tasks"))
                              .arg(report.replaced));
        fflush(stdout);
        for (const QString &line : report.renamedItems)
            printLine(stderr, line);
        printNotUploaded(report.notUploaded);
        complete = complete && report.notUploaded.isEmpty();
        stopped = stopped || report.stopped;
    }
    printNotCarried(arguments, folders, !account.host.isEmpty(), leftOutByFilter);
    if (stopped) {
        printLine(stderr, QStringLiteral("Upload stopped. What was uploaded stays in the account; run it again to go on."));
        return kExitStopped;
    }
    return complete ? 0 : kExitNotAllWritten;
}

} // namespace

int runUpload(const QList<QByteArray> &arguments)
{
    UploadArguments parsed;
    int status = 0;
    if (parseArguments(arguments, &parsed, &status) != Parsed::Ready)
        return status;
    ImapAccount account;
    QString error;
    if (!parsed.address.isEmpty() && !parseImapAddress(parsed.address, parsed.noTls, &account, &error))
        return usageError(Command::Upload, error.toUtf8());
    account.caFile = parsed.caFile;
    const QString accountName = parsed.address.isEmpty() ? (parsed.carddav.isEmpty() ? parsed.caldav : parsed.carddav)
                                                         : account.user + QLatin1Char('@') + account.host;
    if (parsed.noTls)
        printLine(stderr, QStringLiteral("Warning: --no-tls sends the password and everything uploaded to %1 "
                                         "unencrypted: anyone on the way can read them.")
                              .arg(accountName));
    if (!readPassword(parsed, accountName, &account.password))
        return kExitUsage;
    status = scanToSave(parsed.olmPath);
    if (status != 0)
        return status;
    status = uploadScanned(parsed, account);
    CleanListAndHash();
    return status;
}
