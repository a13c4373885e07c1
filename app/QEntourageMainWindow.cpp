#include "app/QEntourageMainWindow.h"

#include "app/AboutDlg.h"
#include "app/AppPaths.h"
#include "app/AppState.h"
#include "app/InformationDlg.h"
#include "olm/LossAccount.h"
#include "app/MyButton.h"
#include "app/QProgressInfo.h"
#include "browse/AttachmentList.h"
#include "browse/MailSearchPane.h"
#include "app/SaveWorkflow.h"
#include "app/WebViewGuard.h"
#include "app/WidgetLook.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "browse/SearchableRow.h"
#include "browse/SizeText.h"
#include "log/QLogReport.h"
#include "olm/FolderHierarchy.h"
#include "scan/ScanSession.h"
#include "olm/ScanState.h"
#include "parsers/RecordLists.h"
#include "parsers/RecordText.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <QWebView>
#include <climits>

namespace {
// The window's first size where the screen allows it, and its panes' first widths.
constexpr int kPreferredWidth = 1280;
constexpr int kPreferredHeight = 800;
constexpr int kFolderTreeWidth = 240;
constexpr int kItemListWidth = 600;
constexpr int kPreviewWidth = 420;
// The smallest the window goes: a small laptop screen; the panes' own minimums fit in it.
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 600;
constexpr int kFolderTreeMinimumWidth = 180;
constexpr int kPreviewMinimumWidth = 300;

// How each category looks and what it lists.
struct CategoryLook {
    const char *normalImage;
    const char *frameStem;  // frame n is stem + n + ".png"
    const char *clickImage;
    const char *caption;
    const char *viewText;
    const char *shortcut;
    FolderType folderType;
};
const CategoryLook kLooks[kCategoryCount] = {
    {":/images/img_Normal.png", ":/images/img_Normal", ":/images/img_MailClick.png",
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Mail"), QT_TRANSLATE_NOOP("QEntourageMainWindow", "Mail"),
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Ctrl+1"), MailFolderType},
    {":/images/img_NormalC.png", ":/images/img_NormalC", ":/images/img_AddressClick.png",
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Address Book"),
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Address Book"), QT_TRANSLATE_NOOP("QEntourageMainWindow", "Ctrl+2"),
     ContactsFolderType},
    {":/images/img_NormalCA.png", ":/images/img_NormalCA", ":/images/img_CalendarClick.png",
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Calendar"), QT_TRANSLATE_NOOP("QEntourageMainWindow", "Calendar"),
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Ctrl+3"), CalendarFolderType},
    {":/images/img_NormalN.png", ":/images/img_NormalN", ":/images/img_NotesClick.png",
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Notes"), QT_TRANSLATE_NOOP("QEntourageMainWindow", "Notes"),
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Ctrl+4"), NotesFolderType},
    {":/images/img_NormalT.png", ":/images/img_NormalT", ":/images/img_TasksClick.png",
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Tasks"), QT_TRANSLATE_NOOP("QEntourageMainWindow", "Tasks"),
     QT_TRANSLATE_NOOP("QEntourageMainWindow", "Ctrl+5"), TasksFolderType},
};

const CategoryLook &look(Category category)
{
    return kLooks[int(category)];
}

const int kAnimationIntervalMs = 30;
// Longest wait for the window system to show the progress dialog before a scan.
const int kFirstPaintWaitMs = 500;
// Titles say what a window is for; the window system adds the application's name.
const char kOpenTitle[] = QT_TRANSLATE_NOOP("QEntourageMainWindow", "Open OLM File");
const char kQuitTitle[] = QT_TRANSLATE_NOOP("QEntourageMainWindow", "Quit Mendora");

bool categoryHasData(Category category)
{
    switch (category) {
    case Category::Mail: return TmpMlrcPtrStart != nullptr;
    case Category::Contacts: return TmpCTRCPtrStart != nullptr;
    case Category::Calendar: return TmpCLRCPtrStart != nullptr;
    case Category::Notes: return TmpNTRCPtrStart != nullptr;
    case Category::Tasks: return TmpTSRCPtrStart != nullptr;
    }
    return false;
}

QLabel *spacerLabel(int width, int height)
{
    auto *label = new QLabel;
    label->setFixedSize(width, height);
    return label;
}
} // namespace

QEntourageMainWindow::QEntourageMainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    pMainWindow = this;
    m_pSaveWorkflow = new SaveWorkflow(this);
    m_pLogDlg = new QLogReport(this);
    TmpMlrcPtrStart = nullptr;
    TmpCTRCPtrStart = nullptr;
    TmpCLRCPtrStart = nullptr;
    TmpTSRCPtrStart = nullptr;
    TmpNTRCPtrStart = nullptr;

    OnInitialize();
    CreateLeftDockWindows();

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    // Room for the three panes where the screen has it; never more than nine tenths of it.
    resize(qMin(kPreferredWidth, desktop.width() * 9 / 10), qMin(kPreferredHeight, desktop.height() * 9 / 10));
    move(qMax(0, (desktop.width() - width()) / 2 - 130), qMax(0, (desktop.height() - height()) / 2 - 50));

    ConnectSignals();
    setUnifiedTitleAndToolBarOnMac(true);
    setContextMenuPolicy(Qt::NoContextMenu);
}

QEntourageMainWindow::~QEntourageMainWindow()
{
    // The children go with the window; nothing may point at them afterwards.
    pMainWindow = nullptr;
    m_pParseDatabase = nullptr;
    m_pLogDlg = nullptr;
    m_pOpenFile = nullptr;
    m_pPreview = nullptr;
    objMapFileIdTreeItem.clear();
}

MyButton *QEntourageMainWindow::categoryButton(Category category) const
{
    return m_categories[size_t(category)].button;
}

QAction *QEntourageMainWindow::viewAction(Category category) const
{
    return m_categories[size_t(category)].viewAction;
}

QProgressInfo *QEntourageMainWindow::progressDialog() const
{
    return m_pProgress;
}

QEntourageMainWindow::CategoryControls &QEntourageMainWindow::controls(Category category)
{
    return m_categories[size_t(category)];
}

void QEntourageMainWindow::OnInitialize()
{
    CreateActions();
    CreateMyToolBar();
    CreateMenuBar();
    setStatusBar(new QStatusBar(this));
}

void QEntourageMainWindow::CreateActions()
{
    auto makeAction = [this](const QString &text, const QString &shortcut, const QString &tip) {
        auto *action = new QAction(text, this);
        if (!shortcut.isEmpty())
            action->setShortcut(QKeySequence(shortcut));
        if (!tip.isEmpty())
            action->setToolTip(tip);
        return action;
    };

    m_pMenuOpen = makeAction(tr("Open"), tr("Ctrl+N"), tr("Open"));
    m_pMenuSave = makeAction(tr("Save"), tr("Ctrl+S"), tr("Save"));
    m_pFindFile = makeAction(tr("Find File"), tr("Ctrl+F"), tr("Find File"));
    m_pLogReport = makeAction(tr("Log Report"), tr("Ctrl+L"), tr("Log Report"));
    // Ctrl stands for Command on a Mac: Cmd+Q there.
    m_pQuit = makeAction(tr("Quit"), tr("Ctrl+Q"), tr("Quit"));
    m_pQuit->setMenuRole(QAction::QuitRole);
    for (int i = 0; i < kCategoryCount; ++i) {
        const CategoryLook &category = kLooks[i];
        m_categories[size_t(i)].viewAction =
            makeAction(tr(category.viewText), tr(category.shortcut), tr(category.viewText));
    }
    controls(Category::Mail).viewAction->setCheckable(true);

    m_pOpenFile = makeAction(tr("Open"), tr("Ctrl+N"), tr("Open"));
    m_pOpenFile->setIcon(QIcon(QStringLiteral(":/images/img_openFile.png")));
    m_pToolbarSave = makeAction(tr("Save"), tr("Ctrl+S"), tr("Save"));
    m_pToolbarSave->setIcon(QIcon(QStringLiteral(":/images/img_SaveFile.png")));
    // The menu and toolbar actions share their shortcuts; the menu ones answer the keys.
    m_pOpenFile->setShortcutContext(Qt::WidgetShortcut);
    m_pToolbarSave->setShortcutContext(Qt::WidgetShortcut);
    SetSaveActionsEnabled(false);

    m_pAbout = makeAction(tr("&About Mendora..."), QString(), QString());
    m_pAbout->setMenuRole(QAction::AboutRole);
    m_pHelpTopics = makeAction(tr("&Help Topics..."), tr("Ctrl+?"), QString());
    m_pOrder = makeAction(tr("&Order Mendora"), QString(), QString());
    m_pEmailSupport = makeAction(tr("&Email to Veltrax Support"), QString(), QString());
    m_pViewSupport = makeAction(tr("&View Support Section"), QString(), QString());
    m_pSubmitEnquiry = makeAction(tr("&Submit Enquiry"), QString(), QString());
    m_pKnowledgeBase = makeAction(tr("&View Knowledge Base Articles"), QString(), QString());

    connect(m_pMenuSave, &QAction::triggered, m_pSaveWorkflow, &SaveWorkflow::OnSavingFiles);
    connect(m_pToolbarSave, &QAction::triggered, m_pSaveWorkflow, &SaveWorkflow::OnSavingFiles);

    connect(m_pMenuOpen, &QAction::triggered, this, &QEntourageMainWindow::OnOpenFile);
    connect(m_pOpenFile, &QAction::triggered, this, &QEntourageMainWindow::OnOpenFile);
    connect(m_pLogReport, &QAction::triggered, this, &QEntourageMainWindow::OnLogReport);
    // Through closeEvent: the same question, and the same refusal while work runs.
    connect(m_pQuit, &QAction::triggered, this, &QWidget::close);
    connect(m_pFindFile, &QAction::triggered, this, &QEntourageMainWindow::OnFindFiles);
    connect(viewAction(Category::Mail), &QAction::triggered, this, &QEntourageMainWindow::OnMailView);
    connect(viewAction(Category::Contacts), &QAction::triggered, this, &QEntourageMainWindow::OnAddressView);
    connect(viewAction(Category::Calendar), &QAction::triggered, this, &QEntourageMainWindow::OnCalenderView);
    connect(viewAction(Category::Notes), &QAction::triggered, this, &QEntourageMainWindow::OnNotesView);
    connect(viewAction(Category::Tasks), &QAction::triggered, this, &QEntourageMainWindow::OnTasksView);
    connect(m_pAbout, &QAction::triggered, this, &QEntourageMainWindow::aboutVeltraxCorvane);
    connect(m_pHelpTopics, &QAction::triggered, this, &QEntourageMainWindow::OpenHelp);
    connect(m_pOrder, &QAction::triggered, this, &QEntourageMainWindow::OnBuyOnline);
    connect(m_pEmailSupport, &QAction::triggered, this, &QEntourageMainWindow::OnEmailSupport);
    connect(m_pViewSupport, &QAction::triggered, this, &QEntourageMainWindow::OnViewSupport);
    connect(m_pSubmitEnquiry, &QAction::triggered, this, &QEntourageMainWindow::OnGenerateTicket);
    connect(m_pKnowledgeBase, &QAction::triggered, this, &QEntourageMainWindow::OnKnowledgeBase);
}

void QEntourageMainWindow::CreateMyToolBar()
{
    QToolBar *toolbar = addToolBar(tr("ToolBar"));
    toolbar->setObjectName(QStringLiteral("ToolBar"));
    toolbar->setOrientation(Qt::Horizontal);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(35, 35));
    // Captions sit under the icons: the toolbar centres its items, so each caption
    // travels with its buttons rather than at a fixed place.
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    auto *spacerButton = new QToolButton(toolbar);
    spacerButton->setFixedSize(0, 28);
    toolbar->addWidget(spacerButton);

    auto *categoryStrip = new QWidget(toolbar);
    auto *stripLayout = new QVBoxLayout(categoryStrip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->setSpacing(2);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(2);
    for (int i = 0; i < kCategoryCount; ++i) {
        auto *button = new MyButton(categoryStrip);
        const QIcon icon(QLatin1String(kLooks[i].normalImage));
        button->setIcon(icon);
        button->setFixedSize(30, 28);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        // The images are the whole button: no frame or padding around them.
        button->setAutoRaise(true);
        button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; background: transparent; }"));
        button->setCursor(Qt::PointingHandCursor);
        button->setMask(icon.pixmap(button->size()).mask());
        button->setToolTip(tr(kLooks[i].caption));
        buttonRow->addWidget(button);
        m_categories[size_t(i)].button = button;
    }
    stripLayout->addLayout(buttonRow);
    m_pCategoryCaption = new QLabel(categoryStrip);
    m_pCategoryCaption->setFont(lucidaGrande(11));
    m_pCategoryCaption->setAlignment(Qt::AlignCenter);
    stripLayout->addWidget(m_pCategoryCaption);
    toolbar->addWidget(categoryStrip);

    toolbar->addWidget(spacerLabel(0, 58));
    toolbar->addSeparator();
    toolbar->addWidget(spacerLabel(25, 12));
    toolbar->addAction(m_pOpenFile);
    toolbar->addAction(m_pToolbarSave);
    toolbar->addWidget(spacerLabel(25, 15));
    toolbar->widgetForAction(m_pOpenFile)->setFont(lucidaGrande(10));
    toolbar->widgetForAction(m_pToolbarSave)->setFont(lucidaGrande(11));
}

void QEntourageMainWindow::CreateMenuBar()
{
    QMenu *application = menuBar()->addMenu(tr("&Mendora"));
    application->addAction(m_pAbout);

    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_pMenuOpen);
    file->addAction(m_pMenuSave);
    file->addAction(m_pFindFile);
    file->addSeparator();
    file->addAction(m_pLogReport);
    file->addSeparator();
    file->addAction(m_pQuit);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    for (const CategoryControls &category : m_categories)
        view->addAction(category.viewAction);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(m_pHelpTopics);
    help->addSeparator();
    help->addAction(m_pOrder);
    help->addSeparator();
    help->addAction(m_pEmailSupport);
    help->addAction(m_pViewSupport);
    help->addAction(m_pSubmitEnquiry);
    help->addAction(m_pKnowledgeBase);
}

