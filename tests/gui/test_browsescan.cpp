// The browse window: choosing a file, running a scan to its end, stopping it,
// refusing files, building the folder tree; and the web view's restrictions.
#include "GuiTestSupport.h"
#include "../core/OlmBuilder.h"

#include "app/AppState.h"
#include "app/InformationDlg.h"
#include "app/MyButton.h"
#include "app/QEntourageMainWindow.h"
#include "app/QProgressInfo.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "log/QLogReport.h"
#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebView>
#include <QtEndian>
#include <QTextBrowser>
#include <QtTest>
#include <memory>

namespace {
// A local header as real exports write it: version 45, stored, 32-bit sizes
// FF FF FF FF and the 20-byte Zip64 record with the real sizes.
QByteArray entry(const QByteArray &name, const QByteArray &data, quint32 crc = 0x1234ABCD)
{
    QByteArray header(30, '\0');
    char *h = header.data();
    qToLittleEndian<quint32>(0x04034B50, h);
    qToLittleEndian<quint16>(45, h + 4);
    qToLittleEndian<quint16>(0x0800, h + 6);
    qToLittleEndian<quint32>(crc, h + 14);
    qToLittleEndian<quint32>(0xFFFFFFFF, h + 18);
    qToLittleEndian<quint32>(0xFFFFFFFF, h + 22);
    qToLittleEndian<quint16>(quint16(name.size()), h + 26);
    qToLittleEndian<quint16>(20, h + 28);
    QByteArray extra(20, '\0');
    qToLittleEndian<quint16>(1, extra.data());
    qToLittleEndian<quint16>(16, extra.data() + 2);
    qToLittleEndian<quint64>(quint64(data.size()), extra.data() + 4);
    qToLittleEndian<quint64>(quint64(data.size()), extra.data() + 12);
    return header + name + extra + data;
}

QByteArray element(const char *name, const QByteArray &value)
{
    return QByteArray("<") + name + " xml:space=\"preserve\">" + value + "</" + name + ">";
}

QByteArray notesDocument()
{
    return "<notes xml:space=\"preserve\" elementCount=\"1\"><note xml:space=\"preserve\">"
           + element("OPFNoteCopyTitle", "Shopping") + element("OPFNoteCopyText", "Milk &amp;amp; bread")
           + "</note></notes>";
}

QByteArray mailDocument()
{
    return "<emails xml:space=\"preserve\" elementCount=\"1\"><email xml:space=\"preserve\">"
           + element("OPFMessageCopySubject", "Hello") + "</email></emails>";
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(20, 20).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage resourceImage(const char *path)
{
    return QIcon(QLatin1String(path)).pixmap(20, 20).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QTreeWidgetItem *findFolder(QTreeWidget *tree, const QString &name)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

int folderRecordCount()
{
    int count = 0;
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next)
        ++count;
    return count;
}

FolderAttribute *folderRecord(qint64 id)
{
    for (FolderAttribute *record = StartFldrAtrib; record; record = record->next) {
        if (record->folderId == id)
            return record;
    }
    return nullptr;
}
} // namespace

class BrowseScanTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void choosingAFileEnablesStart();
    void fileDialogChoosesTheFile();
    void typedPathStartsWithReturn();
    void searchFindsWhatAPersonRemembers();
    void contactPreviewLeavesOutTheProgramsFlags();
    void refusedFiles_data();
    void refusedFiles();
    void scanRunsToItsEnd();
    void damagedScanShowsItsLosses();
    void scanFindingNothingSaysSo();
    void stoppedScanKeepsWhatItFound();
    void treeOfSpecialFolders();
    void mailFolderNamedLikeAKind();
    void rebuildingReplacesTreeAndRecords();
    void folderWithoutKnownParentHangsUnderTheRoot();
    void deepFolderPathsOpenOnlyTheirFirstLevels();
    void webViewLoadsNothingAndRunsNoScript();

private:
    QString writeOlm(const QString &name, const QByteArray &bytes);
    QLineEdit *pathField() const { return m_pParseDatabase->findChild<QLineEdit *>(QStringLiteral("pathField")); }
    QPushButton *startButton() const
    {
        return m_pParseDatabase->findChild<QPushButton *>(QStringLiteral("startButton"));
    }

