#!/usr/bin/env python3
"""The benchmark suite: scan and save speed and peak memory of mendora-cli on realistic
generated exports, each figure a ratio to a named comparator measured in the same run.

    nice -n 10 bench/bench.py [--cli build/mendora-cli] [--tmp DIR] [--runs 5] [--size-mib 1126]

Generates into a temporary folder (removed afterwards):
  intact.olm  about 1.1 GiB: 20,000 mails in 50 folders under four stores, bodies of
              2 to 50 KB, one mail in four with one to three attachments of 10 KB to
              2 MB, 5,000 contacts with pictures, 2,000 events, 1,000 tasks, 500 notes;
  wiped.olm   the same file with every local header but the first wiped;
  large.olm   about 4.4 GiB of the same kind of content, intact;
  bulk.olm    about 60 MB: 20,000 small mails in one folder, for the browse window.
--size-mib makes intact.olm about that size instead (every count shrinks with it, large.olm
stays four times its size): the targets are ratios, so a smaller export on a busy machine
still tells something; --scale does the same with a factor.

Every file is read once before it is measured, so the page cache holds it. Each measured
command and its comparator run in turns (command, comparator, command, ...), and the median
of --runs runs counts, for wall time and for CPU time (user + system of the command and its
children, from GNU time). Comparators:
  scans       `cat FILE >/dev/null`;
  saves       `cp -r` of the save's own output tree (made by the run just before) into the
              same temporary folder, then `sync`; the save too ends with `sync`. Every save and
              copy writes into a new folder, removed after the figure: the temporary folder needs
              room for 3 x --runs outputs (about 20 GiB at the default size).
Peak memory is the command's maximum resident set; its target is the record memory the scan
reports (`recordBytes`, what the record-memory watch counts) plus 64 MiB.
The browse figure is absolute: the time from a click on the folder of 20,000 mails in the
real main window (offscreen) to its filled list, first preview and painted window
(mendora-bench-browse), and the resident set after many switches between that folder and
the contacts.
--limited FILE ('generate' makes the 600,000-mail export, 2.8 GB, about 5.4 GiB of records)
measures that export alone: its scan and both saves inside a memory limit of
--memory-limit-mib (a memory control group where the machine lets the benchmark make one,
else RLIMIT_DATA, tools/memory_limit.py). Each must come out whole and is never killed;
the scan's target is 5 times cat.
On a shared machine wall times are noisy; compare builds by the CPU column or by
instruction counts (valgrind --tool=callgrind). The saves' system time depends on the file
system more than on the save: ext4 without a journal walks past every inode deleted in the
last minutes before it hands out a new one, and each run deletes the thousands of files the
last one wrote, so that cost grows over a run and lands on whichever command comes next. The
saves therefore never write where files were just deleted; the user column is free of the file
system either way, and --tmp on a tmpfs (/dev/shm) takes it out of both sides.
"""
import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tools"))
from memory_limit import MemoryLimit  # noqa: E402
GENERATOR = SOURCE / "tools" / "make_olm.py"
GNU_TIME = "/usr/bin/time"  # Debian package "time"
MIB = 1 << 20
GIB = 1 << 30
# Memory the scan may use beyond the records it keeps.
MEMORY_ALLOWANCE = 64 * MIB

INTACT_COUNTS = {"mails": 20000, "contacts": 5000, "events": 2000, "tasks": 1000, "notes": 500}
# What INTACT_COUNTS make, about: --size-mib scales the counts by its share of this.
INTACT_MIB = 1126
# The other documents stay as they are; four times the bytes take this many more mails.
LARGE_MAILS = 88000

TARGET_INTACT_SCAN = 1.5   # times cat
TARGET_WIPED_SCAN = 3.0    # times cat
TARGET_LARGE_SCAN = 4.5    # times the scan of intact.olm
TARGET_SAVE = 1.5          # times cp -r of the same output, for either format
SAVE_FORMATS = ("rge", "standard")
TARGET_LIMITED_SCAN = 5.0  # times cat, inside --memory-limit-mib
# The mail-heavy export of --limited generate: records of about 5.4 GiB.
LIMITED_OPTIONS = ["--mails", "600000", "--contacts", "2000", "--events", "2000", "--tasks", "500", "--notes", "500",
                   "--seed", "7"]
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
    """One finished command: wall and CPU seconds, peak resident memory and what it printed."""

    def __init__(self, seconds, user_seconds, system_seconds, peak_bytes, stdout, status):
        self.seconds = seconds
        self.user_seconds = user_seconds
        self.cpu_seconds = user_seconds + system_seconds
        self.peak_bytes = peak_bytes
        self.stdout = stdout
        self.status = status


