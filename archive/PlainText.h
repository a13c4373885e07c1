#pragma once
// Texts that the export keeps as element content, as a reader should see them.
// Element content itself is unescaped with decodeXmlText (parsers/ItemDetails.h).
#include "archive/TextReader.h"

#include <QString>

// The stretch of the .olm file a record keeps as offset and size, as UTF-8 text;
// zero bytes are dropped.
QString storedText(const TextReader &olm, qint64 offset, qint64 size);

// HTML as plain text: head, style and script blocks and comments dropped, line
// breaks where paragraphs, divisions, list items, rows and <br> end, other tags
// removed, white space of the source collapsed and entities decoded.
QString plainTextOfHtml(const QString &html);
