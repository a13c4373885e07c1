#pragma once
// Header values that every mail reader takes whole, shared by the bundle's mbox and
// the standard one: nothing from the export reaches a header with a line break, a
// NUL or another control character in it; texts that need it become RFC 2047
// encoded words cut at character boundaries; no line passes 78 characters where
// the value can be folded; addresses and names are quoted as RFC 5322 wants them.
#include <QByteArray>
#include <QString>

constexpr int kHeaderLineLength = 78;

// The text with every control character (CR, LF, NUL, TAB and the rest) turned into a space.
QString headerSafe(const QString &text);

// A Subject value starting at `column`: printable ASCII folded at its spaces,
// anything else as encoded words.
QByteArray subjectValue(const QString &subject, int column, const QByteArray &lineBreak);

// True when the address can stand in a header as it is: a dot-atom local part,
// optionally "@" and a dot-atom domain.
bool isPlainAddress(const QString &address);
// The bare address (local@domain): as it stands when plain (or plain between angle
// brackets, which are dropped); otherwise its local part
// (everything before the last "@") becomes a quoted string, so that no comma,
// angle bracket or line break in it can start another address or header.
QByteArray addrSpec(const QString &address);
// A display name as a phrase: atoms as they stand, other printable ASCII quoted,
// the rest as encoded words (lines broken with lineBreak).
QByteArray phrase(const QString &name, int column, const QByteArray &lineBreak);
