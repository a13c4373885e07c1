#include "ParserTestSupport.h"
#include "olm/FolderHierarchy.h"
#include "scan/ScanSession.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QtTest>
#include <cstddef>

namespace {
QByteArray contact(const QByteArray &elements) { return element("contact", elements); }

QByteArray contactsDocument(const QByteArray &contacts) { return rootElement("contacts", contacts); }

QByteArray emailEntry(const QByteArray &address)
{
    return element("contactEmailAddress", QByteArray(),
                   "OPFContactEmailAddressAddress=\"" + address
                       + "\" OPFContactEmailAddressIsDefault=\"1\" OPFContactEmailAddressType=\"0\"");
}

QByteArray categoryEntry(const QByteArray &name)
{
    return element("category", QByteArray(),
                   "OPFCategoryCopyBackgroundColor=\"r:0.89 g:0.15 b:0.15\" OPFCategoryCopyName=\"" + name + "\"");
}

QByteArray childEntry(const QByteArray &name) { return element("string", name); }

// Runs the parser over a document whose last byte lies just before documentEnd in the file.
void parse(const QByteArray &document, qint64 documentEnd)
{
    withDocument(document, [=] { FolderInformation().InitializeCTRC(documentEnd); });
}

// One contact of the given elements, as the only item of a document ending at 1000.
const ContactInformation &parseOne(const QByteArray &elements)
{
    parse(contactsDocument(contact(elements)), 1000);
    return requireRecord(TmpCTRCPtrStart, "contact");
}

QByteArray fieldAt(const ContactInformation &record, int offset)
{
    return QByteArray(reinterpret_cast<const char *>(&record) + offset);
}

#define FIELD(member) int(offsetof(ContactInformation, member))
} // namespace

class TestContactParser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { useZone("UTC"); }
    void cleanup() { CleanListAndHash(); }

    void splitsDocumentIntoContacts();
    void textFields_data();
    void textFields();
    void streetLineBreaks();
    void emailAndIMSlots();
    void categoriesReversed_data();
    void categoriesReversed();
    void childrenSlots();
    void datesAndAge_data();
    void datesAndAge();
    void textsLeftInFile();
    void brokenElements();
    void prefixMarkersMatchLongerNames();
    void identifiers();
};

void TestContactParser::splitsDocumentIntoContacts()
{
    parse(contactsDocument(contact(element("OPFContactCopyFirstName", "Ann"))
                           + contact(element("OPFContactCopyFirstName", "Bob"))
                           + contact(element("OPFContactCopyFirstName", "Cid")))
              + element("OPFContactCopyFirstName", "trailing text, no contact"),
          5000);
    QCOMPARE(ContactItemCount, qint64(3));
    QCOMPARE(QByteArray(TmpCTRCPtrStart->FirstName), QByteArray("Ann"));
    QCOMPARE(QByteArray(TmpCTRCPtrStart->Next->FirstName), QByteArray("Bob"));
    QCOMPARE(QByteArray(TmpCTRCPtrStart->Next->Next->FirstName), QByteArray("Cid"));
    QCOMPARE(TmpCTRCPtrEnd, TmpCTRCPtrStart->Next->Next);
    QVERIFY(!TmpCTRCPtrEnd->Next);
    QVERIFY(objMapName_FID.contains(QStringLiteral("Contacts")));

    // A second document appends to the same list; one without "</contact>" adds nothing.
    parse(contactsDocument(contact(element("OPFContactCopyFirstName", "Dee"))), 9000);
    parse("<contacts xml:space=\"preserve\"><contact><OPFContactCopyFirstName", 9500);
    parse(QByteArray(), 0);
    QCOMPARE(ContactItemCount, qint64(4));
    QCOMPARE(QByteArray(TmpCTRCPtrEnd->FirstName), QByteArray("Dee"));
    QCOMPARE(objMapName_FID.values(QStringLiteral("Contacts")).size(), 1);
}

