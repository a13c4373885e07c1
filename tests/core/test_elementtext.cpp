#include "ParserTestSupport.h"
#include "parsers/ElementText.h"
#include "parsers/RecordText.h"

#include <QRandomGenerator>
#include <QtTest>

class TestElementText : public QObject
{
    Q_OBJECT
private slots:
    void itemsAndTheirFileOffsets();
    void recordsHoldTheirOwnStartTag();
    void elementCuts_data();
    void elementCuts();
    void indexedSearchMatchesPlainSearch();
    void entityDecoding_data();
    void entityDecoding();
    void senderReduction_data();
    void senderReduction();
    void fieldStorage_data();
    void plainAscii();
    void fieldStorage();
};

void TestElementText::itemsAndTheirFileOffsets()
{
    // One item of B bytes ending at N, followed by the container end tag: N - 9 - 8 - B.
    const QByteArray one = "<emails><email>abc</email></emails>";
    QVector<DocumentItem> items = splitDocumentItems(one.constData(), one.size(), 5000, "</email>");
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].bytes, QByteArray("<emails><email>abc"));
    QCOMPARE(items[0].fileOffset, 5000 - 9 - 8 - items[0].bytes.size());

    // Empty pieces are items; what follows the last end tag is not.
    const QByteArray empties = "</email></email>tail";
    items = splitDocumentItems(empties.constData(), empties.size(), 100, "</email>");
    QCOMPARE(items.size(), 2);
    QVERIFY(items[0].bytes.isEmpty() && items[1].bytes.isEmpty());
    QCOMPARE(items[1].fileOffset, 100 - 4 - 8);

    QVERIFY(splitDocumentItems(empties.constData(), empties.size(), 100, "</note>").isEmpty());
    QVERIFY(splitDocumentItems(nullptr, 0, 100, "</note>").isEmpty());

    // Invalid UTF-8 and trailing text other than the container end tag shift nothing:
    // every offset is the item's real position in the file.
    const QByteArray file = QByteArray(40, 'x') + "\xff\xfe<a>1</a></email><a>2</a></email>garbage!!";
    const QByteArray document = file.mid(40);
    items = splitDocumentItems(document.constData(), document.size(), file.size(), "</email>");
    QCOMPARE(items.size(), 2);
    for (const DocumentItem &item : items)
        QCOMPARE(file.mid(int(item.fileOffset), item.bytes.size()), item.bytes);
}

void TestElementText::recordsHoldTheirOwnStartTag()
{
    // Only pieces holding "<email" ended by a name-ending byte are records; the
    // container's tag and longer names that begin alike are not.
    const QByteArray document = "<emails x></email><email>1</email></email><emailAddress a></email>"
                                "<email\n>2</email><email/></email>xx<emails><email x>3</email>";
    const QVector<DocumentItem> records = splitDocumentRecords(document.constData(), document.size(), 1000, "email");
    QStringList seen;
    for (const DocumentItem &record : records) {
        QCOMPARE(document.mid(int(record.fileOffset - 1000 + document.size()), record.bytes.size()), record.bytes);
        seen << QString::fromLatin1(record.bytes);
    }
    QCOMPARE(seen, QStringList({"<email>1", "<email\n>2", "<email/>", "xx<emails><email x>3"}));
}

void TestElementText::elementCuts_data()
{
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("endBeforeStart");

    QTest::newRow("regular") << element("X", " v ") << true << QByteArray(" v ") << false;
    QTest::newRow("first occurrences") << element("X", "1") + element("X", "2") << true << QByteArray("1") << false;
    QTest::newRow("no end marker") << QByteArray("<X xml:space=\"preserve\">v") << false << QByteArray() << false;
    QTest::newRow("no start marker") << QByteArray("v</X>") << false << QByteArray() << false;
    QTest::newRow("case matters") << element("x", "v") << false << QByteArray() << false;
    QTest::newRow("end before start runs to the item end")
        << QByteArray("</X><X xml:space=\"preserve\">tail") << true << QByteArray("tail") << true;
    QTest::newRow("short start tag: value start beyond the item")
        << QByteArray("<X>v</X>") << true << QByteArray() << true;
    QTest::newRow("short start tag inside the item")
        << QByteArray("<X>value</X> and some more text") << true << QByteArray("re text") << true;
}

