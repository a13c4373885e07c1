// The five category buttons: selection, caption and the hover animation.
#include "app/MyButton.h"
#include "app/QEntourageMainWindow.h"
#include "olm/FolderHierarchy.h"
#include "parsers/RecordLists.h"

#include <QAction>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

namespace {
const char *const kStems[] = {":/images/img_Normal", ":/images/img_NormalC", ":/images/img_NormalCA",
                              ":/images/img_NormalN", ":/images/img_NormalT"};
const char *const kClickImages[] = {":/images/img_MailClick.png", ":/images/img_AddressClick.png",
                                    ":/images/img_CalendarClick.png", ":/images/img_NotesClick.png",
                                    ":/images/img_TasksClick.png"};
const char *const kCaptions[] = {"Mail", "Address Book", "Calendar", "Notes", "Tasks"};

QImage fileImage(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage normalImage(Category category)
{
    return fileImage(QLatin1String(kStems[int(category)]) + QLatin1String(".png"));
}

QImage frameImage(Category category, int frame)
{
    return fileImage(QLatin1String(kStems[int(category)]) + QString::number(frame) + QLatin1String(".png"));
}

QImage clickImage(Category category)
{
    return fileImage(QLatin1String(kClickImages[int(category)]));
}

QImage shownImage(MyButton *button)
{
    return button->icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void hover(MyButton *button, QEvent::Type type)
{
    QEvent event(type);
    QCoreApplication::sendEvent(button, &event);
}
} // namespace

class CategoryButtonTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyFrameIsItsOwnImage();
    void selectionSetsCaptionCheckAndImages_data();
    void selectionSetsCaptionCheckAndImages();
    void hoverOverCheckedButtonNeverAnimates();
    void enterShowsFramesOneToThirteen();
    void leaveShowsThirteenToOneThenNormal();
    void timersRunTheAnimationAndStop();
    void leaveCaptionFollowsTheCheckedButton();
    void leaveWithNothingCheckedKeepsTheCaption();
    void mailSelectionRebuildsTheTreeOnlyWithData();

private:
    std::unique_ptr<QEntourageMainWindow> m_window;
};

void CategoryButtonTest::init()
{
    m_window.reset(new QEntourageMainWindow);
}

void CategoryButtonTest::cleanup()
{
    m_window.reset();
    freeRecordLists();
    resetFolderHierarchy();
}

void CategoryButtonTest::everyFrameIsItsOwnImage()
{
    // The animation is only visible when neighbouring frames differ.
    for (int c = 0; c < kCategoryCount; ++c) {
        const Category category = Category(c);
        QImage previous = normalImage(category);
        QVERIFY(!previous.isNull());
        for (int frame = 1; frame <= kHoverFrames; ++frame) {
            const QImage image = frameImage(category, frame);
            QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("%1 frame %2").arg(kStems[c]).arg(frame)));
            QVERIFY(image != previous);
            previous = image;
        }
        QVERIFY(clickImage(category) != normalImage(category));
    }
}

void CategoryButtonTest::selectionSetsCaptionCheckAndImages_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("folderTreeVariant");
    for (int c = 0; c < kCategoryCount; ++c) {
        QTest::newRow(qPrintable(QStringLiteral("%1").arg(kCaptions[c]))) << c << false;
        QTest::newRow(qPrintable(QStringLiteral("%1 from the folder tree").arg(kCaptions[c]))) << c << true;
    }
}

void CategoryButtonTest::selectionSetsCaptionCheckAndImages()
{
    QFETCH(int, selected);
    QFETCH(bool, folderTreeVariant);
    using Select = void (QEntourageMainWindow::*)();
    const Select routines[] = {&QEntourageMainWindow::OnMailButtonClicked,
                               &QEntourageMainWindow::OnContactButtonClicked,
                               &QEntourageMainWindow::OnCalendarButtonClicked,
                               &QEntourageMainWindow::OnNotesButtonClicked,
                               &QEntourageMainWindow::OnTasksButtonClicked};
    const Select treeRoutines[] = {&QEntourageMainWindow::OnClickedMailButton,
                                   &QEntourageMainWindow::OnClickedContButton,
                                   &QEntourageMainWindow::OnClickedCalButton,
                                   &QEntourageMainWindow::OnClickedNoteButton,
                                   &QEntourageMainWindow::OnClickedTaskButton};
    // Start from another selection, so that every button has to change.
    (m_window.get()->*routines[(selected + 1) % kCategoryCount])();
    (m_window.get()->*(folderTreeVariant ? treeRoutines : routines)[selected])();

    QCOMPARE(m_window->categoryCaption()->text(), QString::fromLatin1(kCaptions[selected]));
    for (int c = 0; c < kCategoryCount; ++c) {
        MyButton *button = m_window->categoryButton(Category(c));
        QCOMPARE(button->isChecked(), c == selected);
        QCOMPARE(shownImage(button), c == selected ? clickImage(Category(c)) : normalImage(Category(c)));
    }
    if (selected == int(Category::Mail))
        QVERIFY(m_window->viewAction(Category::Mail)->isChecked());
}

