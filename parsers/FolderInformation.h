#pragma once
// The scan's sink: every document the walk hands on is parsed into a value, on a pool
// of threads, and committed in file order to the record lists, the folder maps, the
// account of losses and the record-memory watch, so that the records are the same
// whatever the number of threads.
#include "olm/DocumentSink.h"
#include "parsers/InOrderParsing.h"
#include "parsers/ItemReaders.h"
#include "parsers/ParsedDocument.h"

#include <QObject>
#include <QString>
#include <memory>

class FolderInformation : public QObject, public DocumentSink
{
    Q_OBJECT
public:
    // workers: parsing threads; 1 parses each document as it comes, on the walk's thread.
    explicit FolderInformation(QObject *parent = nullptr, int workers = scanWorkerCount());
    ~FolderInformation() override;

    void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) override;
    void takeAttachment(const QString &entryName, qint64 offset, qint64 size) override;
    void documentEnded() override;
    // Record memory is full: the walk ends and the records made so far are kept.
    bool full() const override;
    void takeLoss(const Loss &loss) override;
    void settle() override;
    qint64 filledAt(qint64 walkOffset) const override;
    void walkBegins(ByteSource &source) override;
    void walkEnded() override;

    // The document in pBuff (pBuffSize bytes), parsed and committed at once.
    void InitializeMLRC(const QString &folderPath, qint64 documentEnd);
    void InitializeCTRC(qint64 documentEnd);
    void InitializeCLRC(qint64 documentEnd);
    void InitializeTSRC(qint64 documentEnd);
    void InitializeNTRC(qint64 documentEnd);
    // A container entry that is no document: remembered for the next mail's attachment list.
    void InitializeAttachment(const QString &entryName, qint64 offset, qint64 size);

private:
    void parseAndCommit(DocumentKind kind, const QString &folderPath, qint64 documentEnd);
    static DocumentBytes documentInBuffer(DocumentKind kind, const QString &folderPath, qint64 documentEnd);
    void commitDocument(ParsedDocument &parsed);
    // The items read, kept or dropped for want of memory.
    qint64 commitItems(ParsedDocument &parsed);
    // One item's record, losses and details; false when record memory is full.
    bool commitItem(DocumentKind kind, ParsedItem &parsed, qint64 folderId, const MailPlace &place);
    bool commitMail(ParsedItem &parsed, qint64 folderId, const MailPlace &place);
    void closeDocument();

    // What the document being handed on declared and what came of it, for the items
    // that damage took: its root's elementCount against the items read.
    struct DocumentTally {
        bool open = false;
        DocumentKind kind = DocumentKind::Skipped;
        QString folder;
        qint64 declared = -1; // unknown
        qint64 read = 0;
        bool endsInsideItem = false; // the last part ends after an item's start tag, before its end tag
        QString cutItemName;
    };
    // The entries collected since the last attachment list that no mail took.
    void keepUnclaimedAttachments();

    DocumentTally m_document;
    // The file the walk reads, for what the mails say lies before them; null outside a walk.
    ByteSource *m_source = nullptr;
    const int m_workers;
    std::unique_ptr<InOrderParsing> m_parsing; // during a walk with more than one worker
};

// Attachment entries collected since the last mail with an attachment list, each followed by ";".
extern QString tmpstrOrigPath;
extern QString tmpdoffset_NoteText;
extern QString tmpdsizeofattch;
