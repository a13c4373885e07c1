// Every writer of every format with its writes failing one at a time: the failed item
// is named with the system's reason and left out whole, the others are written, and
// the save never looks like a success.
#include "archive/BundleLayout.h"
#include "archive/OutputFile.h"
#include "archive/SaveBundle.h"
#include "olm/FolderModel.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>

namespace {
template <int Width> void put(char (&field)[Width], const QByteArray &text) { qstrncpy(field, text.constData(), Width); }

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray identifier(int kind, int number)
{
    return QByteArray::number(kind * 100 + number).rightJustified(32, '0');
}

constexpr int kMails = 3, kOthers = 2;

// Mails in Inbox, the first with a body of several megabytes so that it takes many
// writes; two items of each other kind.
QByteArray fillRecords()
{
    QByteArray olm;
    treeCreator(QStringLiteral("Inbox"));
    for (int i = 0; i < kMails; ++i) {
        MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
        put(mail->FolderPath, "Inbox");
        put(mail->MessageId, "<m" + QByteArray::number(i) + "@x>");
        put(mail->Subject, "Mail " + QByteArray::number(i));
        put(mail->ReceivedTime, "Wed, 12 May 2010 20:00:00 +0000");
        mail->ParentId = llParentIdRunning;
        QByteArray body = "start of body " + QByteArray::number(i) + "\n";
        if (i == 0) {
            for (int line = 0; line < 50000; ++line)
                body += "a line of the long body\n";
        }
        body += "end of body " + QByteArray::number(i) + "\n";
        mail->BodyOffset = olm.size();
        mail->BodySize = body.size();
        olm += body;
    }
    for (int i = 0; i < kOthers; ++i) {
        ContactInformation *contact = appendRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount);
        put(contact->Identifier, identifier(1, i));
        put(contact->FirstName, "Ann" + QByteArray::number(i));
        CalenderInformation *event = appendRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount);
        put(event->Identifier, identifier(2, i));
        put(event->Summary, "Event " + QByteArray::number(i));
        put(event->StartUtc, "20100512T200000Z");
        put(event->EndUtc, "20100512T210000Z");
        TasksInformation *task = appendRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount);
        put(task->Identifier, identifier(3, i));
        put(task->Name, "Task " + QByteArray::number(i));
        NotesInformation *note = appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
        put(note->Identifier, identifier(4, i));
        put(note->Title, "Note " + QByteArray::number(i));
    }
    finishScan();
    return olm;
}

QVector<SaveFolder> everyKind()
{
    return {{folderIdForPath(QStringLiteral("Inbox")), 0}, {1, ContactsFolderType}, {2, CalendarFolderType},
            {3, TasksFolderType}, {4, NotesFolderType}};
}

const char *const kItemWords[kItemKindCount] = {"mail ", "contact ", "calendar event ", "task ", "note "};

// The items of each kind the output holds whole, and whether it holds anything else.
struct Output {
    std::array<qint64, kItemKindCount> whole{};
    QStringList broken;
};

qint64 countOf(const QByteArray &bytes, const QByteArray &what) { return bytes.count(what); }

void countMails(const QByteArray &mbox, Output *output)
{
    for (int i = 0; i < kMails; ++i) {
        const bool start = mbox.contains("start of body " + QByteArray::number(i));
        const bool end = mbox.contains("end of body " + QByteArray::number(i));
        if (start != end)
            output->broken << QStringLiteral("mail %1 is cut").arg(i);
        output->whole[size_t(ItemKind::Mail)] += start && end;
    }
    // No trace of a message without its end: the file ends where a message ends.
    if (!mbox.isEmpty() && !mbox.endsWith('\n') && !mbox.endsWith('\r'))
        output->broken << QStringLiteral("the mbox ends inside a message");
}

void countComponents(const QByteArray &bytes, const char *name, ItemKind kind, Output *output)
{
    // The bundle's cards are written in lower case.
    const QByteArray upper = bytes.toUpper();
    const qint64 begins = countOf(upper, QByteArray("BEGIN:") + name), ends = countOf(upper, QByteArray("END:") + name);
    if (begins != ends)
        output->broken << QStringLiteral("%1 BEGIN:%2 for %3 END").arg(begins).arg(QLatin1String(name)).arg(ends);
    output->whole[size_t(kind)] += ends;
}

