#include "archive/StableIdentity.h"

#include "platform/Sha1.h"

namespace {
// The namespace of every name-based identifier Mendora makes.
const QUuid kMendoraNamespace(0x6d656e64, 0x6f72, 0x5a11, 0x8e, 0x5c, 0x75, 0x65, 0x72, 0x69, 0x64, 0x73);
} // namespace

QUuid stableItemUuid(const char *kind, const QByteArray &identity)
{
    return QUuid::createUuidV5(kMendoraNamespace, QByteArray(kind) + '\0' + identity);
}

QByteArray itemIdentity(const ItemPlace &place, const TextReader &olm)
{
    if (place.isEmpty())
        return QByteArray();
    const QByteArray bytes = olm.read(place.bytesAt, place.size);
    return QByteArray::number(place.offset) + ' ' + sha1(bytes.constData(), bytes.size()).toHex();
}
