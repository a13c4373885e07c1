// The mbox message of a mail record, byte for byte where the archive's reader relies on it.
#include "archive/MailEncoders.h"
#include "archive/MailWriter.h"
#include "parsers/HtmlTest.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>
#include <cstring>

namespace {

// A zero-filled record whose texts are set by the case.
struct Mail {
    Mail() { memset(&record, 0, sizeof record); }
    template <int Width>
    Mail &set(char (&field)[Width], const QByteArray &value)
    {
        Q_ASSERT(value.size() < Width);
        memcpy(field, value.constData(), size_t(value.size()));
        return *this;
    }
    MailMLRC record;
};

QByteArray message(const MailMLRC &mail, const QByteArray &file = QByteArray(), QStringList *problems = nullptr)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QStringList ignored;
    const bool ok = writeMboxMessage(out, mail, MailDetails(), ByteArrayTextReader(file), 17, problems ? problems : &ignored);
    if (!ok)
        qFatal("writing into memory failed");
    return bytes;
}

// Points the record's six attachment lists at the texts, which outlive the record's use.
void attachLists(MailMLRC &record, QByteArray &ids, QByteArray &types, QByteArray &names, QByteArray &urls,
                 QByteArray &offsets, QByteArray &sizes)
{
    record.AttachContentIds = ids.data();
    record.AttachContentTypes = types.data();
    record.AttachNames = names.data();
    record.AttachUrls = urls.data();
    record.AttachOffsets = offsets.data();
    record.AttachSizes = sizes.data();
}

// The received mail of the worked example: Inbox, subject Hi, Ann <ADDR1> to ADDR2, <ID1>.
Mail exampleMail(const QByteArray &file, const QByteArray &body)
{
    Mail mail;
    mail.set(mail.record.FolderPath, "Inbox").set(mail.record.Subject, "Hi").set(mail.record.FromName, "Ann;")
        .set(mail.record.FromAddress, "ADDR1;").set(mail.record.ToAddresses, "ADDR2;")
        .set(mail.record.MessageId, "<ID1>").set(mail.record.ReceivedTime, "Wed, 12 May 2010 20:00:00 +0530")
        .set(mail.record.Priority, "3");
    mail.record.BodyOffset = file.indexOf(body);
    mail.record.BodySize = body.size();
    return mail;
}

const QByteArray kExampleHead = "From ???@??? Wed May 12 20:00:00 2010 +0530\r"
                                "User-Agent: Microsoft-MacOutlook/14.0.0.100825\r"
                                "Subject: =?UTF-8?B?SGk=?=\r"
                                "From: Ann <ADDR1>\r"
                                "To: ADDR2 <ADDR2>\r"
                                "Date: Wed, 12 May 2010 20:00:00 +0530\r"
                                "Thread-Topic: Hi\r"
                                "X-Priority: \r\n"
                                "Message-ID: <ID1>\r";

} // namespace

class TestMailWriter : public QObject
{
    Q_OBJECT
private slots:
    void workedExample();
    void separatorAndDateFallBack_data();
    void separatorAndDateFallBack();
    void addressLines_data();
    void addressLines();
    void bodies_data();
    void bodies();
    void attachmentsStreamWhole();
    void attachmentCutShortByTheFile();
    void base64MatchesQt();
    void namesOutsideLatin1();
    void valuesNeverStartAHeader_data();
    void valuesNeverStartAHeader();
    void bodiesNeverCloseTheParts_data();
    void bodiesNeverCloseTheParts();
    void htmlTagPairs_data();
    void htmlTagPairs();
};

void TestMailWriter::workedExample()
{
    const QByteArray file = "....the body text....";
    const QByteArray expected = kExampleHead
                                + "X-MS-Has-Attach: \r"
                                  "Mime-version: 1.1\r"
                                  "Content-type: multipart/mixed;\r\tboundary=\"ID1\"\r\r"
                                  "--ID1\r"
                                  "Content-type: multipart/alternative;\r\tboundary=\"B_336332176825_117674\"\r\r"
                                  "--B_336332176825_117674\r"
                                  "Content-type: text/plain;charset=\"UTF-8\"\r"
                                  "Content-transfer-encoding: 8bit\r\r"
                                  "the body text\r\r"
                                  "--B_336332176825_117674--\r\r";
    QCOMPARE(message(exampleMail(file, "the body text").record, file), expected);
}

