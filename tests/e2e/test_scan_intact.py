"""mendora-cli scan on intact exports: everything the generator wrote comes back."""
import json
import re
import sys
import unittest

from olmtest import SAMPLES, GeneratedFiles, assert_matches_manifest, run_cli, scan_json


class IntactScan(GeneratedFiles):

    def test_committed_sample(self):
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        report = scan_json(self, SAMPLES / "intact.olm")
        assert_matches_manifest(self, report, manifest)

    def test_generated_exports_with_other_seeds(self):
        # Other seeds give other attachment mixes, subjects and folder fill.
        for seed in (2, 3):
            with self.subTest(seed=seed):
                path, manifest = self.generate("seed%d.olm" % seed, "--seed", seed, "--mails", 40,
                                               "--contacts", 25, "--events", 9, "--tasks", 8, "--notes", 7)
                assert_matches_manifest(self, scan_json(self, path), manifest)

    def test_without_central_directory(self):
        path, manifest = self.generate("nocd.olm", "--no-central-directory")
        assert_matches_manifest(self, scan_json(self, path), manifest)

    def test_non_latin1_text_survives(self):
        path, manifest = self.generate("text.olm")
        items = scan_json(self, path)["items"]
        subjects = {m["subject"] for m in items["mails"]}
        for subject in ("会議の議事録 (10月分)", "주간 보고서 – 3분기", "Προσφορά για το έργο",
                        "Q3 budget & forecast", "Fwd: <urgent> server migration"):
            self.assertIn(subject, subjects)
        names = {n for m in items["mails"] for n in m["attachments"]}
        self.assertTrue(names & {"議事録.docx", "Προσφορά.docx", "017091.docx"}, names)
        self.assertIn("山田", {c["lastName"] for c in items["contacts"]})
        self.assertIn("Tom & Jerry", {n["title"] for n in items["notes"]})

    def test_large_contacts_document(self):
        path, manifest = self.generate("contacts.olm", "--mails", 3, "--large-contacts")
        report = scan_json(self, path, items=False)
        self.assertEqual(report["counts"]["contacts"], manifest["generated"]["contacts"])
        assert_matches_manifest(self, report, manifest)

    def test_grown_file_with_large_attachments(self):
        path, manifest = self.generate("grown.olm", "--mails", 5, "--size", "6MiB", "--large-attachment-size", "1MiB")
        self.assertGreaterEqual(path.stat().st_size, 6 << 20)
        assert_matches_manifest(self, scan_json(self, path), manifest)

    def test_text_report(self):
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        result = run_cli(self, "scan", SAMPLES / "intact.olm")
        self.assertEqual(result.returncode, 0, result.stderr)
        text = result.stdout.decode("utf-8")
        counts = manifest["expected"]["counts"]
        for caption, key in (("Mails", "mails"), ("Calendars", "calendars"), ("Notes", "notes"),
                             ("Contacts", "contacts"), ("Tasks", "tasks")):
            match = re.search(r"^%s\W*(\d+)\s*$" % caption, text, re.MULTILINE)
            self.assertIsNotNone(match, "no %s line in:\n%s" % (caption, text))
            self.assertEqual(int(match.group(1)), counts[key], caption)
        for path, items in manifest["expected"]["mailFolders"].items():
            self.assertRegex(text, r"%s\s.*\b%d items" % (re.escape(path), items))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
