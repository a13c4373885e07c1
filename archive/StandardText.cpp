#include "archive/StandardText.h"

#include "parsers/HtmlTest.h"
#include "parsers/ItemDetails.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

QString escapedValue(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString fileStretchText(const TextReader &olm, qint64 offset, qint64 size)
{
    QByteArray bytes = olm.read(offset, size);
    if (memchr(bytes.constData(), '\0', size_t(bytes.size())))
        bytes.truncate(int(std::remove(bytes.begin(), bytes.end(), '\0') - bytes.begin()));
    return QString::fromUtf8(bytes);
}

namespace {
// Each step below is one pass over the text: its searches only move forward, so a
// text full of openings that never close ("<style>" a hundred thousand times) costs
// one pass, not one pass per opening.

bool isWordCharacter(QChar c) { return c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('_'); }

// Where </name\s*> starts at or after from, and its end in *end; -1 when nowhere.
int closingTagFrom(const QString &text, const QString &name, int from, int *end)
{
    const QString opening = QStringLiteral("</") + name;
    for (int at = text.indexOf(opening, from, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(opening, at + 1, Qt::CaseInsensitive)) {
        int i = at + opening.size();
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        if (i < text.size() && text.at(i) == QLatin1Char('>')) {
            *end = i + 1;
            return at;
        }
    }
    return -1;
}

// Head, style and script elements, each from its start tag to its own end tag.
QString withoutDroppedElements(const QString &text)
{
    static const char *const kNames[] = {"head", "style", "script"};
    struct NextClosing {
        int searchedFrom = -1, at = -1, end = -1;
    } next[3];
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size();) {
        int skipTo = -1;
        if (text.at(i) == QLatin1Char('<')) {
            for (int k = 0; k < 3 && skipTo < 0; ++k) {
                const QLatin1String name(kNames[k]);
                const int after = i + 1 + name.size();
                if (text.midRef(i + 1, name.size()).compare(name, Qt::CaseInsensitive) != 0
                    || (after < text.size() && isWordCharacter(text.at(after))))
                    continue;
                NextClosing &closing = next[k];
                // An earlier search answers when it found nothing, or something not before after.
                if (closing.searchedFrom < 0 || (closing.at >= 0 && closing.at < after)) {
                    closing.searchedFrom = after;
                    closing.at = closingTagFrom(text, name, after, &closing.end);
                }
                if (closing.at >= 0)
                    skipTo = closing.end;
            }
        }
        if (skipTo >= 0) {
            i = skipTo;
        } else {
            out += text.at(i);
            ++i;
        }
    }
    return out;
}

QString withoutComments(const QString &text)
{
    QString out;
    out.reserve(text.size());
    int from = 0;
    for (int open = text.indexOf(QLatin1String("<!--")); open >= 0; open = text.indexOf(QLatin1String("<!--"), from)) {
        const int close = text.indexOf(QLatin1String("-->"), open + 4);
        if (close < 0)
            break; // no comment after this one closes either
        out += text.midRef(from, open - from);
        from = close + 3;
    }
    out += text.midRef(from);
    return out;
}

QString withSpacesCollapsed(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size();) {
        if (!text.at(i).isSpace()) {
            out += text.at(i++);
            continue;
        }
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        out += QLatin1Char(' ');
    }
    return out;
}

// The length of a line-ending tag at i (<br>, <br/>, </p>, </div>, </li>, </tr>,
// </h1> to </h6>, spaces allowed before the '>'), 0 when there is none.
int lineEndTagAt(const QString &text, int i)
{
    auto skipSpaces = [&](int at) {
        while (at < text.size() && text.at(at).isSpace())
            ++at;
        return at;
    };
    auto nameAt = [&](int at, const char *name) {
        const QLatin1String expected(name);
        return text.midRef(at, expected.size()).compare(expected, Qt::CaseInsensitive) == 0 ? at + expected.size() : -1;
    };
    int at = -1;
    if ((at = nameAt(i, "<br")) >= 0) {
        at = skipSpaces(at);
        if (at < text.size() && text.at(at) == QLatin1Char('/'))
            ++at;
    } else if (nameAt(i, "</") >= 0) {
        for (const char *name : {"</p", "</div", "</li", "</tr"}) {
            if ((at = nameAt(i, name)) >= 0)
                break;
        }
        if (at < 0 && nameAt(i, "</h") >= 0 && i + 3 < text.size() && text.at(i + 3) >= QLatin1Char('1')
            && text.at(i + 3) <= QLatin1Char('6'))
            at = i + 4;
    }
    if (at < 0)
        return 0;
    at = skipSpaces(at);
    return at < text.size() && text.at(at) == QLatin1Char('>') ? at + 1 - i : 0;
}

QString withLineEndTagsAsBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size();) {
        const int length = text.at(i) == QLatin1Char('<') ? lineEndTagAt(text, i) : 0;
        if (length > 0) {
            out += QLatin1Char('\n');
            i += length;
        } else {
            out += text.at(i++);
        }
    }
    return out;
}

