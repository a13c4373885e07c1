// Reads a vCard file with KDE's KContacts and prints every contact as JSON, field by
// field as KContacts understood it, for the end-to-end tests to compare with what the
// generator put into the export.
#include <KContacts/Addressee>
#include <KContacts/VCardConverter>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {
QJsonObject contactObject(const KContacts::Addressee &a)
{
    QJsonArray phones;
    for (const KContacts::PhoneNumber &phone : a.phoneNumbers())
        phones.append(QJsonObject{{"number", phone.number()}, {"type", int(phone.type())}});
    QJsonArray addresses;
    for (const KContacts::Address &address : a.addresses())
        addresses.append(QJsonObject{{"type", int(address.type())},        {"street", address.street()},
                                     {"locality", address.locality()},     {"region", address.region()},
                                     {"postalCode", address.postalCode()}, {"country", address.country()}});
    QJsonArray emails;
    for (const KContacts::Email &email : a.emailList())
        emails.append(email.mail());
    // The first web page is also the contact's main one: each is listed once.
    QJsonArray urls;
    for (const KContacts::ResourceLocatorUrl &url : a.extraUrlList())
        urls.append(QJsonObject{{"url", url.url().toString()}, {"type", int(url.type())}});
    return QJsonObject{
        {"uid", a.uid()},
        {"formattedName", a.formattedName()},
        {"familyName", a.familyName()},
        {"givenName", a.givenName()},
        {"additionalName", a.additionalName()},
        {"prefix", a.prefix()},
        {"suffix", a.suffix()},
        {"nickName", a.nickName()},
        {"organization", a.organization()},
        {"department", a.department()},
        {"title", a.title()},
        {"office", a.office()},
        {"spousesName", a.spousesName()},
        {"birthday", a.birthday().date().toString(Qt::ISODate)},
        {"anniversary", a.anniversary().toString(Qt::ISODate)},
        {"note", a.note()},
        {"categories", QJsonArray::fromStringList(a.categories())},
        {"customs", QJsonArray::fromStringList(a.customs())},
        {"emails", emails},
        {"phones", phones},
        {"addresses", addresses},
        {"urls", urls},
        {"photoBytes", a.photo().rawData().size()},
    };
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: kcontacts_dump FILE.vcf\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QJsonArray contacts;
    for (const KContacts::Addressee &addressee : KContacts::VCardConverter().parseVCards(file.readAll()))
        contacts.append(contactObject(addressee));
    const QByteArray json = QJsonDocument(contacts).toJson(QJsonDocument::Compact);
    fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}
