#pragma once
// The five item parsers. Each takes the document in pBuff (pBuffSize bytes)
// and the file offset just past the document's last byte, and appends records
// to its kind's list.
#include "olm/DocumentSink.h"

#include <QObject>
#include <QString>

class FolderInformation : public QObject, public DocumentSink
{
    Q_OBJECT
public:
    using QObject::QObject;

    void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) override;
    void takeAttachment(const QString &entryName, qint64 offset, qint64 size) override;
    void documentEnded() override;
    // Record memory is full: the walk ends and the records made so far are kept.
    bool full() const override;
    void walkBegins(ByteSource &source) override;
    void walkEnded() override;

    void InitializeMLRC(const QString &folderPath, qint64 documentEnd);
    void InitializeCTRC(qint64 documentEnd);
    void InitializeCLRC(qint64 documentEnd);
    void InitializeTSRC(qint64 documentEnd);
    void InitializeNTRC(qint64 documentEnd);
    // A container entry that is no document: remembered for the next mail's attachment list.
    void InitializeAttachment(const QString &entryName, qint64 offset, qint64 size);

private:
    void parse(DocumentKind kind, const QString &folderPath, qint64 documentEnd);
    // Parses the part in pBuff; an item during which memory runs out is dropped
    // and the items after it are read. Returns the items dropped.
    qint64 parseDroppingItemsWithoutMemory(DocumentKind kind, const QString &folderPath, qint64 documentEnd);

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
};

// Attachment entries collected since the last mail with an attachment list, each followed by ";".
extern QString tmpstrOrigPath;
extern QString tmpdoffset_NoteText;
extern QString tmpdsizeofattch;
