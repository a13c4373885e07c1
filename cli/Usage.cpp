#include "cli/Usage.h"

#include "archive/VisibleText.h"
#include "cli/Terminal.h"

#include <BuildConfig.h>
#include <cstdio>

namespace {

struct CommandText {
    Command command;
    const char *name;
    const char *synopsis;    // after "mendora-cli "
    const char *summary;     // one line for the list of commands
    const char *description; // the first lines of the command's own help
    const char *options;     // its options, as the help lists them; empty when it has none
};

// The FILTERs of save and upload, as their help lists them.
#define FILTER_OPTIONS                                                                    \
    "      --since DATE     only mails dated at or after DATE (the date their Date line\n"    \
    "                       shows); DATE is YYYY-MM-DD or \"YYYY-MM-DD HH:MM\" in the local\n" \
    "                       zone, or ISO 8601 with a zone (2020-05-01T10:30+02:00)\n"         \
    "      --until DATE     only mails dated up to the end of the day, minute or second\n"    \
    "                       DATE names\n"                                                    \
    "      --from TEXT      only mails whose sender's name or address holds TEXT\n"          \
    "      --to TEXT        only mails with a recipient (To, Cc, Bcc) whose name or\n"       \
    "                       address holds TEXT\n"                                            \
    "      --subject TEXT   only mails whose subject holds TEXT\n"                           \
    "      --text TEXT      only mails whose subject or body holds TEXT\n"                   \
    "      --with-attachments\n"                                                             \
    "                       only mails with attachments\n"                                   \
    "                       These are the FILTERs: they go together, and with --folder;\n"   \
    "                       case does not count.\n"

// The manual page is made from these texts by help2man: "Usage:" lines, a heading
// ending in a colon for each section, options indented by two spaces.
const CommandText kCommands[] = {
    {Command::Scan, "scan", "scan [--json [--items]] [--record-memory MB] [--] FILE",
     "report what FILE holds: items per kind and folders",
     "Scan FILE, an Outlook for Mac export (.olm), damaged or not, and report what it holds:\n"
     "the items per kind and the folders.\n",
     "      --json           print the report as JSON, on one line\n"
     "      --items          with --json: list every item found\n"
     "      --record-memory MB\n"
     "                       stop taking items once their records fill MB mebibytes;\n"
     "                       the items found so far are reported (exit status 7)\n"},
    {Command::Save, "save", "save FILE DESTDIR [--folder PATH]... [--format rge|standard|eml|pdf [--pdf-per-folder]] [FILTER]... [--replace] [--json] [--record-memory MB]",
     "save the items of FILE into DESTDIR",
     "Scan FILE and save its items into the directory DESTDIR: as the Entourage archive\n"
     "bundle \"Main Identity(<date>).rge\", as standard files (mbox, vCard, iCalendar), with\n"
     "every mail in an .eml file of its own, or with every mail as a PDF document.\n"
     "Prints the output's path and the items written per kind; names every item that\n"
     "could not be written on standard error.\n",
     "      --folder PATH    save the folder PATH (\"On My Computer/Inbox\") and every folder\n"
     "                       below it; may be given more than once; default: all folders\n"
     "      --format rge|standard|eml|pdf\n"
     "                       rge (the default): the Entourage archive bundle; standard:\n"
     "                       mbox, vCard and iCalendar files in DESTDIR/\"<file name> (rescued)\";\n"
     "                       eml: one \"YYYY-MM-DD HHMM - Subject.eml\" file per mail, in\n"
     "                       folders as the export has them, and the other kinds as standard\n"
     "                       files, in DESTDIR/\"<file name> (rescued eml)\"; pdf: as eml, but\n"
     "                       every mail a PDF document named the same way (.pdf) with its\n"
     "                       header, its body as the window shows it, numbered pages and its\n"
     "                       attachments inside, in DESTDIR/\"<file name> (rescued pdf)\"\n"
     "      --pdf-per-folder\n"
     "                       with --format pdf: one PDF document per folder, holding its\n"
     "                       mails each from a new page, where the folder's mbox would be\n"
     "      --replace        with --format standard, eml or pdf: replace an existing output\n"
     FILTER_OPTIONS
     "                       With a filter only mails are saved, no other kind of item.\n"
     "      --json           print the summary as JSON: the output path, the items written\n"
     "                       per kind, the items not written with why, and the account of\n"
     "                       losses\n"
     "      --record-memory MB\n"
     "                       stop taking items once their records fill MB mebibytes; what\n"
     "                       was found is saved and the save exits with status 7\n"},
    {Command::Find, "find", "find DIR", "list every .olm file below DIR",
     "List every .olm file (.OLM, .Olm too) below the directory DIR as PATH<tab>SIZE, one a\n"
     "line, in the order the desktop application's search lists them. A backslash in a path\n"
     "is written as \\\\, a tab, newline or carriage return as \\t, \\n or \\r, any other control\n"
     "character as \\xHH or \\u00HH.\n",
     ""},
    {Command::Upload, "upload", "upload FILE imaps://USER@HOST[:PORT] [--folder PATH]... [FILTER]... [--into ROOT] [OPTION]...",
     "put the mails of FILE into a mail account (IMAP), contacts and calendar over CardDAV/CalDAV",
     "Scan FILE and append its mails to the mail account as the messages the standard files\n"
     "hold, each with its own date and read mark, in folders below ROOT. Mails whose\n"
     "Message-ID their folder holds already are skipped: a run cut short is run again.\n"
     "The password comes from --password-file, MENDORA_PASSWORD or, on a terminal, a prompt.\n",
     "      --folder PATH    upload the folder PATH and every folder below it; may be given\n"
     "                       more than once; default: all folders\n"
     FILTER_OPTIONS
     "                       With a filter only mails are uploaded, no other kind of item;\n"
     "                       the mails it did not take are counted at the end.\n"
     "      --into ROOT      the folder, with / between levels, that receives the rescued\n"
     "                       ones; default: Rescued/<file name>\n"
     "      --password-file F\n"
     "                       read the password from the first line of F\n"
     "      --ca-file F      trust the certificates in F (a server's own certificate)\n"
     "      --no-tls         with imap://: no STARTTLS, the password goes in the clear\n"
     "      --carddav URL    put every contact into the address book at URL\n"
     "      --caldav URL     put every event and task into the calendar at URL; with one of\n"
     "                       these the mail account may be left out\n"},
};

const char kDescription[] =
    "Rescue what an Outlook for Mac export (.olm) still holds, damaged or not: mails with\n"
    "their attachments, contacts, calendar events, tasks and notes.\n";

const char kGeneralOptions[] =
    "  -h, --help           show this help and exit; after a command, that command's help\n"
    "      --version        show the version and exit\n"
    "      --               end of the options: every later argument is a name\n";

const char kExitStatuses[] =
    "Exit status:\n"
    "  0    success\n"
    "  1    save, upload: some items could not be written; each is named on standard error\n"
    "  2    the file cannot be read: not a regular file, or the system refused the read\n"
    "  3    scan, save: the file was read whole and held nothing recognisable;\n"
    "       find: no .olm file was found\n"
    "  4    save: the output could not be created\n"
    "  5    save: a folder named with --folder is not in the file\n"
    "  6    save: stopped by Ctrl-C or SIGTERM; the output holds whole items only\n"
    "  7    scan: the record memory or the temporary disk filled up; the items found\n"
    "       so far were reported\n"
    "  8    upload: no connection, an untrusted certificate or a refused login\n"
    "  9    what the command reports could not be written to standard output\n"
    "  10   the file does not exist\n"
    "  11   the file is a directory\n"
    "  12   no permission to read the file\n"
    "  13   the file is empty\n"
    "  64   usage error: a missing or unknown command, option or argument\n";

const CommandText *textOf(Command command)
{
    for (const CommandText &text : kCommands)
        if (text.command == command)
            return &text;
    return nullptr;
}

QByteArray usageLines(Command command)
{
    if (const CommandText *text = textOf(command))
        return QByteArray("Usage: mendora-cli ") + text->synopsis + '\n';
    QByteArray lines;
    const char *lead = "Usage: ";
    for (const CommandText &text : kCommands) {
        lines += QByteArray(lead) + "mendora-cli " + text.synopsis + '\n';
        lead = "  or:  ";
    }
    lines += QByteArray(lead) + "mendora-cli help [COMMAND]\n";
    lines += QByteArray(lead) + "mendora-cli --help | --version\n";
    return lines;
}

QByteArray helpText(Command command)
{
    QByteArray help = usageLines(command);
    help += '\n';
    if (const CommandText *text = textOf(command)) {
        help += text->description;
        help += "\nOptions:\n";
        help += text->options;
        help += "  -h, --help           show this help and exit\n";
        help += "\nThe exit statuses are listed by 'mendora-cli --help'.\n";
        return help;
    }
    help += kDescription;
    help += "\nCommands:\n";
    for (const CommandText &text : kCommands)
        help += QByteArray("  ") + QByteArray(text.name).leftJustified(19) + text.summary + '\n';
    help += QByteArray("  ") + QByteArray("help [COMMAND]").leftJustified(19) + "show this help, or that of COMMAND\n";
    help += "\nOptions:\n";
    help += kGeneralOptions;
    for (const CommandText &text : kCommands) {
        if (*text.options)
            help += QByteArray("\nOptions of ") + text.name + ":\n" + text.options;
    }
    help += '\n';
    help += kExitStatuses;
    help += "\nReport bugs to support@example.com.\n";
    return help;
}

} // namespace

