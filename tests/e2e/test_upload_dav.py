"""mendora-cli upload --carddav/--caldav against Debian's Radicale on a loopback port:
every contact, event and task arrives as one resource named by its UID and reads back
with vobject as the standard export wrote it."""
import os
import re
import subprocess
import sys
import unittest
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mailservers  # noqa: E402
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

import vobject  # noqa: E402
from olmtest import SAMPLES, GeneratedFiles, calendar_export, cli_path, make_olm  # noqa: E402
import make_hostile_olm  # noqa: E402

ZONE = "America/Denver"
EXIT_NO_CONNECTION = 8
def upload(*arguments, password=mailservers.PASSWORD):
    environment = dict(os.environ, TZ=ZONE, LC_ALL="C.UTF-8", LANG="C.UTF-8", MENDORA_PASSWORD=password)
    return subprocess.run([cli_path(), "upload", *map(str, arguments)], capture_output=True, timeout=600,
                          env=environment, stdin=subprocess.DEVNULL)


def resources(directory):
    """{file name: parsed object} of every item Radicale stores in a collection."""
    found = {}
    for path in sorted(directory.iterdir()):
        if not path.name.startswith("."):
            found[path.name] = vobject.readOne(path.read_text(encoding="utf-8"))
    return found


def components(calendar):
    return [child for child in calendar.getChildren() if child.name in ("VEVENT", "VTODO")]


@unittest.skipUnless(os.access(mailservers.RADICALE, os.X_OK),
                     "Radicale is not installed here (tools/bootstrap.sh installs it); CardDAV and CalDAV "
                     "uploads are not tested")
