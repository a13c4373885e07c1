// The attachments of the previewed mail: listed with name and size, saved one by
// one or all together byte for byte as the generator put them into the export,
// hostile names kept inside the chosen folder, damaged ones said to be damaged.
#include "GuiTestSupport.h"
#include "../core/OlmBuilder.h"

#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "archive/MailAttachments.h"
#include "browse/AttachmentList.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "browse/SizeText.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "parsers/RecordLists.h"
#include "scan/ScanSession.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QString sha256Of(const QString &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256).toHex());
}

// The files directly in dir, by name.
QStringList filesIn(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

char *ownedCopy(const QByteArray &value)
{
    return strdup(value.constData());
}

// Answers the next directory chooser or save dialog with path.
class PathAnswerer : public QObject
{
public:
    explicit PathAnswerer(const QString &path) : m_path(path)
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            titles << dialog->windowTitle();
            if (dialog->fileMode() == QFileDialog::Directory)
                dialog->setDirectory(m_path);
            else
                dialog->selectFile(m_path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        m_poll.start(5);
    }
    QStringList titles;

private:
    QString m_path;
    QTimer m_poll;
};
} // namespace

class AttachmentListTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void generatedAttachmentsAreSavedByteForByte();
    void existingFileIsReplacedOnlyWhenAsked_data();
    void existingFileIsReplacedOnlyWhenAsked();
    void hostileNamesStayInsideTheFolder_data();
    void hostileNamesStayInsideTheFolder();
    void damagedAttachmentsSaySo();
    void theExportBeingReadIsNeverReplaced();
    void aLinkIsReplacedNotFollowed();
    void contextMenuOffersBothSaves();
    void unrecoveredAttachmentsAreListedAsMissing();

private:
    // Scans the export that make_olm.py writes with these options; the manifest goes to *manifest.
    void scanGenerated(const QStringList &options, QJsonObject *manifest);
    // Previews a mail made of these attachments over a file of these bytes.
    void previewMail(const QByteArray &olmBytes, const QVector<MailAttachment> &attachments);
    AttachmentList *list() const { return m_window->attachmentList(); }

    std::unique_ptr<QEntourageMainWindow> m_window;
    QTemporaryDir m_dir;
};

void AttachmentListTest::init()
{
    m_window.reset(new QEntourageMainWindow);
    m_window->show();
    m_pParseDatabase->hide();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void AttachmentListTest::cleanup()
{
    m_window.reset();
    CleanListAndHash();
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    fileDescriptor = -1;
    lSize = 0;
    m_selectedFile.clear();
}

void AttachmentListTest::scanGenerated(const QStringList &options, QJsonObject *manifest)
{
    const QString generator = QFINDTESTDATA("../../tools/make_olm.py");
    QVERIFY(!generator.isEmpty());
    const QString olm = m_dir.filePath(QStringLiteral("generated.olm"));
    const QString manifestPath = m_dir.filePath(QStringLiteral("generated.json"));
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{generator, olm, QStringLiteral("--manifest"), manifestPath} + options);
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    *manifest = QJsonDocument::fromJson(fileBytes(manifestPath)).object();
    FolderInformation parsers;
    QCOMPARE(int(scanFile(olm, parsers, WalkHooks())), int(ScanResult::Finished));
    m_selectedFile = olm;
    m_pParseDatabase->GenerateTree();
}

void AttachmentListTest::previewMail(const QByteArray &olmBytes, const QVector<MailAttachment> &attachments)
{
    const QString path = writeTestFile(QDir(m_dir.path()), QStringLiteral("made.olm"), olmBytes);
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    fileDescriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QVERIFY(fileDescriptor >= 0);
    lSize = olmBytes.size();
    QByteArray ids, types, names, urls, offsets, sizes;
    for (const MailAttachment &attachment : attachments) {
        ids += "no;";
        types += "application/octet-stream;";
        names += attachment.name.toUtf8() + ';';
        urls += "u;";
        offsets += QByteArray::number(attachment.offset) + ';';
        sizes += QByteArray::number(attachment.size) + ';';
    }
    MailMLRC *mail = appendRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount);
    strcpy(mail->Subject, "Files");
    mail->AttachContentIds = ownedCopy(ids);
    mail->AttachContentTypes = ownedCopy(types);
    mail->AttachNames = ownedCopy(names);
    mail->AttachUrls = ownedCopy(urls);
    mail->AttachOffsets = ownedCopy(offsets);
    mail->AttachSizes = ownedCopy(sizes);
    m_pPreview->MessageFieldsForThePreview(mail, FileTextReader(fileDescriptor, lSize));
    QVERIFY(list()->isVisible());
    QCOMPARE(list()->topLevelItemCount(), attachments.size());
}