void QEntourageMainWindow::CreateLeftDockWindows()
{
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setChildrenCollapsible(false);
    m_pSplitter->setHandleWidth(1);
    m_pSplitter->setStyleSheet(QStringLiteral(
        "QSplitter::handle:horizontal { image: url(:images/img_Vsplitter.png); border: 0px solid #ABABAB;"
        " background: #ABABAB; }"
        "QSplitter::handle:vertical { image: url(:images/img_Hsplitter.png); border: 0px solid #ABABAB;"
        " background: #ABABAB; }"));

    m_pFolderTree = new QTreeWidget(m_pSplitter);
    m_pFolderTree->setHeaderHidden(true);
    m_pFolderTree->setColumnCount(8);
    m_pFolderTree->setHeaderLabels(QStringList(QString()));
    for (int column = 1; column < 8; ++column)
        m_pFolderTree->hideColumn(column);
    m_pFolderTree->header()->resizeSection(0, 400);
    m_pFolderTree->setMinimumWidth(kFolderTreeMinimumWidth);
    m_pFolderTree->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pFolderTree->setAutoFillBackground(true);
    QPalette treePalette = m_pFolderTree->palette();
    treePalette.setColor(QPalette::AlternateBase, QColor(223, 226, 235));
    treePalette.setColor(QPalette::Highlight, QColor(154, 154, 200));
    m_pFolderTree->setPalette(treePalette);

    // The item list with the search box above it, or in its place the results of a
    // search across every folder.
    m_pListStack = new QStackedWidget(m_pSplitter);
    auto *listPane = new QWidget(m_pListStack);
    m_pListStack->addWidget(listPane);
    m_pMailSearch = new MailSearchPane(m_pListStack);
    m_pListStack->addWidget(m_pMailSearch);
    findChild<QToolBar *>(QStringLiteral("ToolBar"))->addWidget(m_pMailSearch->searchBar());
    // Nothing to search until a scan has finished.
    m_pMailSearch->setLocked(true);
    connect(m_pMailSearch, &MailSearchPane::resultsWanted, this, [this] { m_pListStack->setCurrentWidget(m_pMailSearch); });
    connect(m_pMailSearch, &MailSearchPane::resultsDismissed, this, [this] { m_pListStack->setCurrentIndex(0); });
    connect(m_pMailSearch, &MailSearchPane::saveResultsRequested, this,
            [this] { m_pSaveWorkflow->saveSearchResults(m_pMailSearch->filter(), m_pMailSearch->results()->rowCount()); });
    connect(m_pMailSearch, &MailSearchPane::uploadResultsRequested, this,
            [this] { m_pSaveWorkflow->uploadSearchResults(m_pMailSearch->filter()); });
    auto *listLayout = new QVBoxLayout(listPane);
    listLayout->setSpacing(0);
    listLayout->setContentsMargins(0, 0, 0, 0);
    m_pSearchBox = new QLineEdit(listPane);
    m_pSearchBox->setObjectName(QStringLiteral("searchBox"));
    m_pSearchBox->setPlaceholderText(tr("Search this list"));
    m_pSearchBox->setClearButtonEnabled(true);
    listLayout->addWidget(m_pSearchBox);
    m_pItemList = new QTreeWidget(listPane);
    listLayout->addWidget(m_pItemList, 1);
    m_pItemList->setColumnCount(ItemColumnCount);
    m_pItemList->setHeaderLabels({QString(), QString(), QString(), QString(), tr("Subject"), QString(), QString(),
                                  QString(), tr("From"), tr("Date"), tr("Size")});
    for (int column : {0, 5, 6, 7})
        m_pItemList->hideColumn(column);
    QTreeWidgetItem *header = m_pItemList->headerItem();
    header->setIcon(1, QIcon(QStringLiteral(":/images/img_Priority.png")));
    header->setIcon(2, QIcon(QStringLiteral(":/images/img_FileType.png")));
    header->setIcon(3, QIcon(QStringLiteral(":/images/img_Attachment.png")));
    header->setSizeHint(0, QSize(20, 20));
    for (int column = 1; column <= 3; ++column)
        m_pItemList->setColumnWidth(column, 24);
    m_pItemList->setAlternatingRowColors(true);
    QPalette listPalette = m_pItemList->palette();
    listPalette.setColor(QPalette::AlternateBase, Qt::white);
    listPalette.setColor(QPalette::Highlight, QColor(56, 117, 215));
    m_pItemList->setPalette(listPalette);
    m_pItemList->setMinimumWidth(270);
    // Every row is 20 pixels high: the view need not measure tens of thousands of rows.
    m_pItemList->setUniformRowHeights(true);
    m_pItemList->setRootIsDecorated(false);
    for (int column = ItemFirstDetailColumn; column < ItemColumnCount; ++column)
        m_pItemList->setColumnWidth(column, 140);
    m_pItemList->header()->setSectionsClickable(true);
    connect(m_pItemList->header(), &QHeaderView::sectionClicked, this, &QEntourageMainWindow::sortItemList);
    connect(m_pSearchBox, &QLineEdit::textChanged, this, &QEntourageMainWindow::filterItemList);
    // Rows of a new list meet the search already typed.
    connect(m_pItemList->model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        // An inserted row is shown, whatever it was before.
        for (int i = first; i <= last; ++i) {
            if (auto *row = dynamic_cast<SearchableRow *>(m_pItemList->topLevelItem(i)))
                row->filteredOut = false;
        }
        m_filterKnown = false;
        if (!m_pSearchBox->text().isEmpty())
            filterItemList(m_pSearchBox->text());
    });

    auto *previewFrame = new QFrame(m_pSplitter);
    auto *previewLayout = new QVBoxLayout(previewFrame);
    previewLayout->setSpacing(0);
    previewLayout->setContentsMargins(0, 0, 0, 0);

    m_pHeaderBrowser = new QTextBrowser(previewFrame);
    m_pHeaderBrowser->setReadOnly(true);
    m_pHeaderBrowser->setAcceptRichText(false);
    m_pHeaderBrowser->setAutoFormatting(QTextEdit::AutoNone);
    m_pHeaderBrowser->setTextInteractionFlags(Qt::NoTextInteraction);
    m_pHeaderBrowser->setFont(lucidaGrande(11));
    m_pHeaderBrowser->setFixedHeight(kHeaderMinimumHeight);
    m_pHeaderBrowser->setMinimumWidth(kPreviewMinimumWidth);
    previewLayout->addWidget(m_pHeaderBrowser);

    m_pAttachmentList = new AttachmentList(previewFrame);
    m_pAttachmentList->setMinimumWidth(kPreviewMinimumWidth);
    previewLayout->addWidget(m_pAttachmentList);

    m_pWebView = new QWebView(previewFrame);
    restrictWebView(m_pWebView);
    m_pWebView->setMinimumWidth(kPreviewMinimumWidth);
    previewLayout->addWidget(m_pWebView, 1);

    m_pDetailsBrowser = new QTextBrowser(previewFrame);
    m_pDetailsBrowser->hide();
    previewLayout->addWidget(m_pDetailsBrowser, 1);
    // With the web view closed the header box stays at the top.
    previewLayout->addStretch();

    // Width gained beyond the tree's goes to the list and the preview alike, so that the
    // list's columns show beside the subject.
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setStretchFactor(2, 1);
    m_pSplitter->setSizes({kFolderTreeWidth, kItemListWidth, kPreviewWidth});
    setCentralWidget(m_pSplitter);

    PreviewPanes panes;
    panes.header = m_pHeaderBrowser;
    panes.details = m_pDetailsBrowser;
    panes.webView = m_pWebView;
    panes.attachments = m_pAttachmentList;
    m_pPreview = new QPreviewOfItems(panes, this);
}

