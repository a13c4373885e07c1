#include "parsers/FolderInformation.h"

#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"
#include "olm/LossAccount.h"
#include "olm/ScanState.h"
#include "parsers/ItemLosses.h"
#include "parsers/RecordLists.h"

#include <cstring>

namespace {
// Appends a parsed record to its list; null when record memory is full.
template <typename Record>
Record *appendParsed(Record *&head, Record *&tail, qint64 &count, const ParsedItem &parsed)
{
    Record *record = appendRecord(head, tail, count);
    if (record)
        fillRecord(reinterpret_cast<char *>(record), parsed.record);
    return record;
}

// Enters losses [from, to) of an item into the account. Where the mail's folder was
// recovered in between, the losses that name the document's folder name the recovered one.
void enterLosses(const QVector<Loss> &losses, int from, int to, const QString &documentFolder,
                 const QString &itemFolder)
{
    for (int k = from; k < to; ++k) {
        if (losses.at(k).folder == documentFolder && itemFolder != documentFolder) {
            Loss loss = losses.at(k);
            loss.folder = itemFolder;
            recordLoss(loss);
        } else {
            recordLoss(losses.at(k));
        }
    }
}

// The buffer a contact's record owns, counted where the record is committed.
void adoptOwnedText(ContactInformation *contact, const ParsedItem &parsed)
{
    if (parsed.ownedText.isNull())
        return;
    contact->Categories = static_cast<char *>(allocateRecordMemory(size_t(parsed.ownedText.size()) + 1));
    if (contact->Categories) // null when record memory is full
        memcpy(contact->Categories, parsed.ownedText.constData(), size_t(parsed.ownedText.size()));
}
void adoptOwnedText(CalenderInformation *, const ParsedItem &) {}
void adoptOwnedText(TasksInformation *, const ParsedItem &) {}

// Appends the record, enters its losses and keeps its details; false when record memory
// is full, and a record whose details the watch refused is dropped: the scan ends there.
template <typename Record, typename Details>
bool commitWithDetails(Record *&head, Record *&tail, qint64 &count, ParsedItem &parsed)
{
    Record *const keptTail = tail;
    Record *record = appendParsed(head, tail, count, parsed);
    if (!record)
        return false;
    adoptOwnedText(record, parsed);
    enterLosses(parsed.losses, 0, parsed.losses.size(), lossContext.folder, lossContext.folder);
    if (keepDetails(record, std::get<Details>(std::move(parsed.details))))
        return true;
    dropTailRecord(head, tail, count, keptTail);
    return false;
}

// The folder of a document's items: the mail's own, or the fixed one of its kind.
qint64 registerFolder(DocumentKind kind, const QString &folderPath)
{
    switch (kind) {
    case DocumentKind::Mail:
        treeCreator(folderPath);
        return llParentIdRunning;
    case DocumentKind::Contacts: kindFolderCreator(QStringLiteral("Contacts"), ContactsFolderType); break;
    case DocumentKind::Calendar: kindFolderCreator(QStringLiteral("Calendars"), CalendarFolderType); break;
    case DocumentKind::Tasks: kindFolderCreator(QStringLiteral("Tasks"), TasksFolderType); break;
    case DocumentKind::Notes: kindFolderCreator(QStringLiteral("Notes"), NotesFolderType); break;
    default: break;
    }
    return 0;
}
} // namespace

FolderInformation::FolderInformation(QObject *parent, int workers) : QObject(parent), m_workers(qMax(1, workers)) {}

FolderInformation::~FolderInformation() = default;

