#pragma once
// One mail message on its way into a file: small pieces gathered into large writes,
// and the header lines that an mbox reader would take for the start of a new message
// quoted. Both mail writers write through it; bodies come quoted or encoded from their
// stream (archive/BodyStream.h).
#include <QByteArray>
#include <QIODevice>

// What begins a message in an mbox file.
constexpr char kMboxSeparator[] = "From ";
constexpr int kMboxSeparatorLength = 5;

// "From " after any number of ">": a line that mboxrd readers would split at.
bool startsLikeSeparator(const char *at, const char *end);

class MessageOutput
{
public:
    enum class Quoting {
        // A message on its own, as a mail server stores it, or the bundle's: nothing quoted.
        None,
        // mboxrd: a line that is "From " after any number of ">" gets one ">" more.
        Mboxrd,
    };

    MessageOutput(QIODevice &device, Quoting quoting);
    ~MessageOutput() { flush(); }

    // Bytes as they are: header lines, part delimiters, encoded content.
    void put(const QByteArray &bytes);
    void put(const char *bytes, qint64 size);
    // One line and its LF; quoted where it could pass for a separator (mboxrd).
    void line(const QByteArray &text) { line(text.constBegin(), text.constEnd()); }
    void line(const char *begin, const char *end);
    // Lines separated by LF, each written as line() does.
    void lines(const QByteArray &text);

    // Writes what is gathered; false once any write failed.
    bool flush();
    bool ok() const { return m_ok; }

private:
    static constexpr int kOutputBlock = 1 << 20;
    static constexpr int kDirectWrite = 1 << 16;
    void flushWhenFull()
    {
        if (m_pending.size() >= kOutputBlock)
            flush();
    }

    QIODevice &m_device;
    const Quoting m_quoting;
    QByteArray m_pending;
    bool m_ok = true;
};
