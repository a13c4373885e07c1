"""mendora-cli save, the bundle's contacts, events, tasks and notes read back by
vobject (with validation) and icalendar: every item of the samples, intact and
damaged, parses and carries its fields; events at the right UTC moment whatever
zone the saving machine is in; values with commas, semicolons, backslashes and
line breaks whole; person names as written."""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

import bundleitems  # noqa: E402
from olmtest import CLI_TIMEOUT, SAMPLES, GeneratedFiles, cli_path  # noqa: E402

# A zone far from UTC and without daylight saving: event times must not move with it.
SAVING_ZONE = "Asia/Kolkata"
# The bundle's priorities on the iCalendar scale.
PRIORITIES = {"2": 3, "3": 5, "4": 7}


def zone_name(event):
    """TZID of an event: the name after "(UTC±hh:mm) ", or UTC for the newer exports' zone elements."""
    if event["zoneDatabase"]:
        return "UTC"
    return event["zone"].split(") ", 1)[1].replace("&", "&amp;")


def by_key(testcase, records, key):
    keyed = {}
    for record in records:
        testcase.assertNotIn(key(record), keyed, "two items alike")
        keyed[key(record)] = record
    return keyed


class SaveItemsRoundTrip(GeneratedFiles):

    def save(self, olm):
        destination = self.tmp / Path(olm).stem
        destination.mkdir()
        environment = dict(os.environ, TZ=SAVING_ZONE, LC_ALL="C.UTF-8", LANG="C.UTF-8")
        result = subprocess.run([cli_path(), "save", str(olm), str(destination)], capture_output=True,
                                timeout=CLI_TIMEOUT, env=environment, stdin=subprocess.DEVNULL)
        output = result.stdout.decode("utf-8")
        self.assertEqual(result.returncode, 0, output + result.stderr.decode("utf-8", "replace"))
        bundle = re.search(r"^Bundle: (.*)$", output, re.M)
        self.assertTrue(bundle, output)
        return Path(bundle.group(1))

    def check_contacts(self, cards, contacts):
        by_email = by_key(self, cards, lambda card: card["emails"][0])
        self.assertEqual(sorted(by_email), sorted(c["emails"][0] for c in contacts))
        for contact in contacts:
            with self.subTest(contact=contact["displayName"]):
                card = by_email[contact["emails"][0]]
                self.assertEqual(card["fn"], "%s %s" % (contact["firstName"], contact["lastName"]))
                self.assertEqual(card["n"], {"family": contact["lastName"], "given": contact["firstName"],
                                             "additional": contact.get("middleName", ""),
                                             "prefix": contact.get("namePrefix", ""),
                                             "suffix": contact.get("nameSuffix", "")})
                self.assertEqual(card["org"], [contact["company"], contact["department"]])
                self.assertEqual(card["note"], contact["notes"])
                self.assertEqual(card["emails"], contact["emails"])
                self.assertEqual(card["bday"], contact["birthday"])
                self.assertEqual(sorted(card["categories"] or []), sorted(contact["categories"]))
                self.assertEqual(card["addresses"]["work"]["street"], contact["workStreet"])
                self.assertEqual(card["addresses"]["work"]["city"], "Springfield")
                self.assertEqual(card["addresses"]["work"]["code"], "12345")
                self.assertEqual(card["addresses"]["home"]["street"], contact["homeStreet"])
                self.assertEqual(card["spouse"], contact["spouse"])
                self.assertEqual(card["children"], contact["children"])
                if contact["pictureSize"]:
                    self.assertTrue(card["photo"].startswith(b"\xff\xd8\xff\xe0"))
                else:
                    self.assertIsNone(card["photo"])

    def check_events(self, read, events):
        by_start = by_key(self, read, lambda event: (event["summary"], event["dtstart"]))
        self.assertEqual(sorted(by_start), sorted((e["summary"], e["start"] + "Z") for e in events))
        for event in events:
            with self.subTest(event=event["summary"], start=event["start"]):
                found = by_start[(event["summary"], event["start"] + "Z")]
                self.assertEqual(found["dtend"], event["end"] + "Z")
                self.assertEqual(found["dtstamp"], event["modified"] + "Z")
                self.assertEqual(found["location"], event["location"])
                self.assertEqual(found["description"], event["description"])
                self.assertEqual(found["organizer"].lower(), "mailto:" + event["organizer"])
                self.assertEqual(found["tzid"], zone_name(event))
                self.assertEqual(found["trigger"], -event["reminderSeconds"])
                self.assertEqual(found["attendees"],
                                 [{"address": "MAILTO:" + address, "cn": name}
                                  for address, name in zip(event["attendees"], event["attendeeNames"])])

    def check_tasks(self, read, tasks):
        # A task's start and due are the days of its own zone, whatever the machine's.
        def day(compact):
            return "%s-%s-%s" % (compact[:4], compact[4:6], compact[6:])
        by_due = by_key(self, read, lambda task: (task["summary"], task["due"]))
        self.assertEqual(sorted(by_due), sorted((t["name"], day(t["dueDay"])) for t in tasks))
        for task in tasks:
            with self.subTest(task=task["name"], due=task["due"]):
                found = by_due[(task["name"], day(task["dueDay"]))]
                # A repeating task may have only a due date: no start, and no stamp made from it.
                self.assertEqual(found["dtstart"], day(task["startDay"]) if task["startDay"] else None)
                self.assertEqual(found["description"], task["note"])
                self.assertEqual(found["priority"], PRIORITIES[task["priority"]])
                self.assertEqual(found["trigger"], task["reminder"] + "Z")
                self.assertEqual(found["dtstamp"], task["modified"] + "Z")

    def check_notes(self, read, notes):
        by_title = by_key(self, read, lambda note: (note["summary"], note["dtstamp"]))
        self.assertEqual(sorted(by_title), sorted((n["title"], n["modified"] + "Z") for n in notes))
        for note in notes:
            with self.subTest(note=note["title"]):
                self.assertEqual(by_title[(note["title"], note["modified"] + "Z")]["description"], note["text"])

    def test_samples_round_trip(self):
        for sample in ("intact", "damaged"):
            with self.subTest(sample):
                manifest = json.loads((SAMPLES / (sample + ".json")).read_text(encoding="utf-8"))
                items = bundleitems.read_bundle_items(self.save(SAMPLES / (sample + ".olm")))
                self.assertEqual(items["refused"], [])
                survivors = {kind: standardcheck.survivors(manifest, kind)
                             for kind in ("contacts", "calendars", "tasks", "notes")}
                self.assertTrue(all(survivors.values()), "the sample holds every kind")
                self.check_contacts(items["contacts"], survivors["contacts"])
                self.check_events(items["events"], survivors["calendars"])
                self.check_tasks(items["tasks"], survivors["tasks"])
                self.check_notes(items["notes"], survivors["notes"])


if __name__ == "__main__":
    import unittest
    unittest.main()
