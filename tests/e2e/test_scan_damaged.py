"""mendora-cli scan on damaged exports: what survives each kind of damage."""
import json
import struct
import sys
import unittest

from olmtest import SAMPLES, GeneratedFiles, assert_matches_manifest, make_olm, scan_json


class DamagedScan(GeneratedFiles):

    def test_committed_sample(self):
        manifest = json.loads((SAMPLES / "damaged.json").read_text(encoding="utf-8"))
        report = scan_json(self, SAMPLES / "damaged.olm")
        assert_matches_manifest(self, report, manifest)

    def test_each_kind_of_damage(self):
        cases = {
            "wiped headers": ["--wipe-headers", "0.5"],
            "every header wiped": ["--wipe-headers", "all"],
            "zeroed CRC-32": ["--zero-crc", "0.4"],
            "garbage between entries": ["--garbage-between"],
            "cut before the central directory": ["--truncate", "-12000"],
            "everything at once": ["--wipe-headers", "0.2", "--zero-crc", "0.2", "--garbage-between",
                                   "--no-central-directory"],
        }
        for name, options in cases.items():
            with self.subTest(name):
                path, manifest = self.generate("damaged.olm", "--seed", 5, "--mails", 30, *options)
                assert_matches_manifest(self, scan_json(self, path), manifest)

    def test_garbage_between_entries_loses_nothing(self):
        path, manifest = self.generate("garbage.olm", "--garbage-between")
        self.assertEqual(manifest["expected"]["counts"], manifest["generated"])
        report = scan_json(self, path)
        self.assertNotIn("Folder1", {m["folder"] or "Folder1" for m in report["items"]["mails"]})
        assert_matches_manifest(self, report, manifest)

    def test_cut_inside_the_contacts_document_keeps_its_complete_contacts(self):
        path, manifest = self.generate("cut.olm", "--contacts", 12)
        contacts = next(e for e in manifest["entries"] if e["kind"] == "contacts")
        # Cut in the middle of the eighth contact: seven stay whole.
        cut = contacts["data"] + (contacts["itemEnds"][6] + contacts["itemEnds"][7]) // 2
        path, manifest = self.generate("cut.olm", "--contacts", 12, "--truncate", cut)
        self.assertEqual(manifest["expected"]["counts"]["contacts"], 7)
        report = scan_json(self, path)
        self.assertEqual(report["counts"]["contacts"], 7)
        assert_matches_manifest(self, report, manifest)

    def test_mail_with_wiped_header(self):
        # Found by the raw scan; its folder is named by the central directory where it
        # survives, and otherwise by the entry path that still stands in its damaged header.
        for directory in ([], ["--no-central-directory"]):
            with self.subTest(directory=directory):
                path, manifest = self.generate("onemail.olm", *directory)
                mail = next(m for m in manifest["mails"] if m["attachments"])
                entry = next(e for e in manifest["entries"] if e["name"] == mail["entry"])
                with open(path, "r+b") as handle:
                    handle.seek(entry["header"])
                    handle.write(b"\0\0\0\0")
                report = scan_json(self, path)
                self.assertEqual(report["counts"]["mails"], manifest["generated"]["mails"])
                found = [m for m in report["items"]["mails"] if m["messageId"] == mail["messageId"]]
                self.assertEqual(len(found), 1)
                self.assertEqual(found[0]["folder"], make_olm.message_folder(mail["entry"]))
                self.assertEqual(found[0]["subject"], mail["subject"])
                # Its attachments were walked before it, so they still belong to it.
                self.assertEqual(found[0]["attachments"], [a["name"] for a in mail["attachments"]])
                in_folder1 = sum(int(f["items"]) for f in report["folders"] if f["path"] == "Folder1")
                self.assertEqual(in_folder1, 0)

    def test_zero_crc_on_an_attachment_that_is_a_zip_archive(self):
        # The attachment's data begins with the archive's own local header (version 20,
        # deflated, no Zip64 record); it must not be walked as a container entry. The
        # zero checksum is evidence, not a verdict: the entry is read by its sizes.
        for directory in ([], ["--no-central-directory"]):
            with self.subTest(directory=directory):
                path, manifest = self.generate("docx.olm", *directory)
                mail, attachment = next((m, a) for m in manifest["mails"] for a in m["attachments"]
                                        if a["name"].endswith((".docx", ".zip", ".xlsx")))
                entry = next(e for e in manifest["entries"] if e["name"] == attachment["url"])
                with open(path, "r+b") as handle:
                    handle.seek(entry["header"] + 14)
                    handle.write(b"\0\0\0\0")
                    handle.seek(entry["data"])
                    self.assertEqual(struct.unpack("<IH", handle.read(6)), (make_olm.LOCAL_SIGNATURE, 20))
                report = scan_json(self, path)
                expected = manifest["expected"]
                self.assertEqual(report["counts"], expected["counts"])
                self.assertEqual(report["documents"], expected["documents"])
                self.assertEqual(report["lossCounts"], {"checksum-mismatch": 1})
                for found in report["items"]["mails"]:
                    wanted = next(m for m in manifest["mails"] if m["messageId"] == found["messageId"])
                    self.assertEqual(found["attachments"], [a["name"] for a in wanted["attachments"]], wanted["subject"])
                    self.assertEqual(found["folder"], wanted["scanFolder"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
