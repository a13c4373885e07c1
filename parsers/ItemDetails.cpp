#include "parsers/ItemDetails.h"

#include "olm/ByteSearch.h"
#include "olm/LossAccount.h"
#include "olm/ScanMemory.h"
#include "parsers/ExportFacts.h"
#include "parsers/ItemLosses.h"
#include "parsers/RecordText.h"
#include "parsers/TimeConverter.h"
#include "parsers/ZoneRules.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringMatcher>

#include <cmath>
#include <cstring>
#include <limits>

namespace {
// The tables live as long as the process: one that ends right after a scan leaves
// them to the system instead of freeing every entry on its way out.
QHash<const MailMLRC *, MailDetails> &mailDetails = *new QHash<const MailMLRC *, MailDetails>;
QHash<const ContactInformation *, ContactDetails> &contactDetails = *new QHash<const ContactInformation *, ContactDetails>;
QHash<const CalenderInformation *, EventDetails> &eventDetails = *new QHash<const CalenderInformation *, EventDetails>;
QHash<const TasksInformation *, TaskDetails> &taskDetails = *new QHash<const TasksInformation *, TaskDetails>;
QVector<ContactGroup> &groupsOfScan = *new QVector<ContactGroup>;

bool endsName(char c)
{
    return c == ' ' || c == '>' || c == '/' || c == '\t' || c == '\n' || c == '\r';
}

// First occurrence of tag (which begins with '<') in bytes from position from on; -1 when absent.
int indexOfTag(const QByteArray &bytes, const QByteArray &tag, int from)
{
    if (from < 0 || from > bytes.size())
        return -1;
    const char *data = bytes.constData();
    const char *at = findTag(data + from, data + bytes.size(), tag.constData(), size_t(tag.size()));
    return at ? int(at - data) : -1;
}

// Where the start tag of the element called exactly name begins ("<name" followed by
// something that cannot continue the name), from position from on; -1 when absent.
int startTagOf(const QByteArray &bytes, const QByteArray &open, int from)
{
    for (int at = indexOfTag(bytes, open, from); at >= 0; at = indexOfTag(bytes, open, at + 1)) {
        const int next = at + open.size();
        if (next < bytes.size() && endsName(bytes.at(next)))
            return at;
    }
    return -1;
}

// The content of the element whose start tag begins at `at`, its end tag found by endTagFrom.
template <typename FindEndTag>
bool contentFrom(const QByteArray &bytes, int at, FindEndTag endTagFrom, QByteArray *content)
{
    if (at < 0)
        return false;
    const int tagEnd = bytes.indexOf('>', at);
    if (tagEnd < 0)
        return false;
    if (bytes.at(tagEnd - 1) == '/') {
        content->clear();
        return true;
    }
    const int end = endTagFrom(tagEnd + 1);
    if (end < 0)
        return false;
    // A view: the bytes stay the caller's, who keeps them while the content is read.
    *content = QByteArray::fromRawData(bytes.constData() + tagEnd + 1, end - tagEnd - 1);
    return true;
}

// The content of the first element called exactly name (the extraction steps of the
// record parsers also match longer names that begin with it), found by the item's tag
// index: an item is searched for many elements. False when absent.
bool elementContent(const DocumentItem &item, const char *name, QByteArray *content)
{
    return contentFrom(item.bytes, firstStartTag(item, name),
                       [&](int from) { return firstEndTag(item, name, from); }, content);
}

template <typename Source>
QString elementText(const Source &bytes, const char *name)
{
    QByteArray content;
    if (!elementContent(bytes, name, &content))
        return QString();
    return decodeXmlText(QString::fromUtf8(content)).trimmed();
}

// Where the start tag beginning at `at` ends: its closing ">", of which one inside an
// attribute value does not count; -1 when the bytes end first.
int startTagEnd(const char *bytes, int size, int at)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes);
    size_t i = size_t(at);
    bool quoted = false;
    for (;;) {
        i += findEitherByte(data + i, size_t(size) - i, '"', '>');
        if (i >= size_t(size))
            return -1;
        if (data[i] == '>' && !quoted)
            return int(i);
        if (data[i] == '"')
            quoted = !quoted;
        ++i;
    }
}

// The start tags of every element called exactly name, attributes included, as
// views into bytes.
QVector<QByteArray> startTags(const QByteArray &bytes, const char *name)
{
    QVector<QByteArray> tags;
    const QByteArray open = QByteArray("<") + name;
    for (int at = startTagOf(bytes, open, 0); at >= 0; at = startTagOf(bytes, open, at + 1)) {
        const int end = startTagEnd(bytes.constData(), bytes.size(), at);
        if (end < 0)
            break;
        tags.append(QByteArray::fromRawData(bytes.constData() + at, end - at + 1));
    }
    return tags;
}

// name="value" in a start tag, decoded; empty when the tag lacks it.
QString attribute(const QByteArray &tag, const char *name, bool *present = nullptr)
{
    // The key is built on the stack: every entry of every list asks for a few.
    char key[128];
    const size_t nameLength = strlen(name);
    if (nameLength + 3 > sizeof key)
        return QString();
    key[0] = ' ';
    memcpy(key + 1, name, nameLength);
    memcpy(key + 1 + nameLength, "=\"", 2);
    const int keyLength = int(nameLength) + 3;
    const char *data = tag.constData();
    const char *found = findTag(data, data + tag.size(), key, size_t(keyLength));
    const int at = found ? int(found - data) : -1;
    if (present)
        *present = at >= 0;
    if (at < 0)
        return QString();
    const int start = at + keyLength;
    const int end = tag.indexOf('"', start);
    if (end < 0)
        return QString();
    return decodeXmlText(utf8Text(data + start, end - start));
}

