// Contacts as vCard 3.0.
#include "archive/ContentLines.h"
#include "archive/StableIdentity.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"
#include "olm/LossAccount.h"
#include "parsers/RecordText.h"
#include "parsers/TimeConverter.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {
// Bytes of a UTF-8 sequence that follow its first byte.
bool isContinuationByte(char byte) { return (uchar(byte) & 0xC0) == 0x80; }

class Card
{
public:
    void line(const QByteArray &nameAndParameters, const QString &value)
    {
        m_bytes += foldedContentLine(nameAndParameters + ':' + value.toUtf8());
    }
    // A text value, escaped; nothing when it is empty.
    void text(const QByteArray &name, const QString &value)
    {
        if (!value.trimmed().isEmpty())
            line(name, escapedValue(value.trimmed()));
    }
    // A value with a label of its own, as a group of two lines (item1.TEL, item1.X-ABLabel),
    // for kinds that vCard 3.0 has no type for; readers that know no labels keep the value.
    void labelled(const QByteArray &name, const QString &value, const QString &label, bool escape = true)
    {
        if (value.trimmed().isEmpty())
            return;
        const QByteArray group = "item" + QByteArray::number(++m_groups) + '.';
        line(group + name, escape ? escapedValue(value.trimmed()) : value.trimmed());
        line(group + "X-ABLabel", escapedValue(label));
    }
    QByteArray m_bytes;

private:
    int m_groups = 0;
};

QString joinedComponents(const QStringList &components)
{
    QStringList escaped;
    for (const QString &component : components)
        escaped.append(escapedValue(component.trimmed()));
    return escaped.join(QLatin1Char(';'));
}

// The work street is stored with a space after each line break.
QString street(const QString &stored) { return QString(stored).replace(QLatin1String("\n "), QLatin1String("\n")); }

// Control characters other than line breaks and tabs have no place in a vCard value.
QString withoutControls(QString text)
{
    const auto isControl = [](QChar c) {
        const ushort code = c.unicode();
        return (code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code == 0x7F;
    };
    text.truncate(int(std::remove_if(text.begin(), text.end(), isControl) - text.begin()));
    return text.trimmed();
}

// The contact's values: the export's whole text where the scan read it, else the
// record's field. Every element used is noted, so that the rest can be accounted for.
class ContactValues
{
public:
    ContactValues(const ContactInformation &contact, const ContactDetails &details)
        : contact(contact), details(details)
    {
    }
    template <int Width>
    QString text(const char *element, const char (&field)[Width], FieldEncoding encoding = FieldEncoding::Utf8)
    {
        m_used.insert(element);
        const auto found = details.texts.constFind(element);
        return withoutControls(found != details.texts.constEnd() ? found.value() : fieldText(field, encoding));
    }
    QString text(const char *element)
    {
        m_used.insert(element);
        return withoutControls(details.texts.value(element));
    }
    // A date-only value: the day of the UTC moment twelve hours on, as the record keeps it.
    template <int Width>
    QString date(const char *element, const char (&field)[Width])
    {
        m_used.insert(element);
        const auto found = details.texts.constFind(element);
        if (found == details.texts.constEnd())
            return latin1Field(field);
        const QString value = found.value().trimmed();
        if (exportTimeUtc(value).isValid())
            return QString::fromLatin1(utcCalendarDate(value));
        const QDate day = QDate::fromString(value.left(10), Qt::ISODate);
        if (day.isValid())
            return day.toString(Qt::ISODate);
        m_unreadable.insert(element);
        return QString();
    }
    void use(const char *element) { m_used.insert(element); }
    // Elements the scan read that no line carries, in name order.
    QStringList notCarried() const
    {
        QStringList names;
        for (auto it = details.texts.constBegin(); it != details.texts.constEnd(); ++it)
            if (!m_used.contains(it.key()) || m_unreadable.contains(it.key()))
                names.append(QString::fromLatin1(it.key()));
        std::sort(names.begin(), names.end());
        return names;
    }

    const ContactInformation &contact;
    const ContactDetails &details;

private:
    QSet<QByteArray> m_used, m_unreadable;
};

// An address with its seven components; nothing when all are empty.
void address(Card &card, const QByteArray &type, const QString &streetText, const QString &city,
             const QString &state, const QString &zip, const QString &country, const QString &label = QString())
{
    const QStringList parts{QString(), QString(), streetText, city, state, zip, country};
    if (parts.join(QString()).trimmed().isEmpty())
        return;
    if (label.isEmpty())
        card.line("ADR;TYPE=" + type, joinedComponents(parts));
    else
        card.labelled("ADR;TYPE=" + type, joinedComponents(parts), label, false);
}

const char *emailType(EmailKind kind)
{
    switch (kind) {
    case EmailKind::Home: return "INTERNET,HOME";
    case EmailKind::Other: return "INTERNET,OTHER";
    case EmailKind::Work: return "INTERNET,WORK";
    case EmailKind::Unknown: break;
    }
    return "INTERNET";
}

// The export's Base64 text without the line breaks and blanks it may hold.
QByteArray base64Characters(const QByteArray &text)
{
    QByteArray kept(text.size(), Qt::Uninitialized);
    int size = 0;
    for (const char c : text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'
            || c == '=')
            kept[size++] = c;
    kept.truncate(size);
    return kept;
}

// The picture's type from its first bytes; the export keeps it in Base64.
const char *pictureType(const QByteArray &base64)
{
    const QByteArray head = QByteArray::fromBase64(base64.left(16));
    if (head.startsWith("\x89PNG"))
        return "PNG";
    if (head.startsWith("GIF8"))
        return "GIF";
    return "JPEG";
}

struct Names {
    QString first, middle, last, prefix, suffix, display, company;
};

// A card must carry a name; a company or an address is better than nothing.
QString formattedName(const Names &names, const QString &firstEmail)
{
    if (!names.display.isEmpty())
        return names.display;
    QStringList parts;
    for (const QString &part : {names.first, names.middle, names.last})
        if (!part.isEmpty())
            parts.append(part);
    if (!parts.isEmpty())
        return parts.join(QLatin1Char(' '));
    if (!names.company.isEmpty())
        return names.company;
    return firstEmail.isEmpty() ? QStringLiteral("(no name)") : firstEmail;
}

QVector<ContactAddress> recordAddresses(const char (&fields)[ContactWidth::AddressSlots][ContactWidth::Address],
                                        FieldEncoding encoding, const QVector<EmailKind> &kinds)
{
    QVector<ContactAddress> addresses;
    for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot) {
        const QString address = fieldText(fields[slot], encoding).trimmed();
        if (!address.isEmpty())
            addresses.append({address, kinds.value(slot, EmailKind::Unknown)});
    }
    return addresses;
}

