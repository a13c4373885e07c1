#pragma once
// Identifiers for the standard files that stay the same from one save of a file to
// the next, so that importing twice updates instead of duplicating: name-based
// (version 5) UUIDs derived from what an item is, never random ones.
#include "archive/TextReader.h"
#include "parsers/ItemDetails.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>

// kind names the item kind ("contact", "task", "note", "mail"); identity is what
// makes the item itself: its content and its place in the file.
QUuid stableItemUuid(const char *kind, const QByteArray &identity);

// The identity of the item at place: its offset and a digest of its bytes, read back
// from olm; empty for an empty place.
QByteArray itemIdentity(const ItemPlace &place, const TextReader &olm);

// The UID of a vCard or iCalendar object (the first UID line, unfolded); empty when it has none.
QString objectUid(const QByteArray &object);
// The object with its first UID line (folded or not) saying uid instead.
QByteArray objectWithUid(const QByteArray &object, const QString &uid);

// The UIDs one output holds (a calendar file, a CalDAV collection). Readers take two
// items of one UID for one item, so the first item of a UID keeps it and each later one
// gets a UID derived from it and from how many had it before: the same in every save.
class UidRegister
{
public:
    // uid, or the derived UID when uid is taken.
    QString claim(const QString &uid);

private:
    QHash<QString, int> m_claims;
};