// Exports write flags as 1, 1E0 or true.
bool flagValue(const QString &text)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("yes"))
        return true;
    double number = 0;
    return floatNotationValue(value, -HUGE_VAL, HUGE_VAL, &number) && number != 0;
}

// Numbers in integer or float notation ("8", "8E0", "8.0E0"); fallback when it does not read.
int numberValue(const QString &text, int fallback)
{
    double number = 0;
    // A double outside int has no int value.
    if (!floatNotationValue(text.trimmed(), -1e9, 1e9, &number))
        return fallback;
    return int(number);
}

// A date-only value read like the contacts' dates; invalid when the text does not read.
QDate exportDate(const QString &text)
{
    const QDateTime moment = exportTimeUtc(text);
    if (!moment.isValid())
        return QDate();
    const QByteArray date = utcCalendarDate(moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    return QDate::fromString(QString::fromLatin1(date), Qt::ISODate);
}

// A number of a repeating pattern as exports write it ("2.7E1"); NaN when the text is none.
double patternNumber(const QString &text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

// The whole number from least to INT_MAX nearest to number; least when it is NaN.
int nearestWholeNumber(double number, int least)
{
    if (!(number >= least))
        return least;
    return number >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(std::round(number));
}

// A value of the export as a loss entry quotes it: one short line of printable characters.
QString shownValue(const QString &text)
{
    constexpr int kLongest = 24;
    QString shown;
    for (const QChar c : text.simplified())
        if (c.isPrint())
            shown.append(c);
    return shown.size() > kLongest ? shown.left(kLongest - 1) + QChar(0x2026) : shown;
}

// The text of the first of the named elements that the xml holds; null when it holds none.
QString firstElementText(const DocumentItem &xml, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        QByteArray content;
        if (elementContent(xml, name, &content))
            return decodeXmlText(QString::fromUtf8(content)).trimmed();
    }
    return QString();
}

// Exports spell patterns out (OPFRecurrencePatternWeekly, …AbsoluteMonthly, …RelativeYearly);
// Outlook elsewhere numbers them 0 daily, 1 weekly, 2 monthly, 3 monthly on the nth
// weekday, 5 yearly, 6 yearly on the nth weekday. None for anything else.
Recurrence::Pattern patternOf(const QString &text)
{
    using Pattern = Recurrence::Pattern;
    bool isNumber = false;
    text.toDouble(&isNumber);
    if (isNumber) {
        switch (numberValue(text, -1)) {
        case 0: return Pattern::Daily;
        case 1: return Pattern::Weekly;
        case 2: return Pattern::Monthly;
        case 3: return Pattern::MonthNth;
        case 5: return Pattern::Yearly;
        case 6: return Pattern::YearNth;
        default: return Pattern::None;
        }
    }
    // Letters a to z alone count.
    QString name;
    for (const QChar c : text.toLower())
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            name.append(c);
    name.remove(QLatin1String("opfrecurrencepattern"));
    name.remove(QLatin1String("recurrence"));
    static const struct {
        const char *name;
        Pattern pattern;
    } kNames[] = {{"daily", Pattern::Daily},           {"weekly", Pattern::Weekly},
                  {"absolutemonthly", Pattern::Monthly}, {"monthly", Pattern::Monthly},
                  {"relativemonthly", Pattern::MonthNth}, {"monthnth", Pattern::MonthNth},
                  {"monthlynth", Pattern::MonthNth},     {"absoluteyearly", Pattern::Yearly},
                  {"yearly", Pattern::Yearly},           {"relativeyearly", Pattern::YearNth},
                  {"yearnth", Pattern::YearNth},         {"yearlynth", Pattern::YearNth}};
    for (const auto &known : kNames)
        if (name == QLatin1String(known.name))
            return known.pattern;
    return Pattern::None;
}

const char *const kWeekdayElements[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

// Sunday 1, Monday 2, … Saturday 64. Exports give one child element per day, 0 or 1, beside
// allDays, weekdays and weekenddays; a mask or day names ("MO,WE") are read too.
int daysOfWeekOf(const QByteArray &content)
{
    if (content.contains('<')) {
        const DocumentItem days{content, 0};
        int mask = 0;
        for (int day = 0; day < 7; ++day)
            if (flagValue(elementText(days, kWeekdayElements[day])))
                mask |= 1 << day;
        if (flagValue(elementText(days, "weekdays")))
            mask |= 0x3E;
        if (flagValue(elementText(days, "weekenddays")))
            mask |= 0x41;
        if (flagValue(elementText(days, "allDays")))
            mask |= 0x7F;
        return mask;
    }
    const QString text = decodeXmlText(QString::fromUtf8(content)).trimmed();
    bool isNumber = false;
    text.toDouble(&isNumber);
    if (isNumber)
        return numberValue(text, 0) & 0x7F;
    static const char *const kDays[] = {"su", "mo", "tu", "we", "th", "fr", "sa"};
    int mask = 0;
    for (const QString &word : text.toLower().split(QRegularExpression(QStringLiteral("[^a-z]+")),
                                                     Qt::SkipEmptyParts))
        for (int day = 0; day < 7; ++day)
            if (word.startsWith(QLatin1String(kDays[day])))
                mask |= 1 << day;
    return mask;
}

// The week of a relative pattern, 1 to 4 or 5 for the last; 0 when not given. The notes on
// exports do not show how it is written, so a number (5 or -1 the last), a word (Second,
// OPFRecurrenceWeekLast) and child elements (<second>1</second>) are all read.
int weekOfMonthOf(const QByteArray &content)
{
    static const char *const kOrdinals[] = {"first", "second", "third", "fourth", "last"};
    if (content.contains('<')) {
        const DocumentItem weeks{content, 0};
        for (int week = 0; week < 5; ++week)
            if (flagValue(elementText(weeks, kOrdinals[week])))
                return week + 1;
        return 0;
    }
    const QString text = decodeXmlText(QString::fromUtf8(content)).trimmed().toLower();
    bool isNumber = false;
    text.toDouble(&isNumber);
    if (isNumber) {
        const int week = numberValue(text, 0);
        return week == -1 ? 5 : (week >= 1 && week <= 5 ? week : 0);
    }
    for (int week = 0; week < 5; ++week)
        if (text.endsWith(QLatin1String(kOrdinals[week])))
            return week + 1;
    return text.endsWith(QLatin1String("fifth")) ? 5 : 0;
}

EmailKind emailKindOf(const QString &text)
{
    const QString value = text.trimmed().toLower();
    if (value.startsWith(QLatin1String("work")))
        return EmailKind::Work;
    if (value.startsWith(QLatin1String("home")))
        return EmailKind::Home;
    if (value.startsWith(QLatin1String("other")))
        return EmailKind::Other;
    switch (numberValue(value, -1)) {
    case 0: return EmailKind::Work;
    case 1: return EmailKind::Home;
    case 2: return EmailKind::Other;
    default: return EmailKind::Unknown;
    }
}

MailAddress wholeAddress(const QByteArray &tag)
{
    return {attribute(tag, "OPFContactEmailAddressAddress").trimmed(),
            attribute(tag, "OPFContactEmailAddressName").trimmed()};
}

template <typename Source>
QVector<MailAddress> mailAddresses(const Source &item, const char *listName)
{
    QVector<MailAddress> addresses;
    QByteArray list;
    if (!elementContent(item, listName, &list))
        return addresses;
    for (const QByteArray &tag : startTags(list, "emailAddress")) {
        const MailAddress address = wholeAddress(tag);
        if (!address.address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

// Whether the record's cut of the list element holds the bytes the details read: the
// content of the first element called exactly listName, from its start tag's ">" to the
// first end tag after it. So it does where the start tag has the regular length.
bool cutIsContent(const DocumentItem &item, const char *listName, const ElementValue &value)
{
    if (!value.found || value.endBeforeStart || value.start <= 0)
        return false;
    const int markerLength = int(strlen(listName)) + 1;
    const int contentStart = int(value.start);
    const int s = contentStart - int(kStartTagRest) - markerLength;
    const char *data = item.bytes.constData();
    return endsName(data[s + markerLength])
           && memchr(data + s, '>', size_t(contentStart - s)) == data + contentStart - 1
           && data[contentStart - 2] != '/';
}

// An attribute of the tag [tagStart, tagEnd] of a plain entry, read from where the
// record found its name (`at`, -1 when the entry lacks it) as attribute() reads it.
// False where that name is not the tag's first ` name="`: then attribute() searches.
bool attributeAt(const char *piece, int tagStart, int tagEnd, int at, int nameLength, QString *value)
{
    if (at < 0) {
        *value = QString();
        return true;
    }
    const int open = at + nameLength;
    if (at - 1 <= tagStart || piece[at - 1] != ' ' || open >= tagEnd || piece[open] != '"')
        return false;
    const auto *close = static_cast<const char *>(memchr(piece + open + 1, '"', size_t(tagEnd - open - 1)));
    *value = close ? decodeXmlText(utf8Text(piece + open + 1, int(close - piece) - open - 1)).trimmed() : QString();
    return true;
}

// The whole address of a list entry: the one "<emailAddress" start tag of the piece
// between two entry end tags. False where the piece is not so simple (more than one
// tag, a tag running on past the piece): the reading of the whole list then decides.
bool wholeAddressOfPiece(const char *piece, int size, const AddressEntry &entry, QVector<MailAddress> *addresses)
{
    static const char kOpen[] = "<emailAddress";
    const int openLength = int(sizeof kOpen) - 1;
    const char *lt = static_cast<const char *>(memchr(piece, '<', size_t(size)));
    if (!lt)
        return true;
    const int at = int(lt - piece);
    if (memchr(lt + 1, '<', size_t(size - at - 1)))
        return false;
    if (size - at <= openLength || memcmp(lt, kOpen, size_t(openLength)) != 0 || !endsName(lt[openLength]))
        return true; // no entry's tag
    const int end = startTagEnd(piece, size, at);
    if (end < 0)
        return false;
    // A plain entry's attributes stand where the record found them.
    MailAddress address;
    if (!entry.plain || !attributeAt(piece, at, end, entry.a, kAddressAttribute.size(), &address.address)
        || !attributeAt(piece, at, end, entry.n, kNameAttribute.size(), &address.name))
        address = wholeAddress(QByteArray::fromRawData(lt, end - at + 1));
    if (!address.address.isEmpty())
        addresses->append(address);
    return true;
}

template <typename Source>
Recurrence recurrenceIn(const Source &item, const char *name)
{
    QByteArray xml;
    return elementContent(item, name, &xml) ? readRecurrence(xml) : Recurrence();
}

QStringList categoryNames(const QByteArray &xml)
{
    QStringList names;
    for (const QByteArray &tag : startTags(xml, "category")) {
        const QString name = attribute(tag, "OPFCategoryCopyName").trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

template <typename Source>
QStringList categoriesIn(const Source &item, const char *name)
{
    QByteArray xml;
    return elementContent(item, name, &xml) ? categoryNames(xml) : QStringList();
}

// Element names, kept once: every contact of an export names the same few dozen
// elements, so its texts share their keys instead of each holding copies. A file
// inventing names without end gets plain copies past the bound.
constexpr int kElementNamesKept = 512;
QSet<QByteArray> elementNamesKept;

QByteArray keptElementName(const QByteArray &view)
{
    const auto found = elementNamesKept.constFind(view);
    if (found != elementNamesKept.constEnd())
        return *found;
    const QByteArray name(view.constData(), view.size());
    if (elementNamesKept.size() < kElementNamesKept)
        elementNamesKept.insert(name);
    return name;
}

// Every element whose name begins with prefix and whose content is text alone (no
// child elements), by name, decoded and trimmed; empty ones are left out. Elements
// inside others are not looked at: the walk goes on after each element's end tag.
QHash<QByteArray, QString> textElements(const QByteArray &bytes, const QByteArray &prefix,
                                        const QByteArray &leftInFile)
{
    QHash<QByteArray, QString> texts;
    const QByteArray open = '<' + prefix;
    QByteArray endTag; // "</name>", its room reused from element to element
    int at = indexOfTag(bytes, open, 0);
    while (at >= 0) {
        int nameEnd = at + 1;
        while (nameEnd < bytes.size() && !endsName(bytes.at(nameEnd)))
            ++nameEnd;
        const QByteArray name = QByteArray::fromRawData(bytes.constData() + at + 1, nameEnd - at - 1);
        const int tagEnd = bytes.indexOf('>', nameEnd);
        if (tagEnd < 0)
            break;
        int next = tagEnd + 1;
        if (bytes.at(tagEnd - 1) != '/') {
            endTag.resize(0);
            endTag.append("</", 2).append(name).append('>');
            const int end = indexOfTag(bytes, endTag, tagEnd + 1);
            if (end < 0) { // cut by damage: what follows may still be whole
                at = indexOfTag(bytes, open, nameEnd);
                continue;
            }
            const char *content = bytes.constData() + tagEnd + 1;
            const int contentSize = end - tagEnd - 1;
            if (name != leftInFile && !memchr(content, '<', size_t(contentSize)) && !texts.contains(name)) {
                const QString text = decodeXmlText(utf8Text(content, contentSize)).trimmed();
                if (!text.isEmpty())
                    texts.insert(keptElementName(name), text);
            }
            next = end + name.size() + 3;
        }
        at = indexOfTag(bytes, open, next);
    }
    return texts;
}

template <typename Source>
QVector<ContactAddress> contactAddresses(const Source &item, const char *listName)
{
    QVector<ContactAddress> addresses;
    QByteArray list;
    if (!elementContent(item, listName, &list))
        return addresses;
    for (const QByteArray &tag : startTags(list, "contactEmailAddress")) {
        const ContactAddress address{attribute(tag, "OPFContactEmailAddressAddress").trimmed(),
                                     emailKindOf(attribute(tag, "OPFContactEmailAddressType"))};
        if (!address.address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

template <typename Source>
QStringList childNames(const Source &item)
{
    QStringList names;
    QByteArray list;
    if (!elementContent(item, "OPFContactCopyChildren", &list))
        return names;
    for (int from = 0;;) {
        const int at = startTagOf(list, "<string", from);
        const int tagEnd = at < 0 ? -1 : list.indexOf('>', at);
        const int end = tagEnd < 0 ? -1 : indexOfTag(list, "</string>", tagEnd);
        if (end < 0)
            break;
        const QString name = decodeXmlText(QString::fromUtf8(list.mid(tagEnd + 1, end - tagEnd - 1))).trimmed();
        if (!name.isEmpty())
            names.append(name);
        from = end;
    }
    return names;
}

// An identifier fit to stand as a UID: printable, on one line, of a sensible length.
QString usableUid(const QString &text)
{
    if (text.isEmpty() || text.size() > 255)
        return QString();
    for (const QChar c : text)
        if (c.unicode() < 0x21 || c.unicode() == 0x7F)
            return QString();
    return text;
}

void recurrenceLoss(const QString &kind, const QString &item, const QString &folder, const char *field,
                    const QString &why)
{
    Loss loss;
    loss.reason = LossReason::ValueUnreadable;
    loss.kind = kind;
    loss.item = item;
    loss.folder = folder;
    loss.field = QString::fromLatin1(field);
    loss.why = why;
    noteItemLoss(loss);
}

// What the details keep, for the record-memory watch.
qint64 memoryOf(const QStringList &list)
{
    qint64 bytes = kAllocationOverhead + qint64(list.size()) * qint64(sizeof(void *));
    for (const QString &text : list)
        bytes += ::memoryOf(text);
    return bytes;
}
template <typename T>
qint64 vectorMemory(const QVector<T> &vector)
{
    return kAllocationOverhead + qint64(vector.capacity()) * qint64(sizeof(T));
}
qint64 memoryOf(const QVector<MailAddress> &addresses)
{
    qint64 bytes = vectorMemory(addresses);
    for (const MailAddress &address : addresses)
        bytes += ::memoryOf(address.address) + ::memoryOf(address.name);
    return bytes;
}
qint64 memoryOf(const QVector<ContactAddress> &addresses)
{
    qint64 bytes = vectorMemory(addresses);
    for (const ContactAddress &address : addresses)
        bytes += ::memoryOf(address.address);
    return bytes;
}
qint64 memoryOf(const QVector<MissingAttachment> &attachments)
{
    qint64 bytes = vectorMemory(attachments);
    for (const MissingAttachment &attachment : attachments)
        bytes += ::memoryOf(attachment.name);
    return bytes;
}
qint64 memoryOf(const MailDetails &details)
{
    return memoryOf(details.from) + memoryOf(details.to) + memoryOf(details.cc) + ::memoryOf(details.subject)
           + memoryOf(details.categories) + memoryOf(details.unrecoveredAttachments);
}
qint64 memoryOf(const ContactDetails &details)
{
    qint64 bytes = ::memoryOf(details.middleName) + vectorMemory(details.emailKinds) + memoryOf(details.emails)
                   + memoryOf(details.imAddresses) + memoryOf(details.children) + memoryOf(details.categories);
    for (auto text = details.texts.cbegin(); text != details.texts.cend(); ++text)
        bytes += kTableEntryOverhead + ::memoryOf(text.key()) + ::memoryOf(text.value());
    return bytes;
}
qint64 memoryOf(const EventDetails &details)
{
    return memoryOf(details.attendees) + ::memoryOf(details.summary) + memoryOf(details.categories)
           + ::memoryOf(details.ownUid) + ::memoryOf(details.zoneText);
}
qint64 memoryOf(const TaskDetails &details)
{
    return memoryOf(details.categories);
}

// Keeps the details when the watch lets them in.
template <typename Record, typename Details>
bool keep(QHash<const Record *, Details> &table, const Record *record, Details &&details)
{
    if (!countSideMemory(qint64(sizeof(Details)) + kTableEntryOverhead + memoryOf(details)))
        return false;
    table.insert(record, std::move(details));
    return true;
}

template <typename Record, typename Details>
const Details &lookUp(const QHash<const Record *, Details> &table, const Record *record)
{
    static const Details none;
    const auto found = table.constFind(record);
    return found == table.constEnd() ? none : found.value();
}
} // namespace

bool zoneOffsetMinutes(const QString &zoneText, int *minutes)
{
    static const QRegularExpression offset(QStringLiteral("^\\s*\\(UTC(?:([+-])(\\d{1,2}):(\\d{2}))?\\)"));
    const QRegularExpressionMatch match = offset.match(zoneText);
    if (!match.hasMatch())
        return false;
    if (match.captured(1).isEmpty()) {
        *minutes = 0;
        return true;
    }
    const int value = match.captured(2).toInt() * 60 + match.captured(3).toInt();
    *minutes = match.captured(1) == QLatin1String("-") ? -value : value;
    return true;
}

Recurrence readRecurrence(const QByteArray &recurrenceXml)
{
    // Searched for a dozen elements and more: through the item's tag index.
    const DocumentItem xml{recurrenceXml, 0};
    Recurrence recurrence;
    const QString type = firstElementText(xml, {"OPFRecurrencePatternType", "OPFRecurrenceType"});
    recurrence.pattern = patternOf(type);
    if (!recurrence.repeats()) {
        recurrence.unreadable = !recurrenceXml.trimmed().isEmpty();
        return recurrence;
    }
    const auto adjusted = [&recurrence](const char *element, const QString &why) {
        recurrence.adjustments.append({element, why});
    };
    const QString interval = firstElementText(xml, {"OPFRecurrencePatternInterval", "OPFRecurrenceInterval"});
    if (!interval.trimmed().isEmpty()) {
        const double number = patternNumber(interval);
        recurrence.interval = nearestWholeNumber(number, 1);
        if (recurrence.interval != number)
            adjusted("OPFRecurrencePatternInterval", QStringLiteral("an interval of %1 cannot be said; the rule repeats every %2")
                                                           .arg(shownValue(interval)).arg(recurrence.interval));
    }
    QByteArray days;
    if (elementContent(xml, "OPFRecurrencePatternDaysOfWeek", &days)
        || elementContent(xml, "OPFRecurrencePatternDayOfWeek", &days))
        recurrence.daysOfWeek = daysOfWeekOf(days);
    for (const char *name : {"OPFRecurrencePatternDayOfWeekIndex", "OPFRecurrencePatternWeekOfMonth",
                             "OPFRecurrencePatternInstance", "OPFRecurrencePatternWeekNumber",
                             "OPFRecurrencePatternWeek", "OPFRecurrencePatternOrdinal", "OPFRecurrenceInstance"}) {
        QByteArray week;
        if (elementContent(xml, name, &week) && (recurrence.instance = weekOfMonthOf(week)))
            break;
    }
    const QString dayOfMonth = firstElementText(xml, {"OPFRecurrencePatternDayOfMonth"});
    const int day = numberValue(dayOfMonth, 0);
    recurrence.dayOfMonth = day >= 1 && day <= 31 ? day : 0;
    if (!dayOfMonth.trimmed().isEmpty() && recurrence.dayOfMonth != patternNumber(dayOfMonth))
        adjusted("OPFRecurrencePatternDayOfMonth",
                 QStringLiteral("a day of the month of %1 cannot be said; the first occurrence's day is kept")
                     .arg(shownValue(dayOfMonth)));
    const QString monthText = firstElementText(xml, {"OPFRecurrencePatternMonth", "OPFRecurrencePatternMonthOfYear"});
    const int month = numberValue(monthText, 0);
    recurrence.month = month >= 1 && month <= 12 ? month : 0;
    if (!monthText.trimmed().isEmpty() && recurrence.month != patternNumber(monthText))
        adjusted("OPFRecurrencePatternMonth",
                 QStringLiteral("a month of %1 cannot be said; the first occurrence's month is kept").arg(shownValue(monthText)));

    recurrence.startDate = exportDate(firstElementText(xml, {"OPFRecurrenceCopyStartDate", "OPFRecurrenceStartDate"}));
    const QString end = firstElementText(xml, {"OPFRecurrenceCopyEndDate", "OPFRecurrenceEndDate"});
    const QString countText = firstElementText(xml, {"OPFRecurrenceGetOccurenceCount", "OPFRecurrenceGetOccurrenceCount",
                                                     "OPFRecurrenceOccurrences"});
    const double count = patternNumber(countText);
    // Flags say which limit counts; without them a count or an end date speaks for itself.
    const QString numbered = firstElementText(xml, {"OPFRecurrenceIsNumbered"});
    const QString hasEnd = firstElementText(xml, {"OPFRecurrenceHasEndDate"});
    if (flagValue(firstElementText(xml, {"OPFRecurrenceIsNoEnd"})))
        return recurrence;
    if (numbered.isNull() ? count > 0 : flagValue(numbered)) {
        if (std::isnan(count)) {
            adjusted("OPFRecurrenceGetOccurenceCount",
                     QStringLiteral("a count of \"%1\" cannot be read; the rule repeats without end").arg(shownValue(countText)));
        } else {
            // At least the first occurrence: the item itself.
            recurrence.occurrences = nearestWholeNumber(count, 1);
            if (recurrence.occurrences != count)
                adjusted("OPFRecurrenceGetOccurenceCount", QStringLiteral("a count of %1 cannot be said; the rule ends after %2")
                                                               .arg(shownValue(countText)).arg(recurrence.occurrences));
        }
    } else if (hasEnd.isNull() || flagValue(hasEnd)) {
        recurrence.endUtc = exportTimeUtc(end);
        recurrence.endDate = exportDate(end);
        if (!recurrence.endDate.isValid() && !end.trimmed().isEmpty())
            adjusted("OPFRecurrenceCopyEndDate",
                     QStringLiteral("an end date of \"%1\" cannot be read; the rule repeats without end").arg(shownValue(end)));
    }
    return recurrence;
}

MailAddressList readMailAddressList(const DocumentItem &item, const char *listName, WholeAddresses whole)
{
    static const QStringMatcher addressMatcher(kAddressAttribute), nameMatcher(kNameAttribute),
        typeMatcher(kTypeAttribute);
    static const char kEntryEnd[] = "</emailAddress>";
    const size_t entryEndLength = sizeof kEntryEnd - 1;
    MailAddressList list;
    const ElementValue value = findElement(item, listName);
    list.found = value.found;
    bool piecesGiveWhole = whole == WholeAddresses::Read && cutIsContent(item, listName, value);
    const char *from = value.bytes.constData();
    const char *const end = from + value.bytes.size();
    for (const char *tag; (tag = findTag(from, end, kEntryEnd, entryEndLength)); from = tag + entryEndLength) {
        const int size = int(tag - from);
        AddressEntry entry{{from, size}, isPlainAscii(from, size), QString(), -1, -1, -1};
        if (entry.plain) {
            // Characters are bytes: the names are found in place.
            const auto position = [&](QLatin1String name) {
                const char *at = findTag(from, tag, name.data(), size_t(name.size()));
                return at ? int(at - from) : -1;
            };
            entry.a = position(kAddressAttribute);
            entry.n = position(kNameAttribute);
            entry.t = position(kTypeAttribute);
        } else {
            entry.text = utf8Text(from, size);
            entry.a = addressMatcher.indexIn(entry.text);
            entry.n = nameMatcher.indexIn(entry.text);
            entry.t = typeMatcher.indexIn(entry.text);
        }
        if (piecesGiveWhole)
            piecesGiveWhole = wholeAddressOfPiece(from, size, entry, &list.whole);
        if (entry.a >= 0) {
            list.plain = list.plain && entry.plain;
            list.entries.append(entry);
        }
    }
    // After the last entry only its container's end may follow.
    if (piecesGiveWhole && memchr(from, '<', size_t(end - from)))
        piecesGiveWhole = false;
    if (whole == WholeAddresses::Read && !piecesGiveWhole)
        list.whole = mailAddresses(item, listName);
    return list;
}

MailDetails mailDetailsOf(const MailMLRC *mail, const DocumentItem &item, MailAddressList &&from,
                          MailAddressList &&to, MailAddressList &&cc)
{
    MailDetails details;
    details.from = std::move(from.whole);
    details.to = std::move(to.whole);
    details.cc = std::move(cc.whole);
    details.htmlBody = findFileText(item, "OPFMessageCopyHTMLBody");
    details.read = flagValue(elementText(item, "OPFMessageGetIsRead"));
    // How exports name the follow-up flag is not known: every plausible name is read, and
    // any status other than zero is a flag.
    details.flagged = flagValue(firstElementText(item, {"OPFMessageGetFlagStatus", "OPFMessageCopyFlagStatus",
                                                        "OPFMessageGetIsFlagged", "OPFMessageIsFlagged"}));
    const int priority = numberValue(elementText(item, "OPFMessageGetPriority"), 0);
    details.priority = priority >= 1 && priority <= 5 ? priority : 0;
    details.categories = categoriesIn(item, "OPFMessageCopyCategoryList");
    if (!mail->Subject[0])
        details.subject = elementText(item, "OPFMessageCopySubject").remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    // Identifiers from the export are stored in brackets; one the scan made has none.
    if (mail->MessageId[0] != '<')
        details.place = itemPlace(item);
    return details;
}

ItemPlace itemPlace(const DocumentItem &item)
{
    return {item.fileOffset, item.bytesAt >= 0 ? item.bytesAt : item.fileOffset, item.bytes.size()};
}

ContactDetails contactDetailsOf(const DocumentItem &item)
{
    ContactDetails details;
    details.middleName = elementText(item, "OPFContactCopyMiddleName");
    QByteArray list;
    if (elementContent(item, "OPFContactCopyEmailAddressList", &list))
        for (const QByteArray &tag : startTags(list, "contactEmailAddress"))
            details.emailKinds.append(emailKindOf(attribute(tag, "OPFContactEmailAddressType")));
    details.texts = textElements(item.bytes, "OPFContact", "OPFContactAddPicture");
    details.emails = contactAddresses(item, "OPFContactCopyEmailAddressList");
    details.imAddresses = contactAddresses(item, "OPFContactCopyIMAddressList");
    details.children = childNames(item);
    details.categories = categoriesIn(item, "OPFContactCopyCategoryList");
    details.place = itemPlace(item);
    return details;
}

EventDetails eventDetailsOf(const CalenderInformation *event, const DocumentItem &item)
{
    const DocumentItem &bytes = item;
    EventDetails details;
    QByteArray attendees;
    if (elementContent(bytes, "OPFCalendarEventCopyAttendeeList", &attendees))
        for (const QByteArray &tag : startTags(attendees, "appointmentAttendee")) {
            const MailAddress attendee{attribute(tag, "OPFCalendarAttendeeAddress").trimmed(),
                                       attribute(tag, "OPFCalendarAttendeeName").trimmed()};
            if (!attendee.address.isEmpty())
                details.attendees.append(attendee);
        }
    const QString reminder = elementText(bytes, "OPFCalendarEventCopyReminderDelta");
    if (!reminder.isEmpty())
        details.reminderSeconds = numberValue(reminder, -1);
    QString zone = elementText(bytes, "OPFCalendarEventCopyTimeZone");
    if (zone.isEmpty())
        zone = elementText(bytes, "OPFCalendarEventCopyStartTimeZone");
    details.hasZoneOffset = zoneOffsetMinutes(zone, &details.zoneOffsetMinutes);
    details.zoneName = zone;
    details.allDay = flagValue(elementText(bytes, "OPFCalendarEventGetIsAllDayEvent"));
    details.isPrivate = flagValue(elementText(bytes, "OPFCalendarEventGetIsPrivate"));
    details.categories = categoriesIn(bytes, "OPFCalendarEventCopyCategoryList");
    details.recurrence = recurrenceIn(bytes, "OPFCalendarEventCopyRecurrence");
    if (!event->Summary[0])
        details.summary = elementText(bytes, "OPFCalendarEventCopySummary");
    details.ownUid = usableUid(elementText(bytes, "OPFCalendarEventCopyUUID"));
    details.place = itemPlace(item);
    details.zoneText = elementText(bytes, "OPFCalendarEventGetStartTimeZoneICSData");

    const QString summary = decodeXmlText(utf8Field(event->Summary));
    const bool markedRecurring = flagValue(elementText(bytes, "OPFCalendarEventIsRecurring"));
    for (const Recurrence::Adjustment &adjustment : details.recurrence.adjustments)
        recurrenceLoss(QStringLiteral("event"), summary, QStringLiteral("Calendars"), adjustment.element, adjustment.why);
    details.recurrence.adjustments = {}; // in the account now: the details need not keep them
    if (details.recurrence.unreadable || (markedRecurring && !details.recurrence.repeats()))
        recurrenceLoss(QStringLiteral("event"), summary, QStringLiteral("Calendars"), "OPFCalendarEventCopyRecurrence",
                       QStringLiteral("the repeating pattern could not be read; the event is kept once"));
    else if (details.recurrence.repeats() && !details.allDay && !details.zoneText.isEmpty()
             && !rulesOfZoneText(details.zoneText).isValid())
        recurrenceLoss(QStringLiteral("event"), summary, QStringLiteral("Calendars"),
                       "OPFCalendarEventGetStartTimeZoneICSData",
                       QStringLiteral("the time zone could not be read; the event repeats at a fixed distance "
                                      "from UTC, so daylight-saving changes move it"));
    return details;
}

TaskDetails taskDetailsOf(const TasksInformation *task, const DocumentItem &item)
{
    const DocumentItem &bytes = item;
    TaskDetails details;
    const QString start = elementText(bytes, "OPFTaskCopyStartDateTime"), due = elementText(bytes, "OPFTaskCopyDueDateTime");
    details.startUtc = exportTimeUtc(start);
    details.dueUtc = exportTimeUtc(due);
    details.startDay = exportDate(start);
    details.dueDay = exportDate(due);
    details.completedUtc = exportTimeUtc(elementText(bytes, "OPFTaskCopyCompletedDateTime"));
    details.complete = details.completedUtc.isValid() || flagValue(elementText(bytes, "OPFTaskGetIsComplete"));
    details.categories = categoriesIn(bytes, "OPFTaskCopyCategoryList");
    details.recurrence = recurrenceIn(bytes, "OPFTaskCopyRecurrence");
    details.place = itemPlace(item);
    if (details.recurrence.unreadable)
        recurrenceLoss(QStringLiteral("task"), utf8Field(task->Name), QStringLiteral("Tasks"), "OPFTaskCopyRecurrence",
                       QStringLiteral("the repeating pattern could not be read; the task is kept once"));
    for (const Recurrence::Adjustment &adjustment : details.recurrence.adjustments)
        recurrenceLoss(QStringLiteral("task"), utf8Field(task->Name), QStringLiteral("Tasks"), adjustment.element,
                       adjustment.why);
    details.recurrence.adjustments = {}; // in the account now: the details need not keep them
    return details;
}

bool keepDetails(const MailMLRC *mail, MailDetails &&details) { return keep(mailDetails, mail, std::move(details)); }
bool keepDetails(const ContactInformation *contact, ContactDetails &&details)
{
    return keep(contactDetails, contact, std::move(details));
}
bool keepDetails(const CalenderInformation *event, EventDetails &&details)
{
    return keep(eventDetails, event, std::move(details));
}
bool keepDetails(const TasksInformation *task, TaskDetails &&details) { return keep(taskDetails, task, std::move(details)); }

const MailDetails &detailsOf(const MailMLRC *mail) { return lookUp(mailDetails, mail); }
const ContactDetails &detailsOf(const ContactInformation *contact) { return lookUp(contactDetails, contact); }
const EventDetails &detailsOf(const CalenderInformation *event) { return lookUp(eventDetails, event); }
const TaskDetails &detailsOf(const TasksInformation *task) { return lookUp(taskDetails, task); }

QVector<ContactGroup> readContactGroups(const QByteArray &groupsXml)
{
    QVector<ContactGroup> groups;
    static const char kOpen[] = "<group", kClose[] = "</group>", kMember[] = " OPFContactEmailAddressAddress=\"";
    int at = 0;
    while ((at = groupsXml.indexOf(kOpen, at)) >= 0) {
        const int nameEnd = at + int(sizeof kOpen - 1);
        // "<groups" is the list, not a group.
        if (nameEnd >= groupsXml.size() || (groupsXml.at(nameEnd) != '>' && groupsXml.at(nameEnd) != ' ')) {
            at = nameEnd;
            continue;
        }
        int end = groupsXml.indexOf(kClose, nameEnd);
        if (end < 0) // cut by damage: the group runs to the end of what is there
            end = groupsXml.size();
        const QByteArray content = QByteArray::fromRawData(groupsXml.constData() + nameEnd, end - nameEnd);
        ContactGroup group;
        group.name = firstElementText(DocumentItem{content, 0}, {"OPFGroupCopyName", "OPFGroupName"}).trimmed();
        // Each member's tag is looked for only between its neighbours, so that a hostile
        // document of attributes without tags costs one pass, not one per attribute.
        int floor = 0;
        for (int member = content.indexOf(kMember); member >= 0;) {
            const int next = content.indexOf(kMember, member + 1);
            const int limit = next < 0 ? content.size() : next;
            int tagStart = member, tagEnd = member;
            while (tagStart > floor && content.at(tagStart) != '<')
                --tagStart;
            while (tagEnd < limit && content.at(tagEnd) != '>')
                ++tagEnd;
            const QByteArray tag = content.mid(tagStart, tagEnd - tagStart);
            const MailAddress address{attribute(tag, "OPFContactEmailAddressAddress").trimmed(),
                                      attribute(tag, "OPFContactEmailAddressName").trimmed()};
            if (!address.address.isEmpty())
                group.members.append(address);
            floor = member + 1;
            member = next;
        }
        if (!group.name.isEmpty() || !group.members.isEmpty())
            groups.append(group);
        at = end;
    }
    return groups;
}

const QVector<ContactGroup> &contactGroups() { return groupsOfScan; }

void keepContactGroups(QVector<ContactGroup> &&groups) { groupsOfScan = std::move(groups); }

void clearItemDetails()
{
    groupsOfScan.clear();
    mailDetails.clear();
    contactDetails.clear();
    eventDetails.clear();
    taskDetails.clear();
    elementNamesKept.clear();
}

bool isAllDay(const CalenderInformation &event, const EventDetails &details)
{
    return details.allDay || latin1Field(event.AllDay) == QLatin1String("1");
}
