#!/usr/bin/env python3
"""The benchmark suite: scan (and save) speed and peak memory of mendora-cli on
realistic generated exports, each figure a ratio to a baseline taken in the same run.

    nice -n 10 bench/bench.py [--cli build/mendora-cli] [--tmp DIR] [--runs 3] [--scale 1]

Generates into a temporary folder (removed afterwards):
  intact.olm  about 1 GiB: 20,000 mails in 50 folders under four stores, bodies of
              2 to 50 KB, one mail in four with one to three attachments of 10 KB to
              2 MB, 5,000 contacts with pictures, 2,000 events, 1,000 tasks, 500 notes;
  wiped.olm   the same file with every local header but the first wiped;
  large.olm   about 4 GiB of the same kind of content, intact.
Scans are compared with `cat FILE >/dev/null` on the same file, just read, so the
page cache holds it for both. Peak memory is the scan's maximum resident set, its
target the bytes of the records the scan keeps plus 64 MiB. --scale shrinks every
count (for a quick check of the suite itself); the targets stay the same.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
GENERATOR = SOURCE / "tools" / "make_olm.py"
MIB = 1 << 20
GIB = 1 << 30
# Memory the scan may use beyond the records it keeps.
MEMORY_ALLOWANCE = 64 * MIB

INTACT_COUNTS = {"mails": 20000, "contacts": 5000, "events": 2000, "tasks": 1000, "notes": 500}
# The other documents stay as they are; four times the bytes take this many more mails.
LARGE_MAILS = 88000

TARGET_INTACT_SCAN = 1.0   # times cat
TARGET_WIPED_SCAN = 3.0    # times cat
TARGET_LARGE_SCAN = 4.5    # times the scan of intact.olm
TARGET_SAVE = 3.0          # times cp


def counts_options(counts, scale):
    # At least 5,000 contacts with pictures; a scaled-down run keeps its smaller count.
    options = ["--realistic"] + (["--large-contacts"] if scale >= 1 else [])
    for key, value in counts.items():
        options += ["--" + key, str(max(1, round(value * scale)))]
    return options


def generate(path, options):
    print("generating %s ..." % path.name, flush=True)
    started = time.perf_counter()
    subprocess.run(["nice", "-n", "10", sys.executable, str(GENERATOR), str(path), *options], check=True)
    print("  %.2f GiB in %.0f s" % (path.stat().st_size / GIB, time.perf_counter() - started), flush=True)


class Run:
    """One finished command: wall time, peak resident memory and what it printed."""

    def __init__(self, seconds, peak_bytes, stdout):
        self.seconds = seconds
        self.peak_bytes = peak_bytes
        self.stdout = stdout


def run_once(command):
    with tempfile.TemporaryFile() as errors:
        started = time.perf_counter()
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=errors, stdin=subprocess.DEVNULL)
        stdout = process.stdout.read()
        process.stdout.close()
        # wait4 gives this child's own resource use, so the peak is the command's alone.
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - started
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            errors.seek(0)
            sys.exit("%s failed (%d):\n%s" % (" ".join(map(str, command)), process.returncode,
                                             errors.read().decode(errors="replace")))
    return Run(seconds, usage.ru_maxrss * 1024, stdout)


def best_of(command, runs, before=None):
    """The fastest of runs runs; the peak memory is the largest seen. before runs ahead of each run."""
    best = None
    peak = 0
    for _ in range(runs):
        if before:
            before()
        run = run_once(command)
        peak = max(peak, run.peak_bytes)
        if best is None or run.seconds < best.seconds:
            best = run
    best.peak_bytes = peak
    return best


class Report:
    def __init__(self):
        self.rows = []
        self.missed = []

    def ratio(self, figure, measured, baseline, baseline_name, target, peak=None, memory_target=None):
        ratio = measured / baseline
        verdict = "met" if ratio <= target else "MISSED"
        memory = ""
        if peak is not None:
            memory_verdict = "met" if peak <= memory_target else "MISSED"
            memory = "%7.0f MiB (<= %.0f MiB: %s)" % (peak / MIB, memory_target / MIB, memory_verdict)
            if memory_verdict != "met":
                self.missed.append("%s: peak memory" % figure)
        if verdict != "met":
            self.missed.append("%s: time" % figure)
        self.rows.append("%-24s %8.3f s  %-18s %8.3f s  %6.2fx (<= %.1fx: %-6s)  %s" % (
            figure, measured, baseline_name, baseline, ratio, target, verdict, memory))

    def print(self):
        print()
        print("%-24s %10s  %-18s %10s  %-22s  %s" % ("figure", "time", "baseline", "time", "ratio (target)",
                                                     "peak memory (target)"))
        for row in self.rows:
            print(row)
        print()
        print("all targets met" if not self.missed else "missed: " + "; ".join(self.missed))


def scan_figures(cli, path, runs, report, name):
    """Scans path; returns the best scan time."""
    cat = ["cat", str(path)]
    run_once(cat)  # the page cache now holds the file
    baseline = best_of(cat, runs)
    scan = best_of([cli, "scan", "--json", str(path)], runs)
    summary = json.loads(scan.stdout)
    records = summary["recordBytes"]
    report.ratio("scan %s (%.2f GiB)" % (name, path.stat().st_size / GIB), scan.seconds, baseline.seconds,
                 "cat >/dev/null", TARGET_INTACT_SCAN if name != "wiped" else TARGET_WIPED_SCAN,
                 scan.peak_bytes, records + MEMORY_ALLOWANCE)
    counts = summary["counts"]
    print("  %s: %s; records %.0f MiB" % (name, ", ".join("%s %d" % (k, v) for k, v in counts.items()),
                                         records / MIB), flush=True)
    return scan.seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=str(SOURCE / "build" / "mendora-cli"), help="path of mendora-cli")
    parser.add_argument("--tmp", default=None, help="where the temporary folder is made (default: the system's)")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement; the fastest counts")
    parser.add_argument("--scale", type=float, default=1.0, help="multiply every count (quick checks)")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        sys.exit("no mendora-cli at %s (build it, or pass --cli)" % cli)
    work = Path(tempfile.mkdtemp(prefix="mendora-bench-", dir=args.tmp))
    needed = 7 * GIB * args.scale
    if shutil.disk_usage(work).free < needed:
        shutil.rmtree(work)
        sys.exit("%s: the benchmark files need about %.1f GiB" % (work, needed / GIB))
    try:
        intact, wiped, large = work / "intact.olm", work / "wiped.olm", work / "large.olm"
        options = counts_options(INTACT_COUNTS, args.scale)
        generate(intact, options)
        generate(wiped, options + ["--wipe-headers", "all"])
        large_counts = dict(INTACT_COUNTS, mails=LARGE_MAILS)
        generate(large, counts_options(large_counts, args.scale))

        report = Report()
        intact_scan = scan_figures(cli, intact, args.runs, report, "intact")
        scan_figures(cli, wiped, args.runs, report, "wiped")
        large_scan = scan_figures(cli, large, args.runs, report, "large")
        report.ratio("scan large / intact", large_scan, intact_scan, "scan intact", TARGET_LARGE_SCAN)
        print("  large.olm is %.2f times the size of intact.olm"
              % (large.stat().st_size / intact.stat().st_size))
        report.print()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