bool FolderInformation::commitMail(ParsedItem &parsed, qint64 folderId, const MailPlace &place)
{
    const QString documentFolder = lossContext.folder;
    MailMLRC *const keptTail = TmpMlrcPtrEnd;
    MailMLRC *mail = appendParsed(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount, parsed);
    if (!mail)
        return false;
    mail->ParentId = documentFolder.isEmpty() ? kFolderWithoutPathId : folderId;
    enterLosses(parsed.losses, 0, parsed.lossesBeforeAttachments, documentFolder, documentFolder);
    lossFieldIs(parsed.item, nullptr);
    const QVector<MissingAttachment> missing = placeMailFolderAndAttachments(mail, parsed, place);
    const QString itemFolder = lossContext.folder;
    lossContext.folder = documentFolder;
    enterLosses(parsed.losses, parsed.lossesBeforeAttachments, parsed.losses.size(), documentFolder, itemFolder);
    if (mail->ParentId == kFolderWithoutPathId)
        recordLoss({LossReason::FolderPathLost, lossKindName(DocumentKind::Mail),
                    lossItemName(DocumentKind::Mail, parsed.item.bytes), QString(), QString(),
                    QStringLiteral("its folder is unknown (its entry header is damaged, or its entry names "
                                   "no folder); kept in \"%1\"").arg(QLatin1String(kFolderWithoutPathName))});
    auto &details = std::get<MailDetails>(parsed.details);
    details.unrecoveredAttachments = missing;
    if (keepDetails(mail, std::move(details)))
        return true;
    dropTailRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount, keptTail);
    return false;
}

bool FolderInformation::commitItem(DocumentKind kind, ParsedItem &parsed, qint64 folderId, const MailPlace &place)
{
    switch (kind) {
    case DocumentKind::Mail: return commitMail(parsed, folderId, place);
    case DocumentKind::Contacts:
        return commitWithDetails<ContactInformation, ContactDetails>(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount,
                                                                     parsed);
    case DocumentKind::Calendar:
        return commitWithDetails<CalenderInformation, EventDetails>(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount,
                                                                    parsed);
    case DocumentKind::Tasks:
        return commitWithDetails<TasksInformation, TaskDetails>(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount, parsed);
    case DocumentKind::Notes:
        if (!appendParsed(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount, parsed))
            return false;
        enterLosses(parsed.losses, 0, parsed.losses.size(), lossContext.folder, lossContext.folder);
        return true;
    default: return true;
    }
}

void FolderInformation::commitDocument(ParsedDocument &parsed)
{
    if (!m_document.open) {
        m_document = DocumentTally();
        m_document.open = true;
        m_document.kind = parsed.document.kind;
        m_document.folder = parsed.document.folderPath;
        m_document.declared = parsed.declaredItems;
    }
    m_document.read += commitItems(parsed);
    m_document.endsInsideItem = parsed.endsInsideItem;
    m_document.cutItemName = parsed.cutItemName;
}

qint64 FolderInformation::commitItems(ParsedDocument &parsed)
{
    const DocumentBytes &document = parsed.document;
    const DocumentKind kind = document.kind;
    if (!itemName(kind))
        return 0;
    qint64 read = 0;
    const qint64 folderId = registerFolder(kind, document.folderPath);
    for (ParsedItem &item : parsed.items) {
        beginLossDocument(kind, document.folderPath);
        lossFieldIs(item.item, nullptr);
        if (item.dropped) {
            // Memory ran out while it was read: only its losses remain.
            enterLosses(item.losses, 0, item.losses.size(), document.folderPath, document.folderPath);
            ++read;
            continue;
        }
        // What lies before the document belongs to its first item: exports write one mail a document.
        const MailPlace place{m_source, &item == &parsed.items.first() ? document.documentEnd - document.bytes.size() : -1};
        if (!commitItem(kind, item, folderId, place))
            break; // record memory is full
        ++read;
    }
    lossContext = LossContext();
    if (kind == DocumentKind::Mail)
        llParentIdRunning = 0;
    for (const Loss &loss : parsed.lossesAfterItems)
        recordLoss(loss);
    return read;
}

void FolderInformation::takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    if (m_parsing) {
        // The walk's window moves on: a document parsed later needs its own copy.
        m_parsing->addDocument({kind, folderPath, QByteArray(pBuff, int(pBuffSize)), pBuffFileOffset, documentEnd,
                                pBuffEndsDocument});
        return;
    }
    ParsedDocument parsed = parseDocument(documentInBuffer(kind, folderPath, documentEnd));
    commitDocument(parsed);
}

