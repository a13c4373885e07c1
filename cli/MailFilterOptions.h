#pragma once
// The options that choose mails by what they are: --since, --until, --from, --to,
// --subject, --text and --with-attachments, each also as --name=VALUE.
#include "archive/MailFilter.h"

#include <QByteArray>
#include <QList>

enum class FilterOption { NotOne, Taken, Refused };

// Takes the option at arguments[*at] (and its value, moving *at past it) into filter.
// Refused, with *error the message of the usage error, for a missing value or a date
// that is none of the forms parseFilterDate reads.
FilterOption takeFilterOption(const QList<QByteArray> &arguments, int *at, MailFilter *filter, QByteArray *error);
// False, with *error the message of the usage error, when the filter's range holds no instant.
bool filterRangeUsable(const MailFilter &filter, QByteArray *error);