Command commandNamed(const QByteArray &name)
{
    for (const CommandText &text : kCommands)
        if (name == text.name)
            return text.command;
    return Command::None;
}

bool isHelpOption(const QByteArray &argument)
{
    return argument == "-h" || argument == "--help";
}

int printHelp(Command command)
{
    fputs(helpText(command).constData(), stdout);
    return 0;
}

int printVersion()
{
    fputs("mendora-cli " MENDORA_VERSION "\n", stdout);
    return 0;
}

int usageError(Command command, const QByteArray &message)
{
    const CommandText *text = textOf(command);
    QByteArray lines = QByteArray("mendora-cli") + (text ? QByteArray(" ") + text->name : QByteArray()) + ": "
                       + visibleBytes(message) + '\n';
    lines += usageLines(command);
    lines += "Try 'mendora-cli --help' for more information.\n";
    fputs(lines.constData(), stderr);
    return kExitUsage;
}

int runHelp(const QList<QByteArray> &arguments)
{
    if (arguments.isEmpty())
        return printHelp(Command::None);
    if (arguments.size() > 1)
        return usageError(Command::None, "help takes one command name");
    const Command command = commandNamed(arguments.first());
    if (command == Command::None)
        return usageError(Command::None, "unknown command '" + arguments.first() + "'");
    return printHelp(command);
}
