#include "archive/OutputFile.h"

#include <QStringList>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Saves run on the saving thread while tests set the failure on theirs.
std::atomic<qint64> writesUntilFailure{0}; // 0: no failure asked for
std::atomic<qint64> writesCounted{0};
std::atomic<int> failureErrno{0};
std::atomic<qint64> failurePartialBytes{0};
std::atomic<bool> failureHappened{false};

QString systemError(int error) { return QString::fromLocal8Bit(strerror(error)); }

// The folder at components below base, each made where missing and opened without
// following a link: a new descriptor, or -1 with the reason.
int openFolders(int base, const QStringList &components, QString *error)
{
    int at = dup(base);
    if (at < 0) {
        *error = systemError(errno);
        return -1;
    }
    for (const QString &component : components) {
        const QByteArray name = QFile::encodeName(component);
        int next = -1;
        if (mkdirat(at, name.constData(), 0777) == 0 || errno == EEXIST)
            next = openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int failure = errno;
        close(at);
        if (next < 0) {
            *error = QStringLiteral("cannot create the folder %1: %2").arg(component, systemError(failure));
            return -1;
        }
        at = next;
    }
    return at;
}

QStringList componentsOf(const QString &relativePath)
{
    return relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}
} // namespace

OutputDirectory::~OutputDirectory()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

bool OutputDirectory::open(const QString &path, QString *error)
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_path = path;
    m_descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_descriptor >= 0)
        return true;
    *error = QStringLiteral("%1 cannot be opened as a folder: %2").arg(path, systemError(errno));
    return false;
}

bool OutputDirectory::make(const QString &parentPath, const QString &name, QString *error)
{
    if (m_descriptor >= 0)
        close(m_descriptor);
    m_descriptor = -1;
    m_path = parentPath + QLatin1Char('/') + name;
    const int parent = ::open(QFile::encodeName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QByteArray encodedName = QFile::encodeName(name);
    if (parent >= 0 && mkdirat(parent, encodedName.constData(), 0777) == 0)
        m_descriptor = openat(parent, encodedName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int failure = errno;
    if (parent >= 0)
        close(parent);
    if (m_descriptor >= 0)
        return true;
    *error = failure == EEXIST ? QStringLiteral("%1 exists already").arg(m_path)
                               : QStringLiteral("%1 could not be created: %2").arg(m_path, systemError(failure));
    errno = failure;
    return false;
}

bool OutputDirectory::makePath(const QString &relativePath, QString *error) const
{
    const int folder = openFolders(m_descriptor, componentsOf(relativePath), error);
    if (folder < 0)
        return false;
    close(folder);
    return true;
}

bool OutputFile::openIn(const OutputDirectory &directory, const QString &relativePath, Creation creation,
                        QIODevice::OpenMode mode)
{
    close();
    discardFolder();
    m_failure.clear();
    m_path = directory.path() + QLatin1Char('/') + relativePath;
    QStringList components = componentsOf(relativePath);
    m_name = components.isEmpty() ? QString() : components.takeLast();
    QString error;
    m_folderDescriptor = openFolders(directory.descriptor(), components, &error);
    if (m_folderDescriptor < 0) {
        setErrorString(error);
        return false;
    }
    // Non-blocking while opening: a FIFO planted in the file's place must not hold the save.
    const int flags = creation == Creation::New ? O_WRONLY | O_CREAT | O_EXCL : O_WRONLY | O_APPEND | O_NONBLOCK;
    const int descriptor = openat(m_folderDescriptor, QFile::encodeName(m_name).constData(),
                                  flags | O_NOFOLLOW | O_CLOEXEC, 0666);
    m_nameTaken = descriptor < 0 && errno == EEXIST;
    if (descriptor < 0) {
        setErrorString(m_nameTaken ? QStringLiteral("a file of that name is there already") : systemError(errno));
        return false;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)
        || fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        setErrorString(QStringLiteral("it is not a regular file"));
        return false;
    }
    if (!open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
}

bool OutputFile::discard()
{
    close();
    const bool removed = m_folderDescriptor >= 0 && !m_name.isEmpty()
                         && unlinkat(m_folderDescriptor, QFile::encodeName(m_name).constData(), 0) == 0;
    discardFolder();
    return removed;
}

void OutputFile::discardFolder()
{
    if (m_folderDescriptor >= 0)
        ::close(m_folderDescriptor);
    m_folderDescriptor = -1;
}

OutputFile::~OutputFile()
{
    close();
    discardFolder();
}

qint64 failOutputWrite(qint64 nth, int errorNumber, qint64 partialBytes)
{
    failureErrno = errorNumber;
    failurePartialBytes = partialBytes;
    failureHappened = false;
    writesUntilFailure = nth;
    return writesCounted.exchange(0);
}

bool outputFailureHappened() { return failureHappened; }

QString OutputFile::failure() const
{
    if (!m_failure.isEmpty())
        return m_failure;
    if (error() != QFileDevice::NoError)
        return errorString();
    return QStringLiteral("only part of it was written (is the disk full?)");
}

qint64 OutputFile::writeData(const char *data, qint64 size)
{
    ++writesCounted;
    qint64 until = writesUntilFailure.load();
    while (until > 0 && !writesUntilFailure.compare_exchange_weak(until, until - 1)) {
    }
    if (until == 1) {
        const qint64 partial = qBound<qint64>(0, failurePartialBytes.load(), size);
        if (partial > 0)
            QFile::writeData(data, partial);
        m_failure = QString::fromLocal8Bit(strerror(failureErrno.load()));
        failureHappened = true;
        setErrorString(m_failure);
        return -1;
    }
    const qint64 written = QFile::writeData(data, size);
    if (written < 0)
        m_failure = errorString();
    return written;
}