    std::unique_ptr<QEntourageMainWindow> m_window;
    QTemporaryDir m_dir;
};

void BrowseScanTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
}

void BrowseScanTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    bStopFlag = false;
    stopflag = false;
    bProcessRunning = false;
    m_selectedFile.clear();
    m_strDatabasePath.clear();
}

QString BrowseScanTest::writeOlm(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(QDir(m_dir.path()), name, bytes);
}

void BrowseScanTest::choosingAFileEnablesStart()
{
    QVERIFY(!startButton()->isEnabled());
    m_pParseDatabase->ChooseFile(QString());
    QVERIFY(!startButton()->isEnabled());
    const QString path = QStringLiteral("/data/My Export (2).olm");
    m_pParseDatabase->ChooseFile(path);
    QVERIFY(startButton()->isEnabled());
    QCOMPARE(pathField()->text(), path);
    QCOMPARE(m_selectedFile, path);
    QCOMPARE(m_strDatabasePath, path);
}

void BrowseScanTest::fileDialogChoosesTheFile()
{
    const QString path = writeOlm(QStringLiteral("chosen.olm"), QByteArray("PK"));
    FileDialogAnswerer answerer(path);
    m_pParseDatabase->findChild<QPushButton *>(QStringLiteral("browseButton"))->click();
    QCOMPARE(answerer.answered, 1);
    QCOMPARE(answerer.lastTitle, QStringLiteral("Open OLM File"));
    QCOMPARE(answerer.lastNameFilters,
             (QStringList{QStringLiteral("Outlook for Mac export (*.olm)"), QStringLiteral("All Files (*)")}));
    QCOMPARE(m_selectedFile, path);
    QVERIFY(startButton()->isEnabled());
}

// The path can be typed or pasted; Return starts the scan, and a path that names no
// file is said so, with the window left open to correct it.
void BrowseScanTest::typedPathStartsWithReturn()
{
    m_pParseDatabase->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pParseDatabase));
    QVERIFY(!pathField()->isReadOnly());
    QVERIFY(startButton()->isDefault());
    // Its focus shows, although the button is only its image.
    startButton()->setEnabled(true);
    m_pParseDatabase->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pParseDatabase));
    const QImage unfocused = startButton()->grab().toImage();
    startButton()->setFocus();
    QVERIFY(startButton()->hasFocus());
    QVERIFY(startButton()->grab().toImage() != unfocused);
    pathField()->setFocus();
    QCOMPARE(startButton()->grab().toImage(), unfocused);
    const QString missing = m_dir.filePath(QStringLiteral("missing.olm"));
    QTest::keyClicks(pathField(), missing);
    QVERIFY(startButton()->isEnabled());
    {
        MessageBoxAnswerer answerer(QMessageBox::Ok);
        QTest::keyClick(pathField(), Qt::Key_Return);
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("There is no file at \"%1\".\nCheck the path, or choose the "
                                                            "file with Browse.").arg(missing)});
    }
    QVERIFY(m_pParseDatabase->isVisible());
    QVERIFY(!TmpMlrcPtrStart);
    pathField()->clear();
    QVERIFY(!startButton()->isEnabled());

    const QString sample = QFINDTESTDATA("../../samples/intact.olm");
    QTest::keyClicks(pathField(), QStringLiteral(" ") + sample); // pasted with a stray space
    QSignalSpy finished(m_pParseDatabase, &QParseDatabase::OnFinishScanning);
    QTest::keyClick(pathField(), Qt::Key_Return);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_selectedFile, sample);
    QVERIFY(MailItemCount > 0);
}

