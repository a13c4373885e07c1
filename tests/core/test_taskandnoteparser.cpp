#include "ParserTestSupport.h"
#include "olm/FolderHierarchy.h"
#include "scan/ScanSession.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"

#include <QtTest>

namespace {
QByteArray task(const QByteArray &elements) { return element("task", elements); }

QByteArray tasksDocument(const QByteArray &tasks) { return rootElement("tasks", tasks); }

QByteArray note(const QByteArray &elements) { return element("note", elements); }

QByteArray notesDocument(const QByteArray &notes) { return rootElement("notes", notes); }

void parseTasks(const QByteArray &document, qint64 documentEnd)
{
    withDocument(document, [=] { FolderInformation().InitializeTSRC(documentEnd); });
}

void parseNotes(const QByteArray &document, qint64 documentEnd)
{
    withDocument(document, [=] { FolderInformation().InitializeNTRC(documentEnd); });
}

const TasksInformation &parseTask(const QByteArray &elements)
{
    parseTasks(tasksDocument(task(elements)), 3000);
    return requireRecord(TmpTSRCPtrStart, "task");
}

const NotesInformation &parseNote(const QByteArray &elements)
{
    parseNotes(notesDocument(note(elements)), 3000);
    return requireRecord(TmpNTRCPtrStart, "note");
}
} // namespace

class TestTaskAndNoteParser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { useZone("UTC"); }
    void cleanup() { CleanListAndHash(); }

    void splitsTasks();
    void taskName_data();
    void taskName();
    void taskDates_data();
    void taskDates();
    void taskPriority_data();
    void taskPriority();
    void taskNoteLeftInFile();

    void splitsNotes();
    void noteTitle_data();
    void noteTitle();
    void noteTextLeftInFile();
    void noteBaseOffset();
};

void TestTaskAndNoteParser::splitsTasks()
{
    parseTasks(tasksDocument(task(element("OPFTaskCopyName", "First")) + task(element("OPFTaskCopyName", "Second"))),
               500);
    QCOMPARE(TaskItemCount, qint64(2));
    QCOMPARE(QByteArray(TmpTSRCPtrStart->Name), QByteArray("First"));
    QCOMPARE(QByteArray(TmpTSRCPtrEnd->Name), QByteArray("Second"));
    QCOMPARE(TmpTSRCPtrStart->Next, TmpTSRCPtrEnd);
    QVERIFY(!TmpTSRCPtrEnd->Next);
    QVERIFY(isItemIdentifier(TmpTSRCPtrStart->Identifier));
    QVERIFY(isItemIdentifier(TmpTSRCPtrEnd->Identifier));
    QVERIFY(QByteArray(TmpTSRCPtrStart->Identifier) != QByteArray(TmpTSRCPtrEnd->Identifier));
    QVERIFY(objMapName_FID.contains(QStringLiteral("Tasks")));

    parseTasks("<tasks><task><OPFTaskCopyName xml:space=\"preserve\">x</OPFTaskCopyName>", 900);
    QCOMPARE(TaskItemCount, qint64(2));
}

void TestTaskAndNoteParser::taskName_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("entities and line break") << QByteArray("Buy milk &amp; eggs\nand bread")
                                             << QByteArray("Buy milk & eggs and bread");
    QTest::newRow("carriage return and line feed") << QByteArray("a\r\nb\rc") << QByteArray("a  b c");
    QTest::newRow("greater-than kept") << QByteArray("&lt;x&gt; &amp;lt; &amp;nbsp;") << QByteArray("<x&gt; &lt;  ");
    QTest::newRow("trimmed") << QByteArray("\n  Call Bob  \n") << QByteArray("Call Bob");
    QTest::newRow("255") << QByteArray(255, 'n') << QByteArray(255, 'n');
    QTest::newRow("256") << QByteArray(256, 'n') << QByteArray();
    QTest::newRow("shorter after decoding") << QByteArray(250, 'n') + "&amp;" << QByteArray(250, 'n') + "&";
    QTest::newRow("UTF-8") << QByteArray("\xe7\x89\x9b\xe4\xb9\xb3") << QByteArray("\xe7\x89\x9b\xe4\xb9\xb3");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestTaskAndNoteParser::taskName()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    const TasksInformation &record = parseTask(element("OPFTaskCopyName", value));
    QCOMPARE(QByteArray(record.Name), stored);
}

void TestTaskAndNoteParser::taskDates_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<QByteArray>("display");
    QTest::newRow("regular") << QByteArray("2010-05-12T14:30:00") << QByteArray("20100512T143000")
                             << QByteArray("2010,May,12, 14:30:00");
    QTest::newRow("month 13") << QByteArray("2010-13-01T10:00:00") << QByteArray("19700101T100000")
                              << QByteArray("1970,Jan,01, 10:00:00");
    QTest::newRow("seconds 45Z") << QByteArray("2010-05-12T14:30:45Z") << QByteArray("20100512T143000")
                                 << QByteArray("2010,May,12, 14:30:00");
    QTest::newRow("without T") << QByteArray("2010-05-12") << QByteArray("20100512T000000")
                               << QByteArray("2010,May,12, 00:00:00");
    QTest::newRow("empty") << QByteArray("\t") << QByteArray() << QByteArray();
}

