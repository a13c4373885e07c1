#pragma once
// The main window: menus, the category toolbar, the folder tree, the item list and
// the preview pane. It opens the browse window in which a file is chosen and scanned.
#include <QDialog>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <array>

class AttachmentList;
class MailSearchPane;
class MyButton;

class QLabel;
class QLineEdit;
class QProgressInfo;
class SaveWorkflow;
class QSplitter;
class QStackedWidget;
class QTextBrowser;
class QTimer;
class QTreeWidget;
class QWebView;

// The five categories in toolbar order.
enum class Category { Mail, Contacts, Calendar, Notes, Tasks };
constexpr int kCategoryCount = 5;
// Hover animation frames per category button.
constexpr int kHoverFrames = 13;

class QEntourageMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit QEntourageMainWindow(QWidget *parent = nullptr);
    ~QEntourageMainWindow() override;

    // The panes the browse window and the previews fill.
    QTreeWidget *folderTree() const { return m_pFolderTree; }
    QTreeWidget *itemList() const { return m_pItemList; }
    // Filters the item list as the user types.
    QLineEdit *searchBox() const { return m_pSearchBox; }
    QTextBrowser *headerBrowser() const { return m_pHeaderBrowser; }
    AttachmentList *attachmentList() const { return m_pAttachmentList; }
    QTextBrowser *detailsBrowser() const { return m_pDetailsBrowser; }
    QWebView *webView() const { return m_pWebView; }
    QLabel *categoryCaption() const { return m_pCategoryCaption; }
    MyButton *categoryButton(Category category) const;
    QAction *viewAction(Category category) const;
    QAction *menuOpenAction() const { return m_pMenuOpen; }
    QAction *menuSaveAction() const { return m_pMenuSave; }
    QAction *quitAction() const { return m_pQuit; }
    QAction *toolbarSaveAction() const { return m_pToolbarSave; }
    // The progress window of the current or last scan; null before the first.
    QProgressInfo *progressDialog() const;
    SaveWorkflow *saveWorkflow() const { return m_pSaveWorkflow; }
    // The search across every folder; its results take the item list's place.
    MailSearchPane *mailSearch() const { return m_pMailSearch; }

    // Empties the folder tree and forgets its items.
    void ClearFolderTree();
    // Empties the item list and both text browsers and closes the web view.
    void ClearPreviewPanes();
    void SetOpenActionsEnabled(bool enabled);
    void SetSaveActionsEnabled(bool enabled);
    // The five category buttons and the five View actions.
    void SetViewControlsEnabled(bool enabled);

    // Selecting a category: caption, checked button, images. The mail one also
    // rebuilds the folder tree when a scan has loaded data.
    void OnMailButtonClicked();
    void OnContactButtonClicked();
    void OnCalendarButtonClicked();
    void OnNotesButtonClicked();
    void OnTasksButtonClicked();
    // The same for the folder tree's clicks; the mail one leaves the tree alone.
    void OnClickedMailButton();
    void OnClickedContButton();
    void OnClickedCalButton();
    void OnClickedTaskButton();
    void OnClickedNoteButton();
    // After the pointer left an unselected button: the caption of the selected category.
    void LeaveEventofAllButton();
    // Selects the category of a folder opened from the tree, leaving the tree alone.
    void selectCategoryOfFolder(int folderType);

