"""mendora-cli upload against a real IMAP server: Debian's Dovecot on loopback ports with a
throwaway configuration and a certificate made for the test. What arrives is read back
over IMAP and compared with the standard export of the same file."""
import email.utils
import html
import json
import os
import re
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mailservers  # noqa: E402
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import SAMPLES, GeneratedFiles, cli_path  # noqa: E402
from test_hostile_input import container  # noqa: E402
from test_save_eml import FilterTable  # noqa: E402

ZONE = "America/Denver"
EXIT_NOT_ALL = 1
EXIT_NO_CONNECTION = 8
EXIT_USAGE = 64


def upload(*arguments, password=mailservers.PASSWORD, wait=True):
    environment = dict(os.environ, TZ=ZONE, LC_ALL="C.UTF-8", LANG="C.UTF-8", MENDORA_PASSWORD=password)
    command = [cli_path(), "upload", *map(str, arguments)]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment,
                                stdin=subprocess.DEVNULL)
    return subprocess.run(command, capture_output=True, timeout=600, env=environment, stdin=subprocess.DEVNULL)


def export_messages(mail_root):
    """{folder path: [message as IMAP carries it]} from the standard export's mbox files:
    each message without its separator line, marks and final empty line, mboxrd quoting undone,
    lines ended by CR LF."""
    folders = {}
    for mbox in sorted(mail_root.rglob("*.mbox")):
        folder = str(mbox.parent.relative_to(mail_root))
        data = mbox.read_bytes()
        chunks = re.split(rb"(?<=\n\n)(?=From )", data)
        messages = []
        for chunk in chunks:
            if not chunk:
                continue
            body = chunk.split(b"\n", 1)[1]
            assert body.endswith(b"\n\n"), folder
            # The marks a server keeps beside the message, not in it.
            body = re.sub(rb"\A((?:Status|X-Status): [^\n]*\n)+", b"", body)
            body = re.sub(rb"(?m)^>(>*From )", rb"\1", body[:-1])
            messages.append(body.replace(b"\n", b"\r\n"))
        folders[folder] = messages
    return folders


def message_id(data):
    return standardcheck.bare_id(standardcheck.parse_message(data)["Message-ID"])


@unittest.skipUnless(all(os.access(tool, os.X_OK) for tool in (mailservers.DOVECOT, mailservers.OPENSSL)),
                     "Dovecot or openssl is not installed here (tools/bootstrap.sh installs dovecot-imapd and "
                     "openssl); the IMAP upload is not tested")
