#include "parsers/ParsedDocument.h"

#include "olm/ByteSearch.h"
#include "parsers/ItemLosses.h"
#include "parsers/ItemReaders.h"
#include "parsers/RecordLists.h"

#include <cstring>
#include <new>

namespace {
// A root's elementCount larger than this is no count: the account would only repeat it.
constexpr qint64 kLargestDeclaredCount = qint64(1) << 40;
// The root start tag stands within the first bytes of a document, after the XML declaration.
constexpr qint64 kRootTagSearch = 4096;

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

int recordSize(DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::Mail: return int(sizeof(MailMLRC));
    case DocumentKind::Contacts: return int(sizeof(ContactInformation));
    case DocumentKind::Calendar: return int(sizeof(CalenderInformation));
    case DocumentKind::Tasks: return int(sizeof(TasksInformation));
    case DocumentKind::Notes: return int(sizeof(NotesInformation));
    default: return 0;
    }
}

// One item into its record and details; an item during which memory runs out is dropped
// with a loss, and the items after it are read.
ParsedItem readItem(DocumentKind kind, const QString &folderPath, const DocumentItem &item)
{
    ParsedItem parsed;
    parsed.item = item;
    LossContext &context = lossContext;
    context.collected = &parsed.losses;
    context.folder = folderPath;
    context.notedItem = nullptr;
    context.notedFields.clear();
    // Every record is filled in one buffer of the thread's, then kept as its stretches.
    thread_local QByteArray filling;
    const int width = recordSize(kind);
    try {
        if (filling.size() < width)
            filling.resize(width);
        memset(filling.data(), 0, size_t(width));
        parsed.filling = filling.data();
        if (recordAppendedForTests)
            recordAppendedForTests();
        noteItemEndDamaged(kind, parsed.item);
        switch (kind) {
        case DocumentKind::Mail: readMailItem(parsed, folderPath); break;
        case DocumentKind::Contacts: readContactItem(parsed); break;
        case DocumentKind::Calendar: readEventItem(parsed); break;
        case DocumentKind::Tasks: readTaskItem(parsed); break;
        case DocumentKind::Notes: readNoteItem(parsed); break;
        default: break;
        }
        parsed.record = sparseRecord(parsed.filling, width);
    } catch (const std::bad_alloc &) {
        parsed.dropped = true;
        parsed.record.clear();
        parsed.details = std::monostate();
        parsed.losses.append({LossReason::OutOfMemory, lossKindName(kind), lossItemName(kind, item.bytes), folderPath,
                              QString(), QStringLiteral("memory ran out while it was read")});
    }
    context.collected = nullptr;
    parsed.filling = nullptr;
    // The committer needs the item's bytes, not its index of tags.
    parsed.item.markers = {};
    parsed.item.markersIndexed = false;
    return parsed;
}

// Stretches are cut at words of eight zero bytes, read a word at a time.
constexpr int kWord = int(sizeof(quint64));

bool zeroWord(const char *bytes, int at, int width)
{
    quint64 word = 0;
    memcpy(&word, bytes + at, size_t(qMin(kWord, width - at)));
    return word == 0;
}

// Records are mostly zeros: they are passed over a cache line at a time.
int nextNonZeroWord(const char *bytes, int at, int width)
{
    constexpr int kLine = 8 * kWord;
    for (quint64 line[8]; at + kLine <= width; at += kLine) {
        memcpy(line, bytes + at, sizeof line);
        if ((line[0] | line[1] | line[2] | line[3] | line[4] | line[5] | line[6] | line[7]) != 0)
            break;
    }
    while (at < width && zeroWord(bytes, at, width))
        at += kWord;
    return at;
}

void appendNumber(QByteArray *to, qint32 value)
{
    to->append(reinterpret_cast<const char *>(&value), sizeof value);
}
} // namespace

QByteArray sparseRecord(const char *bytes, int width)
{
    QByteArray sparse;
    for (int at = 0; at < width;) {
        at = nextNonZeroWord(bytes, at, width);
        if (at >= width)
            break;
        int end = at;
        while (end < width && !zeroWord(bytes, end, width))
            end += kWord;
        end = qMin(end, width);
        appendNumber(&sparse, at);
        appendNumber(&sparse, end - at);
        sparse.append(bytes + at, end - at);
        at = end;
    }
    return sparse;
}

void fillRecord(char *zeroed, const QByteArray &sparse)
{
    const char *at = sparse.constData();
    const char *const end = at + sparse.size();
    while (end - at >= qint64(2 * sizeof(qint32))) {
        qint32 offset = 0, length = 0;
        memcpy(&offset, at, sizeof offset);
        memcpy(&length, at + sizeof offset, sizeof length);
        at += sizeof offset + sizeof length;
        memcpy(zeroed + offset, at, size_t(length));
        at += length;
    }
}

ParsedDocument parseDocument(DocumentBytes document)
{
    ParsedDocument parsed;
    parsed.document = std::move(document);
    const DocumentBytes &bytes = parsed.document;
    const DocumentKind kind = bytes.kind;
    const char *item = itemName(kind);
    if (!item)
        return parsed;
    const char *data = bytes.bytes.constData();
    const qint64 size = bytes.bytes.size();
    parsed.declaredItems = declaredItemCount(kind, data, size);
    beginLossDocument(kind, bytes.folderPath);
    try {
        QVector<DocumentItem> items = splitDocumentRecords(data, size, bytes.documentEnd, item, bytes.endKnown);
        parsed.items.reserve(items.size());
        for (DocumentItem &documentItem : items) {
            documentItem.bytesAt = bytes.fileOffset + (documentItem.bytes.constData() - data);
            parsed.items.append(readItem(kind, bytes.folderPath, documentItem));
        }
    } catch (const std::bad_alloc &) {
        // Nothing tells which item it was: the rest of the document is dropped.
        parsed.lossesAfterItems.append(
            {LossReason::DocumentUnreadable, QStringLiteral("document"), QString(), bytes.folderPath, QString(),
             QStringLiteral("memory ran out while a %1 document was read; the rest of it is dropped").arg(lossKindName(kind))});
    }
    QByteArray cut;
    parsed.endsInsideItem = endsInUnreadableItem(data, size, item, bytes.endKnown, &cut);
    parsed.cutItemName = parsed.endsInsideItem ? lossItemName(kind, cut) : QString();
    lossContext = LossContext();
    return parsed;
}
