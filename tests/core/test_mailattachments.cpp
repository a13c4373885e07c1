// A mail's attachments as files: the record's lists read back, untrusted names
// turned into names that stay inside the chosen folder, and bytes written whole,
// cut short by damage, or not at all.
#include "archive/MailAttachments.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

class MailAttachmentsTest : public QObject
{
    Q_OBJECT
private slots:
    void listsOfTheRecord();
    void fileNames_data();
    void fileNames();
    void distinctNames_data();
    void distinctNames();
    void bytesInFile_data();
    void bytesInFile();
    void writesBytes_data();
    void writesBytes();
    void missingBytesLeaveAnExistingFileAlone();
    void unwritablePlaceSaysWhy();
};

void MailAttachmentsTest::listsOfTheRecord()
{
    MailMLRC mail;
    memset(&mail, 0, sizeof mail);
    QCOMPARE(attachmentsOf(mail).size(), 0);
    QByteArray ids("no;cid1;"), types("application/pdf;text/plain;"),
        names(QString::fromUtf8("Q&A notes.txt;会議.docx;").toUtf8()), urls("u1;u2;"), offsets("100;5000000000;"),
        sizes("50614;0;");
    mail.AttachContentIds = ids.data();
    mail.AttachContentTypes = types.data();
    mail.AttachNames = names.data();
    mail.AttachUrls = urls.data();
    mail.AttachOffsets = offsets.data();
    mail.AttachSizes = sizes.data();
    const QVector<MailAttachment> attachments = attachmentsOf(mail);
    QCOMPARE(attachments.size(), 2);
    QCOMPARE(attachments[0].name, QStringLiteral("Q&A notes.txt"));
    QCOMPARE(attachments[0].contentType, QStringLiteral("application/pdf"));
    QCOMPARE(attachments[0].offset, 100);
    QCOMPARE(attachments[0].size, 50614);
    QCOMPARE(attachments[1].name, QString::fromUtf8("会議.docx"));
    QCOMPARE(attachments[1].offset, Q_INT64_C(5000000000)); // past 4 GiB
    QCOMPARE(attachments[1].size, 0);
    // Without its offsets the record keeps no attachment that could be read back.
    mail.AttachOffsets = nullptr;
    QCOMPARE(attachmentsOf(mail).size(), 0);
}

void MailAttachmentsTest::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("plain") << "report.pdf" << "report.pdf";
    QTest::newRow("not Latin") << QString::fromUtf8("第三四半期 報告.docx") << QString::fromUtf8("第三四半期 報告.docx");
    QTest::newRow("climbs out") << "../../x" << "x";
    QTest::newRow("absolute") << "/etc/passwd" << "passwd";
    QTest::newRow("backslashes") << "..\\..\\Windows\\evil.exe" << "evil.exe";
    QTest::newRow("empty") << "" << "attachment";
    QTest::newRow("blank") << "   " << "attachment";
    QTest::newRow("dot") << "." << "attachment";
    QTest::newRow("dot dot") << ".." << "attachment";
    QTest::newRow("a folder") << "folder/" << "attachment";
    QTest::newRow("hidden") << ".bashrc" << "bashrc";
    QTest::newRow("line breaks") << "a\r\nContent-Type: x.txt" << "a__Content-Type: x.txt";
    QTest::newRow("NUL") << QString::fromLatin1("a\0b.txt", 7) << "a_b.txt";
    QTest::newRow("tab and escape") << "a\tb\x1b.txt" << "a_b_.txt";
    QTest::newRow("right-to-left override") << QString::fromUtf8("invoice\u202Efdp.exe") << "invoice_fdp.exe";
    QTest::newRow("line separator") << QString::fromUtf8("a\u2028b") << "a_b";
    // 255 bytes at most, the extension kept, never a character cut in two.
    QTest::newRow("too long") << QString(300, QChar(0xE9)) + ".pdf" << QString(125, QChar(0xE9)) + ".pdf";
}

void MailAttachmentsTest::fileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, fileName);
    QCOMPARE(attachmentFileName(name), fileName);
}

