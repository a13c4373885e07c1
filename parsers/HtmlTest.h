#pragma once
// Whether a mail body or a text is HTML: the three tests the program applies, in one place.
// The scanners take the UTF-8 text in pieces of any size, so that a body read block by
// block is judged exactly as the whole text would be.
#include <QByteArray>
#include <QString>

// Which of a few texts, each starting with the same character, a text holds somewhere,
// compared without regard to case as Unicode folds it.
class FoldedScan
{
public:
    // texts stay owned by the caller; at most 32 of them.
    FoldedScan(const char *const *texts, int count);
    void add(const char *text, qint64 size);
    quint32 found() const { return m_found; }

private:
    const char *const *m_texts;
    int m_count;
    quint32 m_found = 0; // one bit per text
    // For each byte, the texts whose second (third) character it can begin: most starts
    // are ruled out by two look-ups.
    quint32 m_second[256];
    quint32 m_third[256];
    QByteArray m_tail; // a start whose text the last piece cut short, and what follows it
};

// The bundle's mail writer: the body holds, compared without regard to case (as Unicode
// folds it), both the opening and the closing text of one of its tag pairs; the test
// with links also takes "<a " and "</a>".
class HtmlPairScan
{
public:
    HtmlPairScan();
    void add(const char *text, qint64 size);
    bool holdsPair(bool withLinks) const;

private:
    FoldedScan m_scan;
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
