"""mendora-cli scan on files that are no export or are broken in their structure:
refused with the message, or scanned as far as they hold, never a crash or a hang."""
import os
import struct
import sys
import unittest

from olmtest import (EXIT_DIRECTORY, EXIT_EMPTY_FILE, EXIT_MISSING_FILE, EXIT_NO_PERMISSION, EXIT_NOTHING_FOUND,
                     INVALID_FILE_MESSAGE, GeneratedFiles, make_olm, run_cli, scan_json)

NOTES_DOCUMENT = (b'<?xml version="1.0" encoding="UTF-8"?>\n<notes xml:space="preserve" elementCount="1">'
                  b'<note xml:space="preserve"><OPFNoteCopyTitle xml:space="preserve">Kept</OPFNoteCopyTitle>'
                  b'</note></notes>')
CONTACTS_DOCUMENT = (b'<?xml version="1.0" encoding="UTF-8"?>\n<contacts xml:space="preserve" elementCount="1">'
                     b'<contact xml:space="preserve"><OPFContactCopyFirstName xml:space="preserve">Ann'
                     b'</OPFContactCopyFirstName></contact></contacts>')
MAIL_ITEM = (b'<email xml:space="preserve"><OPFMessageCopySubject xml:space="preserve">Never closed'
             b'</OPFMessageCopySubject></email>')


def local_header(name, crc=1, version=45, uncompressed=0, compressed=0, name_length=None):
    name = name.encode()
    return (struct.pack("<IHHHHHIIIHH", make_olm.LOCAL_SIGNATURE, version, 0x0800, 0, 0, 0, crc, 0xFFFFFFFF,
                        0xFFFFFFFF, len(name) if name_length is None else name_length, 20)
            + name + struct.pack("<HHQQ", 1, 16, uncompressed, compressed))


