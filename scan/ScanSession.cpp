#include "scan/ScanSession.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"

#include "olm/FolderModel.h"
#include "olm/InflatedEntries.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kInvalidFileMessage[] = "The scanned file is either an invalid file or heavily damaged.";
const char kRecordMemoryFullMessage[] =
    "The scan stopped early: the items found fill the memory set aside for them. The items found so far are kept.";
const char kRecordDiskFullMessage[] =
    "The scan stopped early: the temporary disk has no room left for the items found. The items found so far are kept.";

const char *recordSpaceFullMessage() { return recordDiskFull ? kRecordDiskFullMessage : kRecordMemoryFullMessage; }

namespace {
// "PK" 03 04 and version 45: how every export starts.
const unsigned char kOlmStart[] = {0x50, 0x4B, 0x03, 0x04, 0x2D};

// A pipe or device opened for reading can block or never end, so it is opened
// without waiting and refused before anything is read from it.
int openRegularFile(const QByteArray &localPath, ScanRefusal *refusal)
{
    const auto refuse = [refusal](int error) {
        refusal->failure = openFailureFor(error);
        refusal->systemMessage = QString::fromLocal8Bit(strerror(error));
    };
    const int fd = ::open(localPath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        // A folder is named as such even where opening it would succeed.
        struct stat info;
        refuse(errno == EACCES && stat(localPath.constData(), &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0)
        refuse(errno);
    else if (S_ISDIR(info.st_mode))
        refusal->failure = OpenFailure::Directory;
    else if (!S_ISREG(info.st_mode))
        refusal->failure = OpenFailure::NotRegular;
    else if (info.st_size == 0)
        refusal->failure = OpenFailure::Empty;
    else
        return fd;
    ::close(fd);
    return -1;
}

// The file's first bytes when they are not an export's, for the account of losses.
void noteUnexpectedStart()
{
    unsigned char start[sizeof kOlmStart] = {};
    const qint64 got = readFully(fileDescriptor, 0, reinterpret_cast<char *>(start), sizeof start);
    if (startsLikeOlm(reinterpret_cast<const char *>(start), got))
        return;
    QStringList bytes;
    for (qint64 i = 0; i < got; ++i)
        bytes << QStringLiteral("%1").arg(start[i], 2, 16, QLatin1Char('0')).toUpper();
    recordLoss({LossReason::ContainerDamaged, QString(), QString(), QString(), QString(),
                QStringLiteral("the file does not begin as an export does (its first bytes are %1, not 50 4B 03 04 2D); "
                               "it was scanned all the same")
                    .arg(bytes.join(QLatin1Char(' ')))});
}
} // namespace

bool startsLikeOlm(const char *bytes, qint64 size)
{
    return size >= qint64(sizeof kOlmStart) && memcmp(bytes, kOlmStart, sizeof kOlmStart) == 0;
}

void CleanListAndHash()
{
    freeRecordLists();
    resetFolderHierarchy();
    clearLosses();
    clearInflatedEntries();
    tmpstrOrigPath.clear();
    tmpdoffset_NoteText.clear();
    tmpdsizeofattch.clear();
    recoveredAttachments.clear();
}

OpenFailure openFailureFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return OpenFailure::Missing;
    case EISDIR: return OpenFailure::Directory;
    case EACCES:
    case EPERM: return OpenFailure::NoPermission;
    default: return OpenFailure::Unreadable;
    }
}

QString openFailureMessage(const ScanRefusal &refusal, const QString &displayName)
{
    switch (refusal.failure) {
    case OpenFailure::None: break;
    case OpenFailure::Missing: return QStringLiteral("The file \"%1\" does not exist.").arg(displayName);
    case OpenFailure::Directory: return QStringLiteral("\"%1\" is a folder, not an .olm file.").arg(displayName);
    case OpenFailure::NoPermission:
        return QStringLiteral("You do not have permission to read the file \"%1\".").arg(displayName);
    case OpenFailure::Empty: return QStringLiteral("The file \"%1\" is empty: it holds nothing to recover.").arg(displayName);
    case OpenFailure::NotRegular:
        return QStringLiteral("\"%1\" is not a regular file (a pipe or a device), so it is not scanned.").arg(displayName);
    case OpenFailure::Unreadable:
        return QStringLiteral("The file \"%1\" could not be read: %2.").arg(displayName, refusal.systemMessage);
    }
    return QString();
}

bool beginScan(const QByteArray &localPath, ScanRefusal *refusal)
{
    CleanListAndHash();
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    ScanRefusal ignored;
    fileDescriptor = openRegularFile(localPath, refusal ? refusal : &ignored);
    if (fileDescriptor < 0)
        return false;
    struct stat info;
    lSize = fstat(fileDescriptor, &info) == 0 ? qint64(info.st_size) : 0;
    return true;
}

bool beginScan(const QString &path, ScanRefusal *refusal)
{
    return beginScan(QFile::encodeName(path), refusal);
}

void finishScan()
{
    if (TmpMlrcPtrEnd) TmpMlrcPtrEnd->Next = nullptr;
    if (TmpCTRCPtrEnd) TmpCTRCPtrEnd->Next = nullptr;
    if (TmpCLRCPtrEnd) TmpCLRCPtrEnd->Next = nullptr;
    if (TmpTSRCPtrEnd) TmpTSRCPtrEnd->Next = nullptr;
    if (TmpNTRCPtrEnd) TmpNTRCPtrEnd->Next = nullptr;
    buildFolderAttributeList();
}

WalkResult walkOpenFile(DocumentSink &sink, const WalkHooks &hooks)
{
    noteUnexpectedStart();
    FileByteSource source(fileDescriptor, lSize);
    const WalkResult walk = walkContainer(source, sink, hooks);
    if (walk != WalkResult::Finished)
        recordLoss({LossReason::ScanIncomplete, QString(), QString(), QString(), QString(),
                    QStringLiteral("the scan ended at byte %1 of %2, %3; nothing after it was read")
                        .arg(dwOffset)
                        .arg(lSize)
                        .arg(walk == WalkResult::Stopped ? QStringLiteral("stopped on request")
                             : recordDiskFull ? QStringLiteral("the temporary disk has no room left for the items found")
                                              : QStringLiteral("the items found filled the memory set aside for them"))});
    return walk;
}

ScanResult scanFile(const QByteArray &localPath, DocumentSink &sink, const WalkHooks &hooks, ScanRefusal *refusal)
{
    if (!beginScan(localPath, refusal))
        return ScanResult::Refused;
    const WalkResult walk = walkOpenFile(sink, hooks);
    if (walk == WalkResult::Stopped)
        return ScanResult::Stopped;
    finishScan();
    return walk == WalkResult::SinkFull ? ScanResult::Incomplete : ScanResult::Finished;
}

ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks, ScanRefusal *refusal)
{
    return scanFile(QFile::encodeName(path), sink, hooks, refusal);
}
