// Mail bodies read and converted block by block: whatever the block size, every
// message comes out byte for byte as the conversion of the whole body does.
#include "archive/MailEncoders.h"
#include "archive/MailWriter.h"
#include "archive/StandardFormat.h"
#include "archive/TextBlocks.h"
#include "parsers/ItemDetails.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtTest>
#include <cstring>

namespace {

// Pieces that matter to some step of the conversion: entities and their parts, line
// ends, separators, tag pairs, charset declarations, characters of every length,
// invalid bytes, zero bytes and byte order marks.
const char *const kFragments[] = {
    "&amp;", "&lt;", "&gt;", "&nbsp;", "&amp;gt;", "&amp;lt;", "&amp;nbsp;", "&", "amp;", "lt;", "&#233;", "&#x41;",
    "&quot;", "\r", "\n", "\r\n", "From ", "Fro", "m ", ">From ", ">", "<html>", "</html>", "<a ", "</a>", "<td>",
    "</TD>", "<meta charset=iso-8859-1>", "<META http-equiv=x content=\"text/html; charset=euc-kr\">", "<meta",
    "charset=", "koi8-r", "\xC5\xBF", "<\xC5\xBFmall>", "</small>", "e", "x", " ", "\t", "=", "--", "\xC3\xA9",
    "\xE3\x81\x82", "\xF0\x9F\x98\x80", "\xE3\x81", "\x81", "\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xEF\xBB\xBF",
    "\xEF\xBF\xBF", "\xC3", "<", "a line of text that is long enough to span blocks of a few bytes"};
constexpr int kFragmentCount = int(sizeof kFragments / sizeof kFragments[0]);

QByteArray randomBody(QRandomGenerator &random, int pieces, bool withZero)
{
    QByteArray body;
    for (int i = 0; i < pieces; ++i)
        body += kFragments[random.bounded(kFragmentCount)];
    if (withZero && random.bounded(4) == 0)
        body.insert(random.bounded(body.size() + 1), '\0');
    return body;
}

QByteArray allBlocks(const QByteArray &file, qint64 offset, qint64 size, TextBlocks::ZeroBytes zeros, qint64 block)
{
    ByteArrayTextReader olm(file);
    TextBlocks blocks(olm, offset, size, zeros, block);
    QByteArray text, all;
    while (blocks.next(&text)) {
        if (text.isEmpty())
            qFatal("an empty block");
        all += text;
    }
    return all;
}

template <int Width>
void put(char (&field)[Width], const QByteArray &value)
{
    memcpy(field, value.constData(), size_t(qMin(value.size(), Width - 1)));
}

MailMLRC mailOf(qint64 offset, const QByteArray &body)
{
    MailMLRC mail;
    memset(&mail, 0, sizeof mail);
    put(mail.FolderPath, "Inbox");
    put(mail.MessageId, "<ID1@example.com>");
    put(mail.ReceivedTime, "Wed, 12 May 2010 20:00:00 +0530");
    mail.BodyOffset = offset;
    mail.BodySize = body.size();
    return mail;
}

QByteArray bundleMessage(const MailMLRC &mail, const QByteArray &file, qint64 block)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QStringList problems;
    if (!writeMboxMessage(out, mail, MailDetails(), ByteArrayTextReader(file), 17, &problems, block))
        qFatal("writing into memory failed");
    return bytes;
}

QByteArray standardOf(const MailMLRC &mail, const QByteArray &file, qint64 block)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QStringList problems;
    if (!writeStandardMessage(out, mail, MailDetails(), ByteArrayTextReader(file), &problems, block))
        qFatal("writing into memory failed");
    return bytes;
}

} // namespace

class TestBodyBlocks : public QObject
{
    Q_OBJECT
private slots:
    void textAsTheDecoderReadsIt();
    void messagesAlikeForEveryBlockSize_data();
    void messagesAlikeForEveryBlockSize();
    void randomBodiesAlikeForEveryBlockSize();
    void base64InPiecesAsQtEncodesTheWhole();
};

// The text of blocks joined is the text QString makes of the whole: invalid bytes
// replaced, a leading byte order mark dropped, zero bytes ending or dropped.
void TestBodyBlocks::textAsTheDecoderReadsIt()
{
    QRandomGenerator random(5);
    for (int round = 0; round < 3000; ++round) {
        const QByteArray body = randomBody(random, random.bounded(12), true);
        const QByteArray file = "head" + body + "tail";
        QByteArray upToZero = body.left(body.indexOf('\0') < 0 ? body.size() : body.indexOf('\0'));
        QByteArray withoutZeros = body;
        withoutZeros.replace('\0', QByteArray());
        const QByteArray endText = QString::fromUtf8(upToZero).toUtf8();
        const QByteArray dropped = QString::fromUtf8(withoutZeros).toUtf8();
        for (const qint64 block : {1, 2, 3, 4, 5, 7, 11, 1 << 20}) {
            QCOMPARE(allBlocks(file, 4, body.size(), TextBlocks::ZeroBytes::EndText, block), endText);
            QCOMPARE(allBlocks(file, 4, body.size(), TextBlocks::ZeroBytes::Dropped, block), dropped);
        }
    }
    // A size beyond the file's end gives what the file holds.
    QCOMPARE(allBlocks("abc", 1, 100, TextBlocks::ZeroBytes::EndText, 2), QByteArray("bc"));
}

