#include "archive/MailFilter.h"

#include "archive/MailEncoders.h"
#include "archive/TextBlocks.h"
#include "parsers/EntityDecoding.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

QString withOffset(const QDateTime &instant)
{
    return instant.toOffsetFromUtc(instant.offsetFromUtc()).toString(Qt::ISODate);
}

QString addressText(const QVector<MailAddress> &entries)
{
    QStringList parts;
    for (const MailAddress &entry : entries)
        parts << entry.name << entry.address;
    return parts.join(QLatin1Char('\n'));
}

bool holds(const QString &haystack, const QString &needle)
{
    return haystack.contains(needle, Qt::CaseInsensitive);
}

// The body as the message carries it (entities decoded), searched block by block; a
// match that a block boundary cuts is found through the end of the block kept before.
bool bodyHolds(const TextReader &olm, qint64 offset, qint64 size, const QString &needle)
{
    TextBlocks blocks(olm, offset, size, TextBlocks::ZeroBytes::Dropped);
    QByteArray block, undecoded;
    QString carried;
    for (bool more = true; more;) {
        more = blocks.next(&block);
        undecoded += block;
        QByteArray decoded;
        dropFront(undecoded, decodeEntityRange(undecoded.constData(), undecoded.size(), EntityRule::Xml, &decoded,
                                               !more));
        const QString window = carried + QString::fromUtf8(decoded);
        if (holds(window, needle))
            return true;
        carried = window.right(needle.size() - 1);
    }
    return false;
}

// A local time; one the clocks skip (the hour that a change to summer time leaves out,
// midnight in some zones) is taken as the first one they show after it.
QDateTime localInstant(const QDate &day, const QTime &time)
{
    const QDateTime wallClock(day, time, Qt::UTC);
    for (int minutes = 0; minutes <= 24 * 60; ++minutes) {
        const QDateTime later = wallClock.addSecs(minutes * 60);
        const QDateTime local(later.date(), later.time(), Qt::LocalTime);
        if (local.isValid())
            return local;
    }
    return QDateTime();
}

} // namespace

QDateTime mailDate(const MailMLRC &mail)
{
    return QDateTime::fromString(QString::fromLatin1(headerDate(mail)), Qt::RFC2822Date);
}

bool MailFilter::isEmpty() const
{
    return !since.isValid() && !until.isValid() && from.isEmpty() && to.isEmpty() && subject.isEmpty()
           && text.isEmpty() && !withAttachments;
}

QString MailFilter::description() const
{
    QStringList parts;
    if (since.isValid())
        parts << QStringLiteral("since %1").arg(withOffset(since));
    if (until.isValid())
        parts << QStringLiteral("before %1").arg(withOffset(until));
    const std::pair<const char *, const QString *> texts[] = {
        {"from", &from}, {"to", &to}, {"subject", &subject}, {"text", &text}};
    for (const auto &named : texts)
        if (!named.second->isEmpty())
            parts << QStringLiteral("%1 \"%2\"").arg(QLatin1String(named.first), *named.second);
    if (withAttachments)
        parts << QStringLiteral("with attachments");
    return parts.join(QLatin1String(", "));
}

bool MailFilter::matches(const MailMLRC &mail, const TextReader &olm) const
{
    if (since.isValid() || until.isValid()) {
        const QDateTime date = mailDate(mail);
        if ((since.isValid() && date < since) || (until.isValid() && date >= until))
            return false;
    }
    if (withAttachments && joinedListValues(ownedText(mail.AttachOffsets, FieldEncoding::Latin1)).isEmpty())
        return false;
    const MailDetails &details = detailsOf(&mail);
    if (!from.isEmpty()
        && !holds(DecodeEntities(utf8Field(mail.FromName) + QLatin1Char('\n') + latin1Field(mail.FromAddress))
                      + QLatin1Char('\n') + addressText(details.from),
                  from))
        return false;
    if (!to.isEmpty()
        && !holds(DecodeEntities(latin1Field(mail.ToAddresses) + QLatin1Char('\n') + latin1Field(mail.CcAddresses)
                                 + QLatin1Char('\n') + utf8Field(mail.BccAddresses))
                      + QLatin1Char('\n') + addressText(details.to) + QLatin1Char('\n') + addressText(details.cc),
                  to))
        return false;
    const QString mailSubject = mail.Subject[0] ? utf8Field(mail.Subject) : details.subject;
    if (!subject.isEmpty() && !holds(mailSubject, subject))
        return false;
    if (!text.isEmpty() && !holds(mailSubject, text)) {
        // The record's body, else the HTML one the export keeps beside it.
        const bool ownBody = mail.BodySize > 0;
        if (!bodyHolds(olm, ownBody ? mail.BodyOffset : details.htmlBody.offset,
                       ownBody ? mail.BodySize : details.htmlBody.size, text))
            return false;
    }
    return true;
}

QDateTime parseFilterDate(const QString &text, RangeEnd end)
{
    static const QRegularExpression localDay(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})$"));
    static const QRegularExpression localMinute(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})[ T](\\d{2}:\\d{2})$"));
    static const QRegularExpression zoned(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}(:\\d{2})?(Z|[+-]\\d{2}:?\\d{2})$"));
    const QString trimmed = text.trimmed();
    QRegularExpressionMatch match;
    if ((match = localDay.match(trimmed)).hasMatch()) {
        const QDate day = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return QDateTime();
        return localInstant(end == RangeEnd::Since ? day : day.addDays(1), QTime(0, 0));
    }
    if ((match = localMinute.match(trimmed)).hasMatch()) {
        const QDate day = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
        const QTime minute = QTime::fromString(match.captured(2), QStringLiteral("HH:mm"));
        if (!day.isValid() || !minute.isValid())
            return QDateTime();
        const QDateTime start = localInstant(day, minute);
        return end == RangeEnd::Since ? start : start.addSecs(60);
    }
    if ((match = zoned.match(trimmed)).hasMatch()) {
        const QDateTime start = QDateTime::fromString(trimmed, Qt::ISODate);
        // No zone on earth is further than 14 hours from UTC.
        if (!start.isValid() || qAbs(start.offsetFromUtc()) > 14 * 3600)
            return QDateTime();
        const bool seconds = !match.captured(1).isEmpty();
        return end == RangeEnd::Since ? start : start.addSecs(seconds ? 1 : 60);
    }
    return QDateTime();
}
