"""The account of losses on damaged generated exports: `scan --json` lists every loss
the generator's damage caused that a scan can tell, and nothing else."""
import json
import sys
import unittest
from collections import Counter

from olmtest import GeneratedFiles, run_cli, scan_json

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
