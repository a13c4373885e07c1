#!/usr/bin/env python3
"""Shows that two builds of mendora-cli give the same outputs: the scan report
(`scan --json --items`), the bundle and the standard files of a generated realistic
export, of a damaged one, of a hostile one and of the bundled samples.

    tools/compare_outputs.py BEFORE_CLI AFTER_CLI [--tmp DIR] [--mails 400]

A build of an earlier commit to compare against:
    git worktree add /tmp/before COMMIT && bash /tmp/before/tools/build.sh mendora-cli

The standard files must be byte-identical. In the bundle, identifiers that the save
makes up afresh for items without one (32 hexadecimal digits, also inside the item
files, and the file names made from them), random MIME boundaries and the bundle's
time-stamped name may differ; every other byte must not. The scan report's "recordBytes"
(the memory the record-memory watch counted) is a measurement and is not compared. The
before build runs twice: an output that differs between its two runs (one that holds identifiers made up for
items without one) is compared with those identifiers masked, and named.
Exits with 1 and names the files that differ.
"""
import argparse
import collections
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
GENERATOR = SOURCE / "tools" / "make_olm.py"
ENVIRONMENT = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")

# What a save may make up afresh.
FRESH = [
    (re.compile(rb"[0-9A-Fa-f]{8}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{4}-?[0-9A-Fa-f]{12}"), b"<identifier>"),
    (re.compile(rb"Mendora_[0-9a-z]+"), b"<boundary>"),
    (re.compile(rb"B_336332\d+6825_117674"), b"<inner boundary>"),
]

# What the record-memory watch counted: a measurement of the scan, not rescued data.
RECORD_BYTES = re.compile(rb'"recordBytes": *[0-9.e+]+')


def masked(data):
    for pattern, replacement in FRESH:
        data = pattern.sub(replacement, data)
    return data


def run(cli, *arguments, allowed=(0, 1)):
    result = subprocess.run([cli, *map(str, arguments)], capture_output=True, env=ENVIRONMENT,
                            stdin=subprocess.DEVNULL)
    if result.returncode not in allowed:
        sys.exit("%s %s failed (%d): %s" % (cli, " ".join(map(str, arguments)), result.returncode,
                                           result.stderr.decode(errors="replace")[-2000:]))
    return result


def tree(root):
    return {path.relative_to(root).as_posix(): path.read_bytes() for path in sorted(root.rglob("*"))
            if path.is_file()}


def outputs(cli, olm, work):
    """What cli makes of olm: {name: bytes} for the scan, the standard files, and the bundle
    as a multiset of masked (folder, content) with the names of files holding nothing fresh."""
    if work.exists():
        shutil.rmtree(work)
    for folder in (work / "standard", work / "bundle"):
        folder.mkdir(parents=True)
    report = run(cli, "scan", "--json", "--items", olm, allowed=(0, 3)).stdout
    exact = {"scan --json --items": RECORD_BYTES.sub(b'"recordBytes": <measured>', report)}
    run(cli, "save", olm, work / "standard", "--format", "standard")
    exact.update(("standard/" + name, data) for name, data in tree(work / "standard").items())
    if len(exact) < 2:
        sys.exit("%s: no standard files in %s" % (cli, work / "standard"))
    run(cli, "save", olm, work / "bundle")
    bundles = list((work / "bundle").iterdir())
    if len(bundles) != 1:
        sys.exit("%s: expected one bundle in %s" % (cli, work / "bundle"))
    bundle = collections.Counter()
    for name, data in tree(bundles[0]).items():
        folder, _, file_name = name.rpartition("/")
        fresh = masked(data)
        bundle[(folder, file_name if fresh == data else "<fresh>", hashlib.sha256(fresh).hexdigest())] += 1
    return exact, bundle


def differences(first, second, unstable=()):
    """unstable: names of exact outputs compared with made-up identifiers masked."""
    exact_a, bundle_a = first
    exact_b, bundle_b = second
    found = []
    for name in sorted(set(exact_a) | set(exact_b)):
        if name not in exact_a or name not in exact_b:
            found.append("%s: missing in one" % name)
        elif name in unstable and masked(exact_a[name]) != masked(exact_b[name]):
            found.append("%s: differs (beyond made-up identifiers)" % name)
        elif name not in unstable and exact_a[name] != exact_b[name]:
            found.append("%s: differs" % name)
    for key in sorted(set(bundle_a) | set(bundle_b)):
        if bundle_a[key] != bundle_b[key]:
            found.append("bundle %s/%s: %d against %d file(s) with this content" % (key[0], key[1], bundle_a[key],
                                                                                    bundle_b[key]))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--tmp", default=None)
    parser.add_argument("--mails", type=int, default=400, help="mails in the generated exports")
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp(prefix="mendora-compare-", dir=args.tmp))
    try:
        realistic = work / "realistic.olm"
        damaged = work / "damaged.olm"
        counts = ["--mails", str(args.mails), "--contacts", str(args.mails // 4), "--events", str(args.mails // 8),
                  "--tasks", str(args.mails // 16), "--notes", str(args.mails // 32)]
        subprocess.run([sys.executable, str(GENERATOR), str(realistic), "--realistic", *counts], check=True)
        subprocess.run([sys.executable, str(GENERATOR), str(damaged), "--seed", "5", *counts, "--wipe-headers",
                        "0.3", "--zero-crc", "0.2", "--garbage-between", "--garbage-inside", "0.1",
                        "--drop-end-tags", "0.1", "--zero-fill", "5", "--truncate", "-50000"], check=True)
        hostile = work / "hostile.olm"
        subprocess.run([sys.executable, str(SOURCE / "tools" / "make_hostile_olm.py"), str(hostile), "--manifest",
                        str(work / "hostile.json")], check=True)
        failed = False
        for olm in (realistic, damaged, hostile, SOURCE / "samples" / "intact.olm", SOURCE / "samples" / "damaged.olm"):
            before = outputs(args.before, olm, work / "before")
            again = outputs(args.before, olm, work / "again")
            # What differs between two runs of one build holds identifiers made up afresh:
            # those outputs are compared with them masked, and said so.
            unstable = {name for name in before[0] if before[0][name] != again[0].get(name)}
            if unstable:
                print("%s: not the same from run to run, compared with made-up identifiers masked: %s"
                      % (olm.name, ", ".join(sorted(unstable))))
            for name, outcome in (("before, run again", again), ("after", outputs(args.after, olm, work / "after"))):
                found = differences(before, outcome, unstable)
                if found:
                    failed = True
                    print("%s: %s differs from the before build:\n  %s" % (olm.name, name, "\n  ".join(found[:40])))
            exact, bundle = before
            print("%s: compared %d exact outputs (%d bytes) and %d bundle files" % (
                olm.name, len(exact), sum(map(len, exact.values())), sum(bundle.values())), flush=True)
        print("outputs differ" if failed else "outputs identical")
        sys.exit(1 if failed else 0)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