void TestContactParser::textFields_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");

    const QByteArray x255(255, 'x'), x256(256, 'x');
    QTest::newRow("first name 255") << QByteArray("OPFContactCopyFirstName") << FIELD(FirstName) << x255 << x255;
    QTest::newRow("first name 256") << QByteArray("OPFContactCopyFirstName") << FIELD(FirstName) << x256 << QByteArray();
    QTest::newRow("first name entities") << QByteArray("OPFContactCopyFirstName") << FIELD(FirstName)
                                         << QByteArray("&amp;lt;Ann&amp;gt; &quot;A&nbsp;B&quot;")
                                         << QByteArray("&lt;Ann&gt; &quot;A B&quot;");
    // The name limit is tested before decoding: 256 characters that decode to 252 stay out.
    QTest::newRow("last name limit before decoding")
        << QByteArray("OPFContactCopyLastName") << FIELD(LastName) << QByteArray(251, 'y') + "&amp;"
        << QByteArray();
    // Department and office are tested after decoding: 130 characters that decode to 126 go in.
    QTest::newRow("department limit after decoding")
        << QByteArray("OPFContactCopyBusinessDepartment") << FIELD(Department) << QByteArray(121, 'd') + "&lt;b&gt;"
        << QByteArray(121, 'd') + "<b&gt;";
    QTest::newRow("office 128 after decoding") << QByteArray("OPFContactCopyBusinessOffice") << FIELD(Office)
                                               << QByteArray(125, 'o') + "&lt;" + "&lt;" + "&lt;" << QByteArray();
    QTest::newRow("display name keeps entities") << QByteArray("OPFContactCopyDisplayName") << FIELD(DisplayName)
                                                 << QByteArray("A &amp; B") << QByteArray("A &amp; B");
    QTest::newRow("title 117") << QByteArray("OPFContactCopyTitle") << FIELD(Title) << QByteArray(117, 't')
                               << QByteArray(117, 't');
    QTest::newRow("title 118") << QByteArray("OPFContactCopyTitle") << FIELD(Title) << QByteArray(118, 't') << QByteArray();
    QTest::newRow("suffix 7") << QByteArray("OPFContactCopySetNameSuffix") << FIELD(NameSuffix) << QByteArray("Jr. III")
                              << QByteArray("Jr. III");
    QTest::newRow("suffix 8") << QByteArray("OPFContactCopySetNameSuffix") << FIELD(NameSuffix) << QByteArray("Jr. IIII")
                              << QByteArray();
    QTest::newRow("trimmed") << QByteArray("OPFContactCopyNickName") << FIELD(NickName) << QByteArray("\n  Bobby \t")
                             << QByteArray("Bobby");
    QTest::newRow("white space only") << QByteArray("OPFContactCopyNickName") << FIELD(NickName) << QByteArray(" \n ")
                                      << QByteArray();
    QTest::newRow("work zip 31") << QByteArray("OPFContactCopyBusinessZip") << FIELD(WorkZip) << QByteArray(31, '9')
                                 << QByteArray(31, '9');
    QTest::newRow("work zip 32") << QByteArray("OPFContactCopyBusinessZip") << FIELD(WorkZip) << QByteArray(32, '9')
                                 << QByteArray();
    QTest::newRow("home city 255") << QByteArray("OPFContactCopyHomeCity") << FIELD(HomeCity) << x255 << x255;
    QTest::newRow("work web page") << QByteArray("OPFContactCopyBusinessHomePage") << FIELD(WorkWebPage)
                                   << QByteArray("http://acme.example") << QByteArray("http://acme.example");
    QTest::newRow("main phone 63") << QByteArray("OPFContactMainPhone") << FIELD(MainPhone) << QByteArray(63, '1')
                                   << QByteArray(63, '1');
    QTest::newRow("main phone 64") << QByteArray("OPFContactMainPhone") << FIELD(MainPhone) << QByteArray(64, '1')
                                   << QByteArray();
    QTest::newRow("custom phone 4") << QByteArray("OPFContactCopyCustomPhone4") << FIELD(CustomPhone[3])
                                    << QByteArray("555-4") << QByteArray("555-4");
    QTest::newRow("custom data 5") << QByteArray("OPFContactCustomData5") << FIELD(CustomFields[4])
                                   << QByteArray("five") << QByteArray("five");
    QTest::newRow("custom data 8 at 64") << QByteArray("OPFContactCustomData8") << FIELD(CustomFields[7])
                                         << QByteArray(64, 'c') << QByteArray();
    QTest::newRow("blood type 2") << QByteArray("OPFContactCopyBloodType") << FIELD(BloodType) << QByteArray("AB")
                                  << QByteArray("AB");
    QTest::newRow("blood type 3") << QByteArray("OPFContactCopyBloodType") << FIELD(BloodType) << QByteArray("AB+")
                                  << QByteArray();
    // Names are UTF-8; one too long keeps what fits, up to its last whole character.
    QTest::newRow("spouse Greek") << QByteArray("OPFContactCopySpousesName") << FIELD(Spouse)
                                  << QByteArray("\xce\x96\xcf\x89\xce\xae") << QByteArray("\xce\x96\xcf\x89\xce\xae");
    QByteArray longSpouse("S");
    for (int i = 0; i < 130; ++i)
        longSpouse += "\xce\x96";
    QTest::newRow("spouse cut at a character") << QByteArray("OPFContactCopySpousesName") << FIELD(Spouse)
                                               << longSpouse << longSpouse.left(1 + 127 * 2);
    // Latin-1 fields: a letter of Latin-1 keeps its one byte, others become question marks.
    QTest::newRow("interests Latin-1") << QByteArray("OPFContactCopyInterests") << FIELD(Interests)
                                       << QByteArray("Zo\xc3\xab \xce\x96") << QByteArray("Zo\xeb ?");
    QTest::newRow("home web page 127") << QByteArray("OPFContactCopyHomeWebPage") << FIELD(HomeWebPage)
                                               << QByteArray(127, 'w') << QByteArray(127, 'w');
    QTest::newRow("interests 128") << QByteArray("OPFContactCopyInterests") << FIELD(Interests)
                                   << QByteArray(128, 'i') << QByteArray();
    // UTF-8 fields count bytes: 200 characters of three bytes each do not fit 256.
    QByteArray wide;
    for (int i = 0; i < 200; ++i)
        wide += "\xe6\x97\xa5";
    QTest::newRow("company wide characters") << QByteArray("OPFContactCopyBusinessCompany") << FIELD(Company)
                                             << wide << QByteArray();
    QTest::newRow("company Japanese") << QByteArray("OPFContactCopyBusinessCompany") << FIELD(Company)
                                      << QByteArray("\xe6\x97\xa5\xe6\x9c\xac") << QByteArray("\xe6\x97\xa5\xe6\x9c\xac");
}

