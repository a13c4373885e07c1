// The bundle's layout and names, and one save driven through saveBundle.
#include "archive/BundleLayout.h"
#include "archive/SaveBundle.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "scan/ScanSession.h"
#include "parsers/RecordLists.h"
#include "platform/FinderInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace {

QString dtohText(quint64 value)
{
    QString out = QStringLiteral(">");
    dtoh(value, &out);
    return out.mid(1);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A mail of folder path in the record lists, its body "body N" stored in *olm.
void addMail(const QString &path, int number, QByteArray *olm)
{
    treeCreator(path);
    MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    const QByteArray folder = path.toUtf8(), id = "<m" + QByteArray::number(number) + "@x>",
                     body = "body " + QByteArray::number(number);
    if (folder.size() < int(sizeof mail->FolderPath)) // a longer path leaves the field empty
        memcpy(mail->FolderPath, folder.constData(), size_t(folder.size()));
    memcpy(mail->MessageId, id.constData(), size_t(id.size()));
    memcpy(mail->ReceivedTime, "Wed, 12 May 2010 20:00:00 +0000", 31);
    mail->ParentId = llParentIdRunning;
    mail->BodyOffset = olm->size();
    mail->BodySize = body.size();
    olm->append(body);
}

} // namespace

class TestSaveBundle : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CleanListAndHash(); }
    void dtohDigits();
    void itemFileNames();
    void bundleLayoutAndDescriptors();
    void finderInfo();
    void savesChosenFoldersOnce();
    void stopLeavesWholeMessages();
    void onlyContactsMakesNoMailDirectory();
    void progressCountsEachKindAcrossItsFolders();
    void foldersNeverShareAnMbox();
    void deepFolderIsNamedInMessages();
};

void TestSaveBundle::dtohDigits()
{
    const QList<QPair<quint64, QString>> rows{
        {0, QStringLiteral("AAAAAAAAAAAAA")}, {1, QStringLiteral("AAAAAAAAAAAAB")},
        {3, QStringLiteral("AAAAAAAAAAAAE")}, {4, QStringLiteral("AAAAAAAAAAAAD")},
        {31, QStringLiteral("AAAAAAAAAAAA5")}, {32, QStringLiteral("AAAAAAAAAAABA")},
        {25, QStringLiteral("AAAAAAAAAAAAZ")}, {26, QStringLiteral("AAAAAAAAAAAA0")},
        // The top digit holds the last 4 bits: 15 maps to P.
        {~0ULL, QStringLiteral("P555555555555")},
    };
    for (const auto &row : rows)
        QCOMPARE(dtohText(row.first), row.second);
}

void TestSaveBundle::itemFileNames()
{
    // Bytes 00 11 .. 77 read little-endian are 7766554433221100; 88 .. FF are FFEEDDCCBBAA9988.
    QString first, second;
    dtoh(0x7766554433221100ULL, &first);
    dtoh(0xFFEEDDCCBBAA9988ULL, &second);
    std::reverse(first.begin(), first.end());
    std::reverse(second.begin(), second.end());
    const QString name = itemFileName("00112233445566778899AABBCCDDEEFF");
    QCOMPARE(name, first + second);
    QCOMPARE(name.size(), 26);
    QCOMPARE(itemFileName("00112233445566778899aabbccddeeff"), name);
    QVERIFY(itemFileName("00112233445566778899AABBCCDDEEF0") != name);
    QVERIFY(itemFileName("").isEmpty());
    QVERIFY(itemFileName("0011223344556677889AABBCCDDEEFFG").isEmpty());
}