Output bundleOutput(const QString &bundle)
{
    Output output;
    countMails(fileBytes(bundle + QStringLiteral("/Mail/Inbox/Inbox.mbox")), &output);
    const struct {
        const char *directory, *component;
        ItemKind kind;
    } kinds[] = {{kContactsDirectory, "VCARD", ItemKind::Contact}, {kCalendarDirectory, "VEVENT", ItemKind::Event},
                 {kTasksDirectory, "VTODO", ItemKind::Task}, {kNotesDirectory, "VJOURNAL", ItemKind::Note}};
    for (const auto &kind : kinds) {
        const QDir directory(bundle + QLatin1Char('/') + QLatin1String(kind.directory));
        for (const QString &name : directory.entryList(QDir::Files)) {
            const QByteArray bytes = fileBytes(directory.filePath(name));
            Output one;
            countComponents(bytes, kind.component, kind.kind, &one);
            if (one.whole[size_t(kind.kind)] != 1 || !one.broken.isEmpty())
                output.broken << directory.filePath(name) + QStringLiteral(" is not one whole item");
            ++output.whole[size_t(kind.kind)];
        }
    }
    return output;
}

Output standardOutput(const QString &directory)
{
    Output output;
    countMails(fileBytes(directory + QStringLiteral("/Mail/Inbox/Inbox.mbox")), &output);
    countComponents(fileBytes(directory + QStringLiteral("/Contacts.vcf")), "VCARD", ItemKind::Contact, &output);
    const QByteArray calendar = fileBytes(directory + QStringLiteral("/Calendar.ics"));
    countComponents(calendar, "VEVENT", ItemKind::Event, &output);
    countComponents(calendar, "VTODO", ItemKind::Task, &output);
    countComponents(calendar, "VJOURNAL", ItemKind::Note, &output);
    if (!calendar.isEmpty() && (countOf(calendar, "BEGIN:VCALENDAR") != 1 || !calendar.endsWith("END:VCALENDAR\r\n")))
        output.broken << QStringLiteral("Calendar.ics is not one whole calendar");
    return output;
}
// The standard files, with the mails in files of their own (pattern) instead of the
// mbox; each file must be whole.
Output filesOutput(const QString &directory, const QString &pattern, bool (*whole)(const QByteArray &))
{
    Output output = standardOutput(directory);
    const QDir inbox(directory + QStringLiteral("/Mail/Inbox"));
    QByteArray mails;
    for (const QString &name : inbox.entryList({pattern}, QDir::Files)) {
        const QByteArray bytes = fileBytes(inbox.filePath(name));
        if (!whole(bytes))
            output.broken << name + QStringLiteral(" is not whole");
        mails += bytes;
    }
    countMails(mails, &output);
    return output;
}
Output emlOutput(const QString &directory)
{
    return filesOutput(directory, QStringLiteral("*.eml"), [](const QByteArray &bytes) {
        return bytes.contains("end of body");
    });
}

// Pages as plain text, so that a document's mails can be read back. Like a PDF writer
// it goes on writing after a write failed: the files must notice.
class TextPrinter : public MailPrinter
{
public:
    void begin(QIODevice *out, const QString &, const QVector<PrintedFile> &) override
    {
        m_out = out;
        m_out->write("%PDF-text\n");
    }
    void addMail(const PrintedMail &mail) override { m_out->write(mail.body.toUtf8()); }
    void finish() override { m_out->write("%%EOF\n"); }

private:
    QIODevice *m_out = nullptr;
};

Output pdfOutput(const QString &directory)
{
    return filesOutput(directory, QStringLiteral("*.pdf"), [](const QByteArray &bytes) {
        return bytes.startsWith("%PDF-text\n") && bytes.endsWith("%%EOF\n");
    });
}
} // namespace

