"""Mails saved as PDF documents, read back by poppler (pdftotext, pdfdetach): every header
line, attachment and body sentence of a generated export's mails is in the text of its
document, Japanese, Korean and Greek included, every page carries its number, and the
attachments carried inside are the bytes the export holds."""
import email.utils
import hashlib
import html
import json
import os
import re
import shutil
import subprocess
import sys
import unicodedata
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402
from olmtest import GeneratedFiles, run_cli  # noqa: E402
import make_hostile_olm  # noqa: E402

PAGE_FOOTER = re.compile(r"(?m)^Page \d+$")


def squeezed(text):
    """The text without any white space (lines are broken where the page needs) and with
    ligatures taken apart (the pages show "fi" as one glyph)."""
    return re.sub(r"\s+", "", unicodedata.normalize("NFKC", text))


def pdf_text(path, first=None):
    options = ["-f", str(first), "-l", str(first)] if first else []
    result = subprocess.run(["pdftotext", "-enc", "UTF-8", *options, str(path), "-"], capture_output=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError("pdftotext failed on %s: %s" % (path, result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def page_count(path):
    info = subprocess.run(["pdfinfo", str(path)], capture_output=True, check=True, timeout=60).stdout.decode()
    return int(re.search(r"(?m)^Pages:\s+(\d+)", info).group(1))


def size_text(size):
    """A size as the header block shows it in the C locale."""
    for unit, scale in (("GB", 1 << 30), ("MB", 1 << 20), ("kB", 1 << 10)):
        if size >= scale:
            return "%.1f %s" % (size / scale, unit)
    return "%d bytes" % size


def body_sentences(bodies):
    """The sentences a reader sees in the body: markup and entities gone, one a row."""
    if "html" in bodies:
        text = re.sub(r"<(head|style|script)\b.*?</\1>", " ", bodies["html"], flags=re.S | re.I)
        paragraphs = [html.unescape(p) for p in re.split(r"<[^>]*>", text)]
    else:
        paragraphs = bodies.get("plain", "").splitlines()
    sentences = []
    for paragraph in paragraphs:
        sentences += [s for s in re.split(r"(?<=[.?!。])\s+", paragraph.strip()) if s.strip()]
    return sentences


def expected_rows(mail, bodies):
    """(what, text) the mail's document must show."""
    def person(address, name):
        return address if not name or name == address else "%s <%s>" % (name, address)
    rows = [("Subject", "Subject: " + mail["subject"]),
            ("Date", "Date: " + email.utils.format_datetime(standardcheck.origination_time(mail)))]
    if mail["from"]:  # drafts may have no sender
        rows.append(("From", "From: " + person(mail["from"], mail["fromName"])))
    rows += [("To", address) for address in mail["to"]]
    rows += [("Cc", address) for address in mail["cc"]]
    if mail["attachmentsKept"]:
        rows += [("Attachment", "%s (%s)" % (a["name"], size_text(a["size"]))) for a in mail["attachments"]]
    rows += [("body", sentence) for sentence in body_sentences(bodies)]
    return rows


def check_carried_files(testcase, path, attachments):
    """The files inside the document are the attachments' bytes."""
    out = path.parent / (path.name + ".files")
    out.mkdir()
    subprocess.run(["pdfdetach", "-saveall", "-o", str(out), str(path)], check=True, capture_output=True, timeout=60)
    carried = sorted(hashlib.sha256(f.read_bytes()).hexdigest() for f in out.iterdir())
    testcase.assertEqual(carried, sorted(a["sha256"] for a in attachments))
    shutil.rmtree(out)


class SavePdf(GeneratedFiles):

    def setUp(self):
        super().setUp()
        if not shutil.which("pdftotext"):
            self.skipTest("pdftotext (poppler-utils) is not installed")
        self.olm, self.manifest = self.generate("letters.olm", "--realistic", "--mails", 24, "--contacts", 2,
                                                "--seed", 7)
        olm_bytes = self.olm.read_bytes()
        self.mails = [(mail, expected_rows(mail, standardcheck.expected_bodies(olm_bytes, self.manifest, mail)))
                      for mail in standardcheck.survivors(self.manifest, "mails")]
        every_text = "".join(text for _, rows in self.mails for _, text in rows)
        # Hangul and kana stand in the rows, so the fonts are put to the test.
        self.assertRegex(every_text, "[\uac00-\ud7a3]")
        self.assertRegex(every_text, "[\u3040-\u30ff]")

    def save(self, *options):
        (self.tmp / "out").mkdir()
        result = run_cli(self, "save", self.olm, self.tmp / "out", "--format", "pdf", "--json", *options)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        summary = json.loads(result.stdout)
        self.assertEqual(summary["format"], "pdf")
        self.assertEqual(summary["written"]["mails"], len(self.mails))
        self.assertEqual(summary["notWritten"], [])
        root = Path(summary["output"])
        self.assertEqual(root.name, "letters (rescued pdf)")
        # The other kinds are written as standard files.
        self.assertTrue((root / "Contacts.vcf").is_file())
        return root

    def check_rows(self, mail, rows, document):
        text = squeezed(PAGE_FOOTER.sub("", pdf_text(document)))
        for what, expected in rows:
            with self.subTest(subject=mail["subject"], what=what, expected=expected):
                self.assertIn(squeezed(expected), text)

    def check_page_numbers(self, document):
        for page in range(1, page_count(document) + 1):
            self.assertRegex(pdf_text(document, page), r"(?m)^Page %d$" % page, document)

    def test_one_document_per_mail(self):
        root = self.save()
        documents = sorted((root / "Mail").rglob("*.pdf"))
        self.assertEqual(len(documents), len(self.mails))
        texts = {document: squeezed(pdf_text(document)) for document in documents}
        for mail, rows in self.mails:
            folder = root / "Mail" / mail["scanFolder"]
            # Its document is in its folder, named as the EML file would be.
            mine = [d for d in documents if d.parent == folder
                    and all(squeezed(text) in texts[d] for what, text in rows if what in ("Subject", "Date", "From"))]
            self.assertEqual(len(mine), 1, (mail["subject"], folder))
            self.assertRegex(mine[0].name, r"^\d{4}-\d{2}-\d{2} \d{4} - .+\.pdf$")
            self.check_rows(mail, rows, mine[0])
            if mail["attachmentsKept"]:
                check_carried_files(self, mine[0], mail["attachments"])
        for document in documents[:3]:
            self.check_page_numbers(document)

    def test_one_document_per_folder(self):
        root = self.save("--pdf-per-folder")
        folders = {}
        for mail, rows in self.mails:
            folders.setdefault(mail["scanFolder"], []).append((mail, rows))
        self.assertEqual(len(list((root / "Mail").rglob("*.pdf"))), len(folders))
        for folder, mails in folders.items():
            document = root / "Mail" / folder / (folder.split("/")[-1] + ".pdf")
            self.assertTrue(document.is_file(), document)
            for mail, rows in mails:
                self.check_rows(mail, rows, document)
            # Each mail begins a page, and the pages are numbered on through the folder.
            self.assertGreaterEqual(page_count(document), len(mails))
            self.check_page_numbers(document)
            check_carried_files(self, document, [a for m, _ in mails if m["attachmentsKept"] for a in m["attachments"]])

    def test_hostile_export(self):
        """Bodies that would close parts, names that would be paths, long Japanese and Korean
        subjects: every mail gets its document, and poppler reads every one."""
        olm = self.tmp / "hostile.olm"
        manifest = make_hostile_olm.write(olm)
        for options in ([], ["--pdf-per-folder"]):
            with self.subTest(options=options):
                destination = self.tmp / ("hostile %d" % len(options))
                destination.mkdir()
                result = run_cli(self, "save", olm, destination, "--format", "pdf", "--json", *options)
                self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                summary = json.loads(result.stdout)
                self.assertEqual(summary["written"]["mails"], len(manifest["mails"]))
                for document in Path(summary["output"]).rglob("*.pdf"):
                    self.assertEqual(document.read_bytes()[:5], b"%PDF-", document)
                    pdf_text(document)  # poppler reads it

    def test_usage(self):
        result = run_cli(self, "save", self.olm, self.tmp, "--format", "eml", "--pdf-per-folder")
        self.assertEqual(result.returncode, 64)
        self.assertIn(b"--pdf-per-folder goes with --format pdf only", result.stderr)


if __name__ == "__main__":
    unittest.main()