void TestSaveBundle::bundleLayoutAndDescriptors()
{
    QTemporaryDir tmp;
    // Longer than 128 characters: the bundle is made at the full path all the same.
    const QString destination = tmp.path() + QStringLiteral("/it's a \"dir\" (copy)/") + QString(130, QLatin1Char('d'));
    QVERIFY(QDir().mkpath(destination));
    const QString stamp = bundleTimeStamp(QDateTime(QDate(2026, 12, 6), QTime(21, 50, 7)));
    QCOMPARE(stamp.left(1) + stamp.mid(stamp.size() - 10), QStringLiteral("(,21-50-07)"));
    const QString bundle = bundlePathFor(destination, stamp);
    QCOMPARE(bundle, destination + QStringLiteral("/Main Identity") + stamp + QStringLiteral(".rge"));
    QString error;
    QVERIFY2(CreateMailFolder(bundle, &error), qPrintable(error));
    for (const char *directory : {"Contacts", "Calendar", "Tasks", "Notes", "Contents"})
        QVERIFY(QFileInfo(bundle + QLatin1Char('/') + QLatin1String(directory)).isDir());
    QVERIFY(!QFileInfo::exists(bundle + QStringLiteral("/Mail")));
    QCOMPARE(fileBytes(bundle + QStringLiteral("/Contents/PkgInfo")), QByteArray("rge OPIM"));
    const QByteArray head = "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD "
                            "PLIST 1.1//EN\" \"http://www.apple.com/DTDs/PropertyList-1.1.dtd\">\n<plist version=\"1.1\">\n"
                            "<dict>\n";
    QCOMPARE(fileBytes(bundle + QStringLiteral("/Contents/Info.plist")),
             head + "\t<key>CFBundleDevelopmentRegion</key>\n\t<string>English</string>\n"
                    "\t<key>CFBundleInfoDictionaryVersion</key>\n\t<string>6.0</string>\n"
                    "\t<key>CFBundlePackageType</key>\n\t<string>rge </string>\n"
                    "\t<key>CFBundleSignature</key>\n\t<string>OPIM</string>\n</dict>\n</plist>\n");
    QCOMPARE(fileBytes(bundle + QStringLiteral("/Archive.xml")),
             head + "\t<key>Type</key>\n\t<string>All</string>\n\t<key>Version</key>\n\t<integer>1</integer>\n"
                    "</dict>\n</plist>\n");

    // A bundle under a file cannot be made, and says so.
    QFile blocker(tmp.path() + QStringLiteral("/file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!CreateMailFolder(blocker.fileName() + QStringLiteral("/Main Identity.rge"), &error));
    QVERIFY(error.contains(QLatin1String("cannot create")));
}

void TestSaveBundle::finderInfo()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("f"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!setFinderInfo(file.handle(), kVCardFileType, kBundleCreator))
        QSKIP("this file system keeps no extended attributes");
    char info[64] = {};
    const ssize_t size = getxattr(path.toUtf8().constData(), "user.com.apple.FinderInfo", info, sizeof info);
    QCOMPARE(int(size), 32);
    QCOMPARE(QByteArray(info, 8), QByteArray("vCrdOPIM"));
    QCOMPARE(QByteArray(info + 8, 24), QByteArray(24, '\0'));
}

// A folder listed twice, or a parent and its child both chosen, is written once;
// mails land in the mbox of their own folder, in list order.
void TestSaveBundle::savesChosenFoldersOnce()
{
    QByteArray olm;
    addMail(QStringLiteral("Inbox"), 1, &olm);
    addMail(QStringLiteral("Inbox/A"), 2, &olm);
    addMail(QStringLiteral("Archive/A"), 3, &olm);
    addMail(QStringLiteral("Inbox"), 4, &olm);
    finishScan();
    const qint64 inbox = folderIdForPath(QStringLiteral("Inbox"));
    const QVector<SaveFolder> chosen = foldersAtOrBelow({inbox, folderIdForPath(QStringLiteral("Inbox/A")), inbox});
    QCOMPARE(countItemsToSave(chosen), qint64(3));

    QTemporaryDir tmp;
    QVERIFY(CreateMailFolder(tmp.path()));
    const ByteArrayTextReader reader(olm);
    SaveRequest request{tmp.path(), chosen, &reader};
    qint64 started = -1, done = 0;
    QStringList captions;
    SaveHooks hooks;
    hooks.started = [&](qint64 items) { started = items; };
    hooks.itemDone = [&] { ++done; };
    hooks.caption = [&](const QString &caption) { captions.append(caption); };
    const SaveReport report = saveBundle(request, hooks);
    QCOMPARE(report.written[size_t(ItemKind::Mail)], qint64(3));
    QVERIFY(report.notWritten.isEmpty());
    QCOMPARE(started, qint64(3));
    QCOMPARE(done, qint64(3));
    QVERIFY(captions.contains(QStringLiteral("Saving Mail Folders...")));
    const QByteArray inboxMbox = fileBytes(tmp.path() + QStringLiteral("/Mail/Inbox/Inbox.mbox"));
    QVERIFY(inboxMbox.indexOf("body 1") >= 0 && inboxMbox.indexOf("body 1") < inboxMbox.indexOf("body 4"));
    QCOMPARE(inboxMbox.count("From ???@???"), 2);
    QVERIFY(fileBytes(tmp.path() + QStringLiteral("/Mail/Inbox/A/A.mbox")).contains("body 2"));
    QVERIFY(!QFileInfo::exists(tmp.path() + QStringLiteral("/Mail/Archive")));
}

void TestSaveBundle::stopLeavesWholeMessages()
{
    QByteArray olm;
    for (int i = 0; i < 5; ++i)
        addMail(QStringLiteral("Inbox"), i, &olm);
    finishScan();
    QTemporaryDir tmp;
    const ByteArrayTextReader reader(olm);
    SaveRequest request{tmp.path(), foldersAtOrBelow({llRootId}), &reader};
    int asked = 0;
    SaveHooks hooks;
    hooks.stopRequested = [&] { return ++asked > 2; };
    const SaveReport report = saveBundle(request, hooks);
    QVERIFY(report.stopped);
    QCOMPARE(report.written[size_t(ItemKind::Mail)], qint64(2));
    const QByteArray mbox = fileBytes(tmp.path() + QStringLiteral("/Mail/Inbox/Inbox.mbox"));
    QCOMPARE(mbox.count("From ???@???"), 2);
    QVERIFY(mbox.contains("body 1") && !mbox.contains("body 2"));
    QVERIFY(mbox.endsWith("6825_117674--\r\r"));
}

// Mail folders on both sides of the contacts: the counts of a kind go on from
// folder to folder, each folder is named as it begins, the last report counts all.
void TestSaveBundle::progressCountsEachKindAcrossItsFolders()
{
    QByteArray olm;
    addMail(QStringLiteral("Inbox"), 1, &olm);
    addMail(QStringLiteral("Inbox"), 2, &olm);
    kindFolderCreator(QStringLiteral("Contacts"), ContactsFolderType);
    for (const char *identifier : {"00112233445566778899AABBCCDDEEFF", "00112233445566778899AABBCCDDEE00"}) {
        ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
        memcpy(contact->Identifier, identifier, 32);
    }
    addMail(QStringLiteral("Sent Items"), 3, &olm);
    finishScan();
    QTemporaryDir tmp;
    QVERIFY(CreateMailFolder(tmp.path()));
    const ByteArrayTextReader reader(olm);
    const QVector<SaveFolder> chosen = {{folderIdForPath(QStringLiteral("Inbox")), MailFolderType},
                                        {folderIdForPath(QStringLiteral("Contacts")), ContactsFolderType},
                                        {folderIdForPath(QStringLiteral("Sent Items")), MailFolderType}};
    SaveRequest request{tmp.path(), chosen, &reader};
    QStringList reports;
    SaveHooks hooks;
    hooks.progress = [&](const SaveProgress &p) {
        reports << QStringLiteral("%1 %2/%3 %4 %5/%6")
                       .arg(p.folder).arg(p.kindDone).arg(p.kindTotal).arg(QLatin1String(itemKindName(p.kind)))
                       .arg(p.done).arg(p.total);
    };
    saveBundle(request, hooks);
    QCOMPARE(reports, (QStringList{"Inbox 0/3 mails 0/5", "Inbox 1/3 mails 1/5", "Inbox 2/3 mails 2/5",
                                   "Contacts 0/2 contacts 2/5", "Contacts 1/2 contacts 3/5", "Contacts 2/2 contacts 4/5",
                                   "Sent Items 2/3 mails 4/5", "Sent Items 3/3 mails 5/5"}));
}

void TestSaveBundle::onlyContactsMakesNoMailDirectory()
{
    QByteArray olm;
    addMail(QStringLiteral("Inbox"), 1, &olm);
    kindFolderCreator(QStringLiteral("Contacts"), ContactsFolderType);
    ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
    memcpy(contact->Identifier, "00112233445566778899AABBCCDDEEFF", 32);
    memcpy(contact->FirstName, "Ann", 3);
    finishScan();
    QTemporaryDir tmp;
    QVERIFY(CreateMailFolder(tmp.path()));
    const ByteArrayTextReader reader(olm);
    const QVector<SaveFolder> chosen = foldersAtOrBelow({folderIdForPath(QStringLiteral("Contacts"))});
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().type, qint32(ContactsFolderType));
    SaveRequest request{tmp.path(), chosen, &reader};
    const SaveReport report = saveBundle(request, SaveHooks());
    QVERIFY(!QFileInfo::exists(tmp.path() + QStringLiteral("/Mail")));
    QCOMPARE(report.written[size_t(ItemKind::Mail)], qint64(0));
    // Written, or named as not written: never lost silently.
    QCOMPARE(report.written[size_t(ItemKind::Contact)] + report.notWritten.size(), qint64(1));
    if (report.written[size_t(ItemKind::Contact)] == 1)
        QVERIFY(QFileInfo::exists(tmp.path() + QStringLiteral("/Contacts/") + itemFileName(contact->Identifier)));
    else
        QVERIFY(report.notWritten.first().item.startsWith(QLatin1String("contact \"Ann\"")));
}