void TestMailWriter::separatorAndDateFallBack_data()
{
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<int>("outgoing");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("modified");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("date");
    const QByteArray s = "Mon, 01 Feb 2010 10:00:00 +0000", r = "Tue, 02 Feb 2010 11:00:00 +0000",
                     m = "Wed, 03 Feb 2010 12:00:00 +0000";
    QTest::newRow("inbox: delivered when received, dated when sent") << QByteArray("Inbox") << 0 << s << r << m << r << s;
    QTest::newRow("outgoing export flag takes sent") << QByteArray("Inbox") << 45 << s << r << m << s << s;
    QTest::newRow("received mail without sent time") << QByteArray("Inbox") << 45 << QByteArray() << r << m << r << r;
    QTest::newRow("draft without any time") << QByteArray("Drafts") << 45 << QByteArray() << QByteArray() << m << m << m;
    QTest::newRow("deleted, outgoing") << QByteArray("Deleted Items") << 1 << s << r << m << s << s;
    QTest::newRow("deleted, unknown direction") << QByteArray("Deleted Items") << 2 << s << r << m << s << s;
    QTest::newRow("other folder, received") << QByteArray("Archive") << 0 << s << r << m << r << s;
    QTest::newRow("other folder, unknown direction") << QByteArray("Archive") << 2 << QByteArray() << r << m << r << r;
    QTest::newRow("nothing at all: fixed date") << QByteArray("Archive") << 2 << QByteArray() << QByteArray()
                                                << QByteArray() << QByteArray("Thu, 01 Jan 1970 00:00:00 +0000")
                                                << QByteArray("Thu, 01 Jan 1970 00:00:00 +0000");
}

// Every message gets a separator and a Date line, so messages never merge.
void TestMailWriter::separatorAndDateFallBack()
{
    QFETCH(QByteArray, folder);
    QFETCH(int, outgoing);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, modified);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, date);
    Mail mail;
    mail.set(mail.record.FolderPath, folder).set(mail.record.SentTime, sent).set(mail.record.ReceivedTime, received)
        .set(mail.record.ModifiedTime, modified).set(mail.record.MessageId, "<x@y>");
    mail.record.IsOutgoing = outgoing;
    QCOMPARE(separatorDate(mail.record), separator);
    QCOMPARE(headerDate(mail.record), date);
    const QByteArray bytes = message(mail.record);
    QVERIFY(bytes.startsWith("From ???@??? " + separator.left(3) + ' ' + separator.mid(8, 3) + ' '));
    QVERIFY(bytes.contains("\rDate: " + date + '\r'));
}

void TestMailWriter::addressLines_data()
{
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QByteArray>("cc");
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("one address, no comma") << QByteArray("a@x;") << QByteArray() << QByteArray("To: a@x <a@x>\r");
    QTest::newRow("three addresses") << QByteArray("a@x;b@x;c@x;") << QByteArray()
                                     << QByteArray("To: a@x <a@x>,\r\tb@x <b@x>,\r\tc@x <c@x>\r");
    QTest::newRow("repeated last address judged by its first") << QByteArray("a;b;a;") << QByteArray()
                                                              << QByteArray("To: a <a>,\r\tb <b>,\r\ta <a>,\r\t\r");
    // Latin-1 fields are written with the bytes they hold, not turned into question marks.
    QTest::newRow("latin-1 address kept") << QByteArray("caf\xe9@x;") << QByteArray()
                                          << QByteArray("To: caf\xe9@x <caf\xe9@x>\r");
    QTest::newRow("to decodes") << QByteArray("a&amp;b@x;") << QByteArray() << QByteArray("To: a&b@x <a&b@x>\r");
    QTest::newRow("cc decodes &gt; with the others") << QByteArray() << QByteArray("&lt;a@x&gt;;")
                                                     << QByteArray("Cc: \"<a@x>\" <a@x>\r");
    // What no address may do: add recipients or headers of its own.
    QTest::newRow("an address holding a list") << QByteArray("a@x>, injected@evil.example, <b@x;") << QByteArray()
        << QByteArray("To: \"a@x>, injected@evil.example, <b@x\" <\"a@x>, injected@evil.example, <b\"@x>\r");
    QTest::newRow("an address holding a header") << QByteArray("a@x\rBcc: v@evil;") << QByteArray()
                                                 << QByteArray("To: \"a@x Bcc: v@evil\" <\"a@x Bcc: v\"@evil>\r");
    // The ";" of a character reference is no separator: the value stays one address.
    QTest::newRow("an address holding references") << QByteArray("a@x&#13;&#10;Bcc: v@evil;") << QByteArray()
                                                   << QByteArray("To: \"a@x  Bcc: v@evil\" <\"a@x  Bcc: v\"@evil>\r");
}

