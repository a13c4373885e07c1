#pragma once
// Element dates (UTC, such as 2010-05-12T14:30:00) in the five local-time text forms.
// Each function returns its own static buffer, good until its next call.
#include <QString>

extern QString prevTime; // twelve-hour form of the last timeconverter1 moment

const char *timeconverter(QString text);        // 20100512T200000
const char *timeconverterDUetask(QString text); // the same form, its own buffer
const char *timeconverter1(QString text);       // Wed, 12 May 2010 20:00:00 +0530
const char *timeconverterpre(QString text);     // 2010,May,12, 20:00:00
const char *timeconverterCont(QString text);    // 2010-05-12
