// The account of losses as a scan fills it: what damage and over-long values cost,
// named by kind, item, folder and field, and nothing for an intact file.
#include "OlmBuilder.h"
#include "archive/BundleLayout.h"
#include "archive/ItemConverters.h"
#include "archive/SaveBundle.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFiles.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "olm/RecoveredAttachments.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"
#include "scan/ScanSession.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <new>

namespace {
QByteArray el(const QByteArray &name, const QByteArray &content, const QByteArray &attributes = QByteArray())
{
    return "<" + name + " xml:space=\"preserve\"" + (attributes.isEmpty() ? QByteArray() : " " + attributes) + ">"
           + content + "</" + name + ">";
}

QByteArray document(const QByteArray &root, int declared, const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + " xml:space=\"preserve\" elementCount=\""
           + QByteArray::number(declared) + "\">" + items + "</" + root + ">";
}

QByteArray mail(const QByteArray &subject, const QByteArray &more = QByteArray())
{
    return el("email", el("OPFMessageCopySubject", subject) + more);
}

QByteArray contact(const QByteArray &first)
{
    return el("contact", el("OPFContactCopyFirstName", first) + el("OPFContactCopyLastName", "Doe"));
}

const char kInbox[] = "Local/com.microsoft.__Messages/On My Computer/Inbox/";

// The size in float notation, as exports write it; none when negative.
QByteArray attachmentList(const QByteArray &name, const QByteArray &url, const QByteArray &type = "text/plain",
                          qint64 size = -1)
{
    const QByteArray sizeAttribute =
        size < 0 ? QByteArray() : "OPFAttachmentContentFileSize=\"" + QByteArray::number(double(size), 'E', 4) + "\" ";
    return el("OPFMessageCopyAttachmentList",
              el("messageAttachment", QByteArray(),
                 sizeAttribute + "OPFAttachmentContentType=\"" + type + "\" OPFAttachmentName=\"" + name
                     + "\" OPFAttachmentURL=\"" + url + "\""));
}

// An attachment whose header lost its signature, then its mail: the walk does not
// register the attachment, the mail's list places it by its size.
struct Damage {
    bool pathDamaged = false;     // the first byte of the attachment's path in its header
    bool mailHeaderWiped = false; // the mail's header zeroed but its path
    QByteArray between;           // bytes between the attachment and its mail
};
OlmBuilder attachmentBeforeItsMail(const QByteArray &type, const QByteArray &data, qint64 listedSize,
                                   const Damage &damage = Damage())
{
    const QByteArray url = QByteArray(kInbox) + "com.microsoft.__Attachments/1_0000";
    OlmBuilder file;
    file.entry("Categories.xml", "<categories/>");
    const qint64 attachment = file.entry(url, data);
    file.bytes.replace(int(attachment), 4, QByteArray(4, '\0'));
    if (damage.pathDamaged)
        file.bytes[int(attachment) + 30] = 'X';
    file.raw(damage.between);
    const qint64 mailHeader = file.entry(QByteArray(kInbox) + "message_00000.xml",
                                         document("emails", 1, mail("Has file", attachmentList("a.bin", url, type, listedSize))));
    if (damage.mailHeaderWiped)
        file.bytes.replace(int(mailHeader), 30, QByteArray(30, '\0'));
    return file;
}

struct Expected {
    LossReason reason;
    QString kind, item, folder, field;
    qint64 count;
};

// Every kind of damage the account tells, over and over, so that each falls at every
// place a document can take in the parsing queue: lists that do not match their entries,
// mails found without their headers, a zeroed checksum, items without end tags, a
// document declaring more items than it holds, values too long, and the file cut at its end.
OlmBuilder damagedAtEveryTurn()
{
    OlmBuilder file;
    file.entry("Categories.xml", "<categories/>");
    for (int round = 0; round < 24; ++round) {
        const QByteArray n = QByteArray::number(round);
        const QByteArray url = QByteArray(kInbox) + "com.microsoft.__Attachments/" + n + "_0000";
        file.entry(url, "attachment " + n);
        QByteArray mails = mail("Mail " + n, attachmentList("a" + n + ".txt", round % 3 ? url : "Local/x/gone"));
        if (round % 4 == 1)
            mails += mail(QByteArray(1100, char('a' + round % 26)));
        QByteArray emails = document("emails", round % 5 == 2 ? 3 : 1 + (round % 4 == 1), mails);
        if (round % 6 == 3)
            emails.replace("</email>", "        ");
        OlmBuilder::Header header;
        header.zeroCrc = round % 7 == 4;
        const qint64 at = file.entry(QByteArray(kInbox) + "message_" + n + ".xml", emails, header);
        if (round % 8 == 5)
            file.bytes.replace(int(at), 30, QByteArray(30, '\0'));
        if (round % 3 == 0)
            file.entry("Local/Address Book/Contacts.xml",
                       document("contacts", 4, contact("Ann" + n) + contact("Bo" + n) + contact("Cy" + n)));
    }
    const QByteArray contacts = document("contacts", 3, contact("Last") + contact("Cut"));
    file.entry("Local/Address Book/Contacts.xml", contacts);
    file.bytes.chop(contacts.size() - contacts.indexOf("</contact>", contacts.indexOf("Cut")));
    return file;
}

// What a scan made of a file, as lines: how it ended and where, every loss, and every
// record with the values damage decides.
QStringList scanOutcome(const QString &path, int workers)
{
    CleanListAndHash();
    FolderInformation parsers(nullptr, workers);
    const ScanResult result = scanFile(path, parsers, WalkHooks());
    QStringList lines{QStringLiteral("result %1 at %2").arg(int(result)).arg(lastScanExtent().reached)};
    for (const Loss &loss : recordedLosses())
        lines << lossLogLine(loss);
    for (const MailMLRC *m = TmpMlrcPtrStart; m; m = m->Next)
        lines << QStringLiteral("mail %1 in %2 (%3): %4 at %5")
                     .arg(utf8Field(m->Subject), folderPathOf(m->ParentId))
                     .arg(m->ParentId)
                     .arg(ownedText(m->AttachNames, FieldEncoding::Utf8), ownedText(m->AttachOffsets, FieldEncoding::Latin1));
    for (const ContactInformation *c = TmpCTRCPtrStart; c; c = c->Next)
        lines << QStringLiteral("contact ") + utf8Field(c->FirstName);
    lines << QStringLiteral("recovered attachments %1").arg(recoveredAttachments.size());
    return lines;
}

void throwOnSecondRecord()
{
    static int appended = 0;
    if (++appended == 2)
        throw std::bad_alloc();
}
} // namespace