void TestMailWriter::addressLines()
{
    QFETCH(QByteArray, to);
    QFETCH(QByteArray, cc);
    QFETCH(QByteArray, lines);
    Mail mail;
    mail.set(mail.record.ToAddresses, to).set(mail.record.CcAddresses, cc).set(mail.record.MessageId, "<x@y>");
    QVERIFY2(message(mail.record).contains("\r" + lines + "Date: "), message(mail.record).constData());
}

void TestMailWriter::bodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("entities decoded, no pair: plain") << QByteArray("&lt;b&gt;bold&lt;/b&gt;") << QByteArray("plain")
                                                      << QByteArray("<b>bold</b>");
    QTest::newRow("CR LF kept in html") << QByteArray("<div>a\r\nb</div>") << QByteArray("html")
                                        << QByteArray("<div>a\r\nb</div>");
    QTest::newRow("CR LF becomes LF LF in plain text") << QByteArray("a\r\nb") << QByteArray("plain")
                                                       << QByteArray("a\n\nb");
    QTest::newRow("a link alone makes html but keeps line ends turned") << QByteArray("<a href=x>l</a>\rz")
                                                                        << QByteArray("html")
                                                                        << QByteArray("<a href=x>l</a>\nz");
    QTest::newRow("escaped html") << QByteArray("&lt;html&gt;&amp;amp;&lt;/html&gt;") << QByteArray("html")
                                  << QByteArray("<html>&amp;</html>");
    QTest::newRow("From lines quoted") << QByteArray("From here\nsay From there\rFrom x") << QByteArray("plain")
                                       << QByteArray(">From here\nsay From there\n>From x");
    QTest::newRow("cut at a zero byte") << QByteArray("abc\0def", 7) << QByteArray("plain") << QByteArray("abc");
}

void TestMailWriter::bodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, content);
    const QByteArray file = "<OPFMessageCopyBody>" + body + "</OPFMessageCopyBody>";
    Mail mail = exampleMail(file, body);
    const QByteArray bytes = message(mail.record, file);
    QVERIFY2(bytes.contains("Content-type: text/" + type + ";charset=\"UTF-8\"\rContent-transfer-encoding: 8bit\r\r"
                            + content + "\r\r--B_336332176825_117674--\r\r"),
             bytes.constData());
}

