// Converters whose writers have not been built yet: every item counts as not written.
#include "archive/ItemConverters.h"

QByteArray vCardFor(const ContactInformation &, const TextReader &) { return QByteArray(); }
QByteArray eventCalendarFor(const CalenderInformation &, const TextReader &) { return QByteArray(); }
QByteArray taskCalendarFor(const TasksInformation &, const TextReader &) { return QByteArray(); }
QByteArray noteCalendarFor(const NotesInformation &, const TextReader &) { return QByteArray(); }
