#pragma once
// A repeating pattern as a person reads it: "Weekly on Monday, 27 times", "The second
// Tuesday of every month, no end". For the previews and any other front end.
#include "parsers/ItemDetails.h"

#include <QLocale>
#include <QString>

// Empty for an item that does not repeat. Dates (of "until") are written in the
// locale's long date format; the words are English unless translated.
QString recurrenceInWords(const Recurrence &recurrence, const QLocale &locale = QLocale());
