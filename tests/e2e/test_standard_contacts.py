"""Standard files of a generated export whose contacts carry every field an export
holds: Contacts.vcf read back by KDE's KContacts (a small program built beside the
tests where Debian's libkf5contacts-dev is installed) and by vobject, the mails'
Date lines read by Python's email, and two saves of one file compared byte for byte."""
import datetime
import json
import os
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import GeneratedFiles, cli_path  # noqa: E402

# KContacts' own type bits.
PHONE_HOME, PHONE_WORK, PHONE_VOICE, PHONE_FAX, PHONE_CELL, PHONE_PAGER = 1, 2, 16, 32, 64, 8192
ADDRESS_POSTAL, ADDRESS_HOME, ADDRESS_WORK = 4, 16, 32
URL_HOME, URL_WORK = 1, 2
# The kinds KContacts tells apart by its type bits; the others read as plain voice or fax numbers.
KCONTACTS_PHONE_KINDS = {"home": PHONE_HOME | PHONE_VOICE, "home2": PHONE_HOME | PHONE_VOICE,
                         "homeFax": PHONE_HOME | PHONE_FAX, "work": PHONE_WORK | PHONE_VOICE,
                         "work2": PHONE_WORK | PHONE_VOICE, "workFax": PHONE_WORK | PHONE_FAX,
                         "mobile": PHONE_CELL | PHONE_VOICE, "pager": PHONE_PAGER, "otherFax": PHONE_FAX}


class StandardContactsAndMail(GeneratedFiles):

    def setUp(self):
        super().setUp()
        self.olm, self.manifest = self.generate("full.olm", "--seed", 5, "--mails", 21, "--contacts", 8,
                                                "--events", 2, "--tasks", 2, "--notes", 2)

    def save(self, name):
        destination = self.tmp / name
        destination.mkdir()
        result = standardcheck.save_standard(self, cli_path(), self.olm, destination)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return destination / "full (rescued)"

    def test_two_saves_are_the_same_bytes(self):
        first, second = self.save("first"), self.save("second")
        names = sorted(str(p.relative_to(first)) for p in first.rglob("*.mbox")) + ["Contacts.vcf"]
        self.assertEqual(sorted(str(p.relative_to(second)) for p in second.rglob("*.mbox")) + ["Contacts.vcf"],
                         names)
        self.assertGreater(len(names), 3)
        for name in names:
            with self.subTest(name):
                self.assertEqual((first / name).read_bytes(), (second / name).read_bytes())

    def test_vobject_reads_every_contact_field(self):
        standardcheck.check_contacts(self, self.save("out") / "Contacts.vcf", self.manifest)

    def test_kcontacts_reads_every_contact_field(self):
        reader = os.environ.get("MENDORA_KCONTACTS_DUMP")
        if not reader or not os.path.exists(reader):
            self.skipTest("kcontacts_dump was not built (libkf5contacts-dev missing)")
        result = subprocess.run([reader, str(self.save("out") / "Contacts.vcf")], capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        read = json.loads(result.stdout.decode("utf-8"))
        groups = {group["name"] for group in self.manifest["groups"]}
        self.assertEqual({card["formattedName"] for card in read if card["formattedName"] in groups}, groups)
        cards = {card["emails"][0]: card for card in read if card["formattedName"] not in groups}
        contacts = standardcheck.survivors(self.manifest, "contacts")
        self.assertEqual(sorted(cards), sorted(c["emails"][0] for c in contacts))
        for contact in contacts:
            with self.subTest(contact=contact["displayName"]):
                self.check_card(cards[contact["emails"][0]], contact)

    def check_card(self, card, contact):
        # KContacts leaves the "\;" of a text value as it stands (vCard 3.0 escapes every ";",
        # vobject reads the values whole); the comparison reads it as ";".
        card = {key: value.replace("\\;", ";") if isinstance(value, str) else value for key, value in card.items()}
        self.assertEqual([card[k] for k in ("familyName", "givenName", "additionalName", "prefix", "suffix")],
                         [contact["lastName"], contact["firstName"], contact["middleName"], contact["namePrefix"],
                          contact["nameSuffix"]])
        self.assertEqual(card["formattedName"], contact["displayName"])
        self.assertEqual((card["nickName"], card["organization"], card["department"], card["title"], card["office"]),
                         (contact["nickName"], contact["company"], contact["department"], contact["jobTitle"],
                          contact["office"]))
        self.assertEqual(card["emails"], contact["emails"])
        self.assertEqual(card["birthday"], contact["birthday"])
        self.assertEqual(card["anniversary"], contact["anniversary"])
        self.assertEqual(card["spousesName"], contact["spouse"])
        self.assertEqual(sorted(card["categories"]), sorted(contact["categories"]))
        self.assertEqual(card["note"], contact["notes"])
        # Every number, each as often as the contact has it (three kinds may share one).
        self.assertEqual(sorted(p["number"] for p in card["phones"]), sorted(contact["phones"].values()))
        for kind, number in contact["phones"].items():
            if kind in KCONTACTS_PHONE_KINDS:
                self.assertIn({"number": number, "type": KCONTACTS_PHONE_KINDS[kind]}, card["phones"], kind)
        addresses = {}
        for address in card["addresses"]:
            kind = {ADDRESS_HOME: "home", ADDRESS_WORK: "work", ADDRESS_POSTAL: "other"}[address["type"]]
            parts = {"street": address["street"], "city": address["locality"], "state": address["region"],
                     "zip": address["postalCode"], "country": address["country"]}
            addresses[kind] = {key: value for key, value in parts.items() if value}
        self.assertEqual(addresses, contact["addresses"])
        urls = {{URL_HOME: "home", URL_WORK: "work"}[url["type"]]: url["url"] for url in card["urls"]}
        self.assertEqual(urls, contact["webPages"])
        customs = dict(custom.replace("\\;", ";").split(":", 1) for custom in card["customs"])
        for number, value in contact["customData"].items():
            self.assertEqual(customs["CUSTOM%s-CUSTOM%s" % (number, number)], value)
        if contact["interests"]:
            self.assertEqual(customs["INTERESTS-INTERESTS"], contact["interests"])

    def test_mail_dates_and_no_defects(self):
        """Every mail is dated when it was sent (received mails and drafts without a sent
        time when they arrived); Python's email finds no defect in any of them."""
        boxes = standardcheck.check_mailboxes(self, self.save("out") / "Mail", self.manifest,
                                              Path(self.olm).read_bytes())
        dates = {}
        for messages in boxes.values():
            for data in messages:
                message = standardcheck.parse_message(data)
                dates[standardcheck.bare_id(message["Message-ID"])] = message["Date"].datetime
        kinds = set()
        for mail in standardcheck.survivors(self.manifest, "mails"):
            folder = mail["generatedFolder"].split("/", 1)[1]
            kind = "sent" if mail["sent"] else "received only"
            kinds.add((kind, "Inbox" in folder))
            with self.subTest(mail=mail["subject"], kind=kind):
                self.assertEqual(dates[standardcheck.bare_id(mail["messageId"])],
                                 standardcheck.iso_utc(mail["sent"] or mail["received"]))
        self.assertEqual(kinds, {("sent", True), ("sent", False), ("received only", True), ("received only", False)})


if __name__ == "__main__":
    unittest.main()
