#include "archive/MailFilter.h"

#include "archive/MailEncoders.h"
#include "archive/TextBlocks.h"
#include "parsers/EntityDecoding.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <optional>

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

// The body as the message carries it (entities decoded), searched block by block for
// every needle; a match that a block boundary cuts is found through the end of the
// block kept before. True when each needle stands in it.
bool bodyHoldsAll(const TextReader &olm, qint64 offset, qint64 size, QStringList needles)
{
    int longest = 0;
    for (const QString &needle : needles)
        longest = qMax(longest, int(needle.size()));
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
        needles.erase(std::remove_if(needles.begin(), needles.end(),
                                     [&window](const QString &needle) { return holds(window, needle); }),
                      needles.end());
        if (needles.isEmpty())
            return true;
        carried = window.right(longest - 1);
    }
    return false;
}

// The texts of one mail that a filter looks in, each made when first asked for.
class MailTexts
{
public:
    explicit MailTexts(const MailMLRC &mail) : m_mail(mail), m_details(detailsOf(&mail)) {}

    const QString &subject()
    {
        if (!m_subject)
            m_subject = m_mail.Subject[0] ? utf8Field(m_mail.Subject) : m_details.subject;
        return *m_subject;
    }
    const QString &sender()
    {
        if (!m_sender)
            m_sender = DecodeEntities(utf8Field(m_mail.FromName) + QLatin1Char('\n') + latin1Field(m_mail.FromAddress))
                       + QLatin1Char('\n') + addressText(m_details.from);
        return *m_sender;
    }
    const QString &recipients()
    {
        if (!m_recipients)
            m_recipients = DecodeEntities(latin1Field(m_mail.ToAddresses) + QLatin1Char('\n')
                                          + latin1Field(m_mail.CcAddresses) + QLatin1Char('\n')
                                          + utf8Field(m_mail.BccAddresses))
                           + QLatin1Char('\n') + addressText(m_details.to) + QLatin1Char('\n')
                           + addressText(m_details.cc);
        return *m_recipients;
    }
    // The names of the attachments kept and of those the scan could not find.
    const QString &attachmentNames()
    {
        if (!m_attachmentNames) {
            QString names = m_mail.AttachNames ? QString::fromUtf8(m_mail.AttachNames) : QString();
            for (const MissingAttachment &missing : m_details.unrecoveredAttachments)
                names += QLatin1Char('\n') + missing.name;
            m_attachmentNames = names;
        }
        return *m_attachmentNames;
    }
    // The record's body, else the HTML one the export keeps beside it.
    bool bodyHolds(const TextReader &olm, const QStringList &needles) const
    {
        const bool ownBody = m_mail.BodySize > 0;
        return bodyHoldsAll(olm, ownBody ? m_mail.BodyOffset : m_details.htmlBody.offset,
                            ownBody ? m_mail.BodySize : m_details.htmlBody.size, needles);
    }

private:
    const MailMLRC &m_mail;
    const MailDetails &m_details;
    std::optional<QString> m_subject, m_sender, m_recipients, m_attachmentNames;
};

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
           && text.isEmpty() && !withAttachments && searchWords.isEmpty();
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
    if (!searchWords.isEmpty())
        parts << (searchBodies ? QStringLiteral("found by the search \"%1\" (bodies searched too)")
                               : QStringLiteral("found by the search \"%1\""))
                     .arg(searchWords.join(QLatin1Char(' ')));
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
    MailTexts texts(mail);
    if (!from.isEmpty() && !holds(texts.sender(), from))
        return false;
    if (!to.isEmpty() && !holds(texts.recipients(), to))
        return false;
    if (!subject.isEmpty() && !holds(texts.subject(), subject))
        return false;
    if (!text.isEmpty() && !holds(texts.subject(), text) && !texts.bodyHolds(olm, {text}))
        return false;
    QStringList inBody;
    for (const QString &word : searchWords) {
        if (!holds(texts.subject(), word) && !holds(texts.sender(), word) && !holds(texts.recipients(), word)
            && !holds(texts.attachmentNames(), word)) {
            if (!searchBodies)
                return false;
            inBody << word;
        }
    }
    return inBody.isEmpty() || texts.bodyHolds(olm, inBody);
}

QStringList searchWordsOf(const QString &typed)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    QStringList words = typed.split(spaces, Qt::SkipEmptyParts);
    words.removeDuplicates();
    return words;
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
