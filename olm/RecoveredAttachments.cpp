#include "olm/RecoveredAttachments.h"

#include "olm/LossAccount.h"
#include "olm/ScanMemory.h"

#include <QStringList>

const char kRecoveredAttachmentsName[] = "Recovered attachments";
QVector<AttachmentEntry> recoveredAttachments;

namespace {
const QLatin1String kMessagesFolder("com.microsoft.__Messages");
const QLatin1String kAttachmentsFolder(kAttachmentsFolderName);
} // namespace

bool isMailAttachmentPath(const QString &entryPath)
{
    const QStringList parts = entryPath.split(QLatin1Char('/'));
    const int messages = parts.indexOf(kMessagesFolder);
    return messages >= 0 && parts.indexOf(kAttachmentsFolder, messages + 1) > messages && !parts.last().isEmpty();
}

QStringList recoveredAttachmentPathParts(const QString &entryPath)
{
    QStringList parts = entryPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const int messages = parts.indexOf(kMessagesFolder);
    parts = parts.mid(messages + 1);
    parts.removeAll(kAttachmentsFolder);
    return parts;
}

void keepRecoveredAttachments(const QVector<AttachmentEntry> &entries, const QString &why)
{
    for (const AttachmentEntry &entry : entries) {
        if (!isMailAttachmentPath(entry.entryName))
            continue;
        // The kept list is bounded by the entries of the file; the watch ends the scan.
        countSideMemory(qint64(sizeof(AttachmentEntry)) + memoryOf(entry.entryName));
        recoveredAttachments.append(entry);
        recordLoss({LossReason::RecoveredWithDoubt, QStringLiteral("attachment"),
                    recoveredAttachmentPathParts(entry.entryName).join(QLatin1Char('/')),
                    QLatin1String(kRecoveredAttachmentsName), QString(),
                    why + QStringLiteral("; kept in \"%1\"").arg(QLatin1String(kRecoveredAttachmentsName))});
    }
}