// Whatever the export says of a contact (phones, cities, nickname, company) or of a mail
// (recipients, attachment names), typed into the search box, keeps its row shown.
void BrowseScanTest::searchFindsWhatAPersonRemembers()
{
    const QString sample = QFINDTESTDATA("../../samples/intact.olm");
    QFile manifestFile(QFINDTESTDATA("../../samples/intact.json"));
    QVERIFY(manifestFile.open(QIODevice::ReadOnly));
    const QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
    m_pParseDatabase->ChooseFile(sample);
    startButton()->click();
    QVERIFY(MailItemCount > 0 && ContactItemCount > 0);
    QLineEdit *box = m_window->searchBox();
    QTreeWidget *list = m_window->itemList();
    auto shows = [&](const QString &term, const QString &rowText) {
        box->setText(term);
        const QList<QTreeWidgetItem *> rows = list->findItems(rowText, Qt::MatchExactly, ItemTextColumn);
        return !rows.isEmpty() && !rows.first()->isHidden();
    };
    int terms = 0;
    m_window->OnAddressView();
    for (const QJsonValue &value : manifest.value(QStringLiteral("contacts")).toArray()) {
        const QJsonObject contact = value.toObject();
        const QString row = contact.value(QStringLiteral("firstName")).toString() + QLatin1Char(' ')
                            + contact.value(QStringLiteral("lastName")).toString();
        QStringList remembered{contact.value(QStringLiteral("nickName")).toString(),
                               contact.value(QStringLiteral("company")).toString()};
        for (const QJsonValue &phone : contact.value(QStringLiteral("phones")).toObject())
            remembered << phone.toString();
        for (const QJsonValue &address : contact.value(QStringLiteral("addresses")).toObject())
            remembered << address.toObject().value(QStringLiteral("city")).toString();
        for (const QString &term : remembered) {
            if (term.isEmpty())
                continue;
            QVERIFY2(shows(term, row), qPrintable(row + QStringLiteral(" by ") + term));
            ++terms;
        }
    }
    for (const QJsonValue &value : manifest.value(QStringLiteral("mails")).toArray()) {
        const QJsonObject mail = value.toObject();
        box->clear();
        const QString folder = mail.value(QStringLiteral("scanFolder")).toString();
        m_window->OnMailView();
        QTreeWidgetItem *folderItem = nullptr;
        for (QTreeWidgetItem *item : objMapFileIdTreeItem)
            if (folder.endsWith(item->text(FolderNameColumn)) && !folder.isEmpty())
                folderItem = item;
        if (!folderItem)
            continue;
        m_pParseDatabase->ShowindivisualMailItemsInfo(folderItem, 0);
        const QString subject = mail.value(QStringLiteral("subject")).toString();
        QStringList remembered;
        for (const QJsonValue &to : mail.value(QStringLiteral("to")).toArray())
            remembered << to.toString();
        for (const QJsonValue &attachment : mail.value(QStringLiteral("attachments")).toArray())
            remembered << attachment.toObject().value(QStringLiteral("name")).toString();
        for (const QString &term : remembered) {
            QVERIFY2(shows(term, subject), qPrintable(subject + QStringLiteral(" by ") + term));
            ++terms;
        }
    }
    QVERIFY(terms > 50);
}

// The exporting program's flags about a contact are not the user's data; its times are
// shown as the user's own dates, and every other value as it is.
void BrowseScanTest::contactPreviewLeavesOutTheProgramsFlags()
{
    auto element = [](const QByteArray &name, const QByteArray &value) {
        return "<" + name + " xml:space=\"preserve\">" + value + "</" + name + ">";
    };
    const QByteArray contact = element("OPFContactCopyFirstName", "Ann") + element("OPFContactCopyLastName", "Lee")
                               + element("OPFContactCopyCanDelete", "0") + element("OPFContactIsJapaneseContact", "0E0")
                               + element("OPFContactCopyModDate", "2018-06-18T16:30:00")
                               + element("OPFContactCopyIsland", "1") + element("OPFContactCopyHasCode", "Tokyo 3");
    OlmBuilder olm;
    olm.entry("Local/Address Book/Contacts.xml",
              "<contacts xml:space=\"preserve\" elementCount=\"1\"><contact xml:space=\"preserve\">" + contact
                  + "</contact></contacts>",
              {});
    m_pParseDatabase->ChooseFile(writeOlm(QStringLiteral("flags.olm"), olm.bytes));
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    startButton()->click();
    QCOMPARE(ContactItemCount, 1);
    m_window->OnAddressView();
    const QString preview = m_window->detailsBrowser()->toPlainText();
    QVERIFY2(preview.contains(QStringLiteral("Ann Lee")), qPrintable(preview));
    QVERIFY2(!preview.contains(QStringLiteral("Can Delete")), qPrintable(preview));
    QVERIFY(!preview.contains(QStringLiteral("Japanese")));
    QVERIFY(!preview.contains(QStringLiteral("2018-06-18")));
    const QDateTime changed(QDate(2018, 6, 18), QTime(16, 30), Qt::UTC);
    QVERIFY2(preview.contains(QLocale().toString(changed.toLocalTime().date(), QLocale::LongFormat)), qPrintable(preview));
    // Names of another shape, or flags' names with text, stay.
    QVERIFY(preview.contains(QStringLiteral("Island : 1")));
    QVERIFY(preview.contains(QStringLiteral("Has Code : Tokyo 3")));
}

