// The block reader and the walk over small blocks: every read that straddles a
// block boundary gives the bytes a plain copy gives, the walk finds the same
// documents with 64-byte blocks and parts as with the file reader's large ones,
// and it reads no byte twice and no attachment byte behind an intact header.
#include "OlmBuilder.h"
#include "olm/BlockReader.h"
#include "olm/ByteSearch.h"
#include "olm/ContainerWalk.h"
#include "olm/ScanState.h"

#include <QRandomGenerator>
#include <QtTest>
#include <limits>

namespace {

constexpr BlockSizes kSmallBlocks{64, 64};

// Keeps a copy of everything the walk hands on.
struct RecordingSink : DocumentSink {
    struct Taken {
        DocumentKind kind;
        QString folderPath;
        QByteArray bytes;
        qint64 end;
        bool operator==(const Taken &o) const
        {
            return kind == o.kind && folderPath == o.folderPath && bytes == o.bytes && end == o.end;
        }
    };
    QList<Taken> taken;
    void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) override
    {
        taken.append({kind, folderPath, QByteArray(pBuff, int(pBuffSize)), documentEnd});
    }
    void takeAttachment(const QString &entryName, qint64 offset, qint64 size) override
    {
        taken.append({DocumentKind::Attachment, entryName, QByteArray::number(offset), size});
    }
};

QList<RecordingSink::Taken> walk(ByteSource &source)
{
    RecordingSink sink;
    walkContainer(source, sink, WalkHooks());
    return sink.taken;
}

// Joins the parts of each document again (the walk reports a document once all
// its parts are handed on) and remembers where every part ended.
struct PartJoiningSink : RecordingSink {
    Taken pending{DocumentKind::Skipped, QString(), QByteArray(), 0};
    QList<QByteArray> partEndings; // the last bytes of every part but a document's last
    int parts = 0;
    void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) override
    {
        if (parts++ > 0)
            partEndings.append(pending.bytes.right(16));
        pending = {kind, folderPath, pending.bytes + QByteArray(pBuff, int(pBuffSize)), documentEnd};
    }
    void documentDone()
    {
        if (parts > 0)
            taken.append(pending);
        pending = {DocumentKind::Skipped, QString(), QByteArray(), 0};
        parts = 0;
    }
};

// Counts the bytes the walk takes from the source.
struct CountingSource : MemoryByteSource {
    using MemoryByteSource::MemoryByteSource;
    qint64 bytesRead = 0;
    qint64 bytesReadBefore = 0; // of those, the bytes before countedEnd
    qint64 countedEnd = std::numeric_limits<qint64>::max();
    qint64 readAt(qint64 offset, char *buffer, qint64 length) override
    {
        const qint64 got = MemoryByteSource::readAt(offset, buffer, length);
        bytesRead += got;
        bytesReadBefore += qBound<qint64>(0, countedEnd - offset, got);
        return got;
    }
};

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray contactsDocument(int contacts)
{
    QByteArray document = "<contacts xml:space=\"preserve\">";
    for (int i = 0; i < contacts; ++i)
        document += "<contact><OPFContactCopyFirstName xml:space=\"preserve\">N" + QByteArray::number(i)
                    + "</OPFContactCopyFirstName></contact>";
    return document + "</contacts>";
}

QByteArray patternBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

