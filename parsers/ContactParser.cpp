#include "olm/EntryPath.h"
#include "parsers/ElementText.h"
#include "parsers/ExportFacts.h"
#include "parsers/ItemReaders.h"
#include "parsers/ItemLosses.h"
#include "parsers/ItemDetails.h"
#include "parsers/TimeConverter.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// Exports write numbers in float notation ("4.2E1"); a whole number written so
// is the same age. Anything else that does not read as a number counts as 0.
constexpr double kOldestAge = 1000;
qint32 readAge(const QString &text)
{
    bool ok = false;
    const qint32 age = text.toInt(&ok, 10);
    if (ok)
        return age;
    // The range is checked before the conversion: a double outside int has no int value.
    double value = 0;
    if (floatNotationValue(text, 0, kOldestAge, &value) && value == std::floor(value))
        return qint32(value);
    return 0;
}
enum class ContactRule {
    Ignored,
    Text,          // stored as it stands
    DecodedName,   // entities decoded; the length limit applies to the text before decoding
    DecodedText,   // entities decoded; the field width applies after decoding
    WorkStreet,    // at most 510 characters, then a space after every line break
    PersonName,    // UTF-8, cut to the width at a character boundary
    Date,          // the day entered: date of the UTC moment twelve hours on
    Age,
    NotesText,     // left in the file
    PictureText,   // left in the file
    Categories,
    EmailList,
    IMList,
    Children,
};

struct ContactElement {
    const char *name;
    ContactRule rule;
    size_t offset; // of the field in the record
    int width;
    FieldEncoding encoding;
};

#define CONTACT_FIELD(member) offsetof(ContactInformation, member), int(sizeof(ContactInformation::member))
#define NO_FIELD 0, 0

constexpr FieldEncoding Utf8 = FieldEncoding::Utf8;
constexpr FieldEncoding Latin1 = FieldEncoding::Latin1;