// Every mail of every folder previewed in turn, its attachments saved all together
// into a folder of their own; the first of each also through "Save As".
void AttachmentListTest::generatedAttachmentsAreSavedByteForByte()
{
    QJsonObject manifest;
    scanGenerated({QStringLiteral("--mails"), QStringLiteral("24"), QStringLiteral("--attachment-size"),
                   QStringLiteral("70000")},
                  &manifest);
    QStringList expected; // per mail with attachments: their digests in list order
    for (const QJsonValue &mail : manifest.value(QStringLiteral("mails")).toArray()) {
        QStringList digests;
        if (!mail.toObject().value(QStringLiteral("attachmentsKept")).toBool())
            continue;
        for (const QJsonValue &attachment : mail.toObject().value(QStringLiteral("attachments")).toArray())
            digests << attachment.toObject().value(QStringLiteral("sha256")).toString();
        if (!digests.isEmpty())
            expected << digests.join(QLatin1Char(','));
    }
    QVERIFY(expected.size() > 5);

    QStringList savedAll, savedOneByOne;
    int mailNumber = 0;
    for (QTreeWidgetItem *folder : objMapFileIdTreeItem) {
        m_pParseDatabase->ShowindivisualMailItemsInfo(folder, 0);
        QTreeWidget *mails = m_window->itemList();
        for (int row = 0; row < mails->topLevelItemCount(); ++row) {
            mails->setCurrentItem(mails->topLevelItem(row));
            if (!list()->isVisible())
                continue;
            const QVector<MailAttachment> attachments = list()->attachments();
            QVERIFY(!attachments.isEmpty());
            for (int i = 0; i < attachments.size(); ++i) {
                QCOMPARE(list()->topLevelItem(i)->text(AttachmentList::NameColumn), attachmentFileName(attachments[i].name));
                QCOMPARE(list()->topLevelItem(i)->text(AttachmentList::SizeColumn), sizeText(attachments[i].size));
            }
            const QString folderForAll = m_dir.filePath(QStringLiteral("all-%1").arg(++mailNumber));
            QVERIFY(QDir().mkpath(folderForAll));
            {
                PathAnswerer chooser(folderForAll);
                MessageBoxAnswerer boxes(QMessageBox::Ok);
                list()->saveAllAttachments();
                QCOMPARE(chooser.titles, QStringList{QStringLiteral("Save All Attachments")});
                QCOMPARE(boxes.texts, QStringList{QStringLiteral("%1 of %1 attachments saved in \"%2\".")
                                                      .arg(attachments.size())
                                                      .arg(folderForAll)});
            }
            QStringList digests;
            QSet<QString> used;
            for (const MailAttachment &attachment : attachments) {
                const QString name = distinctFileName(attachmentFileName(attachment.name), used);
                used.insert(fileNameKey(name));
                digests << sha256Of(QDir(folderForAll).filePath(name));
            }
            QCOMPARE(filesIn(folderForAll).size(), attachments.size());
            savedAll << digests.join(QLatin1Char(','));

            // A double-click on the first row asks where, and writes there.
            const QString oneByOne = m_dir.filePath(QStringLiteral("one-%1.bin").arg(mailNumber));
            {
                PathAnswerer chooser(oneByOne);
                MessageBoxAnswerer boxes(QMessageBox::Ok);
                const QPoint first = list()->visualItemRect(list()->topLevelItem(0)).center();
                // A double-click is a press and release, then a second press that is the double-click.
                QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, first);
                QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, first);
                QCOMPARE(chooser.titles, QStringList{QStringLiteral("Save Attachment As")});
                QCOMPARE(boxes.texts, QStringList());
            }
            savedOneByOne << sha256Of(oneByOne);
            QCOMPARE(savedOneByOne.last(), digests.first());
        }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(savedAll.begin(), savedAll.end());
    QCOMPARE(savedAll, expected);
}

void AttachmentListTest::existingFileIsReplacedOnlyWhenAsked_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("keptThere");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("skip") << int(QMessageBox::No) << QByteArray("mine") << QStringList{"notes.txt", "other.txt"};
    QTest::newRow("keep both") << int(QMessageBox::Save) << QByteArray("mine")
                               << QStringList{"notes (2).txt", "notes.txt", "other.txt"};
    QTest::newRow("replace") << int(QMessageBox::Yes) << QByteArray("first attachment")
                             << QStringList{"notes.txt", "other.txt"};
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << QByteArray("mine") << QStringList{"notes.txt"};
}

