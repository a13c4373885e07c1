#pragma once
// One mail message on its way into a file: small pieces gathered into large writes,
// and the lines that an mbox reader would take for the start of a new message quoted.
// Both mail writers write through it.
#include <QByteArray>
#include <QIODevice>

// "From " after any number of ">": a line that mboxrd readers would split at.
bool startsLikeSeparator(const char *at, const char *end);

class MessageOutput
{
public:
    enum class Quoting {
        // A message on its own, as a mail server stores it: nothing quoted.
        None,
        // The bundle: a body line (after CR or LF) that starts "From " gets a ">" before it.
        FromLines,
        // mboxrd: a line that is "From " after any number of ">" gets one ">" more.
        Mboxrd,
    };

    MessageOutput(QIODevice &device, Quoting quoting);
    ~MessageOutput() { flush(); }

    // Bytes as they are: header lines, part delimiters, encoded content.
    void put(const QByteArray &bytes) { put(bytes.constData(), bytes.size()); }
    void put(const char *bytes, qint64 size);
    // One line and its LF; quoted where it could pass for a separator (mboxrd).
    void line(const QByteArray &text) { line(text.constBegin(), text.constEnd()); }
    void line(const char *begin, const char *end);
    // Lines separated by LF, each written as line() does.
    void lines(const QByteArray &text);
    // Body text in pieces of any size, line ends CR or LF: a line that starts "From "
    // is quoted however the pieces cut it. endText() ends the text.
    void text(const char *bytes, qint64 size);
    void endText();
    // Base64 text as lines of 76 characters; such lines never pass for a separator.
    void base64Lines(const QByteArray &encoded);

    // Writes what is gathered; false once any write failed.
    bool flush();
    bool ok() const { return m_ok; }

private:
    static constexpr int kOutputBlock = 1 << 20;
    void flushWhenFull()
    {
        if (m_pending.size() >= kOutputBlock)
            flush();
    }

    QIODevice &m_device;
    const Quoting m_quoting;
    QByteArray m_pending;
    bool m_ok = true;
    bool m_textLineStart = true; // the next text byte starts a line
    int m_heldFrom = 0;          // bytes of "From " at a line start that the last piece ended in
};
