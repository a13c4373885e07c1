"""mendora-cli save, read back with Python's own mail readers: every mail of a sample
appears once in the mbox of its folder with its subject, sender, date and body, and
every attachment decodes to exactly the bytes stored in the .olm file."""
import datetime
import email.header
import email.policy
import email.utils
import hashlib
import json
import mailbox
import os
import re
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path
from xml.sax.saxutils import unescape

from olmtest import SAMPLES, GeneratedFiles, cli_path, run_cli, utf8_declared

EXIT_NOT_ALL_WRITTEN = 1
EXIT_NO_BUNDLE = 4
EXIT_UNKNOWN_FOLDER = 5
EXIT_STOPPED = 6
BODY = re.compile(rb'<OPFMessageCopyBody xml:space="preserve">(.*?)</OPFMessageCopyBody>', re.S)
# A destination no shell would take unquoted.
AWKWARD_NAME = "it's a \"dir\" (copy) $HOME"


def decoded(value):
    """A header's text: encoded words decoded, bare 8-bit bytes read as Latin-1."""
    if value is None:
        return None
    return "".join(part.decode(charset if charset not in (None, "unknown-8bit") else "latin-1")
                   if isinstance(part, bytes) else part
                   for part, charset in email.header.decode_header(value))


def saved_bundle(testcase, result):
    """The bundle path and per-kind counts that a save printed."""
    output = result.stdout.decode("utf-8")
    bundle = re.search(r"^Bundle: (.*)$", output, re.M)
    written = re.search(r"^Written: (\d+) mails, (\d+) contacts, (\d+) calendar events, (\d+) tasks, (\d+) notes$",
                        output, re.M)
    testcase.assertTrue(bundle and written, output + result.stderr.decode("utf-8", "replace"))
    return Path(bundle.group(1)), [int(n) for n in written.groups()]


def read_mboxes(bundle, scratch):
    """{folder path: [messages]} for every mbox file, read after turning its line ends into LF
    (the LF copy goes to scratch)."""
    folders = {}
    mail_root = bundle / "Mail"
    for path in sorted(mail_root.rglob("*.mbox")) if mail_root.exists() else []:
        data = path.read_bytes().replace(b"\r\n", b"\n").replace(b"\r", b"\n")
        copy = Path(scratch) / "lf.mbox"
        copy.write_bytes(data)
        folder = str(path.parent.relative_to(mail_root))
        box = mailbox.mbox(str(copy), create=False)
        folders[folder] = [email.message_from_bytes(m.as_bytes(), policy=email.policy.compat32) for m in box]
        box.close()
        copy.unlink()
    return folders


def expected_body(olm_bytes, entries, mail):
    entry = entries[mail["entry"]]
    match = BODY.search(olm_bytes, entry["data"], entry["data"] + entry["size"])
    # The archive's writer decodes the escaped HTML's own &lt; and &gt; as well.
    html = unescape(match.group(1).decode("utf-8")).replace("\r", "\n")
    return utf8_declared(html.replace("&lt;", "<").replace("&gt;", ">"))


def text_part(message):
    for part in message.walk():
        if part.get_content_maintype() == "text" and not part.get_filename():
            return part.get_payload(decode=True).decode("utf-8")
    return None


def attachment_digests(message):
    return {decoded(part.get_filename()): hashlib.sha256(part.get_payload(decode=True)).hexdigest()
            for part in message.walk() if part.get_filename()}