void TestTaskAndNoteParser::taskDates()
{
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, stamp);
    QFETCH(QByteArray, display);
    const TasksInformation &record = parseTask(element("OPFTaskCopyModDate", "2001-01-01T00:00:00")
                                               + element("OPFTaskCopyStartDateTime", date)
                                               + element("OPFTaskCopyDueDateTime", date)
                                               + element("OPFTaskCopyReminderTime", date));
    QCOMPARE(QByteArray(record.StartStamp), stamp);
    QCOMPARE(QByteArray(record.StartDisplay), display);
    QCOMPARE(QByteArray(record.DueStamp), stamp);
    QCOMPARE(QByteArray(record.DueDisplay), display);
    QCOMPARE(QByteArray(record.ReminderStamp), stamp);
    // The writers' UTC stamps (the machine is in UTC here).
    QCOMPARE(QByteArray(record.ReminderStampUtc), stamp);
    QCOMPARE(QByteArray(record.ModStampUtc), QByteArray("20010101T000000"));
}

void TestTaskAndNoteParser::taskPriority_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("high") << QByteArray("2") << QByteArray("2");
    QTest::newRow("trimmed") << QByteArray(" 4\n") << QByteArray("4");
    QTest::newRow("four characters") << QByteArray("1234") << QByteArray("1234");
    QTest::newRow("five characters") << QByteArray("12345") << QByteArray();
    QTest::newRow("Latin-1") << QByteArray("h\xc3\xb6h") << QByteArray("h\xf6h");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestTaskAndNoteParser::taskPriority()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    const TasksInformation &record = parseTask(element("OPFTaskGetPriority", value));
    QCOMPARE(QByteArray(record.Priority), stored);
    // The readers compare the whole field: the bytes after the text stay zero.
    for (int i = stored.size(); i < int(sizeof record.Priority); ++i)
        QCOMPARE(int(record.Priority[i]), 0);
}

void TestTaskAndNoteParser::taskNoteLeftInFile()
{
    // The plain note stands first: the note's own start tag starts the cut.
    const QByteArray text = "Remember the &amp; sign\n\xfe";
    const QByteArray first = task(element("OPFTaskCopyNotePlain", "plain text") + element("OPFTaskCopyNote", text));
    const QByteArray second = task(element("OPFTaskCopyNote", text) + element("OPFTaskCopyNotePlain", "plain"));
    const QByteArray third = task(element("OPFTaskCopyNote", "   ") + element("OPFTaskCopyName", "blank"));
    const QByteArray fourth = task(element("OPFTaskCopyNotePlain", "only plain"));
    const QByteArray fifth = task("</OPFTaskCopyNote><OPFTaskCopyNote xml:space=\"preserve\">x");
    const QByteArray sixth = task("<OPFTaskCopyNote");
    const QByteArray document = tasksDocument(first + second + third + fourth + fifth + sixth);
    const QByteArray file = QByteArray(4096, '\x01') + document;
    parseTasks(document, file.size());
    QCOMPARE(TaskItemCount, qint64(6));
    const TasksInformation *record = TmpTSRCPtrStart;
    QCOMPARE(file.mid(int(record->NoteOffset), int(record->NoteSize)), text);
    QCOMPARE(file.mid(int(record->NotePlainOffset), int(record->NotePlainSize)), QByteArray("plain text"));
    record = record->Next;
    QCOMPARE(file.mid(int(record->NoteOffset), int(record->NoteSize)), text);
    QCOMPARE(file.mid(int(record->NotePlainOffset), int(record->NotePlainSize)), QByteArray("plain"));
    const QByteArray plainOnly = "only plain";
    for (record = record->Next; record; record = record->Next) {
        QCOMPARE(qint64(record->NoteSize), qint64(0));
        QCOMPARE(qint64(record->NoteOffset), qint64(0));
        QCOMPARE(file.mid(int(record->NotePlainOffset), int(record->NotePlainSize)),
                 record == TmpTSRCPtrStart->Next->Next->Next ? plainOnly : QByteArray());
    }
    QCOMPARE(QByteArray(TmpTSRCPtrStart->Next->Next->Name), QByteArray("blank"));
}