void CategoryButtonTest::hoverOverCheckedButtonNeverAnimates()
{
    m_window->OnNotesButtonClicked();
    MyButton *notes = m_window->categoryButton(Category::Notes);
    m_window->categoryCaption()->setText(QString());

    hover(notes, QEvent::Enter);
    QCOMPARE(shownImage(notes), clickImage(Category::Notes));
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Notes"));
    QTest::qWait(150); // five timer intervals: a running animation would have moved on
    QCOMPARE(shownImage(notes), clickImage(Category::Notes));

    hover(notes, QEvent::Leave);
    QTest::qWait(150);
    QCOMPARE(shownImage(notes), clickImage(Category::Notes));
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Notes"));
}

void CategoryButtonTest::enterShowsFramesOneToThirteen()
{
    MyButton *calendar = m_window->categoryButton(Category::Calendar);
    hover(calendar, QEvent::Enter);
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Calendar"));

    // Ticks by hand: the timer cannot fire while no events are processed.
    m_window->TimerStartCalender();
    QCOMPARE(shownImage(calendar), normalImage(Category::Calendar));
    for (int frame = 1; frame <= kHoverFrames; ++frame) {
        m_window->TimerStartCalender();
        QCOMPARE(shownImage(calendar), frameImage(Category::Calendar, frame));
    }
    // The fourteenth tick stopped the timer: the last frame stays.
    QTest::qWait(150);
    QCOMPARE(shownImage(calendar), frameImage(Category::Calendar, kHoverFrames));
}

void CategoryButtonTest::leaveShowsThirteenToOneThenNormal()
{
    MyButton *tasks = m_window->categoryButton(Category::Tasks);
    hover(tasks, QEvent::Leave);
    for (int frame = kHoverFrames; frame >= 1; --frame) {
        m_window->TimerLeaveTask();
        QCOMPARE(shownImage(tasks), frameImage(Category::Tasks, frame));
    }
    m_window->TimerLeaveTask();
    QCOMPARE(shownImage(tasks), normalImage(Category::Tasks));
    QTest::qWait(150);
    QCOMPARE(shownImage(tasks), normalImage(Category::Tasks));
}

void CategoryButtonTest::timersRunTheAnimationAndStop()
{
    MyButton *contacts = m_window->categoryButton(Category::Contacts);
    hover(contacts, QEvent::Enter);
    QTRY_COMPARE_WITH_TIMEOUT(shownImage(contacts), frameImage(Category::Contacts, kHoverFrames), 3000);
    hover(contacts, QEvent::Leave);
    QTRY_COMPARE_WITH_TIMEOUT(shownImage(contacts), normalImage(Category::Contacts), 3000);
    QTest::qWait(150);
    QCOMPARE(shownImage(contacts), normalImage(Category::Contacts));
}

void CategoryButtonTest::leaveCaptionFollowsTheCheckedButton()
{
    m_window->OnTasksButtonClicked();
    MyButton *mail = m_window->categoryButton(Category::Mail);
    hover(mail, QEvent::Enter);
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Mail"));
    hover(mail, QEvent::Leave);
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Tasks"));
}

void CategoryButtonTest::leaveWithNothingCheckedKeepsTheCaption()
{
    for (int c = 0; c < kCategoryCount; ++c)
        QVERIFY(!m_window->categoryButton(Category(c))->isChecked());
    MyButton *contacts = m_window->categoryButton(Category::Contacts);
    hover(contacts, QEvent::Enter);
    hover(contacts, QEvent::Leave);
    QCOMPARE(m_window->categoryCaption()->text(), QStringLiteral("Address Book"));
}

void CategoryButtonTest::mailSelectionRebuildsTheTreeOnlyWithData()
{
    treeCreator(QStringLiteral("Inbox"));
    m_window->OnMailButtonClicked();
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 0); // nothing scanned

    appendRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount);
    m_window->OnClickedMailButton();
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 0); // the folder tree's variant never builds

    m_window->OnMailButtonClicked();
    QCOMPARE(m_window->folderTree()->topLevelItemCount(), 1);
    QTreeWidgetItem *root = m_window->folderTree()->topLevelItem(0);
    QCOMPARE(root->childCount(), 1); // Inbox; "Folder1" holds no mail
    QCOMPARE(root->child(0)->text(0), QStringLiteral("Inbox"));
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    CategoryButtonTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_categorybuttons.moc"