class UploadToDovecot(GeneratedFiles):

    def export(self, olm):
        destination = self.tmp / ("export-" + olm.stem)
        destination.mkdir()
        result = standardcheck.save_standard(self, cli_path(), olm, destination, zone=ZONE)
        self.assertIn(result.returncode, (0, EXIT_NOT_ALL), result.stderr.decode(errors="replace"))
        return destination / ("%s (rescued)" % olm.stem) / "Mail"

    def assert_arrived_as_exported(self, boxes, expected, root, separator, manifest):
        """Every exported message in its mailbox, byte for byte and in order, its internal
        date the delivery time, \\Seen, \\Flagged and the categories as keywords as the export says."""
        marks = {standardcheck.bare_id(mail["messageId"]): standardcheck.expected_marks(mail) for mail in manifest["mails"]
                 if mail["messageId"]}
        delivered = {standardcheck.bare_id(mail["messageId"]): standardcheck.delivery_time(mail)
                     for mail in manifest["mails"] if mail["messageId"]}
        wanted = {}
        for folder, messages in expected.items():
            names = root + [name.replace(separator, "_") for name in folder.split("/")]
            if messages:  # the empty mboxes are the folders without mail, below
                wanted[separator.join(names)] = messages
        holding = {name: messages for name, messages in boxes.items() if messages}
        self.assertEqual(sorted(holding), sorted(wanted))
        # The folder tree: apart from the ones holding mail, their parents and the folders without mail.
        parents = {separator.join(name.split(separator)[:level])
                   for name in wanted for level in range(1, len(name.split(separator)))}
        empty = {separator.join(root + [n.replace(separator, "_") for n in folder.split("/")])
                 for folder in standardcheck.empty_folders(manifest)}
        self.assertLessEqual(empty, set(boxes))
        self.assertLessEqual(set(boxes) - set(wanted) - {"INBOX"}, parents | empty)
        for name, messages in wanted.items():
            with self.subTest(mailbox=name):
                self.assertEqual([data for data, _, _, _ in boxes[name]], messages)
                for data, internal, flags, _ in boxes[name]:
                    if message_id(data).endswith("@mendora.invalid"):  # made from the mail's content
                        continue
                    self.assertEqual(time.mktime(internal), delivered[message_id(data)].timestamp())
                    self.assertEqual(standardcheck.marks_of(flags), marks[message_id(data)], message_id(data))

    def test_realistic_and_damaged_files_arrive_as_the_standard_export_writes_them(self):
        # Mails without a usable Message-ID among them: a second run must know them too.
        realistic, realistic_manifest = self.generate("realistic.olm", "--realistic", "--mails", 40, "--seed", 5,
                                                      "--without-message-ids")
        damaged_manifest = json.loads((SAMPLES / "damaged.json").read_text(encoding="utf-8"))
        cases = [(realistic, realistic_manifest, "/", []), (SAMPLES / "damaged.olm", damaged_manifest, ".",
                                                             ["--into", "Old mail/damaged.olm export"])]
        for olm, manifest, separator, options in cases:
            with self.subTest(olm=olm.name, separator=separator):
                expected = export_messages(self.export(olm))
                count = sum(len(messages) for messages in expected.values())
                self.assertGreater(count, 0)
                root = ["Rescued", olm.stem] if not options else ["Old mail", "damaged_olm export"]
                with mailservers.Dovecot(separator=separator) as server:
                    result = upload(olm, server.url(), "--ca-file", server.certificate, *options)
                    self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                    self.assertIn(b"Uploaded: %d mails (0 already there)" % count, result.stdout)
                    # What an IMAP upload leaves behind is named, with the count the export holds.
                    left = re.search(rb"Not carried by this upload: (.*)\n", result.stdout).group(1).decode()
                    self.assertIn("%d contacts (no --carddav address was given)" % len(
                        [c for c in manifest["contacts"] if c["survives"]]), left)
                    self.assertNotIn("notes", left)
                    notes = [n for n in manifest["notes"] if n["survives"]]
                    self.assertTrue(notes)
                    into = options[1] if options else "/".join(root)
                    self.assertIn(b"Uploaded: %d notes into \"%s/Notes\" (0 already there)"
                                  % (len(notes), into.encode()), result.stdout)
                    imap = server.client()
                    boxes = mailservers.read_mailboxes(imap)
                    imap.logout()
                    self.assert_notes_as_apple_keeps_them(boxes.pop(separator.join(root + ["Notes"])), notes)
                    self.assert_arrived_as_exported(boxes, expected, root, separator, manifest)
                    # STARTTLS on the plain port, and a second run finds everything there.
                    again = upload(olm, server.url("imap"), "--ca-file", server.certificate, *options)
                    self.assertEqual(again.returncode, 0, again.stderr.decode(errors="replace"))
                    self.assertIn(b"Uploaded: 0 mails (%d already there)" % count, again.stdout)
                    self.assertIn(b"Uploaded: 0 notes into \"%s/Notes\" (%d already there)"
                                  % (into.encode(), len(notes)), again.stdout)

    def assert_notes_as_apple_keeps_them(self, messages, notes):
        """One message a note, which Apple Notes takes for its own: its type and identifier,
        the title as subject, the last change as date, the text in the HTML body."""
        by_title = {}
        for data, internal, flags, _ in messages:
            message = standardcheck.parse_message(data)
            self.assertEqual(standardcheck.defects_of(message), [])
            self.assertEqual(message["X-Uniform-Type-Identifier"], "com.apple.mail-note")
            self.assertRegex(message["X-Universally-Unique-Identifier"], r"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")
            self.assertIn(b"\\Seen", flags)
            by_title.setdefault(str(message["Subject"]), []).append((message, internal))
        self.assertEqual(sorted(by_title), sorted({n["title"] for n in notes}))
        for note in notes:
            with self.subTest(note=note["title"]):
                message, internal = by_title[note["title"]].pop(0)
                moment = standardcheck.utc(note["modified"])
                self.assertEqual(message["Date"].datetime, moment)
                self.assertEqual(time.mktime(internal), moment.timestamp())
                body = message.get_body(("html",)).get_content()
                lines = [html.unescape(line) for line in re.findall(r"<div>(.*?)</div>", body)]
                self.assertEqual([line for line in lines if line != "<br>"],
                                 [line for line in note["text"].splitlines() if line])

    def test_an_upload_cut_short_is_finished_by_running_it_again(self):
        olm, manifest = self.generate("cut.olm", "--realistic", "--mails", 300, "--seed", 11)
        expected = standardcheck.survivors(manifest, "mails")
        with mailservers.Dovecot() as server:
            maildir = server.home / "Maildir"
            running = upload(olm, server.url(), "--ca-file", server.certificate, wait=False)
            deadline = time.monotonic() + 120
            while len([p for p in maildir.rglob("*") if p.parent.name in ("new", "cur")]) < 10:
                self.assertIsNone(running.poll(), "the upload ended before the server was stopped")
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.01)
            # The upload is held while the server goes away, however fast both are.
            running.send_signal(signal.SIGSTOP)
            server.stop()
            running.send_signal(signal.SIGCONT)
            output, errors = running.communicate(timeout=300)
            self.assertEqual(running.returncode, EXIT_NOT_ALL, errors.decode(errors="replace"))
            self.assertIn(b"Not uploaded", errors)
            self.assertIn(b"connection", errors)
            first = int(re.search(rb"Uploaded: (\d+) mails", output).group(1))
            # Every mail the run did not upload is named.
            self.assertGreaterEqual(errors.count(b"\n  mail "), len(expected) - first - 1)

            server.start()
            result = upload(olm, server.url(), "--ca-file", server.certificate)
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            uploaded, there = map(int, re.search(rb"Uploaded: (\d+) mails \((\d+) already there\)",
                                                 result.stdout).groups())
            self.assertEqual(uploaded + there, len(expected))
            self.assertGreaterEqual(there, first)
            imap = server.client()
            boxes = mailservers.read_mailboxes(imap)
            imap.logout()
        notes = boxes.pop("Rescued/cut/Notes")
        self.assertEqual(len(notes), len(standardcheck.survivors(manifest, "notes")))
        ids = sorted(message_id(data) for messages in boxes.values() for data, _, _, _ in messages)
        self.assertEqual(ids, sorted(standardcheck.bare_id(mail["messageId"]) for mail in expected))

    def test_folders_the_separator_would_merge_get_mailboxes_of_their_own(self):
        # On a server that separates levels with ".", "v1.0" and "v1_0" would both be
        # "v1_0"; two different mails with one Message-ID, one in each.
        def mail(subject):
            return (b'<emails xml:space="preserve" elementCount="1"><email xml:space="preserve">'
                    b'<OPFMessageCopySubject xml:space="preserve">' + subject + b'</OPFMessageCopySubject>'
                    b'<OPFMessageCopyReceivedTime xml:space="preserve">2018-06-18T16:31:00</OPFMessageCopyReceivedTime>'
                    b'<OPFMessageCopyMessageID xml:space="preserve">same@example.com</OPFMessageCopyMessageID>'
                    b'</email></emails>')
        root = "Local/com.microsoft.__Messages/On My Computer/"
        olm = container(self.tmp / "versions.olm", [(root + "v1.0/message_00000.xml", mail(b"first"), "mail"),
                                                   (root + "v1_0/message_00000.xml", mail(b"second"), "mail")])
        with mailservers.Dovecot(separator=".") as server:
            for run, expected in enumerate([b"Uploaded: 2 mails (0 already there)",
                                            b"Uploaded: 0 mails (2 already there)"]):
                result = upload(olm, server.url(), "--ca-file", server.certificate)
                self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                self.assertIn(expected, result.stdout)
                self.assertIn(b'Folder "On My Computer/v1_0": its mails are in the mailbox '
                              b'"Rescued.versions.On My Computer.v1_0 (2)"', result.stderr)
            imap = server.client()
            boxes = mailservers.read_mailboxes(imap)
            imap.logout()
        subjects = {name: [standardcheck.parse_message(data)["Subject"] for data, _, _, _ in messages]
                    for name, messages in boxes.items() if messages}
        self.assertEqual(subjects, {"Rescued.versions.On My Computer.v1_0": ["first"],
                                    "Rescued.versions.On My Computer.v1_0 (2)": ["second"]})

    def test_a_mail_larger_than_the_server_takes_is_named_before_it_is_sent(self):
        limit = 6000
        olm = SAMPLES / "intact.olm"
        expected = export_messages(self.export(olm))
        sizes = sorted(len(data) for messages in expected.values() for data in messages)
        self.assertTrue(sizes[0] <= limit < sizes[-1], sizes)
        # Dovecot announces the limit (RFC 7889) without keeping to it: only the program can.
        with mailservers.Dovecot(configuration="imap_capability = +APPENDLIMIT=%d\n" % limit) as server:
            result = upload(olm, server.url(), "--ca-file", server.certificate)
            self.assertEqual(result.returncode, EXIT_NOT_ALL, result.stderr.decode(errors="replace"))
            too_large = len([size for size in sizes if size > limit])
            self.assertEqual(result.stderr.count(b"bytes the server takes in one message (APPENDLIMIT %d)" % limit),
                             too_large, result.stderr)
            self.assertIn(b"Uploaded: %d mails" % (len(sizes) - too_large), result.stdout)
            imap = server.client()
            boxes = mailservers.read_mailboxes(imap)
            imap.logout()
        self.assertTrue(all(len(data) <= limit for messages in boxes.values() for data, _, _, _ in messages))

    def test_refusals_say_why_and_never_upload_twice(self):
        olm = SAMPLES / "intact.olm"
        with mailservers.Dovecot() as server:
            trusted = ["--ca-file", server.certificate]
            cases = [
                ("wrong password", [server.url(), *trusted], "not the password", EXIT_NO_CONNECTION,
                 b"refused the login of rescuer"),
                ("unknown host", ["imaps://rescuer@no-such-host.invalid", *trusted], mailservers.PASSWORD,
                 EXIT_NO_CONNECTION, b'The server "no-such-host.invalid" is not known'),
                ("certificate not trusted", [server.url()], mailservers.PASSWORD, EXIT_NO_CONNECTION,
                 b"is not trusted, so nothing was sent to it (The certificate is self-signed, and untrusted). "
                 b"Its SHA-256 fingerprint is %s.\nA server's own certificate can be trusted with --ca-file."
                 % server.fingerprint().encode()),
                ("refused mailbox name", [server.url(), *trusted, "--into", "Rescued/" + "x" * 300],
                 mailservers.PASSWORD, EXIT_NOT_ALL, b"the server refused to create the folder"),
                ("password in the address", [server.url().replace("rescuer@", "rescuer:secret@"), *trusted],
                 mailservers.PASSWORD, EXIT_USAGE, b"the password does not belong in the address"),
                ("plain without --no-tls", [server.url("imaps"), "--no-tls"], mailservers.PASSWORD, EXIT_USAGE,
                 b"--no-tls goes with imap:// only"),
            ]
            for name, arguments, password, status, message in cases:
                with self.subTest(name):
                    result = upload(olm, *arguments, password=password)
                    self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))
                    self.assertIn(message, result.stderr)
                    self.assertNotIn(password.encode(), result.stdout + result.stderr)
                    self.assertNotIn(b"Uploaded: 1", result.stdout)
            refused = upload(olm, server.url(), *trusted, "--into", "Rescued/" + "x" * 300)
            # A failure here says why, with what the server logged.
            why = refused.stderr.decode(errors="replace") + server.log()[-4000:]
            self.assertEqual(refused.returncode, EXIT_NOT_ALL, why)
            self.assertEqual(refused.stderr.count(b"\n  mail "), 20, why)

            # Plain IMAP only when asked for, and then every mail once.
            result = upload(olm, server.url("imap"), "--no-tls")
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
            self.assertTrue(result.stderr.startswith(b"Warning: --no-tls sends the password"), result.stderr)
            self.assertIn(b"Uploaded: 20 mails (0 already there)", result.stdout)
            imap = server.client()
            boxes = mailservers.read_mailboxes(imap)
            imap.logout()
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        self.assertEqual(len(boxes.pop("Rescued/intact/Notes")), len(standardcheck.survivors(manifest, "notes")))
        self.assertEqual(sum(len(messages) for messages in boxes.values()), 20)


