#include "archive/OutputPlace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError() { return QString::fromLocal8Bit(strerror(errno)); }

// True when path is at or below directory (both as the file system resolves them).
bool holds(const QString &directory, const QString &path)
{
    const QString outer = QFileInfo(directory).canonicalFilePath();
    const QString inner = QFileInfo(path).canonicalFilePath();
    return !outer.isEmpty() && !inner.isEmpty()
           && (inner == outer || inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/')));
}

// A new directory beside path, named path + suffix + six random characters.
QString makeDirectoryBeside(const QString &path, const char *suffix)
{
    QByteArray pattern = QFile::encodeName(path) + suffix + "XXXXXX";
    if (!mkdtemp(pattern.data()))
        return QString();
    return QFile::decodeName(pattern);
}

constexpr int kNameAttempts = 100;

QString randomSuffix()
{
    static const char kCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kCharacters[QRandomGenerator::global()->bounded(int(sizeof kCharacters - 1))]);
    return suffix;
}

bool removeWhole(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
}

// Puts replacement where old is; *oldNowAt says where old went. At once where the
// system can exchange two names, in two renames otherwise.
bool exchange(const QString &old, const QString &replacement, QString *oldNowAt)
{
    const QByteArray oldName = QFile::encodeName(old), newName = QFile::encodeName(replacement);
#ifdef RENAME_EXCHANGE
    if (renameat2(AT_FDCWD, oldName.constData(), AT_FDCWD, newName.constData(), RENAME_EXCHANGE) == 0) {
        *oldNowAt = replacement;
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    const QString aside = makeDirectoryBeside(old, ".old-");
    if (aside.isEmpty())
        return false;
    const QByteArray asideName = QFile::encodeName(aside);
    // The empty directory made for the name is replaced by the old output.
    if (rmdir(asideName.constData()) != 0 || rename(oldName.constData(), asideName.constData()) != 0)
        return false;
    if (rename(newName.constData(), oldName.constData()) != 0) {
        const int error = errno;
        rename(asideName.constData(), oldName.constData());
        errno = error;
        return false;
    }
    *oldNowAt = aside;
    return true;
}
} // namespace

bool OutputPlace::begin(const QString &path, bool replace, const QString &inputPath, QString *error)
{
    m_path = QFileInfo(path).absoluteFilePath();
    m_writePath.clear();
    m_replacing = false;
    const QFileInfo existing(m_path);
    if (existing.exists() || existing.isSymLink()) {
        if (!replace) {
            *error = QStringLiteral("%1 exists already").arg(m_path);
            return false;
        }
        if (holds(m_path, inputPath)) {
            *error = QStringLiteral("%1 holds the file being saved, %2; it is not replaced").arg(m_path, inputPath);
            return false;
        }
        // Beside the old output, under a name of its own (as mkdtemp makes one).
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            if (m_directory.make(existing.path(), existing.fileName() + QStringLiteral(".new-") + randomSuffix(), error)) {
                m_writePath = m_directory.path();
                m_replacing = true;
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        *error = QStringLiteral("cannot create a directory beside %1: %2").arg(m_path, *error);
        return false;
    }
    if (!QDir().mkpath(existing.path())) {
        *error = QStringLiteral("%1 could not be created").arg(existing.path());
        return false;
    }
    // Exclusive: a save that made this directory a moment ago keeps it to itself. Made
    // and opened through its parent, so that nothing can take its place in between.
    if (!m_directory.make(existing.path(), existing.fileName(), error))
        return false;
    m_writePath = m_path;
    return true;
}

bool OutputPlace::end(bool everyItemWritten, QString *note)
{
    note->clear();
    if (!m_replacing)
        return true;
    m_replacing = false;
    if (!everyItemWritten) {
        *note = QStringLiteral("The old output is kept at %1; the new one, not complete, is at %2.").arg(m_path, m_writePath);
        return true;
    }
    QString oldNowAt;
    if (!exchange(m_path, m_writePath, &oldNowAt)) {
        *note = QStringLiteral("The old output at %1 could not be replaced (%2); the new one is at %3.")
                    .arg(m_path, systemError(), m_writePath);
        return false;
    }
    if (!removeWhole(oldNowAt))
        *note = QStringLiteral("The old output, moved to %1, could not be removed.").arg(oldNowAt);
    m_writePath = m_path;
    return true;
}
