#pragma once
// The first-run agreement: a marker file records that the user accepted it.
#include <QString>

extern const char kAgreementMarkerPath[]; // "/var/tmp/MNDRAX"

// True when the marker's first line, without its line end ("\n", "\r\n" or a
// lone "\r" before the end of the file), is exactly "Agree".
bool agreementGiven(const QString &markerPath);
// Creates or truncates the marker and writes "Agree" CR LF; false when it cannot.
bool recordAgreement(const QString &markerPath);
