#pragma once
// Texts as the standard files need them.
#include "archive/BodyFilter.h"
#include "archive/TextReader.h"
#include "parsers/HtmlTest.h"
#include "parsers/Records.h"

#include <QString>

// Backslash, comma and semicolon escaped, every line break written as \n.
QString escapedValue(const QString &text);
// The stretch of the .olm file a record keeps as offset and size, as UTF-8 text; zero bytes dropped.
QString fileStretchText(const TextReader &olm, qint64 offset, qint64 size);
// HTML as plain text: head, style and script dropped, breaks where blocks end, tags removed.
QString plainTextOfHtml(const QString &html);
// Element content as a reader should see it: unescaped once, and as plain text when it is HTML.
QString readableText(const QString &content);
// HTML written out as UTF-8: every charset a <meta> tag declares becomes utf-8, so that
// the declaration agrees with the bytes (exports keep the sender's own, such as iso-2022-jp).
QString withUtf8Declaration(const QString &html);
// The same for HTML given in pieces of UTF-8: each <meta> tag is held until its ">" and
// changed whole, so the pieces come out as the whole text would.
class Utf8Declarations : public BodyFilter
{
public:
    QByteArray add(const QByteArray &html, bool last) override;

private:
    QByteArray m_held;     // from an unfinished "<meta" on
    bool m_inTag = false;  // m_held starts with a meta tag that has not closed yet
    int m_searched = 0;    // where in m_held the search for its ">" goes on
};
// A task's or note's text: the export's plain text where it has one, else its HTML as text.
QString noteText(const TasksInformation &task, const TextReader &olm);
QString noteText(const NotesInformation &note, const TextReader &olm);