void AttachmentListTest::existingFileIsReplacedOnlyWhenAsked()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, keptThere);
    QFETCH(QStringList, files);
    const QByteArray olm = "first attachment|second one";
    previewMail(olm, {{"notes.txt", QString(), 0, 16}, {"other.txt", QString(), 17, 10}});
    const QString folder = m_dir.filePath(QStringLiteral("existing-%1").arg(answer));
    QVERIFY(QDir().mkpath(folder));
    writeTestFile(QDir(folder), QStringLiteral("notes.txt"), "mine");
    PathAnswerer chooser(folder);
    MessageBoxAnswerer boxes{QMessageBox::StandardButton(answer)};
    list()->saveAllAttachments();
    QVERIFY(!boxes.texts.isEmpty());
    QCOMPARE(boxes.texts.first(), QStringLiteral("\"notes.txt\" already exists in this folder. Do you want to replace it?"));
    QCOMPARE(filesIn(folder), files);
    QCOMPARE(fileBytes(QDir(folder).filePath(QStringLiteral("notes.txt"))), keptThere);
    if (files.contains(QStringLiteral("other.txt")))
        QCOMPARE(fileBytes(QDir(folder).filePath(QStringLiteral("other.txt"))), QByteArray("second one"));
    if (files.contains(QStringLiteral("notes (2).txt")))
        QCOMPARE(fileBytes(QDir(folder).filePath(QStringLiteral("notes (2).txt"))), QByteArray("first attachment"));
}

void AttachmentListTest::hostileNamesStayInsideTheFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("files"); // the two attachments of that name, in order
    QTest::newRow("climbs out") << "../../x" << QStringList{"x", "x (2)"};
    QTest::newRow("absolute") << "/etc/passwd" << QStringList{"passwd", "passwd (2)"};
    QTest::newRow("backslashes") << "..\\..\\evil.exe" << QStringList{"evil.exe", "evil (2).exe"};
    QTest::newRow("empty") << "" << QStringList{"attachment", "attachment (2)"};
    QTest::newRow("dot dot") << ".." << QStringList{"attachment", "attachment (2)"};
    QTest::newRow("line breaks") << "a\r\nb.txt" << QStringList{"a__b.txt", "a__b (2).txt"};
    QTest::newRow("hidden") << ".profile" << QStringList{"profile", "profile (2)"};
    QTest::newRow("same name") << "report.pdf" << QStringList{"report.pdf", "report (2).pdf"};
}

