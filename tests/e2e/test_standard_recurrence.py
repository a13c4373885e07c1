"""Every repeating event and task of a generated export, saved as Calendar.ics by
mendora-cli on machines in two zones, expanded by two independent readers
(KCalendarCore, and dateutil with the file's own VTIMEZONEs) and compared with the
generator's own occurrences in each item's local time: the same local time of day on
both sides of every daylight-saving change. Two saves give the same bytes."""
import datetime
import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import GeneratedFiles, cli_path, make_olm  # noqa: E402

MACHINE_ZONES = ["America/Denver", "Pacific/Auckland"]


class StandardRecurrence(GeneratedFiles):

    def setUp(self):
        super().setUp()
        self.olm, self.manifest = self.generate("realistic.olm", "--realistic", "--seed", 11, "--mails", 3,
                                                "--contacts", 2, "--events", 40, "--tasks", 40, "--notes", 3)
        self.saved = {}
        for zone in MACHINE_ZONES:
            for attempt in (1, 2):
                destination = self.tmp / ("%s %d" % (zone.replace("/", "-"), attempt))
                destination.mkdir()
                result = standardcheck.save_standard(self, cli_path(), self.olm, destination, zone=zone)
                self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                self.saved[(zone, attempt)] = destination / "realistic (rescued)" / "Calendar.ics"

    def repeating(self):
        """(kind, manifest record, UID) of every repeating item."""
        import icalendar
        calendar = icalendar.Calendar.from_ical(self.saved[(MACHINE_ZONES[0], 1)].read_bytes())
        todos = {(str(c["SUMMARY"]), c["DUE"].to_ical().decode()): str(c["UID"]) for c in calendar.walk("VTODO")}
        items = [("event", e, e["uuid"]) for e in self.manifest["calendars"] if e["recurrence"]]
        items += [("todo", t, todos[(t["name"], t["dueDay"])]) for t in self.manifest["tasks"] if t["recurrence"]]
        return items

    def test_two_saves_in_two_zones_give_the_same_calendar(self):
        first = self.saved[(MACHINE_ZONES[0], 1)].read_bytes()
        for key, path in self.saved.items():
            with self.subTest(save=key):
                self.assertEqual(path.read_bytes(), first)

    def test_every_pattern_is_there_and_crosses_daylight_saving(self):
        # Not vacuous: every kind of pattern, and occurrences on both sides of a change.
        patterns = {item["recurrence"]["type"] for kind, item, _ in self.repeating() if kind == "event"}
        self.assertEqual(patterns, {"daily", "weekly", "monthly", "monthNth", "yearly", "yearNth"})
        self.assertTrue(any(not item["allDay"] for kind, item, _ in self.repeating() if kind == "event"))
        crossing = 0
        for kind, item, _ in self.repeating():
            if kind == "event" and not item["allDay"] and item["zoneIana"]:
                offsets = {make_olm.local_to_utc(datetime.datetime.strptime(o, "%Y%m%dT%H%M%S"), item["zoneIana"])
                           - datetime.datetime.strptime(o, "%Y%m%dT%H%M%S") for o in item["occurrences"]}
                crossing += len(offsets) > 1
        self.assertGreaterEqual(crossing, 5)
        # Tasks too: their days' local midnights lie at other distances from UTC before and after a change.
        crossing = 0
        for kind, item, _ in self.repeating():
            if kind == "todo":
                midnights = [datetime.datetime.strptime(o, "%Y%m%d") for o in item["occurrences"]]
                crossing += len({make_olm.local_to_utc(m, item["zoneIana"]) - m for m in midnights}) > 1
        self.assertGreaterEqual(crossing, 2)

    def test_kcalendarcore_expands_every_item_to_the_generators_occurrences(self):
        reader = os.environ.get("MENDORA_KCALENDAR_READER")
        if not reader:
            self.skipTest("KCalendarCore (libkf5calendarcore-dev) was not found when building")
        for zone in MACHINE_ZONES:
            result = subprocess.run([reader, str(self.saved[(zone, 1)]), str(make_olm.OCCURRENCE_WINDOW.days)],
                                    capture_output=True, timeout=120, env=dict(os.environ, TZ=zone))
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            expanded = json.loads(result.stdout)
            items = self.repeating()
            self.assertEqual(sorted(expanded), sorted(uid for _, _, uid in items))
            for kind, item, uid in items:
                with self.subTest(zone=zone, kind=kind, item=item.get("summary") or item.get("name")):
                    self.assertEqual(expanded[uid]["kind"], kind)
                    if item.get("allDay"):
                        found = [datetime.date.fromisoformat(d) for d in expanded[uid]["occurrences"]]
                    else:
                        found = [datetime.datetime.fromisoformat(t.replace("Z", "+00:00"))
                                 for t in expanded[uid]["occurrences"]]
                    self.assertEqual(standardcheck.expected_local(item, found, item.get("zoneIana")),
                                     item["occurrences"])

    def test_dateutil_expands_every_item_to_the_generators_occurrences(self):
        import icalendar
        for zone in MACHINE_ZONES:
            os.environ["TZ"] = zone
            time.tzset()
            data = self.saved[(zone, 1)].read_bytes()
            zones = standardcheck.calendar_zones(data)
            components = {str(c["UID"]): c for c in icalendar.Calendar.from_ical(data).walk()
                          if c.name in ("VEVENT", "VTODO") and "RRULE" in c}
            items = self.repeating()
            self.assertEqual(sorted(components), sorted(uid for _, _, uid in items))
            for kind, item, uid in items:
                with self.subTest(zone=zone, kind=kind, item=item.get("summary") or item.get("name")):
                    found = standardcheck.dateutil_occurrences(components[uid], zones,
                                                               make_olm.OCCURRENCE_WINDOW.days)
                    self.assertEqual(standardcheck.expected_local(item, found, item.get("zoneIana")),
                                     item["occurrences"])

    def test_a_pattern_that_cannot_be_read_is_in_the_account_of_losses(self):
        # The intact file loses nothing; a pattern word no reader knows is listed, by its event.
        data = self.olm.read_bytes()
        broken = self.tmp / "broken.olm"
        broken.write_bytes(data.replace(b"OPFRecurrencePatternWeekly<", b"OPFRecurrencePatternWeekXX<", 1))
        summary = self.manifest["calendars"][[e["recurrence"] and e["recurrence"]["type"] for e in
                                              self.manifest["calendars"]].index("weekly")]["summary"]
        for path, expected in ((self.olm, []), (broken, [("event", summary, "OPFCalendarEventCopyRecurrence")])):
            destination = self.tmp / ("losses of " + path.stem)
            destination.mkdir()
            result = standardcheck.save_standard(self, cli_path(), path, destination, "--json")
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            losses = json.loads(result.stdout)["losses"]
            self.assertEqual([(l["kind"], l["item"], l["field"]) for l in losses
                              if l["reason"] == "value-unreadable"], expected)


if __name__ == "__main__":
    unittest.main()
