#!/usr/bin/env python3
"""Walk speed of `mendora-cli find` on a tree of 100,000 files, against `find DIR -name '*.olm'`.

    bench/bench_find.py [--cli build/mendora-cli] [--work /tmp/mendora-bench-find] [--runs 5]

The tree (1,000 directories of 100 files, one .olm file in every tenth directory) is
made once and kept in the work directory. After one warming walk it takes the best of
--runs runs of each command and prints times, entries per second and the ratio.
"""
import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
OUTER, INNER, FILES = 20, 50, 100


def make_tree(root):
    marker = root / ".complete"
    if marker.exists():
        return
    for outer in range(OUTER):
        for inner in range(INNER):
            directory = root / ("dir%02d" % outer) / ("sub%02d" % inner)
            directory.mkdir(parents=True, exist_ok=True)
            for number in range(FILES):
                olm = number == 7 and inner % 10 == 0
                (directory / ("file%03d.%s" % (number, "olm" if olm else "txt"))).touch()
    marker.touch()


def best_of(runs, command):
    best, output = None, b""
    for _ in range(runs):
        started = time.perf_counter()
        output = subprocess.run(command, check=True, capture_output=True).stdout
        elapsed = time.perf_counter() - started
        best = elapsed if best is None else min(best, elapsed)
    return best, output.count(b"\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=str(SOURCE / "build" / "mendora-cli"))
    parser.add_argument("--work", default="/tmp/mendora-bench-find")
    parser.add_argument("--runs", type=int, default=5)
    options = parser.parse_args()
    root = Path(options.work) / "tree"
    make_tree(root)
    entries = OUTER * INNER * FILES + OUTER * INNER + OUTER
    subprocess.run([options.cli, "find", str(root)], check=True, capture_output=True)
    ours, ours_found = best_of(options.runs, [options.cli, "find", str(root)])
    theirs, theirs_found = best_of(options.runs, ["find", str(root), "-name", "*.olm"])
    if ours_found != theirs_found:
        sys.exit("mendora-cli find listed %d files, find %d" % (ours_found, theirs_found))
    print("%d entries, %d .olm files" % (entries, ours_found))
    print("mendora-cli find  %.3f s  %8.0f entries/s" % (ours, entries / ours))
    print("find -name        %.3f s  %8.0f entries/s" % (theirs, entries / theirs))
    print("ratio             %.2f" % (ours / theirs))


if __name__ == "__main__":
    main()
