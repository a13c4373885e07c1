#include "archive/StandardText.h"

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

QString storedText(const TextReader &olm, qint64 offset, qint64 size)
{
    QByteArray bytes = olm.read(offset, size);
    if (memchr(bytes.constData(), '\0', size_t(bytes.size())))
        bytes.truncate(int(std::remove(bytes.begin(), bytes.end(), '\0') - bytes.begin()));
    return QString::fromUtf8(bytes);
}

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

QString plainTextOfHtml(const QString &html)
{
    QString text = html;
    text.remove(QRegularExpression(QStringLiteral("<(head|style|script)\\b.*?</\\1\\s*>"),
                                   QRegularExpression::CaseInsensitiveOption
                                       | QRegularExpression::DotMatchesEverythingOption));
    text.remove(QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
    text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    text.replace(QRegularExpression(QStringLiteral("<(br\\s*/?|/p|/div|/li|/tr|/h[1-6])\\s*>"),
                                    QRegularExpression::CaseInsensitiveOption),
                 QStringLiteral("\n"));
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text = decodeXmlText(text).replace(QChar(0xA0), QLatin1Char(' '));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n')).trimmed();
}

bool holdsMarkup(const QString &text)
{
    // A tag or comment opens with "<" and a letter, "</" and a letter, or "<!--", and
    // closes with a ">" somewhere after; the first opening decides, since a ">" after a
    // later one is after it too.
    const auto isLetter = [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    };
    const QChar *const chars = text.constData();
    const int size = text.size();
    for (int at = 0; at + 1 < size; ++at) {
        if (chars[at] != QLatin1Char('<'))
            continue;
        int opened = 0; // characters of the opening after "<"
        if (isLetter(chars[at + 1]))
            opened = 1;
        else if (chars[at + 1] == QLatin1Char('/') && at + 2 < size && isLetter(chars[at + 2]))
            opened = 2;
        else if (text.midRef(at + 1, 3) == QLatin1String("!--"))
            opened = 3;
        if (opened)
            return text.indexOf(QLatin1Char('>'), at + 1 + opened) >= 0;
    }
    return false;
}

QString readableText(const QString &content)
{
    const QString text = decodeXmlText(content);
    return holdsMarkup(text) ? plainTextOfHtml(text) : text.trimmed();
}

QString noteText(const TasksInformation &task, const TextReader &olm)
{
    if (task.NotePlainSize != 0)
        return decodeXmlText(storedText(olm, task.NotePlainOffset, task.NotePlainSize));
    return plainTextOfHtml(decodeXmlText(storedText(olm, task.NoteOffset, task.NoteSize)));
}

QString noteText(const NotesInformation &note, const TextReader &olm)
{
    if (note.PlainTextSize != 0)
        return decodeXmlText(storedText(olm, note.PlainTextOffset, note.PlainTextSize));
    return plainTextOfHtml(decodeXmlText(storedText(olm, note.NotesOffset, note.NotesSize)));
}