void TestElementText::elementCuts()
{
    QFETCH(QByteArray, item);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);
    QFETCH(bool, endBeforeStart);
    const ElementValue cut = findElement(item, "X");
    QCOMPARE(cut.found, found);
    QCOMPARE(cut.bytes, value);
    QCOMPARE(cut.endBeforeStart, endBeforeStart);
    QVERIFY(cut.start >= 0 && cut.size >= 0 && cut.start + cut.size <= item.size());
    if (!value.isEmpty())
        QCOMPARE(item.mid(int(cut.start), int(cut.size)), value);

    // An end marker before the value leaves the field empty rather than taking the item's rest.
    QString text;
    const bool stored = found && !endBeforeStart;
    QCOMPARE(GetElementText(item, "X", &text), stored);
    QCOMPARE(text, stored ? QString::fromUtf8(value).trimmed() : QString());
}

// The one-pass marker index must find what a plain substring search finds, for
// every name, on items full of prefixes, broken tags and stray '<'.
void TestElementText::indexedSearchMatchesPlainSearch()
{
    // Long names end on every side of a 16-byte step, at every kind of byte. They live as
    // long as the program: the loss context keeps the name of the element searched last.
    static const QByteArray name15 = "OPF.Mail_09:z-Z", name16 = name15 + "q", name17 = name16 + "7";
    static const QByteArray name33 = name16 + name17;
    const QByteArray fragments[] = {"<A xml:space=\"preserve\">", "<AB xml:space=\"preserve\">", "</A>", "</AB>",
                                    "</ABC>", "<ABC>", "<B ", "</B>", "</A", "</A >", "<A/>", "<A-B>", "</A-B>",
                                    "<", "<<", "</", "value", "&lt;", " ", "\xc3\xa9", "<A B>", "</A B>",
                                    "<" + name15, "<" + name16, "<" + name17, "<" + name33, "</" + name15 + ">",
                                    "</" + name16 + ">", "</" + name17 + ">", "</" + name33 + ">", name16, ">",
                                    "\x7f", "\x80", "\xff", "/", "@", "[", "`", "{", ",", "^", ";", "\t"};
    const char *const names[] = {"A",           "AB",          "ABC",         "B",          "A-B", "A B", "C",
                                 name15.data(), name16.data(), name17.data(), name33.data()};
    QRandomGenerator random(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes;
        const int count = int(random.bounded(1, 14));
        for (int i = 0; i < count; ++i)
            bytes += fragments[random.bounded(int(sizeof fragments / sizeof fragments[0]))];
        const DocumentItem item{bytes, 0};
        for (const char *name : names) {
            const ElementValue plain = findElement(bytes, name);
            const ElementValue indexed = findElement(item, name);
            const QByteArray context = bytes + " / " + name;
            QVERIFY2(plain.found == indexed.found && plain.start == indexed.start && plain.size == indexed.size
                         && plain.endBeforeStart == indexed.endBeforeStart && plain.bytes == indexed.bytes,
                     context.constData());
        }
    }
}

void TestElementText::entityDecoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keepGt");
    QTest::addColumn<QString>("decodeGt");
    QTest::newRow("mixed") << "A &lt;b&gt; &amp;amp; c" << "A <b&gt; &amp; c" << "A <b> &amp; c";
    QTest::newRow("steps run in order") << "&amp;lt; &amp;nbsp; &amp;gt;" << "&lt;   &gt;" << "&lt;   >";
    QTest::newRow("others stay") << "&quot;&#39;&apos;&LT;&amp" << "&quot;&#39;&apos;&LT;&amp"
                                 << "&quot;&#39;&apos;&LT;&amp";
}

