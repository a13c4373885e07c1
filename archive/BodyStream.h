#pragma once
// A mail body on its way from the .olm file into a message: read block by block and
// passed through a chain of filters (archive/BodyFilter.h), each converting what the one
// before it gave: entities decoded, line ends, the charset an HTML body declares, "From "
// quoting, the transfer encoding. Every mail writer and the upload take their bodies and
// attachments through it; memory stays at about a block, however long the body.
#include "archive/BodyFilter.h"
#include "archive/TextBlocks.h"
#include "archive/TextReader.h"
#include "parsers/EntityDecoding.h"

#include <QByteArray>
#include <memory>
#include <utility>
#include <vector>

// Attachments are read in blocks of whole Base64 lines (57 bytes a line, and so whole
// groups of three too): the encoder holds nothing back between blocks.
constexpr qint64 kAttachmentBlock = 57 * 16384;

class BodyStream
{
public:
    // The text of a stretch of the file, as TextBlocks reads it.
    static BodyStream fileText(const TextReader &olm, qint64 offset, qint64 size, TextBlocks::ZeroBytes zeros,
                               qint64 blockSize);
    // The bytes of a stretch of the file as they are, up to where the file ends.
    static BodyStream fileBytes(const TextReader &olm, qint64 offset, qint64 size, qint64 blockSize);
    // A text read before.
    static BodyStream heldText(const QByteArray &text);

    // Adds a filter at the end of the chain.
    template <class Filter, class... Arguments> BodyStream &then(Arguments &&...arguments)
    {
        m_filters.push_back(std::make_unique<Filter>(std::forward<Arguments>(arguments)...));
        return *this;
    }
    // The next piece out of the chain, never empty; false (and piece empty) after the last.
    bool next(QByteArray *piece);
    // The bytes fileBytes read so far.
    qint64 bytesRead() const { return m_read; }

private:
    enum class Source { FileText, FileBytes, Held };
    explicit BodyStream(Source source) : m_source(source) {}
    void read(QByteArray *block);

    Source m_source;
    std::unique_ptr<TextBlocks> m_blocks;
    const TextReader *m_olm = nullptr;
    qint64 m_at = 0, m_end = 0, m_blockSize = 0, m_read = 0;
    QByteArray m_held;
    bool m_sourceDone = false;
    bool m_done = false;
    std::vector<std::unique_ptr<BodyFilter>> m_filters;
};

// Entities and character references decoded by rule; one a piece cuts is held until it is whole.
class EntityFilter : public BodyFilter
{
public:
    explicit EntityFilter(EntityRule rule) : m_rule(rule) {}
    QByteArray add(const QByteArray &piece, bool last) override;

private:
    const EntityRule m_rule;
    QByteArray m_held;
};

// Line ends made LF: every CR (the bundle), or CR LF and a CR alone each as one LF.
class LineEndFilter : public BodyFilter
{
public:
    enum class Mode { EveryCr, CrLfPairs };
    explicit LineEndFilter(Mode mode) : m_mode(mode) {}
    QByteArray add(const QByteArray &piece, bool last) override;

private:
    const Mode m_mode;
    bool m_heldCR = false; // a CR that ended the last piece may be the first half of CR LF
};

// The bundle's quoting: a line that starts "From " (after CR or LF) gets a ">" before it,
// however the pieces cut it, so that no mbox reader splits the message there.
class FromQuotingFilter : public BodyFilter
{
public:
    QByteArray add(const QByteArray &piece, bool last) override;

private:
    bool m_lineStart = true; // the next byte starts a line
    int m_held = 0;          // bytes of "From " at a line start that the last piece ended in
};
