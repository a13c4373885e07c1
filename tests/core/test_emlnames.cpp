// The names of .eml files made from hostile subjects, and their uniqueness on disk.
#include "archive/EmlFiles.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

namespace {

struct Mail {
    explicit Mail(const QString &subject)
    {
        memset(&record, 0, sizeof record);
        const QByteArray bytes = subject.toUtf8();
        Q_ASSERT(bytes.size() < int(sizeof record.Subject));
        memcpy(record.Subject, bytes.constData(), size_t(bytes.size()));
        const QByteArray date = "Wed, 12 May 2010 20:07:00 +0530";
        memcpy(record.SentTime, date.constData(), size_t(date.size()));
        record.IsOutgoing = 1;
    }
    MailMLRC record;
};

} // namespace

class EmlNames : public QObject
{
    Q_OBJECT

private slots:
    void hostileSubjects_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("expected"); // the name after the date; empty: the subject's start
        QTest::newRow("plain") << "Lunch on Friday?" << "Lunch on Friday?";
        QTest::newRow("line breaks") << "a\r\nBcc: x@evil.example\rb\nc" << "a Bcc_ x@evil.example b c";
        QTest::newRow("path") << "../../etc/passwd" << ".._.._etc_passwd";
        QTest::newRow("dot") << "." << "(no subject)";
        QTest::newRow("dots") << ".." << "(no subject)";
        QTest::newRow("empty") << "" << "(no subject)";
        QTest::newRow("blank") << " \t " << "(no subject)";
        QTest::newRow("backslash and colon") << "C:\\Windows" << "C__Windows";
        QTest::newRow("bidi override") << QString::fromUtf8("invoice\u202Egpj.exe") << "invoice_gpj.exe";
        QTest::newRow("zero width") << QString::fromUtf8("a\u200Bb") << "a_b";
        QTest::newRow("C1 control") << QString::fromUtf8("a\u0085b") << "a_b";
        QTest::newRow("long Japanese") << QString(300, QChar(0x4F1A)) << QString();
        QTest::newRow("emoji at the cut") << QString(QStringLiteral("a")).repeated(2) + QString::fromUtf8("😀").repeated(100)
                                          << QString();
    }
    void hostileSubjects()
    {
        QFETCH(QString, subject);
        QFETCH(QString, expected);
        const QString name = emlBaseName(Mail(subject).record);
        QVERIFY2(name.startsWith(QLatin1String("2010-05-12 2007 - ")), qPrintable(name));
        // With the longest suffix a save adds, the name fits in the 255 bytes of a file name.
        QVERIFY((name + QStringLiteral(" (99999).eml")).toUtf8().size() <= 255);
        // Never cut inside a character: the UTF-8 reads back as the same text.
        QCOMPARE(QString::fromUtf8(name.toUtf8()), name);
        const QString rest = name.mid(18);
        if (!expected.isEmpty())
            QCOMPARE(rest, expected);
        else
            QVERIFY2(subject.startsWith(rest) && rest.size() > 40, qPrintable(rest));
    }

    // Two mails of one name, a file already there and names that differ only in case
    // all end up in files of their own; nothing is written over.
    void namesAreUnique()
    {
        QTemporaryDir directory;
        const QString folder = directory.path() + QStringLiteral("/Mail/Inbox");
        QVERIFY(QDir().mkpath(folder));
        QFile existing(folder + QStringLiteral("/2010-05-12 2007 - Hi.eml"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("mine");
        existing.close();
        OutputDirectory output;
        QString error;
        QVERIFY2(output.open(directory.path(), &error), qPrintable(error));
        EmlFiles files(output);
        const ByteArrayTextReader olm{QByteArray()};
        for (const char *subject : {"Hi", "Hi", "HI", "hi"}) {
            QStringList problems;
            QString reason;
            QVERIFY2(files.addMail(Mail(QLatin1String(subject)).record, QStringLiteral("Inbox"), olm, &problems, &reason),
                     qPrintable(reason));
        }
        QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
        // The file that was there keeps the first name; case does not tell names apart.
        QCOMPARE(names, QStringList({"2010-05-12 2007 - HI (4).eml", "2010-05-12 2007 - Hi (2).eml",
                                     "2010-05-12 2007 - Hi (3).eml", "2010-05-12 2007 - Hi.eml",
                                     "2010-05-12 2007 - hi (5).eml"}));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("mine"));
        QFile written(folder + QStringLiteral("/2010-05-12 2007 - Hi (2).eml"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("Subject: Hi\n"));
    }
};

QTEST_GUILESS_MAIN(EmlNames)
#include "test_emlnames.moc"
