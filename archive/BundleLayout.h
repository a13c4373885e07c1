#pragma once
// The archive bundle "Main Identity(…).rge": its name, its directories and fixed
// descriptor files, and the names of the item files inside it.
#include <QByteArray>
#include <QDateTime>
#include <QString>

class OutputDirectory;

// "(6 Dec 2026,21-50-07)": the time stamp between "Main Identity" and ".rge".
QString bundleTimeStamp(const QDateTime &moment);
// saveDir + "/Main Identity" + timeStamp + ".rge", made absolute.
QString bundlePathFor(const QString &saveDir, const QString &timeStamp);

// The item subdirectories; the mail writer creates "Mail" when it first needs it.
extern const char kContactsDirectory[]; // "Contacts"
extern const char kCalendarDirectory[]; // "Calendar"
extern const char kTasksDirectory[];    // "Tasks"
extern const char kNotesDirectory[];    // "Notes"
extern const char kMailDirectory[];     // "Mail"

// Creates the bundle directory at its full path, its four item subdirectories and
// Contents, and the descriptor files. False (with the reason in *error) when any of
// them could not be made: the caller reports that instead of saving into nothing.
bool CreateMailFolder(const QString &bundlePath, QString *error = nullptr);
// The same in a bundle directory made and opened beforehand.
bool CreateMailFolder(const OutputDirectory &bundle, QString *error = nullptr);
// Writes Contents/PkgInfo, Contents/Info.plist and Archive.xml into the bundle.
bool CreateFilesInMainIdentity(const OutputDirectory &bundle, QString *error = nullptr);

// The fixed contents of the three descriptor files.
extern const char kPkgInfo[];
extern const char kInfoPlist[];
extern const char kArchiveXml[];

// Appends the 13 characters that encode value, most significant base-32 digit first.
void dtoh(quint64 value, QString *out);
// The 26-character file name of an item: each half of the identifier's 16 bytes read
// as a little-endian number, encoded by dtoh and reversed. Empty when the identifier
// is not 32 hexadecimal digits.
QString itemFileName(const QByteArray &identifier);
