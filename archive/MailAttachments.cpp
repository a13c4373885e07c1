#include "archive/MailAttachments.h"

#include "archive/FileNames.h"
#include "archive/MailHeaders.h"
#include "olm/InflatedEntries.h"
#include "parsers/RecordText.h"

#include <QLocale>
#include <QSaveFile>

namespace {
constexpr qint64 kCopyBlock = 1024 * 1024;
constexpr int kLongestFileName = 255; // bytes, as most file systems count them
constexpr int kLongestKeptExtension = 16;

bool unsafeInName(QChar c)
{
    const QChar::Category category = c.category();
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || category == QChar::Other_Control
           || category == QChar::Other_Format || category == QChar::Separator_Line
           || category == QChar::Separator_Paragraph;
}
} // namespace

QVector<MailAttachment> attachmentsOf(const MailMLRC &mail)
{
    QVector<MailAttachment> attachments;
    // The lists are kept all together or not at all.
    if (!mail.AttachNames || !mail.AttachOffsets || !mail.AttachSizes || !mail.AttachContentTypes)
        return attachments;
    const QStringList names = joinedListValues(ownedText(mail.AttachNames, FieldEncoding::Utf8));
    const QStringList types = joinedListValues(ownedText(mail.AttachContentTypes, FieldEncoding::Latin1));
    const QStringList offsets = joinedListValues(ownedText(mail.AttachOffsets, FieldEncoding::Latin1));
    const QStringList sizes = joinedListValues(ownedText(mail.AttachSizes, FieldEncoding::Latin1));
    for (int i = 0; i < names.size(); ++i) {
        MailAttachment attachment;
        attachment.name = names.at(i);
        attachment.contentType = types.value(i);
        attachment.offset = offsets.value(i).toLongLong();
        attachment.size = qMax<qint64>(0, sizes.value(i).toLongLong());
        attachments.append(attachment);
    }
    return attachments;
}

qint64 attachmentBytesInFile(const MailAttachment &attachment, qint64 fileSize)
{
    if (isInflatedOffset(attachment.offset))
        return qMin(attachment.size, inflatedLengthAt(attachment.offset));
    if (attachment.offset < 0 || attachment.offset >= fileSize)
        return 0;
    return qMin(attachment.size, fileSize - attachment.offset);
}

QString attachmentFileName(const QString &untrustedName)
{
    // Only what follows the last separator: "../../x" and "/etc/passwd" are just "x" and "passwd".
    QString name = untrustedName.mid(qMax(untrustedName.lastIndexOf(QLatin1Char('/')),
                                          untrustedName.lastIndexOf(QLatin1Char('\\')))
                                     + 1);
    for (QChar &c : name) {
        if (unsafeInName(c))
            c = QLatin1Char('_');
    }
    name = name.trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    name = name.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("attachment");
    if (name.toUtf8().size() <= kLongestFileName)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 && name.size() - dot <= kLongestKeptExtension ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - extension.size());
    return cutToUtf8Bytes(stem, kLongestFileName - extension.toUtf8().size()) + extension;
}

QString distinctFileName(const QString &name, const QSet<QString> &taken)
{
    if (!taken.contains(fileNameKey(name)))
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - extension.size());
    for (int number = 2;; ++number) {
        const QString suffix = QStringLiteral(" (%1)").arg(number);
        // The number must fit beside the name within the longest file name.
        const QString candidate
            = cutToUtf8Bytes(stem, kLongestFileName - (suffix + extension).toUtf8().size()) + suffix + extension;
        if (!taken.contains(fileNameKey(candidate)))
            return candidate;
    }
}

AttachmentWrite writeAttachmentFile(const TextReader &olm, const MailAttachment &attachment, const QString &path)
{
    AttachmentWrite result;
    const QByteArray first = olm.read(attachment.offset, qMin(kCopyBlock, attachment.size));
    if (attachment.size > 0 && first.isEmpty()) {
        result.error = QStringLiteral("the export holds none of its %1 bytes").arg(attachment.size);
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    QByteArray block = first;
    for (;;) {
        if (file.write(block) != block.size())
            break;
        result.written += block.size();
        const qint64 wanted = qMin(kCopyBlock, attachment.size - result.written);
        if (wanted <= 0 || block.isEmpty())
            break;
        block = olm.read(attachment.offset + result.written, wanted);
    }
    if (!file.commit()) {
        result.error = file.errorString();
        result.written = 0;
    }
    return result;
}

QString unrecoveredAttachmentsNote(const QVector<MissingAttachment> &missing)
{
    if (missing.isEmpty())
        return QString();
    QLocale grouped = QLocale::c();
    grouped.setNumberOptions(QLocale::DefaultNumberOptions); // 50,614: the C locale groups only when asked
    QString note = missing.size() == 1
                       ? QStringLiteral("1 attachment of this message could not be recovered from the Outlook export:\n\n")
                       : QStringLiteral("%1 attachments of this message could not be recovered from the Outlook export:\n\n")
                             .arg(missing.size());
    for (const MissingAttachment &attachment : missing) {
        // A line break in a name would start a line of its own.
        const QString name = headerSafe(attachment.name).trimmed();
        note += QStringLiteral("  ") + (name.isEmpty() ? QStringLiteral("(no name)") : name);
        if (attachment.size >= 0)
            note += attachment.size == 1 ? QStringLiteral(" (1 byte)")
                                         : QStringLiteral(" (%1 bytes)").arg(grouped.toString(attachment.size));
        note += QLatin1Char('\n');
    }
    return note;
}
