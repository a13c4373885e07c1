"""Mendora's standard save against the zip tools a user already has (Info-ZIP unzip,
7-Zip, bsdtar) on the same damaged exports: for every damage kind of the generator
and for damage only the central directory survives, Mendora recovers no fewer mails
in their own folder, attachments (by SHA-256) and items than the best of them.

Run directly with --figures CLI [CLI...] to print the table of figures at the size
of the issue's measurements, one column per mendora-cli given."""
import email
import email.policy
import hashlib
import html
import mailbox
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import olmtest  # noqa: E402
from olmtest import make_olm  # noqa: E402

TEST_SIZE = ["--realistic", "--mails", "60", "--contacts", "12", "--events", "8", "--tasks", "6", "--notes", "4"]
ISSUE_SIZE = ["--realistic", "--mails", "200", "--contacts", "40", "--events", "30", "--tasks", "20", "--notes", "10"]
TOOL_TIMEOUT = 300
ITEM_END_TAGS = {"contact": b"</contact>", "appointment": b"</appointment>", "task": b"</task>", "note": b"</note>"}


# ----------------------------------------------------------------------------
# Damage only the central directory survives: patches of a generated export.

def local_headers(manifest):
    return [entry["header"] for entry in manifest["entries"]]


def patch(data, offset, raw):
    data[offset:offset + len(raw)] = raw


def wipe_local_signatures(data, manifest):
    for header in local_headers(manifest)[1::2]:
        patch(data, header, b"\0\0\0\0")
    return data


def change_name_lengths(data, manifest):
    for header in local_headers(manifest)[1::3]:
        (length,) = struct.unpack_from("<H", data, header + 26)
        patch(data, header + 26, struct.pack("<H", length + 7))
    return data


def change_extra_lengths(data, manifest):
    for header in local_headers(manifest)[1::3]:
        patch(data, header + 28, struct.pack("<H", 0))
    return data


def zero_local_checksums(data, manifest):
    for header in local_headers(manifest):
        patch(data, header + 14, b"\0\0\0\0")
    return data


def change_versions(data, manifest):
    # The first header's too: one byte there once refused the whole file.
    for header in local_headers(manifest):
        data[header + 4] = 20
    return data


def directory_start(data):
    end = data.rindex(b"PK\x06\x06")
    return struct.unpack_from("<Q", data, end + 48)[0], end


