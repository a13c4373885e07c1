// The log window: buttons that follow the log, clearing, and saving to a text file.
#include "GuiTestSupport.h"

#include "log/QLogReport.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class LogReportTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyLogDisablesButtons();
    void clearingEmptiesAndDisables();
    void saveTwiceRecordsOnlyEarlierSaves();
    void cancelledSaveChangesNothing();
    void closeButtonHides();
    void windowResizesAndKeepsItsSize();

private:
    QTextEdit *logText() const { return m_log->findChild<QTextEdit *>(QStringLiteral("LogText")); }
    QPushButton *button(const char *name) const { return m_log->findChild<QPushButton *>(QLatin1String(name)); }

    QLogReport *m_log = nullptr;
    QTemporaryDir m_dir;
};

void LogReportTest::init()
{
    m_log = new QLogReport;
}

void LogReportTest::cleanup()
{
    delete m_log;
    m_log = nullptr;
}

void LogReportTest::emptyLogDisablesButtons()
{
    QVERIFY(!button("SaveLog")->isEnabled());
    QVERIFY(!button("ClearLog")->isEnabled());
    m_log->ShowReport();
    QVERIFY(m_log->isVisible());
    QVERIFY(!button("SaveLog")->isEnabled());
    QVERIFY(!button("ClearLog")->isEnabled());

    m_log->hide();
    logText()->setPlainText(QStringLiteral("Saved 3 mails."));
    m_log->ShowReport();
    QVERIFY(button("SaveLog")->isEnabled());
    QVERIFY(button("ClearLog")->isEnabled());
}

void LogReportTest::clearingEmptiesAndDisables()
{
    logText()->setPlainText(QStringLiteral("first\nsecond"));
    m_log->ShowReport();
    button("ClearLog")->click();
    QVERIFY(logText()->toPlainText().isEmpty());
    QVERIFY(!button("SaveLog")->isEnabled());
    QVERIFY(!button("ClearLog")->isEnabled());
}

void LogReportTest::saveTwiceRecordsOnlyEarlierSaves()
{
    const QString log = QStringLiteral("Mail folder \u201cInbox\u201d saved\nSecond line");
    logText()->setPlainText(log);
    m_log->ShowReport();
    const QString first = m_dir.filePath(QStringLiteral("first.txt"));
    const QString second = m_dir.filePath(QStringLiteral("second.txt"));
    {
        FileDialogAnswerer answerer(first);
        button("SaveLog")->click();
        QCOMPARE(answerer.answered, 1);
        QCOMPARE(answerer.lastTitle, QStringLiteral("Log Report to File"));
    }
    // The first file holds the log exactly, in UTF-8, without its own save record.
    QCOMPARE(fileBytes(first), log.toUtf8());
    const QString afterFirst = logText()->toPlainText();
    QVERIFY(afterFirst.startsWith(log));
    QVERIFY(afterFirst.contains(QStringLiteral("Log Report Saving Path :\n") + first));
    QVERIFY(afterFirst.contains(QStringLiteral(" Log Report Saving time :\n")));
    QVERIFY(afterFirst.endsWith(QString(63, QLatin1Char('*'))));
    QVERIFY(!afterFirst.contains(QString(64, QLatin1Char('*'))));

    {
        FileDialogAnswerer answerer(second);
        button("SaveLog")->click();
        QCOMPARE(answerer.answered, 1);
    }
    const QString secondFile = QString::fromUtf8(fileBytes(second));
    QCOMPARE(secondFile, afterFirst);
    QVERIFY(secondFile.contains(first));
    QVERIFY(!secondFile.contains(second));
    QCOMPARE(logText()->toPlainText().count(QStringLiteral("Log Report Saving Path :")), 2);
}

void LogReportTest::cancelledSaveChangesNothing()
{
    logText()->setPlainText(QStringLiteral("kept"));
    m_log->ShowReport();
    const QStringList filesBefore = QDir(m_dir.path()).entryList(QDir::Files);
    FileDialogAnswerer answerer{QString()};
    button("SaveLog")->click();
    QCOMPARE(answerer.answered, 1);
    QCOMPARE(logText()->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), filesBefore);
}

void LogReportTest::closeButtonHides()
{
    m_log->ShowReport();
    button("CloseButton")->click();
    QVERIFY(!m_log->isVisible());
}

// A long log needs room: the window grows, its text with it, and it opens again at
// the size it was left at.
void LogReportTest::windowResizesAndKeepsItsSize()
{
    m_log->ShowReport();
    QVERIFY(QTest::qWaitForWindowExposed(m_log));
    const QSize first = m_log->size();
    const int textWidth = logText()->width();
    const QSize larger = first + QSize(300, 200);
    m_log->resize(larger);
    QTRY_COMPARE(m_log->size(), larger);
    QCOMPARE(logText()->width(), textWidth + 300);
    button("CloseButton")->click();
    m_log->ShowReport();
    QCOMPARE(m_log->size(), larger);
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    LogReportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_logreport.moc"
