"""mendora-cli save on folder trees of extreme shape: the time follows the folders plus
the mails, and a folder deeper than a path may be is saved all the same."""
import time

from olmtest import GeneratedFiles, run_cli
from test_hostile_input import LINEAR_BUDGET_SECONDS, container, mail_document

MESSAGES = "Local/com.microsoft.__Messages/On My Computer/"
EMPTY_DOCUMENT = b'<emails xml:space="preserve" elementCount="0"></emails>'


class DeepFolders(GeneratedFiles):

    def save(self, olm, *options, budget=None):
        destination = self.tmp / ("out-%d" % len(list(self.tmp.iterdir())))
        destination.mkdir()
        started = time.monotonic()
        result = run_cli(self, "save", *options, olm, destination, timeout=budget or LINEAR_BUDGET_SECONDS)
        return result, time.monotonic() - started

    def test_empty_folders_cost_the_save_linear_time(self):
        # 20,000 mails and a chain of 20,000 empty folders: each folder's path is as
        # long as its depth, so work per folder on its whole path is quadratic.
        count = 20000
        entries = [(MESSAGES + "Inbox/message_%05d.xml" % i, mail_document(b"Mail %d" % i), "mail")
                   for i in range(count)]
        entries.append((MESSAGES + "e/" * count + "message_00000.xml", EMPTY_DOCUMENT, "mail"))
        olm = container(self.tmp / "chain.olm", entries)
        for options in ([], ["--format", "standard"]):
            with self.subTest(options=options):
                result, seconds = self.save(olm, *options)
                self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                self.assertIn(b"Written: %d mails" % count, result.stdout)
                self.assertLess(seconds, LINEAR_BUDGET_SECONDS)
                if options:
                    report = next(self.tmp.glob("out-*/chain (rescued)/Rescue report.txt")).read_bytes()
                    self.assertLess(len(report), count * 400, "every folder's line is bounded")

    def test_a_folder_deeper_than_a_path_may_be_is_saved(self):
        # One entry name of 64 KiB: 260 levels, each name as long as a file name may be;
        # the output's path is far longer than the system takes in one piece.
        folder = "/".join("level %03d " % i + "x" * 240 for i in range(260))
        olm = container(self.tmp / "deep.olm",
                        [(MESSAGES + folder + "/message_00000.xml", mail_document(b"Deep mail"), "mail")])
        for options in ([], ["--format", "standard"]):
            with self.subTest(options=options):
                result, _ = self.save(olm, *options)
                self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                self.assertIn(b"Written: 1 mails", result.stdout)

if __name__ == "__main__":
    import unittest
    unittest.main()