void QEntourageMainWindow::ConnectSignals()
{
    bLastState = true;
    for (int i = 0; i < kCategoryCount; ++i) {
        CategoryControls &category = m_categories[size_t(i)];
        category.enterTimer = new QTimer(this);
        category.leaveTimer = new QTimer(this);
        category.enterTimer->setInterval(kAnimationIntervalMs);
        category.leaveTimer->setInterval(kAnimationIntervalMs);
        category.frame = 0;
    }
    CreateBrowseWindow();

    struct Wiring {
        Category category;
        void (QEntourageMainWindow::*view)();
        void (QEntourageMainWindow::*enter)();
        void (QEntourageMainWindow::*leave)();
        void (QEntourageMainWindow::*enterTimer)();
        void (QEntourageMainWindow::*leaveTimer)();
    };
    const Wiring wiring[] = {
        {Category::Mail, &QEntourageMainWindow::OnMailView, &QEntourageMainWindow::OnMailEnter,
         &QEntourageMainWindow::OnMailLeave, &QEntourageMainWindow::TimerStart, &QEntourageMainWindow::TimerLeave},
        {Category::Contacts, &QEntourageMainWindow::OnAddressView, &QEntourageMainWindow::OnContactEnter,
         &QEntourageMainWindow::OnContactLeave, &QEntourageMainWindow::TimerStartContact,
         &QEntourageMainWindow::TimerLeaveContact},
        {Category::Calendar, &QEntourageMainWindow::OnCalenderView, &QEntourageMainWindow::OnCalendarEnter,
         &QEntourageMainWindow::OnCalendarLeave, &QEntourageMainWindow::TimerStartCalender,
         &QEntourageMainWindow::TimerLeaveCalender},
        {Category::Notes, &QEntourageMainWindow::OnNotesView, &QEntourageMainWindow::OnNotesEnter,
         &QEntourageMainWindow::OnNotesLeave, &QEntourageMainWindow::TimerStartNote,
         &QEntourageMainWindow::TimerLeaveNote},
        {Category::Tasks, &QEntourageMainWindow::OnTasksView, &QEntourageMainWindow::OnTasksEnter,
         &QEntourageMainWindow::OnTasksLeave, &QEntourageMainWindow::TimerStartTask,
         &QEntourageMainWindow::TimerLeaveTask},
    };
    for (const Wiring &wire : wiring) {
        CategoryControls &category = controls(wire.category);
        connect(category.button, &MyButton::clicked, this, wire.view);
        connect(category.button, &MyButton::ChangePixmap, this, wire.enter);
        connect(category.button, &MyButton::OnUpdatePixmap, this, wire.leave);
        connect(category.enterTimer, &QTimer::timeout, this, wire.enterTimer);
        connect(category.leaveTimer, &QTimer::timeout, this, wire.leaveTimer);
    }
}