// Two attachments of each hostile name: both land directly in the chosen folder,
// under sane names of their own, each with its own bytes.
void AttachmentListTest::hostileNamesStayInsideTheFolder()
{
    QFETCH(QString, name);
    QFETCH(QStringList, files);
    previewMail("AAAA|BBBBBB", {{name, QString(), 0, 4}, {name, QString(), 5, 6}});
    const QString outer = m_dir.filePath(QStringLiteral("outer-%1").arg(QTest::currentDataTag()));
    const QString folder = outer + QStringLiteral("/a/b");
    QVERIFY(QDir().mkpath(folder));
    PathAnswerer chooser(folder);
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    list()->saveAllAttachments();
    QStringList sorted = files;
    sorted.sort();
    QCOMPARE(filesIn(folder), sorted);
    QCOMPARE(fileBytes(QDir(folder).filePath(files.at(0))), QByteArray("AAAA"));
    QCOMPARE(fileBytes(QDir(folder).filePath(files.at(1))), QByteArray("BBBBBB"));
    // Nothing anywhere else under the outer folder.
    QStringList everything;
    for (QDirIterator it(outer, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();)
        everything << QDir(outer).relativeFilePath(it.next());
    QCOMPARE(everything.size(), 2);
}

// A cut attachment is saved with what the file holds and said to be short; a missing
// one is not written at all. The list says both before anything is saved.
void AttachmentListTest::damagedAttachmentsSaySo()
{
    const QByteArray olm = "whole|cut-";
    previewMail(olm, {{"whole.txt", QString(), 0, 5}, {"cut.txt", QString(), 6, 51200}, {"gone.txt", QString(), 900, 70}});
    QCOMPARE(list()->topLevelItem(0)->text(AttachmentList::SizeColumn), QStringLiteral("5 bytes"));
    QCOMPARE(list()->topLevelItem(1)->text(AttachmentList::SizeColumn), QStringLiteral("50 KB, only 4 bytes in the file"));
    QCOMPARE(list()->topLevelItem(2)->text(AttachmentList::SizeColumn), QStringLiteral("70 bytes, missing"));

    const QString folder = m_dir.filePath(QStringLiteral("damaged"));
    QVERIFY(QDir().mkpath(folder));
    {
        PathAnswerer chooser(folder);
        MessageBoxAnswerer boxes(QMessageBox::Ok);
        list()->saveAllAttachments();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("2 of 3 attachments saved in \"%1\".").arg(folder)});
        QCOMPARE(boxes.informativeTexts,
                 QStringList{QStringLiteral("cut.txt: saved with only 4 of its 51,200 bytes, the OLM file is damaged\n"
                                            "gone.txt: not saved, the OLM file holds none of its bytes")});
    }
    QCOMPARE(filesIn(folder), (QStringList{"cut.txt", "whole.txt"}));
    QCOMPARE(fileBytes(QDir(folder).filePath(QStringLiteral("cut.txt"))), QByteArray("cut-"));

    // One by one: the missing one asks for no place at all, the cut one says so.
    {
        PathAnswerer chooser(m_dir.filePath(QStringLiteral("never.txt")));
        MessageBoxAnswerer boxes(QMessageBox::Ok);
        list()->saveAttachmentAs(2);
        QCOMPARE(chooser.titles, QStringList());
        QCOMPARE(boxes.texts, QStringList{QStringLiteral(
                                  "\"gone.txt\" cannot be saved: the OLM file is damaged and holds none of its bytes.")});
    }
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never.txt"))));
    {
        // Return on a row saves it too.
        const QString path = m_dir.filePath(QStringLiteral("single-cut.txt"));
        PathAnswerer chooser(path);
        MessageBoxAnswerer boxes(QMessageBox::Ok);
        list()->setCurrentItem(list()->topLevelItem(1));
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("\"%1\" was saved with only 4 of its 51,200 bytes: the OLM file "
                                                         "is damaged and ends before the attachment does.")
                                              .arg(path)});
        QCOMPARE(fileBytes(path), QByteArray("cut-"));
    }
}

// An attachment named like the export, saved beside it, or saved over it on purpose:
// the export the window reads from stays as it is.
void AttachmentListTest::theExportBeingReadIsNeverReplaced()
{
    const QByteArray olm = "the export|attached";
    previewMail(olm, {{"made.olm", QString(), 11, 8}});
    {
        PathAnswerer chooser(m_dir.path());
        MessageBoxAnswerer boxes(QMessageBox::Yes); // "Replace"
        list()->saveAllAttachments();
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("1 of 1 attachments saved in \"%1\".").arg(m_dir.path())});
    }
    QCOMPARE(fileBytes(m_dir.filePath(QStringLiteral("made.olm"))), olm);
    QCOMPARE(fileBytes(m_dir.filePath(QStringLiteral("made (2).olm"))), QByteArray("attached"));
    {
        PathAnswerer chooser(m_dir.filePath(QStringLiteral("made.olm")));
        MessageBoxAnswerer boxes(QMessageBox::Yes); // the dialog's own "replace?" and ours
        list()->saveAttachmentAs(0);
        QCOMPARE(boxes.texts.last(), QStringLiteral("\"%1\" is the OLM file being read: the attachment is not saved over "
                                                    "it. Choose another name.")
                                         .arg(m_dir.filePath(QStringLiteral("made.olm"))));
    }
    QCOMPARE(fileBytes(m_dir.filePath(QStringLiteral("made.olm"))), olm);
}

// "Replace" on a link in the folder replaces the link: the file it points to,
// outside the chosen folder, keeps its bytes.
void AttachmentListTest::aLinkIsReplacedNotFollowed()
{
    previewMail("attached", {{"notes.txt", QString(), 0, 8}});
    const QString outside = writeTestFile(QDir(m_dir.path()), QStringLiteral("outside.txt"), "precious");
    const QString folder = m_dir.filePath(QStringLiteral("linked"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::link(outside, QDir(folder).filePath(QStringLiteral("notes.txt"))));
    PathAnswerer chooser(folder);
    MessageBoxAnswerer boxes(QMessageBox::Yes);
    list()->saveAllAttachments();
    QCOMPARE(boxes.texts.size(), 2); // the question, then the outcome
    QCOMPARE(fileBytes(outside), QByteArray("precious"));
    const QFileInfo saved(QDir(folder).filePath(QStringLiteral("notes.txt")));
    QVERIFY(!saved.isSymLink());
    QCOMPARE(fileBytes(saved.filePath()), QByteArray("attached"));
}

void AttachmentListTest::contextMenuOffersBothSaves()
{
    previewMail("abc", {{"a.txt", QString(), 0, 3}});
    QStringList shown;
    QTimer::singleShot(50, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions())
            shown << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        menu->close();
    });
    const QPoint at = list()->visualItemRect(list()->topLevelItem(0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list()->viewport(), &event);
    QCOMPARE(shown, (QStringList{QString::fromUtf8("Save Attachment As…"), QString::fromUtf8("Save All Attachments…")}));
    // A mail without attachments hides the list; another kind of item does too.
    m_pPreview->MessageFieldsForThePreview(nullptr, FileTextReader(fileDescriptor, lSize));
    QVERIFY(!list()->isVisible());
}

