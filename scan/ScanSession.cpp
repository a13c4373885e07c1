#include "scan/ScanSession.h"

#include "olm/FolderModel.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kInvalidFileMessage[] = "The scanned file is either an invalid file or heavily damaged.";

namespace {
// "PK" 03 04 and version 45: how every export starts.
const unsigned char kOlmStart[] = {0x50, 0x4B, 0x03, 0x04, 0x2D};

int openReadOnly(const QString &path)
{
    const int fd = ::open(path.toUtf8().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd); // a directory or device is no export
        return -1;
    }
    return fd;
}
} // namespace

void CleanListAndHash()
{
    freeRecordLists();
    resetFolderHierarchy();
    tmpstrOrigPath.clear();
    tmpdoffset_NoteText.clear();
    tmpdsizeofattch.clear();
}

bool beginScan(const QString &path)
{
    CleanListAndHash();
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    fileDescriptor = openReadOnly(path);
    if (fileDescriptor < 0)
        return false;
    unsigned char start[sizeof kOlmStart] = {};
    if (readFully(fileDescriptor, 0, reinterpret_cast<char *>(start), sizeof start) != sizeof start
        || memcmp(start, kOlmStart, sizeof start) != 0) {
        ::close(fileDescriptor);
        fileDescriptor = -1;
        return false;
    }
    struct stat info;
    lSize = fstat(fileDescriptor, &info) == 0 ? qint64(info.st_size) : 0;
    return true;
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
    return walkContainer(source, sink, hooks);
}

ScanResult scanFile(const QString &path, DocumentSink &sink, const WalkHooks &hooks)
{
    if (!beginScan(path))
        return ScanResult::Refused;
    if (walkOpenFile(sink, hooks) == WalkResult::Stopped)
        return ScanResult::Stopped;
    finishScan();
    return ScanResult::Finished;
}