namespace {
// Every loss of the scan just ended, one line each, under the line the summary shows.
void logScanLosses()
{
    const QString summary = lossSummaryLine();
    if (!m_pLogDlg || summary.isEmpty())
        return;
    m_pLogDlg->AppendLog(QStringLiteral("Scan of %1: %2").arg(m_selectedFile, summary));
    for (const Loss &loss : recordedLosses())
        m_pLogDlg->AppendLog(lossLogLine(loss));
    if (recordedLosses().size() >= kLossEntriesKept)
        m_pLogDlg->AppendLog(QStringLiteral("(only the first %1 losses are listed; %2 in all)").arg(kLossEntriesKept).arg(lossTotal()));
}
} // namespace

void QEntourageMainWindow::CreateBrowseWindow(const QString &chosenFile)
{
    // Only the newest browse window stays; an old one would still answer the folder tree.
    if (m_pParseDatabase)
        m_pParseDatabase->deleteLater();
    QParseDatabase *browse = new QParseDatabase(this, m_pFolderTree, m_pItemList, m_pPreview);
    m_pParseDatabase = browse;
    // The rows and the search read the records that the new scan is about to free.
    connect(browse, &QParseDatabase::scanStarting, this, &QEntourageMainWindow::ClearPreviewPanes);
    connect(browse, &QParseDatabase::scanStarting, m_pMailSearch, &MailSearchPane::reset);
    connect(browse, &QParseDatabase::OnInitialSettings, this, &QEntourageMainWindow::SetInitialSettings);
    connect(browse, &QParseDatabase::OnProgressvalue, this, &QEntourageMainWindow::SetProgressValue);
    // Controls first, then the mail category with its freshly built tree.
    connect(browse, &QParseDatabase::OnFinishScanning, this, &QEntourageMainWindow::SetFinishSettingsForMail);
    connect(browse, &QParseDatabase::OnFinishScanning, this, &QEntourageMainWindow::OnMailButtonClicked);
    connect(browse, &QParseDatabase::InformationDlgOpen, this, &QEntourageMainWindow::OnInformationDlg);
    connect(browse, &QParseDatabase::OnFinishScanning, this, &logScanLosses);
    connect(browse, &QParseDatabase::folderOpened, this, &QEntourageMainWindow::selectCategoryOfFolder);
    connect(m_pFolderTree, &QTreeWidget::itemClicked, browse, &QParseDatabase::ShowindivisualMailItemsInfo);
    connect(m_pFolderTree, &QTreeWidget::itemChanged, browse, &QParseDatabase::OnFolderBoxChanged);
    connect(m_pFolderTree, &QTreeWidget::currentItemChanged, browse, &QParseDatabase::OnFolderTreeCurrentChanged);
    connect(m_pItemList, &QTreeWidget::itemSelectionChanged, browse, &QParseDatabase::OnMessageSubjectChanged);
    if (!chosenFile.isEmpty())
        browse->ChooseFile(chosenFile);
    // A window manager stacks a dialog mapped before its parent behind it: the first
    // browse window waits until this window is up (showEvent).
    if (isVisible())
        presentBrowseWindow();
}

