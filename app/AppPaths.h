#pragma once
// Where the application finds the files shipped beside it. The executable sits in
// Mendora.app/Contents/MacOS; the agreement text, the help page and the links file
// sit in Mendora.app/Contents/Resources.
#include <QString>

class QWidget;

// The one place a distributed copy must not run from.
extern const char kDiskImageExecutableDirectory[]; // "/Volumes/Mendora/Mendora.app/Contents/MacOS"

// The parent of the executable's directory, then "Resources".
QString resourcesDirectoryFor(const QString &executableDirectory);
// resourcesDirectoryFor(QCoreApplication::applicationDirPath()).
QString resourcesDirectory();
QString linksFilePath();   // resourcesDirectory() + "/MendoraLink.plist"
QString helpPagePath();    // resourcesDirectory() + "/help/Mendora_Help.htm"
QString agreementTextPath(); // resourcesDirectory() + "/Eula.txt"

// The string stored under key in a property list's top-level dictionary; empty when
// the file, the key or its string is missing.
QString readLinkFromPropertyList(const QString &plistPath, const QString &key);

// Hands a link to the system's opener (browser, mail program); an empty link does nothing.
void openLink(const QString &link);
// Opens a file shipped beside the application (help page, agreement) with the system's
// handler, or, where there is none, in a window of the application.
void openLocalPage(QWidget *parent, const QString &path, const QString &title);
