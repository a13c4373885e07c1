#include "parsers/EntityDecoding.h"

#include <QtTest>

class TestEntityDecoding : public QObject
{
    Q_OBJECT
private slots:
    void replacingRulesReplaceInTurn();
    void bytesAndTextAgree();
    void xmlReferencesDecodeAsXmlDefinesThem();
    void rangesDecodeLikeTheWholeText();
};

namespace {
// Texts made of entity pieces, drawn from a fixed seed.
QVector<QString> sampleTexts(int count)
{
    const QStringList pieces = {"&", "amp;", "lt;", "gt;", "nbsp;", "a", ";", "&amp;", "&lt;", "&gt;",
                                "\u00e9", "#", "x4A", "65", "quot;", "\u00a0", "\u20ac", "&#"};
    quint32 state = 4711;
    const auto next = [&state](quint32 bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % bound;
    };
    QVector<QString> texts;
    for (int sample = 0; sample < count; ++sample) {
        QString text;
        const int length = int(next(14));
        for (int i = 0; i < length; ++i)
            text += pieces.at(int(next(quint32(pieces.size()))));
        texts += text;
    }
    return texts;
}

// The rules as plain replacements over the whole text, one after the other.
QString replacedInTurn(QString text, const QVector<QPair<QString, QString>> &replacements)
{
    for (const auto &replacement : replacements)
        text.replace(replacement.first, replacement.second);
    return text;
}

const QVector<QPair<EntityRule, QVector<QPair<QString, QString>>>> &replacingRules()
{
    static const QVector<QPair<EntityRule, QVector<QPair<QString, QString>>>> rules = {
        {EntityRule::RecordFields, {{"&lt;", "<"}, {"&amp;", "&"}, {"&nbsp;", " "}}},
        {EntityRule::RecordFieldsAndGt, {{"&lt;", "<"}, {"&amp;", "&"}, {"&nbsp;", " "}, {"&gt;", ">"}}},
        {EntityRule::Preview, {{"&lt;", "<"}, {"&amp;", "&"}, {"&nbsp;", " "}, {"&amp;lt;", "<"}, {"&gt;", ">"}}},
        {EntityRule::MailBody,
         {{"&amp;gt;", ">"}, {"&amp;lt;", "<"}, {"&gt;", ">"}, {"&lt;", "<"}, {"&amp;", "&"}, {"&nbsp;", " "}}},
    };
    return rules;
}

const EntityRule kAllRules[] = {EntityRule::RecordFields, EntityRule::RecordFieldsAndGt, EntityRule::Preview,
                                EntityRule::MailBody, EntityRule::Xml};

// Decodes bytes in ranges cut at the given positions, carrying a cut entity over.
QByteArray decodedInRanges(const QByteArray &bytes, const QVector<int> &cuts, EntityRule rule)
{
    QByteArray out;
    QByteArray pending;
    int from = 0;
    for (int i = 0; i <= cuts.size(); ++i) {
        const int to = i < cuts.size() ? cuts.at(i) : bytes.size();
        const bool last = i == cuts.size();
        pending += bytes.mid(from, to - from);
        from = to;
        const qint64 decoded = decodeEntityRange(pending.constData(), pending.size(), rule, &out, last);
        if (last)
            QTest::qVerify(decoded == pending.size(), "last range decoded whole", "", __FILE__, __LINE__);
        pending.remove(0, int(decoded));
    }
    return out;
}
} // namespace

void TestEntityDecoding::replacingRulesReplaceInTurn()
{
    for (const QString &text : sampleTexts(3000)) {
        for (const auto &rule : replacingRules()) {
            QString expected = text;
            for (int times = 0; times <= 5; ++times) {
                QCOMPARE(decodeEntities(text, rule.first, times), expected);
                expected = replacedInTurn(expected, rule.second);
            }
        }
    }
    // The record rule's worked example, and the message identifier's fourth step.
    QCOMPARE(DecodeEntities("A &lt;b&gt; &amp;amp; c"), QString("A <b&gt; &amp; c"));
    QCOMPARE(DecodeEntities("&lt;abc@host&gt;", GtEntity::Decode), QString("<abc@host>"));
}

