#include "browse/MailRowText.h"

#include "browse/QPreviewOfItems.h"
#include "parsers/RecordText.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

QString mailSenderText(const MailMLRC &mail)
{
    const QString name = reducedSender(utf8OrLatin1Field(mail.FromName, int(sizeof mail.FromName)).split(QLatin1Char(';')));
    if (!name.isEmpty())
        return name;
    return reducedSender(utf8OrLatin1Field(mail.FromAddress, int(sizeof mail.FromAddress)).split(QLatin1Char(';')));
}

bool mailDateSeconds(const MailMLRC &mail, qint64 *seconds)
{
    const MailShownDate date = mailShownDate(mail);
    return messageDateSeconds(date.stamp, date.stampWidth, seconds);
}

qint64 mailSize(const MailMLRC &mail)
{
    const qint64 bodySize = mail.BodySize; // a copy: the packed field is not aligned
    qint64 size = qMax<qint64>(0, bodySize);
    if (mail.AttachSizes) {
        for (const QByteArray &part : QByteArray(mail.AttachSizes).split(';'))
            size += qMax<qint64>(0, part.toLongLong());
    }
    return size;
}

// Seconds would only widen the column. The format is worked out once: a folder of tens
// of thousands of mails asks for it per row.
QString listMomentText(const QDateTime &moment)
{
    static const QString format = [] {
        QString withSeconds = QLocale().dateTimeFormat(QLocale::ShortFormat);
        return withSeconds.remove(QRegularExpression(QStringLiteral("[:.]ss")));
    }();
    return QLocale().toString(moment.toLocalTime(), format);
}