void TestContactParser::textFields()
{
    QFETCH(QByteArray, name);
    QFETCH(int, offset);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    const ContactInformation &record = parseOne(element("OPFContactCopyPager", "pager") + element(name, value)
                                                + element("OPFContactCopyCellPhone", "cell"));
    QCOMPARE(fieldAt(record, offset), stored);
    // The neighbours are read whatever happened to the field.
    QCOMPARE(QByteArray(record.Pager), QByteArray("pager"));
    QCOMPARE(QByteArray(record.MobilePhone), QByteArray("cell"));
}

void TestContactParser::streetLineBreaks()
{
    const ContactInformation &record = parseOne(element("OPFContactCopyBusinessStreetAddress", "1 Main St\nSuite 5")
                                                + element("OPFContactCopyHomeStreetAddress", "2 Elm Rd\nFlat 3"));
    QCOMPARE(QByteArray(record.WorkStreet), QByteArray("1 Main St\n Suite 5"));
    QCOMPARE(QByteArray(record.HomeStreet), QByteArray("2 Elm Rd\nFlat 3"));
    cleanup();

    // At most 510 characters before the rule, and the result must still fit 512 bytes.
    const ContactInformation &longest = parseOne(element("OPFContactCopyBusinessStreetAddress", QByteArray(510, 's')));
    QCOMPARE(QByteArray(longest.WorkStreet), QByteArray(510, 's'));
    cleanup();
    const ContactInformation &tooLong = parseOne(element("OPFContactCopyBusinessStreetAddress", QByteArray(511, 's')));
    QCOMPARE(QByteArray(tooLong.WorkStreet), QByteArray());
    cleanup();
    QByteArray manyLines;
    for (int i = 0; i < 20; ++i)
        manyLines += QByteArray(24, 'l') + "\n";
    const ContactInformation &grown = parseOne(element("OPFContactCopyBusinessStreetAddress", "x" + manyLines + "x"));
    QCOMPARE(QByteArray(grown.WorkStreet), QByteArray());
}

