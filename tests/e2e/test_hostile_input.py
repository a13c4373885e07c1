"""mendora-cli scan on hostile input: whatever arrives, the scan ends in time
proportional to the input, with memory and output in proportion too, keeps what
it found and says what went wrong."""
import json
import os
import stat
import subprocess
import sys
import unittest

from olmtest import (CLI_TIMEOUT, EXIT_DIRECTORY, EXIT_MISSING_FILE, EXIT_REFUSED, GeneratedFiles, cli_path, make_olm,
                     run_cli, scan_json)

# Far above what linear work needs on a loaded machine, far below what the
# quadratic cases this guards against took (minutes).
LINEAR_BUDGET_SECONDS = 30
# A folder named by one byte of input ("/") takes some fifty bytes of report.
REPORT_BYTES_PER_INPUT_BYTE = 100
EXIT_INCOMPLETE = 7

NOTES_DOCUMENT = (b'<notes xml:space="preserve" elementCount="1"><note xml:space="preserve">'
                  b'<OPFNoteCopyTitle xml:space="preserve">Kept</OPFNoteCopyTitle></note></notes>')


def mail_document(subject, attachments=b""):
    return (b'<emails xml:space="preserve" elementCount="1"><email xml:space="preserve">'
            b'<OPFMessageCopySubject xml:space="preserve">' + subject + b'</OPFMessageCopySubject>'
            + attachments + b'</email></emails>')


def container(path, entries):
    """entries: (name, bytes, kind) in order, written as an export writes them."""
    with open(path, "wb") as out:
        writer = make_olm.ContainerWriter(out)
        for name, data, kind in entries:
            writer.file(name, [data], kind)
        writer.finish()
    return path


