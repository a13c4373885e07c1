#include "archive/MailHeaders.h"

#include <QRegularExpression>
#include <QVector>

namespace {
const char kWordStart[] = "=?UTF-8?B?";
const char kWordEnd[] = "?=";
constexpr int kWordFraming = 12;
// RFC 2047: an encoded word is at most 75 characters long.
constexpr int kLongestWord = 75;

// The bytes a word of at most width characters holds: whole Base64 quads only.
int wordBytes(int width)
{
    return qMax(0, (qMin(width, kLongestWord) - kWordFraming) / 4 * 3);
}

// The UTF-8 bytes of each character, a surrogate pair being one character.
QVector<QByteArray> utf8Characters(const QString &text)
{
    QVector<QByteArray> characters;
    characters.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        characters.append(text.mid(i, length).toUtf8());
        i += length - 1;
    }
    return characters;
}

bool isAtext(QChar c)
{
    static const QString kSymbols = QStringLiteral("!#$%&'*+-/=?^_`{|}~");
    const ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || kSymbols.contains(c)
           || (u > 0x7F && !c.isSpace() && c.category() != QChar::Other_Control);
}

bool isDotAtom(const QString &text)
{
    if (text.isEmpty() || text.startsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('.'))
        || text.contains(QLatin1String("..")))
        return false;
    for (const QChar c : text) {
        if (c != QLatin1Char('.') && !isAtext(c))
            return false;
    }
    return true;
}

QByteArray quotedString(const QString &text)
{
    QByteArray quoted = text.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

bool isPrintableAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}
} // namespace

QString headerSafe(const QString &text)
{
    QString safe = text;
    for (QChar &c : safe) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return safe;
}

QByteArray encodedWords(const QString &text, int column, const QByteArray &lineBreak)
{
    const QVector<QByteArray> characters = utf8Characters(text);
    QByteArray out;
    int room = wordBytes(kHeaderLineLength - column);
    if (room < 4 && column > 0) {
        // No room for a word beside what the line holds: the first word starts the next line.
        out += lineBreak + ' ';
        room = wordBytes(kHeaderLineLength - 1);
    }
    int at = 0;
    do {
        int end = at, bytes = 0, wholeEnd = at, wholeBytes = 0;
        while (end < characters.size() && bytes + characters.at(end).size() <= room) {
            bytes += characters.at(end++).size();
            if (bytes % 3 == 0) {
                wholeEnd = end;
                wholeBytes = bytes;
            }
        }
        // A word that does not end the text ends after whole Base64 quads where
        // that keeps it at least half full.
        if (end < characters.size() && wholeBytes * 2 >= room)
            end = wholeEnd;
        QByteArray piece;
        for (int i = at; i < end; ++i)
            piece += characters.at(i);
        if (at > 0)
            out += lineBreak + ' ';
        out += kWordStart + piece.toBase64() + kWordEnd;
        at = end;
        room = wordBytes(kHeaderLineLength - 1);
    } while (at < characters.size());
    return out;
}

QByteArray subjectValue(const QString &subject, int column, const QByteArray &lineBreak)
{
    const QStringList words = subject.split(QLatin1Char(' '));
    bool fits = isPrintableAscii(subject) && !subject.contains(QLatin1String("=?"));
    for (int i = 0; fits && i < words.size(); ++i)
        fits = (i == 0 ? column : 1) + words.at(i).size() <= kHeaderLineLength;
    if (!fits)
        return encodedWords(subject, column, lineBreak);
    // Folded at spaces: a reader unfolds to the same text.
    QByteArray out;
    int lineLength = column;
    for (int i = 0; i < words.size(); ++i) {
        const QByteArray word = words.at(i).toLatin1();
        if (i > 0) {
            if (lineLength + 1 + word.size() > kHeaderLineLength) {
                out += lineBreak;
                lineLength = 0;
            }
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    return out;
}

bool isPlainAddress(const QString &address)
{
    const int at = address.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return isDotAtom(address);
    return isDotAtom(address.left(at)) && isDotAtom(address.mid(at + 1));
}

QByteArray addrSpec(const QString &address)
{
    QString safe = headerSafe(address).trimmed();
    if (safe.startsWith(QLatin1Char('<')) && safe.endsWith(QLatin1Char('>')) && isPlainAddress(safe.mid(1, safe.size() - 2)))
        safe = safe.mid(1, safe.size() - 2);
    if (isPlainAddress(safe))
        return safe.toUtf8();
    const int at = safe.lastIndexOf(QLatin1Char('@'));
    if (at > 0 && isDotAtom(safe.mid(at + 1)))
        return quotedString(safe.left(at)) + '@' + safe.mid(at + 1).toUtf8();
    return quotedString(safe);
}

QByteArray phrase(const QString &name, int column, const QByteArray &lineBreak)
{
    const QString safe = headerSafe(name).trimmed();
    if (!isPrintableAscii(safe) || safe.contains(QLatin1String("=?")))
        return encodedWords(safe, column, lineBreak);
    static const QRegularExpression atoms(QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~ -]+$"));
    if (atoms.match(safe).hasMatch())
        return safe.toLatin1();
    return quotedString(safe);
}
