#include "cli/MailFilterOptions.h"

namespace {
const char kDateForms[] = "YYYY-MM-DD, 'YYYY-MM-DD HH:MM' or ISO 8601 with a zone (2020-05-01T10:30+02:00)";
} // namespace

bool filterRangeUsable(const MailFilter &filter, QByteArray *error)
{
    if (filter.since.isValid() && filter.until.isValid() && filter.since >= filter.until) {
        *error = "--since names a time after --until: no mail could be chosen";
        return false;
    }
    return true;
}

FilterOption takeFilterOption(const QList<QByteArray> &arguments, int *at, MailFilter *filter, QByteArray *error)
{
    const QByteArray &argument = arguments.at(*at);
    if (argument == "--with-attachments") {
        filter->withAttachments = true;
        return FilterOption::Taken;
    }
    const int equals = argument.indexOf('=');
    const QByteArray name = equals < 0 ? argument : argument.left(equals);
    QString *const texts[] = {&filter->from, &filter->to, &filter->subject, &filter->text};
    const char *const textNames[] = {"--from", "--to", "--subject", "--text"};
    QString *text = nullptr;
    for (int i = 0; i < 4; ++i)
        if (name == textNames[i])
            text = texts[i];
    const bool isDate = name == "--since" || name == "--until";
    if (!text && !isDate)
        return FilterOption::NotOne;
    QByteArray value;
    if (equals >= 0) {
        value = argument.mid(equals + 1);
    } else if (*at + 1 < arguments.size()) {
        value = arguments.at(++*at);
    } else {
        *error = name + (isDate ? " needs a DATE" : " needs a TEXT");
        return FilterOption::Refused;
    }
    const QString decoded = QString::fromLocal8Bit(value);
    if (text) {
        if (decoded.isEmpty()) {
            *error = name + " needs a TEXT that is not empty";
            return FilterOption::Refused;
        }
        *text = decoded;
        return FilterOption::Taken;
    }
    const bool since = name == "--since";
    const QDateTime date = parseFilterDate(decoded, since ? RangeEnd::Since : RangeEnd::Until);
    if (!date.isValid()) {
        *error = name + " takes " + kDateForms + ", not '" + value + "'";
        return FilterOption::Refused;
    }
    (since ? filter->since : filter->until) = date;
    return FilterOption::Taken;
}