class SavedBundles(GeneratedFiles):
    """Reading a saved bundle back."""

    def read_mboxes(self, bundle):
        return read_mboxes(bundle, self.tmp)

    def save(self, olm, destination, *options):
        destination.mkdir(parents=True, exist_ok=True)
        return run_cli(self, "save", olm, destination, *options)

    def assert_mails_whole(self, testcase_name, olm, manifest, folders, complete=True):
        """Every message read back belongs to the sample and carries what the sample holds;
        with complete, every surviving mail is there exactly once."""
        olm_bytes = Path(olm).read_bytes()
        entries = {e["name"]: e for e in manifest["entries"]}
        by_id = {m["messageId"]: m for m in manifest["mails"] if m["survives"]}
        seen = []
        for folder, messages in folders.items():
            for message in messages:
                with self.subTest(testcase_name, folder=folder, message_id=message["Message-ID"]):
                    mail = by_id.get(message["Message-ID"])
                    self.assertIsNotNone(mail, "a message the sample does not hold")
                    seen.append(message["Message-ID"])
                    self.assertEqual(folder, mail["scanFolder"] or "Folder1")
                    self.assertEqual(decoded(message["Subject"]), mail["subject"])
                    if mail["from"] is None:  # a draft without a sender
                        self.assertIsNone(message["From"])
                    else:
                        name, address = email.utils.parseaddr(decoded(message["From"]))
                        self.assertEqual(address, mail["from"])
                        self.assertEqual(decoded(name), mail["fromName"].replace(",", ""))
                    # Every mail is dated when it was sent; one without a sent time when it arrived.
                    moment = datetime.datetime.strptime(mail["sent"] or mail["received"], "%Y-%m-%dT%H:%M:%S")
                    self.assertEqual(email.utils.parsedate_to_datetime(message["Date"]),
                                     moment.replace(tzinfo=datetime.timezone.utc))
                    self.assertEqual([a.strip() for a in message["To"].split(",")],
                                     ["%s <%s>" % (a, a) for a in mail["to"]])
                    self.assertEqual(text_part(message).strip("\n"),
                                     expected_body(olm_bytes, entries, mail).strip("\n"))
                    kept = [a for a in mail["attachments"] if a["found"]]
                    self.assertEqual(attachment_digests(message), {a["name"]: a["sha256"] for a in kept})
        self.assertEqual(len(seen), len(set(seen)), "a mail written twice")
        if complete:
            self.assertEqual(sorted(seen), sorted(by_id))
        return seen


class SaveRoundTrip(SavedBundles):

    def test_samples_round_trip(self):
        for sample in ("intact", "damaged"):
            with self.subTest(sample):
                olm = SAMPLES / (sample + ".olm")
                manifest = json.loads((SAMPLES / (sample + ".json")).read_text(encoding="utf-8"))
                result = self.save(olm, self.tmp / sample / AWKWARD_NAME)
                bundle, written = saved_bundle(self, result)
                self.assertEqual(bundle.parent, self.tmp / sample / AWKWARD_NAME)
                self.assertRegex(bundle.name, r"^Main Identity\(\d+ \w+ \d{4},\d\d-\d\d-\d\d\)\.rge$")
                self.assertEqual((bundle / "Contents" / "PkgInfo").read_bytes(), b"rge OPIM")
                counts = manifest["expected"]["counts"]
                self.assertEqual(written[0], counts["mails"])
                # Whatever was not written is named, and is no mail.
                unwritten = result.stderr.decode("utf-8").splitlines()[1:]
                self.assertEqual(result.returncode, EXIT_NOT_ALL_WRITTEN if unwritten else 0)
                self.assertEqual(sum(written) + len(unwritten), sum(counts.values()))
                self.assertFalse([line for line in unwritten if line.strip().startswith("mail ")])
                self.assert_mails_whole(sample, olm, manifest, self.read_mboxes(bundle))

    def test_chosen_folders_only(self):
        olm = SAMPLES / "intact.olm"
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        result = self.save(olm, self.tmp / "inbox", "--folder", "On My Computer/Inbox")
        self.assertEqual(result.returncode, 0, result.stderr)
        bundle, written = saved_bundle(self, result)
        folders = self.read_mboxes(bundle)
        self.assertEqual(set(folders), {"On My Computer/Inbox", "On My Computer/Inbox/Projects",
                                        "On My Computer/Inbox/Projects/2010"})
        inbox_mails = [m for m in manifest["mails"] if m["scanFolder"].startswith("On My Computer/Inbox")]
        self.assertEqual(written, [len(inbox_mails), 0, 0, 0, 0])
        self.assertEqual(sorted(self.assert_mails_whole("inbox", olm, manifest, folders, complete=False)),
                         sorted(m["messageId"] for m in inbox_mails))

    def test_unknown_folder_is_an_error(self):
        destination = self.tmp / "unknown"
        result = self.save(SAMPLES / "intact.olm", destination, "--folder", "On My Computer/Inbox",
                           "--folder", "No Such Folder")
        self.assertEqual(result.returncode, EXIT_UNKNOWN_FOLDER)
        self.assertIn("No Such Folder", result.stderr.decode("utf-8"))
        self.assertEqual(list(destination.iterdir()), [])

    def test_abort_leaves_whole_items(self):
        olm, manifest = self.generate("big.olm", "--mails", 20, "--size", "120MiB", "--large-attachment-size",
                                      "6MiB", "--contacts", 0, "--events", 0, "--tasks", 0, "--notes", 0)
        destination = self.tmp / "stopped"
        destination.mkdir()
        environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8")
        process = subprocess.Popen([cli_path(), "save", str(olm), str(destination)], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, env=environment)
        # Stop as soon as the first mbox file holds a message.
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            if any(p.stat().st_size > 0 for p in destination.rglob("*.mbox")):
                break
            time.sleep(0.005)
        process.send_signal(signal.SIGINT)
        stdout, stderr = process.communicate(timeout=120)
        if process.returncode != EXIT_STOPPED:
            self.skipTest("the save ended before it could be stopped (exit %d)" % process.returncode)
        self.assertIn("Saving Process Aborted. Files Saved Partially.", stderr.decode("utf-8"))
        result = subprocess.CompletedProcess([], process.returncode, stdout, stderr)
        bundle, written = saved_bundle(self, result)
        self.assertLess(written[0], manifest["expected"]["counts"]["mails"])
        seen = self.assert_mails_whole("stopped", olm, manifest, self.read_mboxes(bundle), complete=False)
        self.assertEqual(len(seen), written[0])


