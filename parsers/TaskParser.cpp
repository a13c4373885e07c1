#include "parsers/ElementText.h"
#include "parsers/ItemDetails.h"
#include "parsers/ItemReaders.h"
#include "parsers/TimeConverter.h"

namespace {
// The readers compare the priority as a whole against single digits.
constexpr int kPriorityMaxCharacters = 4;

const char kNoteName[] = "OPFTaskCopyNote";

// "<OPFTaskCopyNote" is also the beginning of "<OPFTaskCopyNotePlain". The note's
// own start tag is the marker followed by something that cannot continue a name,
// so a plain note standing first does not stretch the cut over itself.
FileText findTaskNote(const DocumentItem &item)
{
    const QByteArray marker = QByteArray("<") + kNoteName;
    int at = item.bytes.indexOf(marker);
    while (at >= 0) {
        const int next = at + marker.size();
        if (next >= item.bytes.size())
            return FileText();
        const char c = item.bytes.at(next);
        if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r')
            break;
        at = item.bytes.indexOf(marker, next);
    }
    if (at < 0)
        return FileText();
    // The search starts at the note's own start tag; positions are shifted back into the item.
    DocumentItem rest{QByteArray::fromRawData(item.bytes.constData() + at, item.bytes.size() - at),
                      item.fileOffset + at};
    return findFileText(rest, kNoteName);
}
} // namespace

void readTaskItem(ParsedItem &parsed)
{
    TasksInformation *task = parsedRecord<TasksInformation>(parsed);
    const DocumentItem &item = parsed.item;
    CopyToField(task->Identifier, QString::fromLatin1(newIdentifier(true)), FieldEncoding::Latin1);

    QString text;
    // The writers stamp the task with its last change.
    if (GetElementText(item, "OPFTaskCopyModDate", &text) && !text.isEmpty())
        CopyToField(task->ModStampUtc, QString::fromLatin1(utcCompactStamp(text)), FieldEncoding::Latin1);
    if (GetElementText(item, "OPFTaskCopyName", &text) && !text.isEmpty()) {
        text = DecodeEntities(text);
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        CopyToField(task->Name, text, FieldEncoding::Utf8);
    }

    const FileText note = findTaskNote(item);
    task->NoteSize = note.size;
    task->NoteOffset = note.offset;
    // The writers prefer the plain text to the HTML of the note.
    const FileText plainNote = findFileText(item, "OPFTaskCopyNotePlain");
    task->NotePlainSize = plainNote.size;
    task->NotePlainOffset = plainNote.offset;

    if (GetElementText(item, "OPFTaskCopyStartDateTime", &text) && !text.isEmpty()) {
        CopyToField(task->StartStamp, QString::fromLatin1(timeconverterDUetask(text)), FieldEncoding::Latin1);
        CopyToField(task->StartDisplay, QString::fromLatin1(timeconverterpre(text)), FieldEncoding::Latin1);
    }
    if (GetElementText(item, "OPFTaskCopyDueDateTime", &text) && !text.isEmpty()) {
        CopyToField(task->DueStamp, QString::fromLatin1(timeconverter(text)), FieldEncoding::Latin1);
        CopyToField(task->DueDisplay, QString::fromLatin1(timeconverterpre(text)), FieldEncoding::Latin1);
    }
    if (GetElementText(item, "OPFTaskGetPriority", &text) && !text.isEmpty()
        && text.size() <= kPriorityMaxCharacters)
        CopyToField(task->Priority, text, FieldEncoding::Latin1);
    if (GetElementText(item, "OPFTaskCopyReminderTime", &text) && !text.isEmpty()) {
        CopyToField(task->ReminderStamp, QString::fromLatin1(timeconverter(text)), FieldEncoding::Latin1);
        CopyToField(task->ReminderStampUtc, QString::fromLatin1(utcCompactStamp(text)),
                    FieldEncoding::Latin1);
    }
    parsed.details = taskDetailsOf(task, item);
}