// The damaged sample's mails whose attachments the scan could not recover, as its
// manifest names them: the list shows their paperclip, and the preview every attachment
// the mail lists, with its listed size, as missing; none of them can be saved.
void AttachmentListTest::unrecoveredAttachmentsAreListedAsMissing()
{
    // A mail lists two attachments whose entries the file no longer holds: nothing is
    // there to place them by, so the preview lists them as missing, with the list's sizes.
    struct Listed {
        QString name;
        qint64 size;
    };
    const QVector<Listed> listed{{QStringLiteral("plan.pdf"), 50614}, {QStringLiteral("메모.txt"), 1200}};
    QByteArray listXml;
    for (int i = 0; i < listed.size(); ++i)
        listXml += "<messageAttachment xml:space=\"preserve\" OPFAttachmentContentType=\"application/pdf\" "
                "OPFAttachmentContentFileSize=\"" + QByteArray::number(double(listed.at(i).size), 'E', 4) + "\" "
                "OPFAttachmentName=\"" + listed.at(i).name.toUtf8() + "\" "
                "OPFAttachmentURL=\"Local/com.microsoft.__Messages/On My Computer/Inbox/com.microsoft.__Attachments/1_000"
                + QByteArray::number(i) + "\"></messageAttachment>";
    const QString subject = QStringLiteral("Attachments gone");
    OlmBuilder olm;
    olm.entry("Local/com.microsoft.__Messages/On My Computer/Inbox/message_00000.xml",
              "<emails xml:space=\"preserve\" elementCount=\"1\"><email xml:space=\"preserve\">"
              "<OPFMessageCopyAttachmentList xml:space=\"preserve\">" + listXml + "</OPFMessageCopyAttachmentList>"
              "<OPFMessageCopySubject xml:space=\"preserve\">" + subject.toUtf8() + "</OPFMessageCopySubject>"
              "</email></emails>");
    const QString path = m_dir.filePath(QStringLiteral("gone.olm"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(olm.bytes) == olm.bytes.size());
    file.close();
    FolderInformation parsers;
    QCOMPARE(int(scanFile(path, parsers, WalkHooks())), int(ScanResult::Finished));
    m_selectedFile = path;
    m_pParseDatabase->GenerateTree();
    const MailMLRC *mail = TmpMlrcPtrStart;
    QVERIFY(mail && !mail->AttachNames);

    m_pParseDatabase->ShowindivisualMailItemsInfo(objMapFileIdTreeItem.value(qint64(mail->ParentId)), 0); // a copy: the packed field is not aligned
    const QList<QTreeWidgetItem *> rows = m_window->itemList()->findItems(subject, Qt::MatchExactly, ItemTextColumn);
    QCOMPARE(rows.size(), 1);
    QVERIFY(!rows.first()->icon(ItemAttachmentColumn).isNull());

    m_pPreview->OnMessageSubjectClicked(rows.first(), 0);
    QCOMPARE(list()->topLevelItemCount(), listed.size());
    for (int i = 0; i < listed.size(); ++i) {
        QCOMPARE(list()->topLevelItem(i)->text(AttachmentList::NameColumn), listed.at(i).name);
        QCOMPARE(list()->topLevelItem(i)->text(AttachmentList::SizeColumn), sizeText(listed.at(i).size) + QStringLiteral(", missing"));
        QVERIFY(m_window->headerBrowser()->toPlainText().contains(listed.at(i).name + QStringLiteral(" (missing)")));
    }
    PathAnswerer chooser(m_dir.filePath(QStringLiteral("never")));
    MessageBoxAnswerer boxes(QMessageBox::Ok);
    list()->saveAttachmentAs(0);
    QCOMPARE(chooser.titles, QStringList());
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never"))));
}

QTEST_MAIN(AttachmentListTest)
#include "test_attachmentlist.moc"