void TestContactParser::emailAndIMSlots()
{
    QByteArray emails, ims;
    for (int i = 1; i <= 14; ++i)
        emails += emailEntry("user" + QByteArray::number(i) + "@acme.example");
    ims += emailEntry(QByteArray(128, 'a')); // too long: slot 1 stays empty
    ims += emailEntry("zo\xc3\xab@im.example");
    ims += emailEntry("");
    ims += emailEntry(QByteArray(127, 'b'));
    ims += "<contactEmailAddress>short</contactEmailAddress>"; // shorter than the fixed cuts
    ims += emailEntry("last@im.example");
    const ContactInformation &record = parseOne(element("OPFContactCopyEmailAddressList", emails)
                                                + element("OPFContactCopyIMAddressList", ims)
                                                + element("OPFContactCopyFirstName", "Ann"));
    for (int i = 0; i < 13; ++i)
        QCOMPARE(QByteArray(record.EmailAddresses[i]), "user" + QByteArray::number(i + 1) + "@acme.example");
    QCOMPARE(QByteArray(record.IMAddresses[0]), QByteArray());
    QCOMPARE(QByteArray(record.IMAddresses[1]), QByteArray("zo\xeb@im.example"));
    QCOMPARE(QByteArray(record.IMAddresses[2]), QByteArray());
    QCOMPARE(QByteArray(record.IMAddresses[3]), QByteArray(127, 'b'));
    QCOMPARE(QByteArray(record.IMAddresses[4]), QByteArray());
    QCOMPARE(QByteArray(record.IMAddresses[5]), QByteArray("last@im.example"));
    for (int i = 6; i < 13; ++i)
        QCOMPARE(QByteArray(record.IMAddresses[i]), QByteArray());
    // The 14th e-mail entry is dropped; the fields after the slots are untouched.
    QCOMPARE(QByteArray(record.CustomFields[0]), QByteArray());
    QCOMPARE(QByteArray(record.FirstName), QByteArray("Ann"));
    cleanup();

    // A UTF-8 address is cut by bytes and stays UTF-8; a list without the closing entry tag has no entries.
    const ContactInformation &utf8 = parseOne(element("OPFContactCopyEmailAddressList", emailEntry("\xe5\xb1\xb1@x.jp"))
                                              + element("OPFContactCopyIMAddressList", "<contactEmailAddress "
                                                                                       "OPFContactEmailAddressAddress=\"a@b\">"));
    QCOMPARE(QByteArray(utf8.EmailAddresses[0]), QByteArray("\xe5\xb1\xb1@x.jp"));
    QCOMPARE(QByteArray(utf8.IMAddresses[0]), QByteArray());
}

