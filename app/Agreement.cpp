#include "app/Agreement.h"

#include <QFile>

const char kAgreementMarkerPath[] = "/var/tmp/MNDRAX";

namespace {
const char kAgreed[] = "Agree";
}

bool agreementGiven(const QString &markerPath)
{
    QFile marker(markerPath);
    if (!marker.open(QIODevice::ReadOnly))
        return false;
    // The line is short; a huge marker file is not read past its first bytes.
    QByteArray line = marker.readLine(64);
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLatin1(line) == QLatin1String(kAgreed);
}

bool recordAgreement(const QString &markerPath)
{
    QFile marker(markerPath);
    if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return marker.write("Agree\r\n") == 7;
}
