#include "cli/UploadCommand.h"

#include "cli/SaveCommand.h"
#include "cli/Terminal.h"
#include "olm/ScanState.h"
#include "scan/ScanSession.h"
#include "parsers/RecordLists.h"
#include "upload/DavUpload.h"
#include "upload/ImapUpload.h"

#include <QFile>
#include <QLoggingCategory>
#include <QProcessEnvironment>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

void printUploadUsage()
{
    fprintf(stderr,
            "usage: mendora-cli upload FILE imaps://USER@HOST[:PORT] [--folder PATH]... [--into ROOT]\n"
            "                          [--password-file F] [--ca-file F] [--carddav URL] [--caldav URL]\n"
            "       mendora-cli upload FILE imap://USER@HOST[:PORT] [--no-tls] ...\n"
            "  the password comes from --password-file, MENDORA_PASSWORD or, on a terminal, a prompt\n"
            "  --into ROOT    the folder that receives the rescued ones (default Rescued/<file name>)\n"
            "  imap://        STARTTLS; --no-tls sends everything in the clear\n"
            "  --ca-file F    trust the certificates in F (a server's own certificate)\n"
            "  --carddav URL, --caldav URL  put the contacts, the events and tasks into these collections\n");
}

void requestStop(int)
{
    stopflag = true;
}

struct UploadArguments {
    QString olmPath, address, root, passwordFile, caFile, carddav, caldav;
    QStringList folderPaths;
    bool noTls = false;
};

bool parseArguments(const QStringList &arguments, UploadArguments *parsed)
{
    QStringList positional;
    const struct {
        const char *name;
        QString *value;
    } valued[] = {{"--into", &parsed->root},        {"--password-file", &parsed->passwordFile},
                  {"--ca-file", &parsed->caFile},   {"--carddav", &parsed->carddav},
                  {"--caldav", &parsed->caldav}};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        bool taken = false;
        for (const auto &option : valued) {
            if (argument == QLatin1String(option.name) && i + 1 < arguments.size()) {
                *option.value = arguments.at(++i);
                taken = true;
            } else if (argument.startsWith(QLatin1String(option.name) + QLatin1Char('='))) {
                *option.value = argument.mid(int(qstrlen(option.name)) + 1);
                taken = true;
            }
        }
        if (taken)
            continue;
        if (argument == QLatin1String("--folder") && i + 1 < arguments.size())
            parsed->folderPaths.append(arguments.at(++i));
        else if (argument.startsWith(QLatin1String("--folder=")))
            parsed->folderPaths.append(argument.mid(9));
        else if (argument == QLatin1String("--no-tls"))
            parsed->noTls = true;
        else if (argument.startsWith(QLatin1String("--")))
            return false;
        else
            positional.append(argument);
    }
    // Without a mail account only the contacts and the calendar are uploaded.
    const bool davOnly = positional.size() == 1 && !(parsed->carddav.isEmpty() && parsed->caldav.isEmpty());
    if (positional.size() != 2 && !davOnly)
        return false;
    parsed->olmPath = positional.at(0);
    parsed->address = positional.value(1);
    return true;
}

// A password typed on the terminal is not shown.
QString promptForPassword(const QString &account)
{
    fprintf(stderr, "Password for %s: ", account.toUtf8().constData());
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

int uploadScanned(const UploadArguments &arguments, const ImapAccount &account)
{
    QVector<SaveFolder> folders;
    if (!selectFolders(arguments.folderPaths, &folders))
        return kExitUnknownFolder;
    const FileTextReader olm(fileDescriptor, lSize);

    bool complete = true;
    bool stopped = false;
    if (!account.host.isEmpty()) {
        MailUploadRequest request;
        request.account = account;
        request.root = rootNames(arguments);
        request.folderIds = mailFolderIds(folders);
        request.olm = &olm;
        const MailUploadReport mails = withProgress(QStringLiteral("Uploading Mails..."),
                                                    [&request](const UploadHooks &hooks) { return uploadMails(request, hooks); });
        if (!mails.failure.isEmpty()) {
            printLine(stderr, mails.failure);
            return kExitNoConnection;
        }
        printLine(stdout, QStringLiteral("Uploaded: %1 mails (%2 already there)").arg(mails.uploaded).arg(mails.alreadyThere));
        fflush(stdout);
        printNotUploaded(mails.notUploaded);
        complete = mails.notUploaded.isEmpty();
        stopped = mails.stopped;
    }

    const struct {
        const QString &url;
        DavCollection collection;
    } collections[] = {{arguments.carddav, DavCollection::Contacts}, {arguments.caldav, DavCollection::Calendar}};
    for (const auto &target : collections) {
        if (target.url.isEmpty() || stopped)
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
        printNotUploaded(report.notUploaded);
        complete = complete && report.notUploaded.isEmpty();
        stopped = stopped || report.stopped;
    }
    if (stopped) {
        printLine(stderr, QStringLiteral("Upload stopped. What was uploaded stays in the account; run it again to go on."));
        return kExitStopped;
    }
    return complete ? 0 : kExitNotAllWritten;
}

} // namespace

int runUpload(const QStringList &arguments)
{
    UploadArguments parsed;
    if (!parseArguments(arguments, &parsed)) {
        printUploadUsage();
        return kExitUsage;
    }
    ImapAccount account;
    QString error;
    if (!parsed.address.isEmpty() && !parseImapAddress(parsed.address, parsed.noTls, &account, &error)) {
        printLine(stderr, QStringLiteral("%1: %2.").arg(parsed.address, error));
        return kExitUsage;
    }
    account.caFile = parsed.caFile;
    const QString accountName = parsed.address.isEmpty() ? (parsed.carddav.isEmpty() ? parsed.caldav : parsed.carddav)
                                                         : account.user + QLatin1Char('@') + account.host;
    if (!readPassword(parsed, accountName, &account.password))
        return kExitUsage;
    // What went wrong is said once, in the report; the IMAP library's own log stays quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("org.kde.pim.*=false"));
    const int scanned = scanToSave(parsed.olmPath);
    if (scanned != 0)
        return scanned;
    const int status = uploadScanned(parsed, account);
    CleanListAndHash();
    return status;
}
