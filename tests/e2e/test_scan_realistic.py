"""mendora-cli scan on the benchmark's kind of export, made small: mails in nested
folders under several stores that share folder names, large bodies, ZIP-based
attachments, intact and with every header wiped."""
import unittest

from olmtest import GeneratedFiles, assert_matches_manifest, scan_json


class RealisticScan(GeneratedFiles):

    def test_stores_sharing_folder_names(self):
        for name, options in {"intact": [], "every header wiped": ["--wipe-headers", "all"]}.items():
            with self.subTest(name):
                path, manifest = self.generate("realistic.olm", "--seed", 4, "--realistic", "--mails", 120,
                                               "--contacts", 30, *options)
                report = scan_json(self, path)
                assert_matches_manifest(self, report, manifest)
                if not options:
                    # One Inbox per store, each under its own parent.
                    inboxes = [f["path"] for f in report["folders"] if f["path"].endswith("/Inbox")]
                    self.assertEqual(len(inboxes), 4, inboxes)


if __name__ == "__main__":
    unittest.main()