def run_once(command, allowed=(0,), keep_output=True, preexec=None):
    # GNU time reports the peak and CPU time of the command alone: a child forked from
    # this interpreter would count the interpreter's own memory too. Output that is not
    # kept goes to /dev/null: through a pipe into this interpreter, cat's copy costs more
    # than cat.
    with tempfile.NamedTemporaryFile() as measured, tempfile.TemporaryFile() as errors:
        started = time.perf_counter()
        result = subprocess.run([GNU_TIME, "-f", "%M %U %S", "-o", measured.name, *map(str, command)],
                                stdout=subprocess.PIPE if keep_output else subprocess.DEVNULL,
                                stderr=errors, stdin=subprocess.DEVNULL, preexec_fn=preexec)
        seconds = time.perf_counter() - started
        if result.returncode not in allowed:
            errors.seek(0)
            sys.exit("%s failed (%d):\n%s" % (" ".join(map(str, command)), result.returncode,
                                             errors.read().decode(errors="replace")[-3000:]))
        peak_kib, user, system = open(measured.name).read().split()[-3:]
    return Run(seconds, float(user), float(system), int(peak_kib) * 1024, result.stdout, result.returncode)


class Median:
    """The medians of several runs of one command; the peak memory is the largest seen."""

    def __init__(self, runs):
        self.seconds = statistics.median(run.seconds for run in runs)
        self.cpu_seconds = statistics.median(run.cpu_seconds for run in runs)
        self.user_seconds = statistics.median(run.user_seconds for run in runs)
        self.peak_bytes = max(run.peak_bytes for run in runs)
        self.last = runs[-1]


def interleaved(commands, runs, limit=None):
    """Runs each (command, before, allowed) in turn, runs times over; the median of each.
    before runs ahead of its command, untimed. cat's output goes to /dev/null. With limit
    (a MemoryLimit), every command but cat runs inside it, and a kill for memory ends the run."""
    seen = [[] for _ in commands]
    for _ in range(runs):
        for index, (command, before, allowed) in enumerate(commands):
            if before:
                before()
            inside = limit if limit is not None and command[0] != "cat" else None
            seen[index].append(run_once(command, allowed, keep_output=command[0] != "cat",
                                        preexec=inside.enter if inside else None))
            if inside and inside.kills():
                sys.exit("%s was killed inside the memory limit (%s)" % (" ".join(map(str, command)), inside.kind))
    return [Median(runs_of_one) for runs_of_one in seen]


class Report:
    def __init__(self):
        self.rows = []
        self.missed = []

    def ratio(self, figure, measured, baseline, baseline_name, target, memory_target=None, counts=True):
        """measured and baseline are Medians (or plain seconds); counts: a miss is listed at the end."""
        wall = getattr(measured, "seconds", measured) / getattr(baseline, "seconds", baseline)
        verdict = "met" if wall <= target else "MISSED"
        cpu = ""
        if hasattr(measured, "cpu_seconds") and hasattr(baseline, "cpu_seconds"):
            cpu = "cpu %7.3f s / %7.3f s = %6.2fx  user %7.3f s / %7.3f s" % (
                measured.cpu_seconds, baseline.cpu_seconds, measured.cpu_seconds / max(baseline.cpu_seconds, 0.001),
                measured.user_seconds, baseline.user_seconds)
        memory = ""
        if memory_target is not None:
            memory_verdict = "met" if measured.peak_bytes <= memory_target else "MISSED"
            memory = "  peak %6.0f MiB (<= %.0f MiB: %s)" % (measured.peak_bytes / MIB, memory_target / MIB,
                                                            memory_verdict)
            if memory_verdict != "met" and counts:
                self.missed.append("%s: peak memory" % figure)
        if verdict != "met" and counts:
            self.missed.append("%s: time" % figure)
        self.rows.append("%-26s %8.3f s  %-22s %8.3f s  %6.2fx (<= %.1fx: %-6s)  %s%s" % (
            figure, getattr(measured, "seconds", measured), baseline_name, getattr(baseline, "seconds", baseline),
            wall, target, verdict, cpu, memory))

    def seconds(self, figure, measured, target, note=""):
        verdict = "met" if measured <= target else "MISSED"
        if verdict != "met":
            self.missed.append("%s: time" % figure)
        self.rows.append("%-26s %8.3f s  %-22s %10s  %6s (<= %.2g s: %-6s)  %s" % (
            figure, measured, "(absolute)", "", "", target, verdict, note))

    def print(self, runs):
        print()
        print("wall and CPU: medians of %d interleaved runs, files in the page cache" % runs)
        print("%-26s %10s  %-22s %10s  %-24s  %s" % ("figure", "wall", "comparator", "wall", "ratio (target)",
                                                     "CPU (user+sys) ratio, user CPU, peak memory (target)"))
        for row in self.rows:
            print(row)
        print()
        print("all targets met" if not self.missed else "missed: " + "; ".join(self.missed))


