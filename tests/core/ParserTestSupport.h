#pragma once
// Small pieces the parser tests share: export-shaped elements and documents,
// handing a document to a parser the way the walk does, and the machine's zone.
#include "olm/ScanState.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QtGlobal>
#include <ctime>

// <name xml:space="preserve" attributes>content</name>: every start tag of an export carries
// the attribute, so the 22 bytes the parsers skip after a start marker are exactly it and ">".
inline QByteArray element(const QByteArray &name, const QByteArray &content,
                          const QByteArray &attributes = QByteArray())
{
    const QByteArray more = attributes.isEmpty() ? QByteArray() : " " + attributes;
    return "<" + name + " xml:space=\"preserve\"" + more + ">" + content + "</" + name + ">";
}

// A document's root element; exports give it an item count.
inline QByteArray rootElement(const QByteArray &root, const QByteArray &items)
{
    return element(root, items, "elementCount=\"1\"");
}

// Puts document in pBuff, as the walk does, while run() calls a parser; pBuff is null again afterwards.
template <typename Run>
void withDocument(QByteArray document, Run run)
{
    pBuff = document.data(); // QByteArray keeps the terminating zero the parsers expect
    pBuffSize = document.size();
    run();
    pBuff = nullptr;
    pBuffSize = 0;
}

// The first record of a list that the case cannot go on without.
template <typename Record>
const Record &requireRecord(const Record *head, const char *kind)
{
    if (!head)
        qFatal("no %s record", kind);
    return *head;
}

// Contacts, events, tasks and notes carry 32 upper-case hexadecimal digits.
inline bool isItemIdentifier(const char *text)
{
    return QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(QString::fromLatin1(text)).hasMatch();
}

// Makes zone the machine's zone for the converters that go through localtime.
inline void useZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}
