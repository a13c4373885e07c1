#!/usr/bin/env python3
"""Save time and peak memory on exports shaped to make the save do more than its input:
many folders with many mails, one long entry name that makes thousands of empty folders,
a task description full of <style> blocks, and one very large mail body. Each is saved
in both formats by mendora-cli; prints seconds and peak resident memory.

    bench/bench_save_shapes.py [--cli build/mendora-cli] [--only NAME] [--scale 1.0]
"""
import argparse
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from make_olm import PRESERVE, XML_DECLARATION, ContainerWriter, DocumentStream, element, text_escape  # noqa: E402

STORE = "Local/com.microsoft.__Messages/On My Computer"


def mail(subject, body):
    return "".join([element("OPFMessageCopySubject", text_escape(subject)),
                    element("OPFMessageCopyReceivedTime", "2018-06-18T16:31:00"),
                    element("OPFMessageCopyMessageID", "%s@example.com" % abs(hash(subject))),
                    element("OPFMessageIsOutgoing", "0E0"),
                    element("OPFMessageCopyBody", body)])


def many_folders(writer, scale):
    folders, mails = int(30000 * scale), int(100000 * scale)
    for number in range(mails):
        folder = "F%05d" % (number % folders)
        writer.file("%s/%s/message_%06d.xml" % (STORE, folder, number),
                    DocumentStream("mail", 1, [mail("m%d" % number, "b")]).chunks(), "mail")


def long_entry_name(writer, scale):
    # One message entry whose path names about 20,000 folders of two characters each.
    levels = int(20000 * scale)
    path = "/".join("f%d" % (level % 10) for level in range(levels))[:65000]
    writer.file("%s/%s/message_00001.xml" % (STORE, path), DocumentStream("mail", 1, [mail("deep", "b")]).chunks(), "mail")
    for number in range(1000):
        writer.file("%s/Inbox/message_%05d.xml" % (STORE, number + 2),
                    DocumentStream("mail", 1, [mail("m%d" % number, "b")]).chunks(), "mail")


def style_blocks(writer, scale):
    block = "&lt;style&gt;p{}&lt;/style&gt;"
    text = block * int(800 * 1024 * scale / len(block))
    task = element("OPFTaskCopyName", "styled") + element("OPFTaskCopyNote", text)
    writer.file("Local/Tasks/Tasks.xml", DocumentStream("tasks", 1, [task]).chunks(), "tasks")
    note = element("OPFNoteCopyTitle", "styled") + element("OPFNoteCopyText", text) \
        + element("OPFNoteCopyModDate", "2018-06-01T10:00:00")
    writer.file("Local/Notes/Notes.xml", DocumentStream("notes", 1, [note]).chunks(), "notes")


def large_body(writer, scale):
    line = "a line of a very long body, " * 2 + "\n"
    count = int(256 * 1024 * 1024 * scale / len(line))

    def chunks():
        head, tail = mail("large", "\0").split("\0")
        yield XML_DECLARATION
        yield ('<emails%s elementCount="1"><email%s>' % (PRESERVE, PRESERVE)).encode() + head.encode()
        block = (line * 4096).encode()
        for _ in range(count // 4096):
            yield block
        yield tail.encode() + b"</email></emails>"
    writer.file("%s/Inbox/message_00001.xml" % STORE, chunks(), "mail")


SHAPES = {"many-folders": many_folders, "long-entry-name": long_entry_name, "style-blocks": style_blocks,
          "large-body": large_body}


def write_export(path, shape, scale):
    with open(path, "w+b") as out:
        writer = ContainerWriter(out)
        writer.directory("Local/")
        SHAPES[shape](writer, scale)
        writer.finish()


def measure(cli, olm, destination, *options):
    """Seconds and peak resident memory (MiB) of one save, as /usr/bin/time reports them."""
    with tempfile.NamedTemporaryFile("r") as report:
        result = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%e %M", cli, "save", str(olm),
                                 str(destination), *options], capture_output=True)
        if result.returncode not in (0, 1):
            sys.exit("save failed (%d): %s" % (result.returncode, result.stderr.decode(errors="replace")[-2000:]))
        seconds, kilobytes = report.read().split()[-2:]
    return float(seconds), int(kilobytes) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=str(Path(__file__).resolve().parents[1] / "build" / "mendora-cli"))
    parser.add_argument("--only", choices=sorted(SHAPES))
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="mendora-shapes-") as tmp:
        for shape in ([args.only] if args.only else list(SHAPES)):
            olm = Path(tmp) / (shape + ".olm")
            write_export(olm, shape, args.scale)
            size = olm.stat().st_size / 2**20
            for name, options in [("rge", []), ("standard", ["--format", "standard"])]:
                destination = Path(tmp) / ("out-" + shape + "-" + name)
                destination.mkdir()
                seconds, peak = measure(args.cli, olm, destination, *options)
                print("%-16s %-8s input %8.1f MiB  %7.2f s  peak %6.0f MiB" % (shape, name, size, seconds, peak),
                      flush=True)
                subprocess.run(["rm", "-rf", str(destination)])
            os.unlink(olm)


if __name__ == "__main__":
    main()
