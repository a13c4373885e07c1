#include "platform/UuidBytes.h"

#include <uuid/uuid.h>

QByteArray uuidText(const QByteArray &identifier)
{
    return identifier.left(8) + '-' + identifier.mid(8, 4) + '-' + identifier.mid(12, 4) + '-'
           + identifier.mid(16, 4) + '-' + identifier.mid(20);
}

bool parseIdentifier(const QByteArray &identifier, UuidBytes *bytes)
{
    if (identifier.size() != 32)
        return false;
    const QByteArray text = uuidText(identifier); // zero-terminated by QByteArray
    return uuid_parse(text.constData(), bytes->data()) == 0;
}
