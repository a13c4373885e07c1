#pragma once
// One step of a body's way into a message (archive/BodyStream.h): it takes the body in
// pieces of any size and gives back what they become, holding back what the next piece
// decides (an entity, a line end, a tag the piece cuts), so that the pieces come out as
// the whole would.
#include <QByteArray>

class BodyFilter
{
public:
    virtual ~BodyFilter() = default;
    // What the pieces so far decide; with last, the rest of the body.
    virtual QByteArray add(const QByteArray &piece, bool last) = 0;
};
