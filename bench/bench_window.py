#!/usr/bin/env python3
"""The window's figures on big exports, each beside its target: mendora-bench-browse run
offscreen, on files given or made here. The window opens the big export inside a memory
limit (tools/memory_limit.py); the other figures are taken without one.

    bench/bench_window.py [--export FILE] [--folder FILE] [--browse build/mendora-bench-browse]
                          [--memory-limit-mib 1536] [--runs 3] [--work /tmp/mendora-bench-window]

--export is the big export the window must open inside the limit, where the search across
every folder is timed (made with the generator's 600,000-mail arguments when not given:
2.8 GB, several minutes). --folder is an export whose largest folder holds about 200,000
mails, for the list, its sort and its search box (made when not given: 0.6 GB). Files made
here are kept in --work for the next run.

A figure is what one run gives on this machine as it is: with other work on its two cores,
wall times grow; the CPU time of the whole run is printed beside them.
"""
import argparse
import contextlib
import json
import os
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tools"))
from memory_limit import MemoryLimit  # noqa: E402

MIB = 1 << 20
TARGET_FOLDER_FILL = 0.5   # seconds from the click on a folder of 200,000 mails to its filled list
TARGET_SORT = 0.3          # seconds for a sort by a header of that list
TARGET_KEYSTROKE = 0.1     # seconds a keystroke in a search field holds the window
TARGET_FIRST_RESULT = 1.0  # seconds from the last keystroke to the first mail found in every folder

EXPORT_ARGUMENTS = ["--mails", "600000", "--contacts", "2000", "--events", "2000", "--tasks", "500",
                    "--notes", "500", "--seed", "7"]
# The generator puts mails added to reach --size into one folder: 608 MB of them is about 190,000.
FOLDER_ARGUMENTS = ["--mails", "7", "--contacts", "1", "--events", "1", "--tasks", "1", "--notes", "1",
                    "--size", str(580 * MIB), "--large-attachment-size", "2KiB", "--attachment-size", "1KiB",
                    "--seed", "3"]


def made(path, arguments):
    if not path.exists():
        print("making %s ..." % path, flush=True)
        partial = path.with_suffix(".part")
        subprocess.run([sys.executable, str(SOURCE / "tools" / "make_olm.py"), str(partial)] + arguments, check=True)
        partial.rename(path)
    return path


def run_browse(browse, olm, runs, limit_mib=None):
    """The bench's figures, with the limit's kind, peak and kills, and the run's CPU time.
    With a limit the window only opens the file and its largest folder."""
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    with (MemoryLimit(limit_mib * MIB) if limit_mib else contextlib.nullcontext()) as limit:
        before = os.times()
        started = time.perf_counter()
        done = subprocess.run([browse, str(olm), str(runs)] + (["--open-only"] if limit_mib else []), env=environment,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              preexec_fn=limit.enter if limit_mib else None)
        wall = time.perf_counter() - started
        after = os.times()
        result = {}
        if done.returncode == 0:
            result = json.loads(done.stdout)
        result["status"] = done.returncode
        result["error"] = done.stderr.decode(errors="replace").strip().splitlines()[-1:] if done.returncode else []
        result["limitKind"] = limit.kind if limit else "none"
        result["limitPeak"] = limit.peak_bytes() if limit else None
        result["kills"] = limit.kills() if limit else 0
        result["wall"] = wall
        result["cpu"] = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return result


def line(what, seconds, target, note=""):
    verdict = "met" if seconds is not None and 0 <= seconds <= target else "MISSED"
    shown = "%.3f s" % seconds if seconds is not None and seconds >= 0 else "none"
    print("  %-44s %10s   target %.2f s  %-6s %s" % (what, shown, target, verdict, note))