public slots:
    void SetProgressValue(long long value);
    void SetInitialSettings(long long maximum);
    void TimerStart();
    void TimerLeave();
    void TimerStartContact();
    void TimerLeaveContact();
    void TimerStartCalender();
    void TimerLeaveCalender();
    void TimerStartNote();
    void TimerLeaveNote();
    void TimerStartTask();
    void TimerLeaveTask();
    void aboutVeltraxCorvane();
    void OnMailEnter();
    void OnMailLeave();
    void OnContactEnter();
    void OnContactLeave();
    void OnCalendarEnter();
    void OnCalendarLeave();
    void OnNotesEnter();
    void OnNotesLeave();
    void OnTasksEnter();
    void OnTasksLeave();
    void OnMailView();
    void SetFinishSettingsForMail();
    void OnOpenFile();
    void OnAddressView();
    void OnCalenderView();
    void OnTasksView();
    void OnNotesView();
    void OnInformationDlg();
    void OnFindFiles();
    void OpenHelp();
    void OnBuyOnline();
    QString GetBuyOnline();
    void OnLogReport();
    void OnGenerateTicket();
    void OnEmailSupport();
    void OnViewSupport();
    void OnKnowledgeBase();
    QString GetKnowledgebase();
    QString GetViewSupport();
    QString GetEmailSupport();
    QString GetGenerateTicket();
    // A click on a header of the item list: sorts by that column, again the other way.
    void sortItemList(int column);
    // Shows only the rows whose subject, people or name hold text (case ignored).
    void filterItemList(const QString &text);

    // The scan summary on screen, if any.
    QDialog *summaryDialog() const { return m_pSummary; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Asks before a new file replaces the scanned data; true when the user agrees.
    bool confirmReplacingLoadedData();
    struct CategoryControls {
        MyButton *button = nullptr;
        QAction *viewAction = nullptr;
        QTimer *enterTimer = nullptr;
        QTimer *leaveTimer = nullptr;
        int frame = 0;
    };

    void OnInitialize();
    void CreateActions();
    void CreateMyToolBar();
    void CreateMenuBar();
    void CreateLeftDockWindows();
    void ConnectSignals();
    // A new browse window holding chosenFile (none when empty).
    void CreateBrowseWindow(const QString &chosenFile = QString());
    void presentBrowseWindow();

    CategoryControls &controls(Category category);
    void selectCategory(Category category);
    void showCategoryView(Category category);
    void categoryEnter(Category category);
    void categoryLeave(Category category);
    void enterTick(Category category);
    void leaveTick(Category category);
    void showFrame(Category category, int frame);

    SaveWorkflow *m_pSaveWorkflow = nullptr;
    std::array<CategoryControls, kCategoryCount> m_categories;
    QAction *m_pMenuOpen = nullptr;
    QAction *m_pMenuSave = nullptr;
    QAction *m_pFindFile = nullptr;
    QAction *m_pLogReport = nullptr;
    QAction *m_pQuit = nullptr;
    QAction *m_pToolbarSave = nullptr;
    QAction *m_pAbout = nullptr;
    QAction *m_pHelpTopics = nullptr;
    QAction *m_pOrder = nullptr;
    QAction *m_pEmailSupport = nullptr;
    QAction *m_pViewSupport = nullptr;
    QAction *m_pSubmitEnquiry = nullptr;
    QAction *m_pKnowledgeBase = nullptr;
    QLabel *m_pCategoryCaption = nullptr;
    QSplitter *m_pSplitter = nullptr;
    QTreeWidget *m_pFolderTree = nullptr;
    QTreeWidget *m_pItemList = nullptr;
    QLineEdit *m_pSearchBox = nullptr;
    QStackedWidget *m_pListStack = nullptr; // the item list, or the search results
    MailSearchPane *m_pMailSearch = nullptr;
    // The search the item list was last filtered by, case-folded; not known for rows added since.
    QString m_filteredBy;
    bool m_filterKnown = false;
    // The row that was selected when the search hid it; selected again when it shows again.
    QPersistentModelIndex m_selectionHiddenBySearch;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QTextBrowser *m_pHeaderBrowser = nullptr;
    AttachmentList *m_pAttachmentList = nullptr;
    QWebView *m_pWebView = nullptr;
    QTextBrowser *m_pDetailsBrowser = nullptr;
    QPointer<QProgressInfo> m_pProgress;
    QPointer<QDialog> m_pSummary;
    bool m_browseWindowShown = false;
    // Progress values are divided by this so that they fit the bar's int range.
    qint64 m_progressDivisor = 1;
    qint64 m_progressUnits = 0; // of the scan at work
};