void BrowseScanTest::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("asDirectory");
    // The message the window shows, and whether the file was scanned before it.
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("scanned");
    const QString invalid = QString::fromLatin1(kInvalidFileMessage);
    // Only a file read whole that held nothing recognisable is "invalid or heavily damaged".
    QTest::newRow("version 20") << QByteArray("PK\x03\x04\x14\x00rest of a zip file", 22) << false << invalid << true;
    QTest::newRow("four bytes") << QByteArray("PK\x03\x04", 4) << false << invalid << true;
    QTest::newRow("text") << QByteArray("<emails xml:space=\"preserve\"></emails>") << false << invalid << true;
    // Files that cannot be read are not called damaged.
    QTest::newRow("empty") << QByteArray() << false << QStringLiteral("is empty") << false;
    QTest::newRow("a directory") << QByteArray() << true << QStringLiteral("is a folder, not an .olm file") << false;
}

void BrowseScanTest::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, asDirectory);
    QFETCH(QString, message);
    QFETCH(bool, scanned);
    const QString path = asDirectory ? m_dir.path() : writeOlm(QStringLiteral("refused.olm"), bytes);
    m_pParseDatabase->ChooseFile(path);
    QSignalSpy started(m_pParseDatabase, &QParseDatabase::OnInitialSettings);
    QSignalSpy finished(m_pParseDatabase, &QParseDatabase::OnFinishScanning);
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    startButton()->click();

    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts.first().contains(message), qPrintable(answerer.texts.first()));
    QCOMPARE(answerer.texts.first() == QString::fromLatin1(kInvalidFileMessage), scanned);
    QCOMPARE(answerer.titles, QStringList(QStringLiteral("Scan")));
    QVERIFY(!m_pParseDatabase->isVisible());
    QCOMPARE(started.count(), scanned ? 1 : 0);
    QCOMPARE(finished.count(), scanned ? 1 : 0);
    if (!scanned)
        QCOMPARE(fileDescriptor, -1);
}

// A mail found without its entry header and one listing a missing attachment: the
// summary keeps its counts and adds the loss line; the log names every loss.
void BrowseScanTest::damagedScanShowsItsLosses()
{
    const QByteArray withAttachment =
        "<emails xml:space=\"preserve\" elementCount=\"1\"><email xml:space=\"preserve\">"
        + element("OPFMessageCopyAttachmentList",
                  "<messageAttachment xml:space=\"preserve\" OPFAttachmentContentType=\"text/plain\" "
                  "OPFAttachmentName=\"<b>plan</b>.txt\" OPFAttachmentURL=\"Local/a_0000\"></messageAttachment>")
        + element("OPFMessageCopySubject", "Plans") + "</email></emails>";
    const QByteArray bytes = entry("Accounts/", QByteArray(), 0)
                             + entry("Local/com.microsoft.__Messages/Inbox/message_00000.xml", withAttachment)
                             + QByteArray(30, '\0') + mailDocument()
                             // No mail after it: kept in a folder of its own.
                             + entry("Local/com.microsoft.__Messages/Inbox/com.microsoft.__Attachments/1_0000", "orphan");
    m_pParseDatabase->ChooseFile(writeOlm(QStringLiteral("damaged.olm"), bytes));
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    startButton()->click();
    QVERIFY(answerer.texts.isEmpty());

    auto *summary = m_window->findChild<InformationDlg *>();
    QVERIFY(summary && summary->isVisible());
    QCOMPARE(summary->findChild<QLabel *>(QStringLiteral("mailCount"))->text(), QStringLiteral("2"));
    QLabel *lossLine = summary->findChild<QLabel *>(QStringLiteral("lossLine"));
    QVERIFY(lossLine && lossLine->isVisible());
    QCOMPARE(lossLine->text(), QStringLiteral("1 attachment and 1 folder path could not be recovered; 1 recovered "
                                              "in part or by inference; see the log"));

    // The kept attachment's folder is one the user can check for saving.
    QTreeWidgetItem *recovered = nullptr;
    QTreeWidgetItem *root = m_window->folderTree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->text(0) == QLatin1String("Recovered attachments"))
            recovered = root->child(i);
    QVERIFY(recovered && (recovered->flags() & Qt::ItemIsUserCheckable));
    m_window->folderTree()->setCurrentItem(recovered);
    m_window->folderTree()->setFocus();
    QTest::keyClick(m_window->folderTree(), Qt::Key_Space);
    QCOMPARE(recovered->checkState(0), Qt::Checked);
    QCOMPARE(int(folderAttributeOf(kRecoveredAttachmentsId)->state), int(CheckedCode));
    // Opened, it lists each file as the save names it.
    m_pParseDatabase->ShowindivisualMailItemsInfo(recovered, 0);
    QTreeWidget *files = m_window->itemList();
    QCOMPARE(files->topLevelItemCount(), 1);
    QCOMPARE(files->topLevelItem(0)->text(ItemTextColumn), QStringLiteral("Inbox/1_0000"));

    const QString log = m_pLogDlg->logText();
    QVERIFY2(log.contains(lossLine->text()), qPrintable(log));
    // Names from the file are shown as they are, not as markup.
    QVERIFY2(log.contains(QStringLiteral("attachment-missing: <b>plan</b>.txt (attachment, Inbox): listed by the mail \"Plans\"")),
             qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("folder-path-lost: Hello (mail)")), qPrintable(log));
}

