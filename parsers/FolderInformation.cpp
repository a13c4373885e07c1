#include "parsers/FolderInformation.h"

#include "olm/ByteSearch.h"
#include "olm/LossAccount.h"
#include "olm/ScanState.h"
#include "parsers/ElementText.h"
#include "parsers/ItemLosses.h"
#include "parsers/RecordLists.h"

#include <cstring>
#include <new>

namespace {
// A root's elementCount larger than this is no count: the account would only repeat it.
constexpr qint64 kLargestDeclaredCount = qint64(1) << 40;
// The root start tag stands within the first bytes of a document, after the XML declaration.
constexpr qint64 kRootTagSearch = 4096;

qint64 &itemCounter(DocumentKind kind)
{
    static qint64 none = 0;
    switch (kind) {
    case DocumentKind::Mail: return MailItemCount;
    case DocumentKind::Contacts: return ContactItemCount;
    case DocumentKind::Calendar: return CalendarItemCount;
    case DocumentKind::Tasks: return TaskItemCount;
    case DocumentKind::Notes: return NotesItemCount;
    default: none = 0; return none;
    }
}

const void *tailOf(DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::Mail: return TmpMlrcPtrEnd;
    case DocumentKind::Contacts: return TmpCTRCPtrEnd;
    case DocumentKind::Calendar: return TmpCLRCPtrEnd;
    case DocumentKind::Tasks: return TmpTSRCPtrEnd;
    case DocumentKind::Notes: return TmpNTRCPtrEnd;
    default: return nullptr;
    }
}

// Drops the tail record; the record before it is searched from keptTail on.
void dropTail(DocumentKind kind, const void *keptTail)
{
    switch (kind) {
    case DocumentKind::Mail:
        dropTailRecord(TmpMlrcPtrStart, TmpMlrcPtrEnd, MailItemCount, static_cast<MailMLRC *>(const_cast<void *>(keptTail)));
        break;
    case DocumentKind::Contacts:
        dropTailRecord(TmpCTRCPtrStart, TmpCTRCPtrEnd, ContactItemCount,
                       static_cast<ContactInformation *>(const_cast<void *>(keptTail)));
        break;
    case DocumentKind::Calendar:
        dropTailRecord(TmpCLRCPtrStart, TmpCLRCPtrEnd, CalendarItemCount,
                       static_cast<CalenderInformation *>(const_cast<void *>(keptTail)));
        break;
    case DocumentKind::Tasks:
        dropTailRecord(TmpTSRCPtrStart, TmpTSRCPtrEnd, TaskItemCount,
                       static_cast<TasksInformation *>(const_cast<void *>(keptTail)));
        break;
    case DocumentKind::Notes:
        dropTailRecord(TmpNTRCPtrStart, TmpNTRCPtrEnd, NotesItemCount,
                       static_cast<NotesInformation *>(const_cast<void *>(keptTail)));
        break;
    default: break;
    }
}

// Every root is its items' name in the plural: <emails …>, <contacts …>, <appointments …>.
qint64 declaredItemCount(DocumentKind kind, const char *document, qint64 size)
{
    const char *item = itemName(kind);
    if (!item || !document)
        return -1;
    const QByteArray root = QByteArray("<") + item + "s ";
    const char *end = document + qMin(size, kRootTagSearch);
    const char *at = findTag(document, end, root.constData(), size_t(root.size()));
    if (!at)
        return -1;
    const char *close = static_cast<const char *>(memchr(at, '>', size_t(end - at)));
    if (!close)
        return -1;
    static const char kCount[] = "elementCount=\"";
    const char *count = findTag(at, close, kCount, sizeof kCount - 1);
    if (!count)
        return -1;
    qint64 value = 0;
    const char *digit = count + sizeof kCount - 1;
    if (digit >= close || *digit < '0' || *digit > '9')
        return -1;
    for (; digit < close && *digit >= '0' && *digit <= '9'; ++digit) {
        value = value * 10 + (*digit - '0');
        if (value > kLargestDeclaredCount)
            return -1;
    }
    return digit < close && *digit == '"' ? value : -1;
}

} // namespace

