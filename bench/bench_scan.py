#!/usr/bin/env python3
"""Scan throughput of mendora-cli on a generated export of more than a gigabyte,
intact and with every local header wiped, against `cat FILE >/dev/null`.

    bench/bench_scan.py [--cli build/mendora-cli] [--work /tmp/mendora-bench]

Builds nothing. The two files are generated once and kept in the work directory
(regenerated when the generator or its options change). For each file it reads
the file once to warm the page cache, then takes the best of --runs runs of cat
and of `mendora-cli scan FILE`, and prints times, MB/s, the ratio scan/cat and
the peak memory of the scan (from /usr/bin/time -v).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
GENERATOR = SOURCE / "tools" / "make_olm.py"
GNU_TIME = "/usr/bin/time"
# Many small mails, large attachments and a contacts document of thousands of contacts with pictures.
CONTENT = ["--seed", "11", "--mails", "20000", "--large-contacts", "--size", "1.1GiB",
           "--large-attachment-size", "16MiB"]
FILES = {"intact.olm": CONTENT, "wiped.olm": CONTENT + ["--wipe-headers", "all"]}
MB = 1e6


def generator_stamp(options):
    digest = hashlib.sha256(GENERATOR.read_bytes())
    digest.update(json.dumps(options).encode())
    return digest.hexdigest()


def prepare(work, name, options):
    path = work / name
    stamp = work / (name + ".stamp")
    wanted = generator_stamp(options)
    if path.exists() and stamp.exists() and stamp.read_text() == wanted:
        return path
    free = shutil.disk_usage(work).free
    if free < 3 << 30:
        sys.exit("%s: %.1f GiB free, the benchmark files need about 2.3 GiB" % (work, free / (1 << 30)))
    print("generating %s ..." % path, flush=True)
    subprocess.run([sys.executable, str(GENERATOR), str(path), *options], check=True)
    stamp.write_text(wanted)
    return path


def best_time(command, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def scan_summary_and_peak(cli, path):
    """One scan under /usr/bin/time -v: the counts it printed and its peak resident memory in KiB."""
    command = [cli, "scan", str(path)]
    measured = os.path.exists(GNU_TIME)
    if measured:
        command = [GNU_TIME, "-v"] + command
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("%s failed (%d):\n%s" % (" ".join(command), result.returncode, result.stderr))
    counts = ", ".join(re.findall(r"^(?:Mails|Calendars|Notes|Contacts|Tasks): \d+", result.stdout, re.M))
    peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr) if measured else None
    return counts, int(peak.group(1)) if peak else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=str(SOURCE / "build" / "mendora-cli"), help="path of mendora-cli")
    parser.add_argument("--work", default="/tmp/mendora-bench", help="where the generated files are kept")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement; the best counts")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit("no mendora-cli at %s (build it, or pass --cli)" % args.cli)
    if not os.path.exists(GNU_TIME):
        print("note: %s is missing (Debian package 'time'); peak memory is not measured" % GNU_TIME)
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    paths = [prepare(work, name, options) for name, options in FILES.items()]

    rows = []
    for path in paths:
        size = path.stat().st_size
        best_time(["cat", str(path)], 1)  # warm-up: the page cache now holds the file
        cat = best_time(["cat", str(path)], args.runs)
        scan = best_time([args.cli, "scan", str(path)], args.runs)
        counts, peak = scan_summary_and_peak(args.cli, path)
        rows.append((path.name, size, cat, scan, peak, counts))

    print("\n%-11s %9s %9s %9s %9s %9s %9s %10s" % ("file", "size MB", "cat s", "cat MB/s", "scan s",
                                                     "scan MB/s", "scan/cat", "peak MiB"))
    for name, size, cat, scan, peak, _ in rows:
        print("%-11s %9.0f %9.3f %9.0f %9.3f %9.0f %9.1f %10s" % (
            name, size / MB, cat, size / MB / cat, scan, size / MB / scan, scan / cat,
            "%.1f" % (peak / 1024) if peak is not None else "n/a"))
    print()
    for name, _, _, _, _, counts in rows:
        print("%-11s found %s" % (name, counts))


if __name__ == "__main__":
    main()