void TestContactParser::categoriesReversed_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("three") << categoryEntry("Work") + categoryEntry("Home") + categoryEntry("Family")
                           << QByteArray("Family,Home,Work");
    QTest::newRow("one, UTF-8") << categoryEntry("Caf\xc3\xa9 \xea\xb9\x80") << QByteArray("Caf\xc3\xa9 \xea\xb9\x80");
    QTest::newRow("name holding a comma") << categoryEntry("A,B") + categoryEntry("C") << QByteArray("C,B,A");
    QTest::newRow("empty first name") << categoryEntry("") + categoryEntry("X") << QByteArray("X,");
    QTest::newRow("short piece") << QByteArray("<category>X</category>") + categoryEntry("Y") << QByteArray("Y,");
    QTest::newRow("only an empty name") << categoryEntry("") << QByteArray();
    QTest::newRow("no closing entry tag") << QByteArray("<category xml:space=\"preserve\">") << QByteArray();
    QTest::newRow("empty list") << QByteArray() << QByteArray();
}

void TestContactParser::categoriesReversed()
{
    QFETCH(QByteArray, list);
    QFETCH(QByteArray, stored);
    const ContactInformation &record = parseOne(element("OPFContactCopyCategoryList", list));
    if (stored.isEmpty())
        QVERIFY(!record.Categories);
    else
        QCOMPARE(QByteArray(record.Categories), stored);
}

void TestContactParser::childrenSlots()
{
    const ContactInformation &record = parseOne(
        element("OPFContactCopyChildren", childEntry("Tom") + childEntry("") + childEntry("\xed\x99\x8d")
                                              + childEntry("Fourth"))
        + element("OPFContactCopyBloodType", "0"));
    QCOMPARE(QByteArray(record.Children[0]), QByteArray("Tom"));
    QCOMPARE(QByteArray(record.Children[1]), QByteArray());
    QCOMPARE(QByteArray(record.Children[2]), QByteArray("\xed\x99\x8d"));
    QCOMPARE(QByteArray(record.BloodType), QByteArray("0")); // the fourth child went nowhere
    cleanup();

    const ContactInformation &shortPieces = parseOne(
        element("OPFContactCopyChildren", "<s>Al</string>" + childEntry(QByteArray(128, 'k')) + childEntry("Bo")));
    QCOMPARE(QByteArray(shortPieces.Children[0]), QByteArray());
    QCOMPARE(QByteArray(shortPieces.Children[1]), QByteArray(127, 'k'));
    QCOMPARE(QByteArray(shortPieces.Children[2]), QByteArray("Bo"));
}

void TestContactParser::datesAndAge_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("age");
    QTest::addColumn<QByteArray>("storedDate");
    QTest::addColumn<int>("storedAge");
    QTest::newRow("regular") << QByteArray("1980-07-04T00:00:00") << QByteArray("42") << QByteArray("1980-07-04") << 42;
    // Dates are the day entered: local midnight stored as UTC, whatever zone scans the file.
    QTest::newRow("entered six hours behind UTC") << QByteArray("2018-06-20T06:00:00") << QByteArray("7")
                                                  << QByteArray("2018-06-20") << 7;
    QTest::newRow("entered nine hours ahead") << QByteArray("2018-06-19T15:00:00") << QByteArray("7")
                                              << QByteArray("2018-06-20") << 7;
    QTest::newRow("month 13") << QByteArray("2010-13-01T10:00:00") << QByteArray("abc") << QByteArray("1970-01-01") << 0;
    QTest::newRow("seconds 45Z") << QByteArray("2010-05-12T11:59:45Z") << QByteArray("-3") << QByteArray("2010-05-12") << -3;
    QTest::newRow("without T") << QByteArray("2010-05-12") << QByteArray("4.2E1") << QByteArray("2010-05-12") << 42;
    QTest::newRow("float age not whole") << QByteArray("2010-05-12T00:00:00") << QByteArray("4.25E1") << QByteArray("2010-05-12") << 0;
    QTest::newRow("empty") << QByteArray("   ") << QByteArray("") << QByteArray() << 0;
    QTest::newRow("garbage") << QByteArray("soon") << QByteArray("99999999999") << QByteArray("1970-01-01") << 0;
    // Float notation outside any age: refused before it is turned into a whole number.
    const QByteArray d("2010-05-12");
    for (const char *farOut : {"1E20", "-1E20", "1E308", "-1E308", "2.147483648E9", "-2.147483649E9", "1.001E3",
                               "inf", "-inf", "nan", "1E400"})
        QTest::newRow(farOut) << d << QByteArray(farOut) << d << 0;
    QTest::newRow("1E3 is the oldest") << d << QByteArray("1E3") << d << 1000;
}

