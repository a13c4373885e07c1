"""The sample generator writes files shaped like genuine exports, says truthfully in
its manifest what they hold, and damages them exactly as asked.  The scan tests
rely on all three."""
import contextlib
import hashlib
import io
import json
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile
import zlib

from olmtest import SAMPLES, GeneratedFiles, make_olm

PRESERVE = ' xml:space="preserve"'


def local_headers(data):
    """Walks the local headers from offset 0 by their Zip64 sizes (no gaps expected)."""
    headers = []
    at = 0
    while data[at:at + 4] == b"PK\x03\x04":
        fields = struct.unpack("<IHHHHHIIIHH", data[at:at + 30])
        name_length, extra_length = fields[9], fields[10]
        name = data[at + 30:at + 30 + name_length].decode("utf-8")
        extra = data[at + 30 + name_length:at + 30 + name_length + extra_length]
        tag, extra_size, uncompressed, compressed = struct.unpack("<HHQQ", extra[:20])
        start = at + 30 + name_length + extra_length
        headers.append({"at": at, "version": fields[1], "flags": fields[2], "method": fields[3], "crc": fields[6],
                        "sizes32": (fields[7], fields[8]), "extra": (extra_length, tag, extra_size),
                        "U": uncompressed, "Z": compressed, "name": name, "data": data[start:start + compressed]})
        at = start + compressed
    return headers, at