class UploadToRadicale(GeneratedFiles):

    def test_every_contact_event_and_task_once_as_the_standard_export_writes_it(self):
        for olm in (SAMPLES / "intact.olm", SAMPLES / "damaged.olm"):
            with self.subTest(olm=olm.name):
                destination = self.tmp / olm.stem
                destination.mkdir()
                standardcheck.save_standard(self, cli_path(), olm, destination, zone=ZONE)
                rescued = destination / ("%s (rescued)" % olm.stem)
                cards = list(vobject.readComponents((rescued / "Contacts.vcf").read_text(encoding="utf-8")))
                exported = components(vobject.readOne((rescued / "Calendar.ics").read_text(encoding="utf-8")))
                self.assertTrue(cards and exported)
                with mailservers.Radicale() as server:
                    server.make_address_book("contacts")
                    server.make_calendar("calendar")
                    arguments = [olm, "--no-tls", "--carddav", server.collection_url("contacts"),
                                 "--caldav", server.collection_url("calendar")]
                    result = upload(*arguments)
                    self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                    self.assertIn(b"Uploaded: %d contacts (0 replaced)" % len(cards), result.stdout)
                    self.assertIn(b"Uploaded: %d events and tasks (0 replaced)" % len(exported), result.stdout)
                    stored_cards = resources(server.collection_path("contacts"))
                    stored_items = resources(server.collection_path("calendar"))
                    self.assertEqual(len(stored_cards), len(cards))
                    self.assertEqual(len(stored_items), len(exported))
                    # Every item keeps its UID from scan to scan: a second run replaces, never adds.
                    again = upload(*arguments)
                    self.assertEqual(again.returncode, 0, again.stderr.decode(errors="replace"))
                    self.assertIn(b"Uploaded: %d contacts (%d replaced)" % (len(cards), len(cards)), again.stdout)
                    self.assertEqual(len(resources(server.collection_path("contacts"))), len(cards))
                    self.assertIn(b"Uploaded: %d events and tasks (%d replaced)" % (len(exported), len(exported)),
                                  again.stdout)
                    self.assertEqual(len(resources(server.collection_path("calendar"))), len(exported))
                    for name, card in stored_cards.items():
                        self.assertEqual(name, card.uid.value + ".vcf")
                    self.assertEqual(Counter(card.fn.value for card in stored_cards.values()),
                                     Counter(card.fn.value for card in cards))

                    # The server serves the groups with their members, as the file has them.
                    def groups_of(found):
                        return {card.fn.value: [line.value for line in card.contents.get("x-addressbookserver-member", [])]
                                for card in found if "x-addressbookserver-kind" in card.contents}
                    self.assertEqual(groups_of(stored_cards.values()), groups_of(cards))
                    self.assertTrue(groups_of(cards) or olm.stem == "damaged")
                    stored = [component for calendar in stored_items.values() for component in components(calendar)]
                    for name, calendar in stored_items.items():
                        self.assertEqual([name], [item.uid.value + ".ics" for item in components(calendar)])
                        # Each resource stands alone: every zone it names, it defines.
                        text = (server.collection_path("calendar") / name).read_text(encoding="utf-8")
                        self.assertLessEqual(set(re.findall(r";TZID=([^:;]+)", text)),
                                             set(re.findall(r"(?m)^TZID:(.+?)\r?$", text)), name)
                    self.assertEqual(Counter((item.name, item.summary.value) for item in stored),
                                     Counter((item.name, item.summary.value) for item in exported))

    def test_collection_addresses_are_taken_as_given(self):
        # Percent-escapes in a collection's address are the server's own spelling of it.
        with mailservers.Radicale() as server:
            server.make_address_book("my%20book")
            server.make_calendar("jane%40example.com")
            result = upload(SAMPLES / "intact.olm", "--no-tls", "--carddav", server.collection_url("my%20book"),
                            "--caldav", server.collection_url("jane%40example.com"))
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            contacts = int(re.search(rb"Uploaded: (\d+) contacts", result.stdout).group(1))
            items = int(re.search(rb"Uploaded: (\d+) events and tasks", result.stdout).group(1))
            self.assertGreater(contacts, 0)
            self.assertEqual(len(resources(server.collection_path("my book"))), contacts)
            self.assertEqual(len(resources(server.collection_path("jane@example.com"))), items)
            self.assertEqual(sorted(p.name for p in server.collection_path("").iterdir() if not p.name.startswith(".")),
                             ["jane@example.com", "my book"])

    def test_items_sharing_an_identifier_are_all_kept(self):
        # Two events of one export UUID would replace each other on the server.
        event = {"start": "2018-06-18T16:30:00", "end": "2018-06-18T17:30:00", "modified": "2018-06-01T10:00:00",
                 "uuid": "FC8C8E87-C9E8-42F7-AD76-457CCFB55D01", "organizer": "org@example.com", "attendees": []}
        events = [dict(event, summary="first"), dict(event, summary="second"), dict(event, summary="third")]
        olm = calendar_export(self.tmp / "shared.olm", [make_hostile_olm.event_xml(e) for e in events])
        with mailservers.Radicale() as server:
            server.make_calendar("calendar")
            arguments = [olm, "--no-tls", "--caldav", server.collection_url("calendar")]
            for expected in (b"Uploaded: 3 events and tasks (0 replaced)", b"Uploaded: 3 events and tasks (3 replaced)"):
                result = upload(*arguments)
                self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                self.assertIn(expected, result.stdout)
                self.assertEqual(result.stderr.count(b"is another item's too; it is uploaded as"), 2)
            stored = resources(server.collection_path("calendar"))
        self.assertEqual(sorted(item.summary.value for calendar in stored.values() for item in components(calendar)),
                         ["first", "second", "third"])
        self.assertEqual(len({item.uid.value for calendar in stored.values() for item in components(calendar)}), 3)

    def test_every_zone_an_event_names_travels_with_it(self):
        # A weekly event in a zone the export names by its distance from UTC only: no zone
        # database knows its TZID, so a reader has the rules from the resource or not at all.
        pattern = {"type": "weekly", "interval": 1, "days": ["MO"], "count": 5, "endDate": None,
                   "endDateUtc": None, "startDateUtc": "2018-06-18T07:00:00"}
        event = make_hostile_olm.event_xml(
            {"start": "2018-06-18T15:30:00", "end": "2018-06-18T16:30:00", "modified": "2018-06-01T10:00:00",
             "uuid": "FC8C8E87-C9E8-42F7-AD76-457CCFB55D07", "organizer": "org@example.com", "attendees": [],
             "summary": "weekly"})
        event += (make_olm.element("OPFCalendarEventCopyTimeZone", "(UTC-07:00) Arizona")
                  + make_olm.element("OPFCalendarEventIsRecurring", "1")
                  + make_olm.element("OPFCalendarEventCopyRecurrence", make_olm.recurrence_xml(pattern)))
        olm = calendar_export(self.tmp / "zoned.olm", [event])
        with mailservers.Radicale() as server:
            server.make_calendar("calendar")
            result = upload(olm, "--no-tls", "--caldav", server.collection_url("calendar"))
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            stored = [path.read_text(encoding="utf-8") for path in server.collection_path("calendar").iterdir()
                      if not path.name.startswith(".")]
        self.assertEqual(len(stored), 1)
        named = set(re.findall(r";TZID=([^:;]+)", stored[0]))
        self.assertTrue(named, stored[0])
        self.assertLessEqual(named, set(re.findall(r"(?m)^TZID:(.+?)\r?$", stored[0])), stored[0])

    def test_refusals_say_why(self):
        olm = SAMPLES / "intact.olm"
        with mailservers.Radicale() as server:
            server.make_address_book("contacts")
            cases = [
                ("wrong password", ["--no-tls", "--carddav", server.collection_url("contacts")], "wrong",
                 EXIT_NO_CONNECTION, b"refused the login of rescuer"),
                ("no such collection", ["--no-tls", "--caldav", server.collection_url("missing")],
                 mailservers.PASSWORD, EXIT_NO_CONNECTION, b"is not a collection"),
                ("http without --no-tls", ["--carddav", server.collection_url("contacts")], mailservers.PASSWORD,
                 EXIT_NO_CONNECTION, b"would send the password in the clear"),
            ]
            for name, arguments, password, status, message in cases:
                with self.subTest(name):
                    result = upload(olm, *arguments, password=password)
                    self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
                    self.assertIn(message, result.stderr)
                    self.assertNotIn(password.encode(), result.stdout + result.stderr)
            self.assertEqual(resources(server.collection_path("contacts")), {})


if __name__ == "__main__":
    unittest.main()