@unittest.skipUnless(all(os.access(tool, os.X_OK) for tool in (mailservers.DOVECOT, mailservers.OPENSSL)),
                     "Dovecot or openssl is not installed here; the filtered upload is not tested")
class UploadFiltered(FilterTable, GeneratedFiles):

    def test_filters_choose_the_mails_uploaded_and_count_the_rest(self):
        self.make_filtered_export()
        rows = self.rows(ZONE)
        with mailservers.Dovecot() as server:
            for number, (options, wanted) in enumerate(rows):
                with self.subTest(options=options):
                    result = upload(self.olm, server.url(), "--ca-file", server.certificate, "--into",
                                    "Filtered/%d" % number, *options)
                    self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                    folder = options[options.index("--folder") + 1] if "--folder" in options else None
                    scope = [m for m in self.mails if folder is None or m["scanFolder"] == folder
                             or m["scanFolder"].startswith(folder + "/")]
                    taken = len([m for m in scope if wanted(m)])
                    output = result.stdout.decode()
                    self.assertIn("Uploaded: %d mails (0 already there)\n" % taken, output)
                    description = re.search(r"^Only the mails (.+)$", output, re.M).group(1)
                    left = re.search(r"Not carried by this upload: (.*)", output).group(1)
                    if len(scope) > taken:
                        self.assertIn("%d mails (not chosen by the filter: %s)" % (len(scope) - taken, description),
                                      left)
                    # Under a filter only mails go: the notes stay behind, and say why.
                    if folder is None:
                        self.assertRegex(left, r"\d+ notes \(the filter chooses mails only\)")
            imap = server.client()
            boxes = mailservers.read_mailboxes(imap)
            imap.logout()
        for number, (options, wanted) in enumerate(rows):
            with self.subTest(options=options):
                root = "Filtered/%d/" % number
                self.assertNotIn(root + "Notes", boxes)
                arrived = sorted(message_id(data) for name, messages in boxes.items() if name.startswith(root)
                                 for data, _, _, _ in messages)
                self.assertEqual(arrived, sorted(m["id"] for m in self.mails if wanted(m)))


if __name__ == "__main__":
    unittest.main()