void BrowseScanTest::scanRunsToItsEnd()
{
    const QByteArray bytes =
        entry("Accounts/", QByteArray(), 0)
        + entry("Local/com.microsoft.__Messages/Inbox/message_00000.xml", mailDocument())
        + entry("Local/Notes/Notes.xml", notesDocument());
    const QString path = writeOlm(QStringLiteral("export.olm"), bytes);
    m_pParseDatabase->ChooseFile(path);
    QSignalSpy started(m_pParseDatabase, &QParseDatabase::OnInitialSettings);
    QSignalSpy progress(m_pParseDatabase, &QParseDatabase::OnProgressvalue);
    QSignalSpy finished(m_pParseDatabase, &QParseDatabase::OnFinishScanning);
    QSignalSpy summary(m_pParseDatabase, &QParseDatabase::InformationDlgOpen);
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    startButton()->click();

    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(!m_pParseDatabase->isVisible());
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.first().first().toLongLong(), qint64(bytes.size()) / 512);
    QVERIFY(progress.count() >= 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(summary.count(), 1);
    QVERIFY(!bProcessRunning);
    QVERIFY(fileDescriptor >= 0); // stays open for the previews and the save

    QCOMPARE(NotesItemCount, 1);
    // The main window: controls back, mail selected, tree built, summary shown.
    QVERIFY(m_window->categoryButton(Category::Mail)->isChecked());
    QVERIFY(m_window->menuSaveAction()->isEnabled());
    QVERIFY(m_window->menuOpenAction()->isEnabled());
    QVERIFY(!m_window->progressDialog()->isVisible());
    QTreeWidget *tree = m_window->folderTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), path);
    QVERIFY(findFolder(tree, QStringLiteral("Inbox")));
    QCOMPARE(findFolder(tree, QStringLiteral("Notes"))->text(6), QStringLiteral("44"));
    // A healthy export has no mail without a folder path: no "Folder1".
    QVERIFY(!findFolder(tree, QStringLiteral("Folder1")));
    QVERIFY(tree->alternatingRowColors());

    auto *shown = m_window->findChild<InformationDlg *>();
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->findChild<QLabel *>(QStringLiteral("notesCount"))->text(), QString::number(NotesItemCount));
    QCOMPARE(SizeOfAllMails, MailItemCount + NotesItemCount);
}

void BrowseScanTest::scanFindingNothingSaysSo()
{
    // A valid start, then nothing any parser takes.
    const QByteArray bytes = entry("Accounts/", QByteArray(), 0) + entry("Categories.xml", "<categories/>")
                             + QByteArray(3000, 'z');
    m_pParseDatabase->ChooseFile(writeOlm(QStringLiteral("empty.olm"), bytes));
    QSignalSpy finished(m_pParseDatabase, &QParseDatabase::OnFinishScanning);
    QSignalSpy summary(m_pParseDatabase, &QParseDatabase::InformationDlgOpen);
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    startButton()->click();

    QCOMPARE(finished.count(), 1);
    QCOMPARE(summary.count(), 0);
    QCOMPARE(answerer.texts, QStringList(QString::fromLatin1(kInvalidFileMessage)));
    QVERIFY(!m_window->findChild<InformationDlg *>());
}

