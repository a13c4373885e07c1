#include "ParserTestSupport.h"
#include "olm/FolderHierarchy.h"
#include "scan/ScanSession.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "archive/MailEncoders.h"

#include <QtTest>

namespace {
QByteArray address(const QByteArray &addr, const QByteArray &name = QByteArray(), bool withName = true)
{
    QByteArray attributes = "OPFContactEmailAddressAddress=\"" + addr + "\" ";
    if (withName)
        attributes += "OPFContactEmailAddressName=\"" + name + "\" ";
    return element("emailAddress", QByteArray(), attributes + "OPFContactEmailAddressType=\"0\"");
}

QByteArray attachment(const QByteArray &name, const QByteArray &url, const QByteArray &contentId = QByteArray())
{
    QByteArray attributes;
    if (!contentId.isNull())
        attributes += "OPFAttachmentContentID=\"" + contentId + "\" ";
    return element("messageAttachment", QByteArray(),
                   attributes + "OPFAttachmentContentType=\"text/plain\" OPFAttachmentName=\"" + name
                       + "\" OPFAttachmentURL=\"" + url + "\"");
}

QByteArray emails(const QList<QByteArray> &mails)
{
    QByteArray items;
    for (const QByteArray &mail : mails)
        items += element("email", mail);
    return rootElement("emails", items);
}

// Parses the document as if it ended at documentEnd in the .olm file.
void parse(const QByteArray &document, const QString &path = QStringLiteral("Inbox"), qint64 documentEnd = -1)
{
    withDocument(document, [&] {
        FolderInformation().InitializeMLRC(path, documentEnd < 0 ? document.size() : documentEnd);
    });
}

MailMLRC *only(const QByteArray &mail)
{
    parse(emails({mail}));
    return TmpMlrcPtrStart;
}

QByteArray text(const char *field) { return QByteArray(field); }
} // namespace

class TestMailParser : public QObject
{
    Q_OBJECT
private slots:
    void init() { useZone("UTC"); }
    void cleanup() { CleanListAndHash(); }
    void recordsAndFolders();
    void bodyStaysInTheFile();
    void storedFields_data();
    void storedFields();
    void outgoingFlagDecidesTheDate_data();
    void outgoingFlagDecidesTheDate();
    void messageIdentifiers();
    void attachmentsMatchTheirEntries();
    void attachmentEntriesWithMissingAttributes();
};

void TestMailParser::recordsAndFolders()
{
    parse(emails({element("OPFMessageCopySubject", "one"), element("OPFMessageCopySubject", "two")}),
          QStringLiteral("Local/Inbox"));
    QCOMPARE(MailItemCount, qint64(2));
    QCOMPARE(text(TmpMlrcPtrStart->Subject), QByteArray("one"));
    QCOMPARE(text(TmpMlrcPtrEnd->Subject), QByteArray("two"));
    QCOMPARE(TmpMlrcPtrStart->Next, TmpMlrcPtrEnd);
    QVERIFY(objMapName_FID.contains(QStringLiteral("Inbox")));
    const qint64 inbox = objMapName_FID.value(QStringLiteral("Inbox"));
    for (MailMLRC *mail : {TmpMlrcPtrStart, TmpMlrcPtrEnd}) {
        QCOMPARE(text(mail->FolderPath), QByteArray("Local/Inbox"));
        QCOMPARE(qint64(mail->ParentId), inbox);
    }
    QCOMPARE(llParentIdRunning, qint64(0));

    parse(emails({QByteArray()}), QString());
    QCOMPARE(MailItemCount, qint64(3));
    QCOMPARE(qint64(TmpMlrcPtrEnd->ParentId), qint64(4294967294LL));
    QCOMPARE(text(TmpMlrcPtrEnd->FolderPath), QByteArray());

    parse("<emails><email>no end tag</emails>");
    parse(QByteArray());
    QCOMPARE(MailItemCount, qint64(3));
}

