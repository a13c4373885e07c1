#!/usr/bin/env python3
"""Save time of mendora-cli on a generated export of more than a gigabyte, in both
formats (the bundle and the standard files), against `cp` of the same file to the
same disk in the same run, and each save's peak memory.

    bench/bench_save.py [--cli build/mendora-cli] [--work /tmp/mendora-bench-save] [--runs 3]

Builds nothing. The file is generated once with the scan benchmark's content and
kept in the work directory. Each run copies the file with cp and saves it with
`mendora-cli save FILE DIR [--format standard]` into the work directory (the save
includes its scan), removing the copy and the output afterwards; the best run of
each counts. Prints the times, the ratio save/cp and the peak resident memory of
one save per format (from /usr/bin/time -v).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench_scan  # noqa: E402  (shares the generated content and its preparation)

MB = 1e6


def timed(command):
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True)
    return time.perf_counter() - start, result


# Each format's options of mendora-cli save.
FORMATS = {"rge": [], "standard": ["--format", "standard"]}


def save_once(cli, path, destination, options, measure_memory=False):
    """One save into an empty destination: (seconds, peak KiB or None, its output)."""
    shutil.rmtree(destination, ignore_errors=True)
    destination.mkdir()
    command = [cli, "save", str(path), str(destination)] + options
    if measure_memory:
        command = [bench_scan.GNU_TIME, "-v"] + command
    elapsed, result = timed(command)
    # Items the writers cannot convert yet are named and give status 1; anything else is a failure.
    if result.returncode not in (0, 1):
        sys.exit("%s failed (%d):\n%s" % (" ".join(command), result.returncode, result.stderr[-2000:]))
    peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr) if measure_memory else None
    shutil.rmtree(destination, ignore_errors=True)
    return elapsed, int(peak.group(1)) if peak else None, result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=str(bench_scan.SOURCE / "build" / "mendora-cli"), help="path of mendora-cli")
    parser.add_argument("--work", default="/tmp/mendora-bench-save", help="where the file, copy and bundle go")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement; the best counts")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit("no mendora-cli at %s (build it, or pass --cli)" % args.cli)
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    path = bench_scan.prepare(work, "intact.olm", bench_scan.CONTENT)
    size = path.stat().st_size
    copy = work / "copy.olm"
    destination = work / "saved"

    subprocess.run(["cat", str(path)], stdout=subprocess.DEVNULL, check=True)  # warm the page cache
    cp_best = None
    save_best = {name: None for name in FORMATS}
    outputs = {}
    for _ in range(args.runs):
        elapsed, result = timed(["cp", str(path), str(copy)])
        if result.returncode != 0:
            sys.exit("cp failed: %s" % result.stderr)
        subprocess.run(["sync"], check=True)
        copy.unlink()
        cp_best = elapsed if cp_best is None else min(cp_best, elapsed)
        for name, options in FORMATS.items():
            elapsed, _, outputs[name] = save_once(args.cli, path, destination, options)
            save_best[name] = elapsed if save_best[name] is None else min(save_best[name], elapsed)
    peaks = {name: save_once(args.cli, path, destination, options, measure_memory=True)[1]
             if os.path.exists(bench_scan.GNU_TIME) else None for name, options in FORMATS.items()}

    print("\n%-11s %-9s %9s %9s %9s %9s %10s" % ("file", "format", "size MB", "cp s", "save s", "save/cp",
                                                 "peak MiB"))
    for name in FORMATS:
        peak = peaks[name]
        print("%-11s %-9s %9.0f %9.3f %9.3f %9.2f %10s" % (path.name, name, size / MB, cp_best, save_best[name],
                                                           save_best[name] / cp_best,
                                                           "%.1f" % (peak / 1024) if peak is not None else "n/a"))
    for name in FORMATS:
        written = re.search(r"^Written: .*$", outputs[name], re.M)
        print("%s: %s" % (name, written.group(0) if written else outputs[name]))


if __name__ == "__main__":
    main()
