"""The account of losses on damaged generated exports: `scan --json` lists every loss
the generator's damage caused that a scan can tell, and nothing else."""
import email
import email.policy
import json
import mailbox
import sys
import unittest
from collections import Counter
from pathlib import Path

from olmtest import SAMPLES, GeneratedFiles, run_cli, scan_json

SMALL = ["--mails", 24, "--contacts", 6, "--events", 4, "--tasks", 4, "--notes", 4, "--attachment-size", 2000]


def expanded(losses):
    """(reason, kind) once per item lost; an entry may stand for several like items."""
    return Counter((loss["reason"], loss["kind"]) for loss in losses for _ in range(int(loss.get("count", 1))))


def same_name(reported, generated):
    # Long names are cut for the log and end in an ellipsis.
    if reported.endswith("\u2026"):
        return generated.startswith(reported[:-1])
    return reported == generated


class LossAccount(GeneratedFiles):

    def assert_account_matches(self, report, manifest, label):
        wanted = manifest["expected"]["losses"]
        self.assertEqual(expanded(report["losses"]), expanded(wanted), label)
        self.assertEqual(Counter((l["kind"], l["field"]) for l in report["losses"] if l["reason"] == "value-too-long"),
                         Counter((w["kind"], w["field"]) for w in wanted if w["reason"] == "value-too-long"), label)
        self.assertEqual(report["lossTotal"], sum(expanded(wanted).values()), label)
        self.assertEqual(report["lossCounts"], dict(Counter(r for (r, _), n in expanded(wanted).items()
                                                           for _ in range(n))), label)
        for loss in report["losses"]:
            if not loss["item"]:
                continue
            names = [w["item"] for w in wanted if (w["reason"], w["kind"]) == (loss["reason"], loss["kind"])]
            self.assertTrue(any(same_name(loss["item"], name) for name in names),
                            "%s: %s names %r, which the damage did not cost" % (label, loss["reason"], loss["item"]))
            self.assertTrue(loss["why"], label)

    def test_each_kind_of_damage_is_accounted_for(self):
        cases = {
            "intact": [],
            "local headers wiped": ["--wipe-headers", "0.5"],
            "every local header wiped": ["--wipe-headers", "all"],
            "CRC-32 zeroed": ["--zero-crc", "0.4"],
            "garbage between entries": ["--garbage-between"],
            "end tags missing": ["--drop-end-tags", "0.5"],
            "central directory missing": ["--no-central-directory"],
            "everything at once": ["--wipe-headers", "0.2", "--zero-crc", "0.2", "--garbage-between",
                                   "--drop-end-tags", "0.3", "--no-central-directory"],
        }
        for name, options in cases.items():
            for seed in (1, 2, 3):
                with self.subTest(name, seed=seed):
                    path, manifest = self.generate("damaged.olm", "--seed", seed, *SMALL, *options)
                    self.assertTrue(manifest["expected"]["lossesExact"])
                    if name == "intact" or name == "garbage between entries":
                        self.assertEqual(manifest["expected"]["losses"], [])
                    self.assert_account_matches(scan_json(self, path, items=False), manifest, name)

    def test_truncated_at_many_points(self):
        path, manifest = self.generate("whole.olm", "--seed", 4, *SMALL)
        whole = manifest["size"]
        causes = Counter()
        for cut in sorted({whole * k // 23 for k in range(3, 23)} | {whole - 1}):
            with self.subTest(cut=cut):
                path, manifest = self.generate("cut.olm", "--seed", 4, *SMALL, "--truncate", cut)
                result = run_cli(self, "scan", "--json", path)
                if result.returncode != 0:
                    self.assertEqual(manifest["expected"]["counts"], dict.fromkeys(manifest["expected"]["counts"], 0))
                    continue
                report = json.loads(result.stdout)
                self.assert_account_matches(report, manifest, "cut at %d" % cut)
                causes.update(loss["reason"] for loss in manifest["expected"]["losses"])
        # The cuts fall inside documents as well as between them.
        self.assertGreater(causes["item-cut-by-damage"], 0)

    def test_values_longer_than_their_fields(self):
        for options in ([], ["--wipe-headers", "0.3"]):
            with self.subTest(options=options):
                path, manifest = self.generate("long.olm", "--seed", 3, *SMALL, "--long-values", *options)
                wanted = [w for w in manifest["expected"]["losses"] if w["reason"] == "value-too-long"]
                self.assertEqual(len(wanted), 6)
                self.assert_account_matches(scan_json(self, path, items=False), manifest, "long values")

    def test_rescue_report_and_whole_values_in_the_standard_files(self):
        path, manifest = self.generate("long.olm", "--seed", 3, *SMALL, "--long-values", "--wipe-headers", "0.3")
        destination = Path(self._tmp.name) / "saved"
        destination.mkdir()
        result = run_cli(self, "save", path, destination, "--format", "standard")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        output = destination / "long (rescued)"
        report = (output / "Rescue report.txt").read_text(encoding="utf-8")
        written, _, losses = report.partition("\nLosses (")
        # Per folder the items written: the mail folders as the scan found them.
        for folder, count in manifest["expected"]["mailFolders"].items():
            self.assertIn("  %s: %d mails\n" % (folder, count), written)
        self.assertIn("  Contacts: %d contacts\n" % manifest["expected"]["counts"]["contacts"], written)
        # Every loss but the values the standard files keep whole.
        kept_whole = {"OPFMessageCopySubject", "OPFMessageCopyToAddresses", "OPFCalendarEventCopySummary",
                      "OPFCalendarEventCopyAttendeeList"}
        listed = [w for w in manifest["expected"]["losses"] if w.get("field") not in kept_whole]
        lines = [line.strip() for line in losses.splitlines()[1:] if line.strip()]
        self.assertTrue(losses.startswith("%d):" % len(listed)), losses[:40])
        self.assertEqual(Counter(line.split(":")[0] for line in lines), Counter(w["reason"] for w in listed))
        # The values too long for the bundle's record are whole in the standard files.
        long_subject = next(m for m in manifest["mails"] if "OPFMessageCopySubject" in m.get("tooLong", []))
        long_to = next(m for m in manifest["mails"] if "OPFMessageCopyToAddresses" in m.get("tooLong", []))
        messages = []
        for mbox_path in (output / "Mail").rglob("*.mbox"):
            box = mailbox.mbox(str(mbox_path), factory=lambda f: email.message_from_binary_file(f, policy=email.policy.default),
                               create=False)
            messages.extend(box)
            box.close()
        subjects = [str(m["subject"]) for m in messages]
        self.assertIn(long_subject["subject"], subjects)
        to_message = next(m for m in messages if m["message-id"] == long_to["messageId"])
        self.assertEqual([a.addr_spec for a in to_message["to"].addresses], long_to["to"])
        calendar = (output / "Calendar.ics").read_text(encoding="utf-8").replace("\r\n ", "").replace("\n ", "")
        long_event = next(e for e in manifest["calendars"] if "OPFCalendarEventCopySummary" in e.get("tooLong", []))
        escaped = long_event["summary"].replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
        self.assertIn("SUMMARY:" + escaped, calendar)

    def test_save_after_a_scan_that_stopped_at_the_memory_limit(self):
        path, manifest = self.generate("many.olm", "--seed", 2, "--mails", 10, "--contacts", 400)
        destination = Path(self._tmp.name) / "saved"
        destination.mkdir()
        result = run_cli(self, "save", path, destination, "--format", "standard", "--record-memory", "1")
        self.assertEqual(result.returncode, 7, result.stderr.decode(errors="replace"))
        self.assertIn("Saved incomplete", result.stderr.decode())
        report = (destination / "many (rescued)" / "Rescue report.txt").read_text(encoding="utf-8")
        self.assertIn("scan-incomplete: ", report)

    def test_rescue_report_and_save_json_give_one_account(self):
        """The report lists the losses save --json lists, in the same order, the scan's and the
        save's own alike; the exporter's flags and default values are no losses, so the intact
        sample has none at all."""
        for sample in ("intact", "damaged"):
            with self.subTest(sample):
                destination = Path(self._tmp.name) / ("account of " + sample)
                destination.mkdir()
                result = run_cli(self, "save", SAMPLES / (sample + ".olm"), destination, "--format", "standard",
                                 "--json")
                self.assertIn(result.returncode, (0, 1), result.stderr.decode(errors="replace"))
                losses = [l for l in json.loads(result.stdout)["losses"] if not l["standardFilesKeepIt"]]
                report = (destination / ("%s (rescued)" % sample) / "Rescue report.txt").read_text(encoding="utf-8")
                lines = [line.strip() for line in report.partition("\nLosses (")[2].splitlines()[1:] if line.strip()]
                if not losses:
                    self.assertEqual(lines, ["none: everything the scan found was written"])
                    self.assertEqual(sample, "intact")
                    continue
                self.assertEqual(len(lines), len(losses))
                for line, loss in zip(lines, losses):
                    self.assertTrue(line.startswith("%s: %s" % (loss["reason"], loss["item"] or "(unnamed)")), line)
                    self.assertIn(loss["why"], line)

    def test_text_output_prints_the_counts(self):
        path, manifest = self.generate("wiped.olm", "--seed", 2, *SMALL, "--wipe-headers", "all")
        result = run_cli(self, "scan", path)
        self.assertEqual(result.returncode, 0)
        counts = Counter(loss["reason"] for loss in manifest["expected"]["losses"])
        line = next(l for l in result.stdout.decode().splitlines() if l.startswith("Losses: "))
        for reason, count in counts.items():
            self.assertIn("%s %d" % (reason, count), line)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