// A mail that cannot be written in a folder whose path the record's field cannot hold
// is named with its real folder, shortened to a line a person reads, in both formats.
void TestSaveBundle::deepFolderIsNamedInMessages()
{
    QStringList levels;
    for (int level = 0; level < 6; ++level) // longer than the record's field holds
        levels << QStringLiteral("level %1 ").arg(level, 3, 10, QLatin1Char('0')) + QString(240, QLatin1Char('x'));
    const QString folder = levels.join(QLatin1Char('/'));
    QByteArray olm;
    addMail(folder, 0, &olm);
    finishScan();
    const ByteArrayTextReader reader(olm);
    for (const BundleFormat format : {BundleFormat::Entourage, BundleFormat::Standard}) {
        QTemporaryDir tmp;
        QVERIFY(format == BundleFormat::Standard || CreateMailFolder(tmp.path()));
        SaveRequest request{tmp.path(), foldersAtOrBelow({llRootId}), &reader, format};
        failOutputWrite(1, ENOSPC);
        const SaveReport report = saveBundle(request, SaveHooks());
        failOutputWrite(0, 0);
        QCOMPARE(report.notWritten.size(), 1);
        const QString line = report.notWritten.first().line();
        QVERIFY2(line.startsWith(QStringLiteral("mail \"\" in ") + folder.left(100)), qPrintable(line));
        QVERIFY2(line.contains(QStringLiteral("…")), qPrintable(line));
        QVERIFY2(line.contains(folder.right(100) + QStringLiteral(" (<m0@x>)")), qPrintable(line));
        QVERIFY2(line.size() < 1000, qPrintable(line));
    }
}

