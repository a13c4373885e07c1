#pragma once
// File names made from the export's untrusted texts: how long they may be and how a
// file system tells two of them apart.
#include <QString>

// text cut to at most bytes in UTF-8, never inside a character.
QString cutToUtf8Bytes(const QString &text, int bytes);

// How a file system compares names: macOS neither by case nor by Unicode normal form.
QString fileNameKey(const QString &name);

// The name as a file system keeps it: "." and ".." become "_" and "__", an empty name
// "_", control characters "_", and a long name is cut at a character boundary, with
// room left for a suffix " (12345)" and ".mbox".
QString fileNameFor(const QString &name);