class SaveFailures(SavedBundles):
    """A destination that refuses writes is reported as a failure, never as success."""

    def setUp(self):
        super().setUp()
        self.mounts = []

    def tearDown(self):
        for path in self.mounts:
            subprocess.run(["umount", str(path)], capture_output=True)
        super().tearDown()

    def mount_tmpfs(self, path, options):
        path.mkdir()
        if os.geteuid() != 0:
            return False
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(path)], capture_output=True)
        if done.returncode != 0:
            return False
        self.mounts.append(path)
        return True

    def test_read_only_destination(self):
        destination = self.tmp / "read-only"
        if not self.mount_tmpfs(destination, "ro,size=1m"):
            if os.geteuid() == 0:
                self.skipTest("cannot mount a read-only file system here")
            destination.chmod(0o555)
            self.addCleanup(destination.chmod, 0o755)
        result = run_cli(self, "save", SAMPLES / "intact.olm", destination)
        self.assertEqual(result.returncode, EXIT_NO_BUNDLE, result.stdout)
        self.assertIn("could not be created", result.stderr.decode("utf-8"))
        self.assertNotIn(b"Written:", result.stdout)

    def test_full_disk(self):
        destination = self.tmp / "full"
        if not self.mount_tmpfs(destination, "size=48k"):
            self.skipTest("cannot mount a small file system here")
        olm = SAMPLES / "intact.olm"
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        result = run_cli(self, "save", olm, destination, "--folder", "On My Computer")
        self.assertEqual(result.returncode, EXIT_NOT_ALL_WRITTEN, result.stderr)
        bundle, written = saved_bundle(self, result)
        unwritten = [l for l in result.stderr.decode("utf-8").splitlines() if l.startswith("  mail ")]
        self.assertTrue(unwritten)
        self.assertEqual(written[0] + len(unwritten), manifest["expected"]["counts"]["mails"])
        # What did reach the disk are whole messages.
        seen = self.assert_mails_whole("full", olm, manifest, self.read_mboxes(bundle), complete=False)
        self.assertEqual(len(seen), written[0])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
