#pragma once
// Which mails a save takes, or the window's search finds: a date range and words that
// must stand in the sender, a recipient, the subject, an attachment name or the body.
// A mail is dated by its Date line (sent time, else received time, else the time of its
// last change). Texts match without regard to case.
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

struct MailFilter {
    QDateTime since;          // invalid: no lower bound; a mail at this instant is in
    QDateTime until;          // invalid: no upper bound; a mail at this instant is out
    QString from, to, subject, text; // empty: not asked
    bool withAttachments = false;
    // The words of a search across every folder: each stands in the subject, the sender,
    // a recipient or an attachment name, or, with searchBodies, in the body.
    QStringList searchWords;
    bool searchBodies = false;

    bool isEmpty() const;
    // The filter as the report and the summary name it: since 2020-01-01T00:00:00-07:00, from "ann", …
    QString description() const;
    // The body is read through olm only when text or searchBodies is asked and the
    // subject (and for a search the other texts) does not hold what is sought.
    bool matches(const MailMLRC &mail, const TextReader &olm) const;
};

// The instant a mail is judged by: the date its Date line shows.
QDateTime mailDate(const MailMLRC &mail);

// The words of what a user typed into a search, in their order, each once.
QStringList searchWordsOf(const QString &typed);

// A date as the user writes it: "YYYY-MM-DD" or "YYYY-MM-DD HH:MM" in the local zone,
// or ISO 8601 with a zone ("2020-05-01T10:30:00+02:00", "…Z"). As a lower bound the
// range begins at its first instant; as an upper bound it ends after the day, minute
// or second it names, so that --until 2020-05-01 keeps all of that day. Invalid when
// the text is none of these.
enum class RangeEnd { Since, Until };
QDateTime parseFilterDate(const QString &text, RangeEnd end);
