// The walk over intact and damaged containers: what it dispatches, where, and in which order.
#include "OlmBuilder.h"
#include "olm/EntryPath.h"
#include "archive/TextReader.h"
#include "olm/FolderHierarchy.h"
#include "olm/InflatedEntries.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>

QByteArray rawDeflate(const QByteArray &data)
{
    z_stream z {};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

class ContainerWalkTest : public QObject
{
    Q_OBJECT

    struct Scan {
        ScanResult result;
        QList<DispatchedEntry> dispatched;
    };

    Scan scan(const OlmBuilder &builder, std::function<void(qint64)> tick = {})
    {
        auto file = builder.file();
        return scanPath(file->fileName(), tick);
    }

    Scan scanPath(const QString &path, std::function<void(qint64)> tick = {})
    {
        Scan scan;
        WalkHooks hooks;
        hooks.dispatched = [&scan](const DispatchedEntry &entry) { scan.dispatched.append(entry); };
        hooks.tick = tick;
        FolderInformation parsers;
        scan.result = scanFile(path, parsers, hooks);
        return scan;
    }

    static QList<DocumentKind> kinds(const Scan &scan)
    {
        QList<DocumentKind> result;
        for (const DispatchedEntry &entry : scan.dispatched)
            result.append(entry.kind);
        return result;
    }

private slots:
    void cleanup() { CleanListAndHash(); }

    void entryPathsGiveFolderAndKind_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("folder");
        QTest::newRow("local nested") << "Local/store/Inbox/Sub/message_00001.xml" << int(DocumentKind::Mail) << "Inbox/Sub";
        QTest::newRow("accounts") << "Accounts/a/b/Inbox/message_1.xml" << int(DocumentKind::Mail) << "Inbox";
        QTest::newRow("below the store") << "Local/store/message_00003.xml" << int(DocumentKind::Mail) << "message_00003.xml";
        QTest::newRow("too short local") << "Local/message_00003.xml" << int(DocumentKind::Mail) << "";
        QTest::newRow("too short accounts") << "Accounts/a/message_00003.xml" << int(DocumentKind::Mail) << "";
        QTest::newRow("other root") << "Other/store/Inbox/message_00001.xml" << int(DocumentKind::Mail) << "";
        QTest::newRow("categories deep") << "Local/a/b/Categories.xml" << int(DocumentKind::Skipped) << "";
        QTest::newRow("categories beats contacts") << "Contacts.xml/Categories.xml" << int(DocumentKind::Skipped) << "";
        QTest::newRow("notes anywhere") << "Local/x/Notes.xml" << int(DocumentKind::Notes) << "";
        QTest::newRow("contacts") << "Local/Address Book/Contacts.xml" << int(DocumentKind::Contacts) << "";
        QTest::newRow("groups is no document") << "Local/Address Book/Groups.xml" << int(DocumentKind::Attachment) << "";
        QTest::newRow("calendar") << "Local/Calendar/Calendar.xml" << int(DocumentKind::Calendar) << "";
        QTest::newRow("tasks") << "Local/Tasks/Tasks.xml" << int(DocumentKind::Tasks) << "";
        QTest::newRow("attachment") << "Local/s/Inbox/com.microsoft.__Attachments/id_0000" << int(DocumentKind::Attachment) << "";
        QTest::newRow("notes xml is not Notes.xml") << "Local/x/notes.xml" << int(DocumentKind::Attachment) << "";
        // A document's name counts as a whole component only, anywhere in the path.
        QTest::newRow("contacts at the root") << "Contacts.xml" << int(DocumentKind::Contacts) << "";
        QTest::newRow("contacts as a directory") << "Local/Contacts.xml/x" << int(DocumentKind::Contacts) << "";
        QTest::newRow("longer name") << "Local/MyContacts.xml" << int(DocumentKind::Attachment) << "";
        QTest::newRow("name continued") << "Local/Contacts.xml.bak" << int(DocumentKind::Attachment) << "";
        QTest::newRow("second occurrence whole") << "Local/xTasks.xml/Tasks.xml" << int(DocumentKind::Tasks) << "";
        // A message is told by its file name, the last component.
        QTest::newRow("message directory") << "Local/s/message_1.xml/m_0000" << int(DocumentKind::Attachment) << "";
        QTest::newRow("empty components") << "Local//Inbox//message_1.xml" << int(DocumentKind::Mail) << "Inbox/";
        QTest::newRow("accounts, empty store") << "Accounts///Inbox/message_1.xml" << int(DocumentKind::Mail) << "Inbox";
        QTest::newRow("no separator") << "message_1.xml" << int(DocumentKind::Mail) << "";
        QTest::newRow("trailing separator") << "Local/s/Inbox/message_1.xml/" << int(DocumentKind::Attachment) << "";
    }
    void entryPathsGiveFolderAndKind()
    {
        QFETCH(QString, entry);
        QFETCH(int, kind);
        QFETCH(QString, folder);
        const EntryClass result = classifyEntry(entry);
        QCOMPARE(int(result.kind), kind);
        QCOMPARE(result.folderPath, folder);
    }

    void intactEntriesAreWalkedInOrder()
    {
        OlmBuilder olm;
        olm.entry("Accounts/", "", {45, 0, true});
        olm.entry("Categories.xml", "<categories xml:space=\"preserve\"></categories>");
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        const QByteArray attachment = "PK\x03\x04 attachment bytes";
        const qint64 attachmentHeader =
            olm.entry("Local/com.microsoft.__Messages/s/Inbox/Sub/com.microsoft.__Attachments/m_0000", attachment);
        const QByteArray mail = mailDocument("Hello");
        const qint64 mailHeader = olm.entry("Local/com.microsoft.__Messages/s/Inbox/Sub/message_00001.xml", mail);
        olm.centralHeader();
        const Scan result = scan(olm);
        QCOMPARE(int(result.result), int(ScanResult::Finished));
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Attachment, DocumentKind::Mail}));

        const DispatchedEntry &att = result.dispatched[1];
        const qint64 attachmentData = attachmentHeader + 30 + att.entryName.size() + 20;
        QCOMPARE(att.start, attachmentData);
        QCOMPARE(att.size, qint64(attachment.size()));
        // The mail lists no attachment: the entry is kept without it when the walk ends.
        QCOMPARE(recoveredAttachments.size(), 1);
        QCOMPARE(recoveredAttachments.first().entryName, att.entryName);
        QCOMPARE(recoveredAttachments.first().offset, attachmentData);
        QVERIFY(tmpstrOrigPath.isEmpty());

        // The end offset handed to the parser is header + 30 + n + m + Z.
        const DispatchedEntry &m = result.dispatched[2];
        QCOMPARE(m.end, mailHeader + 30 + m.entryName.size() + 20 + mail.size());
        QCOMPARE(m.start, m.end - mail.size());
        QVERIFY(objMapFID_Name.values().contains("Sub"));
    }

    // A checksum is evidence, not a verdict: an entry whose CRC-32 is zero is read by
    // its sizes and keeps its name and folder; the account notes the checksum.
    void zeroCrcEntryKeepsItsNameAndFolder()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        const QByteArray mail = mailDocument("Zero checksum");
        const qint64 header = olm.entry("Local/s/Inbox/message_00001.xml", mail, {45, 0, true});
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Mail}));
        const DispatchedEntry &m = result.dispatched[1];
        QCOMPARE(m.entryName, QString("Local/s/Inbox/message_00001.xml"));
        QCOMPARE(m.start, header + 30 + 31 + 20);
        QCOMPARE(m.end, header + 30 + 31 + 20 + qint64(mail.size()));
        QCOMPARE(TmpMlrcPtrStart->ParentId == kFolderWithoutPathId, false);
        QCOMPARE(lossCounts().value(LossReason::ChecksumMismatch), qint64(1));
    }

    void directoryEntryWithoutDataIsFollowedByTheNextHeader()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        olm.entry("Accounts/", "", {45, 0, true});
        olm.entry("Accounts/", "", {45, 0, true});
        olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("After dirs"));
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Mail}));
        QCOMPARE(result.dispatched[1].entryName, QString("Local/s/Inbox/message_00001.xml"));
    }

    void rawScanFindsEveryKindBetweenGarbage()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        olm.raw("garbage <emailsX not a start <email also not PK\x01\x02 stray PK\x03\x04 stray ");
        olm.raw("<contacts xml:space=\"preserve\"><contact></contact></contacts>");
        olm.raw("\x01\x02<tasks x></tasks><appointments y></appointments>zz<notes z></notes><emails a></emails>");
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Contacts, DocumentKind::Tasks,
                                                     DocumentKind::Calendar, DocumentKind::Notes, DocumentKind::Mail}));
    }

    // A raw-scanned document whose end tag the damage took ends at the container's next
    // header: the documents after it are still found, each whole. A header of another
    // shape (an attachment that is a ZIP archive) does not end it.
    void documentWithoutItsEndTagEndsAtTheNextHeader()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        olm.raw("<contacts xml:space=\"preserve\"><contact><OPFContactCopyFirstName xml:space=\"preserve\">Ann"
                "</OPFContactCopyFirstName></contact>PK\x03\x04\x14\x00 a zip's own header <contact>cut");
        const qint64 next = olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("After the cut"));
        olm.entry("Local/s/Inbox/message_00002.xml", mailDocument("And another"));
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Contacts, DocumentKind::Mail,
                                                     DocumentKind::Mail}));
        QCOMPARE(result.dispatched[1].end, next);
        QCOMPARE(result.dispatched[2].entryName, QString("Local/s/Inbox/message_00001.xml"));
        QCOMPARE(ContactItemCount, qint64(1));
        QCOMPARE(MailItemCount, qint64(2));
    }

    void walkEndsAtTheThirdCentralHeader()
    {
        for (int centralHeaders : {2, 3}) {
            OlmBuilder olm;
            olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
            for (int i = 0; i < centralHeaders; ++i)
                olm.centralHeader();
            olm.raw("<tasks xml:space=\"preserve\"></tasks>");
            const Scan result = scan(olm);
            QCOMPARE(result.dispatched.size(), centralHeaders == 3 ? 1 : 2);
            CleanListAndHash();
        }
    }

    void headersInsideRawStretchesMustLookLikeTheContainers()
    {
        // A wiped header in front of an attachment that is itself a ZIP archive:
        // the archive's own headers (version 20, deflated, no Zip64 record, huge
        // sizes) and its central directory neither derail nor end the walk.
        OlmBuilder inner;
        inner.entry("word/document.xml", "deflated bytes of the document", {20, 8, false, 0x7FFFFFFFFFFFULL, 0x7FFFFFFFFFFFULL});
        inner.centralHeader();
        inner.bytes.replace(inner.bytes.size() - 47 + 10, 2, QByteArray("\x08\x00", 2)); // deflated
        inner.centralHeader();
        inner.bytes.replace(inner.bytes.size() - 47 + 10, 2, QByteArray("\x08\x00", 2));
        inner.centralHeader();
        inner.bytes.replace(inner.bytes.size() - 47 + 10, 2, QByteArray("\x08\x00", 2));

        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        const qint64 wiped = olm.entry("Local/s/Inbox/com.microsoft.__Attachments/m_0000", inner.bytes);
        olm.bytes.replace(int(wiped), 4, "XXXX");
        olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("Kept"));
        olm.centralHeader();
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Mail}));
        QCOMPARE(result.dispatched[1].entryName, QString("Local/s/Inbox/message_00001.xml"));
    }

    void untrustedSizesNeverReachPastTheFile_data()
    {
        QTest::addColumn<quint64>("uncompressed");
        QTest::addColumn<quint64>("compressed");
        QTest::newRow("all ones") << ~quint64(0) - 1 << ~quint64(0) - 1;
        QTest::newRow("past the end") << quint64(1) << quint64(1);
        QTest::newRow("U larger than Z") << quint64(1000000) << quint64(1);
    }
    void untrustedSizesNeverReachPastTheFile()
    {
        QFETCH(quint64, uncompressed);
        QFETCH(quint64, compressed);
        const QByteArray mail = mailDocument("Sizes");
        for (quint64 factor : {quint64(1), quint64(1) << 40, quint64(1) << 62}) {
            OlmBuilder olm;
            olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
            olm.entry("Local/s/Inbox/message_00001.xml", mail, {45, 0, false, uncompressed * factor, compressed * factor});
            olm.entry("Local/s/Inbox/message_00002.xml", mailDocument("Next"));
            const Scan result = scan(olm);
            QCOMPARE(int(result.result), int(ScanResult::Finished));
            // A size of 1 is honest about the file but wrong: the entry's data is
            // taken as one byte and the walk raw-scans on; anything larger than the
            // file makes the entry's data raw-scanned. Either way the next mail is found.
            QVERIFY(!result.dispatched.isEmpty());
            QCOMPARE(result.dispatched.last().kind, DocumentKind::Mail);
            for (const DispatchedEntry &entry : result.dispatched) {
                QVERIFY(entry.start >= 0);
                QVERIFY(entry.start + entry.size <= olm.bytes.size());
            }
            CleanListAndHash();
        }
    }

    // A stored entry's data is its uncompressed bytes: two sizes that disagree mark a
    // damaged header. Taken at face value, an uncompressed size larger than the stored
    // one made each small header hand on the bytes before it again.
    void storedEntriesWhoseSizesDisagreeAreDamaged_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<qint64>("sizeChange");
        QTest::newRow("attachment, U larger") << QByteArray("Local/s/com.microsoft.__Attachments/a__message_attachment__") << qint64(4000);
        QTest::newRow("attachment, U smaller") << QByteArray("Local/s/com.microsoft.__Attachments/a__message_attachment__") << qint64(-10);
        QTest::newRow("mail, U larger") << QByteArray("Local/s/Inbox/message_00001.xml") << qint64(4000);
        QTest::newRow("mail, U smaller") << QByteArray("Local/s/Inbox/message_00001.xml") << qint64(-10);
    }
    void storedEntriesWhoseSizesDisagreeAreDamaged()
    {
        QFETCH(QByteArray, name);
        QFETCH(qint64, sizeChange);
        const QByteArray data = mailDocument("Disagreeing sizes");
        OlmBuilder olm;
        olm.entry("Local/s/Inbox/message_00000.xml", mailDocument(QByteArray(5000, 'x')));
        const qint64 damagedHeader = olm.bytes.size();
        olm.entry(name, data, {45, 0, false, quint64(data.size() + sizeChange), quint64(data.size())});
        olm.entry("Local/s/Inbox/message_00002.xml", mailDocument("Next"));
        olm.raw(QByteArray(8000, ' ')); // the file has room for the larger size
        const Scan result = scan(olm);
        QCOMPARE(int(result.result), int(ScanResult::Finished));
        for (const DispatchedEntry &entry : result.dispatched) {
            QVERIFY2(entry.entryName != QString::fromLatin1(name), "the damaged entry is not walked");
            // Nothing handed on reaches back before the damaged header.
            if (entry.end > damagedHeader)
                QVERIFY(entry.start >= damagedHeader);
        }
        // Its data is raw-scanned: the mail inside it is found, and the walk goes on.
        QCOMPARE(result.dispatched.size(), 3);
        QCOMPARE(result.dispatched.at(1).kind, DocumentKind::Mail);
        QVERIFY(result.dispatched.at(1).entryName.isEmpty());
        QCOMPARE(result.dispatched.last().entryName, QStringLiteral("Local/s/Inbox/message_00002.xml"));
    }

    void truncatedHeadersAndDocuments()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        // A name length running past the end of the file.
        olm.raw(QByteArray("PK\x03\x04\x2d\x00\x00\x08\x00\x00\x00\x00\x00\x00\x11\x11\x11\x11\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x14\x00", 30));
        olm.raw("Local/s/<emails xml:space=\"preserve\"><email>never closed");
        const Scan result = scan(olm);
        QCOMPARE(int(result.result), int(ScanResult::Finished));
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Mail}));
        // The end tag never comes: the document runs to the end of the file.
        QCOMPARE(result.dispatched[1].end, qint64(olm.bytes.size()));
        QCOMPARE(result.dispatched[1].start + result.dispatched[1].size, qint64(olm.bytes.size()));
    }

    // Only a file that cannot be read is refused, each for its own reason; a file
    // whose first header differs from an export's is scanned all the same.
    void refusedFiles()
    {
        QTemporaryDir dir;
        const auto write = [&dir](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        const QList<QPair<QString, OpenFailure>> refused = {
            {write("empty.olm", ""), OpenFailure::Empty},
            {dir.path(), OpenFailure::Directory},
            {dir.filePath("missing.olm"), OpenFailure::Missing},
            {dir.filePath("missing.olm/below"), OpenFailure::Missing},
        };
        for (const auto &file : refused) {
            ScanRefusal refusal;
            FolderInformation parsers;
            QVERIFY2(scanFile(file.first, parsers, WalkHooks(), &refusal) == ScanResult::Refused, qPrintable(file.first));
            QCOMPARE(int(refusal.failure), int(file.second));
            QCOMPARE(fileDescriptor, -1);
            QVERIFY(!openFailureMessage(refusal, file.first).isEmpty());
        }
        QCOMPARE(int(openFailureFor(EACCES)), int(OpenFailure::NoPermission));

        OlmBuilder version20;
        version20.entry("Local/s/Inbox/message_00001.xml", mailDocument("One byte off"), {20, 0, false});
        const QStringList scanned = {write("short.olm", "PK\x03\x04"), write("wrong.olm", "MZ\x03\x04\x2d\x00\x00"),
                                     write("version20.olm", version20.bytes)};
        for (const QString &path : scanned) {
            CleanListAndHash();
            const Scan result = scanPath(path);
            QVERIFY2(result.result == ScanResult::Finished, qPrintable(path));
            QCOMPARE(lossCounts().value(LossReason::ContainerDamaged), qint64(1));
        }
        QCOMPARE(MailItemCount, qint64(1)); // the version-20 file's mail
    }

    // The central directory as a second map: where a local header is damaged, the
    // entry keeps the directory's name, folder and size, its data where the
    // directory's sizes and the next header agree or its checksum confirms it.
    void directoryMapsEntriesWhoseLocalHeaderIsDamaged_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<qint64>("block");
        for (const char *damage : {"signature wiped", "name length changed", "extra length changed", "checksum zeroed",
                                   "version changed", "bytes between entries", "end records gone",
                                   "directory cut inside a record", "directory offset wrong"})
            for (const qint64 block : {qint64(64), BlockSizes().block})
                QTest::newRow(qPrintable(QStringLiteral("%1, %2-byte blocks").arg(damage).arg(block)))
                    << QString::fromLatin1(damage) << block;
    }
    void directoryMapsEntriesWhoseLocalHeaderIsDamaged()
    {
        QFETCH(QString, damage);
        QFETCH(qint64, block);
        const bool between = damage == "bytes between entries";
        const QByteArray attachmentName = "Local/s/Inbox/com.microsoft.__Attachments/m_0000";
        const QByteArray attachment = "PK\x03\x04 an attachment that is a zip archive <emails itself";
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"><note></note></notes>");
        if (between)
            olm.raw("junk between entries");
        const qint64 attachmentHeader = olm.entry(attachmentName, attachment);
        if (between)
            olm.raw("more junk");
        const qint64 mailHeader = olm.entry("Local/s/Inbox/message_00001.xml", mailDocument("First"));
        olm.entry("Local/s/Inbox/message_00002.xml", mailDocument("Second"));
        const qint64 directory = olm.centralDirectory();
        for (const qint64 header : {attachmentHeader, mailHeader}) {
            char *at = olm.bytes.data() + header;
            if (damage == "name length changed")
                qToLittleEndian<quint16>(qFromLittleEndian<quint16>(at + 26) + 5, at + 26);
            else if (damage == "extra length changed")
                qToLittleEndian<quint16>(0, at + 28);
            else if (damage == "checksum zeroed")
                qToLittleEndian<quint32>(0, at + 14);
            else if (damage == "version changed")
                olm.bytes[0] = olm.bytes[int(header) + 4] = 20;
            else
                qToLittleEndian<quint32>(0, at);
        }
        if (damage == "end records gone")
            olm.bytes.truncate(olm.bytes.indexOf("PK\x06\x06", int(directory)));
        else if (damage == "directory cut inside a record")
            olm.bytes.truncate(olm.bytes.indexOf("message_00002", int(directory)));
        else if (damage == "directory offset wrong")
            olm.bytes.replace(olm.bytes.indexOf("PK\x06\x06", int(directory)) + 48, 1, "\x07");

        MemoryByteSource source(olm.bytes.constData(), olm.bytes.size(), {block, qMin<qint64>(block, 4096), block});
        QList<DispatchedEntry> dispatched;
        WalkHooks hooks;
        hooks.dispatched = [&dispatched](const DispatchedEntry &entry) { dispatched.append(entry); };
        FolderInformation parsers;
        QCOMPARE(int(walkContainer(source, parsers, hooks)), int(WalkResult::Finished));
        finishScan();
        QStringList names;
        for (const DispatchedEntry &entry : dispatched) {
            names << entry.entryName;
            if (entry.entryName == attachmentName) {
                QCOMPARE(entry.start, attachmentHeader + 30 + attachmentName.size() + 20);
                QCOMPARE(entry.size, qint64(attachment.size()));
            }
        }
        const QStringList expected = {"Local/Notes/Notes.xml", attachmentName, "Local/s/Inbox/message_00001.xml",
                                      "Local/s/Inbox/message_00002.xml"};
        QCOMPARE(names, expected);
        QCOMPARE(MailItemCount, qint64(2));
        for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next)
            QVERIFY(mail->ParentId != kFolderWithoutPathId);
        if (damage == "checksum zeroed") {
            QCOMPARE(lossCounts().value(LossReason::ChecksumMismatch), qint64(2));
            QVERIFY(recordedLosses().first().why.contains("match the directory's checksum"));
        }
    }

    // An export re-packed by a zip tool: its deflated documents are inflated for the
    // parsers, its deflated attachments read back inflated at offsets past the file's end
    // (in blocks, and from the middle), and a stream that does not inflate is a loss.
    void deflatedEntriesAreInflated()
    {
        QByteArray attachment;
        for (int i = 0; attachment.size() < 300000; ++i)
            attachment += QByteArray::number(i * 7919 % 100003) + " attachment words ";
        const QByteArray mail = mailDocument("Re-packed");
        const QByteArray attachmentName = "Local/s/Inbox/com.microsoft.__Attachments/m_0000";
        OlmBuilder olm;
        for (const QByteArray &name : {attachmentName, QByteArray("Local/s/Inbox/message_00001.xml")}) {
            const QByteArray &data = name == attachmentName ? attachment : mail;
            const QByteArray deflated = rawDeflate(data);
            olm.entry(name, deflated, {20, 8, false, quint64(data.size()), quint64(deflated.size())});
        }
        olm.entry("Local/s/Inbox/message_00002.xml", "not a deflate stream at all, just bytes",
                  {20, 8, false, 4000, 39});
        auto file = olm.file();
        const Scan result = scanPath(file->fileName());
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Attachment, DocumentKind::Mail, DocumentKind::Mail}));
        QCOMPARE(MailItemCount, qint64(1));
        QCOMPARE(TmpMlrcPtrStart->ParentId == kFolderWithoutPathId, false);
        QCOMPARE(lossCounts().value(LossReason::DocumentUnreadable), qint64(1));

        const DispatchedEntry &stored = result.dispatched.first();
        QVERIFY(isInflatedOffset(stored.start));
        QCOMPARE(stored.size, qint64(attachment.size()));
        const FileTextReader olmReader(fileDescriptor, lSize);
        QByteArray blocks;
        for (qint64 at = 0; at < stored.size; at += 100000)
            blocks += olmReader.read(stored.start + at, 100000);
        QCOMPARE(blocks, attachment);
        QCOMPARE(olmReader.read(stored.start + 123456, 1000), attachment.mid(123456, 1000));
        QCOMPARE(olmReader.read(stored.start + stored.size, 10), QByteArray());
        CleanListAndHash();
        QCOMPARE(olmReader.read(stored.start, 10), QByteArray()); // gone with its scan
    }

    // An export cut short: 0, 1 and 2 bytes before the end of its last entry. The
    // entry's whole items keep their folder, and a file that ends inside an entry says so.
    void exportsCutInsideTheirLastEntry_data()
    {
        QTest::addColumn<int>("cut");
        for (const int cut : {0, 1, 2})
            QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(cut))) << cut;
    }
    void exportsCutInsideTheirLastEntry()
    {
        QFETCH(int, cut);
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"><note></note></notes>");
        olm.entry("Local/s/Inbox/message_00001.xml",
                  "<emails xml:space=\"preserve\"><email><OPFMessageCopySubject>A</OPFMessageCopySubject></email>"
                  "<email><OPFMessageCopySubject>B</OPFMessageCopySubject></email></emails>");
        olm.bytes.chop(cut);
        const Scan result = scan(olm);
        QCOMPARE(int(result.result), int(ScanResult::Finished));
        QCOMPARE(MailItemCount, qint64(2));
        for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next)
            QVERIFY(mail->ParentId != kFolderWithoutPathId);
        QCOMPARE(lossCounts().value(LossReason::FileCut), qint64(cut > 0 ? 1 : 0));
        if (cut > 0)
            QVERIFY(recordedLosses().last().why.contains("the last entry read whole is \"Local/Notes/Notes.xml\""));
    }

    void stopRequestEndsTheWalkAndKeepsWhatWasParsed()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"><note></note></notes>");
        olm.raw("<tasks x><task></task></tasks>");
        auto file = olm.file();
        WalkHooks hooks;
        QList<DocumentKind> seen;
        bool stop = false;
        hooks.dispatched = [&seen, &stop](const DispatchedEntry &entry) {
            seen.append(entry.kind);
            stop = true; // as the progress dialog's stop button does during a tick
        };
        hooks.stopRequested = [&stop] { return stop; };
        FolderInformation parsers;
        QCOMPARE(int(scanFile(file->fileName(), parsers, hooks)), int(ScanResult::Stopped));
        QCOMPARE(seen, QList<DocumentKind>{DocumentKind::Notes});
        QVERIFY(!bProcessRunning);
        QCOMPARE(NotesItemCount, qint64(1)); // records parsed so far stay
        QVERIFY(pBuff == nullptr);

        // The next walk, not asked to stop, runs to the end.
        seen.clear();
        stop = false;
        hooks.dispatched = [&seen](const DispatchedEntry &entry) { seen.append(entry.kind); };
        QCOMPARE(int(scanFile(file->fileName(), parsers, hooks)), int(ScanResult::Finished));
        QCOMPARE(seen, (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Tasks}));
    }

    void progressIsCountedIn512ByteUnits()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        olm.raw(QByteArray(100000, 'y'));
        qint64 last = -1;
        const Scan result = scan(olm, [&last](qint64 units) { last = units; });
        QCOMPARE(int(result.result), int(ScanResult::Finished));
        QCOMPARE(last, qint64(olm.bytes.size() / 512));
    }
};

QTEST_GUILESS_MAIN(ContainerWalkTest)
#include "test_containerwalk.moc"
