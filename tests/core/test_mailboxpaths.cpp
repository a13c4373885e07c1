// One mbox for every mail folder: names a file system would merge or refuse get
// a place of their own, and the folders of item kinds keep mail folders of the same name apart.
#include "archive/MailboxPaths.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"

#include <QtTest>
#include <sys/resource.h>

class TestMailboxPaths : public QObject
{
    Q_OBJECT
private slots:
    void init() { resetFolderHierarchy(); }
    void everyFolderItsOwnMbox();
    void kindFoldersBesideMailFoldersOfTheirName();
    void deepFoldersCostMemoryByTheirNamesOnly();
};

namespace {
qint64 folder(const QString &path)
{
    treeCreator(path);
    return llParentIdRunning;
}
} // namespace

void TestMailboxPaths::everyFolderItsOwnMbox()
{
    const QString japanese = QString(30, QChar(0x8CC7)); // 90 bytes a name
    QStringList longPath;
    for (int level = 0; level < 12; ++level)
        longPath.append(japanese);
    // Each row: a folder path and where its mails must go.
    const QList<QPair<QString, QString>> rows{
        {"Inbox", "Inbox/Inbox.mbox"},
        {"Inbox/A", "Inbox/A/A.mbox"},
        {"Archive/A", "Archive/A/A.mbox"},
        {"__", "__/__.mbox"},
        {"..", "__ (2)/__ (2).mbox"},
        {"_", "_/_.mbox"},
        {".", "_ (2)/_ (2).mbox"},
        {"a/b", "a/b/b.mbox"},
        {"a//b", "a/_/b/b.mbox"},
        {"abs", "abs/abs.mbox"},
        {"/abs", "_ (3)/abs/abs.mbox"},
        {"../../etc", "__ (2)/__/etc/etc.mbox"},
        {"INBOX", "INBOX (2)/INBOX (2).mbox"},
        {"Inbox/Inbox.mbox", "Inbox/Inbox.mbox (2)/Inbox.mbox (2).mbox"},
        {"Folder1", "Folder1 (2)/Folder1 (2).mbox"},
        {"tab\there", "tab_here/tab_here.mbox"},
        {QString::fromUtf8("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9/Caf\xc3\xa9.mbox")},
        {QString::fromUtf8("Cafe\xcc\x81"), QString::fromUtf8("Cafe\xcc\x81 (2)/Cafe\xcc\x81 (2).mbox")},
        {longPath.join('/'), longPath.join('/') + '/' + japanese + ".mbox"},
        {QString(100, QChar(0x8CC7)), QString(80, QChar(0x8CC7)) + '/' + QString(80, QChar(0x8CC7)) + ".mbox"},
    };
    QVector<qint64> ids;
    for (const auto &row : rows)
        ids.append(folder(row.first));
    const MailboxPaths paths;
    QSet<QString> seen;
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(paths.relativePath(ids.at(i)), rows.at(i).second);
        const QString comparable = paths.relativePath(ids.at(i)).normalized(QString::NormalizationForm_C).toCaseFolded();
        QVERIFY(!seen.contains(comparable));
        seen.insert(comparable);
        QCOMPARE(paths.isRenamed(ids.at(i)), rows.at(i).second != rows.at(i).first + '/' + rows.at(i).first.section('/', -1) + ".mbox");
    }
    QCOMPARE(paths.relativePath(kFolderWithoutPathId), QStringLiteral("Folder1/Folder1.mbox"));
    QVERIFY(!paths.isRenamed(kFolderWithoutPathId));
}

void TestMailboxPaths::kindFoldersBesideMailFoldersOfTheirName()
{
    kindFolderCreator(QStringLiteral("Notes"), NotesFolderType);
    const qint64 notes = llParentIdRunning;
    const qint64 mailNotes = folder(QStringLiteral("Notes"));
    const qint64 tasksMail = folder(QStringLiteral("Tasks"));
    kindFolderCreator(QStringLiteral("Notes"), NotesFolderType);
    QCOMPARE(llParentIdRunning, notes);
    QVERIFY(mailNotes != notes);
    QCOMPARE(folderTypeOf(notes), NotesFolderType);
    QCOMPARE(folderTypeOf(mailNotes), MailFolderType);
    QCOMPARE(folderTypeOf(tasksMail), MailFolderType);
    QCOMPARE(folderIdsForPath(QStringLiteral("Notes")), (QVector<qint64>{notes, mailNotes}));
    QCOMPARE(MailboxPaths().relativePath(mailNotes), QStringLiteral("Notes/Notes.mbox"));
    buildFolderAttributeList();
    QCOMPARE(folderAttributeOf(mailNotes)->folderType, qint32(MailFolderType));
    QCOMPARE(folderAttributeOf(notes)->folderType, qint32(NotesFolderType));
}

// One entry name can make 20,000 nested folders. Kept whole for every folder, their
// paths took 1.3 GB (the sum of all path lengths); their names alone take little.
void TestMailboxPaths::deepFoldersCostMemoryByTheirNamesOnly()
{
    constexpr int kLevels = 20000;
    QStringList levels;
    for (int level = 0; level < kLevels; ++level)
        levels << QStringLiteral("f%1").arg(level % 10);
    const qint64 deepest = folder(levels.join(QLatin1Char('/')));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long before = usage.ru_maxrss;
    const MailboxPaths paths;
    getrusage(RUSAGE_SELF, &usage);
    QVERIFY2(usage.ru_maxrss - before < 200 * 1024, qPrintable(QStringLiteral("%1 KiB more").arg(usage.ru_maxrss - before)));
    QCOMPARE(paths.relativePath(deepest), levels.join(QLatin1Char('/')) + QStringLiteral("/f9.mbox"));
    QVERIFY(!paths.isRenamed(deepest));
}

QTEST_APPLESS_MAIN(TestMailboxPaths)
#include "test_mailboxpaths.moc"