def scan_figures(cli, path, runs, report, name, baseline_cli=None, limit=None):
    """Scans path against cat; returns the median scan and the bytes of the records it kept.
    With baseline_cli, that program's scan takes its turns too, under the same conditions.
    With limit (a MemoryLimit), the scans run inside it and must come out whole."""
    cat = ["cat", str(path)]
    run_once(cat, keep_output=False)  # the page cache now holds the file
    commands = [(cat, None, (0,)), ([cli, "scan", "--json", str(path)], None, (0,))]
    if baseline_cli:
        commands.append(([baseline_cli, "scan", "--json", str(path)], None, (0,)))
    measured = interleaved(commands, runs, limit)
    baseline, scan = measured[0], measured[1]
    summary = json.loads(scan.last.stdout)
    records = summary["recordBytes"]
    target = TARGET_INTACT_SCAN if name != "wiped" else TARGET_WIPED_SCAN
    memory_target = records + MEMORY_ALLOWANCE
    if limit:
        # The limit holds the page cache too, so the group's peak is the limit itself once the
        # file is larger, and the resident set counts the file pages the system may drop: the
        # figures that count are a whole scan and no kill (interleaved ends the run on one).
        target, memory_target = TARGET_LIMITED_SCAN, None
        if summary["incomplete"]:
            report.missed.append("scan %s: incomplete inside the limit" % name)
        print("  inside %s of %.0f MiB: whole %s, group peak %s, largest resident set %.0f MiB" % (
            limit.kind, limit.limit_bytes / MIB, "no" if summary["incomplete"] else "yes",
            "%.0f MiB" % (limit.peak_bytes() / MIB) if limit.peak_bytes() else "not known", scan.peak_bytes / MIB),
            flush=True)
    report.ratio("scan %s (%.2f GiB)" % (name, path.stat().st_size / GIB), scan, baseline,
                 "cat FILE >/dev/null", target, memory_target)
    if baseline_cli:
        before = measured[2]
        report.ratio("  before: scan %s" % name, before, baseline, "cat FILE >/dev/null", target,
                     json.loads(before.last.stdout).get("recordBytes", records) + MEMORY_ALLOWANCE, counts=False)
    counts = summary["counts"]
    print("  %s: %s; records %.0f MiB" % (name, ", ".join("%s %d" % (k, v) for k, v in counts.items()),
                                         records / MIB), flush=True)
    return scan, records


def save_figure(cli, path, work, runs, report, records, baseline_cli=None, limit=None):
    # Every save and every copy writes into a folder of its own, reached through the links
    # saved and copied: deleting the last run's thousands of files right before the next
    # run would make that run pay for them (see the header). The folders go after a figure.
    saved = work / "saved"
    copied = work / "copied"
    outputs = work / "outputs"
    made = iter(range(1 << 30))

    def fresh(link):
        folder = outputs / str(next(made))
        folder.mkdir(parents=True)
        if link.is_symlink():
            link.unlink()
        link.symlink_to(folder)

    def save_command(program, format_name):
        return ["sh", "-c", '"$1" save "$2" "$3" --format "$4"; status=$?; sync; exit $status', "save",
                program, str(path), str(saved), format_name]

    # The comparator copies what the save just before it wrote: the same files, the same bytes.
    copy = ["sh", "-c", 'cp -r "$1"/. "$2" && sync', "copy", str(saved), str(copied)]
    for format_name in SAVE_FORMATS:
        commands = [(save_command(cli, format_name), lambda: fresh(saved), SAVE_STATUSES),
                    (copy, lambda: fresh(copied), (0,))]
        if baseline_cli:
            commands.append((save_command(baseline_cli, format_name), lambda: fresh(saved), SAVE_STATUSES))
        measured = interleaved(commands, runs, limit)
        save, baseline = measured[0], measured[1]
        memory_target = None if limit else records + MEMORY_ALLOWANCE
        # The last copy holds what the measured save wrote.
        output_bytes = sum(f.stat().st_size for f in copied.resolve().rglob("*") if f.is_file())
        report.ratio("save %s (%.2f GiB)" % (format_name, path.stat().st_size / GIB), save, baseline,
                     "cp -r output + sync", TARGET_SAVE, memory_target)
        if baseline_cli:
            report.ratio("  before: save %s" % format_name, measured[2], baseline, "cp -r output + sync",
                         TARGET_SAVE, memory_target, counts=False)
        written = [line for line in save.last.stdout.decode(errors="replace").splitlines()
                   if line.startswith("Written")]
        print("  save %s: %s%s; output %.2f GiB" % (
            format_name, written[0] if written else "wrote nothing it reported",
            "" if save.last.status == 0 else " (some items failed; status %d)" % save.last.status,
            output_bytes / GIB), flush=True)
        shutil.rmtree(outputs)


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


