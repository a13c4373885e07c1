#include "archive/MailHeaders.h"

#include <QRegularExpression>
#include <QVector>

namespace {
const char kWordStart[] = "=?UTF-8?B?";
const char kQWordStart[] = "=?UTF-8?Q?";
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

// RFC 2047 "Q" of one character: letters and digits as they are, a space as "_",
// every other byte as =XX, which is safe in a phrase as in unstructured text.
QByteArray qEncoded(const QByteArray &character)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char byte : character) {
        const uchar c = uchar(byte);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += byte;
        else if (c == ' ')
            out += '_';
        else
            out += '=' + QByteArray(1, kHex[c >> 4]) + kHex[c & 15];
    }
    return out;
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
    int width = qMin(kLongestWord, kHeaderLineLength - column);
    if (wordBytes(width) < 4 && column > 0) {
        // No room for a word beside what the line holds: the first word starts the next line.
        out += lineBreak + ' ';
        width = kLongestWord;
    }
    int at = 0;
    do {
        const int room = wordBytes(width);
        int end = at, bytes = 0, wholeEnd = -1;
        bool wholeAfterSpace = false;
        while (end < characters.size() && bytes + characters.at(end).size() <= room) {
            bytes += characters.at(end++).size();
            const bool afterSpace = characters.at(end - 1) == " ";
            // The latest cut after whole Base64 quads, one after a space where there is one.
            if (bytes % 3 == 0 && bytes * 2 >= room && (afterSpace || !wholeAfterSpace)) {
                wholeEnd = end;
                wholeAfterSpace = afterSpace;
            }
        }
        if (at > 0)
            out += lineBreak + ' ';
        QByteArray piece;
        if (end == characters.size() || wholeEnd > 0) {
            // Base64; every word but the last ends after whole quads, since some readers
            // join the Base64 of adjacent words before decoding it.
            if (end < characters.size())
                end = wholeEnd;
            for (int i = at; i < end; ++i)
                piece += characters.at(i);
            out += kWordStart + piece.toBase64() + kWordEnd;
        } else {
            // No cut after whole quads: this word is quoted-printable, which joins with anything.
            end = at;
            int length = 0;
            while (end < characters.size()) {
                const QByteArray encoded = qEncoded(characters.at(end));
                if (length + encoded.size() > width - kWordFraming && end > at)
                    break;
                piece += encoded;
                length += encoded.size();
                ++end;
            }
            out += kQWordStart + piece + kWordEnd;
        }
        at = end;
        width = kLongestWord;
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