def memory_line(result, limit_mib):
    peak = result.get("limitPeak") or result.get("peakResident")
    stopped = " ".join(result.get("scanMessages", []))
    whole = result["status"] == 0 and not result["kills"] and not stopped
    print("  %-44s %10s   limit %d MiB (%s)  %s" % (
        "open it and its largest folder: peak", "%.0f MiB" % (peak / MIB) if peak else "?", limit_mib,
        result["limitKind"],
        "met" if whole else "MISSED: status %d, %d kills %s %s" % (result["status"], result["kills"], result["error"],
                                                                   stopped)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--export", help="the big export (default: made with the 600,000-mail arguments)")
    parser.add_argument("--folder", help="an export with a folder of about 200,000 mails (default: made)")
    parser.add_argument("--browse", default=str(SOURCE / "build" / "mendora-bench-browse"))
    parser.add_argument("--memory-limit-mib", type=int, default=1536)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default="/tmp/mendora-bench-window")
    options = parser.parse_args()
    work = Path(options.work)
    work.mkdir(parents=True, exist_ok=True)
    folder = Path(options.folder) if options.folder else made(work / "folder200k.olm", FOLDER_ARGUMENTS)
    export = Path(options.export) if options.export else made(work / "mails600k.olm", EXPORT_ARGUMENTS)
    print("load average before: %.1f %.1f %.1f on %d cores" % (os.getloadavg() + (os.cpu_count(),)), flush=True)
    opened = run_browse(options.browse, export, 1, options.memory_limit_mib)
    print("%s inside the limit: %s mails, %.0f s wall, %.0f s CPU"
          % (export.name, opened.get("allMails", "?"), opened["wall"], opened["cpu"]))
    memory_line(opened, options.memory_limit_mib)
    for olm, big in ((folder, False), (export, True)):
        result = run_browse(options.browse, olm, options.runs)
        print("%s: %s mails, largest folder %s; run %.0f s wall, %.0f s CPU, peak resident %.0f MiB"
              % (olm.name, result.get("allMails", "?"), result.get("mails", "?"), result["wall"], result["cpu"],
                 result.get("peakResident", 0) / MIB), flush=True)
        if result["status"] != 0:
            print("  failed: status %d %s" % (result["status"], result["error"]))
            continue
        if not big:
            line("fill the list of %d mails (median)" % result["mails"], result["medianMs"] / 1000, TARGET_FOLDER_FILL,
                 "worst %.3f s" % (result["worstMs"] / 1000))
            line("sort it by date (worst)", result["sortByDateWorstMs"] / 1000, TARGET_SORT,
                 "median %.3f s" % (result["sortByDateMedianMs"] / 1000))
            line("search box keystroke (worst)", result["filterKeystrokeWorstMs"] / 1000, TARGET_KEYSTROKE,
                 "median %.3f s" % (result["filterKeystrokeMedianMs"] / 1000))
        for name, word in (("searchCommon", result["searchCommonWord"]), ("searchNone", "quetzalcoatl")):
            line("all folders, keystroke \"%s\" (worst)" % word, result[name + "KeystrokeWorstMs"] / 1000,
                 TARGET_KEYSTROKE, "median %.3f s" % (result[name + "KeystrokeMedianMs"] / 1000))
        line("all folders, first of %d found" % result["searchCommonFound"], result["searchCommonFirstResultMs"] / 1000,
             TARGET_FIRST_RESULT, "every mail looked at after %.1f s" % (result["searchCommonCompleteMs"] / 1000))
        print("  %-44s %10.3f s   (every mail looked at; %d found in the bodies too: %.1f s)" % (
            "all folders, nothing found", result["searchNoneCompleteMs"] / 1000, result["searchBodiesFound"],
            result["searchBodiesCompleteMs"] / 1000))
        print("  %-44s %10.3f s   (median %.3f s)" % ("sort %d results by date (worst)" % result["searchCommonFound"],
                                                      result["sortResultsByDateWorstMs"] / 1000,
                                                      result["sortResultsByDateMedianMs"] / 1000))
    print("load average after: %.1f %.1f %.1f" % os.getloadavg())


if __name__ == "__main__":
    main()