// Elements a card carries in another form, or that only repeat what it carries.
bool carriedOtherwise(const QString &element)
{
    static const QSet<QString> kElements{
        QStringLiteral("OPFContactCopyAge"),   // follows from the birthday
        QStringLiteral("OPFContactCopyNotes"), // the formatted twin of the plain note
    };
    return kElements.contains(element);
}
} // namespace

QByteArray foldedContentLine(const QByteArray &value)
{
    const QByteArray line = contentLineText(value);
    constexpr int kOctets = 75;
    QByteArray out;
    out.reserve(line.size() + line.size() / kOctets * 3 + 2);
    int at = 0;
    int room = kOctets;
    while (line.size() - at > room) {
        int cut = at + room;
        while (cut > at && isContinuationByte(line.at(cut)))
            --cut;
        if (cut == at) // a broken sequence longer than a line: cut anyway
            cut = at + room;
        out.append(line.constData() + at, cut - at);
        out += "\r\n ";
        at = cut;
        room = kOctets - 1; // the leading space counts
    }
    out.append(line.constData() + at, line.size() - at);
    out += "\r\n";
    return out;
}

QByteArray standardVCard(const ContactInformation &contact, const ContactDetails &details, const TextReader &olm)
{
    ContactValues values(contact, details);
    Names names;
    names.first = values.text("OPFContactCopyFirstName", contact.FirstName);
    names.middle = details.middleName.trimmed();
    values.use("OPFContactCopyMiddleName");
    names.last = values.text("OPFContactCopyLastName", contact.LastName);
    names.prefix = values.text("OPFContactCopyTitle", contact.Title);
    names.suffix = values.text("OPFContactCopySetNameSuffix", contact.NameSuffix);
    names.display = values.text("OPFContactCopyDisplayName", contact.DisplayName);
    names.company = values.text("OPFContactCopyBusinessCompany", contact.Company);
    const QVector<ContactAddress> emails = details.emails.isEmpty()
                                               ? recordAddresses(contact.EmailAddresses, FieldEncoding::Utf8,
                                                                 details.emailKinds)
                                               : details.emails;
    const QVector<ContactAddress> ims = details.imAddresses.isEmpty()
                                           ? recordAddresses(contact.IMAddresses, FieldEncoding::Latin1, {})
                                           : details.imAddresses;

    Card card;
    card.line("PRODID", QStringLiteral("-//Mendora//Standard export//EN"));
    const QString formatted = formattedName(names, emails.isEmpty() ? QString() : emails.first().address);
    card.line("FN", escapedValue(formatted));
    card.line("N", joinedComponents({names.last, names.first, names.middle, names.prefix, names.suffix}));
    card.text("NICKNAME", values.text("OPFContactCopyNickName", contact.NickName));
    const QString department = values.text("OPFContactCopyBusinessDepartment", contact.Department);
    if (!names.company.isEmpty() || !department.isEmpty())
        card.line("ORG", joinedComponents({names.company, department}));
    card.text("TITLE", values.text("OPFContactCopyBusinessTitle", contact.JobTitle));
    const QString office = values.text("OPFContactCopyBusinessOffice", contact.Office);
    card.text("X-OFFICE", office);
    card.text("X-KADDRESSBOOK-X-Office", office);

    for (int i = 0; i < emails.size(); ++i) {
        QByteArray type = emailType(emails.at(i).kind);
        if (i == 0)
            type += ",PREF";
        card.line("EMAIL;TYPE=" + type, escapedValue(emails.at(i).address));
    }
    for (const ContactAddress &im : ims)
        card.text("X-IM", im.address);

    // Every phone on a line of its own, never in an item group: KDE's reader drops grouped
    // phones. Kinds that vCard 3.0 has no type for get Apple's (MAIN, OTHER) or an X- type.
    const struct {
        const char *type;
        QString number;
    } phones[] = {
        {"HOME,VOICE", values.text("OPFContactCopyHomePhone", contact.HomePhone1)},
        {"HOME,VOICE,X-HOME2", values.text("OPFContactCopyHomePhone2", contact.HomePhone2)},
        {"HOME,FAX", values.text("OPFContactCopyHomeFax", contact.HomeFax)},
        {"WORK,VOICE", values.text("OPFContactCopyBusinessPhone", contact.WorkPhone1)},
        {"WORK,VOICE,X-WORK2", values.text("OPFContactCopyBusinessPhone2", contact.WorkPhone2)},
        {"WORK,FAX", values.text("OPFContactCopyBusinessFax", contact.WorkFax)},
        {"CELL,VOICE", values.text("OPFContactCopyCellPhone", contact.MobilePhone)},
        {"PAGER", values.text("OPFContactCopyPager", contact.Pager)},
        {"VOICE,X-RADIO", values.text("OPFContactCopyRadioPhone")},
        {"VOICE,X-ASSISTANT", values.text("OPFContactCopyAssistantPhone", contact.AssistantPhone)},
        {"VOICE,OTHER", values.text("OPFContactCopyOtherPhone")},
        {"FAX,OTHER", values.text("OPFContactCopyOtherFax")},
        {"VOICE,MAIN", values.text("OPFContactMainPhone", contact.MainPhone)},
        {"VOICE,X-CUSTOM1", values.text("OPFContactCopyCustomPhone1", contact.CustomPhone[0])},
        {"VOICE,X-CUSTOM2", values.text("OPFContactCopyCustomPhone2", contact.CustomPhone[1])},
        {"VOICE,X-CUSTOM3", values.text("OPFContactCopyCustomPhone3", contact.CustomPhone[2])},
        {"VOICE,X-CUSTOM4", values.text("OPFContactCopyCustomPhone4", contact.CustomPhone[3])},
    };
    for (const auto &phone : phones)
        card.text(QByteArray("TEL;TYPE=") + phone.type, phone.number);

    // The record keeps the work street with a space after each line break; the export's text has none.
    const QString workStreet = values.text("OPFContactCopyBusinessStreetAddress", contact.WorkStreet);
    address(card, "WORK",
            details.texts.contains("OPFContactCopyBusinessStreetAddress") ? workStreet : street(workStreet),
            values.text("OPFContactCopyBusinessCity", contact.WorkCity),
            values.text("OPFContactCopyBusinessState", contact.WorkState),
            values.text("OPFContactCopyBusinessZip", contact.WorkZip),
            values.text("OPFContactCopyBusinessCountry", contact.WorkCountry));
    address(card, "HOME", values.text("OPFContactCopyHomeStreetAddress", contact.HomeStreet),
            values.text("OPFContactCopyHomeCity", contact.HomeCity),
            values.text("OPFContactCopyHomeState", contact.HomeState),
            values.text("OPFContactCopyHomeZip", contact.HomeZip),
            values.text("OPFContactCopyHomeCountry", contact.HomeCountry));
    // vCard 3.0 has no "other" address; POSTAL keeps it apart from home and work.
    address(card, "POSTAL", values.text("OPFContactCopyOtherStreetAddress"), values.text("OPFContactCopyOtherCity"),
            values.text("OPFContactCopyOtherState"), values.text("OPFContactCopyOtherZip"),
            values.text("OPFContactCopyOtherCountry"), QStringLiteral("Other"));
    card.text("URL;TYPE=WORK", values.text("OPFContactCopyBusinessHomePage", contact.WorkWebPage));
    card.text("URL;TYPE=HOME", values.text("OPFContactCopyHomeWebPage", contact.HomeWebPage, FieldEncoding::Latin1));

    const QString birthday = values.date("OPFContactCopyBirthday", contact.Birthday);
    if (!birthday.isEmpty())
        card.line("BDAY;VALUE=DATE", birthday);
    // Each reader has its own name for these; Apple's labels are its own fixed texts.
    const QString anniversary = values.date("OPFContactCopyAnniversary", contact.Anniversary);
    if (!anniversary.isEmpty()) {
        card.line("X-ANNIVERSARY", anniversary);
        card.line("X-KADDRESSBOOK-X-Anniversary", anniversary);
        card.labelled("X-ABDATE", anniversary, QStringLiteral("_$!<Anniversary>!$_"), false);
    }
    const QString spouse = values.text("OPFContactCopySpousesName", contact.Spouse);
    card.text("X-SPOUSE", spouse);
    card.text("X-KADDRESSBOOK-X-SpousesName", spouse);
    card.labelled("X-ABRELATEDNAMES", spouse, QStringLiteral("_$!<Spouse>!$_"));
    values.use("OPFContactCopyChildren");
    QStringList children = details.children;
    if (children.isEmpty())
        for (const auto &child : contact.Children)
            if (child[0])
                children.append(utf8Field(child));
    for (const QString &child : children) {
        card.text("X-CHILD", withoutControls(child));
        card.labelled("X-ABRELATEDNAMES", withoutControls(child), QStringLiteral("_$!<Child>!$_"));
    }
    card.text("X-INTERESTS", values.text("OPFContactCopyInterests", contact.Interests, FieldEncoding::Latin1));
    const char *const customData[] = {"OPFContactCopyCustom1Data", "OPFContactCopyCustom2Data",
                                      "OPFContactCopyCustom3Data", "OPFContactCopyCustom4Data",
                                      "OPFContactCustomData5",     "OPFContactCustomData6",
                                      "OPFContactCustomData7",     "OPFContactCustomData8"};
    for (int i = 0; i < ContactWidth::CustomFieldSlots; ++i)
        card.text("X-CUSTOM" + QByteArray::number(i + 1), values.text(customData[i], contact.CustomFields[i]));
    const QString customDates[] = {values.date("OPFContactCopyCustomDate1", contact.CustomDate1),
                                   values.date("OPFContactCopyCustomDate2", contact.CustomDate2)};
    for (int i = 0; i < 2; ++i)
        card.labelled("X-ABDATE", customDates[i], QStringLiteral("Custom Date %1").arg(i + 1), false);

    QStringList categories = details.categories;
    if (categories.isEmpty())
        categories = ownedText(contact.Categories, FieldEncoding::Utf8).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (!categories.isEmpty()) {
        QStringList escaped;
        for (const QString &category : categories)
            escaped.append(escapedValue(withoutControls(category)));
        card.line("CATEGORIES", escaped.join(QLatin1Char(',')));
    }
    values.use("OPFContactCopyNotesPlain");
    if (contact.NotesSize > 0)
        // The plain note: text that may hold "<" of its own, not markup.
        card.text("NOTE", decodeXmlText(fileStretchText(olm, contact.NotesOffset, contact.NotesSize)));
    else
        card.text("NOTE", plainTextOfHtml(values.text("OPFContactCopyNotes")));
    if (contact.PictureSize > 0) {
        const QByteArray picture = base64Characters(olm.read(contact.PictureOffset, contact.PictureSize));
        if (!picture.isEmpty())
            card.m_bytes += foldedContentLine(QByteArray("PHOTO;ENCODING=b;TYPE=") + pictureType(picture) + ':'
                                              + picture);
    }
    card.m_bytes += "END:VCARD\r\n";

    // The same contact gets the same UID in every save: from what the scan saw, or
    // else from everything the card says.
    const QByteArray scanned = itemIdentity(details.place, olm);
    const QByteArray identity = scanned.isEmpty() ? card.m_bytes : scanned;
    const QByteArray uid = stableItemUuid("contact", identity).toString(QUuid::WithoutBraces).toUpper().toLatin1();

    for (const QString &element : values.notCarried()) {
        if (carriedOtherwise(element))
            continue;
        recordLoss(Loss{LossReason::NotWritten, QStringLiteral("contact"), formatted, QStringLiteral("Contacts"),
                        element, QStringLiteral("the vCard has no place for this value")});
    }
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + foldedContentLine("UID:" + uid) + card.m_bytes;
}
