#pragma once
// What mendora-cli tells about itself: the help of the program and of each command,
// the version, and the usage errors. Help asked for goes to standard output; a usage
// error goes to standard error with the usage, and ends with status 64.
#include <QByteArray>
#include <QList>

enum class Command { None, Scan, Save, Find, Upload };

// "scan", "save", "find", "upload"; Command::None for anything else.
Command commandNamed(const QByteArray &name);

bool isHelpOption(const QByteArray &argument); // -h or --help

// Prints the help of the program (Command::None) or of one command on standard output; returns 0.
int printHelp(Command command);
// "mendora-cli <version>" on standard output; returns 0.
int printVersion();
// "mendora-cli[ command]: <message>", then the usage of the command (of the program
// for Command::None), on standard error; returns the usage exit status.
int usageError(Command command, const QByteArray &message);

// `help [COMMAND]` with the arguments after "help".
int runHelp(const QList<QByteArray> &arguments);