class BlockReaderTest : public QObject
{
    Q_OBJECT
private slots:
    void readsAcrossEveryBlockBoundary()
    {
        const QByteArray bytes = patternBytes(64 * 5 + 17);
        MemoryByteSource source(bytes.constData(), bytes.size(), kSmallBlocks);
        BlockReader reader(source);
        for (qint64 wanted : {1, 4, 30, 63, 64, 65, 200}) {
            for (qint64 offset = 0; offset <= bytes.size(); ++offset) {
                qint64 available = -1;
                const uchar *got = reader.bytesAt(offset, wanted, &available);
                const QByteArray expected = bytes.mid(int(offset), int(wanted));
                QCOMPARE(available, qint64(expected.size()));
                if (available > 0)
                    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got), int(available)), expected);
                const QByteArray word = bytes.mid(int(offset), 4);
                const quint32 value = word.size() == 4 ? qFromLittleEndian<quint32>(word.constData()) : 0;
                QCOMPARE(reader.uint32At(offset), value);
            }
        }
    }

    // The searches the walk and the parsers share, against a plain byte-by-byte look.
    void searchesAgreeWithAPlainLook()
    {
        const QByteArray tag("</appointments>");
        for (int at = 0; at + tag.size() <= 100; ++at) {
            // Stray '<' and near misses all around the tag.
            QByteArray bytes = QByteArray(100, '<');
            bytes.replace(at, tag.size(), tag);
            bytes.replace((at + 40) % 80, 14, "</appointments");
            const QByteArray bytesCopy = bytes;
            const char *from = bytesCopy.constData();
            const char *end = from + bytesCopy.size();
            const char *first = findTag(from, end, tag.constData(), size_t(tag.size()));
            const char *last = findLastTag(from, end, tag.constData(), size_t(tag.size()));
            QCOMPARE(first ? int(first - from) : -1, bytesCopy.indexOf(tag));
            QCOMPARE(last ? int(last - from) : -1, bytesCopy.lastIndexOf(tag));
        }
        QVERIFY(!findTag("abc", "abc" + 3, "<x>", 3) && !findLastTag("abc", "abc" + 3, "<x>", 3));

        const QByteArray noise = randomBytes(300, 5);
        const auto bytes = reinterpret_cast<const uchar *>(noise.constData());
        for (int start = 0; start < 80; ++start) {
            for (int size : {0, 1, 15, 16, 31, 32, 33, 64, 200}) {
                size_t plain = 0;
                while (plain < size_t(size) && bytes[start + plain] != '<' && bytes[start + plain] != 'P')
                    ++plain;
                QCOMPARE(findEitherByte(bytes + start, size_t(size), '<', 'P'), plain);
            }
        }
    }

    // A header jump reads the header's neighbourhood only: attachment data behind
    // intact headers is never read, and no byte is read twice.
    void readsNoAttachmentAndNoByteTwice()
    {
        OlmBuilder olm;
        olm.entry("Local/Address Book/Contacts.xml", contactsDocument(3));
        const QByteArray attachment = randomBytes(1 << 20, 9);
        olm.entry("Local/s/Inbox/com.microsoft.__Attachments/m_0000", attachment);
        olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("Walked"));
        olm.centralHeader();
        CountingSource intact(olm.bytes.constData(), olm.bytes.size(), BlockSizes{64 * 1024, 4096, 8 << 20});
        RecordingSink sink;
        walkContainer(intact, sink, WalkHooks());
        QCOMPARE(sink.taken.size(), 3);
        QVERIFY2(intact.bytesRead < 5 * 4096 + olm.bytes.size() - attachment.size(),
                 qPrintable(QString::number(intact.bytesRead)));

        // Every header wiped: the raw scan reads each byte exactly once. The search for a
        // central directory reads the end of the file once more: the end record's reach
        // and the longest directory record's.
        const qint64 directorySearch = 22 + 0xFFFF + 46 + 3 * 0xFFFF + 256 * 1024;
        OlmBuilder wiped;
        wiped.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"><note></note></notes>");
        wiped.raw(attachment);
        wiped.raw(contactsDocument(2000));
        wiped.raw(attachment);
        wiped.raw("<tasks a><task></task></tasks>");
        for (const BlockSizes &sizes : {BlockSizes{64, 64, 256}, BlockSizes{64 * 1024, 4096, 16 * 1024}, BlockSizes()}) {
            CountingSource source(wiped.bytes.constData(), wiped.bytes.size(), sizes);
            source.countedEnd = wiped.bytes.size() - directorySearch;
            RecordingSink scanned;
            int documents = 0;
            WalkHooks hooks;
            hooks.dispatched = [&documents](const DispatchedEntry &) { ++documents; };
            walkContainer(source, scanned, hooks);
            QCOMPARE(documents, 3);
            QCOMPARE(source.bytesReadBefore, source.countedEnd);
            QVERIFY(source.bytesRead <= wiped.bytes.size() + directorySearch);
        }
    }

    // A document longer than a part goes on in parts of whole items, each cut right
    // after an item end tag, and together they are the document.
    void longDocumentsGoInPartsOfWholeItems()
    {
        OlmBuilder olm;
        olm.entry("Local/Address Book/Contacts.xml", contactsDocument(40));
        olm.raw(randomBytes(3000, 3).replace('<', 'x').replace('P', 'y'));
        olm.raw(contactsDocument(30).replace("<contacts ", "<contacts "));
        olm.raw("gap");
        olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("One item, longer than a part"));
        MemoryByteSource whole(olm.bytes.constData(), olm.bytes.size());
        const auto expected = walk(whole);
        QCOMPARE(expected.size(), 3);
        for (qint64 part : {1, 100, 333, 1000}) {
            MemoryByteSource source(olm.bytes.constData(), olm.bytes.size(), BlockSizes{64, 64, part});
            PartJoiningSink sink;
            WalkHooks hooks;
            hooks.dispatched = [&sink](const DispatchedEntry &) { sink.documentDone(); };
            walkContainer(source, sink, hooks);
            QVERIFY2(sink.taken == expected, qPrintable(QString("part %1").arg(part)));
            QVERIFY(!sink.partEndings.isEmpty());
            for (const QByteArray &ending : sink.partEndings)
                QVERIFY2(ending.endsWith("</contact>") || ending.endsWith("</email>"), ending.constData());
        }
    }

    void walkWithSmallBlocksFindsWhatLargeBlocksFind()
    {
        // Padding moves every later header, tag and document across each block boundary.
        for (int shift = 0; shift < 64; ++shift) {
            OlmBuilder olm;
            olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"><note></note></notes>");
            olm.raw(QByteArray(shift, 'g'));
            olm.entry("Local/s/Inbox/com.microsoft.__Attachments/m_0000", "PK\x03\x04 inner");
            olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("Walked"));
            olm.entry("Local/s/Inbox/message_00002.xml", mailDocument("Zero CRC"), {45, 0, true});
            olm.raw("PK\x03\x04 stray <tasks a><task></task></tasks> PK\x01\x02 <contacts b></contacts>");
            olm.entry("Local/Calendar/Calendar.xml", "<appointments xml:space=\"preserve\"></appointments>");
            olm.centralHeader();
            olm.centralHeader();
            olm.centralHeader();

            MemoryByteSource large(olm.bytes.constData(), olm.bytes.size());
            const auto expected = walk(large);
            QCOMPARE(expected.size(), 7);
            MemoryByteSource small(olm.bytes.constData(), olm.bytes.size(), kSmallBlocks);
            QVERIFY2(walk(small) == expected, qPrintable(QString("shift %1").arg(shift)));
            auto file = olm.file();
            FileByteSource smallFile(int(file->handle()), olm.bytes.size(), kSmallBlocks);
            QVERIFY(walk(smallFile) == expected);
        }
    }
};

QTEST_GUILESS_MAIN(BlockReaderTest)
#include "test_blockreader.moc"
