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

QString objectUid(const QByteArray &object)
{
    QByteArray unfolded = object;
    unfolded.replace("\r\n ", "").replace("\r\n\t", "");
    for (const QByteArray &line : unfolded.split('\n')) {
        if (line.startsWith("UID:"))
            return QString::fromUtf8(line.mid(4).trimmed());
    }
    return QString();
}

QByteArray objectWithUid(const QByteArray &object, const QString &uid)
{
    int start = object.startsWith("UID:") ? 0 : object.indexOf("\nUID:");
    if (start < 0)
        return object;
    if (object.at(start) == '\n')
        ++start;
    // The line ends at the first line break that no folded continuation follows.
    int end = object.indexOf('\n', start);
    while (end >= 0 && end + 1 < object.size() && (object.at(end + 1) == ' ' || object.at(end + 1) == '\t'))
        end = object.indexOf('\n', end + 1);
    int lineEnd = end < 0 ? object.size() : end;
    if (lineEnd > start && object.at(lineEnd - 1) == '\r')
        --lineEnd;
    return object.left(start) + "UID:" + uid.toUtf8() + object.mid(lineEnd);
}

QString UidRegister::claim(const QString &uid)
{
    const int earlier = m_claims[uid]++;
    if (earlier == 0)
        return uid;
    const QString derived = stableItemUuid("duplicate", (uid + QLatin1Char('/') + QString::number(earlier)).toUtf8())
                                .toString(QUuid::WithoutBraces)
                                .toUpper();
    ++m_claims[derived];
    return derived;
}
