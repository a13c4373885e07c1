"""Standard files saved by mendora-cli, read back by ordinary readers: every mail,
contact, event, task and note of the generated samples, intact and damaged, with
nothing lost and no defect."""
import os
import re
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import SAMPLES, GeneratedFiles, calendar_export, cli_path, make_olm  # noqa: E402
import make_hostile_olm  # noqa: E402


class SaveStandard(GeneratedFiles):

    def rescue(self, olm, manifest, *options):
        destination = self.tmp / "out (1)"
        destination.mkdir(exist_ok=True)
        result = standardcheck.save_standard(self, cli_path(), olm, destination, *options)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        rescued = destination / (Path(olm).stem + " (rescued)")
        self.assertIn(str(rescued), result.stdout.decode())
        olm_bytes = Path(olm).read_bytes()
        with self.subTest("mail"):
            standardcheck.check_mailboxes(self, rescued / "Mail", manifest, olm_bytes)
        with self.subTest("contacts"):
            standardcheck.check_contacts(self, rescued / "Contacts.vcf", manifest)
        with self.subTest("calendar"):
            standardcheck.check_calendar(self, rescued / "Calendar.ics", manifest)
        return rescued, destination

    def test_intact_sample(self):
        manifest = self.load(SAMPLES / "intact.json")
        self.rescue(SAMPLES / "intact.olm", manifest)

    def test_damaged_sample(self):
        manifest = self.load(SAMPLES / "damaged.json")
        self.rescue(SAMPLES / "damaged.olm", manifest)

    def test_larger_file_with_every_pattern(self):
        path, manifest = self.generate("many.olm", "--seed", 7, "--mails", 60, "--contacts", 30, "--events", 20,
                                       "--tasks", 12, "--notes", 6, "--garbage-between")
        self.rescue(path, manifest)

    def test_two_saves_of_one_file_are_the_same_bytes(self):
        # Nothing in the standard files may depend on the run: no random boundary or order
        # of a hash table. Contacts and mails without an identifier of their own still get
        # a fresh one from every scan: in those files only such identifiers may differ.
        fresh_identifier = re.compile(rb"[0-9A-Fa-f]{8}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{12}")
        realistic, _ = self.generate("realistic.olm", "--realistic", "--mails", 40, "--contacts", 8, "--events", 6,
                                     "--tasks", 3, "--notes", 2)
        damaged, _ = self.generate("damaged.olm", "--seed", 3, "--mails", 30, "--contacts", 6, "--events", 4,
                                   "--tasks", 3, "--notes", 2, "--wipe-headers", "0.3", "--garbage-inside", "0.2",
                                   "--drop-end-tags", "0.2", "--truncate", "-3000")
        for olm in (realistic, damaged):
            saved = []
            for run in ("first", "second"):
                destination = self.tmp / (olm.stem + " " + run)
                destination.mkdir()
                result = standardcheck.save_standard(self, cli_path(), olm, destination)
                self.assertIn(result.returncode, (0, 1), result.stderr.decode(errors="replace"))
                rescued = destination / (olm.stem + " (rescued)")
                saved.append({path.relative_to(rescued): path.read_bytes() for path in rescued.rglob("*")
                              if path.is_file()})
            with self.subTest(olm.name):
                self.assertTrue(any(name.suffix == ".mbox" for name in saved[0]), sorted(saved[0]))
                self.assertEqual(sorted(saved[0]), sorted(saved[1]))
                for name in saved[0]:
                    first, second = saved[0][name], saved[1][name]
                    if name.suffix in (".vcf", ".mbox"):
                        first, second = fresh_identifier.sub(b"-", first), fresh_identifier.sub(b"-", second)
                    self.assertTrue(first == second, "%s differs between two saves" % name)

    def test_never_over_an_existing_output_unless_told(self):
        path, manifest = self.generate("again.olm", "--mails", 3, "--contacts", 2, "--events", 1, "--tasks", 1,
                                       "--notes", 1)
        rescued, destination = self.rescue(path, manifest)
        marker = rescued / "kept.txt"
        marker.write_text("mine")
        result = standardcheck.save_standard(self, cli_path(), path, destination)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("exists already", result.stderr.decode())
        self.assertTrue(marker.exists())
        # Told to replace, the old output goes and the new one is whole, not appended to.
        result = standardcheck.save_standard(self, cli_path(), path, destination, "--replace")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        self.assertFalse(marker.exists())
        standardcheck.check_mailboxes(self, rescued / "Mail", manifest, path.read_bytes())

    def test_full_disk_keeps_whole_items_and_says_so(self):
        destination = self.tmp / "small disk"
        destination.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=96k", "tmpfs", str(destination)],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system here")
        try:
            manifest = self.load(SAMPLES / "intact.json")
            result = standardcheck.save_standard(self, cli_path(), SAMPLES / "intact.olm", destination)
            self.assertEqual(result.returncode, 1, result.stderr.decode(errors="replace"))
            self.assertIn("Not written", result.stderr.decode())
            written = int(re.search(r"Written: (\d+) mails", result.stdout.decode()).group(1))
            boxes = standardcheck.mbox_messages(destination / "intact (rescued)" / "Mail")
            # Every message that is there is whole, and there are as many as were reported.
            self.assertEqual(sum(len(messages) for messages in boxes.values()), written)
            by_id = {standardcheck.bare_id(m["messageId"]): m for m in standardcheck.survivors(manifest, "mails")}
            olm_bytes = (SAMPLES / "intact.olm").read_bytes()
            for messages in boxes.values():
                for data in messages:
                    message = standardcheck.parse_message(data)
                    mail = by_id[standardcheck.bare_id(message["Message-ID"])]
                    standardcheck.check_mail_message(self, message, mail, olm_bytes, manifest)
        finally:
            subprocess.run(["umount", str(destination)], capture_output=True)

    @staticmethod
    def load(path):
        import json
        return json.loads(Path(path).read_text(encoding="utf-8"))


    def test_zones_of_one_name_and_other_rules_keep_their_own_times(self):
        # Two exports' texts name the same zone with other rules: each event must be read
        # by its own rules, so the second cannot point at the first one's VTIMEZONE.
        def zone(offset):
            return ("BEGIN:VCALENDAR\nBEGIN:VTIMEZONE\nTZID:Office\nX-ENTOURAGE-CFTIMEZONE:Custom/Office\n"
                    "BEGIN:STANDARD\nDTSTART:16010101T000000\nTZOFFSETFROM:%s\nTZOFFSETTO:%s\nEND:STANDARD\n"
                    "END:VTIMEZONE\nEND:VCALENDAR\n" % (offset, offset))
        pattern = {"type": "weekly", "interval": 1, "days": ["MO"], "count": 3, "endDate": None,
                   "endDateUtc": None, "startDateUtc": "2018-06-18T00:00:00"}
        events = []
        for number, offset in enumerate(["+0200", "+0500", "+0200"]):
            event = make_hostile_olm.event_xml(
                {"start": "2018-06-18T07:00:00", "end": "2018-06-18T08:00:00", "modified": "2018-06-01T10:00:00",
                 "uuid": "FC8C8E87-C9E8-42F7-AD76-457CCFB55E0%d" % number, "organizer": "org@example.com",
                 "attendees": [], "summary": "offset %s" % offset})
            events.append(event + make_olm.element("OPFCalendarEventGetStartTimeZoneICSData",
                                                   make_olm.text_escape(zone(offset)))
                          + make_olm.element("OPFCalendarEventIsRecurring", "1")
                          + make_olm.element("OPFCalendarEventCopyRecurrence", make_olm.recurrence_xml(pattern)))
        olm = calendar_export(self.tmp / "zones.olm", events)
        destination = self.tmp / "out"
        destination.mkdir()
        result = standardcheck.save_standard(self, cli_path(), olm, destination)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        text = (destination / "zones (rescued)" / "Calendar.ics").read_bytes().decode("utf-8").replace("\r\n ", "")
        offsets = dict(re.findall(r"BEGIN:VTIMEZONE\r\nTZID:([^\r]+)\r\n.*?TZOFFSETTO:([+-]\d{4})", text, re.S))
        self.assertEqual(len(offsets), 2, text)
        for tzid, local in re.findall(r"DTSTART;TZID=([^:]+):\d{8}T(\d\d)", text):
            hours = int(offsets[tzid][:3])
            self.assertEqual(int(local) - hours, 7, (tzid, local, offsets))

    def test_items_sharing_an_identifier_keep_one_each(self):
        # Readers take two components of one UID for one item: the later events of a
        # shared export UUID get identifiers of their own, the same in every save.
        event = {"start": "2018-06-18T16:30:00", "end": "2018-06-18T17:30:00", "modified": "2018-06-01T10:00:00",
                 "uuid": "FC8C8E87-C9E8-42F7-AD76-457CCFB55D01", "organizer": "org@example.com", "attendees": []}
        events = [make_hostile_olm.event_xml(dict(event, summary=name)) for name in ("first", "second", "third")]
        olm = calendar_export(self.tmp / "shared.olm", events)
        saved = []
        for run in ("one", "two"):
            destination = self.tmp / run
            destination.mkdir()
            result = standardcheck.save_standard(self, cli_path(), olm, destination)
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            report = (destination / "shared (rescued)" / "Rescue report.txt").read_text(encoding="utf-8")
            self.assertEqual(report.count("is another item's too; it is written as"), 2, report)
            text = (destination / "shared (rescued)" / "Calendar.ics").read_bytes().decode("utf-8")
            saved.append(re.findall(r"(?m)^UID:(.+?)\r$", text))
        self.assertEqual(len(set(saved[0])), 3, saved[0])
        self.assertEqual(saved[0][0], event["uuid"])
        self.assertEqual(saved[0], saved[1])

if __name__ == "__main__":
    unittest.main()
