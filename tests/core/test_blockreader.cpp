// The block reader and the walk over small blocks: every read that straddles a
// block boundary gives the bytes a plain copy gives, and the walk finds the
// same documents with 64-byte blocks as with the file reader's large ones.
#include "OlmBuilder.h"
#include "olm/BlockReader.h"
#include "olm/ContainerWalk.h"
#include "olm/ScanState.h"

#include <QtTest>

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

    void findsPatternsAndBytesAtEveryOffset()
    {
        const QByteArray tag("</appointments>");
        for (int at = 0; at < 64 * 3; ++at) {
            QByteArray bytes(64 * 4, 'x');
            bytes.replace(at, tag.size(), tag);
            MemoryByteSource source(bytes.constData(), bytes.size(), kSmallBlocks);
            BlockReader reader(source);
            QCOMPARE(reader.find(0, tag), qint64(at));
            QCOMPARE(reader.find(at + 1, tag), qint64(-1));
            // The byte search stops at the hit or at a block end, never past a hit.
            qint64 from = 0;
            while (from < bytes.size() && bytes.at(int(from)) != '<')
                from = reader.findByteInBlock(from, '<');
            QCOMPARE(from, qint64(at));
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
