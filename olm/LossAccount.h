#pragma once
// The account of losses: everything a scan or a save could not carry, each entry
// naming the kind of item, the item, its folder, the field and why. The scan fills it
// (the walk, the parsers, the detail reader); a save adds what its writers skip.
// Cleared when the next scan starts. Safe to call from the scan and the saving thread.
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

enum class LossReason {
    ValueTooLong,       // longer than its record field: the field stays empty
    AttachmentCut,      // fewer bytes in the file than the attachment's size
    AttachmentMissing,  // listed by a mail, not found in the file
    DocumentUnreadable, // a document dropped whole
    ItemCutByDamage,    // an item whose end the damage took
    FolderPathLost,     // mails moved to "Folder1" or another folder than their own
    OutOfMemory,        // an item dropped because memory ran out while reading it
    NotWritten,         // a writer could not write it
    ScanIncomplete,     // the scan ended before the end of the file
    ValueUnreadable,    // a value the file holds in a shape that cannot be read or carried
    ChecksumMismatch,   // an entry kept whose checksum is zero or does not match: its bytes may be damaged
    FileCut,            // the file ends inside an entry
    ContainerDamaged,   // the container's own records look wrong (the file's first header)
    RecoveredWithDoubt, // kept, but damage made the scan infer or guess part of it: the user may check it
};

struct Loss {
    LossReason reason = LossReason::ValueTooLong;
    QString kind;   // "mail", "contact", "event", "task", "note", "attachment", "folder", "document"
    QString item;   // subject, name or summary; empty when unknown
    QString folder; // folder path; empty when unknown
    QString field;  // element or field name; empty when the whole item is meant
    QString why;    // one sentence for the log
    bool standardFilesKeepIt = false; // only the bundle's record lost it
    bool duringSave = false;          // a writer's loss, not the scan's
    qint64 count = 1; // like items this entry stands for (items of a document that are not in it)
};

// Stable identifiers for scripts: "value-too-long", "attachment-cut", ...
QString lossReasonKey(LossReason reason);

void recordLoss(const Loss &loss);
void clearLosses();

// Entries beyond this many are counted but not kept, so a hostile file cannot
// fill memory with its account.
constexpr int kLossEntriesKept = 10000;
QVector<Loss> recordedLosses();
QMap<LossReason, qint64> lossCounts(); // every loss, kept or not
qint64 lossTotal();

// One line for the scan summary, empty when nothing was lost:
// "12 values and 3 attachments could not be recovered; see the log".
QString lossSummaryLine();
// For scripts: every kept entry ({"reason", "kind", "item", "folder", "field", "why",
// "count", "standardFilesKeepIt"}) and the count per reason ({"value-too-long": 12, ...}).
QJsonArray lossEntriesJson();
QJsonObject lossCountsJson();
// "value-too-long 12, attachment-missing 3"; empty when nothing was lost.
QString lossCountsText();
// "attachment-cut: Report.pdf (mail \"Q3\", Inbox/Projects): 1200 of 50614 bytes in the file"
QString lossLogLine(const Loss &loss);
