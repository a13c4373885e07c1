#include "archive/PlainText.h"

#include <QRegularExpression>

namespace {
struct NamedEntity {
    const char *name;
    char16_t character;
};

// The entities HTML bodies commonly use; a non-breaking space reads as a space.
const NamedEntity kHtmlEntities[] = {
    {"lt", u'<'},          {"gt", u'>'},          {"amp", u'&'},        {"quot", u'"'},
    {"apos", u'\''},       {"nbsp", u' '},
    {"copy", u'\u00A9'},   {"reg", u'\u00AE'},    {"trade", u'\u2122'}, {"hellip", u'\u2026'},
    {"ndash", u'\u2013'},  {"mdash", u'\u2014'},  {"lsquo", u'\u2018'}, {"rsquo", u'\u2019'},
    {"ldquo", u'\u201C'},  {"rdquo", u'\u201D'},  {"bull", u'\u2022'},  {"euro", u'\u20AC'},
    {"middot", u'\u00B7'}, {"laquo", u'\u00AB'},  {"raquo", u'\u00BB'}, {"deg", u'\u00B0'},
};
constexpr int kLongestReference = 10; // "&#x10FFFF;" and the names above fit

// The character a reference (the text between '&' and ';') stands for; false when unknown.
bool referencedText(const QStringRef &reference, QString *text)
{
    if (reference.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = reference.size() > 1 && (reference.at(1) == QLatin1Char('x') || reference.at(1) == QLatin1Char('X'));
        const uint code = reference.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        const char32_t character = code;
        *text = QString::fromUcs4(&character, 1);
        return true;
    }
    for (const NamedEntity &entity : kHtmlEntities)
        if (reference == QLatin1String(entity.name)) {
            *text = QChar(entity.character);
            return true;
        }
    return false;
}

// Entities and character references decoded in one pass, so "&amp;lt;" gives "&lt;".
QString decodeHtmlEntities(const QString &text)
{
    QString decoded;
    decoded.reserve(text.size());
    int from = 0;
    for (;;) {
        const int amp = text.indexOf(QLatin1Char('&'), from);
        if (amp < 0)
            break;
        decoded += text.midRef(from, amp - from);
        const int semicolon = text.indexOf(QLatin1Char(';'), amp + 1);
        QString character;
        if (semicolon > amp + 1 && semicolon - amp - 1 <= kLongestReference
            && referencedText(text.midRef(amp + 1, semicolon - amp - 1), &character)) {
            decoded += character;
            from = semicolon + 1;
        } else {
            decoded += QLatin1Char('&');
            from = amp + 1;
        }
    }
    decoded += text.midRef(from);
    return decoded;
}

QRegularExpression pattern(const char *expression)
{
    return QRegularExpression(QLatin1String(expression), QRegularExpression::CaseInsensitiveOption
                                                             | QRegularExpression::DotMatchesEverythingOption);
}
} // namespace

QString storedText(const TextReader &olm, qint64 offset, qint64 size)
{
    QByteArray bytes = olm.read(offset, size);
    bytes.replace('\0', QByteArray());
    return QString::fromUtf8(bytes);
}

QString plainTextOfHtml(const QString &html)
{
    static const QRegularExpression hidden =
        pattern("<!--.*?(-->|$)|<(head|style|script)\\b[^>]*>.*?(</\\2\\s*>|$)");
    static const QRegularExpression space = pattern("\\s+");
    static const QRegularExpression lineEnd =
        pattern("<br\\b[^>]*>|</(p|div|li|tr|h[1-6]|blockquote|pre|table|ul|ol)\\s*>");
    static const QRegularExpression tag = pattern("</?[a-z!][^>]*>");
    static const QRegularExpression spaceAroundBreak = pattern(" *\\n *");
    static const QRegularExpression blankLines = pattern("\\n{3,}");

    QString text = html;
    text.remove(hidden);
    text.replace(space, QStringLiteral(" "));
    text.replace(lineEnd, QStringLiteral("\n"));
    text.remove(tag);
    text = decodeHtmlEntities(text);
    text.replace(spaceAroundBreak, QStringLiteral("\n"));
    text.replace(blankLines, QStringLiteral("\n\n"));
    return text.trimmed();
}