Q_DECLARE_METATYPE(OlmBuilder)
Q_DECLARE_METATYPE(QVector<Expected>)

class LossAccountTest : public QObject
{
    Q_OBJECT

    static ScanResult scan(const OlmBuilder &builder)
    {
        auto file = builder.file();
        FolderInformation parsers;
        return scanFile(file->fileName(), parsers, WalkHooks());
    }

private slots:
    void cleanup()
    {
        recordAppendedForTests = nullptr;
        recordMemoryLimit = defaultRecordMemoryLimit();
        CleanListAndHash();
    }

    void scanNamesEveryLoss_data()
    {
        QTest::addColumn<OlmBuilder>("file");
        QTest::addColumn<QVector<Expected>>("expected");

        const QByteArray longSubject(1100, 'x');
        OlmBuilder intact;
        intact.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail("Hello")));
        intact.entry("Local/Address Book/Contacts.xml", document("contacts", 2, contact("Ann") + contact("Bo")));
        QTest::newRow("intact") << intact << QVector<Expected>();

        OlmBuilder tooLong;
        tooLong.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail(longSubject)));
        QTest::newRow("subject longer than its field")
            << tooLong
            << QVector<Expected>{{LossReason::ValueTooLong, "mail", QString(79, QLatin1Char('x')) + QChar(0x2026),
                                  "On My Computer/Inbox", "OPFMessageCopySubject", 1}};

        OlmBuilder wiped;
        wiped.entry("Categories.xml", "<categories/>");
        wiped.raw(QByteArray(30, '\0') + document("emails", 1, mail("Found raw")));
        QTest::newRow("mail without its entry header")
            << wiped << QVector<Expected>{{LossReason::FolderPathLost, "mail", "Found raw", "", "", 1}};

        OlmBuilder missing;
        missing.entry(QByteArray(kInbox) + "message_00000.xml",
                      document("emails", 1, mail("With file", attachmentList("a.txt", "Local/x/a_0000"))));
        QTest::newRow("attachment listed, not in the file")
            << missing
            << QVector<Expected>{{LossReason::AttachmentMissing, "attachment", "a.txt", "On My Computer/Inbox", "", 1}};

        // Cut inside the second of three contacts: the entry's sizes no longer fit and it is raw-scanned.
        OlmBuilder cut;
        const QByteArray contacts = document("contacts", 3, contact("Ann") + contact("Bo") + contact("Cy"));
        cut.entry("Local/Address Book/Contacts.xml", contacts);
        cut.bytes.chop(contacts.size() - contacts.indexOf("</contact>", contacts.indexOf("Bo")));
        QTest::newRow("document cut by the end of the file")
            << cut
            << QVector<Expected>{{LossReason::FileCut, "document", "Local/Address Book/Contacts.xml", "", "", 1},
                                 {LossReason::ItemCutByDamage, "contact", "Bo Doe", "", "", 1},
                                 {LossReason::ItemCutByDamage, "contact", "", "", "", 1}};

        // The last item end tag overwritten: the document ends inside its item.
        OlmBuilder noEndTag;
        QByteArray twoMails = document("emails", 1, mail("Lost end"));
        twoMails.replace("</email>", "        ");
        noEndTag.entry(QByteArray(kInbox) + "message_00000.xml", twoMails);
        QTest::newRow("item end tag missing")
            << noEndTag
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "mail", "Lost end", "On My Computer/Inbox", "", 1}};

        // Zeroes over the tail of a mail whose entry is whole: its end tag and its document's
        // are gone, but the entry's size says where the document ends.
        OlmBuilder zeroedTail;
        QByteArray zeroed = document("emails", 1, mail("Zeroed tail"));
        const int tail = zeroed.indexOf("</email>");
        zeroed.replace(tail, zeroed.size() - tail, QByteArray(zeroed.size() - tail, '\0'));
        zeroedTail.entry(QByteArray(kInbox) + "message_00000.xml", zeroed);
        QTest::newRow("item and document end tags zeroed in a whole entry")
            << zeroedTail
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "mail", "Zeroed tail", "On My Computer/Inbox", "", 1}};

        // The first contact's last value and end tag damaged: it ends where the next
        // begins, that value named; the next one stays whole.
        OlmBuilder damagedEnd;
        QByteArray twoContacts = document("contacts", 2, contact("Ann") + contact("Bo"));
        const QByteArray annEnd("</OPFContactCopyLastName></contact>");
        twoContacts.replace(twoContacts.indexOf(annEnd), annEnd.size(), QByteArray(annEnd.size(), ' '));
        damagedEnd.entry("Local/Address Book/Contacts.xml", twoContacts);
        QTest::newRow("value and item end tag damaged")
            << damagedEnd
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "contact", "Ann", "", "OPFContactCopyLastName", 1}};
    }

    // What a mail says of its attachments stands in for the container's damaged map.
    void inferredFromTheItem_data()
    {
        QTest::addColumn<OlmBuilder>("file");
        QTest::addColumn<QVector<Expected>>("expected");
        const QByteArray pdf("%PDF-1.4 body"), text("plain words");
        const QString inbox("On My Computer/Inbox");
        Damage pathDamaged;
        pathDamaged.pathDamaged = true;
        Damage mailWiped;
        mailWiped.mailHeaderWiped = true;
        Damage gap;
        gap.between = QByteArray(300, '.');
        QTest::newRow("its entry path confirms the place")
            << attachmentBeforeItsMail("text/plain", text, text.size())
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "attachment", "a.bin", inbox, "", 1}};
        QTest::newRow("its first bytes confirm it where the path is damaged")
            << attachmentBeforeItsMail("application/pdf", pdf, pdf.size(), pathDamaged)
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "attachment", "a.bin", inbox, "", 1}};
        QTest::newRow("its path found past bytes between it and its mail")
            << attachmentBeforeItsMail("text/plain", text, text.size(), gap)
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "attachment", "a.bin", inbox, "", 1}};
        QTest::newRow("nothing confirms it")
            << attachmentBeforeItsMail("text/plain", text, text.size(), pathDamaged)
            << QVector<Expected>{{LossReason::AttachmentMissing, "attachment", "a.bin", inbox, "", 1}};
        QTest::newRow("a listed size that does not fit")
            << attachmentBeforeItsMail("text/plain", text, text.size() + 1)
            << QVector<Expected>{{LossReason::AttachmentMissing, "attachment", "a.bin", inbox, "", 1}};
        QTest::newRow("no size listed")
            << attachmentBeforeItsMail("text/plain", text, -1)
            << QVector<Expected>{{LossReason::AttachmentMissing, "attachment", "a.bin", inbox, "", 1}};
        // The mail's own header wiped but its path: its folder comes from its attachment's path.
        QTest::newRow("the mail's folder from its attachment's path")
            << attachmentBeforeItsMail("text/plain", text, text.size(), mailWiped)
            << QVector<Expected>{{LossReason::RecoveredWithDoubt, "mail", "Has file", inbox, "", 1},
                                 {LossReason::RecoveredWithDoubt, "attachment", "a.bin", inbox, "", 1}};
    }

    void inferredFromTheItem()
    {
        scanNamesEveryLoss();
        const MailMLRC *mail = TmpMlrcPtrStart;
        QVERIFY(mail && !mail->Next);
        QCOMPARE(folderPathOf(mail->ParentId), QStringLiteral("On My Computer/Inbox"));
        QFETCH(QVector<Expected>, expected);
        const bool placed = expected.last().reason == LossReason::RecoveredWithDoubt;
        QCOMPARE(mail->AttachNames != nullptr, placed);
        if (placed) {
            // The offset and size stored are those of the attachment's data in the file.
            QFETCH(OlmBuilder, file);
            const qint64 offset = QByteArray(mail->AttachOffsets).chopped(1).toLongLong();
            const qint64 size = QByteArray(mail->AttachSizes).chopped(1).toLongLong();
            const QByteArray data = file.bytes.mid(int(offset), int(size));
            QVERIFY2(data == "plain words" || data == "%PDF-1.4 body", data.constData());
            QVERIFY(QByteArray(mail->AttachUrls).contains("com.microsoft.__Attachments/1_0000"));
        }
    }

    void scanNamesEveryLoss()
    {
        QFETCH(OlmBuilder, file);
        QFETCH(QVector<Expected>, expected);
        QVERIFY(scan(file) != ScanResult::Refused);
        const QVector<Loss> losses = recordedLosses();
        QStringList lines;
        for (const Loss &loss : losses)
            lines << lossLogLine(loss);
        QCOMPARE(losses.size(), expected.size());
        qint64 total = 0;
        for (int i = 0; i < expected.size(); ++i) {
            const Loss &loss = losses.at(i);
            const Expected &want = expected.at(i);
            QVERIFY2(loss.reason == want.reason, qPrintable(lines.at(i)));
            QCOMPARE(loss.kind, want.kind);
            QCOMPARE(loss.item, want.item);
            QCOMPARE(loss.folder, want.folder);
            QCOMPARE(loss.field, want.field);
            QCOMPARE(loss.count, want.count);
            QVERIFY(!loss.why.isEmpty());
            total += want.count;
        }
        QCOMPARE(lossTotal(), total);
        QCOMPARE(lossSummaryLine().isEmpty(), expected.isEmpty());
    }

    // An attachment entry whose header gives more bytes than the entry holds is no
    // entry the walk takes: the mail that lists it says its attachment is missing.
    void attachmentLargerThanItsEntryIsAccountedFor()
    {
        OlmBuilder file;
        OlmBuilder::Header lying;
        lying.uncompressedSize = 5000; // the entry holds 10 bytes
        file.entry("Local/x/a_0000", "0123456789", lying);
        // A long body, so that the file has room for the size the header gives.
        file.entry(QByteArray(kInbox) + "message_00000.xml",
                   document("emails", 1,
                            mail("With file", attachmentList("a.txt", "Local/x/a_0000")
                                                  + el("OPFMessageCopyBody", QByteArray(6000, 'b')))));
        QCOMPARE(scan(file), ScanResult::Finished);
        QVERIFY(TmpMlrcPtrStart);
        QVERIFY(!TmpMlrcPtrStart->AttachOffsets); // never an offset before the entry's data
        const QVector<Loss> losses = recordedLosses();
        QCOMPARE(losses.size(), 1);
        QVERIFY(losses.first().reason == LossReason::AttachmentMissing);
        QCOMPARE(losses.first().item, QStringLiteral("a.txt"));
        QVERIFY(losses.first().why.contains(QStringLiteral("\"With file\"")));
    }

    // Documents parsed on several threads are committed as one thread would: the same
    // records, folders and account of losses, in the same order, and where record memory
    // fills, the scan ends at the same place.
    void everyWorkerCountGivesTheSameScan_data()
    {
        QTest::addColumn<qint64>("recordLimit");
        QTest::newRow("whole") << defaultRecordMemoryLimit();
        QTest::newRow("memory fills half way") << qint64(sizeof(MailMLRC)) * 20;
    }

    void everyWorkerCountGivesTheSameScan()
    {
        QFETCH(qint64, recordLimit);
        const auto file = damagedAtEveryTurn().file();
        recordMemoryLimit = recordLimit;
        const QStringList oneWorker = scanOutcome(file->fileName(), 1);
        const QMap<LossReason, qint64> counts = lossCounts();
        for (const LossReason reason : {LossReason::AttachmentMissing, LossReason::FolderPathLost,
                                        LossReason::ChecksumMismatch, LossReason::ItemCutByDamage})
            QVERIFY2(counts.value(reason) > 0, qPrintable(lossReasonKey(reason)));
        QCOMPARE(oneWorker.first().startsWith(QStringLiteral("result %1").arg(int(ScanResult::Incomplete))),
                 recordLimit != defaultRecordMemoryLimit());
        for (const int workers : {2, 3, 8})
            QCOMPARE(scanOutcome(file->fileName(), workers), oneWorker);
    }

    void memoryRunningOutLosesOnlyThatItem()
    {
        OlmBuilder file;
        file.entry("Local/Address Book/Contacts.xml", document("contacts", 3, contact("Ann") + contact("Bo") + contact("Cy")));
        recordAppendedForTests = throwOnSecondRecord;
        QCOMPARE(scan(file), ScanResult::Finished);
        QStringList kept;
        for (const ContactInformation *c = TmpCTRCPtrStart; c; c = c->Next)
            kept << utf8Field(c->FirstName);
        QCOMPARE(kept, (QStringList{"Ann", "Cy"}));
        QCOMPARE(ContactItemCount, qint64(2));
        const QVector<Loss> losses = recordedLosses();
        QCOMPARE(losses.size(), 1);
        QVERIFY(losses.first().reason == LossReason::OutOfMemory);
        QCOMPARE(losses.first().item, QStringLiteral("Bo Doe"));
    }

    void scanEndedByTheMemoryLimitSaysSo()
    {
        OlmBuilder file;
        QByteArray many;
        for (int i = 0; i < 50; ++i)
            many += contact("C" + QByteArray::number(i));
        file.entry("Local/Address Book/Contacts.xml", document("contacts", 50, many));
        file.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail("After")));
        recordMemoryLimit = qint64(sizeof(ContactInformation)) * 10;
        QCOMPARE(scan(file), ScanResult::Incomplete);
        const QMap<LossReason, qint64> counts = lossCounts();
        QCOMPARE(counts.value(LossReason::ScanIncomplete), qint64(1));
        // Items the limit refused are told as a whole, not as damage.
        QCOMPARE(counts.value(LossReason::ItemCutByDamage), qint64(0));
    }

    // Records come from shared blocks, in memory or, past the resident share, in the
    // temporary file: each slot reads as zero, none overlaps another across block ends,
    // the watch counts each record's own size, and a dropped tail's slot is handed out
    // again cleared.
    void recordSlotsAreZeroedAndCountedEachAlone_data()
    {
        QTest::addColumn<qint64>("residentLimit");
        QTest::newRow("in memory") << defaultResidentMemoryLimit();
        QTest::newRow("on disk") << (qint64(4) << 20);
    }

    void recordSlotsAreZeroedAndCountedEachAlone()
    {
        QFETCH(qint64, residentLimit);
        CleanListAndHash();
        residentMemoryLimit = residentLimit;
        // The system's temporary directory may be a memory file system, which records never use.
        const QByteArray systemTemporary = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(QCoreApplication::applicationDirPath()));
        const size_t size = sizeof(MailMLRC);
        QVector<unsigned char *> handed;
        for (int i = 0; i < 2500; ++i) { // more records than one block holds
            auto *slot = static_cast<unsigned char *>(allocateRecordSlot(size));
            QVERIFY(slot);
            QVERIFY2(std::all_of(slot, slot + size, [](unsigned char b) { return b == 0; }), qPrintable(QString::number(i)));
            memset(slot, (i % 250) + 1, size);
            handed.append(slot);
        }
        for (int i = 0; i < handed.size(); ++i)
            QVERIFY2(handed[i][0] == (i % 250) + 1 && handed[i][size - 1] == (i % 250) + 1, qPrintable(QString::number(i)));
        QCOMPARE(recordMemoryInUse, qint64(size) * handed.size());
        QCOMPARE(recordBytesOnDisk() > 0, residentLimit < defaultResidentMemoryLimit());

        returnRecordSlot(handed.last(), size);
        QCOMPARE(allocateRecordSlot(size), static_cast<void *>(handed.last()));
        QVERIFY(std::all_of(handed.last(), handed.last() + size, [](unsigned char b) { return b == 0; }));
        // A slot in the middle is not handed out again: the next one is new.
        memset(handed.last(), 7, size);
        returnRecordSlot(handed.first(), size);
        void *next = allocateRecordSlot(size);
        QVERIFY(next != handed.first() && next != handed.last());
        QCOMPARE(handed.first()[0], (unsigned char)1);

        recordMemoryLimit = recordMemoryInUse + qint64(size) - 1;
        QVERIFY(!allocateRecordSlot(size));
        QVERIFY(recordMemoryFull);
        CleanListAndHash();
        QCOMPARE(recordMemoryInUse, qint64(0));
        QVERIFY(!recordMemoryFull);
        recordMemoryLimit = defaultRecordMemoryLimit();
        auto *fresh = static_cast<unsigned char *>(allocateRecordSlot(size));
        QVERIFY(fresh && std::all_of(fresh, fresh + size, [](unsigned char b) { return b == 0; }));
        residentMemoryLimit = defaultResidentMemoryLimit();
        if (systemTemporary.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", systemTemporary);
    }

    // The identity behind a standard file's UID is digested when the save asks for it,
    // from the item's own bytes read back from the file: each item's offset and the
    // SHA-1 of the bytes before its end tag.
    void itemIdentityDigestsTheItemsOwnBytes()
    {
        const QByteArray name = "Local/Address Book/Contacts.xml";
        const QByteArray contacts = document("contacts", 2, contact("Ann") + contact("Bo"));
        OlmBuilder file;
        file.entry("Local/x/a_0000", "an attachment before the document");
        const qint64 dataStart = file.entry(name, contacts) + 30 + name.size() + 20;
        QCOMPARE(scan(file), ScanResult::Finished);
        QCOMPARE(ContactItemCount, qint64(2));
        const FileTextReader olm(fileDescriptor, lSize);
        const int endTag = int(qstrlen("</contact>"));
        const int firstEnd = contacts.indexOf("</contact>");
        const int secondEnd = contacts.indexOf("</contact>", firstEnd + 1);
        const auto identity = [&](qint64 from, qint64 to) {
            return QByteArray::number(dataStart + from) + ' '
                   + QCryptographicHash::hash(contacts.mid(int(from), int(to - from)), QCryptographicHash::Sha1).toHex();
        };
        QCOMPARE(itemIdentity(detailsOf(TmpCTRCPtrStart).place, olm), identity(0, firstEnd));
        QCOMPARE(itemIdentity(detailsOf(TmpCTRCPtrStart->Next).place, olm), identity(firstEnd + endTag, secondEnd));
    }

    // Attachment entries that no mail takes and folders without end are kept beside
    // the records: the watch counts them too, and the scan ends at its limit.
    void sideTablesCountAgainstTheLimit()
    {
        OlmBuilder strays;
        for (int i = 0; i < 400; ++i)
            strays.entry("Local/x/" + QByteArray(200, 'a') + QByteArray::number(i), "data");
        strays.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail("After")));
        recordMemoryLimit = 64 * 1024;
        QCOMPARE(scan(strays), ScanResult::Incomplete);
        QCOMPARE(MailItemCount, qint64(0));
        QVERIFY(recordMemoryInUse <= recordMemoryLimit);

        // Folders whose documents hold no mail at all.
        OlmBuilder folders;
        for (int i = 0; i < 400; ++i)
            folders.entry("Local/com.microsoft.__Messages/Inbox/" + QByteArray(1000, 'f') + QByteArray::number(i)
                              + "/message_00000.xml",
                          document("emails", 0, QByteArray()));
        folders.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail("After")));
        recordMemoryLimit = 256 * 1024;
        QCOMPARE(scan(folders), ScanResult::Incomplete);
        QCOMPARE(MailItemCount, qint64(0));
    }

    // The file shrank during the save: the attachment is written short, said so, and
    // the rescue report lists it with the scan's own losses.
    void saveReportsWhatItCouldNotCarry()
    {
        OlmBuilder file;
        const QByteArray attachment(2000, 'a');
        file.entry("Local/x/a_0000", attachment);
        file.entry(QByteArray(kInbox) + "message_00000.xml",
                   document("emails", 1, mail("With file", attachmentList("a.txt", "Local/x/a_0000"))));
        const QByteArray longSubject = QByteArray(600, 'y') + QByteArray(600, 'z');
        file.entry(QByteArray(kInbox) + "message_00001.xml", document("emails", 1, mail(longSubject)));
        file.raw(QByteArray(30, '\0') + document("emails", 1, mail("Found raw")));
        auto olmFile = file.file();
        FolderInformation parsers;
        QCOMPARE(scanFile(olmFile->fileName(), parsers, WalkHooks()), ScanResult::Finished);

        QTemporaryDir destination;
        const QString output = destination.path() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(output));
        // Everything up to the middle of the attachment.
        const ByteArrayTextReader shrunk(file.bytes.left(file.bytes.indexOf(attachment) + 1000));
        SaveRequest request;
        request.bundlePath = output;
        request.folders = foldersAtOrBelow({llRootId});
        request.olm = &shrunk;
        request.format = BundleFormat::Standard;
        QStringList logged;
        SaveHooks hooks;
        hooks.log = [&logged](const QString &line) { logged << line; };
        const SaveReport report = saveBundle(request, hooks);
        QCOMPARE(report.written[size_t(ItemKind::Mail)], qint64(3));
        QCOMPARE(report.incomplete.size(), 1);
        QVERIFY2(report.incomplete.first().contains(QStringLiteral("1000 of 2000")), qPrintable(report.incomplete.first()));
        QCOMPARE(logged.size(), 1);
        QCOMPARE(report.losses.size(), 1);
        QVERIFY(report.losses.first().reason == LossReason::AttachmentCut && report.losses.first().duringSave);

        QFile rescue(output + QLatin1Char('/') + QLatin1String(kRescueReportName));
        QVERIFY(rescue.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(rescue.readAll());
        QVERIFY2(text.contains(QStringLiteral("  On My Computer/Inbox: 2 mails\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("  Folder1: 1 mails\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Losses (2):\n")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("folder-path-lost: Found raw (mail)")));
        QVERIFY(text.contains(QStringLiteral("attachment-cut: mail \"With file\"")));
        // The subject too long for the bundle's record is whole in the mbox: not a loss here.
        QVERIFY(!text.contains(QStringLiteral("value-too-long")));
        QFile mbox(output + QStringLiteral("/Mail/On My Computer/Inbox/Inbox.mbox"));
        QVERIFY(mbox.open(QIODevice::ReadOnly));
        QString subjects;
        const QString unfolded = QString::fromUtf8(mbox.readAll()).replace(QStringLiteral("\n "), QStringLiteral(" "));
        QRegularExpressionMatchIterator words =
            QRegularExpression(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?=")).globalMatch(unfolded);
        while (words.hasNext())
            subjects += QString::fromUtf8(QByteArray::fromBase64(words.next().captured(1).toLatin1()));
        QVERIFY2(subjects.contains(QString::fromLatin1(longSubject)), qPrintable(subjects.left(200)));
    }

    // The bundle's event file leaves a description this long out: a loss of the bundle alone.
    void descriptionLeftOutOfTheBundle()
    {
        OlmBuilder file;
        const QByteArray description(int(kLargestBundleDescription) + 2, 'd');
        file.entry("Local/Calendar/Calendar.xml",
                   document("appointments", 1,
                            el("appointment", el("OPFCalendarEventCopySummary", "Big")
                                                  + el("OPFCalendarEventCopyDescriptionPlain", description))));
        auto olmFile = file.file();
        FolderInformation parsers;
        QCOMPARE(scanFile(olmFile->fileName(), parsers, WalkHooks()), ScanResult::Finished);
        QCOMPARE(lossTotal(), qint64(0));
        QTemporaryDir destination;
        const QString bundle = destination.path() + QStringLiteral("/b.rge");
        QString error;
        QVERIFY(CreateMailFolder(bundle, &error));
        const ByteArrayTextReader olm(file.bytes);
        SaveRequest request;
        request.bundlePath = bundle;
        request.folders = foldersAtOrBelow({llRootId});
        request.olm = &olm;
        const SaveReport report = saveBundle(request, SaveHooks());
        QCOMPARE(report.written[size_t(ItemKind::Event)], qint64(1));
        QCOMPARE(report.losses.size(), 1);
        const Loss &loss = report.losses.first();
        QVERIFY(loss.reason == LossReason::ValueTooLong && loss.standardFilesKeepIt && loss.duringSave);
        QCOMPARE(loss.item, QStringLiteral("Big"));
        QCOMPARE(lossTotal(), qint64(1));
    }

    // After the scan its items are gone: a value refused then names no item.
    void valueRefusedAfterTheScanNamesNoItem()
    {
        OlmBuilder file;
        file.entry(QByteArray(kInbox) + "message_00000.xml", document("emails", 1, mail("Hello")));
        QCOMPARE(scan(file), ScanResult::Finished);
        char field[4] = {};
        QVERIFY(!CopyToField(field, QStringLiteral("longer"), FieldEncoding::Utf8));
        const QVector<Loss> losses = recordedLosses();
        QCOMPARE(losses.size(), 1);
        QVERIFY(losses.first().item.isEmpty());
    }

    void summaryAndLogLines()
    {
        recordLoss({LossReason::ValueTooLong, "mail", "Q3", "Inbox", "OPFMessageCopySubject", "too long"});
        Loss many{LossReason::ItemCutByDamage, "contact", QString(), QString(), QString(), "cut"};
        many.count = 4;
        recordLoss(many);
        recordLoss({LossReason::AttachmentMissing, "attachment", "a.pdf", "Inbox", QString(), "not found"});
        QCOMPARE(lossSummaryLine(),
                 QStringLiteral("1 value, 1 attachment and 4 items or documents could not be recovered; see the log"));
        QCOMPARE(lossLogLine(recordedLosses().at(1)),
                 QStringLiteral("item-cut-by-damage: (unnamed) (contact): cut (4 items)"));
        QCOMPARE(lossCountsText(), QStringLiteral("value-too-long 1, attachment-missing 1, item-cut-by-damage 4"));
        // Items kept by inference are no loss, but the summary points the user to them.
        recordLoss({LossReason::RecoveredWithDoubt, "mail", "Hi", QString(), QString(), "inferred"});
        QCOMPARE(lossSummaryLine(), QStringLiteral("1 value, 1 attachment and 4 items or documents could not be "
                                                   "recovered; 1 recovered in part or by inference; see the log"));
        clearLosses();
        QVERIFY(lossSummaryLine().isEmpty());
        recordLoss({LossReason::RecoveredWithDoubt, "mail", "Hi", QString(), QString(), "inferred"});
        QCOMPARE(lossSummaryLine(), QStringLiteral("1 recovered in part or by inference; see the log"));
        clearLosses();
    }
};

QTEST_GUILESS_MAIN(LossAccountTest)
#include "test_lossaccount.moc"
