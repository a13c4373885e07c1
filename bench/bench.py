#!/usr/bin/env python3
"""The benchmark suite: scan (and save) speed and peak memory of mendora-cli on
realistic generated exports, each figure a ratio to a baseline taken in the same run.

    nice -n 10 bench/bench.py [--cli build/mendora-cli] [--tmp DIR] [--runs 3] [--scale 1]

Generates into a temporary folder (removed afterwards):
  intact.olm  about 1 GiB: 20,000 mails in 50 folders under four stores, bodies of
              2 to 50 KB, one mail in four with one to three attachments of 10 KB to
              2 MB, 5,000 contacts with pictures, 2,000 events, 1,000 tasks, 500 notes;
  wiped.olm   the same file with every local header but the first wiped;
  large.olm   about 4 GiB of the same kind of content, intact;
  bulk.olm    about 60 MB: 20,000 small mails in one folder, for the browse window.
Scans are compared with `cat FILE >/dev/null` on the same file, just read, so the
page cache holds it for both; the saves of intact.olm (`mendora-cli save`, its scan
included), as the bundle and as standard files (`--format standard`), with
`cp FILE` into the same temporary folder, synced, as the saves' outputs are. Peak memory is the command's maximum resident set, its target the
bytes of the records the scan keeps plus 64 MiB. The browse figure is absolute: the
time from a click on the folder of 20,000 mails in the real main window (offscreen)
to its filled list, first preview and painted window (mendora-bench-browse), and the
resident set after many switches between that folder and the contacts. --scale shrinks every count (for
a quick check of the suite itself); the targets stay the same.
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
GENERATOR = SOURCE / "tools" / "make_olm.py"
GNU_TIME = "/usr/bin/time"  # Debian package "time"
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
TARGET_SAVE = 3.0          # times cp, for either format
SAVE_FORMATS = ("rge", "standard")
TARGET_BROWSE_CLICK = 0.5  # seconds from the click to the filled list
TARGET_LIST_RESPONSE = 0.1  # seconds for a sort by a header or a keystroke in the search box
# Switching folders may not keep memory: growth over all switches at most this much.
BROWSE_MEMORY_GROWTH = 16 * MIB
# Small mails in one folder until the file has this size (about 20,000 of them).
BULK_SIZE = 58 * MIB
# A save that could not write some items says which and exits with 1; its time still counts.
SAVE_STATUSES = (0, 1)


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

    def __init__(self, seconds, peak_bytes, stdout, status):
        self.seconds = seconds
        self.peak_bytes = peak_bytes
        self.stdout = stdout
        self.status = status


def run_once(command, allowed=(0,)):
    # GNU time reports the peak of the command alone: a child forked from this
    # interpreter would count the interpreter's own memory too.
    with tempfile.NamedTemporaryFile() as peak, tempfile.TemporaryFile() as errors:
        started = time.perf_counter()
        result = subprocess.run([GNU_TIME, "-f", "%M", "-o", peak.name, *map(str, command)],
                                stdout=subprocess.PIPE, stderr=errors, stdin=subprocess.DEVNULL)
        seconds = time.perf_counter() - started
        if result.returncode not in allowed:
            errors.seek(0)
            sys.exit("%s failed (%d):\n%s" % (" ".join(map(str, command)), result.returncode,
                                             errors.read().decode(errors="replace")[-3000:]))
        peak_kib = int(open(peak.name).read().split()[-1])
    return Run(seconds, peak_kib * 1024, result.stdout, result.returncode)


def best_of(command, runs, before=None, allowed=(0,)):
    """The fastest of runs runs; the peak memory is the largest seen. before runs ahead of each run."""
    best = None
    peak = 0
    for _ in range(runs):
        if before:
            before()
        run = run_once(command, allowed)
        peak = max(peak, run.peak_bytes)
        if best is None or run.seconds < best.seconds:
            best = run
    best.peak_bytes = peak
    return best


class Report:
    def __init__(self):
        self.rows = []
        self.missed = []

    def ratio(self, figure, measured, baseline, baseline_name, target, peak=None, memory_target=None,
              counts=True):
        """counts: a miss is listed at the end (not so for the baseline program's figures)."""
        ratio = measured / baseline
        verdict = "met" if ratio <= target else "MISSED"
        memory = ""
        if peak is not None:
            memory_verdict = "met" if peak <= memory_target else "MISSED"
            memory = "%7.0f MiB (<= %.0f MiB: %s)" % (peak / MIB, memory_target / MIB, memory_verdict)
            if memory_verdict != "met" and counts:
                self.missed.append("%s: peak memory" % figure)
        if verdict != "met" and counts:
            self.missed.append("%s: time" % figure)
        self.rows.append("%-24s %8.3f s  %-18s %8.3f s  %6.2fx (<= %.1fx: %-6s)  %s" % (
            figure, measured, baseline_name, baseline, ratio, target, verdict, memory))

    def seconds(self, figure, measured, target, note=""):
        verdict = "met" if measured <= target else "MISSED"
        if verdict != "met":
            self.missed.append("%s: time" % figure)
        self.rows.append("%-24s %8.3f s  %-18s %10s  %6s (<= %.2g s: %-6s)  %s" % (
            figure, measured, "(absolute)", "", "", target, verdict, note))

    def print(self):
        print()
        print("%-24s %10s  %-18s %10s  %-22s  %s" % ("figure", "time", "baseline", "time", "ratio (target)",
                                                     "peak memory (target)"))
        for row in self.rows:
            print(row)
        print()
        print("all targets met" if not self.missed else "missed: " + "; ".join(self.missed))


def scan_figures(cli, path, runs, report, name, baseline_cli=None):
    """Scans path; returns the best scan time and the bytes of the records it kept.
    With baseline_cli, that program's scan is measured too, under the same conditions."""
    cat = ["cat", str(path)]
    run_once(cat)  # the page cache now holds the file
    baseline = best_of(cat, runs)
    scan = best_of([cli, "scan", "--json", str(path)], runs)
    summary = json.loads(scan.stdout)
    records = summary["recordBytes"]
    target = TARGET_INTACT_SCAN if name != "wiped" else TARGET_WIPED_SCAN
    report.ratio("scan %s (%.2f GiB)" % (name, path.stat().st_size / GIB), scan.seconds, baseline.seconds,
                 "cat >/dev/null", target, scan.peak_bytes, records + MEMORY_ALLOWANCE)
    if baseline_cli:
        before = best_of([baseline_cli, "scan", "--json", str(path)], runs)
        report.ratio("  before: scan %s" % name, before.seconds, baseline.seconds, "cat >/dev/null", target,
                     before.peak_bytes, json.loads(before.stdout).get("recordBytes", records) + MEMORY_ALLOWANCE,
                     counts=False)
    counts = summary["counts"]
    print("  %s: %s; records %.0f MiB" % (name, ", ".join("%s %d" % (k, v) for k, v in counts.items()),
                                         records / MIB), flush=True)
    return scan.seconds, records


def save_figure(cli, path, work, runs, report, records):
    copy = work / "copy.olm"
    bundle_folder = work / "saved"

    def remove_outputs():
        if copy.exists():
            copy.unlink()
        shutil.rmtree(bundle_folder, ignore_errors=True)
        bundle_folder.mkdir()

    # Both commands write into the temporary folder and end with their data on disk.
    baseline = best_of(["sh", "-c", 'cp "$1" "$2" && sync "$2"', "cp", str(path), str(copy)], runs,
                       before=remove_outputs)
    for format_name in SAVE_FORMATS:
        save = best_of(["sh", "-c", '"$1" save "$2" "$3" --format "$4"; status=$?; sync; exit $status', "save", cli,
                        str(path), str(bundle_folder), format_name], runs, before=remove_outputs,
                       allowed=SAVE_STATUSES)
        remove_outputs()
        report.ratio("save %s (%.2f GiB)" % (format_name, path.stat().st_size / GIB), save.seconds,
                     baseline.seconds, "cp + sync", TARGET_SAVE, save.peak_bytes, records + MEMORY_ALLOWANCE)
        written = [line for line in save.stdout.decode(errors="replace").splitlines() if line.startswith("Written")]
        print("  save %s: %s%s" % (format_name, written[0] if written else "wrote nothing it reported",
                                   "" if save.status == 0 else " (some items failed; status %d)" % save.status),
              flush=True)


def browse_figure(browse, work, runs, report, scale):
    bulk = work / "bulk.olm"
    generate(bulk, ["--mails", "7", "--contacts", "1", "--events", "1", "--tasks", "1", "--notes", "1",
                    "--size", str(int(BULK_SIZE * scale)), "--large-attachment-size", "2KiB",
                    "--attachment-size", "1KiB"])
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    done = subprocess.run([browse, str(bulk), str(max(runs, 3))], env=environment, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=True)
    result = json.loads(done.stdout)
    growth = result["residentAfterSwitching"] - result["residentAfterFirstClick"]
    memory = "met" if growth <= BROWSE_MEMORY_GROWTH else "MISSED"
    if memory != "met":
        report.missed.append("browse: memory growth")
    report.seconds("click %d-mail folder" % result["mails"], result["medianMs"] / 1000, TARGET_BROWSE_CLICK,
                   "median of %d; memory %+.1f MiB after %d switches (<= %d MiB: %s)"
                   % (max(runs, 3), growth / MIB, result["switches"], BROWSE_MEMORY_GROWTH // MIB, memory))
    report.seconds("sort %d mails by date" % result["mails"], result["sortByDateWorstMs"] / 1000, TARGET_LIST_RESPONSE,
                   "worst of %d clicks on the Date header, median %.1f ms"
                   % (2 * max(runs, 3), result["sortByDateMedianMs"]))
    report.seconds("filter %d mails by \"%s\"" % (result["mails"], result["filterWord"]),
                   result["filterKeystrokeWorstMs"] / 1000, TARGET_LIST_RESPONSE,
                   "worst keystroke, median %.1f ms; %d rows match"
                   % (result["filterKeystrokeMedianMs"], result["rowsMatchingWord"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=str(SOURCE / "build" / "mendora-cli"), help="path of mendora-cli")
    parser.add_argument("--tmp", default=None, help="where the temporary folder is made (default: the system's)")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement; the fastest counts")
    parser.add_argument("--scale", type=float, default=1.0, help="multiply every count (quick checks)")
    parser.add_argument("--browse", default=str(SOURCE / "build" / "mendora-bench-browse"),
                        help="path of mendora-bench-browse")
    parser.add_argument("--only-browse", action="store_true", help="only the browse window's figure")
    parser.add_argument("--baseline-cli", help="another mendora-cli (an earlier build) whose scans are measured "
                                               "beside --cli's, on the same files in the same run")
    args = parser.parse_args()
    # Stopped with a signal, the temporary folder is still removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    baseline_cli = os.path.abspath(args.baseline_cli) if args.baseline_cli else None
    cli = os.path.abspath(args.cli)
    browse = os.path.abspath(args.browse)
    if not os.access(cli, os.X_OK):
        sys.exit("no mendora-cli at %s (build it, or pass --cli)" % cli)
    if not os.access(browse, os.X_OK):
        sys.exit("no mendora-bench-browse at %s (build it, or pass --browse)" % browse)
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit("%s is missing: tools/bootstrap.sh installs it" % GNU_TIME)
    work = Path(tempfile.mkdtemp(prefix="mendora-bench-", dir=args.tmp))
    needed = 7 * GIB * args.scale
    if shutil.disk_usage(work).free < needed:
        shutil.rmtree(work)
        sys.exit("%s: the benchmark files need about %.1f GiB" % (work, needed / GIB))
    try:
        if args.only_browse:
            report = Report()
            browse_figure(browse, work, args.runs, report, args.scale)
            report.print()
            return
        intact, wiped, large = work / "intact.olm", work / "wiped.olm", work / "large.olm"
        options = counts_options(INTACT_COUNTS, args.scale)
        generate(intact, options)
        generate(wiped, options + ["--wipe-headers", "all"])
        large_counts = dict(INTACT_COUNTS, mails=LARGE_MAILS)
        generate(large, counts_options(large_counts, args.scale))

        report = Report()
        intact_scan, intact_records = scan_figures(cli, intact, args.runs, report, "intact", baseline_cli)
        scan_figures(cli, wiped, args.runs, report, "wiped", baseline_cli)
        large_scan, _ = scan_figures(cli, large, args.runs, report, "large", baseline_cli)
        report.ratio("scan large / intact", large_scan, intact_scan, "scan intact", TARGET_LARGE_SCAN)
        print("  large.olm is %.2f times the size of intact.olm"
              % (large.stat().st_size / intact.stat().st_size))
        save_figure(cli, intact, work, args.runs, report, intact_records)
        browse_figure(browse, work, args.runs, report, args.scale)
        report.print()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