class GeneratorOutput(GeneratedFiles):

    def setUp(self):
        super().setUp()
        self.path, self.manifest = self.generate("plain.olm", "--seed", 4, "--mails", 25)
        self.data = self.path.read_bytes()

    def test_container_headers_look_like_a_genuine_export(self):
        headers, end = local_headers(self.data)
        self.assertEqual(self.data[:6], b"PK\x03\x04\x2d\x00")
        self.assertEqual([h["at"] for h in headers], [e["header"] for e in self.manifest["entries"]])
        self.assertEqual(self.data[end:end + 4], b"PK\x01\x02")
        for header in headers:
            with self.subTest(header["name"]):
                self.assertEqual((header["version"], header["flags"], header["method"]), (45, 0x0800, 0))
                self.assertEqual(header["sizes32"], (0xFFFFFFFF, 0xFFFFFFFF))
                self.assertEqual(header["extra"], (20, 1, 16))
                self.assertEqual(header["U"], header["Z"])
                if header["name"].endswith("/"):
                    self.assertEqual((header["crc"], header["U"]), (0, 0))
                else:
                    self.assertEqual(header["crc"], zlib.crc32(header["data"]))
                    self.assertNotEqual(header["U"], 0)
        self.assertGreaterEqual([h["name"] for h in headers].count("Accounts/"), 2)

    def test_central_directory_is_readable_and_zip64(self):
        with zipfile.ZipFile(self.path) as archive:
            self.assertIsNone(archive.testzip())
            infos = archive.infolist()
            self.assertEqual([i.filename for i in infos], [e["name"] for e in self.manifest["entries"]])
            for info, entry in zip(infos, self.manifest["entries"]):
                self.assertEqual((info.compress_type, len(info.extra)), (0, 28))
                self.assertEqual(info.header_offset, entry["header"])

    def test_documents_have_the_shapes_the_parsers_cut_by(self):
        headers, _ = local_headers(self.data)
        documents = [h for h in headers if h["name"].endswith(".xml")]
        roots = {"Categories.xml": "categories", "Contacts.xml": "contacts", "Groups.xml": "groups",
                 "Calendar.xml": "appointments", "Tasks.xml": "tasks", "Notes.xml": "notes"}
        for header in documents:
            text = header["data"].decode("utf-8")
            root = ElementTree.fromstring(header["data"])  # well-formed
            last = header["name"].rsplit("/", 1)[-1]
            with self.subTest(header["name"]):
                self.assertEqual(root.tag, roots.get(last, "emails"))
                self.assertEqual(int(root.get("elementCount")), len(root))
                self.assertTrue(text.endswith("</%s></%s>" % (root[0].tag, root.tag)))
                for match in re.finditer(r"<([A-Za-z0-9]+)([^>]*)>", text):
                    # The value of every element starts 22 bytes after its name.
                    self.assertTrue(match.group(2).startswith(PRESERVE), match.group(0))
                    if match.group(1).startswith("OPF") or match.group(1) == "string":
                        self.assertEqual(match.group(2), PRESERVE, match.group(0))

    def test_fixed_cuts_fit_the_list_entries(self):
        headers, _ = local_headers(self.data)
        contacts = next(h for h in headers if h["name"].endswith("Contacts.xml"))["data"].decode("utf-8")
        addresses = []
        for value in re.findall(r"<OPFContactCopyEmailAddressList%s>(.*?)</OPFContactCopyEmailAddressList>"
                                % PRESERVE, contacts):
            for piece in value.encode().split(b"</contactEmailAddress>")[:-1]:
                addresses.append(piece[73:-69].decode())
        self.assertEqual(addresses, [a for c in self.manifest["contacts"] for a in c["emails"]])
        categories = [piece[106:-2] for value in re.findall(r"<OPFContactCopyCategoryList%s>(.*?)<"
                                                            r"/OPFContactCopyCategoryList>" % PRESERVE, contacts)
                      for piece in value.split("</category>")[:-1]]
        self.assertEqual(categories, [n for c in self.manifest["contacts"] for n in c["categories"]])
        children = [piece[29:] for value in re.findall(r"<OPFContactCopyChildren%s>(.*?)</OPFContactCopyChildren>"
                                                       % PRESERVE, contacts) for piece in value.split("</string>")[:-1]]
        self.assertEqual(children, [n for c in self.manifest["contacts"] for n in c["children"]])

    def test_manifest_describes_mails_and_attachments(self):
        with zipfile.ZipFile(self.path) as archive:
            names = archive.namelist()
            for mail in self.manifest["mails"]:
                with self.subTest(mail["entry"]):
                    position = names.index(mail["entry"])
                    urls = [a["url"] for a in mail["attachments"]]
                    # A message's attachments stand directly before it, in list order.
                    self.assertEqual(names[position - len(urls):position], urls)
                    for attachment in mail["attachments"]:
                        content = archive.read(attachment["url"])
                        self.assertEqual(len(content), attachment["size"])
                        self.assertEqual(hashlib.sha256(content).hexdigest(), attachment["sha256"])
                    message = archive.read(mail["entry"]).decode("utf-8")
                    body = re.search(r"<OPFMessageCopyBody%s>(.*?)</OPFMessageCopyBody>" % PRESERVE, message, re.S)
                    self.assertEqual(len(body.group(1).encode()), mail["bodySize"])
                    # HTML is escaped once more in the file; a plain body keeps its HTML one beside it.
                    html = re.search(r"<OPFMessageCopyHTMLBody%s>(.*?)</OPFMessageCopyHTMLBody>" % PRESERVE,
                                     message, re.S)
                    self.assertIn("&amp;amp;", (html or body).group(1))
                    self.assertEqual("OPFMessageCopySentTime" in message, mail["sent"] is not None)
                    self.assertEqual(mail["scanFolder"], mail["generatedFolder"])
            kinds = {a["name"].rsplit(".", 1)[-1] for m in self.manifest["mails"] for a in m["attachments"]}
            self.assertTrue({"docx", "zip", "xlsx", "txt", "pdf", "png", "jpg"} <= kinds, kinds)
            for url in (a["url"] for m in self.manifest["mails"] for a in m["attachments"]
                        if a["name"].endswith((".docx", ".zip", ".xlsx"))):
                with zipfile.ZipFile(io.BytesIO(archive.read(url))) as inner:
                    self.assertIsNone(inner.testzip())
                    self.assertTrue(all(i.compress_type == zipfile.ZIP_DEFLATED for i in inner.infolist()))
        self.assertTrue(any(m["sent"] is None for m in self.manifest["mails"]))
        self.assertTrue(any(ord(c) > 255 for m in self.manifest["mails"] for c in m["subject"]))
        expected = self.manifest["expected"]
        self.assertEqual(expected["counts"], self.manifest["generated"])
        self.assertEqual(sum(expected["mailFolders"].values()), 25)