void QEntourageMainWindow::presentBrowseWindow()
{
    if (!m_pParseDatabase)
        return;
    m_pParseDatabase->show();
    m_pParseDatabase->raise();
    m_pParseDatabase->activateWindow();
}

void QEntourageMainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_browseWindowShown)
        return;
    m_browseWindowShown = true;
    // Once this window is mapped; unless the browse window was shown or hidden meanwhile.
    QTimer::singleShot(0, this, [this] {
        if (m_pParseDatabase && !m_pParseDatabase->testAttribute(Qt::WA_WState_ExplicitShowHide))
            presentBrowseWindow();
    });
}

void QEntourageMainWindow::sortItemList(int column)
{
    // The text and the detail columns sort; the icon columns and the hidden ones do not.
    if (column != ItemTextColumn && column < ItemFirstDetailColumn)
        return;
    // The header flips its own indicator before it reports the click: the order is kept here.
    QHeaderView *header = m_pItemList->header();
    const bool again = header->isSortIndicatorShown() && m_sortColumn == column && m_sortOrder == Qt::AscendingOrder;
    const Qt::SortOrder order = again ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortColumn = column;
    m_sortOrder = order;
    m_pItemList->sortItems(column, order);
    header->setSortIndicator(column, order);
    header->setSortIndicatorShown(true);
    if (QTreeWidgetItem *current = m_pItemList->currentItem())
        m_pItemList->scrollToItem(current);
}