void TestElementText::entityDecoding()
{
    QFETCH(QString, text);
    QFETCH(QString, keepGt);
    QFETCH(QString, decodeGt);
    QCOMPARE(DecodeEntities(text), keepGt);
    QCOMPARE(DecodeEntities(text, GtEntity::Decode), decodeGt);
}

void TestElementText::senderReduction_data()
{
    // Fewer than two ";": every ";" goes; otherwise the last character goes and the
    // text after the last remaining ";" stays.
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("sender");
    QTest::newRow("one value") << "a@x;" << "a@x";
    QTest::newRow("no separator") << "a@x" << "a@x";
    QTest::newRow("one separator inside") << "a@x;b@x" << "a@xb@x";
    QTest::newRow("the last of a list") << "a@x;b@x;c@x;" << "c@x";
    QTest::newRow("no final separator") << "a@x;b@x;c@x" << "c@";
    QTest::newRow("empty last value") << "a@x;b@x;;" << "";
    QTest::newRow("empty") << "" << "";
}

void TestElementText::senderReduction()
{
    QFETCH(QString, list);
    QFETCH(QString, sender);
    QCOMPARE(reducedSender(list.split(QLatin1Char(';'))), sender);
}

void TestElementText::fieldStorage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<QByteArray>("stored");
    const int width = 16;
    QTest::newRow("width - 1 bytes") << QString(width - 1, 'a') << false << QByteArray(width - 1, 'a');
    QTest::newRow("width bytes") << QString(width, 'a') << false << QByteArray();
    QTest::newRow("empty") << QString() << false << QByteArray();
    QTest::newRow("8 characters, 16 UTF-8 bytes") << QString(8, QChar(0x00E9)) << false << QByteArray();
    QTest::newRow("8 characters, 8 Latin-1 bytes") << QString(8, QChar(0x00E9)) << true << QByteArray(8, '\xe9');
    QTest::newRow("Latin-1 keeps diaeresis") << QString::fromUtf8("Zoë") << true << QByteArray("Zo\xeb");
    QTest::newRow("Greek in Latin-1") << QString::fromUtf8("Άλφα") << true << QByteArray("????");
}

void TestElementText::fieldStorage()
{
    QFETCH(QString, text);
    QFETCH(bool, latin1);
    QFETCH(QByteArray, stored);
    // The field sits between guard bytes that must survive.
    QByteArray memory(16 + 2, '#');
    memset(memory.data() + 1, 0, 16);
    CopyToField(memory.data() + 1, 16, text, latin1 ? FieldEncoding::Latin1 : FieldEncoding::Utf8);
    QCOMPARE(QByteArray(memory.constData() + 1), stored);
    QCOMPARE(memory.at(0), '#');
    QCOMPARE(memory.at(17), '#');
}

QTEST_APPLESS_MAIN(TestElementText)
// Plain ASCII: no byte of 0x80 or more and no zero byte, wherever in the text it stands.
void TestElementText::plainAscii()
{
    for (int size = 0; size <= 19; ++size) {
        QByteArray text(size, 'a');
        for (int i = 0; i < size; ++i)
            text[i] = char(0x01 + (i * 37) % 0x7F); // every ASCII byte but zero
        QVERIFY2(isPlainAscii(text.constData(), size), qPrintable(QString::number(size)));
        for (int at = 0; at < size; ++at) {
            for (const char bad : {'\0', '\x80', '\xff', '\xc3'}) {
                QByteArray spoilt = text;
                spoilt[at] = bad;
                QVERIFY2(!isPlainAscii(spoilt.constData(), size),
                         qPrintable(QStringLiteral("size %1, byte %2 at %3").arg(size).arg(uchar(bad)).arg(at)));
            }
        }
    }
    // 0x7F and 0x01 next to each other borrow nothing across bytes.
    QVERIFY(isPlainAscii("\x7f\x01\x7f\x01\x7f\x01\x7f\x01", 8));
    QVERIFY(isPlainAscii("\x01\x00", 1));
}

#include "test_elementtext.moc"
