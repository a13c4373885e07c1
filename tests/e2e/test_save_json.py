"""mendora-cli save --json, read by Python's json: the counts it gives match the files
the save wrote, items it could not write are listed with why, and every loss carries
its reason key."""
import json
import mailbox
import os
import re
import subprocess
import unittest
from pathlib import Path

from olmtest import SAMPLES, GeneratedFiles, run_cli

KINDS = ["mails", "contacts", "calendars", "tasks", "notes"]
LOSS_FIELDS = {"reason", "kind", "item", "folder", "field", "why", "count", "standardFilesKeepIt"}
EXIT_NOT_ALL_WRITTEN = 1


def mbox_messages(mail_root, scratch):
    """Messages in every mbox file below mail_root, read after turning its line ends into LF."""
    total = 0
    copy = scratch / "lf.mbox"
    for path in mail_root.rglob("*.mbox"):
        copy.write_bytes(path.read_bytes().replace(b"\r\n", b"\n").replace(b"\r", b"\n"))
        box = mailbox.mbox(str(copy), create=False)
        total += len(box)
        box.close()
        copy.unlink()
    return total


def bundle_counts(bundle, scratch):
    """Items on disk in an Entourage bundle: messages in its mbox files, one file per other item."""
    def files(directory):
        return sum(1 for p in (bundle / directory).iterdir() if p.is_file()) if (bundle / directory).is_dir() else 0
    return {"mails": mbox_messages(bundle / "Mail", scratch), "contacts": files("Contacts"), "calendars": files("Calendar"),
            "tasks": files("Tasks"), "notes": files("Notes")}


def standard_counts(directory, scratch):
    """Items on disk in the standard files: messages, vCards, and events, to-dos and journal entries."""
    def begins(path, component):
        if not path.exists():
            return 0
        return len(re.findall(rb"(?m)^BEGIN:%s\r?$" % component, path.read_bytes()))
    calendar = directory / "Calendar.ics"
    cards = directory / "Contacts.vcf"
    # The contacts' groups are cards of their own, and no contacts.
    groups = len(re.findall(rb"(?m)^X-ADDRESSBOOKSERVER-KIND:group\r?$", cards.read_bytes())) if cards.exists() else 0
    return {"mails": mbox_messages(directory / "Mail", scratch), "contacts": begins(cards, b"VCARD") - groups,
            "calendars": begins(calendar, b"VEVENT"), "tasks": begins(calendar, b"VTODO"),
            "notes": begins(calendar, b"VJOURNAL")}


class SaveJson(GeneratedFiles):

    def save_json(self, olm, destination, *options, status=0):
        result = run_cli(self, "save", olm, destination, "--json", *options)
        self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
        summary = json.loads(result.stdout.decode("utf-8"))
        self.assertEqual(set(summary["written"]), set(KINDS))
        self.assertEqual(set(summary["found"]), set(KINDS))
        for loss in summary["losses"]:
            self.assertEqual(set(loss), LOSS_FIELDS)
            self.assertRegex(loss["reason"], r"^[a-z]+(-[a-z]+)*$")
        # Counts cover every loss; the list keeps the first 10,000.
        if len(summary["losses"]) < 10000:
            self.assertEqual(sum(summary["lossCounts"].values()), len(summary["losses"]))
            self.assertEqual(set(summary["lossCounts"]), {loss["reason"] for loss in summary["losses"]})
        for unwritten in summary["notWritten"]:
            self.assertEqual(set(unwritten), {"item", "why"})
            self.assertTrue(unwritten["item"] and unwritten["why"], unwritten)
            self.assertIn("  %s: %s" % (unwritten["item"], unwritten["why"]), result.stderr.decode("utf-8"))
        return summary

    def test_counts_match_the_files_written(self):
        for sample in ("intact", "damaged"):
            olm = SAMPLES / (sample + ".olm")
            expected = json.loads((SAMPLES / (sample + ".json")).read_text(encoding="utf-8"))["expected"]["counts"]
            scanned = json.loads(run_cli(self, "scan", "--json", olm).stdout.decode("utf-8"))["counts"]
            for form, counter in (("rge", bundle_counts), ("standard", standard_counts)):
                with self.subTest(sample=sample, format=form):
                    destination = self.tmp / ("%s %s" % (sample, form))
                    destination.mkdir()
                    summary = self.save_json(olm, destination, "--format", form)
                    self.assertEqual(summary["format"], form)
                    output = Path(summary["output"])
                    self.assertEqual(output.parent, destination)
                    self.assertEqual(summary["found"], scanned)
                    self.assertEqual(summary["written"], counter(output, self.tmp))
                    self.assertEqual(summary["written"], expected)
                    self.assertEqual(summary["notWritten"], [])
                    self.assertFalse(summary["stopped"])

    def test_chosen_folder_only(self):
        destination = self.tmp / "inbox"
        destination.mkdir()
        summary = self.save_json(SAMPLES / "intact.olm", destination, "--folder", "On My Computer/Inbox")
        self.assertEqual(summary["written"], bundle_counts(Path(summary["output"]), self.tmp))
        self.assertGreater(summary["written"]["mails"], 0)
        self.assertLess(summary["written"]["mails"], summary["found"]["mails"])
        self.assertEqual([summary["written"][kind] for kind in KINDS[1:]], [0, 0, 0, 0])

    def test_full_disk_lists_every_item_not_written(self):
        destination = self.tmp / "full"
        destination.mkdir()
        if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=48k", "tmpfs", str(destination)],
                                               capture_output=True).returncode != 0:
            self.skipTest("cannot mount a small file system here")
        try:
            summary = self.save_json(SAMPLES / "intact.olm", destination, "--folder", "On My Computer",
                                     status=EXIT_NOT_ALL_WRITTEN)
            on_disk = bundle_counts(Path(summary["output"]), self.tmp)
        finally:
            subprocess.run(["umount", str(destination)], capture_output=True)
        self.assertTrue(summary["notWritten"])
        self.assertEqual(summary["written"]["mails"], on_disk["mails"])
        self.assertEqual(summary["written"]["mails"] + len(summary["notWritten"]), summary["found"]["mails"])

    def test_no_json_when_nothing_was_saved(self):
        result = run_cli(self, "save", SAMPLES / "intact.olm", self.tmp / "missing", "--json")
        self.assertEqual(result.returncode, 4)
        self.assertEqual(result.stdout, b"")


if __name__ == "__main__":
    unittest.main()