DocumentBytes FolderInformation::documentInBuffer(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    // Parsed and committed while pBuff holds it (and the zero after it): no copy is needed.
    return {kind, folderPath, QByteArray::fromRawData(pBuff, int(pBuffSize)), pBuffFileOffset, documentEnd,
            pBuffEndsDocument};
}

void FolderInformation::parseAndCommit(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    ParsedDocument parsed = parseDocument(documentInBuffer(kind, folderPath, documentEnd));
    commitItems(parsed);
}

void FolderInformation::InitializeMLRC(const QString &folderPath, qint64 documentEnd)
{
    parseAndCommit(DocumentKind::Mail, folderPath, documentEnd);
}
void FolderInformation::InitializeCTRC(qint64 documentEnd) { parseAndCommit(DocumentKind::Contacts, QString(), documentEnd); }
void FolderInformation::InitializeCLRC(qint64 documentEnd) { parseAndCommit(DocumentKind::Calendar, QString(), documentEnd); }
void FolderInformation::InitializeTSRC(qint64 documentEnd) { parseAndCommit(DocumentKind::Tasks, QString(), documentEnd); }
void FolderInformation::InitializeNTRC(qint64 documentEnd) { parseAndCommit(DocumentKind::Notes, QString(), documentEnd); }

void FolderInformation::documentEnded()
{
    if (m_parsing)
        m_parsing->addStep([this] { closeDocument(); });
    else
        closeDocument();
}

void FolderInformation::closeDocument()
{
    if (!m_document.open)
        return;
    m_document.open = false;
    // Items refused for want of record memory are told as a whole: the scan is incomplete.
    if (recordMemoryFull)
        return;
    const DocumentTally &document = m_document;
    qint64 lost = document.declared >= 0 ? document.declared - document.read : 0;
    if (document.endsInsideItem)
        lost = qMax<qint64>(lost, 1);
    if (lost <= 0)
        return;
    Loss loss{LossReason::ItemCutByDamage, lossKindName(document.kind), QString(), document.folder, QString(),
              QString()};
    if (document.endsInsideItem) {
        loss.item = document.cutItemName;
        loss.why = QStringLiteral("its end is not in the file: the file is cut or damaged there");
        recordLoss(loss);
        --lost;
    }
    if (lost > 0) {
        loss.item.clear();
        loss.count = lost;
        loss.why = QStringLiteral("the document holds %1 items by its own count; the damage left %2 of them readable")
                       .arg(document.declared)
                       .arg(document.read);
        recordLoss(loss);
    }
}

void FolderInformation::takeAttachment(const QString &entryName, qint64 offset, qint64 size)
{
    if (m_parsing)
        m_parsing->addStep([this, entryName, offset, size] { InitializeAttachment(entryName, offset, size); });
    else
        InitializeAttachment(entryName, offset, size);
}

void FolderInformation::takeLoss(const Loss &loss)
{
    if (m_parsing)
        m_parsing->addStep([loss] { recordLoss(loss); });
    else
        recordLoss(loss);
}

bool FolderInformation::full() const
{
    // The walk asks at every step: what it handed on since stands before this offset.
    if (m_parsing)
        m_parsing->walkStandsAt(dwOffset);
    return recordMemoryFull;
}

void FolderInformation::settle()
{
    if (m_parsing)
        m_parsing->commitAll();
}

qint64 FolderInformation::filledAt(qint64 walkOffset) const
{
    return m_parsing && m_parsing->filledAt() >= 0 ? m_parsing->filledAt() : walkOffset;
}

void FolderInformation::walkBegins(ByteSource &source)
{
    m_source = &source;
    if (m_workers > 1)
        m_parsing = std::make_unique<InOrderParsing>(m_workers, [this](ParsedDocument &parsed) { commitDocument(parsed); });
}

void FolderInformation::walkEnded()
{
    if (m_parsing) {
        m_parsing->commitAll();
        m_parsing.reset();
    }
    keepUnclaimedAttachments();
    m_source = nullptr;
}
