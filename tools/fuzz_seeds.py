#!/usr/bin/env python3
"""Writes the seed inputs of a fuzz target into a directory: the bundled samples,
small generated exports intact and damaged, and the hand-made documents in
fuzz/seeds/parsers, as whole containers (fuzz_scan) or one document each with the
byte that picks its parser in front (fuzz_parsers)."""
import struct
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))
import make_olm  # noqa: E402

# The first byte of a fuzz_parsers input picks the parser (its value modulo 6).
PARSER_CHOICE = {"mail": b"0", "contacts": b"2", "calendar": b"3", "tasks": b"4", "notes": b"5"}
ENTRY_KIND = {"Contacts.xml": "contacts", "Calendar.xml": "calendar", "Tasks.xml": "tasks", "Notes.xml": "notes"}
GENERATED = [
    [],
    ["--zero-crc", "1"],
    ["--wipe-headers", "all"],
    ["--garbage-between", "--no-central-directory"],
    ["--wipe-headers", "0.5", "--zero-crc", "0.5", "--garbage-between"],
    ["--truncate", "-3000"],
    # Local headers wiped and the central directory cut inside its records.
    ["--wipe-headers", "all", "--truncate", "-400"],
    # Mails whose attachments and folders come from what the mails say of themselves.
    ["--wipe-headers", "all", "--garbage-between", "--no-central-directory", "--drop-end-tags", "0.5"],
]
MAX_SEED = 65536


def hand_made_documents():
    for path in sorted((ROOT / "fuzz" / "seeds" / "parsers").iterdir()):
        data = path.read_bytes()
        kind = {0: "mail", 1: "mail", 2: "contacts", 3: "calendar", 4: "tasks", 5: "notes"}[data[0] % 6]
        yield path.name, kind, data[1:]


def hand_made_container(path):
    names = {"mail": "Local/s/Inbox/message_00001.xml", "contacts": "Local/Address Book/Contacts.xml",
             "calendar": "Local/Calendar/Calendar.xml", "tasks": "Local/Tasks/Tasks.xml", "notes": "Local/Notes/Notes.xml"}
    with open(path, "wb") as out:
        writer = make_olm.ContainerWriter(out)
        writer.directory("Accounts/")
        for i in range(4):
            writer.file("Local/s/Inbox/com.microsoft.__Attachments/m_000%d" % i, [b"attachment %d" % i], "attachment")
        for _, kind, document in hand_made_documents():
            writer.file(names[kind], [document], kind)
        writer.finish()


def documents(container):
    """(kind, bytes) of every document entry whose local header is intact."""
    data = container.read_bytes()
    at = 0
    while True:
        at = data.find(struct.pack("<I", make_olm.LOCAL_SIGNATURE), at)
        if at < 0 or at + 30 > len(data):
            return
        name_length, extra_length = struct.unpack_from("<HH", data, at + 26)
        name = data[at + 30:at + 30 + name_length].decode("utf-8", "replace")
        extra = at + 30 + name_length
        at += 4
        if extra_length != 20 or extra + 20 > len(data):
            continue
        size = struct.unpack_from("<Q", data, extra + 12)[0]
        start = extra + 20
        last = name.rsplit("/", 1)[-1]
        kind = ENTRY_KIND.get(last) or ("mail" if "message_" in last and ".xml" in last else None)
        if kind and start + size <= len(data):
            yield kind, data[start:start + size]


def main():
    target, out = sys.argv[1], Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        containers = sorted((ROOT / "samples").glob("*.olm"))
        for number, options in enumerate(GENERATED):
            path = Path(tmp) / ("generated%d.olm" % number)
            make_olm.generate(make_olm.parse_args([str(path), "--seed", str(number + 1), "--mails", "4", "--contacts", "2",
                                                   "--events", "2", "--tasks", "2", "--notes", "2",
                                                   "--attachment-size", "300", *options]))
            containers.append(path)
        repack = Path(tmp) / "repacked.olm"
        repack.write_bytes(make_olm.repack_deflated(containers[-len(GENERATED)].read_bytes()))
        containers.append(repack)
        hand = Path(tmp) / "hand.olm"
        hand_made_container(hand)
        containers.append(hand)
        if target == "fuzz_scan":
            for path in containers:
                (out / path.name).write_bytes(path.read_bytes())
            return
        count = 0
        for path in containers:
            for kind, document in documents(path):
                if len(document) < MAX_SEED:
                    (out / ("%s-%d" % (kind, count))).write_bytes(PARSER_CHOICE[kind] + document)
                    count += 1
        for name, kind, document in hand_made_documents():
            (out / ("hand-" + name)).write_bytes((ROOT / "fuzz" / "seeds" / "parsers" / name).read_bytes())


if __name__ == "__main__":
    main()