void TestMailWriter::attachmentsStreamWhole()
{
    // Larger than one read block and not a multiple of 3, so block joins and padding both count.
    QByteArray first(3 * 256 * 1024 * 2 + 5, Qt::Uninitialized);
    for (int i = 0; i < first.size(); ++i)
        first[i] = char((qint64(i) * 7919) >> 3);
    const QByteArray second = "tiny";
    const QByteArray file = "xx" + first + "yy" + second;
    Mail mail = exampleMail(file, QByteArray());
    mail.record.BodySize = 0;
    QByteArray ids = "no;image1@x;", types = "application/pdf;image/png;", names = "a.pdf;b.png;",
               urls = "u0;u1;", offsets = "2;" + QByteArray::number(first.size() + 4) + ';',
               sizes = QByteArray::number(first.size()) + ";4;";
    attachLists(mail.record, ids, types, names, urls, offsets, sizes);
    const QByteArray expected = kExampleHead
                                + "X-MS-Has-Attach: yes\rMime-version: 1.1\r"
                                  "Content-type: multipart/mixed;\r\tboundary=\"ID1\"\r\r"
                                  "--ID1\r"
                                  "Content-type: application/pdf; name=\"a.pdf\"\r"
                                  "Content-Description: a.pdf\r"
                                  "Content-Disposition: attachment; filename=\"a.pdf\";\r"
                                  "Content-Transfer-Encoding: base64\r\r"
                                + first.toBase64()
                                + "\r\r--ID1\r"
                                  "Content-type: image/png; name=\"b.png\"\r"
                                  "Content-Description: b.png\r"
                                  "Content-Disposition: attachment; filename=\"b.png\";\r"
                                  "Content-Transfer-Encoding: base64\r"
                                  "Content-ID: <image1@x>\r\r"
                                + second.toBase64() + "\r\r--ID1--\r";
    QCOMPARE(message(mail.record, file), expected);
}

// The file ends inside the attachment: only the bytes it holds are written, and the
// message says so instead of padding with zeros.
void TestMailWriter::attachmentCutShortByTheFile()
{
    const QByteArray file = "0123456789";
    Mail mail = exampleMail(file, QByteArray());
    mail.record.BodySize = 0;
    QByteArray ids = "no;", types = "text/plain;", names = "n.txt;", urls = "u;", offsets = "6;", sizes = "100;";
    attachLists(mail.record, ids, types, names, urls, offsets, sizes);
    QStringList problems;
    const QByteArray bytes = message(mail.record, file, &problems);
    QVERIFY(bytes.endsWith("base64\r\r" + QByteArray("6789").toBase64() + "\r\r--ID1--\r"));
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().contains(QLatin1String("4 of its 100 bytes")));
}

// Every tail length and every byte value, against Qt's own encoder.
void TestMailWriter::base64MatchesQt()
{
    QByteArray bytes;
    for (int i = 0; i < 256 * 3 + 2; ++i)
        bytes += char(i * 37 + (i >> 8));
    // Every length up to a few blocks of sixteen, so that every tail follows whole blocks.
    for (int size = 0; size <= bytes.size(); size += size < 100 ? 1 : 97)
        QCOMPARE(base64(bytes.left(size)), bytes.left(size).toBase64());
    // Every 6-bit value in every place of a block.
    QRandomGenerator random(5);
    QByteArray noise(1 << 16, Qt::Uninitialized);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    QCOMPARE(base64(noise), noise.toBase64());
}

// Names Latin-1 can hold stay Latin-1 bytes; others become encoded words.
void TestMailWriter::namesOutsideLatin1()
{
    QCOMPARE(headerText(QStringLiteral("Zo\u00eb")), QByteArray("Zo\xeb"));
    QCOMPARE(headerText(QStringLiteral("\ud64d\uae38\ub3d9")), QByteArray("=?UTF-8?B?7ZmN6ri464+Z?="));
    Mail mail;
    mail.set(mail.record.FromName, "\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99;").set(mail.record.FromAddress, "h@x;")
        .set(mail.record.MessageId, "<x@y>");
    QVERIFY(message(mail.record).contains("\rFrom: =?UTF-8?B?7ZmN6ri464+Z?= <h@x>\r"));
    Mail listed;
    listed.set(listed.record.FromName, "a;b;c;").set(listed.record.FromAddress, "p;q;r;");
    QVERIFY(message(listed.record).contains("\rFrom: c <r>\r"));
    // A name that kept its references is one name, decoded and quoted.
    Mail quoted;
    quoted.set(quoted.record.FromName, "John &quot;Jack&quot; Doe Jr.;").set(quoted.record.FromAddress, "j@x;");
    QVERIFY2(message(quoted.record).contains("\rFrom: \"John \\\"Jack\\\" Doe Jr.\" <j@x>\r"),
             message(quoted.record).constData());
}