void TestContactParser::datesAndAge()
{
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, age);
    QFETCH(QByteArray, storedDate);
    QFETCH(int, storedAge);
    const ContactInformation &record = parseOne(
        element("OPFContactCopyBirthday", date) + element("OPFContactCopyAnniversary", date)
        + element("OPFContactCopyCustomDate1", date) + element("OPFContactCopyCustomDate2", date)
        + element("OPFContactCopyAge", age));
    QCOMPARE(QByteArray(record.Birthday), storedDate);
    QCOMPARE(QByteArray(record.Anniversary), storedDate);
    QCOMPARE(QByteArray(record.CustomDate1), storedDate);
    QCOMPARE(QByteArray(record.CustomDate2), storedDate);
    QCOMPARE(int(record.Age), storedAge);
}

void TestContactParser::textsLeftInFile()
{
    // Invalid UTF-8 before the texts must not shift their offsets, nor must text
    // after the container end tag that is not part of it.
    const QByteArray note = "Call back &amp; ask\nabout the \xff\xfe invoice";
    const QByteArray picture = QByteArray(3000, 'P');
    const QByteArray first = contact(element("OPFContactCopyNickName", "\xff\xfe\xfd")
                                     + element("OPFContactCopyNotes", "<b>formatted</b>")
                                     + element("OPFContactCopyNotesPlain", note)
                                     + element("OPFContactAddPicture", picture));
    const QByteArray second = contact(element("OPFContactCopyNotesPlain", " \n\t ")
                                      + element("OPFContactAddPicture", "  tiny  "));
    const QByteArray document = contactsDocument(first + second) + "\r\n";
    const QByteArray file = QByteArray(777, '\0') + document + QByteArray(50, 'z');
    const qint64 documentEnd = 777 + document.size();
    parse(document, documentEnd);

    QCOMPARE(ContactItemCount, qint64(2));
    const ContactInformation &a = *TmpCTRCPtrStart;
    QCOMPARE(file.mid(int(a.NotesOffset), int(a.NotesSize)), note);
    QCOMPARE(file.mid(int(a.PictureOffset), int(a.PictureSize)), picture);
    const ContactInformation &b = *TmpCTRCPtrEnd;
    QCOMPARE(qint64(b.NotesSize), qint64(0));
    QCOMPARE(qint64(b.NotesOffset), qint64(0));
    QCOMPARE(file.mid(int(b.PictureOffset), int(b.PictureSize)), QByteArray("  tiny  "));
    cleanup();

    // Offsets beyond 4 GiB keep their value.
    const qint64 farEnd = (qint64(5) << 30) + 123;
    const QByteArray far = contactsDocument(contact(element("OPFContactCopyNotesPlain", "far away")));
    parse(far, farEnd);
    QCOMPARE(qint64(TmpCTRCPtrStart->NotesOffset), qint64(farEnd - far.size() + far.indexOf("far away")));
    QCOMPARE(qint64(TmpCTRCPtrStart->NotesSize), qint64(8));
}