void TestMailParser::bodyStaysInTheFile()
{
    const QByteArray body = "&lt;p&gt;caf\xc3\xa9 &amp;amp; more&lt;/p&gt;";
    // The first mail holds invalid UTF-8 and the document ends in stray text:
    // neither may move the body offsets away from the real bytes.
    const QByteArray document = emails({element("OPFMessageCopySubject", "bad \xff\xfe bytes"),
                                        element("OPFMessageCopyBody", body),
                                        element("OPFMessageCopyBody", QByteArray()),
                                        "<OPFMessageCopyBody xml:space=\"preserve\">unterminated",
                                        "</OPFMessageCopyBody><OPFMessageCopyBody xml:space=\"preserve\">x"})
                                + "\r\n";
    const QByteArray file = QByteArray(1000, 'P') + document + QByteArray(50, 'Q');
    parse(document, QStringLiteral("Inbox"), 1000 + document.size());
    QCOMPARE(MailItemCount, qint64(5));
    const MailMLRC *mail = TmpMlrcPtrStart->Next;
    QCOMPARE(qint64(mail->BodySize), qint64(body.size()));
    QCOMPARE(file.mid(int(mail->BodyOffset), int(mail->BodySize)), body);

    mail = mail->Next; // empty body: stored with its position
    QCOMPARE(qint64(mail->BodySize), qint64(0));
    QCOMPARE(file.mid(int(mail->BodyOffset) - 22, 22), QByteArray(" xml:space=\"preserve\">"));
    for (mail = mail->Next; mail; mail = mail->Next) { // no end marker; end marker before the text
        QCOMPARE(qint64(mail->BodySize), qint64(0));
        QCOMPARE(qint64(mail->BodyOffset), qint64(0));
    }

    // A well-formed document: the item starts at N - 9 - 8 - B.
    freeRecordLists();
    const QByteArray item = "<email xml:space=\"preserve\">" + element("OPFMessageCopyBody", "hi");
    parse("<emails>" + item + "</email></emails>", QStringLiteral("Inbox"), 777);
    QCOMPARE(qint64(TmpMlrcPtrStart->BodyOffset), qint64(777 - 9 - 8 - item.size() + item.indexOf("hi")));
}

