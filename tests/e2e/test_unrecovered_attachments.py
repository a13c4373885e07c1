"""Attachments lost to damage are named in the saved mail itself: every attachment a
mail lists is, in the saved message, either attached or named (with the size the mail
gives) in one inline text part after the body, never both and never neither. Read back
with Python's email package from the standard mbox, the .eml files and the bundle's
mbox; every message that carries such a part reads without defects."""
import collections
import email
import email.header
import email.policy
import mailbox
import re
import unittest
from pathlib import Path

from olmtest import GeneratedFiles, make_olm, run_cli

NOTE_TITLE = "Attachments that could not be recovered"
NOTED = re.compile(r"^  (.*?)(?: \(([\d,]+) bytes?\))?$")
# Damage that leaves a few mails listing attachments the scan cannot find.
DAMAGE = ["--seed", "5", "--mails", "400", "--contacts", "100", "--events", "50", "--tasks", "25", "--notes", "12",
          "--wipe-headers", "0.3", "--zero-crc", "0.2", "--garbage-between", "--garbage-inside", "0.1",
          "--drop-end-tags", "0.1", "--zero-fill", "5", "--truncate", "-50000"]


def parsed(data):
    return email.message_from_bytes(data, policy=email.policy.default)


def mbox_messages(root, line_ends_cr=False):
    """Every message of every .mbox file below root; the bundle's CR line ends read as LF."""
    messages = []
    for path in sorted(Path(root).rglob("*.mbox")):
        if line_ends_cr:
            copy = path.with_suffix(".lf")
            copy.write_bytes(path.read_bytes().replace(b"\r\n", b"\n").replace(b"\r", b"\n"))
            path = copy
        box = mailbox.mbox(str(path), create=False)
        try:
            messages += [parsed(box.get_bytes(key)) for key in box.keys()]
        finally:
            box.close()
    return messages


def eml_messages(root):
    return [parsed(path.read_bytes()) for path in sorted(Path(root).rglob("*.eml"))]


def file_name(part):
    """The attachment's name; encoded words in a quoted parameter (the bundle's) decoded."""
    name = part.get_filename() or ""
    return str(email.header.make_header(email.header.decode_header(name))) if "=?" in name else name


def defects(message, in_headers):
    """The defects of every part; with in_headers, of every header too."""
    found = []
    for part in message.walk():
        found += ["%s: %r" % (part.get_content_type(), d) for d in part.defects]
        for name, value in part.items() if in_headers else ():
            found += ["%s: %r" % (name, d) for d in getattr(value, "defects", ())]
    return found


FOLDER = make_olm.MESSAGES_ROOT + "/On My Computer/Inbox"


def mail_xml(number, body, attachments):
    """A received mail listing attachments: (name, size, found); the found ones go before it."""
    listed = [{"name": name, "size": size, "contentId": None, "contentType": "application/pdf",
               "url": "%s/%s/%d_%04d" % (FOLDER, make_olm.ATTACHMENTS_DIR, 200 + number, index)}
              for index, (name, size, _) in enumerate(attachments)]
    mail = {"toEntries": [("ann@example.com", "Ann")], "from": "bob@example.com", "fromName": "Bob", "cc": [],
            "bcc": [], "subject": "Mail %d" % number, "sent": "2018-06-18T16:30:00",
            "received": "2018-06-18T16:30:05", "messageIdXml": "mail%d@example.com" % number, "inReplyTo": None,
            "priority": 3, "flagged": False, "categories": [], "outgoing": False, "read": True,
            "attachments": listed, "bodyXml": body, "htmlBody": False}
    return make_olm.mail_item(mail), listed


def hand_made_export(path, rows):
    """One mail a row, its found attachments stored directly before it; the manifest's mails."""
    mails = []
    with open(path, "wb") as out:
        writer = make_olm.ContainerWriter(out)
        for number, (body, attachments) in enumerate(rows):
            xml, listed = mail_xml(number, body, attachments)
            for attachment, (_, size, found) in zip(listed, attachments):
                if found:
                    writer.file(attachment["url"], [bytes(size)], "attachment")
            writer.file("%s/message_%05d.xml" % (FOLDER, number),
                        make_olm.DocumentStream("mail", 1, [xml]).chunks(), "mail")
            mails.append({"messageId": "<mail%d@example.com>" % number, "subject": "Mail %d" % number,
                          "attachments": listed})
        writer.finish()
    return {"mails": mails}