void TestTaskAndNoteParser::splitsNotes()
{
    parseNotes(notesDocument(note(element("OPFNoteCopyTitle", "One")) + note(element("OPFNoteCopyTitle", "Two"))),
               700);
    QCOMPARE(NotesItemCount, qint64(2));
    QCOMPARE(QByteArray(TmpNTRCPtrStart->Title), QByteArray("One"));
    QCOMPARE(QByteArray(TmpNTRCPtrEnd->Title), QByteArray("Two"));
    QVERIFY(!TmpNTRCPtrEnd->Next);
    QVERIFY(isItemIdentifier(TmpNTRCPtrStart->Identifier));
    QVERIFY(QByteArray(TmpNTRCPtrStart->Identifier) != QByteArray(TmpNTRCPtrEnd->Identifier));
    QVERIFY(objMapName_FID.contains(QStringLiteral("Notes")));

    parseNotes("<notes><note>", 800);
    parseNotes(notesDocument(note(QByteArray())), 900);
    QCOMPARE(NotesItemCount, qint64(3));
    QCOMPARE(QByteArray(TmpNTRCPtrEnd->Title), QByteArray());
}

void TestTaskAndNoteParser::noteTitle_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("double escaped") << QByteArray("Tom &amp;amp; Jerry") << QByteArray("Tom &amp; Jerry");
    QTest::newRow("greater-than kept") << QByteArray("&lt;b&gt;") << QByteArray("<b&gt;");
    QTest::newRow("255") << QByteArray(255, 't') << QByteArray(255, 't');
    QTest::newRow("256") << QByteArray(256, 't') << QByteArray();
    QTest::newRow("256 decoding to 252") << QByteArray(251, 't') + "&amp;" << QByteArray(251, 't') + "&";
    QTest::newRow("white space") << QByteArray(" \n ") << QByteArray();
}

void TestTaskAndNoteParser::noteTitle()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, stored);
    const NotesInformation &record = parseNote(element("OPFNoteCopyTitle", value));
    QCOMPARE(QByteArray(record.Title), stored);
}

void TestTaskAndNoteParser::noteTextLeftInFile()
{
    const QByteArray text = "<html><body>caf\xc3\xa9 &amp; cr\xe8me</body></html>";
    const QByteArray first = note(element("OPFNoteCopyNonHTMLText", "caf\xc3\xa9") + element("OPFNoteCopyText", text)
                                  + element("OPFNoteCopyTitle", "Recipe")
                                  + element("OPFNoteCopyModDate", "2011-03-14T10:22:05"));
    const QByteArray second = note(element("OPFNoteCopyText", " \r\n "));
    const QByteArray third = note("<OPFNoteCopyText xml:space=\"preserve\">never closed");
    const QByteArray fourth = note("<OPFNoteCopyText>x</OPFNoteCopyText>");
    // Text after the container end tag is not the end tag the old rule assumed; positions stay right.
    const QByteArray document = notesDocument(first + second + third + fourth) + "\n\n";
    const QByteArray file = QByteArray(99, 'q') + document + "PK\x01\x02";
    parseNotes(document, 99 + document.size());
    QCOMPARE(NotesItemCount, qint64(4));
    const NotesInformation *record = TmpNTRCPtrStart;
    QCOMPARE(file.mid(int(record->NotesOffset), int(record->NotesSize)), text);
    QCOMPARE(QByteArray(record->Title), QByteArray("Recipe"));
    QCOMPARE(file.mid(int(record->PlainTextOffset), int(record->PlainTextSize)), QByteArray("caf\xc3\xa9"));
    QCOMPARE(QByteArray(record->ModStampUtc), QByteArray("20110314T102205"));
    for (record = record->Next; record; record = record->Next) {
        QCOMPARE(qint64(record->NotesSize), qint64(0));
        QCOMPARE(qint64(record->NotesOffset), qint64(0));
        QCOMPARE(qint64(record->PlainTextSize), qint64(0));
        QCOMPARE(QByteArray(record->ModStampUtc), QByteArray());
    }
}

void TestTaskAndNoteParser::noteBaseOffset()
{
    // One item of B bytes (the first item starts with the container's start tag) whose
    // "</note>" is directly followed by "</notes>": the base offset is N - 15 - B, and
    // the text starting at s in the item lies at base + s + 38.
    const QByteArray itemBytes = "<notes><note>" + element("OPFNoteCopyTitle", "T") + element("OPFNoteCopyText", "body");
    const QByteArray document = itemBytes + "</note></notes>";
    const qint64 s = itemBytes.indexOf("<OPFNoteCopyText");
    const qint64 documentEnds[] = {qint64(document.size()), 70000, (qint64(3) << 31) + 17};
    for (qint64 n : documentEnds) {
        parseNotes(document, n);
        QCOMPARE(qint64(TmpNTRCPtrEnd->NotesOffset), n - 15 - itemBytes.size() + s + 38);
        QCOMPARE(qint64(TmpNTRCPtrEnd->NotesSize), qint64(4));
    }
}

QTEST_APPLESS_MAIN(TestTaskAndNoteParser)
#include "test_taskandnoteparser.moc"
