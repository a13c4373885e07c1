#pragma once
// The bundle's item converters: one record in, the bytes of its file out. Large texts
// (notes, pictures, descriptions) are read back through the reader. An empty result
// means the item could not be converted; the saving pass counts it as not written.
#include "archive/TextReader.h"
#include "parsers/Records.h"

#include <QByteArray>

// An event's description longer than this is left out of its bundle file (its line keeps only its name).
constexpr qint64 kLargestBundleDescription = 1999999;

QByteArray vCardFor(const ContactInformation &contact, const TextReader &olm);
QByteArray eventCalendarFor(const CalenderInformation &event, const TextReader &olm);
QByteArray taskCalendarFor(const TasksInformation &task, const TextReader &olm);
QByteArray noteCalendarFor(const NotesInformation &note, const TextReader &olm);
