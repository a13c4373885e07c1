#pragma once
// What the walk hands its findings to: the item parsers in the application,
// anything else in tests.
#include "olm/ByteSource.h"
#include "olm/EntryPath.h"
#include "olm/LossAccount.h"

#include <QString>
#include <QtGlobal>

class DocumentSink
{
public:
    virtual ~DocumentSink() = default;
    // One XML document of kind, held in pBuff (pBuffSize bytes and a zero) for
    // the length of the call; documentEnd is the offset just past its last byte.
    // folderPath is the message's folder (mail found by its entry only). A long
    // document comes in several calls, each of whole items (cut right after an
    // item end tag), with documentEnd the end of that part.
    virtual void takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd) = 0;
    // A container entry that is no document: its name, data offset and size.
    virtual void takeAttachment(const QString &entryName, qint64 offset, qint64 size) = 0;
    // An entry without data, such as a directory ("…/Inbox/"), which the walk steps over.
    virtual void takeEmptyEntry(const QString &entryName) { Q_UNUSED(entryName) }
    // Every part of the document begun by the last takeDocument calls has been handed on.
    virtual void documentEnded() {}
    // True once the sink holds all it may keep: the walk ends there.
    virtual bool full() const { return false; }
    // What the walk found wrong, in its place among the documents and attachments.
    virtual void takeLoss(const Loss &loss) { recordLoss(loss); }
    // A sink that takes documents in the background takes everything handed on, so
    // that full() is final when the walk decides how it ended.
    virtual void settle() {}
    // Where a walk that waited for every document would have found the sink full, given
    // where this one did: a sink that takes documents in the background fills behind the walk.
    virtual qint64 filledAt(qint64 walkOffset) const { return walkOffset; }
    // The walk reads source from here until walkEnded, whether it ends, stops or fills the sink.
    virtual void walkBegins(ByteSource &source) { Q_UNUSED(source) }
    virtual void walkEnded() {}
};