void FolderInformation::parse(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    switch (kind) {
    case DocumentKind::Mail:
        InitializeMLRC(folderPath, documentEnd);
        break;
    case DocumentKind::Contacts:
        InitializeCTRC(documentEnd);
        break;
    case DocumentKind::Calendar:
        InitializeCLRC(documentEnd);
        break;
    case DocumentKind::Tasks:
        InitializeTSRC(documentEnd);
        break;
    case DocumentKind::Notes:
        InitializeNTRC(documentEnd);
        break;
    case DocumentKind::Attachment:
    case DocumentKind::Skipped:
        break;
    }
}

qint64 FolderInformation::parseDroppingItemsWithoutMemory(DocumentKind kind, const QString &folderPath,
                                                          qint64 documentEnd)
{
    char *const document = pBuff;
    const qint64 size = pBuffSize;
    qint64 dropped = 0;
    for (;;) {
        const void *keptTail = tailOf(kind);
        const qint64 keptCount = itemCounter(kind);
        try {
            parse(kind, folderPath, documentEnd);
            break;
        } catch (const std::bad_alloc &) {
            const qint64 appended = itemCounter(kind) - keptCount;
            Loss loss{LossReason::OutOfMemory, lossKindName(kind), QString(), folderPath, QString(),
                      QStringLiteral("memory ran out while it was read")};
            if (appended <= 0) {
                // Nothing tells which item it was: the rest of this part is dropped.
                loss.reason = LossReason::DocumentUnreadable;
                loss.kind = QStringLiteral("document");
                loss.why = QStringLiteral("memory ran out while a %1 document was read; the rest of it is dropped")
                               .arg(lossKindName(kind));
                recordLoss(loss);
                break;
            }
            // The tail is the item being read; the items after it are read again from its end.
            dropTail(kind, keptTail);
            ++dropped;
            try {
                const QVector<DocumentItem> items = splitDocumentRecords(pBuff, pBuffSize, documentEnd, itemName(kind));
                const DocumentItem &failed = items.at(int(appended - 1));
                loss.item = lossItemName(kind, failed.bytes);
                recordLoss(loss);
                const qint64 next = (failed.bytes.constData() - pBuff) + failed.bytes.size() + qint64(strlen(itemEndTag(kind)));
                pBuffSize -= next;
                pBuff += next;
            } catch (const std::bad_alloc &) {
                recordLoss(loss);
                break;
            }
        }
    }
    pBuff = document;
    pBuffSize = size;
    return dropped;
}

void FolderInformation::takeDocument(DocumentKind kind, const QString &folderPath, qint64 documentEnd)
{
    if (!m_document.open) {
        m_document = DocumentTally();
        m_document.open = true;
        m_document.kind = kind;
        m_document.folder = folderPath;
        m_document.declared = declaredItemCount(kind, pBuff, pBuffSize);
    }
    const qint64 before = itemCounter(kind);
    const qint64 dropped = parseDroppingItemsWithoutMemory(kind, folderPath, documentEnd);
    m_document.read += itemCounter(kind) - before + dropped;
    QByteArray cut;
    const char *item = itemName(kind);
    m_document.endsInsideItem = item && endsInUnreadableItem(pBuff, pBuffSize, item, &cut);
    m_document.cutItemName = m_document.endsInsideItem ? lossItemName(kind, cut) : QString();
}

void FolderInformation::documentEnded()
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
    InitializeAttachment(entryName, offset, size);
}

bool FolderInformation::full() const
{
    return recordMemoryFull;
}

void FolderInformation::walkBegins(ByteSource &source)
{
    m_source = &source;
}

void FolderInformation::walkEnded()
{
    keepUnclaimedAttachments();
    m_source = nullptr;
}
