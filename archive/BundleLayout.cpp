#include "archive/BundleLayout.h"

#include "archive/OutputFile.h"
#include "platform/UuidBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

const char kContactsDirectory[] = "Contacts";
const char kCalendarDirectory[] = "Calendar";
const char kTasksDirectory[] = "Tasks";
const char kNotesDirectory[] = "Notes";
const char kMailDirectory[] = "Mail";

const char kPkgInfo[] = "rge OPIM";

#define PLIST_HEAD                                                                                          \
    "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\n"                                                          \
    "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.1//EN\" "                                     \
    "\"http://www.apple.com/DTDs/PropertyList-1.1.dtd\">\n"                                                 \
    "<plist version=\"1.1\">\n"                                                                             \
    "<dict>\n"

const char kInfoPlist[] = PLIST_HEAD
    "\t<key>CFBundleDevelopmentRegion</key>\n"
    "\t<string>English</string>\n"
    "\t<key>CFBundleInfoDictionaryVersion</key>\n"
    "\t<string>6.0</string>\n"
    "\t<key>CFBundlePackageType</key>\n"
    "\t<string>rge </string>\n"
    "\t<key>CFBundleSignature</key>\n"
    "\t<string>OPIM</string>\n"
    "</dict>\n"
    "</plist>\n";

const char kArchiveXml[] = PLIST_HEAD
    "\t<key>Type</key>\n"
    "\t<string>All</string>\n"
    "\t<key>Version</key>\n"
    "\t<integer>1</integer>\n"
    "</dict>\n"
    "</plist>\n";
#undef PLIST_HEAD

QString bundleTimeStamp(const QDateTime &moment)
{
    return QLatin1Char('(') + moment.toString(QStringLiteral("d MMM yyyy,hh-mm-ss")) + QLatin1Char(')');
}

QString bundlePathFor(const QString &saveDir, const QString &timeStamp)
{
    return QFileInfo(saveDir + QLatin1String("/Main Identity") + timeStamp + QLatin1String(".rge")).absoluteFilePath();
}

namespace {
bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

bool writeWhole(const OutputDirectory &bundle, const char *name, const char *text, QString *error)
{
    OutputFile file;
    const qint64 length = qint64(qstrlen(text));
    if (!file.openIn(bundle, QLatin1String(name), OutputFile::Creation::New))
        return fail(error, QStringLiteral("cannot create %1: %2").arg(file.path(), file.errorString()));
    if (file.write(text, length) != length || !file.flush())
        return fail(error, QStringLiteral("cannot write %1: %2").arg(file.path(), file.failure()));
    return true;
}
} // namespace

bool CreateFilesInMainIdentity(const OutputDirectory &bundle, QString *error)
{
    return writeWhole(bundle, "Contents/PkgInfo", kPkgInfo, error)
           && writeWhole(bundle, "Contents/Info.plist", kInfoPlist, error)
           && writeWhole(bundle, "Archive.xml", kArchiveXml, error);
}

bool CreateMailFolder(const OutputDirectory &bundle, QString *error)
{
    for (const char *name : {kContactsDirectory, kCalendarDirectory, kTasksDirectory, kNotesDirectory, "Contents"}) {
        QString reason;
        if (!bundle.makePath(QLatin1String(name), &reason))
            return fail(error, QStringLiteral("cannot create %1/%2: %3").arg(bundle.path(), QLatin1String(name), reason));
    }
    return CreateFilesInMainIdentity(bundle, error);
}

bool CreateMailFolder(const QString &bundlePath, QString *error)
{
    OutputDirectory bundle;
    QString reason;
    if (!QDir().mkpath(bundlePath) || !bundle.open(bundlePath, &reason))
        return fail(error, QStringLiteral("cannot create %1 %2").arg(bundlePath, reason).trimmed());
    return CreateMailFolder(bundle, error);
}

void dtoh(quint64 value, QString *out)
{
    static const char kDigitCharacters[] = "ABCEDFGHIJKLMNOPQRSTUVWXYZ012345";
    for (int position = 12; position >= 0; --position)
        out->append(QLatin1Char(kDigitCharacters[(value >> (5 * position)) & 31]));
}

QString itemFileName(const QByteArray &identifier)
{
    UuidBytes bytes;
    if (!parseIdentifier(identifier, &bytes))
        return QString();
    QString name;
    for (int half = 0; half < 2; ++half) {
        quint64 value = 0;
        for (int i = 7; i >= 0; --i)
            value = value << 8 | bytes[size_t(half * 8 + i)];
        QString part;
        dtoh(value, &part);
        std::reverse(part.begin(), part.end());
        name += part;
    }
    return name;
}