class BadInput(GeneratedFiles):

    def write(self, name, data):
        path = self.tmp / name
        path.write_bytes(data)
        return path

    def assert_refused(self, path, status=EXIT_NOTHING_FOUND, message=INVALID_FILE_MESSAGE):
        result = run_cli(self, "scan", "--json", path)
        self.assertEqual(result.returncode, status, result.stderr)
        self.assertIn(message, result.stderr.decode("utf-8", "replace"))

    def test_files_that_hold_nothing_of_an_export_are_scanned_and_refused(self):
        # Read whole, nothing recognisable: only then is a file "invalid or heavily damaged".
        cases = {
            "short": b"PK\x03",
            "four bytes": b"PK\x03\x04",
            "wrong first bytes": b"GIF89a" + bytes(200),
            "central directory first": struct.pack("<I", make_olm.CENTRAL_SIGNATURE) + b"\x2d" + bytes(100),
        }
        for name, data in cases.items():
            with self.subTest(name):
                self.assert_refused(self.write(name.replace(" ", "_") + ".olm", data))

    def test_one_wrong_byte_does_not_refuse_a_file(self):
        # The first header's version differing is damage, said in the account, not proof.
        path = self.write("version20.olm", local_header("Notes.xml", version=20, uncompressed=len(NOTES_DOCUMENT),
                                                        compressed=len(NOTES_DOCUMENT)) + NOTES_DOCUMENT)
        report = scan_json(self, path)
        self.assertEqual(report["counts"]["notes"], 1)
        self.assertEqual(report["lossCounts"], {"container-damaged": 1})

    def test_paths_that_cannot_be_read_are_refused_each_for_its_reason(self):
        directory = self.tmp / "folder.olm"
        directory.mkdir()
        self.assert_refused(directory, EXIT_DIRECTORY, "is a folder")
        self.assert_refused(self.tmp / "missing.olm", EXIT_MISSING_FILE, "does not exist")
        self.assert_refused(self.write("empty.olm", b""), EXIT_EMPTY_FILE, "is empty")
        if os.geteuid() != 0:  # root reads files whatever their mode
            locked = self.write("locked.olm", local_header("Notes.xml") + NOTES_DOCUMENT)
            locked.chmod(0)
            self.assert_refused(locked, EXIT_NO_PERMISSION, "permission to read")
        for path in (directory, self.tmp / "missing.olm"):
            self.assertNotIn(INVALID_FILE_MESSAGE, run_cli(self, "scan", path).stderr.decode())

    def test_sizes_that_the_file_cannot_hold(self):
        # The contact is whole in the file; only the header's sizes lie.
        huge = (1 << 64) - 1
        for name, (uncompressed, compressed) in {
            "past the end": (10 * len(CONTACTS_DOCUMENT), 10 * len(CONTACTS_DOCUMENT)),
            "2^64-1 both": (huge, huge),
            "2^64-1 compressed": (len(CONTACTS_DOCUMENT), huge),
            "2^64-1 uncompressed": (huge, len(CONTACTS_DOCUMENT)),
            "2^63": (1 << 63, 1 << 63),
        }.items():
            with self.subTest(name):
                path = self.write("sizes.olm", local_header("Local/Address Book/Contacts.xml", crc=7,
                                                            uncompressed=uncompressed, compressed=compressed)
                                  + CONTACTS_DOCUMENT)
                report = scan_json(self, path)
                self.assertEqual(report["counts"]["contacts"], 1)
                self.assertEqual(report["items"]["contacts"][0]["firstName"], "Ann")

    def test_name_length_past_the_end(self):
        # A header whose name runs past the end of the file is no header; the notes
        # document in its bytes is still found by the raw scan.
        path = self.write("name.olm", local_header("x", name_length=0xFFFF)[:30] + NOTES_DOCUMENT)
        report = scan_json(self, path)
        self.assertEqual(report["counts"]["notes"], 1)
        bare = self.write("bare.olm", local_header("x", name_length=0xFFFF)[:30] + b"abc")
        self.assert_refused(bare, EXIT_NOTHING_FOUND)

    def test_end_tag_that_never_comes(self):
        # The document runs to the end of the file; its complete mails are kept.
        start = local_header("Accounts/", crc=0)
        document = b'<emails xml:space="preserve" elementCount="3">' + MAIL_ITEM * 2 + b"<email>"
        for filler in (0, 8 << 20):
            with self.subTest(filler=filler):
                path = self.write("open.olm", start + document + b"x" * filler)
                report = scan_json(self, path)
                self.assertEqual(report["counts"]["mails"], 2)
                self.assertEqual({m["subject"] for m in report["items"]["mails"]}, {"Never closed"})

    def test_long_damaged_area_without_documents(self):
        # Bytes that hold no header and no start tag: scanned to the end, nothing found.
        path = self.write("noise.olm", local_header("Accounts/", crc=0) + bytes(range(256)).replace(b"<", b"")
                          .replace(b"P", b"") * (32 << 10))
        self.assert_refused(path, EXIT_NOTHING_FOUND)

    def test_entry_path_rules(self):
        # Folder paths come from the entry path; a component decides the document kind.
        path = self.tmp / "paths.olm"
        mail = b'<?xml version="1.0"?>\n<emails xml:space="preserve" elementCount="1">' + MAIL_ITEM + b"</emails>"
        with open(path, "w+b") as out:
            writer = make_olm.ContainerWriter(out)
            writer.directory("Accounts/")
            writer.file("Local/store/Inbox/Sub/message_00001.xml", [mail], "mail")
            writer.file("Accounts/a/b/Inbox/message_1.xml", [mail], "mail")
            writer.file("Local/x/Notes.xml", [NOTES_DOCUMENT], "notes")
            writer.file("Local/deep/er/Categories.xml", [NOTES_DOCUMENT], "categories")
            writer.file("Local/store/Inbox/message_00002.txt", [mail], "attachment")
            writer.finish()
        report = scan_json(self, path)
        self.assertEqual(sorted(m["folder"] for m in report["items"]["mails"]), ["Inbox", "Inbox/Sub"])
        self.assertEqual(report["counts"]["notes"], 1)
        self.assertEqual(int(report["documents"]["attachments"]), 1)
        folders = {f["path"]: int(f["items"]) for f in report["folders"] if f["type"] == 0}
        self.assertEqual(folders, {"Inbox": 1, "Inbox/Sub": 1, "Folder1": 0})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
