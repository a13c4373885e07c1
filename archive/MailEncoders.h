#pragma once
// The encodings every mail writer and the upload share: Base64, quoted-printable,
// RFC 2047 encoded words, and the dates a message carries.
#include "archive/BodyFilter.h"
#include "parsers/Records.h"

#include <QByteArray>
#include <QString>

// RFC 2045: lines of Base64 text hold at most 76 characters.
constexpr int kBase64LineLength = 76;

// Standard Base64 (RFC 4648 alphabet, = padding) of bytes, on one line.
QByteArray base64(const QByteArray &bytes);
// The same of bytes given in pieces, as the whole would be encoded: on one line, or in
// lines of lineLength characters (a multiple of 4), each ended by LF.
class Base64Encoder : public BodyFilter
{
public:
    explicit Base64Encoder(int lineLength = 0) : m_lineLength(lineLength) {}
    QByteArray add(const QByteArray &bytes, bool last) override;

private:
    const int m_lineLength;
    QByteArray m_held; // bytes short of a whole group (or line)
};

// Quoted-printable text of a body given in pieces, as the whole would be encoded: lines
// of at most 76 characters with soft breaks "=" LF, and a line that could pass for an
// mbox separator begun with its first byte encoded.
class QuotedPrintableEncoder : public BodyFilter
{
public:
    QByteArray add(const QByteArray &text, bool last) override;

private:
    QByteArray m_input;      // bytes whose encoding the next piece decides
    int m_column = 0;
    bool m_lineStart = true;
    int m_scannedQuotes = 0; // ">" bytes at a line start already looked at
};
// A whole body's quoted-printable text.
QByteArray quotedPrintable(const QByteArray &text);

// Encoded words of text's UTF-8 bytes. The first word fits the line after `column`
// characters already on it, each further word goes on a continuation line
// (lineBreak, then one space) and holds at most 75 characters. Words end at
// character boundaries, after a space where one is near. Base64 words other than
// the last hold a multiple of three bytes, since GMime joins the Base64 of adjacent
// words before decoding it; where no such cut exists, the word is quoted-printable.
QByteArray encodedWords(const QString &text, int column = 0, const QByteArray &lineBreak = "\n");
// The Base64 encoded word =?UTF-8?B?…?= of a text that Latin-1 cannot hold; Latin-1 bytes otherwise.
QByteArray headerText(const QString &text);

// Message dates (Wed, 12 May 2010 20:00:00 +0530). The separator's is the delivery time its
// rule picks; the Date line's is the origination time every client sorts by: the sent time,
// else the received time. Each falls back to the other time field, the time of the last
// change and finally a fixed date, so that every message has both and messages never merge.
// The IMAP internal date is the separator's.
QByteArray separatorDate(const MailMLRC &mail);
QByteArray headerDate(const MailMLRC &mail);
