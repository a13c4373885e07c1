"""The damage corpus: exports from the generator with every kind of damage. In each,
every item of a document whose own bytes are intact (its header may be damaged)
is recovered, and the scan ends without a crash or a hang (run_cli fails on either)."""
import sys
import unittest
from collections import Counter

from olmtest import EXIT_EMPTY_FILE, EXIT_NOTHING_FOUND, EXIT_REFUSED, GeneratedFiles, make_olm, run_cli
import json

# What tells the items of each kind apart, in the manifest and in the report alike.
KEYS = {"mails": ("subject", "messageId"), "contacts": ("firstName", "lastName"),
        "calendars": ("summary", "start"), "tasks": ("name",), "notes": ("title",)}
SMALL = ["--mails", 24, "--contacts", 6, "--events", 4, "--tasks", 4, "--notes", 4, "--attachment-size", 2000]
ZIP_ATTACHMENT = (".docx", ".xlsx", ".pptx", ".zip")


class DamageCorpus(GeneratedFiles):

    def scan(self, path):
        result = run_cli(self, "scan", "--json", "--items", path)
        self.assertIn(result.returncode, (0, EXIT_REFUSED, EXIT_NOTHING_FOUND, EXIT_EMPTY_FILE),
                      result.stderr.decode(errors="replace"))
        return json.loads(result.stdout) if result.returncode == 0 else None

    def assert_intact_documents_recovered(self, path, manifest, label):
        report = self.scan(path)
        for kind, keys in KEYS.items():
            wanted = Counter(tuple(item[k] for k in keys) for item in manifest[kind] if item["inIntactDocument"])
            found = Counter(tuple(item[k] for k in keys) for item in report["items"][kind]) if report else Counter()
            missing = wanted - found
            self.assertFalse(missing, "%s: %s of intact documents lost: %s" % (label, kind, list(missing)[:3]))
        return report

    def test_each_kind_of_damage(self):
        cases = {
            "local headers wiped": ["--wipe-headers", "0.5"],
            "every local header wiped": ["--wipe-headers", "all"],
            "CRC-32 zeroed": ["--zero-crc", "0.5"],
            "garbage between entries": ["--garbage-between"],
            "garbage inside entries": ["--garbage-inside", "0.3"],
            "central directory missing": ["--no-central-directory"],
            "end tags missing": ["--drop-end-tags", "0.5"],
            "zero-filled stretches": ["--zero-fill", "6"],
            "everything at once": ["--wipe-headers", "0.2", "--zero-crc", "0.2", "--garbage-between",
                                   "--garbage-inside", "0.2", "--drop-end-tags", "0.2", "--zero-fill", "3",
                                   "--no-central-directory"],
        }
        for name, options in cases.items():
            for seed in (1, 2, 3):
                with self.subTest(name, seed=seed):
                    path, manifest = self.generate("damaged.olm", "--seed", seed, *SMALL, *options)
                    self.assertTrue(any(e["dataIntact"] for e in manifest["entries"] if e["kind"] != "directory"))
                    self.assert_intact_documents_recovered(path, manifest, name)

    def test_truncated_at_many_points(self):
        path, manifest = self.generate("whole.olm", "--seed", 4, *SMALL)
        whole = manifest["size"]
        for cut in sorted({0, 3, 5, 30, 100} | {whole * k // 37 for k in range(1, 37)} | {whole - 1}):
            with self.subTest(cut=cut):
                path, manifest = self.generate("cut.olm", "--seed", 4, *SMALL, "--truncate", cut)
                self.assert_intact_documents_recovered(path, manifest, "cut at %d" % cut)

    def test_attachments_that_are_zip_archives_lose_their_headers(self):
        # With the container's headers gone, the archives' own local and central
        # headers stand in the raw stretches: none may derail or end the walk.
        path, manifest = self.generate("zips.olm", "--seed", 6, *SMALL, "--wipe-headers", "all")
        archives = [e for e in manifest["entries"] if e["kind"] == "attachment" and e["name"]
                    and any(a["url"] == e["name"] and a["name"].endswith(ZIP_ATTACHMENT)
                            for m in manifest["mails"] for a in m["attachments"])]
        self.assertTrue(archives, "the generator made no attachment that is a ZIP archive")
        report = self.assert_intact_documents_recovered(path, manifest, "zip attachments")
        # Every mail document is raw-scanned whole, so every mail is found.
        self.assertEqual(report["counts"]["mails"], manifest["generated"]["mails"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