// Header names the writer writes itself; a value that smuggled in a line break would add another.
const QList<QByteArray> kOwnHeaders = {"User-Agent", "Subject", "From", "To", "Cc", "Bcc", "Date", "Thread-Topic",
                                       "X-Priority", "Message-ID", "X-MS-Has-Attach", "Mime-version", "Content-type",
                                       "Content-Description", "Content-Disposition", "Content-Transfer-Encoding",
                                       "Content-ID"};

void TestMailWriter::valuesNeverStartAHeader_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("value");
    for (const char *field : {"FromName", "FromAddress", "ToAddresses", "CcAddresses", "BccAddresses", "MessageId",
                              "Subject", "AttachNames", "AttachContentTypes", "AttachContentIds"}) {
        QTest::newRow(QByteArray(field).append(" CR").constData()) << QByteArray(field)
            << QByteArray("v@x\rFrom ???@??? Wed May 12 20:00:00 2010 +0530\rBcc: victim@evil.example;");
        QTest::newRow(QByteArray(field).append(" LF LF").constData()) << QByteArray(field)
            << QByteArray("v@x\n\nBcc: victim@evil.example;");
        QTest::newRow(QByteArray(field).append(" CR LF TAB").constData()) << QByteArray(field)
            << QByteArray("v@x\r\n\tBcc: victim@evil.example;");
    }
}

// Every line of the message's headers, and of its parts' headers, is one the writer
// wrote or a continuation of one; there is one separator line; the attachment is one.
void TestMailWriter::valuesNeverStartAHeader()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, value);
    const QByteArray file = "attachment bytes";
    Mail mail = exampleMail(file, QByteArray());
    mail.record.BodySize = 0;
    QByteArray ids = "cid@x;", types = "text/plain;", names = "a.txt;", urls = "u0;", offsets = "0;",
               sizes = QByteArray::number(file.size()) + ';';
    QByteArray *attachmentField = field == "AttachNames" ? &names : field == "AttachContentTypes" ? &types
                                  : field == "AttachContentIds" ? &ids : nullptr;
    if (attachmentField) {
        *attachmentField = value;
    } else {
        const QHash<QByteArray, char *> fields{{"FromName", mail.record.FromName},
                                               {"FromAddress", mail.record.FromAddress},
                                               {"ToAddresses", mail.record.ToAddresses},
                                               {"CcAddresses", mail.record.CcAddresses},
                                               {"BccAddresses", mail.record.BccAddresses},
                                               {"Subject", mail.record.Subject}};
        const QByteArray text = field == "MessageId" ? "<" + value + ">" : value;
        memcpy(field == "MessageId" ? mail.record.MessageId : fields.value(field), text.constData(), size_t(text.size()));
    }
    attachLists(mail.record, ids, types, names, urls, offsets, sizes);
    // Readers take CR, LF and CR LF alike for line ends.
    QByteArray bytes = message(mail.record, file);
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.count("From ???@??? Wed May 12 20:00:00 2010 +0530"), 1);
    QCOMPARE(bytes.count("\nContent-Disposition: attachment"), 1);
    bool inHeader = false;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (i == 1 || line.startsWith("--"))
            inHeader = true;
        if (line.isEmpty()) {
            inHeader = false;
            continue;
        }
        if (!inHeader || line.startsWith('\t') || line.startsWith(' ') || line.startsWith("--"))
            continue;
        QVERIFY2(kOwnHeaders.contains(line.left(line.indexOf(':'))), line.constData());
    }
    QVERIFY2(!bytes.contains("\nBcc: victim"), bytes.constData());
}

void TestMailWriter::bodiesNeverCloseTheParts_data()
{
    QTest::addColumn<QByteArray>("messageId");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("body closes the outer part") << QByteArray("<ID1>") << QByteArray("a\n--ID1\nContent-type: "
        "application/octet-stream; name=\"evil.exe\"\nContent-Transfer-Encoding: base64\n\nTVqQ\n--ID1--\n");
    QTest::newRow("body closes the inner part") << QByteArray("<ID1>") << QByteArray("a\n--B_336332176825_117674--\n");
    QTest::newRow("quotation mark in the identifier") << QByteArray("<a\"b@x>") << QByteArray("plain body");
    QTest::newRow("identifier too long for a boundary") << QByteArray("<" + QByteArray(80, 'i') + "@x>")
                                                        << QByteArray("plain body");
}

