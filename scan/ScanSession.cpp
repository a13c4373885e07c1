#include "scan/ScanSession.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"

#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "olm/InflatedEntries.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordLists.h"

#include <QFile>
#include <QSet>
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

// Entries that are no document of the walk's kinds but say something all the same, noted
// as they pass: the contact groups, read once the walk is done, and the directories of
// mail folders, which keep folders that hold no mail.
class EntriesNotingSink : public DocumentSink
{
public:
    explicit EntriesNotingSink(DocumentSink &inner) : m_inner(inner) {}
    void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) override
    {
        m_inner.takeDocument(kind, folderPath, documentEnd);
    }
    void takeAttachment(const QString &entryName, qint64 offset, qint64 size) override
    {
        if (entryName == QLatin1String("Local/Address Book/Groups.xml")) {
            m_offset = offset;
            m_size = size;
        }
        m_inner.takeAttachment(entryName, offset, size);
    }
    void takeEmptyEntry(const QString &entryName) override
    {
        if (entryName.endsWith(QLatin1Char('/')) && entryName.contains(QLatin1String("/com.microsoft.__Messages/"))
            && !entryName.contains(QLatin1String("com.microsoft.__Attachments"))) {
            const QString folder = messageFolderPath(entryName);
            if (!folder.isEmpty() && !m_mailFoldersSeen.contains(folder)) {
                m_mailFoldersSeen.insert(folder);
                m_mailFolders.append(folder);
            }
        }
        m_inner.takeEmptyEntry(entryName);
    }
    // The folders of the directories met, after those the mails made: where a folder holds
    // mail this changes nothing.
    void keepMailFolders() const
    {
        for (const QString &folder : m_mailFolders)
            treeCreator(folder);
    }
    void documentEnded() override { m_inner.documentEnded(); }
    bool full() const override { return m_inner.full(); }
    void takeLoss(const Loss &loss) override { m_inner.takeLoss(loss); }
    void settle() override { m_inner.settle(); }
    qint64 filledAt(qint64 walkOffset) const override { return m_inner.filledAt(walkOffset); }
    void walkBegins(ByteSource &source) override { m_inner.walkBegins(source); }
    void walkEnded() override { m_inner.walkEnded(); }

    // Reads the groups from the file; nothing when the walk met no groups entry.
    void keepGroups(ByteSource &source) const
    {
        // Genuine exports hold a few groups in a few kilobytes; a larger entry is read in part.
        constexpr qint64 kLongestGroups = 4 << 20;
        if (m_offset < 0 || m_size <= 0)
            return;
        const qint64 size = qMin(qMin(m_size, kLongestGroups), qMax<qint64>(0, source.size() - m_offset));
        QByteArray bytes(int(size), Qt::Uninitialized);
        bytes.resize(int(qMax<qint64>(0, source.readAt(m_offset, bytes.data(), size))));
        if (bytes.size() < m_size)
            recordLoss({LossReason::ValueUnreadable, QStringLiteral("contact"), QString(),
                        QStringLiteral("Contacts"), QStringLiteral("Groups.xml"),
                        QStringLiteral("the contact groups' entry claims %1 bytes; the first %2 were read")
                            .arg(m_size).arg(bytes.size())});
        keepContactGroups(readContactGroups(bytes));
    }

private:
    DocumentSink &m_inner;
    qint64 m_offset = -1, m_size = 0;
    QStringList m_mailFolders; // in the order met
    QSet<QString> m_mailFoldersSeen;
};

ScanExtent lastExtent;

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

int ScanExtent::percent() const
{
    if (whole)
        return 100;
    return fileSize > 0 ? int(qMin<qint64>(99, qBound<qint64>(0, reached, fileSize) * 100 / fileSize)) : 0;
}

ScanExtent lastScanExtent()
{
    return lastExtent;
}

bool beginScan(const QByteArray &localPath, ScanRefusal *refusal)
{
    CleanListAndHash();
    lastExtent = ScanExtent();
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
    EntriesNotingSink noting(sink);
    const WalkResult walk = walkContainer(source, noting, hooks);
    noting.keepGroups(source);
    noting.keepMailFolders();
    const bool whole = walk == WalkResult::Finished;
    lastExtent = {whole ? lSize : qBound<qint64>(0, dwOffset, lSize), lSize, whole};
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