const ContactElement kContactElements[] = {
    {"OPFContactCopyCategoryList", ContactRule::Categories, NO_FIELD, Latin1},
    {"OPFContactCopyHomeWebPage", ContactRule::Text, CONTACT_FIELD(HomeWebPage), Latin1},
    {"OPFContactCopyChildren", ContactRule::Children, CONTACT_FIELD(Children), Utf8},
    {"OPFContactCopyEmailAddressList", ContactRule::EmailList, CONTACT_FIELD(EmailAddresses), Utf8},
    {"OPFContactCopyIMAddressList", ContactRule::IMList, CONTACT_FIELD(IMAddresses), Latin1},
    {"OPFContactCopyFirstName", ContactRule::DecodedName, CONTACT_FIELD(FirstName), Utf8},
    {"OPFContactCopyLastName", ContactRule::DecodedName, CONTACT_FIELD(LastName), Utf8},
    {"OPFContactCopyDefaultEmailAddress", ContactRule::Ignored, NO_FIELD, Utf8},
    {"OPFContactCopyDefaultIMAddress", ContactRule::Ignored, NO_FIELD, Utf8},
    {"OPFContactCopyDisplayName", ContactRule::Text, CONTACT_FIELD(DisplayName), Utf8},
    {"OPFContactCopySetNameSuffix", ContactRule::Text, CONTACT_FIELD(NameSuffix), Utf8},
    {"OPFContactCopyTitle", ContactRule::Text, CONTACT_FIELD(Title), Utf8},
    {"OPFContactCopyNickName", ContactRule::Text, CONTACT_FIELD(NickName), Utf8},
    {"OPFContactCopyBusinessTitle", ContactRule::Text, CONTACT_FIELD(JobTitle), Utf8},
    {"OPFContactCopyBusinessOffice", ContactRule::DecodedText, CONTACT_FIELD(Office), Utf8},
    {"OPFContactCopyBusinessCompany", ContactRule::Text, CONTACT_FIELD(Company), Utf8},
    {"OPFContactCopyBusinessDepartment", ContactRule::DecodedText, CONTACT_FIELD(Department), Utf8},
    {"OPFContactCopyNotes", ContactRule::Ignored, NO_FIELD, Utf8},
    {"OPFContactCopyNotesPlain", ContactRule::NotesText, NO_FIELD, Utf8},
    {"OPFContactCopyBusinessHomePage", ContactRule::Text, CONTACT_FIELD(WorkWebPage), Utf8},
    {"OPFContactCopyBirthday", ContactRule::Date, CONTACT_FIELD(Birthday), Latin1},
    {"OPFContactCopyBusinessCity", ContactRule::Text, CONTACT_FIELD(WorkCity), Utf8},
    {"OPFContactCopyBusinessCountry", ContactRule::Text, CONTACT_FIELD(WorkCountry), Utf8},
    {"OPFContactCopyBusinessState", ContactRule::Text, CONTACT_FIELD(WorkState), Utf8},
    {"OPFContactCopyBusinessStreetAddress", ContactRule::WorkStreet, CONTACT_FIELD(WorkStreet), Utf8},
    {"OPFContactCopyBusinessZip", ContactRule::Text, CONTACT_FIELD(WorkZip), Utf8},
    {"OPFContactCopyHomeCity", ContactRule::Text, CONTACT_FIELD(HomeCity), Utf8},
    {"OPFContactCopyHomeCountry", ContactRule::Text, CONTACT_FIELD(HomeCountry), Utf8},
    {"OPFContactCopyHomeState", ContactRule::Text, CONTACT_FIELD(HomeState), Utf8},
    {"OPFContactCopyHomeStreetAddress", ContactRule::Text, CONTACT_FIELD(HomeStreet), Utf8},
    {"OPFContactCopyHomeZip", ContactRule::Text, CONTACT_FIELD(HomeZip), Utf8},
    {"OPFContactCopyHomePhone", ContactRule::Text, CONTACT_FIELD(HomePhone1), Utf8},
    {"OPFContactCopyHomePhone2", ContactRule::Text, CONTACT_FIELD(HomePhone2), Utf8},
    {"OPFContactCopyHomeFax", ContactRule::Text, CONTACT_FIELD(HomeFax), Utf8},
    {"OPFContactCopyBusinessPhone", ContactRule::Text, CONTACT_FIELD(WorkPhone1), Utf8},
    {"OPFContactCopyBusinessPhone2", ContactRule::Text, CONTACT_FIELD(WorkPhone2), Utf8},
    {"OPFContactCopyBusinessFax", ContactRule::Text, CONTACT_FIELD(WorkFax), Utf8},
    {"OPFContactCopyPager", ContactRule::Text, CONTACT_FIELD(Pager), Utf8},
    {"OPFContactCopyCellPhone", ContactRule::Text, CONTACT_FIELD(MobilePhone), Utf8},
    {"OPFContactMainPhone", ContactRule::Text, CONTACT_FIELD(MainPhone), Utf8},
    {"OPFContactCopyAssistantPhone", ContactRule::Text, CONTACT_FIELD(AssistantPhone), Utf8},
    {"OPFContactCopyCustomPhone1", ContactRule::Text, CONTACT_FIELD(CustomPhone[0]), Utf8},
    {"OPFContactCopyCustomPhone2", ContactRule::Text, CONTACT_FIELD(CustomPhone[1]), Utf8},
    {"OPFContactCopyCustomPhone3", ContactRule::Text, CONTACT_FIELD(CustomPhone[2]), Utf8},
    {"OPFContactCopyCustomPhone4", ContactRule::Text, CONTACT_FIELD(CustomPhone[3]), Utf8},
    {"OPFContactCopyCustom1Data", ContactRule::Text, CONTACT_FIELD(CustomFields[0]), Utf8},
    {"OPFContactCopyCustom2Data", ContactRule::Text, CONTACT_FIELD(CustomFields[1]), Utf8},
    {"OPFContactCopyCustom3Data", ContactRule::Text, CONTACT_FIELD(CustomFields[2]), Utf8},
    {"OPFContactCopyCustom4Data", ContactRule::Text, CONTACT_FIELD(CustomFields[3]), Utf8},
    {"OPFContactCustomData5", ContactRule::Text, CONTACT_FIELD(CustomFields[4]), Utf8},
    {"OPFContactCustomData6", ContactRule::Text, CONTACT_FIELD(CustomFields[5]), Utf8},
    {"OPFContactCustomData7", ContactRule::Text, CONTACT_FIELD(CustomFields[6]), Utf8},
    {"OPFContactCustomData8", ContactRule::Text, CONTACT_FIELD(CustomFields[7]), Utf8},
    {"OPFContactCopyCustomDate1", ContactRule::Date, CONTACT_FIELD(CustomDate1), Latin1},
    {"OPFContactCopyCustomDate2", ContactRule::Date, CONTACT_FIELD(CustomDate2), Latin1},
    {"OPFContactCopyAnniversary", ContactRule::Date, CONTACT_FIELD(Anniversary), Latin1},
    {"OPFContactCopySpousesName", ContactRule::PersonName, CONTACT_FIELD(Spouse), Utf8},
    {"OPFContactCopyInterests", ContactRule::Text, CONTACT_FIELD(Interests), Latin1},
    {"OPFContactAddPicture", ContactRule::PictureText, NO_FIELD, Utf8},
    {"OPFContactCopyMiddleName", ContactRule::Ignored, NO_FIELD, Utf8},
    {"OPFContactCopyAge", ContactRule::Age, NO_FIELD, Utf8},
    {"OPFContactCopyBloodType", ContactRule::Text, CONTACT_FIELD(BloodType), Latin1},
};