class GeneratorOptions(GeneratedFiles):

    def test_same_seed_same_bytes_and_the_samples_are_reproducible(self):
        first, _ = self.generate("a.olm", "--seed", 9, "--garbage-between", "--zero-crc", "0.3")
        second, _ = self.generate("b.olm", "--seed", 9, "--garbage-between", "--zero-crc", "0.3")
        self.assertEqual(first.read_bytes(), second.read_bytes())
        third, _ = self.generate("c.olm", "--seed", 10)
        self.assertNotEqual(first.read_bytes()[:4096], third.read_bytes()[:4096])
        for sample in ("intact", "damaged"):
            with self.subTest(sample):
                committed = json.loads((SAMPLES / (sample + ".json")).read_text(encoding="utf-8"))
                arguments = ["--seed", str(committed["generator"]["seed"])] + committed["generator"]["arguments"]
                path, manifest = self.generate(sample + ".olm", *arguments)
                self.assertEqual(path.read_bytes(), (SAMPLES / (sample + ".olm")).read_bytes(),
                                 "samples/%s.olm differs from what the generator writes now" % sample)
                self.assertEqual(json.loads(json.dumps(manifest)), committed)

    def test_wiped_headers(self):
        for option in ("0.5", "all"):
            for directory in ([], ["--no-central-directory"]):
                with self.subTest(option, directory=directory):
                    path, manifest = self.generate("wiped.olm", "--wipe-headers", option, *directory)
                    data = path.read_bytes()
                    entries = manifest["entries"]
                    wiped = [e for e in entries if data[e["header"]:e["header"] + 4] == b"\0\0\0\0"]
                    self.assertEqual(wiped, [e for e in entries if e["wiped"]])
                    self.assertFalse(entries[0]["wiped"])
                    count = len(entries) - 1 if option == "all" else round(0.5 * (len(entries) - 1))
                    self.assertEqual(len(wiped), count)
                    # A wiped document is still found by the raw scan; a wiped attachment
                    # through the central directory, or by its size and place before the
                    # mail that lists it.
                    counts = manifest["expected"]["counts"]
                    self.assertEqual(counts, manifest["generated"])
                    self.assertTrue(any(e["wiped"] and e["kind"] == "attachment" for e in entries))
                    for mail in manifest["mails"]:
                        self.assertTrue(all(a["found"] for a in mail["attachments"]), mail["entry"])

    def test_zeroed_crc_and_garbage(self):
        path, manifest = self.generate("crc.olm", "--zero-crc", "0.25", "--garbage-between")
        headers = manifest["entries"]
        files = [e for e in headers if e["kind"] != "directory"]
        data = path.read_bytes()
        zeroed = [e for e in files if data[e["header"] + 14:e["header"] + 18] == b"\0\0\0\0"]
        self.assertEqual(zeroed, [e for e in files if e["zeroCrc"]])
        self.assertEqual(len(zeroed), round(0.25 * len(files)))
        for previous, entry in zip(headers, headers[1:]):
            gap = data[previous["data"] + previous["size"]:entry["header"]]
            self.assertTrue(1 <= len(gap) <= 200, len(gap))
            self.assertNotIn(b"P", gap)
            self.assertNotIn(b"<", gap)

    def test_truncation_and_missing_central_directory(self):
        path, manifest = self.generate("cut.olm", "--truncate", "-5000")
        whole, _ = self.generate("whole.olm")
        self.assertEqual(path.stat().st_size, whole.stat().st_size - 5000)
        self.assertEqual(path.read_bytes(), whole.read_bytes()[:-5000])
        self.assertEqual(manifest["size"], path.stat().st_size)
        path, manifest = self.generate("nocd.olm", "--no-central-directory")
        last = manifest["entries"][-1]
        self.assertEqual(path.stat().st_size, last["data"] + last["size"])
        self.assertNotIn(b"PK\x01\x02", path.read_bytes()[-4096:])

    def test_growing_to_a_size_streams_large_attachments(self):
        path, manifest = self.generate("big.olm", "--mails", 2, "--size", "3MiB", "--large-attachment-size", "512KiB")
        self.assertGreaterEqual(path.stat().st_size, 3 << 20)
        large = [a for m in manifest["mails"] for a in m["attachments"] if a["size"] >= 512 << 10]
        self.assertGreaterEqual(len(large), 5)
        bulk = [m for m in manifest["mails"] if m["generatedFolder"].endswith("/Bulk")]
        self.assertGreater(len([m for m in bulk if not m["attachments"]]), len(large))
        with zipfile.ZipFile(path) as archive:
            self.assertIsNone(archive.testzip())

    def test_byte_counts_and_fractions(self):
        self.assertEqual(make_olm.byte_count("1.5KiB"), 1536)
        self.assertEqual(make_olm.byte_count("2G"), 2 << 30)
        self.assertEqual(make_olm.byte_count("-12000"), -12000)
        self.assertEqual(make_olm.float_notation(50614), "5.0614E4")
        self.assertEqual(make_olm.float_notation(1000), "1E3")
        self.assertEqual(make_olm.float_notation(0), "0E0")
        for bad in (["--wipe-headers", "1.5"], ["--zero-crc", "-0.1"], ["--size", "lots"]):
            with self.subTest(bad), self.assertRaises(SystemExit), contextlib.redirect_stderr(io.StringIO()):
                make_olm.parse_args(["x.olm", *bad])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
