#pragma once
// What a row of the mail list, and of the search results, shows of a mail and sorts it by.
// Plain functions of the record: the search works them out beside the window.
#include "parsers/Records.h"

#include <QDateTime>
#include <QString>

// The sender's name, else the address; of a joined list the one the preview shows.
QString mailSenderText(const MailMLRC &mail);
// The seconds since the epoch of the time the Date line shows; false when it holds none.
bool mailDateSeconds(const MailMLRC &mail, qint64 *seconds);
// The body and attachments together, in bytes.
qint64 mailSize(const MailMLRC &mail);
// The user's short date and time to the minute.
QString listMomentText(const QDateTime &moment);