class UnrecoveredAttachments(GeneratedFiles):
    def test_every_shape_of_message_names_what_it_lost(self):
        # A missing attachment stored nowhere: its size leaves no room for it before the mail.
        rows = [("A plain body.", [("report.pdf", 5000000, False)]),
                ("", [("lost.pdf", 2000000, False), ("other lost.pdf", 1, False)]),
                ("&lt;html&gt;&lt;body&gt;HTML&lt;/body&gt;&lt;/html&gt;",
                 [("kept.pdf", 300, True), ("gone.pdf", 7000000, False)]),
                ("Nothing lost.", [("kept.pdf", 300, True)])]
        olm = self.tmp / "hand-made.olm"
        manifest = hand_made_export(olm, rows)
        named = self.check_outputs(olm, manifest, whole_export=True)
        self.assertEqual(named, {"standard mbox": 3, "eml files": 3, "bundle mbox": 3})

    def test_every_listed_attachment_is_attached_or_named(self):
        olm, manifest = self.generate("damaged.olm", *DAMAGE)
        named = self.check_outputs(olm, manifest, whole_export=False)
        self.assertTrue(all(named.values()), "no mail of the damaged export lost an attachment: %s" % named)

    def check_outputs(self, olm, manifest, whole_export):
        """{output: how many messages carry a note}, each message checked against the manifest;
        whole_export: every mail of the manifest is saved."""
        listed = {m["messageId"].strip("<>"): m for m in manifest["mails"]}
        for output, options in (("standard", ["--format", "standard"]), ("eml", ["--format", "eml"]), ("bundle", [])):
            (self.tmp / output).mkdir()
            result = run_cli(self, "save", olm, self.tmp / output, *options)
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        # The bundle writes its address lines in the archive's own form ("a@b <a@b>"),
        # which Python's email reads as obsolete phrases: there, only the MIME structure counts.
        outputs = [("standard mbox", mbox_messages(self.tmp / "standard"), True),
                   ("eml files", eml_messages(self.tmp / "eml"), True),
                   ("bundle mbox", mbox_messages(self.tmp / "bundle", line_ends_cr=True), False)]
        named = {}
        for output, messages, header_defects in outputs:
            with self.subTest(output=output):
                if whole_export:
                    self.assertEqual(len(messages), len(manifest["mails"]))
                named[output] = 0
                for message in messages:
                    mail = listed.get(str(message["Message-ID"]).strip().strip("<>"))
                    if mail is None:
                        continue
                    notes = [part for part in message.walk() if part["Content-Description"] == NOTE_TITLE]
                    attached = collections.Counter(file_name(part) for part in message.walk()
                                                   if part.get_content_disposition() == "attachment")
                    noted = collections.Counter()
                    sizes = {}
                    for note in notes:
                        self.assertEqual((note.get_content_type(), note.get_content_disposition()),
                                         ("text/plain", "inline"))
                        lines = note.get_content().splitlines()
                        self.assertRegex(lines[0], r"^\d+ attachments? of this message could not be recovered")
                        for line in lines[2:]:
                            name, size = NOTED.match(line).groups()
                            noted[name] += 1
                            sizes[name] = int(size.replace(",", ""))
                    self.assertEqual(attached + noted, collections.Counter(a["name"] for a in mail["attachments"]),
                                     mail["subject"])
                    if noted:
                        named[output] += 1
                        self.assertEqual(len(notes), 1)
                        self.assertEqual(defects(message, header_defects), [], mail["subject"])
                        # The note follows the body; it stands first only in a message without one.
                        parts = message.get_payload()
                        at = [i for i, part in enumerate(parts) if part is notes[0]]
                        self.assertIn(at, ([0], [1]))
                        if at == [0]:
                            self.assertTrue(all(part.is_attachment() for part in parts[1:]))
                        self.assertEqual(sizes, {a["name"]: a["size"] for a in mail["attachments"]
                                                 if a["name"] in noted})
        return named


if __name__ == "__main__":
    unittest.main()