// One row per stored field: the mail's elements, the field, its expected text.
void TestMailParser::storedFields_data()
{
    QTest::addColumn<QByteArray>("mail");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, const QByteArray &mail, const char *field, const QByteArray &expected) {
        QTest::newRow(name) << mail << QByteArray(field) << expected;
    };
    const auto list = [](const char *name, const QList<QByteArray> &entries) {
        return element(name, entries.join(QByteArray()));
    };
    const char *to = "OPFMessageCopyToAddresses", *cc = "OPFMessageCopyCCAddresses",
               *bcc = "OPFMessageCopyBCCAddresses", *from = "OPFMessageCopyFromAddresses";
    const QByteArray entryHead = "<emailAddress xml:space=\"preserve\" ";

    row("subject of 1023 bytes", element("OPFMessageCopySubject", QByteArray(1023, 's')), "Subject", QByteArray(1023, 's'));
    row("subject of 1024 bytes", element("OPFMessageCopySubject", QByteArray(1024, 's')), "Subject", "");
    row("subject on one line", element("OPFMessageCopySubject", "  Re: a\r\nb &lt;c&gt; &amp;amp; \n"), "Subject",
        "Re: ab <c&gt; &amp;");
    row("subject in Korean", element("OPFMessageCopySubject", "\xed\x95\x9c"), "Subject", "\xed\x95\x9c");
    // ASCII values go into their fields as bytes, others as text: both ways store the same.
    row("subject with line breaks, of 1023 bytes without them",
        element("OPFMessageCopySubject", QByteArray(511, 's') + "\r\n" + QByteArray(512, 's')), "Subject",
        QByteArray(1023, 's'));
    row("subject with line breaks, of 1024 bytes without them",
        element("OPFMessageCopySubject", QByteArray(512, 's') + "\r\n" + QByteArray(512, 's')), "Subject", "");
    row("subject of 1023 bytes once decoded", element("OPFMessageCopySubject", QByteArray(1020, 's') + "&lt;"),
        "Subject", QByteArray(1020, 's') + '<');
    row("subject in Korean, decoded, on one line", element("OPFMessageCopySubject", "\xed\x95\x9c &amp;\r\nx"),
        "Subject", "\xed\x95\x9c &x");
    row("subject ended by a zero byte", element("OPFMessageCopySubject", QByteArray("Ab\0&amp;", 8)), "Subject", "Ab");
    row("subject not in UTF-8", element("OPFMessageCopySubject", "A\xff"), "Subject", "A\xef\xbf\xbd");
    row("subject between no-break spaces", element("OPFMessageCopySubject", "\xc2\xa0Hi\xc2\xa0"), "Subject", "Hi");
    row("subject between vertical tab and form feed", element("OPFMessageCopySubject", "\x0bHi\x0c"), "Subject", "Hi");
    row("subject ending in a control character", element("OPFMessageCopySubject", "Hi\x1f"), "Subject", "Hi\x1f");
    row("identifier ended by a zero byte", element("OPFMessageCopyMessageID", QByteArray("ab\0cd@h", 7)), "MessageId",
        "<ab>");
    row("identifier in Latin-1", element("OPFMessageCopyMessageID", "\xc3\xa9@h"), "MessageId", "<\xe9@h>");
    row("identifier outside Latin-1", element("OPFMessageCopyMessageID", "\xe2\x82\xac@h"), "MessageId", "<?@h>");
    row("identifier with a space", element("OPFMessageCopyMessageID", " a&nbsp;b "), "MessageId", "<a b>");
    row("sent time", element("OPFMessageCopySentTime", " 2010-05-12T14:30:00 "), "SentTime",
        "Wed, 12 May 2010 14:30:00 +0000");
    row("sent time, twelve-hour", element("OPFMessageCopySentTime", "2010-05-12T14:30:00"), "SentTime12",
        "Wed, 12 May 2010 02:30:00 PM");
    row("received time of 31 characters", element("OPFMessageCopyReceivedTime", "2010-05-12T00:15:00.00000000000"),
        "ReceivedTime12", "Wed, 12 May 2010 12:15:00 AM");
    row("received time of 32 characters", element("OPFMessageCopyReceivedTime", "2010-05-12T00:15:00.000000000000"),
        "ReceivedTime", "");
    row("modification time", element("OPFMessageCopyModDate", "2010-13-01T10:00:00"), "ModifiedTime",
        "Thu, 01 Jan 1970 10:00:00 +0000");
    row("outgoing 1", element("OPFMessageIsOutgoing", "1"), "IsOutgoing", "1");
    row("outgoing 0", element("OPFMessageIsOutgoing", "0"), "IsOutgoing", "0");
    row("outgoing yes", element("OPFMessageIsOutgoing", "yes"), "IsOutgoing", "45");
    row("outgoing x", element("OPFMessageIsOutgoing", "x"), "IsOutgoing", "0");
    row("priority", element("OPFMessageGetPriority", "2"), "Priority", "2");
    row("priority of 4", element("OPFMessageGetPriority", "1234"), "Priority", "1234");
    row("priority of 5", element("OPFMessageGetPriority", "12345"), "Priority", "");

    row("to: recipients path", list(to, {address("/O=ORG/OU=SITE/CN=RECIPIENTS_CN=J+2EDOE", "J")}), "ToAddresses",
        "JDOE;");
    row("to: name decoded, address not", list(to, {address("a&amp;b@x", "A &amp; B"), address("c+2E@y", "C")}),
        "ToAddresses", "a&amp;b@x;c+2E@y;");
    row("to: no name, address decoded", list(to, {address("a&amp;b@x", "", false)}), "ToAddresses", "a&b@x;");
    row("to: no name, fixed cut kept after a line break", element(to, "\n" + address("j@x", "", false)),
        "ToAddresses", "j@x\";");
    row("to: no name, fixed cut would leave the entry",
        element(to, entryHead + "OPFContactEmailAddressAddress=\"j@x\"></emailAddress>"), "ToAddresses", "j@x;");
    row("to: no name, address far into the entry",
        element(to, entryHead + "OPFContactEmailAddressKind=\"ordinary-entry\" OPFContactEmailAddressAddress=\"j@x\" "
                                "OPFContactEmailAddressType=\"0\"></emailAddress>"),
        "ToAddresses", "j@x;");
    row("to: entry without address skipped",
        list(to, {entryHead + "OPFContactEmailAddressName=\"N\" OPFContactEmailAddressType=\"0\"></emailAddress>",
                  address("b@y", "B")}),
        "ToAddresses", "b@y;");
    row("to: list too long", list(to, {address(QByteArray(2049, 'a'), "A")}), "ToAddresses", "");
    row("cc: nothing decoded", list(cc, {address("a&amp;b@x", "A"), address("c@y", "", false)}), "CcAddresses",
        "a&amp;b@x;c@y;");
    row("cc: entry without address skipped", list(cc, {entryHead + "></emailAddress>", address("c@y", "C")}),
        "CcAddresses", "c@y;");
    row("bcc: decoded, UTF-8", list(bcc, {address("\xc3\xa9&amp;@x", "E")}), "BccAddresses", "\xc3\xa9&@x;");
    row("bcc: 2049 characters", list(bcc, {address(QByteArray(2048, 'b'), "B")}), "BccAddresses",
        QByteArray(2048, 'b') + ';');
    row("bcc: 2050 characters", list(bcc, {address(QByteArray(2049, 'b'), "B")}), "BccAddresses", "");
    row("bcc: length judged before decoding", list(bcc, {address(QByteArray(2045, 'b') + "&lt;", "B")}),
        "BccAddresses", "");
    row("from: name without commas", list(from, {address("j@x", "Doe, Jane")}), "FromName", "Doe Jane;");
    row("from: last entry once per entry", list(from, {address("a@x", "A"), address("b@y", "B")}), "FromAddress",
        "b@y;b@y;");
    row("from: no name, address without commas", list(from, {address("j,d@x", "", false)}), "FromAddress", "jd@x;");
    row("from: no name, no names", list(from, {address("j@x", "", false)}), "FromName", "");
    row("from: name of 99 bytes", list(from, {address("j@x", QByteArray(98, 'n'))}), "FromName",
        QByteArray(98, 'n') + ';');
    row("from: name of 100 bytes", list(from, {address("j@x", QByteArray(99, 'n'))}), "FromName", "");
    row("from: name kept in UTF-8", list(from, {address("h@x", "\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99")}), "FromName",
        "\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99;");
    row("from: UTF-8 name of 100 bytes", list(from, {address("h@x", QByteArray("\xed\x99\x8d").repeated(33))}),
        "FromName", "");
    row("from: 2 x 49 bytes", list(from, {address("a@x", "A"), address(QByteArray(48, 'b'), "B")}), "FromAddress",
        QByteArray(48, 'b') + ';' + QByteArray(48, 'b') + ';');
    row("from: 2 x 50 bytes", list(from, {address("a@x", "A"), address(QByteArray(49, 'b'), "B")}), "FromAddress", "");
    row("from: no entry", element(from, "garbage"), "FromAddress", "");
    // Lists of ASCII entries are joined as bytes, others as text: both ways store the same.
    row("to: ASCII beside Latin-1 and beyond", list(to, {address("a@x", "A"), address("\xe2\x82\xac@y", "\xc3\xa9")}),
        "ToAddresses", "a@x;?@y;");
    row("cc: entry ended by a zero byte", list(cc, {address("a@x", "A"), address(QByteArray("b\0c@y", 5), "B")}),
        "CcAddresses", "a@x;b;");
    row("bcc: ASCII, decoded", list(bcc, {address("a&amp;b@x", "A"), address("c&lt;@y", "", false)}), "BccAddresses",
        "a&b@x;c<@y;");
    row("from: ASCII entry last", list(from, {address("\xc3\xa9@x", "E"), address("b@y", "B, b")}), "FromName",
        "B b;B b;");
    row("from: Korean name last", list(from, {address("a@x", "A"), address("h@x", "\xed\x99\x8d")}), "FromName",
        "\xed\x99\x8d;\xed\x99\x8d;");
    row("from: ASCII address of a Korean name", list(from, {address("a@x", "A"), address("h@x", "\xed\x99\x8d")}),
        "FromAddress", "h@x;h@x;");
}