QTEST_GUILESS_MAIN(TestSaveBundle)
#include "test_savebundle.moc"

// Folders a file system would merge, or whose names are those of an item kind's
// folder, each get an mbox of their own, in both formats; a folder written under
// another name is in the account of losses.
void TestSaveBundle::foldersNeverShareAnMbox()
{
    QByteArray olm;
    kindFolderCreator(QStringLiteral("Notes"), NotesFolderType);
    NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    memcpy(note->Identifier, "0123456789ABCDEF0123456789ABCDEF", 32);
    const QStringList folders{"Notes", "Tasks", "__", "..", "a/b", "a//b", "abs", "/abs"};
    for (int i = 0; i < folders.size(); ++i)
        addMail(folders.at(i), i, &olm);
    finishScan();
    clearLosses();
    const ByteArrayTextReader reader(olm);
    for (const BundleFormat format : {BundleFormat::Entourage, BundleFormat::Standard}) {
        QTemporaryDir tmp;
        QVERIFY(format == BundleFormat::Standard || CreateMailFolder(tmp.path()));
        SaveRequest request{tmp.path(), foldersAtOrBelow({llRootId}), &reader, format};
        const SaveReport report = saveBundle(request, SaveHooks());
        QCOMPARE(report.written[size_t(ItemKind::Mail)], qint64(folders.size()));
        QCOMPARE(report.written[size_t(ItemKind::Note)], qint64(1));
        const QStringList mboxes{"Notes/Notes.mbox", "Tasks/Tasks.mbox", "__/__.mbox", "__ (2)/__ (2).mbox",
                                 "a/b/b.mbox", "a/_/b/b.mbox", "abs/abs.mbox", "_/abs/abs.mbox"};
        for (int i = 0; i < folders.size(); ++i) {
            const QByteArray mbox = fileBytes(tmp.path() + QStringLiteral("/Mail/") + mboxes.at(i));
            QVERIFY2(mbox.contains("body " + QByteArray::number(i)), qPrintable(mboxes.at(i)));
            QCOMPARE(QByteArray(mbox).replace('\r', '\n').count("\nFrom ") + int(mbox.startsWith("From ")), 1);
        }
    }
    QStringList renamed;
    for (const Loss &loss : recordedLosses()) {
        if (loss.reason == LossReason::FolderPathLost && loss.kind == QLatin1String("folder"))
            renamed.append(loss.folder);
    }
    // Once per save of each format.
    QCOMPARE(renamed, (QStringList{"..", "a//b", "/abs", "..", "a//b", "/abs"}));
}
