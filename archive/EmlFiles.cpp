#include "archive/EmlFiles.h"

#include "archive/BundleLayout.h"
#include "archive/FileNames.h"
#include "archive/MailHeaders.h"
#include "archive/MailFilter.h"
#include "archive/OutputFile.h"
#include "archive/StandardFiles.h"
#include "archive/StandardFormat.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

namespace {
const char kEmlSuffix[] = ".eml";
// A file name holds 255 bytes; room is left for " (12345)" and ".eml".
constexpr int kLongestBaseName = 255 - 8 - 4;

// Characters a file name must not hold, or that would show it as another: controls,
// invisible format characters (bidirectional overrides), halves of a character, path
// separators, and the ":" that macOS shows as "/".
bool unfitForName(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
           || c.category() == QChar::Other_Surrogate || c == QLatin1Char('/') || c == QLatin1Char('\\')
           || c == QLatin1Char(':');
}
} // namespace

QString emlOutputPath(const QString &destination, const QString &olmPath)
{
    return rescuedOutputPath(destination, olmPath, "rescued eml");
}

QString emlBaseName(const MailMLRC &mail)
{
    const MailDetails &details = detailsOf(&mail);
    QString subject = headerSafe(mail.Subject[0] ? utf8Field(mail.Subject) : details.subject);
    for (int i = 0; i < subject.size(); ++i) {
        if (subject.at(i).isHighSurrogate() && i + 1 < subject.size() && subject.at(i + 1).isLowSurrogate())
            ++i; // a whole character beyond the first plane, an emoji say
        else if (unfitForName(subject.at(i)))
            subject[i] = QLatin1Char('_');
    }
    subject = subject.simplified();
    // Finder hides a name's leading dots and some systems drop trailing ones.
    while (subject.endsWith(QLatin1Char('.')))
        subject.chop(1);
    if (subject.isEmpty())
        subject = QStringLiteral("(no subject)");
    const QString stamp = mailDate(mail).toString(QStringLiteral("yyyy-MM-dd HHmm"));
    const QString base = stamp + QLatin1String(" - ");
    return base + cutToUtf8Bytes(subject, kLongestBaseName - base.toUtf8().size()).trimmed();
}

bool MessageFileNames::create(const QString &folder, const QString &base, const QString &suffix, OutputFile *file,
                              QIODevice::OpenMode mode, QString *reason)
{
    QSet<QString> &taken = m_takenNames[folder];
    for (int n = 1;; ++n) {
        const QString name = base + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + suffix;
        if (taken.contains(fileNameKey(name)))
            continue;
        taken.insert(fileNameKey(name));
        // Never over another file: a name that is there already is passed by.
        if (file->openIn(m_directory, folder + QLatin1Char('/') + name, OutputFile::Creation::New, mode))
            return true;
        if (!file->nameTaken()) {
            *reason = QStringLiteral("cannot create %1: %2").arg(file->path(), file->errorString());
            return false;
        }
    }
}

bool EmlFiles::addMail(const MailMLRC &mail, const QString &folderDirectory, const TextReader &olm,
                       QStringList *problems, QString *reason)
{
    OutputFile file;
    if (!m_names.create(QLatin1String(kMailDirectory) + QLatin1Char('/') + folderDirectory, emlBaseName(mail),
                        QLatin1String(kEmlSuffix), &file, QIODevice::WriteOnly | QIODevice::Unbuffered, reason))
        return false;
    if (writeStandardMessageFile(file, mail, detailsOf(&mail), olm, problems) && file.flush())
        return true;
    *reason = QStringLiteral("cannot write %1: %2").arg(file.path(), file.failure());
    file.discard();
    return false;
}