// A rescue keeps what it found: the stopped scan shows its folders and items, says
// that it stopped before the end, and they can be browsed and saved.
void BrowseScanTest::stoppedScanKeepsWhatItFound()
{
    // Bytes that each look like the start of a tag keep the walk busy past its first ticks.
    const QByteArray bytes = entry("Local/Notes/Notes.xml", notesDocument()) + QByteArray(16 << 20, '<')
                             + entry("Local/Tasks/Tasks.xml", "<tasks xml:space=\"preserve\"></tasks>");
    m_pParseDatabase->ChooseFile(writeOlm(QStringLiteral("stopped.olm"), bytes));
    m_window->itemList()->addTopLevelItem(new QTreeWidgetItem(QStringList(QStringLiteral("old row"))));

    // The user presses the stop button once the walk is under way.
    bool pressed = false;
    // Only a tick within the walk: the last one comes after the walk has ended.
    const long long lastUnit = bytes.size() / 512;
    connect(m_pParseDatabase, &QParseDatabase::OnProgressvalue, this, [&](long long units) {
        if (pressed || units == 0 || units >= lastUnit)
            return;
        pressed = true;
        m_window->progressDialog()->stopButton()->click();
    });
    QSignalSpy summary(m_pParseDatabase, &QParseDatabase::InformationDlgOpen);
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    startButton()->click();

    QVERIFY(pressed);
    QCOMPARE(answerer.texts,
             (QStringList{QStringLiteral("Process cannot be resumed from the current stage."),
                          QStringLiteral("The scan was stopped before the end of the file. The folders and items found "
                                         "so far are shown.")}));
    QCOMPARE(summary.count(), 0);
    QVERIFY(!bStopFlag); // Open and Save treat the loaded items as loaded
    QVERIFY(!bProcessRunning);
    QVERIFY(!m_window->progressDialog()->isVisible());
    QCOMPARE(NotesItemCount, 1);
    QTreeWidget *tree = m_window->folderTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *notes = findFolder(tree, QStringLiteral("Notes"));
    QVERIFY(notes);
    QVERIFY(m_window->menuOpenAction()->isEnabled());
    QVERIFY(m_window->menuSaveAction()->isEnabled());
    QVERIFY(m_window->categoryButton(Category::Notes)->isEnabled());
    m_pParseDatabase->ShowindivisualMailItemsInfo(notes, 0);
    QCOMPARE(m_window->itemList()->topLevelItemCount(), 1);
    QVERIFY(m_window->detailsBrowser()->toPlainText().contains(QStringLiteral("Shopping")));
}

