#pragma once
// Text for people to read, on a terminal or in a report file. Names and subjects come
// from the export and may hold control characters: ESC sequences retitle a terminal,
// write its clipboard or clear its screen, a CR overprints a line. Every control
// character (C0, DEL, C1) is shown as a visible escape instead, and a backslash is
// doubled, so each escape reads one way only:
//   \\  \t  \n  \r  \xHH (other C0, DEL, a byte that is not UTF-8)  \u0080 to \u009F (C1)
#include <QByteArray>
#include <QString>

QByteArray visibleBytes(const QByteArray &utf8);
QString visibleText(const QString &text);
