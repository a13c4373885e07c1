#include "olm/LossAccount.h"

#include "olm/ScanMemory.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace {
QMutex accountMutex;
QVector<Loss> keptLosses;
QMap<LossReason, qint64> countsByReason;
} // namespace

QString lossReasonKey(LossReason reason)
{
    switch (reason) {
    case LossReason::ValueTooLong: return QStringLiteral("value-too-long");
    case LossReason::AttachmentCut: return QStringLiteral("attachment-cut");
    case LossReason::AttachmentMissing: return QStringLiteral("attachment-missing");
    case LossReason::DocumentUnreadable: return QStringLiteral("document-unreadable");
    case LossReason::ItemCutByDamage: return QStringLiteral("item-cut-by-damage");
    case LossReason::FolderPathLost: return QStringLiteral("folder-path-lost");
    case LossReason::OutOfMemory: return QStringLiteral("out-of-memory");
    case LossReason::NotWritten: return QStringLiteral("not-written");
    case LossReason::ScanIncomplete: return QStringLiteral("scan-incomplete");
    case LossReason::ValueUnreadable: return QStringLiteral("value-unreadable");
    case LossReason::ChecksumMismatch: return QStringLiteral("checksum-mismatch");
    case LossReason::FileCut: return QStringLiteral("file-cut");
    case LossReason::ContainerDamaged: return QStringLiteral("container-damaged");
    case LossReason::RecoveredWithDoubt: return QStringLiteral("recovered-with-doubt");
    }
    return QStringLiteral("unknown");
}

void recordLoss(const Loss &loss)
{
    QMutexLocker lock(&accountMutex);
    countsByReason[loss.reason] += qMax<qint64>(1, loss.count);
    if (keptLosses.size() < kLossEntriesKept) {
        keptLosses.append(loss);
        // The scan's entries are kept with its data; the entries are few, so the
        // watch ends the scan rather than refusing one.
        if (!loss.duringSave)
            countSideMemory(qint64(sizeof(Loss)) + memoryOf(loss.kind) + memoryOf(loss.item)
                            + memoryOf(loss.folder) + memoryOf(loss.field) + memoryOf(loss.why));
    }
}

void clearLosses()
{
    QMutexLocker lock(&accountMutex);
    keptLosses.clear();
    countsByReason.clear();
}

QVector<Loss> recordedLosses()
{
    QMutexLocker lock(&accountMutex);
    return keptLosses;
}

QMap<LossReason, qint64> lossCounts()
{
    QMutexLocker lock(&accountMutex);
    return countsByReason;
}

qint64 lossTotal()
{
    QMutexLocker lock(&accountMutex);
    qint64 total = 0;
    for (qint64 count : countsByReason)
        total += count;
    return total;
}

QString lossSummaryLine()
{
    const QMap<LossReason, qint64> counts = lossCounts();
    qint64 values = 0, attachments = 0, items = 0, folders = 0, damage = 0, doubtful = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        switch (it.key()) {
        case LossReason::ValueTooLong:
        case LossReason::ValueUnreadable: values += it.value(); break;
        case LossReason::AttachmentCut:
        case LossReason::AttachmentMissing: attachments += it.value(); break;
        case LossReason::FolderPathLost: folders += it.value(); break;
        case LossReason::ChecksumMismatch:
        case LossReason::ContainerDamaged: damage += it.value(); break;
        case LossReason::RecoveredWithDoubt: doubtful += it.value(); break;
        default: items += it.value(); break;
        }
    }
    QStringList parts;
    const auto add = [&parts](qint64 n, const char *one, const char *many) {
        if (n > 0)
            parts << QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    add(values, "value", "values");
    add(attachments, "attachment", "attachments");
    add(items, "item or document", "items or documents");
    add(folders, "folder path", "folder paths");
    // Damage the scan read past, with nothing lost for it, and items kept in part or by
    // inference: no loss, but said apart, so that the user looks at them.
    QStringList notes;
    if (damage > 0)
        notes << QStringLiteral("%1 damaged %2 read past").arg(damage).arg(QLatin1String(damage == 1 ? "record was" : "records were"));
    if (doubtful > 0)
        notes << QStringLiteral("%1 recovered in part or by inference").arg(doubtful);
    const QString noteText = notes.join(QStringLiteral("; "));
    if (parts.isEmpty())
        return noteText.isEmpty() ? QString() : noteText + QStringLiteral("; see the log");
    QString joined = parts.takeLast();
    if (!parts.isEmpty())
        joined = parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + joined;
    joined += QStringLiteral(" could not be recovered");
    if (!noteText.isEmpty())
        joined += QStringLiteral("; ") + noteText;
    return joined + QStringLiteral("; see the log");
}

QString lossLogLine(const Loss &loss)
{
    QString line = lossReasonKey(loss.reason) + QStringLiteral(": ");
    line += loss.item.isEmpty() ? QStringLiteral("(unnamed)") : loss.item;
    QStringList where;
    if (!loss.kind.isEmpty())
        where << loss.kind;
    if (!loss.folder.isEmpty())
        where << loss.folder;
    if (!loss.field.isEmpty())
        where << loss.field;
    if (!where.isEmpty())
        line += QStringLiteral(" (") + where.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (!loss.why.isEmpty())
        line += QStringLiteral(": ") + loss.why;
    if (loss.count > 1)
        line += QStringLiteral(" (%1 items)").arg(loss.count);
    return line;
}

QJsonArray lossEntriesJson()
{
    QJsonArray entries;
    for (const Loss &loss : recordedLosses())
        entries.append(QJsonObject{{"reason", lossReasonKey(loss.reason)},
                                   {"kind", loss.kind},
                                   {"item", loss.item},
                                   {"folder", loss.folder},
                                   {"field", loss.field},
                                   {"why", loss.why},
                                   {"count", double(loss.count)},
                                   {"standardFilesKeepIt", loss.standardFilesKeepIt}});
    return entries;
}

QJsonObject lossCountsJson()
{
    QJsonObject counts;
    const QMap<LossReason, qint64> byReason = lossCounts();
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        counts[lossReasonKey(it.key())] = double(it.value());
    return counts;
}

QString lossCountsText()
{
    QStringList parts;
    const QMap<LossReason, qint64> byReason = lossCounts();
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(lossReasonKey(it.key())).arg(it.value());
    return parts.join(QStringLiteral(", "));
}
