#pragma once
// SHA-1 of a byte range: with the processor's SHA instructions where it has them,
// else through QCryptographicHash. Both give the same digest.
#include <QByteArray>

// The 20-byte digest.
QByteArray sha1(const char *data, qint64 size);
// Whether the processor's instructions do the work (for the tests).
bool sha1UsesProcessorInstructions();