// The boundaries the message declares are valid and appear nowhere in its body.
void TestMailWriter::bodiesNeverCloseTheParts()
{
    QFETCH(QByteArray, messageId);
    QFETCH(QByteArray, body);
    const QByteArray file = "xx" + body + "yy" + "attached";
    Mail mail = exampleMail(file, body);
    mail.set(mail.record.MessageId, messageId);
    QByteArray ids = "no;", types = "text/plain;", names = "a.txt;", urls = "u0;",
               offsets = QByteArray::number(file.indexOf("attached")) + ';', sizes = "8;";
    attachLists(mail.record, ids, types, names, urls, offsets, sizes);
    const QByteArray bytes = message(mail.record, file);
    const QRegularExpression declared(QStringLiteral("boundary=\"([^\"]*)\""));
    auto match = declared.globalMatch(QString::fromLatin1(bytes));
    QStringList boundaries;
    while (match.hasNext())
        boundaries.append(match.next().captured(1));
    QCOMPARE(boundaries.size(), 2);
    const QByteArray written = bytes.mid(bytes.indexOf("8bit\r\r") + 6, body.size());
    QCOMPARE(written, body);
    for (const QString &boundary : boundaries) {
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9'()+_,./:=?@-]{1,70}$")).match(boundary).hasMatch(),
                 qPrintable(boundary));
        QVERIFY2(!body.contains(boundary.toLatin1()), qPrintable(boundary));
    }
    // One attachment part, closed by the outer boundary.
    QCOMPARE(bytes.count("\r--" + boundaries.first().toLatin1() + "\r"), 2);
    QVERIFY(bytes.endsWith("\r--" + boundaries.first().toLatin1() + "--\r"));
}


void TestMailWriter::htmlTagPairs_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("html");
    QTest::addColumn<bool>("htmlWithLinks");
    QTest::newRow("plain") << "Dear Ann, 3 < 4 and 5 > 2" << false << false;
    QTest::newRow("a pair in any case") << "<HTML><bOdY>hi</Body></hTmL>" << true << true;
    QTest::newRow("an opening alone") << "<table> and no end" << false << false;
    QTest::newRow("the end before the opening still counts") << "</div> then <div" << true << true;
    QTest::newRow("links only when asked") << "see <a href=x>here</a>" << false << true;
    // Unicode case folding: KELVIN SIGN folds to "k", LONG S to "s"; a dotted capital I to no ASCII letter.
    QTest::newRow("long s folds to s") << QString::fromUtf8("<\u017Fmall>x</SMALL>") << true << true;
    QTest::newRow("dotted I folds to nothing") << QString::fromUtf8("<d\u0130v></d\u0130v>") << false << false;
    QTest::newRow("tags across other scripts") << QString::fromUtf8("\u6771\u4eac<Td>\u00e9</tD>") << true << true;
}

void TestMailWriter::htmlTagPairs()
{
    QFETCH(QString, body);
    QFETCH(bool, html);
    QFETCH(bool, htmlWithLinks);
    const QByteArray utf8 = body.toUtf8();
    QCOMPARE(bodyLooksLikeHtml(utf8, false), html);
    QCOMPARE(bodyLooksLikeHtml(utf8, true), htmlWithLinks);
    // A body read in blocks is judged as the whole: every tag cut at every place.
    for (int piece = 1; piece < utf8.size(); ++piece) {
        HtmlPairScan scan;
        for (int at = 0; at < utf8.size(); at += piece)
            scan.add(utf8.constData() + at, qMin(piece, utf8.size() - at));
        QCOMPARE(scan.holdsPair(false), html);
        QCOMPARE(scan.holdsPair(true), htmlWithLinks);
    }
}

QTEST_APPLESS_MAIN(TestMailWriter)
#include "test_mailwriter.moc"
