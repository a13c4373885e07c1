#pragma once
// The 16 bytes of an item identifier, through the system's UUID library.
#include <QByteArray>
#include <array>

using UuidBytes = std::array<unsigned char, 16>;

// 32 hexadecimal digits (either case) in 8-4-4-4-12 form: "00112233-4455-...".
QByteArray uuidText(const QByteArray &identifier);
// The identifier's bytes in text order; false when it is not 32 hexadecimal digits.
bool parseIdentifier(const QByteArray &identifier, UuidBytes *bytes);