void BrowseScanTest::treeOfSpecialFolders()
{
    for (const char *path : {"Inbox", "Projects/Inbox", "Contacts", "Calendars", "Tasks", "Notes", "Sent Items",
                             "Deleted Items", "Drafts", "Archive/Notes", "inbox"})
        createScannedFolder(QLatin1String(path));
    m_selectedFile = QStringLiteral("/data/export.olm");
    m_pParseDatabase->GenerateTree();

    QTreeWidget *tree = m_window->folderTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), m_selectedFile);
    QCOMPARE(root->text(1), QStringLiteral("501"));
    QCOMPARE(root->text(2), QStringLiteral("500"));
    QVERIFY(root->isExpanded());

    struct Expected {
        const char *name;
        const char *parent;
        const char *icon;
        const char *type; // column 6; empty when not set
        qint32 recordType;
    };
    const Expected expected[] = {
        {"Inbox", nullptr, ":/images/img_InboxFolderIcon.png", "", 0},
        {"Contacts", nullptr, ":/images/img_AddressBookIcon.png", "41", 41},
        {"Calendars", nullptr, ":/images/img_CalendarIcon.png", "42", 42},
        {"Tasks", nullptr, ":/images/img_TaskIcon.png", "43", 43},
        {"Notes", nullptr, ":/images/img_NotesIcon.png", "44", 44},
        {"Sent Items", nullptr, ":/images/img_SentFolderIcon.png", "", 0},
        {"Deleted Items", nullptr, ":/images/img_DeletedFolderIcon.png", "", 0},
        {"Drafts", nullptr, ":/images/img_DraftsFolderIcon.png", "", 0},
        {"inbox", nullptr, ":/images/img_Folder.png", "", 0}, // names match case-sensitively
        {"Inbox", "Projects", ":/images/img_Folder.png", "", 0},
        {"Notes", "Archive", ":/images/img_Folder.png", "", 0},
    };
    for (const Expected &folder : expected) {
        QTreeWidgetItem *parentItem = folder.parent ? findFolder(tree, QLatin1String(folder.parent)) : root;
        QVERIFY(parentItem);
        QTreeWidgetItem *item = nullptr;
        for (int i = 0; i < parentItem->childCount(); ++i) {
            if (parentItem->child(i)->text(0) == QLatin1String(folder.name))
                item = parentItem->child(i);
        }
        QVERIFY2(item, folder.name);
        QCOMPARE(iconImage(item->icon(0)), resourceImage(folder.icon));
        QCOMPARE(item->text(6), QLatin1String(folder.type));
        QCOMPARE(item->text(2), parentItem->text(1));
        QCOMPARE(item->checkState(0), Qt::Unchecked);
        QCOMPARE(item->text(7), QStringLiteral("3"));
        QCOMPARE(item->font(0).family(), QStringLiteral("Lucida Grande"));
        FolderAttribute *record = folderRecord(item->text(1).toLongLong());
        QVERIFY(record);
        // Copies: the records are packed, their fields cannot be bound by reference.
        const qint64 parentId = record->parentId, folderId = record->folderId;
        const qint32 folderType = record->folderType;
        QCOMPARE(parentId, parentItem->text(1).toLongLong());
        QCOMPARE(folderType, folder.recordType);
        QCOMPARE(int(record->state), int(UncheckedCode));
        QCOMPARE(objMapFileIdTreeItem.value(folderId), item);
    }

    // "Folder1" is there only once it holds a mail; then it closes the root's children,
    // with its fixed id and place in the bundle.
    QVERIFY(!findFolder(tree, QStringLiteral("Folder1")));
    appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount)->ParentId = kFolderWithoutPathId;
    m_pParseDatabase->GenerateTree();
    root = tree->topLevelItem(0);
    QTreeWidgetItem *withoutPath = root->child(root->childCount() - 1);
    QCOMPARE(withoutPath->text(0), QStringLiteral("Folder1"));
    QCOMPARE(withoutPath->text(1), QStringLiteral("4294967294"));
    QCOMPARE(withoutPath->text(2), QStringLiteral("501"));
    QCOMPARE(withoutPath->text(3), QStringLiteral("/Main Identity.rge/Folder1"));
    QCOMPARE(withoutPath->checkState(0), Qt::Unchecked);

    // One record per folder, the root first with parent 0, "Folder1" last.
    QCOMPARE(folderRecordCount(), objMapFID_PID.size() + 2);
    const qint64 firstId = StartFldrAtrib->folderId, firstParent = StartFldrAtrib->parentId;
    const qint64 lastId = EndFldrAtrib->folderId, lastParent = EndFldrAtrib->parentId;
    QCOMPARE(firstId, llRootId);
    QCOMPARE(firstParent, 0);
    QCOMPARE(lastId, kFolderWithoutPathId);
    QCOMPARE(lastParent, llRootId);
}

// An account's own "Notes" folder of mails stands beside the folder of the notes,
// as a mail folder: its type comes from what it holds, not from its name.
void BrowseScanTest::mailFolderNamedLikeAKind()
{
    createScannedFolder(QStringLiteral("Notes"));
    treeCreator(QStringLiteral("Notes"));
    treeCreator(QStringLiteral("Tasks"));
    m_selectedFile = QStringLiteral("/data/export.olm");
    m_pParseDatabase->GenerateTree();
    QTreeWidgetItem *root = m_window->folderTree()->topLevelItem(0);
    QStringList types;
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem *item = root->child(i);
        if (item->text(0) == QLatin1String("Notes") || item->text(0) == QLatin1String("Tasks"))
            types.append(item->text(0) + QLatin1Char(' ') + item->text(6) + QLatin1Char(' ')
                         + QString::number(folderRecord(item->text(1).toLongLong())->folderType));
    }
    types.sort();
    QCOMPARE(types, (QStringList{"Notes  0", "Notes 44 44", "Tasks  0"}));
}

