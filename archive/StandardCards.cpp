// Contacts as vCard 3.0.
#include "archive/ContentLines.h"
#include "archive/StandardFormat.h"
#include "archive/StandardText.h"
#include "parsers/RecordText.h"

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
    QByteArray m_bytes;
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

void address(Card &card, const char *type, const QString &streetText, const QString &city, const QString &state,
             const QString &zip, const QString &country)
{
    const QStringList parts{QString(), QString(), streetText, city, state, zip, country};
    if (parts.join(QString()).trimmed().isEmpty())
        return;
    card.line(QByteArray("ADR;TYPE=") + type, joinedComponents(parts));
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

QString formattedName(const ContactInformation &contact, const ContactDetails &details)
{
    const QString display = utf8Field(contact.DisplayName).trimmed();
    if (!display.isEmpty())
        return display;
    QStringList parts;
    for (const QString &part : {utf8Field(contact.FirstName), details.middleName, utf8Field(contact.LastName)})
        if (!part.trimmed().isEmpty())
            parts.append(part.trimmed());
    if (!parts.isEmpty())
        return parts.join(QLatin1Char(' '));
    const QString company = utf8Field(contact.Company).trimmed();
    if (!company.isEmpty())
        return company;
    // A card must carry a name; an address or the identifier is better than nothing.
    const QString email = utf8Field(contact.EmailAddresses[0]).trimmed();
    return email.isEmpty() ? latin1Field(contact.Identifier) : email;
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
    Card card;
    card.m_bytes = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    card.line("PRODID", QStringLiteral("-//Mendora//Standard export//EN"));
    card.line("UID", QString::fromLatin1(uidOf(contact.Identifier)));
    card.line("FN", escapedValue(formattedName(contact, details)));
    card.line("N", joinedComponents({utf8Field(contact.LastName), utf8Field(contact.FirstName), details.middleName,
                                     utf8Field(contact.Title), utf8Field(contact.NameSuffix)}));
    card.text("NICKNAME", utf8Field(contact.NickName));
    const QString company = utf8Field(contact.Company), department = utf8Field(contact.Department);
    if (!company.trimmed().isEmpty() || !department.trimmed().isEmpty())
        card.line("ORG", joinedComponents({company, department}));
    card.text("TITLE", utf8Field(contact.JobTitle));
    card.text("X-OFFICE", utf8Field(contact.Office));

    for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot) {
        const QString email = utf8Field(contact.EmailAddresses[slot]).trimmed();
        if (email.isEmpty())
            continue;
        QByteArray type = emailType(details.emailKinds.value(slot, EmailKind::Unknown));
        if (slot == 0)
            type += ",PREF";
        card.line("EMAIL;TYPE=" + type, escapedValue(email));
    }
    for (int slot = 0; slot < ContactWidth::AddressSlots; ++slot)
        card.text("X-IM", latin1Field(contact.IMAddresses[slot]));

    const struct {
        const char *type;
        QString number;
    } phones[] = {
        {"HOME,VOICE", utf8Field(contact.HomePhone1)},  {"HOME,VOICE", utf8Field(contact.HomePhone2)},
        {"HOME,FAX", utf8Field(contact.HomeFax)},       {"WORK,VOICE", utf8Field(contact.WorkPhone1)},
        {"WORK,VOICE", utf8Field(contact.WorkPhone2)},  {"WORK,FAX", utf8Field(contact.WorkFax)},
        {"PAGER", utf8Field(contact.Pager)},            {"CELL,VOICE", utf8Field(contact.MobilePhone)},
        {"MAIN,VOICE", utf8Field(contact.MainPhone)},   {"X-ASSISTANT,VOICE", utf8Field(contact.AssistantPhone)},
    };
    for (const auto &phone : phones)
        card.text(QByteArray("TEL;TYPE=") + phone.type, phone.number);
    for (const auto &custom : contact.CustomPhone)
        card.text("TEL;TYPE=VOICE", utf8Field(custom));

    address(card, "WORK", street(utf8Field(contact.WorkStreet)), utf8Field(contact.WorkCity),
            utf8Field(contact.WorkState), utf8Field(contact.WorkZip), utf8Field(contact.WorkCountry));
    address(card, "HOME", utf8Field(contact.HomeStreet), utf8Field(contact.HomeCity), utf8Field(contact.HomeState),
            utf8Field(contact.HomeZip), utf8Field(contact.HomeCountry));
    card.text("URL;TYPE=WORK", utf8Field(contact.WorkWebPage));
    card.text("URL;TYPE=HOME", latin1Field(contact.HomeWebPage));

    const QString birthday = latin1Field(contact.Birthday);
    if (!birthday.isEmpty())
        card.line("BDAY;VALUE=DATE", birthday);
    const QString anniversary = latin1Field(contact.Anniversary);
    if (!anniversary.isEmpty())
        card.line("X-ANNIVERSARY", anniversary);
    card.text("X-SPOUSE", utf8Field(contact.Spouse));
    for (const auto &child : contact.Children)
        card.text("X-CHILD", utf8Field(child));
    card.text("X-INTERESTS", latin1Field(contact.Interests));
    for (const auto &field : contact.CustomFields)
        card.text("X-CUSTOM", utf8Field(field));

    const QStringList categories = ownedText(contact.Categories, FieldEncoding::Utf8).split(QLatin1Char(','),
                                                                                           Qt::SkipEmptyParts);
    if (!categories.isEmpty()) {
        QStringList escaped;
        for (const QString &category : categories)
            escaped.append(escapedValue(category));
        card.line("CATEGORIES", escaped.join(QLatin1Char(',')));
    }
    if (contact.NotesSize > 0)
        // The plain note: text that may hold "<" of its own, not markup.
        card.text("NOTE", decodeXmlText(storedText(olm, contact.NotesOffset, contact.NotesSize)));
    if (contact.PictureSize > 0) {
        const QByteArray picture = base64Characters(olm.read(contact.PictureOffset, contact.PictureSize));
        if (!picture.isEmpty())
            card.m_bytes += foldedContentLine(QByteArray("PHOTO;ENCODING=b;TYPE=") + pictureType(picture) + ':'
                                              + picture);
    }
    card.m_bytes += "END:VCARD\r\n";
    return card.m_bytes;
}