void TestMailParser::storedFields()
{
    QFETCH(QByteArray, mail);
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, expected);
    const MailMLRC *record = only(mail);
    const QMap<QByteArray, QByteArray> fields{
        {"Subject", text(record->Subject)},
        {"MessageId", text(record->MessageId)},
        {"SentTime", text(record->SentTime)},
        {"SentTime12", text(record->SentTime12)},
        {"ReceivedTime", text(record->ReceivedTime)},
        {"ReceivedTime12", text(record->ReceivedTime12)},
        {"ModifiedTime", text(record->ModifiedTime)},
        {"IsOutgoing", QByteArray::number(record->IsOutgoing)},
        // The priority may fill its field; the integer after it ends the text.
        {"Priority", text(record->Priority)},
        {"ToAddresses", text(record->ToAddresses)},
        {"CcAddresses", text(record->CcAddresses)},
        {"BccAddresses", text(record->BccAddresses)},
        {"FromName", text(record->FromName)},
        {"FromAddress", text(record->FromAddress)},
    };
    QVERIFY(fields.contains(field));
    QCOMPARE(fields.value(field), expected);
}


// The flag as exports write it, read as a number, and the time the mbox separator
// takes from it in a folder whose name says nothing; the Date line is the sent time.
void TestMailParser::outgoingFlagDecidesTheDate_data()
{
    QTest::addColumn<QByteArray>("flag");
    QTest::addColumn<bool>("withSentTime");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("date");
    const QByteArray sent = "Wed, 12 May 2010 14:30:00 +0000", received = "Wed, 12 May 2010 14:35:00 +0000";
    QTest::newRow("0E0: received") << QByteArray("0E0") << true << 0 << received << sent;
    QTest::newRow("1E0: sent") << QByteArray("1E0") << true << 1 << sent << sent;
    QTest::newRow("1.0E0: sent") << QByteArray("1.0E0") << true << 1 << sent << sent;
    QTest::newRow("1: sent") << QByteArray("1") << true << 1 << sent << sent;
    QTest::newRow("0: received") << QByteArray("0") << true << 0 << received << sent;
    QTest::newRow("yes: the marker, sent") << QByteArray("yes") << true << int(kOutgoingMarker) << sent << sent;
    QTest::newRow("1E0 without a sent time: received") << QByteArray("1E0") << false << 1 << received << received;
    QTest::newRow("0E0 without a sent time: received") << QByteArray("0E0") << false << 0 << received << received;
}

