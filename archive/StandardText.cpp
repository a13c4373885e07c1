#include "archive/StandardText.h"

#include "parsers/ItemDetails.h"

#include <QRegularExpression>

#include <algorithm>

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
    if (bytes.contains('\0'))
        bytes.truncate(int(std::remove(bytes.begin(), bytes.end(), '\0') - bytes.begin()));
    return QString::fromUtf8(bytes);
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
    static const QRegularExpression markup(QStringLiteral("<(/?[a-zA-Z][a-zA-Z0-9]*|!--)[^>]*>"));
    return markup.match(text).hasMatch();
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
