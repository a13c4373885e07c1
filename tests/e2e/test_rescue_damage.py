"""What a rescue of a damaged realistic export brings back, in both save formats,
against the generator's manifest of what the bytes still hold: every mail in the
mbox of its folder with its attachments byte for byte, the attachments without their
mail in "Recovered attachments", every contact, event, task and note, and the account
of losses, entry by entry."""
import collections
import hashlib
import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import GeneratedFiles, cli_path, make_olm, run_cli, scan_json  # noqa: E402

REALISTIC = ["--realistic", "--mails", 200, "--contacts", 40, "--events", 30, "--tasks", 20, "--notes", 10,
             "--seed", 11]
DAMAGE = {
    "end tags dropped": ["--drop-end-tags", "0.1"],
    "every header wiped, no central directory": ["--wipe-headers", "all", "--no-central-directory"],
    "half the headers wiped, no central directory": ["--wipe-headers", "0.5", "--no-central-directory"],
    "cut 400000 bytes short": ["--truncate", "-400000"],
}


def files_below(root):
    """{path below root: SHA-256} of every file there."""
    return {str(path.relative_to(root)): hashlib.sha256(path.read_bytes()).hexdigest()
            for path in Path(root).rglob("*") if path.is_file()} if Path(root).exists() else {}


def expanded(losses):
    return collections.Counter((loss["reason"], loss["kind"]) for loss in losses for _ in range(int(loss.get("count", 1))))


class RescueOfDamage(GeneratedFiles):

    def test_each_kind_of_damage_against_the_manifest(self):
        for name, damage in DAMAGE.items():
            with self.subTest(name):
                path, manifest = self.generate("damaged.olm", *REALISTIC, *damage)
                expected = manifest["expected"]
                entries = {entry["name"]: entry for entry in manifest["entries"]}
                olm_bytes = path.read_bytes()
                # An attachment the file ends inside is kept with the bytes there are.
                recovered = {}
                for entry_name in expected["recoveredAttachments"]:
                    entry = entries[entry_name]
                    whole = entry["data"] + entry["size"] <= len(olm_bytes)
                    recovered[make_olm.recovered_name(entry_name)] = entry["sha256"] if whole else hashlib.sha256(
                        olm_bytes[entry["data"]:]).hexdigest()
                status = 0 if all(entries[n]["data"] + entries[n]["size"] <= len(olm_bytes)
                                  for n in expected["recoveredAttachments"]) else 1

                report = scan_json(self, path, items=False)
                self.assertEqual(report["counts"], expected["counts"])
                self.assertEqual(expanded(report["losses"]), expanded(expected["losses"]))
                wanted_names = collections.Counter((w["reason"], w["kind"], w["item"]) for w in expected["losses"]
                                                   if w["reason"] != "value-too-long")
                named = collections.Counter((l["reason"], l["kind"], l["item"]) for l in report["losses"]
                                            if l["reason"] != "value-too-long" and l["item"])
                self.assertEqual(named - wanted_names, collections.Counter())

                standard = self.tmp / ("standard " + name)
                standard.mkdir()
                result = standardcheck.save_standard(self, cli_path(), path, standard)
                self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
                rescued = standard / "damaged (rescued)"
                standardcheck.check_mailboxes(self, rescued / "Mail", manifest, olm_bytes)
                standardcheck.check_contacts(self, rescued / "Contacts.vcf", manifest)
                standardcheck.check_calendar(self, rescued / "Calendar.ics", manifest)
                self.assertEqual(files_below(rescued / "Recovered attachments"), recovered)

                bundle = self.tmp / ("bundle " + name)
                bundle.mkdir()
                result = run_cli(self, "save", path, bundle)
                self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
                written, = bundle.glob("*.rge")
                self.assertEqual(files_below(written / "Recovered attachments"), recovered)

    def test_damage_the_rows_depend_on(self):
        # The rows are worth their time only while the damage they make leaves something to infer.
        _, manifest = self.generate("damaged.olm", *REALISTIC, *DAMAGE["every header wiped, no central directory"])
        reasons = collections.Counter(loss["reason"] for loss in manifest["expected"]["losses"])
        self.assertGreater(reasons["recovered-with-doubt"], 100)
        _, manifest = self.generate("damaged.olm", *REALISTIC, *DAMAGE["cut 400000 bytes short"])
        self.assertTrue(manifest["expected"]["recoveredAttachments"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