void TestMailParser::outgoingFlagDecidesTheDate()
{
    QFETCH(QByteArray, flag);
    QFETCH(bool, withSentTime);
    QFETCH(int, stored);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, date);
    QByteArray mail = element("OPFMessageCopyReceivedTime", "2010-05-12T14:35:00")
                      + element("OPFMessageIsOutgoing", flag);
    if (withSentTime)
        mail += element("OPFMessageCopySentTime", "2010-05-12T14:30:00");
    parse(emails({mail}), QStringLiteral("Archive"));
    const MailMLRC &record = requireRecord(TmpMlrcPtrStart, "mail");
    QCOMPARE(int(record.IsOutgoing), stored);
    QCOMPARE(separatorDate(record), separator);
    QCOMPARE(headerDate(record), date);
}

void TestMailParser::messageIdentifiers()
{
    const QList<QPair<QByteArray, QByteArray>> kept{
        {"&lt;ID1@host&gt;", "<ID1@host>"},
        {"43C49507.8090702@example.com", "<43C49507.8090702@example.com>"}, // bare identifiers are wrapped whole
        {"<ID1>", "<ID1>"},
        {"<ID1>x", "<ID1>"},
        {"<" + QByteArray(252, 'i') + ">", "<" + QByteArray(252, 'i') + ">"},
    };
    for (const auto &row : kept) {
        QCOMPARE(text(only(element("OPFMessageCopyMessageID", row.first))->MessageId), row.second);
        freeRecordLists();
    }
    parse(emails({element("OPFMessageCopyMessageID", "  "), QByteArray(),
                  element("OPFMessageCopyMessageID", QByteArray(254, 'i') + ">")}));
    QSet<QByteArray> generated;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next) {
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(QString::fromLatin1(mail->MessageId)).hasMatch());
        generated.insert(text(mail->MessageId));
    }
    QCOMPARE(generated.size(), 3);
}

