#pragma once
// Whether a mail body or a text is HTML: the three tests the program applies, in one place.
// The scanners take the UTF-8 text in pieces of any size, so that a body read block by
// block is judged exactly as the whole text would be.
#include <QByteArray>
#include <QString>

// The bundle's mail writer: the body holds, compared without regard to case (as Unicode
// folds it), both the opening and the closing text of one of its tag pairs; the test
// with links also takes "<a " and "</a>".
class HtmlPairScan
{
public:
    void add(const char *text, qint64 size);
    bool holdsPair(bool withLinks) const;

private:
    quint32 m_found = 0; // one bit per opening or closing text
    QByteArray m_tail;   // a '<' whose text the last piece cut short, and what follows it
};
bool bodyLooksLikeHtml(const QByteArray &utf8, bool withLinks);

// The mail preview: one of its tag names, all lower case or all upper case, with its
// opening and closing text anywhere in the body, or the font pair of some mailers.
bool previewLooksLikeHtml(const QByteArray &body);

// The standard files: a tag or comment opens somewhere ("<" and a letter, "</" and a
// letter, or "<!--") and a ">" closes it somewhere after.
class MarkupScan
{
public:
    void add(const char *text, qint64 size);
    bool holdsMarkup() const { return m_closed; }

private:
    bool m_opened = false;
    bool m_closed = false;
    QByteArray m_tail; // a '<' at the end of the last piece and what follows it
};
bool holdsMarkup(const QString &text);
