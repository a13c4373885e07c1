#pragma once
// A mail record as one mbox message: separator line, header lines, the body as a
// MIME part and the attachments in Base64. Lines end with CR, as the archive's
// reader expects.
#include "archive/TextBlocks.h"
#include "archive/TextReader.h"
#include "parsers/ItemDetails.h"
#include "parsers/Records.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

// Appends the message to out. innerNumber goes into the boundary of the body's
// alternative part unless the body holds that boundary; then, and for an outer
// boundary the body holds or the identifier cannot make, random ones are drawn.
// Header values from the export never carry a line break into the message.
// Attachments are read through olm and encoded block by block; those the mail lists
// that could not be recovered (details.unrecoveredAttachments) are named in a text
// part after the body. Problems that leave the message readable but incomplete (an
// attachment cut short by the end of the file) are added to *problems. False when out
// refused a write: the caller removes the partial message.
// The body is read and converted in blocks of blockSize bytes.
bool writeMboxMessage(QIODevice &out, const MailMLRC &mail, const MailDetails &details, const TextReader &olm,
                      quint32 innerNumber, QStringList *problems, qint64 blockSize = TextBlocks::kBlockSize);