#undef CONTACT_FIELD
#undef NO_FIELD

// First and last name: longer texts are not stored, whatever decoding makes of them.
constexpr int kNameMaxCharacters = 255;
constexpr int kWorkStreetMaxCharacters = 510;

// Every piece of text before the last occurrence of tag: one per list entry.
QStringList listEntries(const QString &list, const char *tag)
{
    QStringList pieces = list.split(QLatin1String(tag), Qt::KeepEmptyParts);
    pieces.removeLast();
    return pieces;
}

// Category names in the reverse of their document order, joined by ",", for the
// buffer the record owns once committed. A piece too short for its fixed cut gives an empty name.
QByteArray joinedCategories(const QString &list)
{
    QStringList names;
    for (const QString &piece : listEntries(list, "</category>")) {
        const int length = piece.size() - kCategoryNameStart - kCategoryNameTail;
        names.append(length > 0 ? piece.mid(kCategoryNameStart, length) : QString());
    }
    const QString joined = names.join(QLatin1Char(','));
    if (joined.isEmpty())
        return QByteArray();
    // The joined text is split again, so a name holding "," has its parts reversed too.
    QStringList parts = joined.split(QLatin1Char(','), Qt::KeepEmptyParts);
    std::reverse(parts.begin(), parts.end());
    return parts.join(QLatin1Char(',')).toUtf8();
}

// Entry n goes to slot n; an entry that does not fit leaves its slot empty, and
// entries beyond the last slot are dropped.
void storeSlots(char *firstSlot, int slotWidth, int slotCount, const QStringList &values, FieldEncoding encoding)
{
    for (int n = 0; n < values.size() && n < slotCount; ++n)
        CopyToField(firstSlot + n * slotWidth, slotWidth, values.at(n), encoding);
}

// Names are kept in part where they do not fit.
void storeNameSlots(char *firstSlot, int slotWidth, int slotCount, const QStringList &names)
{
    for (int n = 0; n < names.size() && n < slotCount; ++n)
        CopyToFieldCut(firstSlot + n * slotWidth, slotWidth, names.at(n));
}

