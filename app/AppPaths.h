#pragma once
// Where the application finds the files shipped with it: the agreement text, the help
// page and the links file. In the bundle layout the executable sits in
// Mendora.app/Contents/MacOS and they sit in Mendora.app/Contents/Resources; once
// installed, the executable sits in <prefix>/bin and they in <prefix>/share/mendora.
#include <QString>

class QWidget;

// The one place a distributed copy must not run from.
extern const char kDiskImageExecutableDirectory[]; // "/Volumes/Mendora/Mendora.app/Contents/MacOS"

// The parent of the executable's directory, then "Resources".
QString resourcesDirectoryFor(const QString &executableDirectory);
// The installed data directory, found from the installed executable's directory.
QString installedDataDirectoryFor(const QString &executableDirectory);
// The shipped file `name` (a path relative to the directories above): beside the
// executable when it is there, else in the installed data directory, else the path
// beside the executable, so that a message names where it was looked for first.
QString shippedFilePathFor(const QString &executableDirectory, const QString &name);
QString linksFilePath();     // "MendoraLink.plist"
QString helpPagePath();      // "help/Mendora_Help.htm"
QString agreementTextPath(); // "Eula.txt"

// The string stored under key in a property list's top-level dictionary; empty when
// the file, the key or its string is missing.
QString readLinkFromPropertyList(const QString &plistPath, const QString &key);

// Hands a link to the system's opener (browser, mail program); an empty link does nothing.
void openLink(const QString &link);
// Opens a file shipped beside the application (help page, agreement) with the system's
// handler, or, where there is none, in a window of the application.
void openLocalPage(QWidget *parent, const QString &path, const QString &title);