void QEntourageMainWindow::filterItemList(const QString &text)
{
    // The rows keep their search text case-folded, so a plain search ignores case.
    const QString wanted = text.trimmed().toCaseFolded();
    // Typing on can only hide rows and deleting only show them: the rows that cannot
    // change are passed over. Rows added since the last search are all looked at.
    const bool onlyHiding = m_filterKnown && wanted.contains(m_filteredBy);
    const bool onlyShowing = m_filterKnown && m_filteredBy.contains(wanted);
    m_filteredBy = wanted;
    m_filterKnown = true;
    const QModelIndex top;
    const int count = m_pItemList->topLevelItemCount();
    m_pItemList->setUpdatesEnabled(false);
    // By row number: an item's own setHidden looks its row up first.
    for (int i = 0; i < count; ++i) {
        auto *row = dynamic_cast<SearchableRow *>(m_pItemList->topLevelItem(i));
        if (!row || (onlyHiding && row->filteredOut) || (onlyShowing && !row->filteredOut))
            continue;
        const bool hide = !row->matches(wanted);
        if (hide != row->filteredOut) {
            m_pItemList->setRowHidden(i, top, hide);
            row->filteredOut = hide;
        }
    }
    m_pItemList->setUpdatesEnabled(true);
    // The preview never shows a row the list no longer shows; once the search shows it
    // again, it is selected and previewed again.
    auto *current = dynamic_cast<SearchableRow *>(m_pItemList->currentItem());
    if (current && current->filteredOut) {
        m_selectionHiddenBySearch = m_pItemList->currentIndex();
        const QSignalBlocker quiet(m_pItemList);
        m_pItemList->clearSelection();
        m_pItemList->setCurrentItem(nullptr);
        m_pPreview->clear();
    } else if (!current && m_selectionHiddenBySearch.isValid()) {
        auto *hidden = dynamic_cast<SearchableRow *>(m_pItemList->topLevelItem(m_selectionHiddenBySearch.row()));
        if (hidden && !hidden->filteredOut) {
            m_selectionHiddenBySearch = QPersistentModelIndex();
            m_pItemList->setCurrentItem(hidden, ItemTextColumn); // previews it
            m_pItemList->scrollToItem(hidden);
        }
    } else if (current) {
        m_selectionHiddenBySearch = QPersistentModelIndex();
        m_pItemList->scrollToItem(current);
    }
}

void QEntourageMainWindow::ClearFolderTree()
{
    clearFolderTree(m_pFolderTree);
}

void QEntourageMainWindow::ClearPreviewPanes()
{
    m_pItemList->clear();
    m_pPreview->clear();
}

void QEntourageMainWindow::SetOpenActionsEnabled(bool enabled)
{
    m_pMenuOpen->setEnabled(enabled);
    m_pOpenFile->setEnabled(enabled);
    // Find File chooses a file too, so it may not swap the file under a running scan or save.
    m_pFindFile->setEnabled(enabled);
}

void QEntourageMainWindow::SetSaveActionsEnabled(bool enabled)
{
    m_pMenuSave->setEnabled(enabled);
    m_pToolbarSave->setEnabled(enabled);
}

void QEntourageMainWindow::SetViewControlsEnabled(bool enabled)
{
    for (CategoryControls &category : m_categories) {
        category.button->setEnabled(enabled);
        category.viewAction->setEnabled(enabled);
    }
}

// Scan feedback.

