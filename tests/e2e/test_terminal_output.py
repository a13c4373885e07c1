"""What mendora-cli shows people: names, subjects and file names from the export never
reach a terminal or a report raw, whatever control characters they hold; and a report
that never reached standard output is a failure, not a success."""
import os
import re
import subprocess
import unittest

from olmtest import CLI_TIMEOUT, GeneratedFiles, cli_path, make_olm, run_cli

MESSAGES = "Local/com.microsoft.__Messages/On My Computer/"
# Every control character a UTF-8 name can carry (NUL ends a name before it is read):
# C0, DEL and C1, alone and in the sequences terminals act on.
EVERY_CONTROL = "".join(map(chr, [*range(1, 0x20), 0x7F, *range(0x80, 0xA0)]))
HOSTILE_NAMES = ["title \x1b]0;owned\x07", "clip \x1b]52;c;cm0gLXJmIH4=\x07", "clear \x1b[2J\x1b[H",
                 "csi \x9b31m", "over\rprinted", "all " + EVERY_CONTROL]
# Raw control bytes a reader would act on: C0 other than the line end, DEL, and C1 in UTF-8.
RAW_CONTROL = re.compile(rb"[\x00-\x08\x0b-\x1f\x7f]|\xc2[\x80-\x9f]")
EXIT_OUTPUT_FAILED = 9
LINE_BREAKS = re.compile("[\t\n\v\f\r\x85]")


def visible(text):
    """How a name reads once its control characters are shown as escapes."""
    escapes = {"\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r"}
    out = []
    for character in text:
        code = ord(character)
        if character in escapes:
            out.append(escapes[character])
        elif code < 0x20 or code == 0x7F:
            out.append("\\x%02x" % code)
        elif 0x80 <= code < 0xA0:
            out.append("\\u%04x" % code)
        else:
            out.append(character)
    return "".join(out).encode()


def mail_document(subject, attachment_url):
    listing = ('<OPFMessageCopyAttachmentList xml:space="preserve"><messageAttachment xml:space="preserve" '
               'OPFAttachmentContentType="text/plain" OPFAttachmentName="gone.txt" OPFAttachmentURL="%s">'
               '</messageAttachment></OPFMessageCopyAttachmentList>' % attachment_url)
    return ('<emails xml:space="preserve" elementCount="1"><email xml:space="preserve">'
            '<OPFMessageCopySubject xml:space="preserve">%s</OPFMessageCopySubject>'
            '<OPFMessageCopyReceivedTime xml:space="preserve">2018-06-18T16:31:00</OPFMessageCopyReceivedTime>'
            '%s</email></emails>' % (subject, listing)).encode()


class TerminalOutput(GeneratedFiles):

    def hostile_export(self):
        """One mail per hostile name, in a folder of that name, with that subject and an
        attachment that is not in the file (so the account of losses names the mail)."""
        path = self.tmp / "hostile.olm"
        with open(path, "wb") as out:
            writer = make_olm.ContainerWriter(out)
            for number, name in enumerate(HOSTILE_NAMES):
                folder = MESSAGES + name
                document = mail_document(name, "%s/com.microsoft.__Attachments/%d_0000" % (folder, number))
                writer.file("%s/message_%05d.xml" % (folder, number), [document], "mail")
            writer.finish()
        return path

    def assert_shown_visibly(self, what, data, structure=b"\n"):
        """No raw control character but the output's own structure, and every name in its escaped form."""
        for character in structure:
            data = data.replace(bytes([character]), b" ")
        self.assertIsNone(RAW_CONTROL.search(data), "%s: %r" % (what, data[:3000]))

    def test_names_reach_every_human_readable_output_as_visible_escapes(self):
        olm = self.hostile_export()
        scan = run_cli(self, "scan", olm)
        self.assertEqual(scan.returncode, 0, scan.stderr)
        self.assert_shown_visibly("scan", scan.stdout + scan.stderr)
        for name in HOSTILE_NAMES:
            self.assertIn(visible(name), scan.stdout)

        destination = self.tmp / "out"
        destination.mkdir()
        save = run_cli(self, "save", olm, destination, "--format", "standard")
        self.assert_shown_visibly("save", save.stdout + save.stderr)
        report = (destination / "hostile (rescued)" / "Rescue report.txt").read_bytes()
        self.assert_shown_visibly("Rescue report.txt", report)
        for name in HOSTILE_NAMES:
            self.assertIn(visible(name) + b": 1 mails", report)
            if not LINE_BREAKS.search(name):  # the scan reads those as spaces in a subject
                self.assertIn(b'"' + visible(name) + b'"', report)

        # Usage errors repeat the argument they refuse.
        usage = run_cli(self, "scan", "--\x1b]0;x\x07")
        self.assertIn(b"\\x1b]0;x\\x07", usage.stderr)
        self.assert_shown_visibly("usage error", usage.stderr)

        found = self.tmp / "found"
        found.mkdir()
        for name in HOSTILE_NAMES:
            os.link(olm, found / (name + ".olm"))
        listing = run_cli(self, "find", found)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assert_shown_visibly("find", listing.stdout + listing.stderr, structure=b"\n\t")
        self.assertEqual(sorted(line.split(b"\t")[0].rsplit(b"/", 1)[1] for line in listing.stdout.splitlines()),
                         sorted(visible(name + ".olm") for name in HOSTILE_NAMES))

    def test_a_report_that_cannot_reach_standard_output_fails(self):
        olm = self.hostile_export()
        commands = {
            "scan": ["scan", olm],
            "scan --json --items": ["scan", "--json", "--items", olm],
            "find": ["find", self.tmp],
            "save --json": ["save", "--json", olm, "DESTINATION"],
        }
        environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")
        for name, arguments in commands.items():
            with self.subTest(name), open("/dev/full", "wb") as full:
                destination = self.tmp / ("out-" + name.replace(" ", "_"))
                destination.mkdir()
                arguments = [destination if a == "DESTINATION" else a for a in arguments]
                result = subprocess.run([cli_path(), *map(str, arguments)], stdout=full, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL, env=environment, timeout=CLI_TIMEOUT)
                self.assertEqual(result.returncode, EXIT_OUTPUT_FAILED, result.stderr)
                self.assertIn(b"standard output could not be written: No space left on device", result.stderr)


if __name__ == "__main__":
    unittest.main()
