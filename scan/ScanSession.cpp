#include "scan/ScanSession.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"

#include "olm/FolderModel.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kInvalidFileMessage[] = "The scanned file is either an invalid file or heavily damaged.";
const char kRecordMemoryFullMessage[] =
    "The scan stopped early: the items found fill the memory set aside for them. The items found so far are kept.";

namespace {
// "PK" 03 04 and version 45: how every export starts.
const unsigned char kOlmStart[] = {0x50, 0x4B, 0x03, 0x04, 0x2D};

QString systemMessage(int error) { return QString::fromLocal8Bit(strerror(error)); }

// A pipe or device opened for reading can block or never end, so it is opened
// without waiting and refused before anything is read from it.
int openRegularFile(const QByteArray &localPath, QString *error)
{
    const int fd = ::open(localPath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = systemMessage(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0)
        *error = systemMessage(errno);
    else if (S_ISDIR(info.st_mode))
        *error = systemMessage(EISDIR);
    else if (!S_ISREG(info.st_mode))
        *error = QStringLiteral("not a regular file");
    else
        return fd;
    ::close(fd);
    return -1;
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
    tmpstrOrigPath.clear();
    tmpdoffset_NoteText.clear();
    tmpdsizeofattch.clear();
    recoveredAttachments.clear();
}

bool beginScan(const QByteArray &localPath, QString *openError)
{
    CleanListAndHash();
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    QString error;
    fileDescriptor = openRegularFile(localPath, &error);
    if (openError)
        *openError = error;
    if (fileDescriptor < 0)
        return false;
    char start[sizeof kOlmStart] = {};
    if (!startsLikeOlm(start, readFully(fileDescriptor, 0, start, sizeof start))) {
        ::close(fileDescriptor);
        fileDescriptor = -1;
        return false;
    }
    struct stat info;
    lSize = fstat(fileDescriptor, &info) == 0 ? qint64(info.st_size) : 0;
    return true;
}

bool beginScan(const QString &path, QString *openError)
{
    return beginScan(QFile::encodeName(path), openError);
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
    FileByteSource source(fileDescriptor, lSize);
    const WalkResult walk = walkContainer(source, sink, hooks);
    if (walk != WalkResult::Finished)
        recordLoss({LossReason::ScanIncomplete, QString(), QString(), QString(), QString(),
                    QStringLiteral("the scan ended at byte %1 of %2, %3; nothing after it was read")
                        .arg(dwOffset)
                        .arg(lSize)
                        .arg(walk == WalkResult::Stopped ? QStringLiteral("stopped on request")
                                                         : QStringLiteral("the items found filled the memory set aside for them"))});
    return walk;
}

ScanResult scanFile(const QByteArray &localPath, DocumentSink &sink, const WalkHooks &hooks, QString *openError)
{
    if (!beginScan(localPath, openError))
        return ScanResult::Refused;
    const WalkResult walk = walkOpenFile(sink, hooks);
    if (walk == WalkResult::Stopped)
        return ScanResult::Stopped;
    finishScan();
    return walk == WalkResult::SinkFull ? ScanResult::Incomplete : ScanResult::Finished;
}

ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks, QString *openError)
{
    return scanFile(QFile::encodeName(path), sink, hooks, openError);
}
