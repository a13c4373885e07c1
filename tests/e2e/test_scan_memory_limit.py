"""A scan inside a memory limit smaller than the records it keeps (a memory control group
where this machine lets us make one, else the data-segment limit): the records past what
memory holds go to the temporary disk, every item arrives and nothing is lost."""
import json
import unittest

from olmtest import GeneratedFiles, expected_items, report_items, run_cli
from memory_limit import MemoryLimit  # noqa: E402 (tools/, on the path through olmtest)

# Below the records of the export (about 9 KB a mail), far above what the rest of the scan needs.
LIMIT = 48 << 20
MAILS = 8000


class ScanInsideMemoryLimit(GeneratedFiles):

    def test_records_past_the_limit_all_arrive(self):
        path, manifest = self.generate("mails.olm", "--mails", MAILS, "--contacts", 30, "--events", 20, "--tasks", 10,
                                       "--notes", 10, "--attachment-size", 600, "--seed", 3)
        with MemoryLimit(LIMIT) as limit:
            result = run_cli(self, "scan", "--json", "--items", path, preexec_fn=limit.enter)
            kills = limit.kills()
        stderr = result.stderr.decode(errors="replace")
        self.assertEqual(kills, 0, "killed inside %s" % limit.kind)
        self.assertEqual(result.returncode, 0, stderr)
        report = json.loads(result.stdout.decode("utf-8"))
        self.assertGreater(report["recordBytes"], LIMIT, "the records fit the limit: the test proves nothing")
        self.assertFalse(report["incomplete"], stderr)
        self.assertEqual(report["losses"], [])
        self.assertEqual(report_items(report), expected_items(manifest))


if __name__ == "__main__":
    unittest.main()
