// The walk over intact and damaged containers: what it dispatches, where, and in which order.
#include "OlmBuilder.h"
#include "olm/EntryPath.h"
#include "olm/FolderHierarchy.h"
#include "olm/RecoveredAttachments.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

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

    void zeroCrcEntryIsRawScanned()
    {
        OlmBuilder olm;
        olm.entry("Local/Notes/Notes.xml", "<notes xml:space=\"preserve\"></notes>");
        const QByteArray mail = mailDocument("Raw");
        const qint64 header = olm.entry("Local/s/Inbox/message_00001.xml", mail, {45, 0, true});
        const Scan result = scan(olm);
        QCOMPARE(kinds(result), (QList<DocumentKind>{DocumentKind::Notes, DocumentKind::Mail}));
        const DispatchedEntry &m = result.dispatched[1];
        QVERIFY(m.entryName.isEmpty()); // found by the raw scan, so no folder path
        const qint64 emailsAt = header + 30 + 31 + 20 + mail.indexOf("<emails ");
        QCOMPARE(m.start, emailsAt);
        QCOMPARE(m.end, header + 30 + 31 + 20 + qint64(mail.size()));
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

    void refusedFiles()
    {
        QTemporaryDir dir;
        const auto write = [&dir](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        const QStringList refused = {
            write("empty.olm", ""),
            write("short.olm", "PK\x03\x04"),
            write("wrong.olm", "MZ\x03\x04\x2d\x00\x00"),
            write("version20.olm", QByteArray("PK\x03\x04\x14\x00\x00\x08", 8)),
            dir.path(),
            dir.filePath("missing.olm"),
        };
        for (const QString &path : refused) {
            const Scan result = scanPath(path);
            QVERIFY2(result.result == ScanResult::Refused, qPrintable(path));
            QVERIFY(result.dispatched.isEmpty());
            QCOMPARE(fileDescriptor, -1);
        }
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
