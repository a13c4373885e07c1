#pragma once
// What the fuzz targets run on one input, shared with the test that replays
// every input a fuzzer ever found something with.
#include "olm/ByteSource.h"
#include "olm/ContainerWalk.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QString>
#include <cstdint>
#include <vector>

// Room for thousands of items, and far below the fuzzers' memory limit.
constexpr qint64 kFuzzRecordMemory = qint64(64) << 20;
// Small blocks and document parts put their boundaries all over small inputs.
constexpr BlockSizes kFuzzBlocks{256, 64, 512};

// The whole scan of the bytes as a file, whatever they start with: the walk with its
// raw scan, the central directory and the five parsers, the finished lists, and
// everything freed again.
inline void scanBytes(const uint8_t *data, size_t size)
{
    recordMemoryLimit = kFuzzRecordMemory;
    CleanListAndHash();
    const char *bytes = reinterpret_cast<const char *>(data);
    MemoryByteSource source(bytes, qint64(size), kFuzzBlocks);
    FolderInformation parsers;
    if (walkContainer(source, parsers, WalkHooks()) != WalkResult::Stopped)
        finishScan();
    CleanListAndHash();
}

// One document for one parser: the first byte picks the parser, the rest is the
// document. A mail follows four attachment entries that its list may name; the
// document's own bytes stand in for the file before it, where the mail looks for its
// damaged header and for the attachments the walk did not find.
inline void parseDocument(const uint8_t *data, size_t size)
{
    recordMemoryLimit = kFuzzRecordMemory;
    CleanListAndHash();
    if (size == 0)
        return;
    static const DocumentKind kinds[] = {DocumentKind::Mail, DocumentKind::Mail, DocumentKind::Contacts,
                                         DocumentKind::Calendar, DocumentKind::Tasks, DocumentKind::Notes};
    const int choice = data[0] % 6;
    std::vector<char> document(data + 1, data + size);
    document.push_back('\0');
    pBuff = document.data();
    pBuffSize = qint64(size) - 1;
    FolderInformation parsers;
    MemoryByteSource before(document.data(), pBuffSize, kFuzzBlocks);
    parsers.walkBegins(before);
    if (kinds[choice] == DocumentKind::Mail) {
        for (int i = 0; i < 4; ++i)
            parsers.takeAttachment(QStringLiteral("Local/s/Inbox/com.microsoft.__Attachments/m_000%1").arg(i), 64 * i, 10);
    }
    // Choice 1 is a mail found by the raw scan, without a folder path.
    parsers.takeDocument(kinds[choice], choice == 0 ? QStringLiteral("Inbox/Sub") : QString(), pBuffSize + 4096);
    parsers.walkEnded();
    pBuff = nullptr;
    pBuffSize = 0;
    CleanListAndHash();
}