void BrowseScanTest::rebuildingReplacesTreeAndRecords()
{
    treeCreator(QStringLiteral("Inbox/Sub"));
    m_pParseDatabase->GenerateTree();
    const int records = folderRecordCount();
    QCOMPARE(records, 4);
    m_pParseDatabase->GenerateTree();
    m_pParseDatabase->GenerateTree();
    QCOMPARE(folderRecordCount(), records);
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 1);
    QCOMPARE(m_window->folderTree()->topLevelItem(0)->childCount(), 1); // Inbox; "Folder1" holds no mail
}

void BrowseScanTest::folderWithoutKnownParentHangsUnderTheRoot()
{
    treeCreator(QStringLiteral("Inbox"));
    // Maps that do not chain up to the root: a missing parent and a loop.
    objMapFID_PID.insert(900, 950);
    objMapFID_Name.insert(900, QStringLiteral("Orphan"));
    objMapFID_PID.insert(910, 911);
    objMapFID_PID.insert(911, 910);
    objMapFID_Name.insert(910, QStringLiteral("Loop A"));
    objMapFID_Name.insert(911, QStringLiteral("Loop B"));
    m_pParseDatabase->GenerateTree();

    QTreeWidgetItem *root = m_window->folderTree()->topLevelItem(0);
    QCOMPARE(findFolder(m_window->folderTree(), QStringLiteral("Orphan"))->parent(), root);
    QTreeWidgetItem *loopA = findFolder(m_window->folderTree(), QStringLiteral("Loop A"));
    QCOMPARE(loopA->parent(), root);
    QCOMPARE(findFolder(m_window->folderTree(), QStringLiteral("Loop B"))->parent(), loopA);
}

void BrowseScanTest::deepFolderPathsOpenOnlyTheirFirstLevels()
{
    // Laid out all expanded, a path this deep overflows the stack.
    QStringList components;
    for (int i = 0; i < 20000; ++i)
        components << QStringLiteral("f%1").arg(i);
    treeCreator(components.join(QLatin1Char('/')));
    m_pParseDatabase->GenerateTree();
    QTreeWidget *tree = m_window->folderTree();
    tree->doItemsLayout();
    QVERIFY(findFolder(tree, QStringLiteral("f62"))->isExpanded());
    QVERIFY(!findFolder(tree, QStringLiteral("f64"))->isExpanded());
    QVERIFY(findFolder(tree, QStringLiteral("f19999")));
    // Rebuilding frees the deep tree.
    m_pParseDatabase->GenerateTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
}

void BrowseScanTest::webViewLoadsNothingAndRunsNoScript()
{
    // Each view gets its own server, so that late requests of one cannot count for the other.
    auto pageFor = [](const QTcpServer &server) {
        const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        return QStringLiteral(
                   "<html><head><title>body</title><script>document.title = 'script ran';</script>"
                   "<link rel=\"stylesheet\" href=\"%1/style.css\"></head><body><img src=\"%1/track.png\">"
                   "<iframe src=\"%1/frame.html\"></iframe></body></html>")
            .arg(origin);
    };

    // An ordinary web view, as a control: the page does reach the server and runs its script.
    QTcpServer reached;
    QVERIFY(reached.listen(QHostAddress::LocalHost));
    QWebView open;
    open.setHtml(pageFor(reached));
    QTRY_VERIFY_WITH_TIMEOUT(reached.hasPendingConnections(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(open.title(), QStringLiteral("script ran"), 5000);

    QTcpServer untouched;
    QVERIFY(untouched.listen(QHostAddress::LocalHost));
    QWebView *mailBody = m_window->webView();
    QSignalSpy loaded(mailBody, &QWebView::loadFinished);
    mailBody->setHtml(pageFor(untouched));
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() >= 1, 5000);
    QTest::qWait(300);
    QVERIFY(!untouched.hasPendingConnections());
    QCOMPARE(mailBody->title(), QStringLiteral("body"));
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    BrowseScanTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_browsescan.moc"