QStringList addresses(const QString &list)
{
    QStringList values;
    for (const QString &piece : listEntries(list, "</contactEmailAddress>")) {
        const QByteArray bytes = piece.toUtf8();
        const int length = bytes.size() - kAddressStart - kAddressTail;
        values.append(length > 0 ? QString::fromUtf8(bytes.mid(kAddressStart, length)) : QString());
    }
    return values;
}

QStringList children(const QString &list)
{
    QStringList values;
    for (const QString &piece : listEntries(list, "</string>"))
        values.append(piece.mid(kChildNameStart));
    return values;
}

void storeListElement(ParsedItem &parsed, const ContactElement &element, const QString &list)
{
    char *field = parsed.filling + element.offset;
    switch (element.rule) {
    case ContactRule::Categories:
        parsed.ownedText = joinedCategories(list);
        break;
    case ContactRule::EmailList:
    case ContactRule::IMList:
        storeSlots(field, ContactWidth::Address, ContactWidth::AddressSlots, addresses(list), element.encoding);
        break;
    case ContactRule::Children:
        storeNameSlots(field, ContactWidth::Child, ContactWidth::ChildSlots, children(list));
        break;
    default:
        break;
    }
}

// The element's trimmed, non-empty text stored by its rule.
void storeTextElement(ContactInformation *contact, const ContactElement &element, QString text)
{
    char *field = reinterpret_cast<char *>(contact) + element.offset;
    switch (element.rule) {
    case ContactRule::Text:
        CopyToField(field, element.width, text, element.encoding);
        break;
    case ContactRule::DecodedName:
        if (text.size() <= kNameMaxCharacters)
            CopyToField(field, element.width, DecodeEntities(text), element.encoding);
        break;
    case ContactRule::DecodedText:
        CopyToField(field, element.width, DecodeEntities(text), element.encoding);
        break;
    case ContactRule::WorkStreet:
        if (text.size() <= kWorkStreetMaxCharacters)
            CopyToField(field, element.width, text.replace(QLatin1String("\n"), QLatin1String("\n ")),
                        element.encoding);
        break;
    case ContactRule::PersonName:
        CopyToFieldCut(field, element.width, text);
        break;
    case ContactRule::Date:
        CopyToField(field, element.width, QString::fromLatin1(utcCalendarDate(text)), element.encoding);
        break;
    case ContactRule::Age:
        contact->Age = readAge(text);
        break;
    default:
        break;
    }
}

bool isList(ContactRule rule)
{
    return rule == ContactRule::Categories || rule == ContactRule::EmailList
           || rule == ContactRule::IMList || rule == ContactRule::Children;
}
} // namespace

void readContactItem(ParsedItem &parsed)
{
    ContactInformation *contact = parsedRecord<ContactInformation>(parsed);
    const DocumentItem &item = parsed.item;
    CopyToField(contact->Identifier, QString::fromLatin1(newIdentifier(true)), FieldEncoding::Latin1);

    for (const ContactElement &element : kContactElements) {
        if (element.rule == ContactRule::Ignored)
            continue;
        if (element.rule == ContactRule::NotesText || element.rule == ContactRule::PictureText) {
            const FileText text = findFileText(item, element.name);
            if (element.rule == ContactRule::NotesText) {
                contact->NotesSize = text.size;
                contact->NotesOffset = text.offset;
            } else {
                contact->PictureSize = text.size;
                contact->PictureOffset = text.offset;
            }
            continue;
        }
        // Lists are cut at fixed positions, so their text is not trimmed.
        const bool list = isList(element.rule);
        QString text;
        if (!GetElementText(item, element.name, &text, !list))
            continue;
        if (list)
            storeListElement(parsed, element, text);
        else if (!text.isEmpty())
            storeTextElement(contact, element, text);
    }
    parsed.details = contactDetailsOf(item);
}