void TestMailParser::attachmentsMatchTheirEntries()
{
    FolderInformation parser;
    const auto registerEntries = [&parser](const QStringList &names) {
        for (int i = 0; i < names.size(); ++i)
            parser.InitializeAttachment(names[i], 100 * (i + 1), 10 * (i + 1));
    };
    const char *list = "OPFMessageCopyAttachmentList";
    const QByteArray ab = element(list, attachment("one.txt", "a") + attachment("two.txt", "b", "cid2"));
    const QByteArray ba = element(list, attachment("one.txt", "b") + attachment("two.txt", "a"));

    registerEntries({"a", "b"});
    parse(emails({ba}));
    registerEntries({"a", "b"});
    parse(emails({QByteArray(), ab})); // the mail without a list leaves the entries waiting
    QVERIFY(!TmpMlrcPtrStart->AttachUrls && !TmpMlrcPtrStart->Next->AttachUrls);
    QVERIFY(tmpstrOrigPath.isEmpty() && tmpdoffset_NoteText.isEmpty() && tmpdsizeofattch.isEmpty());
    const MailMLRC *stored = TmpMlrcPtrEnd;
    QCOMPARE(text(stored->AttachUrls), QByteArray("a;b;"));
    QCOMPARE(text(stored->AttachContentIds), QByteArray("no;cid2;"));
    QCOMPARE(text(stored->AttachContentTypes), QByteArray("text/plain;text/plain;"));
    QCOMPARE(text(stored->AttachNames), QByteArray("one.txt;two.txt;"));
    QCOMPARE(text(stored->AttachOffsets), QByteArray("100;200;"));
    QCOMPARE(text(stored->AttachSizes), QByteArray("10;20;"));

    // Entries collected before the mail's own ones are dropped; a partial name is not a whole entry.
    registerEntries({"Local/Address Book/Groups.xml", "a", "b"});
    parse(emails({ab}));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachUrls), QByteArray("a;b;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachOffsets), QByteArray("200;300;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachSizes), QByteArray("20;30;"));
    for (const QStringList &names : {QStringList{"xa", "b"}, QStringList{"a", "b", "c"}, QStringList{"b"}}) {
        registerEntries(names);
        parse(emails({ab}));
        QVERIFY(!TmpMlrcPtrEnd->AttachUrls && !TmpMlrcPtrEnd->AttachNames && !TmpMlrcPtrEnd->AttachSizes);
    }
    registerEntries({"a", "b"});
    tmpdsizeofattch = QStringLiteral("10;");
    parse(emails({ab}));
    QVERIFY(!TmpMlrcPtrEnd->AttachUrls);
    parse(emails({element(list, QByteArray())}));
    QVERIFY(!TmpMlrcPtrEnd->AttachUrls);

    // Names are decoded as a whole after every entry, so earlier ones twice.
    registerEntries({"a<", "b"});
    parse(emails({element(list, attachment("A&amp;lt;B", "a&lt;") + attachment("C&amp;gt;", "b"))}));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachNames), QByteArray("A<B;C>;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachUrls), QByteArray("a<;b;"));

    // A value holding a ";" keeps the attachments: the name gets a look-alike
    // (A&lt;B as the last entry), a content type drops its parameters, an identifier a comma.
    registerEntries({"a", "c", "b"});
    QByteArray typed = attachment("x;y.txt", "c", "&lt;id;1&gt;");
    typed.replace("text/plain", "text/plain; charset=UTF-8");
    parse(emails({element(list, attachment("C", "a") + typed + attachment("A&amp;lt;B", "b"))}));
    QCOMPARE(QString::fromUtf8(text(TmpMlrcPtrEnd->AttachNames)), QString::fromUtf8("C;x\uFF1By.txt;A&lt\uFF1BB;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachContentTypes), QByteArray("text/plain;text/plain;text/plain;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachContentIds), QByteArray("no;&lt,id,1&gt,;no;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachSizes), QByteArray("10;20;30;"));
}

void TestMailParser::attachmentEntriesWithMissingAttributes()
{
    FolderInformation parser;
    parser.InitializeAttachment(QStringLiteral("u"), 1, 2);
    // No name attribute: an empty name, and the type ends at its own closing quote.
    parse(emails({element("OPFMessageCopyAttachmentList",
                          "<messageAttachment xml:space=\"preserve\" OPFAttachmentContentType=\"image/png\" "
                          "OPFAttachmentURL=\"u\"></messageAttachment>")}));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachContentTypes), QByteArray("image/png;"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachNames), QByteArray(";"));
    QCOMPARE(text(TmpMlrcPtrEnd->AttachUrls), QByteArray("u;"));

    // No URL: nothing matches the collected entry.
    parser.InitializeAttachment(QStringLiteral("u"), 1, 2);
    parse(emails({element("OPFMessageCopyAttachmentList",
                          "<messageAttachment xml:space=\"preserve\" OPFAttachmentName=\"n\"></messageAttachment>")}));
    QVERIFY(!TmpMlrcPtrEnd->AttachUrls);
    QVERIFY(tmpstrOrigPath.isEmpty());

    // An entry of nothing but attribute names, and one cut off mid-name.
    for (const QByteArray &entry : {QByteArray("OPFAttachmentURL=OPFAttachmentName=OPFAttachmentContentType="),
                                    QByteArray("OPFAttachmentURL=")}) {
        parser.InitializeAttachment(QStringLiteral("u"), 1, 2);
        parse(emails({element("OPFMessageCopyAttachmentList", entry + "</messageAttachment>")}));
        QVERIFY(!TmpMlrcPtrEnd->AttachUrls);
    }
}

QTEST_APPLESS_MAIN(TestMailParser)
#include "test_mailparser.moc"
