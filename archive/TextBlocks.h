#pragma once
// A large text the .olm file keeps (a mail body), read back block by block as the
// UTF-8 that QString::fromUtf8 and toUtf8 make of the whole: invalid bytes replaced,
// a byte order mark at the very start dropped, and no character split between blocks.
// Memory stays at one block, however long the text.
#include "archive/TextReader.h"

#include <QByteArray>

class TextBlocks
{
public:
    // What a zero byte does: end the text there (the bundle), or drop out of it (the standard files).
    enum class ZeroBytes { EndText, Dropped };
    static constexpr qint64 kBlockSize = 1 << 20;

    TextBlocks(const TextReader &olm, qint64 offset, qint64 size, ZeroBytes zeros, qint64 blockSize = kBlockSize);
    // The next stretch of the text, never empty; false (and text empty) after the last.
    bool next(QByteArray *text);

private:
    const TextReader &m_olm;
    qint64 m_at;
    qint64 m_end;
    const ZeroBytes m_zeros;
    const qint64 m_blockSize;
    QByteArray m_carry; // the start of a character the last block cut
    bool m_first = true;
    bool m_done = false;
};

// The text of bytes as QString::fromUtf8(bytes).toUtf8() gives it; atStart says whether
// the bytes begin the text (where a byte order mark is dropped).
QByteArray utf8Text(const QByteArray &bytes, bool atStart);

// Drops the first count bytes of text. All of them are dropped without a copy: removing
// them would first copy bytes the text shares with another, only to empty them.
void dropFront(QByteArray &text, qint64 count);