void QEntourageMainWindow::SetInitialSettings(long long maximum)
{
    // The summary of the previous file would now speak of the wrong one.
    if (m_pSummary)
        m_pSummary->close();
    ClearPreviewPanes();
    SetViewControlsEnabled(false);
    SetSaveActionsEnabled(false);
    SetOpenActionsEnabled(false);

    if (m_pProgress)
        m_pProgress->deleteLater();
    m_pProgress = new QProgressInfo(this);
    m_progressDivisor = qMax<qint64>(1, (maximum + INT_MAX - 1) / INT_MAX);
    m_progressUnits = qMax<qint64>(0, maximum);
    m_pProgress->setWindowTitle(tr("Scanning OLM File"));
    m_pProgress->caption()->setText(tr("Scanning OLM File..."));
    m_pProgress->progressBar()->setRange(0, int(qMax<qint64>(0, maximum) / m_progressDivisor));
    m_pProgress->progressBar()->setValue(0);
    m_pProgress->show();
    // The dialog is painted before the walk reads its first block: wait, briefly, until
    // the window system shows it, then paint it at once.
    QElapsedTimer waited;
    waited.start();
    while (m_pProgress->windowHandle() && !m_pProgress->windowHandle()->isExposed()
           && waited.elapsed() < kFirstPaintWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    m_pProgress->repaint();
    QCoreApplication::processEvents();
}

void QEntourageMainWindow::SetProgressValue(long long value)
{
    if (!m_pProgress)
        return;
    m_pProgress->progressBar()->setValue(int(value / m_progressDivisor));
    // The scan cannot know how many items the file holds: it tells the bytes read and what they held.
    const qint64 total = lSize > 0 ? lSize : m_progressUnits * kProgressUnit;
    const qint64 read = qBound<qint64>(0, value * kProgressUnit, total);
    const qint64 others = ContactItemCount + CalendarItemCount + TaskItemCount + NotesItemCount;
    QString counts = tr("%1 of %2 read").arg(sizeText(read), sizeText(total)) + QStringLiteral(" \u00b7 ");
    counts += others > 0 ? tr("%1 mails, %2 other items").arg(countText(MailItemCount), countText(others))
                         : tr("%1 mails").arg(countText(MailItemCount));
    m_pProgress->showCounts(counts, TmpMlrcPtrEnd ? utf8Field(TmpMlrcPtrEnd->FolderPath) : QString());
}

void QEntourageMainWindow::SetFinishSettingsForMail()
{
    for (CategoryControls &category : m_categories)
        category.button->setEnabled(true);
    if (m_pProgress)
        m_pProgress->hide();
    for (CategoryControls &category : m_categories)
        category.viewAction->setEnabled(true);
    SetSaveActionsEnabled(true);
    SetOpenActionsEnabled(true);
    m_pMailSearch->setLocked(false);
}

void QEntourageMainWindow::OnInformationDlg()
{
    if (m_pSummary)
        m_pSummary->close();
    auto *summary = new InformationDlg(this);
    summary->setAttribute(Qt::WA_DeleteOnClose);
    m_pSummary = summary;
    summary->show();
}

// Opening a file.

bool QEntourageMainWindow::confirmReplacingLoadedData()
{
    // No by default: Return must not throw away a scan.
    return QMessageBox::warning(this, tr(kOpenTitle),
                                tr("Opening another file will lost the scanned information. Do you want to continue?"),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void QEntourageMainWindow::OnOpenFile()
{
    bLastState = true;
    if (anyRecordsLoaded() && !bStopFlag) {
        if (!confirmReplacingLoadedData())
            return;
        // The rows and the search read the records.
        ClearPreviewPanes();
        m_pMailSearch->reset();
        CleanListAndHash();
        ClearFolderTree();
        SetViewControlsEnabled(false);
        SetSaveActionsEnabled(false);
        SetOpenActionsEnabled(true);
        CreateBrowseWindow();
        return;
    }
    ClearFolderTree();
    ClearPreviewPanes();
    SetOpenActionsEnabled(true);
    SetViewControlsEnabled(true);
    SetSaveActionsEnabled(false);
    // Nothing was scanned yet: the file chosen so far (on the command line, say) stays chosen.
    CreateBrowseWindow(m_selectedFile);
}

void QEntourageMainWindow::OnFindFiles()
{
    // The file found replaces the loaded data as an opened one does: the same question first.
    if (anyRecordsLoaded() && !bStopFlag && !confirmReplacingLoadedData())
        return;
    bLastState = false;
    m_pParseDatabase->SearchFile();
}

// Views.

void QEntourageMainWindow::OnMailView()
{
    selectCategory(Category::Mail);
    ClearFolderTree();
    ClearPreviewPanes();
    if (anyRecordsLoaded())
        m_pParseDatabase->GenerateTree();
}

void QEntourageMainWindow::OnAddressView()
{
    showCategoryView(Category::Contacts);
}

void QEntourageMainWindow::OnCalenderView()
{
    showCategoryView(Category::Calendar);
}

void QEntourageMainWindow::OnTasksView()
{
    showCategoryView(Category::Tasks);
}

void QEntourageMainWindow::OnNotesView()
{
    showCategoryView(Category::Notes);
}

void QEntourageMainWindow::showCategoryView(Category category)
{
    selectCategory(category);
    ClearPreviewPanes();
    QTreeWidgetItem *firstTopLevel = m_pFolderTree->topLevelItem(0);
    if (!categoryHasData(category)) {
        if (QTreeWidgetItem *current = m_pFolderTree->currentItem()) {
            current->setSelected(false);
            if (category == Category::Notes)
                m_pFolderTree->clearFocus();
        }
        if (firstTopLevel)
            firstTopLevel->setExpanded(true);
        return;
    }
    const qulonglong folderType = qulonglong(look(category).folderType);
    for (QTreeWidgetItemIterator it(m_pFolderTree); *it; ++it) {
        QTreeWidgetItem *item = *it;
        item->setExpanded(false);
        item->setSelected(false);
        if (item->text(FolderTypeColumn).toULongLong() == folderType) {
            firstTopLevel->setExpanded(true);
            item->setExpanded(true);
            item->setSelected(true);
        }
    }
    // Every box becomes unchecked; the records a save walks follow the boxes.
    m_pParseDatabase->MarkDirToRootCheckedOrUnchecked(UncheckedCode);
    m_pParseDatabase->SetRecoverSelectedState();
    switch (category) {
    case Category::Contacts: m_pParseDatabase->OnContactsClicked(); break;
    case Category::Calendar: m_pParseDatabase->OnCalenderClicked(); break;
    case Category::Notes: m_pParseDatabase->OnNotesClicked(); break;
    case Category::Tasks: m_pParseDatabase->OnTasksClicked(); break;
    case Category::Mail: break;
    }
}

void QEntourageMainWindow::selectCategoryOfFolder(int folderType)
{
    switch (folderType) {
    case ContactsFolderType: OnClickedContButton(); return;
    case CalendarFolderType: OnClickedCalButton(); return;
    case TasksFolderType: OnClickedTaskButton(); return;
    case NotesFolderType: OnClickedNoteButton(); return;
    default: OnClickedMailButton(); return;
    }
}

// Category selection and the hover animation.

void QEntourageMainWindow::selectCategory(Category selected)
{
    // A folder or category chosen shows its list in place of the search results.
    m_pListStack->setCurrentIndex(0);
    m_pCategoryCaption->setText(tr(look(selected).caption));
    for (int i = 0; i < kCategoryCount; ++i) {
        const bool isSelected = i == int(selected);
        MyButton *button = m_categories[size_t(i)].button;
        button->setChecked(isSelected);
        button->setIcon(QIcon(QLatin1String(isSelected ? kLooks[i].clickImage : kLooks[i].normalImage)));
    }
    if (selected == Category::Mail)
        controls(Category::Mail).viewAction->setChecked(true);
}

void QEntourageMainWindow::OnMailButtonClicked()
{
    selectCategory(Category::Mail);
    if (anyRecordsLoaded())
        m_pParseDatabase->GenerateTree();
}

void QEntourageMainWindow::OnContactButtonClicked()
{
    selectCategory(Category::Contacts);
}

void QEntourageMainWindow::OnCalendarButtonClicked()
{
    selectCategory(Category::Calendar);
}

void QEntourageMainWindow::OnNotesButtonClicked()
{
    selectCategory(Category::Notes);
}

void QEntourageMainWindow::OnTasksButtonClicked()
{
    selectCategory(Category::Tasks);
}

void QEntourageMainWindow::OnClickedMailButton()
{
    selectCategory(Category::Mail);
}

void QEntourageMainWindow::OnClickedContButton()
{
    selectCategory(Category::Contacts);
}

void QEntourageMainWindow::OnClickedCalButton()
{
    selectCategory(Category::Calendar);
}

void QEntourageMainWindow::OnClickedTaskButton()
{
    selectCategory(Category::Tasks);
}

void QEntourageMainWindow::OnClickedNoteButton()
{
    selectCategory(Category::Notes);
}

void QEntourageMainWindow::showFrame(Category category, int frame)
{
    const CategoryLook &images = look(category);
    const QString path = frame <= 0 || frame > kHoverFrames
                             ? QLatin1String(images.normalImage)
                             : QLatin1String(images.frameStem) + QString::number(frame) + QLatin1String(".png");
    controls(category).button->setIcon(QIcon(path));
}

void QEntourageMainWindow::categoryEnter(Category category)
{
    CategoryControls &entered = controls(category);
    if (entered.button->isChecked()) {
        entered.button->setIcon(QIcon(QLatin1String(look(category).clickImage)));
    } else {
        entered.frame = 0;
        entered.enterTimer->start();
    }
    m_pCategoryCaption->setText(tr(look(category).caption));
}

void QEntourageMainWindow::categoryLeave(Category category)
{
    CategoryControls &left = controls(category);
    if (left.button->isChecked()) {
        left.button->setIcon(QIcon(QLatin1String(look(category).clickImage)));
        m_pCategoryCaption->setText(tr(look(category).caption));
        return;
    }
    left.frame = kHoverFrames;
    left.leaveTimer->start();
    LeaveEventofAllButton();
}

void QEntourageMainWindow::enterTick(Category category)
{
    CategoryControls &animated = controls(category);
    showFrame(category, animated.frame);
    if (++animated.frame > kHoverFrames) {
        animated.enterTimer->stop();
        animated.frame = 0;
    }
}

void QEntourageMainWindow::leaveTick(Category category)
{
    // Frames 13 down to 1 each stay for a tick; the normal image follows on the next.
    CategoryControls &animated = controls(category);
    if (animated.frame <= 0) {
        animated.leaveTimer->stop();
        animated.frame = 0;
        showFrame(category, 0);
        return;
    }
    showFrame(category, animated.frame--);
}

void QEntourageMainWindow::LeaveEventofAllButton()
{
    for (Category category : {Category::Contacts, Category::Mail, Category::Tasks, Category::Notes,
                              Category::Calendar}) {
        if (controls(category).button->isChecked()) {
            m_pCategoryCaption->setText(tr(look(category).caption));
            return;
        }
    }
}

void QEntourageMainWindow::OnMailEnter() { categoryEnter(Category::Mail); }
void QEntourageMainWindow::OnMailLeave() { categoryLeave(Category::Mail); }
void QEntourageMainWindow::OnContactEnter() { categoryEnter(Category::Contacts); }
void QEntourageMainWindow::OnContactLeave() { categoryLeave(Category::Contacts); }
void QEntourageMainWindow::OnCalendarEnter() { categoryEnter(Category::Calendar); }
void QEntourageMainWindow::OnCalendarLeave() { categoryLeave(Category::Calendar); }
void QEntourageMainWindow::OnNotesEnter() { categoryEnter(Category::Notes); }
void QEntourageMainWindow::OnNotesLeave() { categoryLeave(Category::Notes); }
void QEntourageMainWindow::OnTasksEnter() { categoryEnter(Category::Tasks); }
void QEntourageMainWindow::OnTasksLeave() { categoryLeave(Category::Tasks); }

void QEntourageMainWindow::TimerStart() { enterTick(Category::Mail); }
void QEntourageMainWindow::TimerLeave() { leaveTick(Category::Mail); }
void QEntourageMainWindow::TimerStartContact() { enterTick(Category::Contacts); }
void QEntourageMainWindow::TimerLeaveContact() { leaveTick(Category::Contacts); }
void QEntourageMainWindow::TimerStartCalender() { enterTick(Category::Calendar); }
void QEntourageMainWindow::TimerLeaveCalender() { leaveTick(Category::Calendar); }
void QEntourageMainWindow::TimerStartNote() { enterTick(Category::Notes); }
void QEntourageMainWindow::TimerLeaveNote() { leaveTick(Category::Notes); }
void QEntourageMainWindow::TimerStartTask() { enterTick(Category::Tasks); }
void QEntourageMainWindow::TimerLeaveTask() { leaveTick(Category::Tasks); }

// Help, support and the log window.

void QEntourageMainWindow::aboutVeltraxCorvane()
{
    AboutDlg about(this);
    about.exec();
}

void QEntourageMainWindow::OpenHelp()
{
    openLocalPage(this, helpPagePath(), tr("Help"));
}

QString QEntourageMainWindow::GetBuyOnline()
{
    return readLinkFromPropertyList(linksFilePath(), QStringLiteral("BuyOnlineLink"));
}

QString QEntourageMainWindow::GetEmailSupport()
{
    const QString address = readLinkFromPropertyList(linksFilePath(), QStringLiteral("EmailToSupport"));
    return address.isEmpty() ? QString() : QLatin1String("mailto:") + address;
}

QString QEntourageMainWindow::GetViewSupport()
{
    return readLinkFromPropertyList(linksFilePath(), QStringLiteral("ViewSupportLink"));
}

QString QEntourageMainWindow::GetGenerateTicket()
{
    return readLinkFromPropertyList(linksFilePath(), QStringLiteral("SubmitEnquiryLink"));
}

QString QEntourageMainWindow::GetKnowledgebase()
{
    return readLinkFromPropertyList(linksFilePath(), QStringLiteral("KBLink"));
}

void QEntourageMainWindow::OnBuyOnline() { openLink(GetBuyOnline()); }
void QEntourageMainWindow::OnEmailSupport() { openLink(GetEmailSupport()); }
void QEntourageMainWindow::OnViewSupport() { openLink(GetViewSupport()); }
void QEntourageMainWindow::OnGenerateTicket() { openLink(GetGenerateTicket()); }
void QEntourageMainWindow::OnKnowledgeBase() { openLink(GetKnowledgebase()); }

void QEntourageMainWindow::OnLogReport()
{
    m_pLogDlg->ShowReport();
}

// Closing.

void QEntourageMainWindow::closeEvent(QCloseEvent *event)
{
    if (bProcessRunning) {
        if (m_pProgress) {
            m_pProgress->show();
            m_pProgress->raise();
        }
        QMessageBox::warning(this, tr(kQuitTitle), tr("Application Running !!\nPlease halt the current process to Exit."));
        event->ignore();
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr(kQuitTitle), tr("Do you want to close Mendora? "), QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        event->accept();
    else
        event->ignore();
}