void TestEntityDecoding::bytesAndTextAgree()
{
    for (const QString &text : sampleTexts(3000)) {
        for (EntityRule rule : kAllRules)
            QCOMPARE(QString::fromUtf8(decodeEntities(text.toUtf8(), rule)), decodeEntities(text, rule));
    }
    // A reference reaches ten characters, not ten bytes.
    const QString spaced = QStringLiteral("&#65\u00a0\u00a0\u00a0\u00a0;");
    QCOMPARE(decodeEntities(spaced, EntityRule::Xml), QString("A"));
    QCOMPARE(decodeEntities(spaced.toUtf8(), EntityRule::Xml), QByteArray("A"));
    QCOMPARE(decodeXmlText("&#x1F600;&#0;&#xD800;&amp;lt;&bogus;"),
             QString::fromUtf8("\xF0\x9F\x98\x80&#0;&#xD800;&lt;&bogus;"));
}

// XML's own reading of a text, written out plainly: a reference is "&", a name of the five
// predefined entities or a character number, and ";" within ten characters; anything else
// is text as it stands.
QString xmlReading(const QString &text)
{
    static const QHash<QString, QString> predefined = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        const int end = text.indexOf(QLatin1Char(';'), i);
        if (text.at(i) != QLatin1Char('&') || end < 0 || end - i > 10) {
            out += text.at(i);
            continue;
        }
        const QString name = text.mid(i + 1, end - i - 1);
        bool ok = false;
        const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                          : name.startsWith(QLatin1Char('#'))                      ? name.mid(1).toUInt(&ok, 10)
                                                                                   : 0;
        if (predefined.contains(name)) {
            out += predefined.value(name);
        } else if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
            out += QString::fromUcs4(&code, 1);
        } else {
            out += text.at(i);
            continue;
        }
        i = end;
    }
    return out;
}

void TestEntityDecoding::xmlReferencesDecodeAsXmlDefinesThem()
{
    for (const QString &text : sampleTexts(3000)) {
        QCOMPARE(decodeXmlText(text), xmlReading(text));
        QCOMPARE(QString::fromUtf8(decodeEntities(text.toUtf8(), EntityRule::Xml)), xmlReading(text));
    }
    for (const char *text : {"&lt;&gt;&amp;", "&l", "&lt", "&gt:", "&amp", "&amp&lt;", "&ltx;", "&amp;lt;"})
        QCOMPARE(decodeXmlText(QString::fromLatin1(text)), xmlReading(QString::fromLatin1(text)));
}

void TestEntityDecoding::rangesDecodeLikeTheWholeText()
{
    for (const QString &text : sampleTexts(600)) {
        const QByteArray bytes = text.toUtf8();
        for (EntityRule rule : kAllRules) {
            const QByteArray whole = decodeEntities(bytes, rule);
            // Every single cut, and ranges of one byte each.
            for (int cut = 0; cut <= bytes.size(); ++cut)
                QCOMPARE(decodedInRanges(bytes, {cut}, rule), whole);
            QVector<int> everyByte;
            for (int at = 1; at < bytes.size(); ++at)
                everyByte += at;
            QCOMPARE(decodedInRanges(bytes, everyByte, rule), whole);
        }
    }
    // An entity cut by the end of a range is held back; a complete one is not.
    QByteArray out;
    QCOMPARE(decodeEntityRange("a &am", 5, EntityRule::RecordFields, &out, false), qint64(2));
    QCOMPARE(out, QByteArray("a "));
    QCOMPARE(decodeEntityRange("&lt;", 4, EntityRule::RecordFields, &out, false), qint64(4));
    QCOMPARE(out, QByteArray("a <"));
    // "&amp;" may yet be "&amp;nbsp;", which the record rule turns into a space.
    QCOMPARE(decodeEntityRange("x&amp;", 6, EntityRule::RecordFields, &out, false), qint64(1));
}

QTEST_APPLESS_MAIN(TestEntityDecoding)
#include "test_entitydecoding.moc"
