#pragma once
// Reading the text back out of record fields, for every front end and writer.
#include "parsers/ElementText.h"

#include <QString>
#include <QStringList>
#include <cstring>

// A fixed-width field's text up to its terminating zero (or its whole width).
template <int Width>
QString fieldText(const char (&field)[Width], FieldEncoding encoding)
{
    const int length = int(strnlen(field, Width));
    return encoding == FieldEncoding::Utf8 ? QString::fromUtf8(field, length)
                                           : QString::fromLatin1(field, length);
}
template <int Width> QString utf8Field(const char (&field)[Width]) { return fieldText(field, FieldEncoding::Utf8); }
template <int Width> QString latin1Field(const char (&field)[Width]) { return fieldText(field, FieldEncoding::Latin1); }
// The field's bytes as they are stored.
template <int Width> QByteArray fieldBytes(const char (&field)[Width])
{
    return QByteArray(field, int(strnlen(field, Width)));
}

// An owned, zero-terminated buffer's text; empty for null.
QString ownedText(const char *text, FieldEncoding encoding);

// A joined list "a;b;" as a, b (the last ";" ends the last value; nothing more is dropped).
QStringList joinedListValues(const QString &joined);
// The pieces of a joined list whose values kept their character references: a ";"
// that ends one (&#13; &quot;) belongs to its value. As split(';'), the text after
// the final ";" is the last piece.
QStringList joinedListPiecesKeepingReferences(const QString &joined);

// The one sender a joined sender list is shown and written as: the values joined
// when the list holds fewer than two ";"; otherwise the value after the last ";" but
// one, or, where text follows the last ";", that text without its last character.
// `values` are the pieces split at ";", the text after the final ";" included.
QString reducedSender(const QStringList &values);
