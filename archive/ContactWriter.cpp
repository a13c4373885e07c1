// A contact as the bundle's vCard: lines end with CR LF and are never folded; the
// name line has no line end of its own, since every later property starts with one.
#include "archive/ContentLines.h"
#include "archive/ItemConverters.h"
#include "archive/StandardText.h"
#include "parsers/ItemDetails.h"
#include "parsers/RecordText.h"

#include <QStringList>

namespace {
const char kLineEnd[] = "\r\n";

class VCard
{
public:
    void property(const char *header, const QString &value)
    {
        m_bytes += kLineEnd;
        m_bytes += header;
        m_bytes += contentLineText(value.toUtf8());
    }
    // A text property, written when the field holds something.
    template <int Width>
    void text(const char *header, const char (&field)[Width], FieldEncoding encoding = FieldEncoding::Utf8)
    {
        if (field[0])
            property(header, escapedValue(fieldText(field, encoding)));
    }
    void emptyLine() { m_bytes += kLineEnd; }
    void raw(const QByteArray &bytes) { m_bytes += bytes; }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QString joinedComponents(const QStringList &components)
{
    QStringList escaped;
    for (const QString &component : components)
        escaped.append(escapedValue(component));
    return escaped.join(QLatin1Char(';'));
}

QString formattedName(const ContactInformation &contact)
{
    QStringList names;
    if (contact.FirstName[0])
        names.append(utf8Field(contact.FirstName));
    if (contact.LastName[0])
        names.append(utf8Field(contact.LastName));
    return names.join(QLatin1Char(' '));
}

// The five name components in their places: family, given, additional, prefix, suffix.
QString nameComponents(const ContactInformation &contact)
{
    return joinedComponents({utf8Field(contact.LastName), utf8Field(contact.FirstName),
                             detailsOf(&contact).middleName, utf8Field(contact.Title), utf8Field(contact.NameSuffix)});
}

struct Address {
    QString street, city, state, zip, country;
    bool isEmpty() const
    {
        return street.isEmpty() && city.isEmpty() && state.isEmpty() && zip.isEmpty() && country.isEmpty();
    }
};

// The header ends with the empty post-office box and extended address; the five
// parts follow in their places, empty or not.
void address(VCard &card, const char *header, const Address &parts)
{
    if (parts.isEmpty())
        return;
    card.property(header, joinedComponents({parts.street, parts.city, parts.state, parts.zip, parts.country}));
}

QString categories(const char *stored)
{
    QStringList names;
    for (const QString &name : ownedText(stored, FieldEncoding::Utf8).split(QLatin1Char(',')))
        names.append(escapedValue(name));
    return names.join(QLatin1Char(','));
}

// The picture's base64 text as found in the file, up to its first zero byte;
// white space is no part of base64, and a line break would end the property.
QByteArray pictureText(const ContactInformation &contact, const TextReader &olm)
{
    QByteArray picture = olm.read(contact.PictureOffset, contact.PictureSize);
    const int zero = picture.indexOf('\0');
    if (zero >= 0)
        picture.truncate(zero);
    return picture.simplified().replace(' ', QByteArray());
}
} // namespace

QByteArray vCardFor(const ContactInformation &contact, const TextReader &olm)
{
    VCard card;
    card.raw("begin:vcard\r\nversion:3.0\r\nprodid:Microsoft-Entourage/11.1.0.071130\r\n");
    card.raw("UID:" + uidOf(contact.Identifier) + kLineEnd);
    card.raw("fn;charset=utf-8:" + escapedValue(formattedName(contact)).toUtf8() + kLineEnd);
    card.raw("n;charset=utf-8:" + nameComponents(contact).toUtf8());

    card.text("nickname;charset=utf-8:", contact.NickName);
    card.text("title;charset=utf-8:", contact.JobTitle);
    if (contact.Office[0]) {
        card.text("office;charset=utf-8:", contact.Office);
        card.emptyLine();
    }
    if (contact.Company[0])
        card.property("org;charset=utf-8:",
                      joinedComponents({utf8Field(contact.Company), utf8Field(contact.Department)}));
    if (contact.NotesSize != 0)
        card.property("note;charset=utf-8:",
                      escapedValue(decodeXmlText(fileStretchText(olm, contact.NotesOffset, contact.NotesSize))));
    if (contact.Categories)
        card.property("categories;charset=utf-8:", categories(contact.Categories));
    card.text("url;charset=utf-8;type=home:", contact.HomeWebPage, FieldEncoding::Latin1);
    card.text("url;charset=utf-8;type=work:", contact.WorkWebPage);
    card.text("bday:", contact.Birthday, FieldEncoding::Latin1);

    // The parser indents the work street's later lines, as a folded line would be;
    // escaped line breaks need no indent.
    QString workStreet = utf8Field(contact.WorkStreet);
    workStreet.replace(QLatin1String("\n "), QLatin1String("\n"));
    address(card, "adr;charset=utf-8;type=work;type=pref:;;",
            {workStreet, utf8Field(contact.WorkCity), utf8Field(contact.WorkState), utf8Field(contact.WorkZip),
             utf8Field(contact.WorkCountry)});
    address(card, "adr;charset=utf-8;type=home;type=pref:;;",
            {utf8Field(contact.HomeStreet), utf8Field(contact.HomeCity), utf8Field(contact.HomeState),
             utf8Field(contact.HomeZip), utf8Field(contact.HomeCountry)});
    if (contact.HomeCountry[0])
        card.emptyLine();

    card.text("tel;charset=utf-8;type=home:", contact.HomePhone1);
    card.text("tel;charset=utf-8;type=home:", contact.HomePhone2);
    card.text("tel;charset=utf-8;type=home;type=fax:", contact.HomeFax);
    card.text("tel;charset=utf-8;type=work:", contact.WorkPhone1);
    card.text("tel;charset=utf-8;type=work:", contact.WorkPhone2);
    card.text("tel;charset=utf-8;type=work;type=fax:", contact.WorkFax);
    card.text("tel;charset=utf-8;type=pager:", contact.Pager);
    card.text("tel;charset=utf-8;type=cell:", contact.MobilePhone);
    card.text("tel;charset=utf-8;type=main:", contact.MainPhone);
    card.text("tel;charset=utf-8;type=assistant:", contact.AssistantPhone);
    for (const auto &phone : contact.CustomPhone)
        card.text("tel;charset=utf-8;type=custom:", phone);

    for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot)
        card.text(slot == 0 ? "email;charset=utf-8;type=internet;type=pref;type=work:"
                            : "email;charset=utf-8;type=internet;type=work:",
                  contact.EmailAddresses[slot]);
    for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot)
        card.text(slot == 0 ? "X-ms-imaddress;charset=utf-8;type=pref:" : "X-ms-imaddress;charset=utf-8:",
                  contact.IMAddresses[slot], FieldEncoding::Latin1);

    static const char *const customHeaders[ContactWidth::CustomFieldSlots] = {
        "X-custom;charset=utf-8;type=1:", "X-custom;charset=utf-8;type=2:", "X-custom;charset=utf-8;type=3:",
        "X-custom;charset=utf-8;type=4:", "X-custom;charset=utf-8;type=5:", "X-custom;charset=utf-8;type=6:",
        "X-custom;charset=utf-8;type=7:", "X-custom;charset=utf-8;type=8:"};
    for (int slot = 0; slot < ContactWidth::CustomFieldSlots; ++slot) {
        card.text(customHeaders[slot], contact.CustomFields[slot]);
        if (slot == 3 && contact.CustomFields[slot][0])
            card.emptyLine();
    }
    card.text("X-customdate;type=1:", contact.CustomDate1, FieldEncoding::Latin1);
    card.text("X-customdate;type=2:", contact.CustomDate2, FieldEncoding::Latin1);
    card.text("X-ms-anniversary:", contact.Anniversary, FieldEncoding::Latin1);
    card.text("X-ms-spouse;charset=utf-8:", contact.Spouse);
    card.text("X-interests;charset=utf-8:", contact.Interests, FieldEncoding::Latin1);
    for (const auto &child : contact.Children)
        card.text("X-child;charset=utf-8:", child);
    if (contact.PictureSize != 0) {
        card.property("photo;ENCODING=b;type=jpeg:", QString());
        card.raw(kLineEnd + QByteArray(" ") + pictureText(contact, olm));
        card.emptyLine();
    }
    card.raw("\r\nend:vcard\r\n");
    return card.bytes();
}