class TestWriteFailures : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        failOutputWrite(0, 0);
        CleanListAndHash();
    }

    void everyWriteOfEveryWriterMayFail_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<qint64>("partialBytes");
        const char *const names[] = {"bundle", "standard", "eml", "pdf"};
        for (BundleFormat format : {BundleFormat::Entourage, BundleFormat::Standard, BundleFormat::Eml, BundleFormat::Pdf}) {
            const char *name = names[int(format)];
            QTest::addRow("%s, disk full after some bytes", name) << int(format) << ENOSPC << qint64(7);
            QTest::addRow("%s, input/output error", name) << int(format) << EIO << qint64(0);
        }
    }

    void everyWriteOfEveryWriterMayFail()
    {
        QFETCH(int, format);
        QFETCH(int, errorNumber);
        QFETCH(qint64, partialBytes);
        const QByteArray olmBytes = fillRecords();
        const ByteArrayTextReader olm(olmBytes);
        const QString reason = QString::fromLocal8Bit(strerror(errorNumber));
        const qint64 total = kMails + 4 * kOthers;

        int failures = 0;
        for (qint64 nth = 1;; ++nth) {
            QTemporaryDir tmp;
            SaveRequest request{tmp.path(), everyKind(), &olm, BundleFormat(format)};
            TextPrinter printer;
            request.printer = &printer;
            if (request.format == BundleFormat::Entourage)
                QVERIFY(CreateMailFolder(tmp.path()));
            failOutputWrite(nth, errorNumber, partialBytes);
            const SaveReport report = saveBundle(request, SaveHooks());
            const bool failed = outputFailureHappened();
            failOutputWrite(0, 0);
            const Output output = request.format == BundleFormat::Entourage ? bundleOutput(tmp.path())
                                  : request.format == BundleFormat::Eml     ? emlOutput(tmp.path())
                                  : request.format == BundleFormat::Pdf     ? pdfOutput(tmp.path())
                                                                             : standardOutput(tmp.path());
            const QByteArray where = "write " + QByteArray::number(nth);
            QVERIFY2(output.broken.isEmpty(), qPrintable(where + ": " + output.broken.join(QStringLiteral("; "))));
            // What the report counts as written is what the output holds whole.
            for (int kind = 0; kind < kItemKindCount; ++kind)
                QVERIFY2(report.written[size_t(kind)] == output.whole[size_t(kind)], where.constData());
            if (!failed) {
                QCOMPARE(report.notWritten.size(), 0);
                QCOMPARE(report.writtenTotal(), total);
                break;
            }
            ++failures;
            // One failed write costs one item, named with the reason.
            QVERIFY2(report.notWritten.size() == 1, where.constData());
            const QString line = report.notWritten.first().line();
            QVERIFY2(line.contains(reason), qPrintable(line));
            if (line.startsWith(QLatin1String("the rescue report"))) { // the standard files' last write
                QCOMPARE(report.writtenTotal(), total);
                continue;
            }
            QCOMPARE(report.writtenTotal(), total - 1);
            int kind = 0;
            while (kind < kItemKindCount && !line.startsWith(QLatin1String(kItemWords[kind])))
                ++kind;
            QVERIFY2(kind < kItemKindCount, qPrintable(line));
            QCOMPARE(report.written[size_t(kind)], qint64(kind == int(ItemKind::Mail) ? kMails : kOthers) - 1);
        }
        // Every item took a write of its own, the long mail more than one.
        QVERIFY2(failures > total, qPrintable(QString::number(failures)));
    }

    // A folder's one PDF document is written whole or not at all: a failed write costs
    // every mail in it, each named with the reason.
    void folderDocumentIsWholeOrGone()
    {
        const QByteArray olmBytes = fillRecords();
        const ByteArrayTextReader olm(olmBytes);
        for (qint64 nth = 1; nth <= 2; ++nth) {
            QTemporaryDir tmp;
            TextPrinter printer;
            SaveRequest request{tmp.path(), {everyKind().first()}, &olm, BundleFormat::Pdf};
            request.printer = &printer;
            request.pdfPerFolder = true;
            failOutputWrite(nth, ENOSPC);
            const SaveReport report = saveBundle(request, SaveHooks());
            QVERIFY(outputFailureHappened());
            failOutputWrite(0, 0);
            const Output output = pdfOutput(tmp.path());
            QVERIFY(output.broken.isEmpty());
            QCOMPARE(output.whole[size_t(ItemKind::Mail)], 0);
            QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("Mail/Inbox/Inbox.pdf"))));
            QCOMPARE(report.written[size_t(ItemKind::Mail)], 0);
            QCOMPARE(report.notWritten.size(), kMails);
            for (const UnwrittenItem &unwritten : report.notWritten)
                QVERIFY(unwritten.line().contains(QString::fromLocal8Bit(strerror(ENOSPC))));
        }
        QTemporaryDir tmp;
        TextPrinter printer;
        SaveRequest request{tmp.path(), {everyKind().first()}, &olm, BundleFormat::Pdf};
        request.printer = &printer;
        request.pdfPerFolder = true;
        const SaveReport report = saveBundle(request, SaveHooks());
        QCOMPARE(report.written[size_t(ItemKind::Mail)], kMails);
        QCOMPARE(pdfOutput(tmp.path()).whole[size_t(ItemKind::Mail)], kMails);
        QVERIFY(QFileInfo::exists(tmp.filePath(QStringLiteral("Mail/Inbox/Inbox.pdf"))));
    }

    void descriptorFilesSayWhichFailed()
    {
        for (qint64 nth = 1; nth <= 3; ++nth) {
            QTemporaryDir tmp;
            const QString bundle = tmp.filePath(QStringLiteral("Main Identity.rge"));
            failOutputWrite(nth, ENOSPC);
            QString error;
            QVERIFY(!CreateMailFolder(bundle, &error));
            QVERIFY(outputFailureHappened());
            const char *const names[] = {"Contents/PkgInfo", "Contents/Info.plist", "Archive.xml"};
            QCOMPARE(error, QStringLiteral("cannot write %1/%2: %3")
                                .arg(bundle, QLatin1String(names[nth - 1]), QString::fromLocal8Bit(strerror(ENOSPC))));
        }
    }
};

QTEST_GUILESS_MAIN(TestWriteFailures)
#include "test_writefailures.moc"