class HostileInput(GeneratedFiles):

    def scan_within_budget(self, path, *options):
        """The JSON report, after checking that it came in time and in proportion to the input."""
        result = run_cli(self, "scan", "--json", *options, path, timeout=LINEAR_BUDGET_SECONDS)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace")[-2000:])
        self.assertLess(len(result.stdout), REPORT_BYTES_PER_INPUT_BYTE * os.path.getsize(path) + 4096)
        return json.loads(result.stdout.decode("utf-8")), result.stderr.decode("utf-8", "replace")

    def test_files_that_are_not_regular_never_block(self):
        fifo = self.tmp / "pipe.olm"
        os.mkfifo(fifo)
        directory = self.tmp / "folder.olm"
        directory.mkdir()
        for path, status, message in ((fifo, EXIT_REFUSED, "not a regular file"), (directory, EXIT_DIRECTORY, "is a folder"),
                                      ("/dev/zero", EXIT_REFUSED, "not a regular file"),
                                      ("/dev/null", EXIT_REFUSED, "not a regular file")):
            with self.subTest(path=str(path)):
                result = run_cli(self, "scan", path, timeout=20)
                self.assertEqual(result.returncode, status)
                stderr = result.stderr.decode("utf-8", "replace")
                self.assertIn(message, stderr)
                self.assertIn(str(path), stderr)

    def test_the_system_says_why_a_file_could_not_be_opened(self):
        result = run_cli(self, "scan", self.tmp / "missing.olm")
        self.assertEqual(result.returncode, EXIT_MISSING_FILE)
        self.assertIn("does not exist", result.stderr.decode())
        if os.geteuid() != 0:  # root opens files whatever their mode
            locked = container(self.tmp / "locked.olm", [("Local/Notes/Notes.xml", NOTES_DOCUMENT, "notes")])
            locked.chmod(0)
            result = run_cli(self, "scan", locked)
            self.assertIn("You do not have permission to read", result.stderr.decode())

    def test_any_file_name_can_be_scanned(self):
        names = [b"caf\xe9.olm",                       # Latin-1, not UTF-8
                 "caf\u00e9 \u65e5\u672c.olm".encode(),   # UTF-8
                 b"--x.olm", b"-", b"--json",            # look like options
                 b"a \"quoted\" (name); rm x.olm"]
        for name in names:
            with self.subTest(name=name):
                path = os.path.join(os.fsencode(self.tmp), name)
                container(path, [("Local/Notes/Notes.xml", NOTES_DOCUMENT, "notes")])
                environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")
                result = subprocess.run([cli_path(), "scan", "--json", "--", path], capture_output=True,
                                        timeout=CLI_TIMEOUT, env=environment, stdin=subprocess.DEVNULL)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(json.loads(result.stdout)["counts"]["notes"], 1)
                os.unlink(path)

    def test_deep_folder_paths_cost_linear_time_and_output(self):
        mail = mail_document(b"Deep")
        shapes = {
            "one name repeated": "a/" * 32000,
            "distinct names": "".join("f%d/" % i for i in range(10000)),
            "empty names": "/" * 60000,
        }
        for shape, folders in shapes.items():
            with self.subTest(shape):
                path = container(self.tmp / "deep.olm", [("Local/store/" + folders + "message_1.xml", mail, "mail")])
                report, _ = self.scan_within_budget(path)
                self.assertEqual(report["counts"]["mails"], 1)
                holding = [f for f in report["folders"] if int(f["items"]) == 1]
                self.assertEqual(len(holding), 1)
                self.assertEqual(holding[0]["path"], folders[:-1])
        # Many mails deep in one tree: every lookup of a known path costs its length.
        entries = [("Local/store/" + "b/" * 2000 + "c%d/message_1.xml" % i, mail, "mail") for i in range(400)]
        report, _ = self.scan_within_budget(container(self.tmp / "wide.olm", entries))
        self.assertEqual(report["counts"]["mails"], 400)

    def test_attachment_lists_decode_in_linear_time(self):
        count = 60000
        nested = b"&" + b"amp;" * (2 * count) + b"lt;"
        entries = [("Local/s/Inbox/com.microsoft.__Attachments/m_%05d" % i, b"x", "attachment") for i in range(count)]
        listed = b"".join(
            b'<messageAttachment xml:space="preserve" OPFAttachmentContentType="text/plain" OPFAttachmentName="'
            + (nested if i == 0 else b"a%d" % i) + b'" OPFAttachmentURL="Local/s/Inbox/com.microsoft.__Attachments/m_%05d">'
            % i + b"</messageAttachment>" for i in range(count))
        attachments = b'<OPFMessageCopyAttachmentList xml:space="preserve">' + listed + b"</OPFMessageCopyAttachmentList>"
        entries.append(("Local/s/Inbox/message_00001.xml", mail_document(b"Many", attachments), "mail"))
        report, _ = self.scan_within_budget(container(self.tmp / "attachments.olm", entries), "--items")
        mail = report["items"]["mails"][0]
        self.assertEqual(len(mail["attachments"]), count)
        # Decoded once per entry from it on, as the list is decoded as a whole after
        # each one: count decodings leave count levels ("；" stands in for ";" in names).
        self.assertEqual(mail["attachments"][0], "&" + "amp\uff1b" * count + "lt\uff1b")

    def test_pieces_without_an_item_are_no_items(self):
        kinds = {"mails": (b"<emails x>", b"</email>", b"</emails>"),
                 "contacts": (b"<contacts x>", b"</contact>", b"</contacts>"),
                 "calendars": (b"<appointments x>", b"</appointment>", b"</appointments>"),
                 "tasks": (b"<tasks x>", b"</task>", b"</tasks>"),
                 "notes": (b"<notes x>", b"</note>", b"</notes>")}
        for kind, (start, item_end, end) in kinds.items():
            with self.subTest(kind):
                path = self.tmp / "bare.olm"
                path.write_bytes(make_olm.ContainerWriter(None)._local_header(b"Accounts/", 0, 0)
                                 + NOTES_DOCUMENT + start + item_end * 200000 + end)
                result = run_cli(self, "scan", "--json", path, timeout=LINEAR_BUDGET_SECONDS)
                report = json.loads(result.stdout)
                self.assertEqual(report["counts"][kind], 1 if kind == "notes" else 0)

    def test_record_memory_is_watched(self):
        contact = (b'<contact xml:space="preserve"><OPFContactCopyFirstName xml:space="preserve">Ann'
                   b'</OPFContactCopyFirstName></contact>')
        path = container(self.tmp / "contacts.olm", [
            ("Local/Notes/Notes.xml", NOTES_DOCUMENT, "notes"),
            ("Local/Address Book/Contacts.xml", b'<contacts xml:space="preserve">' + contact * 20000 + b"</contacts>",
             "contacts"),
            ("Local/Tasks/Tasks.xml", b'<tasks xml:space="preserve"><task xml:space="preserve"></task></tasks>', "tasks")])
        result = run_cli(self, "scan", "--json", "--record-memory", "32", path, timeout=LINEAR_BUDGET_SECONDS)
        self.assertEqual(result.returncode, EXIT_INCOMPLETE, result.stderr)
        report = json.loads(result.stdout)
        # What was found before the limit is kept, the walk ends there, and the scan says so.
        self.assertEqual(report["counts"]["notes"], 1)
        self.assertGreater(report["counts"]["contacts"], 1000)
        self.assertLess(report["counts"]["contacts"], 20000)
        self.assertEqual(report["counts"]["tasks"], 0)
        self.assertTrue(report["incomplete"])
        self.assertIn("memory set aside", result.stderr.decode())
        # Without a limit given, the whole file fits in the default one.
        report, _ = self.scan_within_budget(path)
        self.assertEqual(report["counts"]["contacts"], 20000)
        self.assertEqual(report["counts"]["tasks"], 1)
        self.assertFalse(report["incomplete"])

    def test_details_count_against_record_memory(self):
        # Tasks have small records, but each keeps a 20 KB category name beside its
        # record: what the scan keeps beside the records is watched like the records.
        name = b"c" * 20000
        task = (b'<task xml:space="preserve"><OPFTaskCopyName xml:space="preserve">T</OPFTaskCopyName>'
                b'<OPFTaskCopyCategoryList xml:space="preserve"><category xml:space="preserve" '
                b'OPFCategoryCopyBackgroundColor="r:0.89 g:0.15 b:0.15" OPFCategoryCopyName="' + name
                + b'"></category></OPFTaskCopyCategoryList></task>')
        path = container(self.tmp / "tasks.olm", [
            ("Local/Tasks/Tasks.xml", b'<tasks xml:space="preserve">' + task * 300 + b"</tasks>", "tasks"),
            ("Local/Notes/Notes.xml", NOTES_DOCUMENT, "notes")])
        result = run_cli(self, "scan", "--json", "--record-memory", "2", path, timeout=LINEAR_BUDGET_SECONDS)
        self.assertEqual(result.returncode, EXIT_INCOMPLETE, result.stderr)
        report = json.loads(result.stdout)
        self.assertGreater(report["counts"]["tasks"], 10)
        self.assertLess(report["counts"]["tasks"], 300)
        self.assertEqual(report["counts"]["notes"], 0)
        self.assertTrue(report["incomplete"])
        self.assertLessEqual(report["recordBytes"], 2 << 20)
        self.assertIn("memory set aside", result.stderr.decode())
        report, _ = self.scan_within_budget(path)
        self.assertEqual(report["counts"]["tasks"], 300)
        self.assertFalse(report["incomplete"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
