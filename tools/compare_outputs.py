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

    tools/compare_outputs.py --digests CLI [--tmp DIR] [--mails 400] > tests/e2e/output_digests.json

prints the SHA-256 of every output CLI makes of the same exports (those holding made-up
identifiers masked), which the test suite holds the build to: write it anew only for a change
of the outputs that is meant, after comparing the builds before and after it.
"""
import argparse
import collections
import hashlib
import json
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


def make_exports(work, mails):
    """A realistic export, a damaged one, a hostile one and the bundled samples."""
    realistic = work / "realistic.olm"
    damaged = work / "damaged.olm"
    hostile = work / "hostile.olm"
    counts = ["--mails", str(mails), "--contacts", str(mails // 4), "--events", str(mails // 8),
              "--tasks", str(mails // 16), "--notes", str(mails // 32)]
    subprocess.run([sys.executable, str(GENERATOR), str(realistic), "--realistic", *counts], check=True)
    subprocess.run([sys.executable, str(GENERATOR), str(damaged), "--seed", "5", *counts, "--wipe-headers",
                    "0.3", "--zero-crc", "0.2", "--garbage-between", "--garbage-inside", "0.1",
                    "--drop-end-tags", "0.1", "--zero-fill", "5", "--truncate", "-50000"], check=True)
    subprocess.run([sys.executable, str(SOURCE / "tools" / "make_hostile_olm.py"), str(hostile), "--manifest",
                    str(work / "hostile.json")], check=True)
    return [realistic, damaged, hostile, SOURCE / "samples" / "intact.olm", SOURCE / "samples" / "damaged.olm"]


def unstable_outputs(first, second):
    """Names of the exact outputs that differ between two runs of one build: they hold
    identifiers made up afresh, and are compared with those masked."""
    return {name for name in first[0] if first[0][name] != second[0].get(name)}


def digests(cli, olm, work):
    """{output name: SHA-256} of what cli makes of olm, made-up identifiers masked where
    they occur, the bundle as one digest of its masked multiset; and the export's own."""
    first = outputs(cli, olm, work / "first")
    unstable = unstable_outputs(first, outputs(cli, olm, work / "second"))
    exact, bundle = first
    found = {"export": hashlib.sha256(olm.read_bytes()).hexdigest()}
    for name, data in exact.items():
        found[name] = hashlib.sha256(masked(data) if name in unstable else data).hexdigest()
    listing = "".join("%s/%s %s %d\n" % (folder, name, digest, count)
                      for (folder, name, digest), count in sorted(bundle.items()))
    found["bundle"] = hashlib.sha256(listing.encode()).hexdigest()
    return found


def all_digests(cli, work, mails=400):
    return {olm.name if olm.parent != SOURCE / "samples" else "samples/" + olm.name: digests(cli, olm, work / "out")
            for olm in make_exports(work, mails)}


def compare(before_cli, after_cli, work, mails):
    failed = False
    for olm in make_exports(work, mails):
        before = outputs(before_cli, olm, work / "before")
        again = outputs(before_cli, olm, work / "again")
        unstable = unstable_outputs(before, again)
        if unstable:
            print("%s: not the same from run to run, compared with made-up identifiers masked: %s"
                  % (olm.name, ", ".join(sorted(unstable))))
        for name, outcome in (("before, run again", again), ("after", outputs(after_cli, olm, work / "after"))):
            found = differences(before, outcome, unstable)
            if found:
                failed = True
                print("%s: %s differs from the before build:\n  %s" % (olm.name, name, "\n  ".join(found[:40])))
        exact, bundle = before
        print("%s: compared %d exact outputs (%d bytes) and %d bundle files" % (
            olm.name, len(exact), sum(map(len, exact.values())), sum(bundle.values())), flush=True)
    print("outputs differ" if failed else "outputs identical")
    return not failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("before", nargs="?")
    parser.add_argument("after", nargs="?")
    parser.add_argument("--digests", metavar="CLI", help="print the digests of CLI's outputs as JSON")
    parser.add_argument("--tmp", default=None)
    parser.add_argument("--mails", type=int, default=400, help="mails in the generated exports")
    args = parser.parse_args()
    if bool(args.digests) == bool(args.before and args.after):
        parser.error("give BEFORE_CLI and AFTER_CLI, or --digests CLI")
    work = Path(tempfile.mkdtemp(prefix="mendora-compare-", dir=args.tmp))
    try:
        if args.digests:
            print(json.dumps(all_digests(args.digests, work, args.mails), indent=1, sort_keys=True))
        else:
            sys.exit(0 if compare(args.before, args.after, work, args.mails) else 1)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