def cut_directory_in_half(data, manifest):
    """Every local signature wiped and the file cut in the middle of its directory:
    only the first half of the directory names its entries."""
    for header in local_headers(manifest)[1:]:
        patch(data, header, b"\0\0\0\0")
    start, end = directory_start(data)
    return data[:start + (end - start) // 2]


def wrong_directory_offset(data, manifest):
    """The end record points 1000 bytes off, and half the local signatures are wiped."""
    _, end = directory_start(data)
    (offset,) = struct.unpack_from("<Q", data, end + 48)
    patch(data, end + 48, struct.pack("<Q", offset + 1000))
    return wipe_local_signatures(data, manifest)


def repack_deflated(data, manifest):
    return bytearray(make_olm.repack_deflated(data))


def repack_without_directory(data, manifest):
    """The re-pack cut before its central directory: only the deflated streams' own ends tell the sizes."""
    repacked = repack_deflated(data, manifest)
    end = repacked.rindex(b"PK\x05\x06")
    (start,) = struct.unpack_from("<I", repacked, end + 16)
    return repacked[:start]


ROWS = [
    # name, generator options, patch
    ("truncated", ["--truncate", "-400000"], None),
    ("wiped headers 0.5", ["--wipe-headers", "0.5"], None),
    ("wiped headers all", ["--wipe-headers", "all"], None),
    ("wiped headers all, no directory", ["--wipe-headers", "all", "--no-central-directory"], None),
    ("zeroed checksums 0.5", ["--zero-crc", "0.5"], None),
    ("garbage between", ["--garbage-between"], None),
    ("garbage inside 0.1", ["--garbage-inside", "0.1"], None),
    ("zero-filled stretches", ["--zero-fill", "20"], None),
    ("dropped end tags 0.1", ["--drop-end-tags", "0.1"], None),
    ("no central directory", ["--no-central-directory"], None),
    ("local signature wiped", [], wipe_local_signatures),
    ("local name length changed", [], change_name_lengths),
    ("local extra length changed", [], change_extra_lengths),
    ("local checksum zeroed", [], zero_local_checksums),
    ("version byte changed", [], change_versions),
    ("directory cut in half", [], cut_directory_in_half),
    ("directory offset wrong", [], wrong_directory_offset),
    ("deflated re-pack", [], repack_deflated),
    ("deflated re-pack without directory", [], repack_without_directory),
]


# ----------------------------------------------------------------------------
# Counting what came back


def expected_folders(manifest):
    """Message-ID to the folder the mail's entry names."""
    return {mail["messageId"].strip("<>"): make_olm.message_folder(mail["entry"]) for mail in manifest["mails"]}


def attachment_digests(manifest):
    return {a["sha256"] for mail in manifest["mails"] for a in mail["attachments"]}


class Figures:
    def __init__(self):
        self.folders = {}       # Message-ID: folder it came back in
        self.digests = set()
        self.other_items = 0    # contacts, events, tasks, notes

    def counted(self, manifest):
        wanted = expected_folders(manifest)
        return {"folders": sum(1 for mid, folder in self.folders.items() if wanted.get(mid) == folder),
                "attachments": len(self.digests & attachment_digests(manifest)),
                "items": len(self.folders.keys() & wanted.keys()) + self.other_items}


def extracted_figures(root):
    figures = Figures()
    for path in root.rglob("*"):
        if not path.is_file() or path.is_symlink():
            continue
        data = path.read_bytes()
        figures.digests.add(hashlib.sha256(data).hexdigest())
        relative = path.relative_to(root).as_posix()
        if path.name.startswith("message_") and b"<emails" in data:
            folder = make_olm.message_folder(relative)
            for mid in re.findall(rb"<OPFMessageCopyMessageID[^>]*>([^<]*)</OPFMessageCopyMessageID>", data):
                figures.folders[html.unescape(mid.decode("utf-8", "replace")).strip().strip("<>")] = folder
        elif path.suffix == ".xml" and path.name != "Categories.xml":
            figures.other_items += sum(data.count(tag) for tag in ITEM_END_TAGS.values())
    return figures


def saved_figures(root):
    figures = Figures()
    for mbox_path in (root / "Mail").rglob("*.mbox"):
        folder = mbox_path.parent.relative_to(root / "Mail").as_posix()
        for message in mailbox.mbox(str(mbox_path), factory=None):
            parsed = email.message_from_bytes(message.as_bytes(), policy=email.policy.compat32)
            figures.folders[(parsed.get("Message-ID") or "").strip().strip("<>")] = folder
            for part in parsed.walk():
                if part.get_content_disposition() == "attachment":
                    figures.digests.add(hashlib.sha256(part.get_payload(decode=True) or b"").hexdigest())
    # Attachments whose mail lost its list are kept as files of their own.
    for path in (root / "Recovered attachments").rglob("*"):
        if path.is_file():
            figures.digests.add(hashlib.sha256(path.read_bytes()).hexdigest())
    for name in ("Contacts.vcf", "Calendar.ics"):
        path = root / name
        if path.exists():
            text = path.read_bytes()
            # Contact groups are cards too, but no item of the export's own.
            figures.other_items += text.count(b"\nEND:VCARD") - text.count(b"\nX-ADDRESSBOOKSERVER-KIND:group") + sum(
                text.count(b"\nEND:" + kind) for kind in (b"VEVENT", b"VTODO", b"VJOURNAL"))
    return figures


TOOLS = {
    "unzip": lambda olm, out: ["unzip", "-qq", "-o", str(olm), "-d", str(out)],
    "7z": lambda olm, out: ["7z", "x", "-y", "-bso0", "-bsp0", "-o" + str(out), str(olm)],
    "bsdtar": lambda olm, out: ["bsdtar", "-xf", str(olm), "-C", str(out)],
}


def tool_figures(tool, olm, work, manifest):
    out = work / tool
    out.mkdir()
    try:
        subprocess.run(TOOLS[tool](olm, out), capture_output=True, timeout=TOOL_TIMEOUT, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        pass
    counted = extracted_figures(out).counted(manifest)
    shutil.rmtree(out, ignore_errors=True)
    return counted


def mendora_figures(cli, olm, work, manifest):
    out = work / "mendora"
    out.mkdir()
    environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8")
    result = subprocess.run([cli, "save", str(olm), str(out), "--format", "standard"], capture_output=True,
                            timeout=olmtest.CLI_TIMEOUT, env=environment, stdin=subprocess.DEVNULL)
    saved = [p for p in out.iterdir() if p.is_dir()]
    counted = saved_figures(saved[0]).counted(manifest) if saved else {"folders": 0, "attachments": 0, "items": 0}
    report = (saved[0] / "Rescue report.txt").read_text(errors="replace") if saved else ""
    shutil.rmtree(out, ignore_errors=True)
    return counted, result, report


def damaged_export(work, size, options, patcher):
    olm = work / "damaged.olm"
    manifest = make_olm.generate(make_olm.parse_args([str(olm), *size, "--seed", "11", *options]))
    if patcher:
        olm.write_bytes(bytes(patcher(bytearray(olm.read_bytes()), manifest)))
    return olm, manifest


class ZipToolsTest(unittest.TestCase):
    def test_no_figure_below_the_best_zip_tool(self):
        cli = olmtest.cli_path()
        for tool in ("unzip", "7z", "bsdtar"):
            if not shutil.which(tool):
                self.skipTest("%s is missing: run tools/bootstrap.sh" % tool)
        for name, options, patcher in ROWS:
            with self.subTest(damage=name), tempfile.TemporaryDirectory() as directory:
                work = Path(directory)
                olm, manifest = damaged_export(work, TEST_SIZE, options, patcher)
                tools = {tool: tool_figures(tool, olm, work, manifest) for tool in TOOLS}
                ours, result, report = mendora_figures(cli, olm, work, manifest)
                self.assertIn(result.returncode, (0, 1), result.stderr.decode(errors="replace"))
                for figure in ("folders", "attachments", "items"):
                    best = max(counted[figure] for counted in tools.values())
                    self.assertGreaterEqual(ours[figure], best, "%s: %s %r, tools %r" % (figure, name, ours, tools))
                # A file cut inside an entry says so: never "successfully repaired" without a loss line.
                if options[:1] == ["--truncate"]:
                    self.assertIn("file-cut", report)


def print_figures(clis):
    print("| damage | " + " | ".join("Mendora %s: folders, attachments, items" % label for label, _ in clis)
          + " | best zip tool |")
    print("|---" * (len(clis) + 2) + "|")
    for name, options, patcher in ROWS:
        with tempfile.TemporaryDirectory() as directory:
            work = Path(directory)
            olm, manifest = damaged_export(work, ISSUE_SIZE, options, patcher)
            tools = {tool: tool_figures(tool, olm, work, manifest) for tool in TOOLS}
            cells = []
            for _, cli in clis:
                counted, _, _ = mendora_figures(cli, olm, work, manifest)
                cells.append("%(folders)d, %(attachments)d, %(items)d" % counted)
            best = {figure: max(tools.items(), key=lambda kv: kv[1][figure]) for figure in ("folders", "attachments", "items")}
            best_cell = ", ".join("%d (%s)" % (kv[1][figure], kv[0]) for figure, kv in best.items())
            print("| %s | %s | %s |" % (name, " | ".join(cells), best_cell), flush=True)


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--figures":
        print_figures([(Path(cli).parent.parent.name, cli) for cli in sys.argv[2:]])
    else:
        unittest.main()
