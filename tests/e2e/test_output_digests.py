"""The outputs stay what they were: the scan report, the standard files and the bundle
of a realistic, a damaged and a hostile generated export and of the bundled samples hash
to the digests recorded in output_digests.json, however many threads parse the documents.
Work on speed or structure must leave every byte as it was; a change of the outputs that is meant is recorded anew with
`tools/compare_outputs.py --digests build/mendora-cli > tests/e2e/output_digests.json`."""
import json
import sys
import unittest
from pathlib import Path

from olmtest import SOURCE, GeneratedFiles, cli_path

sys.path.insert(0, str(SOURCE / "tools"))
import compare_outputs  # noqa: E402

RECORDED = Path(__file__).with_name("output_digests.json")


class OutputDigests(GeneratedFiles):
    def test_outputs_match_the_recorded_digests(self):
        recorded = json.loads(RECORDED.read_text())
        environment = dict(compare_outputs.ENVIRONMENT)
        for workers in ("1", "2", "8"):
            compare_outputs.ENVIRONMENT["MENDORA_SCAN_WORKERS"] = workers
            work = self.tmp / workers
            work.mkdir()
            try:
                found = compare_outputs.all_digests(cli_path(), work)
            finally:
                compare_outputs.ENVIRONMENT.clear()
                compare_outputs.ENVIRONMENT.update(environment)
            self.compare(recorded, found, workers)

    def compare(self, recorded, found, workers):
        self.assertEqual(sorted(found), sorted(recorded), "the exports compared")
        for export, outputs in sorted(recorded.items()):
            with self.subTest(export=export, workers=workers):
                self.assertEqual(found[export]["export"], outputs["export"],
                                 "the generator wrote %s differently: its outputs cannot be compared" % export)
                differing = sorted(name for name in set(outputs) | set(found[export])
                                   if outputs.get(name) != found[export].get(name))
                self.assertEqual(differing, [], "outputs of %s that are not what they were" % export)


if __name__ == "__main__":
    unittest.main()
