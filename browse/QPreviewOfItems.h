#pragma once
// Renders the selected item of the item list into the preview pane: a mail's
// header lines and body, or the details of a contact, event, task or note.
// Large texts are read back from the .olm file at the moment they are shown.
#include <QByteArray>
#include <QObject>
#include <QVector>

class AttachmentList;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QWebView;
class TextReader;
struct CalenderInformation;
struct DetailLine;
struct ContactInformation;
struct MailMLRC;
struct NotesInformation;
struct TasksInformation;

// Columns of the item list.
enum ItemListColumn {
    ItemPriorityColumn = 1,
    ItemKindIconColumn = 2,
    ItemAttachmentColumn = 3,
    ItemTextColumn = 4,
    ItemKeyColumn = 5,  // a mail's body offset, or another item's identifier
    ItemSizeColumn = 6, // a mail's body size
    ItemKindColumn = 7, // the folder type of a contact, event, task or note row
    // Shown after the first eight, by kind: a mail's From, Date and Size; a contact's
    // company and e-mail; an event's start, end and location; a task's due date and
    // completion; a note's date.
    ItemFirstDetailColumn = 8,
    ItemColumnCount = 11,
};

// The widgets of the preview pane, owned by the main window.
struct PreviewPanes {
    QTextBrowser *header = nullptr;  // a mail's header lines
    QTextBrowser *details = nullptr; // contacts, events, tasks and notes
    QWebView *webView = nullptr;     // a mail's body
    AttachmentList *attachments = nullptr; // a mail's attachments, between its header and body
};

// A body or description larger than this shows only its first part, so that a huge
// text cannot hold the window for long.
constexpr qint64 kPreviewTextLimit = 1024 * 1024;
// The same for the text pane of contacts, events, tasks and notes, which lays text
// out more slowly than the web view.
constexpr qint64 kDetailsTextLimit = 256 * 1024;

// The header box's height with few lines; it grows with more.
constexpr int kHeaderMinimumHeight = 110;

// Text read back for a preview, and whether it is only the first part of it.
struct PreviewText {
    QByteArray bytes;
    bool shortened = false;
};

class QPreviewOfItems : public QObject
{
    Q_OBJECT
public:
    QPreviewOfItems(const PreviewPanes &panes, QObject *parent = nullptr);

    // Empties both text boxes and closes the web view.
    void clear();

    // Dispatches on the row's folder type (hidden column 7) to the preview of its kind.
    void OnMessageSubjectClicked(QTreeWidgetItem *item, int column);
    void MessageFieldsForThePreview(const MailMLRC *mail, const TextReader &olm);

    void OnContactItemClicked(QTreeWidgetItem *item, int column);
    void OnCalendarItemClicked(QTreeWidgetItem *item, int column);
    void OnTaskItemClicked(QTreeWidgetItem *item, int column);
    void OnNoteItemClicked(QTreeWidgetItem *item, int column);
    // A null record writes nothing.
    void writePreviewItemsForContact(const ContactInformation *contact);
    void writePreviewItemsForCalendar(const CalenderInformation *event);
    void writePreviewItemsForTask(const TasksInformation *task);
    void writePreviewItemsForNotes(const NotesInformation *note);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitHeaderHeight();
    void hideAttachments();
    void prepareDetailsPane();
    // A paragraph of text that may be markup (taken as rich text when it looks like it).
    void appendDetail(const QString &text);
    // A paragraph shown exactly as given.
    void appendPlainDetail(const QString &text);
    // A paragraph for each line that has a value.
    void appendLines(const QVector<DetailLine> &lines);
    // Says so under a text shown only in part.
    void noteShortened(const PreviewText &text, qint64 size);
    void finishDetails();

    PreviewPanes m_panes;
    // Kept apart from the header box: the filter sees events while the box is taken down,
    // when its own members must no longer be called.
    QObject *m_headerViewport = nullptr;
};

// The preview renderer that serves every list.
extern QPreviewOfItems *m_pPreview;

// What the previews do to text read back from the file: "&lt;", "&amp;", "&nbsp;",
// "&amp;lt;" and "&gt;" in this order, each over the whole text.
QByteArray decodePreviewEntities(QByteArray text);
// The time a mail is shown with. The Date line rule picks the sent or the received
// time; where it picks none (a mail without folder, or without that time) the other
// time serves, and for a mail with neither its last modification, said so.
struct MailShownDate {
    QString text;                // the Date line's text; empty when the mail holds no time at all
    const char *stamp = nullptr; // the stored message date it shows ("Tue, 12 Jun 2018 06:00:00 +0000")
    int stampWidth = 0;
};
MailShownDate mailShownDate(const MailMLRC &mail);
// "Tue, 12 Jun 2018 06:00:00 +0000", as the mail records keep their dates, in seconds
// since the epoch; false for any other text.
bool messageDateSeconds(const char *text, int width, qint64 *seconds);
// A joined list of addresses as the header box shows it: "a; b; c", each address
// kept whole on its line.
QString addressesForDisplay(const QString &joined);
// Record text that may be stored as UTF-8 or as Latin-1: UTF-8 where it is valid.
QString utf8OrLatin1Field(const char *text, int width);
