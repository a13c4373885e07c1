#include "archive/MailHeaders.h"

#include "archive/MailEncoders.h"
#include <QRegularExpression>
#include <QVector>

namespace {
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