void MailAttachmentsTest::distinctNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("distinct");
    QTest::newRow("free") << "a.txt" << QStringList{"b.txt"} << "a.txt";
    QTest::newRow("second") << "a.txt" << QStringList{"a.txt"} << "a (2).txt";
    QTest::newRow("third") << "a.txt" << QStringList{"a.txt", "a (2).txt"} << "a (3).txt";
    QTest::newRow("other case") << "a.txt" << QStringList{"A.TXT"} << "a (2).txt";
    QTest::newRow("no extension") << "README" << QStringList{"readme"} << "README (2)";
    // macOS takes an e with a combining accent for the precomposed one.
    QTest::newRow("other normal form") << QString::fromUtf8("caf\u00e9.txt") << QStringList{QString::fromUtf8("cafe\u0301.txt")}
                                       << QString::fromUtf8("caf\u00e9 (2).txt");
}

void MailAttachmentsTest::distinctNames()
{
    QFETCH(QString, name);
    QFETCH(QStringList, taken);
    QFETCH(QString, distinct);
    QSet<QString> keys;
    for (const QString &t : taken)
        keys.insert(fileNameKey(t));
    QCOMPARE(distinctFileName(name, keys), distinct);
}

void MailAttachmentsTest::bytesInFile_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("inFile");
    QTest::newRow("whole") << qint64(10) << qint64(90) << qint64(90);
    QTest::newRow("cut by the end") << qint64(60) << qint64(90) << qint64(40);
    QTest::newRow("past the end") << qint64(100) << qint64(5) << qint64(0);
    QTest::newRow("negative offset") << qint64(-1) << qint64(5) << qint64(0);
    QTest::newRow("huge size") << qint64(0) << std::numeric_limits<qint64>::max() << qint64(100);
}

void MailAttachmentsTest::bytesInFile()
{
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(qint64, inFile);
    QCOMPARE(attachmentBytesInFile({QString(), QString(), offset, size}, 100), inFile);
}

void MailAttachmentsTest::writesBytes_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("written");
    const qint64 file = 3 * 1024 * 1024 + 5;
    QTest::newRow("small") << qint64(7) << qint64(300) << qint64(300);
    QTest::newRow("empty") << qint64(7) << qint64(0) << qint64(0);
    QTest::newRow("several blocks") << qint64(0) << file << file;
    QTest::newRow("a block and one byte") << qint64(1) << qint64(1024 * 1024 + 1) << qint64(1024 * 1024 + 1);
    QTest::newRow("cut by the end of the file") << qint64(file - 1000) << qint64(5000) << qint64(1000);
    QTest::newRow("cut after a block") << qint64(file - 1024 * 1024 - 3) << qint64(4 * 1024 * 1024)
                                       << qint64(1024 * 1024 + 3);
}

void MailAttachmentsTest::writesBytes()
{
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(qint64, written);
    QByteArray olm(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &byte : olm)
        byte = char(random.bounded(256));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.bin"));
    const AttachmentWrite result = writeAttachmentFile(ByteArrayTextReader(olm), {"x", "y", offset, size}, path);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.written, written);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), olm.mid(int(offset), int(written)));
}

void MailAttachmentsTest::missingBytesLeaveAnExistingFileAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.txt"));
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("the user's own file");
    existing.close();
    const AttachmentWrite result = writeAttachmentFile(ByteArrayTextReader("short"), {"x", "y", 100, 50}, path);
    QVERIFY(result.error.contains(QStringLiteral("none of its 50 bytes")));
    QCOMPARE(result.written, 0);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("the user's own file"));
}

void MailAttachmentsTest::unwritablePlaceSaysWhy()
{
    QTemporaryDir dir;
    const AttachmentWrite result = writeAttachmentFile(ByteArrayTextReader("bytes"), {"x", "y", 0, 5},
                                                       dir.filePath(QStringLiteral("no such folder/x.txt")));
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(result.written, 0);
}

QTEST_GUILESS_MAIN(MailAttachmentsTest)
#include "test_mailattachments.moc"
