#pragma once
// One save: every item of the chosen folders written into the bundle, counted per
// kind, every item that could not be written named. The saving thread of the
// desktop application and `mendora-cli save` both drive this.
#include "archive/MailFilter.h"
#include "archive/MailPrinter.h"
#include "archive/OutputFile.h"
#include "archive/TextReader.h"
#include "olm/FolderHierarchy.h"
#include "olm/LossAccount.h"
#include "parsers/Records.h"

#include <QString>
#include <QVector>
#include <array>
#include <functional>

enum class ItemKind { Mail, Contact, Event, Task, Note };
constexpr int kItemKindCount = 5;
// "mails", "contacts", "calendar events", "tasks", "notes"
const char *itemKindName(ItemKind kind);
// How many items of a kind other than mail the scan found; 0 for mail, counted per folder.
qint64 itemCountOf(ItemKind kind);

// The layout the items are written in. A second one is a value here, not a second saving pass.
// Entourage: the bundle "Main Identity(…).rge", made beforehand by CreateMailFolder.
// Standard: mbox, vCard and iCalendar files (archive/StandardFiles.h) in a directory made
// beforehand (archive/OutputPlace.h).
// Eml: as Standard, but every mail in a file of its own (archive/EmlFiles.h).
// Pdf: as Standard, but the mails as PDF documents (archive/PdfFiles.h).
enum class BundleFormat { Entourage, Standard, Eml, Pdf };

struct SaveFolder {
    qint64 id;
    qint32 type; // FolderType: its records are written by the writer of this kind
};

struct SaveRequest {
    QString bundlePath;            // the directory the format writes into
    QVector<SaveFolder> folders;   // in writing order; a folder listed twice is written once
    const TextReader *olm = nullptr; // bodies, attachments and texts read back from the .olm file
    BundleFormat format = BundleFormat::Entourage;
    // The same directory held open since it was made (OutputPlace); when null, the save
    // opens bundlePath once as it starts. Everything is created through it.
    const OutputDirectory *directory = nullptr;
    // When set and not empty, only the mails it takes are written, and no item of another kind.
    const MailFilter *filter = nullptr;
    // For Pdf: what makes the pages, and whether a folder's mails share one document.
    MailPrinter *printer = nullptr;
    bool pdfPerFolder = false;
};

// Where a save is: the kind and folder at work and the items handled so far.
struct SaveProgress {
    ItemKind kind = ItemKind::Mail;
    QString folder;      // the folder at work, as the rescue report names it
    qint64 kindDone = 0; // items of this kind handled so far, in all its folders
    qint64 kindTotal = 0;
    qint64 done = 0;     // items of every kind
    qint64 total = 0;
};

// All optional. Called on the thread that runs saveBundle.
struct SaveHooks {
    std::function<void(qint64 items)> started;          // the number of items to write
    std::function<void(const QString &caption)> caption; // "Saving Mail Folders..." as each kind begins
    std::function<void()> itemDone;                      // once per item, written or not
    // As each folder begins and after every item: calls are cheap, reports are for the hook to space out.
    std::function<void(const SaveProgress &progress)> progress;
    std::function<bool()> stopRequested;                 // tested before every item
    std::function<void(const QString &line)> log;        // every item not written, every incomplete one
};

struct UnwrittenItem {
    QString item; // what it is: contact "Ann Lee"
    QString why;
    QString line() const; // "item: why"
};

struct SaveReport {
    std::array<qint64, kItemKindCount> written{};
    qint64 recoveredAttachmentsWritten = 0; // files in "Recovered attachments"
    QVector<UnwrittenItem> notWritten;
    QStringList incomplete; // items written without part of them (an attachment cut short), and why
    QVector<Loss> losses;   // the save's own losses, also entered into the account of losses
    qint64 itemsToWrite = 0; // in the folders chosen, written or not
    bool stopped = false;
    qint64 writtenTotal() const;
};
// "12 mails, 3 contacts, 0 calendar events, 1 tasks, 2 notes"
QString writtenCountsText(const SaveReport &report);

// In the directory of the standard files: what was written per folder and every loss.
extern const char kRescueReportName[]; // "Rescue report.txt"

// The folders checked in the folder attribute list (state 1), in list order.
QVector<SaveFolder> checkedFolders();
// The folders at or below the given ones in the folder attribute list, in list order;
// as if those folders had been checked in the folder tree.
QVector<SaveFolder> foldersAtOrBelow(const QVector<qint64> &ids);
// The mail folders among these, each once, in writing order ("Recovered attachments" holds no mail).
QVector<qint64> mailFolderIds(const QVector<SaveFolder> &folders);
// Whether these folders include the folder of a kind other than mail.
bool includesKind(const QVector<SaveFolder> &folders, ItemKind kind);
// How many items a save of these folders writes.
qint64 countItemsToSave(const QVector<SaveFolder> &folders);

// An item as messages name it: mail "Subject" in Inbox (<id>), contact "Ann Lee", ...
// A folder path too long to read is shortened (archive/FolderLabels.h).
QString describeItem(const MailMLRC &mail);
class FolderLabels;
// The same, with the labels of a walk over many mails of deep folders.
QString describeItem(const MailMLRC &mail, FolderLabels &labels);
QString describeItem(const ContactInformation &contact);
QString describeItem(const CalenderInformation &event);
QString describeItem(const TasksInformation &task);
QString describeItem(const NotesInformation &note);

SaveReport saveBundle(const SaveRequest &request, const SaveHooks &hooks);

// The directory a save in the standard, EML or PDF format makes in destination:
// "<export file name without .olm> (rescued)", "(rescued eml)", "(rescued pdf)".
QString filesOutputPath(BundleFormat format, const QString &destination, const QString &olmPath);
