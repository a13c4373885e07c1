#pragma once
// Identifiers for the standard files that stay the same from one save of a file to
// the next, so that importing twice updates instead of duplicating: name-based
// (version 5) UUIDs derived from what an item is, never random ones.
#include "archive/TextReader.h"
#include "parsers/ItemDetails.h"

#include <QByteArray>
#include <QUuid>

// kind names the item kind ("contact", "task", "note", "mail"); identity is what
// makes the item itself: its content and its place in the file.
QUuid stableItemUuid(const char *kind, const QByteArray &identity);

// The identity of the item at place: its offset and a digest of its bytes, read back
// from olm; empty for an empty place.
QByteArray itemIdentity(const ItemPlace &place, const TextReader &olm);