def limited_figures(cli, args, work, skipped, baseline_cli):
    """The scan and saves of one export inside a memory limit: whole, never killed."""
    path = Path(args.limited)
    if args.limited == "generate":
        path = work / "mails600k.olm"
        generate(path, LIMITED_OPTIONS)
    report = Report()
    with MemoryLimit(args.memory_limit_mib * MIB) as limit:
        _, records = scan_figures(cli, path, args.runs, report, "limited", baseline_cli, limit)
        if "save" not in skipped:
            save_figure(cli, path, work, args.runs, report, records, baseline_cli, limit)
    report.print(args.runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=str(SOURCE / "build" / "mendora-cli"), help="path of mendora-cli")
    parser.add_argument("--tmp", default=None, help="where the temporary folder is made (default: the system's)")
    parser.add_argument("--runs", type=int, default=5, help="interleaved runs per measurement; the median counts")
    parser.add_argument("--scale", type=float, default=1.0, help="multiply every count (quick checks)")
    parser.add_argument("--size-mib", type=float, help="make intact.olm about this size (scales every count)")
    parser.add_argument("--skip", default="", help="comma-separated figures left out: wiped, large, save, browse")
    parser.add_argument("--browse", default=str(SOURCE / "build" / "mendora-bench-browse"),
                        help="path of mendora-bench-browse")
    parser.add_argument("--only-browse", action="store_true", help="only the browse window's figure")
    parser.add_argument("--baseline-cli", help="another mendora-cli (an earlier build) whose scans and saves take "
                                               "their turns beside --cli's, on the same files in the same run")
    parser.add_argument("--limited", metavar="FILE", help="instead of the suite: scan and save FILE inside a memory "
                                                          "limit ('generate': the 600,000-mail export, 2.8 GB)")
    parser.add_argument("--memory-limit-mib", type=int, default=1536, help="the limit of --limited (default 1536)")
    args = parser.parse_args()
    skipped = set(filter(None, args.skip.split(",")))
    unknown = skipped - {"wiped", "large", "save", "browse"}
    if unknown:
        parser.error("--skip: no figure named %s" % ", ".join(sorted(unknown)))
    scale = args.size_mib / INTACT_MIB if args.size_mib else args.scale
    # Stopped with a signal, the temporary folder is still removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    baseline_cli = os.path.abspath(args.baseline_cli) if args.baseline_cli else None
    cli = os.path.abspath(args.cli)
    browse = os.path.abspath(args.browse)
    if not os.access(cli, os.X_OK):
        sys.exit("no mendora-cli at %s (build it, or pass --cli)" % cli)
    if "browse" not in skipped and not os.access(browse, os.X_OK):
        sys.exit("no mendora-bench-browse at %s (build it, pass --browse, or --skip browse)" % browse)
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit("%s is missing: tools/bootstrap.sh installs it" % GNU_TIME)
    work = Path(tempfile.mkdtemp(prefix="mendora-bench-", dir=args.tmp))
    if args.limited:
        try:
            limited_figures(cli, args, work, skipped, baseline_cli)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        return
    needed = 9 * GIB * scale
    if shutil.disk_usage(work).free < needed:
        shutil.rmtree(work)
        sys.exit("%s: the benchmark files need about %.1f GiB" % (work, needed / GIB))
    try:
        report = Report()
        if args.only_browse:
            browse_figure(browse, work, args.runs, report, scale)
            report.print(args.runs)
            return
        intact, wiped, large = work / "intact.olm", work / "wiped.olm", work / "large.olm"
        options = counts_options(INTACT_COUNTS, scale)
        generate(intact, options)
        intact_scan, intact_records = scan_figures(cli, intact, args.runs, report, "intact", baseline_cli)
        if "save" not in skipped:
            save_figure(cli, intact, work, args.runs, report, intact_records, baseline_cli)
        if "wiped" not in skipped:
            generate(wiped, options + ["--wipe-headers", "all"])
            scan_figures(cli, wiped, args.runs, report, "wiped", baseline_cli)
            wiped.unlink()
        if "large" not in skipped:
            generate(large, counts_options(dict(INTACT_COUNTS, mails=LARGE_MAILS), scale))
            large_scan, _ = scan_figures(cli, large, args.runs, report, "large", baseline_cli)
            report.ratio("scan large / intact", large_scan.seconds, intact_scan.seconds, "scan intact",
                         TARGET_LARGE_SCAN)
            print("  large.olm is %.2f times the size of intact.olm"
                  % (large.stat().st_size / intact.stat().st_size))
            large.unlink()
        if "browse" not in skipped:
            browse_figure(browse, work, args.runs, report, scale)
        report.print(args.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
