// Folder paths become ids under the root; the same path always yields the same id.
#include "olm/FolderHierarchy.h"

#include <QtTest>

class FolderHierarchyTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { resetFolderHierarchy(); llParentIdRunning = 0; }

    void pathsResolveToStableIds()
    {
        treeCreator("Inbox");
        QCOMPARE(llParentIdRunning, qint64(502));
        treeCreator("Inbox/Sub");
        QCOMPARE(llParentIdRunning, qint64(503));
        QCOMPARE(objMapFID_PID.value(503), qint64(502));
        treeCreator("Inbox");
        QCOMPARE(llParentIdRunning, qint64(502));
        QCOMPARE(PID, qint64(503));
    }

    void sameNameUnderTwoParentsGivesTwoFolders()
    {
        treeCreator("A/Inbox");
        const qint64 nested = llParentIdRunning;
        treeCreator("Inbox");
        const qint64 top = llParentIdRunning;
        QVERIFY(nested != top);
        QCOMPARE(objMapFID_PID.value(nested), qint64(502));
        QCOMPARE(objMapFID_PID.value(top), llRootId);
        qint64 found = -1;
        QVERIFY(GetParentId("Inbox", 502, &found));
        QCOMPARE(found, nested);
        QVERIFY(GetParentId("Inbox", llRootId, &found));
        QCOMPARE(found, top);
        found = -7;
        QVERIFY(!GetParentId("Inbox", 999, &found));
        QCOMPARE(found, qint64(-7)); // untouched when not found
    }

    void emptyComponentsAndEmptyPath()
    {
        treeCreator("/x");
        QCOMPARE(objMapFID_Name.value(502), QString(""));
        QCOMPARE(objMapFID_Name.value(503), QString("x"));
        llParentIdRunning = 1234;
        treeCreator("");
        QCOMPARE(llParentIdRunning, qint64(1234));
        QCOMPARE(PID, qint64(503));
    }

    void deepPathsOfOneNameResolveLevelByLevel()
    {
        QStringList components;
        for (int i = 0; i < 5000; ++i)
            components << "a";
        treeCreator(components.join('/'));
        QCOMPARE(PID, qint64(501 + 5000));
        for (qint64 id = 503; id <= PID; ++id)
            QCOMPARE(objMapFID_PID.value(id), id - 1);
        treeCreator(components.mid(0, 100).join('/'));
        QCOMPARE(llParentIdRunning, qint64(601));
        treeCreator(components.join('/') + "/b");
        QCOMPARE(objMapFID_PID.value(llParentIdRunning), qint64(5501));
        QCOMPARE(PID, qint64(5502));

        // A new scan forgets every folder: the same names are new folders again.
        resetFolderHierarchy();
        treeCreator("z");
        treeCreator("a");
        QCOMPARE(llParentIdRunning, qint64(503));
    }

    void newScanStartsAgainAt502()
    {
        treeCreator("One/Two");
        resetFolderHierarchy();
        QVERIFY(objMapFID_PID.isEmpty() && objMapName_FID.isEmpty() && objMapFID_Name.isEmpty());
        treeCreator("Three");
        QCOMPARE(llParentIdRunning, qint64(502));
        // The same path after a reset is a new folder, registered in every map again.
        treeCreator("One/Two");
        QCOMPARE(llParentIdRunning, qint64(504));
        QCOMPARE(objMapFID_Name.value(504), QString("Two"));
    }

    // Stores with the same folder names, met in mixed order: every path keeps one
    // id, and walking the parent map from that id spells the path again.
    void manyFoldersSharingNames()
    {
        QStringList paths;
        for (int store = 0; store < 6; ++store)
            for (const char *folder : {"Inbox", "Inbox/Projects", "Inbox/Projects/2010", "Sent Items", "Drafts"})
                paths << QStringLiteral("Store %1/%2").arg(store).arg(QLatin1String(folder));
        QHash<QString, qint64> ids;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < paths.size(); ++i) {
                const QString &path = paths.at((i * 7 + round) % paths.size());
                treeCreator(path);
                if (!ids.contains(path))
                    ids.insert(path, llParentIdRunning);
                QCOMPARE(llParentIdRunning, ids.value(path));
            }
        }
        QCOMPARE(ids.size(), paths.size());
        QCOMPARE(PID - llRootId, qint64(6 * (1 + 5))); // each store and its five folders, once
        for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
            QStringList spelled;
            for (qint64 id = it.value(); id != llRootId; id = objMapFID_PID.value(id))
                spelled.prepend(objMapFID_Name.value(id));
            QCOMPARE(spelled.join('/'), it.key());
        }
    }

    void attributeListAppendsAtTheTail()
    {
        appendFolderAttribute(0, 501, MailFolderType);
        appendFolderAttribute(501, 502, ContactsFolderType);
        FolderAttribute *last = appendFolderAttribute(501, kFolderWithoutPathId, MailFolderType);
        QCOMPARE(EndFldrAtrib, last);
        QList<qint64> ids;
        for (FolderAttribute *a = StartFldrAtrib; a; a = a->next) {
            ids << qint64(a->folderId);
            QCOMPARE(a->state, quint8(UncheckedCode));
        }
        QCOMPARE(ids, (QList<qint64>{501, 502, 4294967294LL}));
        freeFolderAttributes();
        QVERIFY(!StartFldrAtrib && !EndFldrAtrib);
    }
};

QTEST_GUILESS_MAIN(FolderHierarchyTest)
#include "test_folderhierarchy.moc"
