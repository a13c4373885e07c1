#include "parsers/ItemLosses.h"

#include "parsers/ItemDetails.h"

#include <cstring>

thread_local LossContext lossContext;

namespace {
// Longer names are cut for the log; the entry is about the item, not its whole text.
constexpr int kLongestItemName = 80;

const char *nameElementOf(DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::Mail: return "OPFMessageCopySubject";
    case DocumentKind::Contacts: return "OPFContactCopyDisplayName";
    case DocumentKind::Calendar: return "OPFCalendarEventCopySummary";
    case DocumentKind::Tasks: return "OPFTaskCopyName";
    case DocumentKind::Notes: return "OPFNoteCopyTitle";
    default: return nullptr;
    }
}

QString elementValue(const QByteArray &itemBytes, const char *name)
{
    QString text;
    if (!GetElementText(itemBytes, name, &text))
        return QString();
    return decodeXmlText(text).simplified();
}

// Values the standard files take whole from the item, where the bundle's record cannot hold them.
bool standardFilesKeepWhole(DocumentKind kind, const char *field)
{
    static const struct {
        DocumentKind kind;
        const char *field;
    } kKeptWhole[] = {
        {DocumentKind::Mail, "OPFMessageCopySubject"},        {DocumentKind::Mail, "OPFMessageCopyToAddresses"},
        {DocumentKind::Mail, "OPFMessageCopyCCAddresses"},    {DocumentKind::Mail, "OPFMessageCopyFromAddresses"},
        {DocumentKind::Calendar, "OPFCalendarEventCopySummary"}, {DocumentKind::Calendar, "OPFCalendarEventCopyAttendeeList"},
    };
    // The vCard of the standard files takes every contact value from the item itself.
    if (kind == DocumentKind::Contacts)
        return true;
    for (const auto &kept : kKeptWhole)
        if (kept.kind == kind && strcmp(kept.field, field) == 0)
            return true;
    return false;
}
} // namespace

QByteArray lossContextItemBytes()
{
    const LossContext &context = lossContext;
    if (!context.itemBytes || context.itemSize < 0)
        return QByteArray();
    return QByteArray::fromRawData(context.itemBytes, context.itemSize);
}

void noteItemLoss(const Loss &loss)
{
    if (lossContext.collected)
        lossContext.collected->append(loss);
    else
        recordLoss(loss);
}

void beginLossDocument(DocumentKind kind, const QString &folder)
{
    lossContext = LossContext();
    lossContext.kind = kind;
    lossContext.folder = folder;
}

QString lossKindName(DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::Mail: return QStringLiteral("mail");
    case DocumentKind::Contacts: return QStringLiteral("contact");
    case DocumentKind::Calendar: return QStringLiteral("event");
    case DocumentKind::Tasks: return QStringLiteral("task");
    case DocumentKind::Notes: return QStringLiteral("note");
    case DocumentKind::Attachment: return QStringLiteral("attachment");
    case DocumentKind::Skipped: break;
    }
    return QStringLiteral("document");
}

QString lossItemName(DocumentKind kind, const QByteArray &itemBytes)
{
    const char *element = nameElementOf(kind);
    if (!element)
        return QString();
    QString name = elementValue(itemBytes, element);
    if (name.isEmpty() && kind == DocumentKind::Contacts)
        name = (elementValue(itemBytes, "OPFContactCopyFirstName") + QLatin1Char(' ')
                + elementValue(itemBytes, "OPFContactCopyLastName"))
                   .trimmed();
    if (name.size() > kLongestItemName)
        name = name.left(kLongestItemName - 1) + QChar(0x2026);
    return name;
}

void noteValueTooLong(qint64 bytes, int width)
{
    LossContext &context = lossContext;
    const char *field = context.field; // naming the item reads other elements
    if (context.notedItem != context.item) {
        context.notedItem = context.item;
        context.notedFields.clear();
    }
    const QByteArray fieldName(field ? field : "");
    if (context.notedFields.contains(fieldName))
        return;
    context.notedFields.append(fieldName);
    Loss loss;
    loss.reason = LossReason::ValueTooLong;
    loss.kind = lossKindName(context.kind);
    loss.item = lossItemName(context.kind, lossContextItemBytes());
    context.field = field;
    loss.folder = context.folder;
    loss.field = QString::fromLatin1(fieldName);
    loss.why = QStringLiteral("%1 bytes, longer than the %2 its record field holds").arg(bytes).arg(width - 1);
    loss.standardFilesKeepIt = field && standardFilesKeepWhole(context.kind, field);
    if (loss.standardFilesKeepIt)
        loss.why += QStringLiteral("; the standard files keep it whole");
    noteItemLoss(loss);
}

void noteItemEndDamaged(DocumentKind kind, const DocumentItem &item)
{
    if (!item.endTagMissing)
        return;
    const QStringList cut = unclosedElements(item, itemName(kind));
    Loss loss{LossReason::RecoveredWithDoubt, lossKindName(kind), lossItemName(kind, item.bytes), lossContext.folder,
              QString(), QString()};
    loss.why = QStringLiteral("its end tag is damaged or not in the file; read up to the next item's start or the "
                              "end of its document: ");
    if (cut.isEmpty()) {
        loss.why += QStringLiteral("every value in it read whole");
    } else {
        loss.field = cut.join(QStringLiteral(", "));
        loss.why += QStringLiteral("these values may be missing or cut");
    }
    noteItemLoss(loss);
}