void TestBodyBlocks::messagesAlikeForEveryBlockSize_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("an entity cut") << QByteArray("x&amp;lt;b&amp;gt; and &amp;nbsp; and &lt;p&gt;");
    QTest::newRow("CR LF pairs") << QByteArray("one\r\ntwo\r\n\r\nthree\r");
    QTest::newRow("From at line starts") << QByteArray("From a\rFrom b\nFrom c\r\nFrom\rFro\nnot From d\n>From e");
    QTest::newRow("characters of every length") << QByteArray("\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80\xC3\xA9\xE3\x81\x82");
    QTest::newRow("invalid bytes") << QByteArray("a\xE3\x81" "b\xFF\xC0\xAF\xED\xA0\x80" "c\x81\x81\x81\x81\x81");
    QTest::newRow("byte order marks") << QByteArray("\xEF\xBB\xBFstart\xEF\xBB\xBF middle");
    QTest::newRow("HTML with a declaration")
        << QByteArray("&lt;html&gt;&lt;head&gt;&lt;META http-equiv=\"Content-Type\" content=\"text/html; "
                      "charset=iso-2022-jp\"&gt;&lt;/head&gt;\r\nFrom me&lt;/html&gt;");
    QTest::newRow("HTML as stored") << QByteArray("<div>\r\n<meta charset='koi8-r'>x</div>\rFrom y");
    QTest::newRow("links only") << QByteArray("see <a href=x>here</a>\r<meta charset=euc-kr>");
    QTest::newRow("a meta tag that never closes") << QByteArray("<html></html><meta charset=x and no end");
    QTest::newRow("a zero byte ends the text") << QByteArray("before\r\nFrom x\0after", 21);
    QTest::newRow("numeric references") << QByteArray("&#233;&#x3042;&#65 &#xD800; &#1114112;");
}

void TestBodyBlocks::messagesAlikeForEveryBlockSize()
{
    QFETCH(QByteArray, body);
    const QByteArray file = "<OPFMessageCopyBody>" + body + "</OPFMessageCopyBody>";
    const MailMLRC mail = mailOf(qstrlen("<OPFMessageCopyBody>"), body);
    const QByteArray bundleWhole = bundleMessage(mail, file, 1 << 20);
    const QByteArray standardWhole = standardOf(mail, file, 1 << 20);
    for (qint64 block = 1; block <= body.size() + 1; ++block) {
        QCOMPARE(bundleMessage(mail, file, block), bundleWhole);
        QCOMPARE(standardOf(mail, file, block), standardWhole);
    }
}

void TestBodyBlocks::randomBodiesAlikeForEveryBlockSize()
{
    QRandomGenerator random(11);
    for (int round = 0; round < 1500; ++round) {
        const QByteArray body = randomBody(random, 1 + random.bounded(20), true);
        const QByteArray file = "<b>" + body + "</b>";
        const MailMLRC mail = mailOf(3, body);
        const qint64 block = 1 + random.bounded(9);
        QCOMPARE(bundleMessage(mail, file, block), bundleMessage(mail, file, 1 << 20));
        QCOMPARE(standardOf(mail, file, block), standardOf(mail, file, 1 << 20));
    }
}

// Attachments go through the encoder in blocks: however the pieces cut the bytes, the
// text is Qt's Base64 of the whole, on one line or in lines of 76 characters.
void TestBodyBlocks::base64InPiecesAsQtEncodesTheWhole()
{
    QRandomGenerator random(13);
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes(random.bounded(400), Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        const QByteArray whole = bytes.toBase64();
        QByteArray lines;
        for (int from = 0; from < whole.size(); from += 76)
            lines += whole.mid(from, 76) + '\n';
        for (const int lineLength : {0, 76}) {
            Base64Encoder encoder(lineLength);
            QByteArray encoded;
            for (int at = 0; at < bytes.size();) {
                const int piece = random.bounded(1, 130);
                encoded += encoder.add(bytes.mid(at, piece), false);
                at += piece;
            }
            encoded += encoder.add(QByteArray(), true);
            QCOMPARE(encoded, lineLength == 0 ? whole : lines);
        }
    }
}

QTEST_APPLESS_MAIN(TestBodyBlocks)
#include "test_bodyblocks.moc"