void TestContactParser::brokenElements()
{
    // Missing end marker, end marker before the start, a start marker at the very
    // end of the item: those fields stay empty and the rest of the contact is read.
    const QByteArray elements = element("OPFContactCopyFirstName", "Ann")
                                + "<OPFContactCopyLastName xml:space=\"preserve\">Lee"
                                + "</OPFContactCopyNotesPlain>" + element("OPFContactCopyNickName", "Al")
                                + "<OPFContactCopyNotesPlain xml:space=\"preserve\">" + QByteArray(300, 'n')
                                + element("OPFContactCopyEmailAddressList", emailEntry("a@b.example"))
                                + "</OPFContactCopyBusinessTitle><OPFContactCopyBusinessTitle";
    const QByteArray document = contactsDocument(contact(elements) + contact("<OPFContactAddPicture"));
    parse(document, 4000);
    QCOMPARE(ContactItemCount, qint64(2));
    const ContactInformation &a = *TmpCTRCPtrStart;
    QCOMPARE(QByteArray(a.FirstName), QByteArray("Ann"));
    QCOMPARE(QByteArray(a.LastName), QByteArray());
    QCOMPARE(QByteArray(a.NickName), QByteArray("Al"));
    QCOMPARE(qint64(a.NotesSize), qint64(0));
    QCOMPARE(qint64(a.NotesOffset), qint64(0));
    QCOMPARE(QByteArray(a.EmailAddresses[0]), QByteArray("a@b.example"));
    QCOMPARE(QByteArray(a.JobTitle), QByteArray());
    QCOMPARE(qint64(TmpCTRCPtrEnd->PictureSize), qint64(0));
    cleanup();

    // An element without the attribute text: the value would start past its end.
    const ContactInformation &bare = parseOne("<OPFContactCopyNotesPlain>hi</OPFContactCopyNotesPlain>");
    QCOMPARE(qint64(bare.NotesSize), qint64(0));
    QCOMPARE(qint64(bare.NotesOffset), qint64(0));
}

void TestContactParser::prefixMarkersMatchLongerNames()
{
    // "<OPFContactCopyHomePhone" finds "<OPFContactCopyHomePhone2" first; the cut then
    // starts one byte early (the marker is one shorter) and runs to the home phone's own end tag.
    const ContactInformation &record = parseOne(element("OPFContactCopyHomePhone2", "222")
                                                + element("OPFContactCopyHomePhone", "111")
                                                + element("OPFContactCopyBusinessPhone", "333")
                                                + element("OPFContactCopyBusinessPhone2", "444"));
    QCOMPARE(QByteArray(record.HomePhone2), QByteArray("222"));
    QCOMPARE(QByteArray(record.HomePhone1),
             QByteArray(">222</OPFContactCopyHomePhone2><OPFContactCopyHomePhone xml:space=\"preserve\">111"));
    QCOMPARE(QByteArray(record.WorkPhone1), QByteArray("333"));
    QCOMPARE(QByteArray(record.WorkPhone2), QByteArray("444"));
    cleanup();

    const ContactInformation &only = parseOne(element("OPFContactCopyHomePhone2", "222"));
    QCOMPARE(QByteArray(only.HomePhone1), QByteArray());
    QCOMPARE(QByteArray(only.HomePhone2), QByteArray("222"));
}

void TestContactParser::identifiers()
{
    parse(contactsDocument(contact(element("OPFContactCopyFirstName", "A")) + contact(QByteArray())), 300);
    const QByteArray first(TmpCTRCPtrStart->Identifier), second(TmpCTRCPtrEnd->Identifier);
    QCOMPARE(first.size(), 32);
    QCOMPARE(second.size(), 32);
    QVERIFY(first != second);
    QVERIFY(isItemIdentifier(first));
    QVERIFY(!TmpCTRCPtrStart->Categories);
}

QTEST_APPLESS_MAIN(TestContactParser)
#include "test_contactparser.moc"
