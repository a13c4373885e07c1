#pragma once
// Fixed facts of the export's XML that the parsers cut by and the readers rely on.
// They fit the shapes Outlook writes; nothing checks the bytes they skip.
#include <QString>
#include <QtGlobal>

// Exports write flags, counts and sizes in float notation ("0E0", "1E0", "2.7E1",
// "5.0614E4"): the number a text stands for, read the one way every reader reads it,
// when it lies in [least, most] (NaN never does).
inline bool floatNotationValue(const QString &text, double least, double most, double *value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && *value >= least && *value <= most;
}

// Bytes of an element's start tag after its marker: ` xml:space="preserve">`.
constexpr qint64 kStartTagRest = 22;

// IsOutgoing of a mail whose flag text reads as no number but has three or more characters.
constexpr qint32 kOutgoingMarker = 45;

// Where the address attribute stands in a regular mail address entry: after
// `<emailAddress xml:space="preserve" `.
constexpr int kRegularAddressAt = 35;

// A contact's list entries are cut at fixed positions:
// `<category xml:space="preserve" OPFCategoryCopyBackgroundColor="r:0.89 g:0.15 b:0.15" OPFCategoryCopyName="`
// before a category name and `">` after it; `<contactEmailAddress xml:space="preserve"
// OPFContactEmailAddressAddress="` (bytes) before an address and the default flag and
// type attributes after it; `<string xml:space="preserve">` before a child's name.
constexpr int kCategoryNameStart = 106, kCategoryNameTail = 2;
constexpr int kAddressStart = 73, kAddressTail = 69;
constexpr int kChildNameStart = 29;