QString withoutTags(const QString &text)
{
    QString out;
    out.reserve(text.size());
    int from = 0;
    for (int open = text.indexOf(QLatin1Char('<')); open >= 0; open = text.indexOf(QLatin1Char('<'), from)) {
        const int close = text.indexOf(QLatin1Char('>'), open + 1);
        if (close < 0)
            break; // no '>' closes this '<' or any after it
        out += text.midRef(from, open - from);
        from = close + 1;
    }
    out += text.midRef(from);
    return out;
}
} // namespace


QString withUtf8Declaration(const QString &html)
{
    static const QRegularExpression meta(QStringLiteral("<meta\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression charset(QStringLiteral("(charset\\s*=\\s*[\"']?)[A-Za-z0-9_.:+-]+"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!html.contains(QLatin1String("charset"), Qt::CaseInsensitive))
        return html;
    QString out;
    int from = 0;
    QRegularExpressionMatchIterator tags = meta.globalMatch(html);
    while (tags.hasNext()) {
        const QRegularExpressionMatch tag = tags.next();
        out += html.midRef(from, tag.capturedStart() - from);
        out += tag.captured().replace(charset, QStringLiteral("\\1utf-8"));
        from = tag.capturedEnd();
    }
    return out + html.midRef(from);
}

QByteArray Utf8Declarations::add(const QByteArray &html, bool last)
{
    // "<meta" (any case) and a character that cannot continue a word, as \b reads it.
    const auto isWordByte = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    };
    m_held += html;
    const char *const text = m_held.constData();
    const int size = m_held.size();
    QByteArray out;
    int at = 0;
    int from = 0; // the first byte not yet in out: text between meta tags goes in whole
    while (at < size) {
        if (m_inTag) {
            const char *close = static_cast<const char *>(memchr(text + m_searched, '>', size_t(size - m_searched)));
            if (!close) {
                if (last)
                    break; // a tag that never closes is no tag
                out.append(text + from, at - from);
                m_searched = size;
                m_held.remove(0, at);
                m_searched -= at;
                return out;
            }
            const int end = int(close - text) + 1;
            out.append(text + from, at - from);
            out += withUtf8Declaration(QString::fromUtf8(text + at, end - at)).toUtf8();
            at = from = end;
            m_inTag = false;
            continue;
        }
        const char *open = static_cast<const char *>(memchr(text + at, '<', size_t(size - at)));
        if (!open)
            break;
        const int position = int(open - text);
        const int compared = qMin(4, size - position - 1);
        // Most tags are told from "<meta" by their first letter alone.
        if ((compared > 0 && (open[1] | 0x20) != 'm') || qstrnicmp(open + 1, "meta", uint(compared)) != 0) {
            at = position + 1;
            continue;
        }
        if (compared < 4 || position + 5 == size) {
            if (last)
                break; // the text ends before any ">" could close a tag here
            out.append(text + from, position - from);
            m_held.remove(0, position);
            return out;
        }
        if (isWordByte(text[position + 5])) {
            at = position + 1;
            continue;
        }
        at = position;
        m_inTag = true;
        m_searched = position + 5;
    }
    if (from == 0)
        out = m_held; // no declaration changed: the text as it came
    else
        out.append(text + from, size - from);
    m_held.clear();
    m_inTag = false;
    m_searched = 0;
    return out;
}

QString plainTextOfHtml(const QString &html)
{
    QString text = withoutTags(withLineEndTagsAsBreaks(withSpacesCollapsed(withoutComments(withoutDroppedElements(html)))));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text = decodeXmlText(text).replace(QChar(0xA0), QLatin1Char(' '));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n')).trimmed();
}

QString readableText(const QString &content)
{
    const QString text = decodeXmlText(content);
    return holdsMarkup(text) ? plainTextOfHtml(text) : text.trimmed();
}

QString noteText(const TasksInformation &task, const TextReader &olm)
{
    if (task.NotePlainSize != 0)
        return decodeXmlText(fileStretchText(olm, task.NotePlainOffset, task.NotePlainSize));
    return plainTextOfHtml(decodeXmlText(fileStretchText(olm, task.NoteOffset, task.NoteSize)));
}

QString noteText(const NotesInformation &note, const TextReader &olm)
{
    if (note.PlainTextSize != 0)
        return decodeXmlText(fileStretchText(olm, note.PlainTextOffset, note.PlainTextSize));
    return plainTextOfHtml(decodeXmlText(fileStretchText(olm, note.NotesOffset, note.NotesSize)));
}
