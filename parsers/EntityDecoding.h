#pragma once
// Character entities of the export's text, decoded by one of a few fixed rules.
// Every rule looks only at an "&" and the few characters after it, so a text can
// be decoded in pieces: decodeEntityRange says where a piece ends inside an entity.
#include <QByteArray>
#include <QString>

enum class EntityRule {
    // "&lt;", then "&amp;", then "&nbsp;", each replaced over the whole text in turn:
    // the rule the records keep ("&amp;lt;" stays "&lt;", "&amp;nbsp;" becomes " ").
    RecordFields,
    // The same, then "&gt;" as a fourth step (message identifiers, address lists).
    RecordFieldsAndGt,
    // What the preview shows: "&lt;", "&amp;", "&nbsp;", then "&amp;lt;" and "&gt;".
    Preview,
    // What a mail body becomes: "&amp;gt;", "&amp;lt;", "&gt;", "&lt;", "&amp;", "&nbsp;".
    MailBody,
    // As an XML reader decodes, once: amp, lt, gt, quot, apos and numeric references
    // that end at a ";" at most ten characters after the "&".
    Xml,
};

// The whole text decoded; the replacing rules run `times` times over, as if the
// decoded text were decoded again (the Xml rule ignores `times`).
QString decodeEntities(const QString &text, EntityRule rule, int times = 1);
QByteArray decodeEntities(const QByteArray &text, EntityRule rule, int times = 1);

// Decodes the UTF-8 bytes [data, data + size) and appends them to out. Returns how
// many bytes were decoded: all of them when `last` is set or the range ends outside
// an entity; otherwise the bytes after the return value are the start of an entity
// cut by the end of the range, to be handed in again in front of the next range.
qint64 decodeEntityRange(const char *data, qint64 size, EntityRule rule, QByteArray *out, bool last);

// The record rule under its own name.
enum class GtEntity { Keep, Decode };
QString DecodeEntities(const QString &text, GtEntity gt = GtEntity::Keep);

// Text and character references decoded once, as an XML reader does.
QString decodeXmlText(const QString &text);
