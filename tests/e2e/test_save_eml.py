"""Mails saved one .eml file each, and saves narrowed by filters. Each .eml file is
read back by Python's email package and by GMime, both without defect and finding the
same parts, and must be, byte for byte, the message its mail has in the mbox of a
standard save of the same export; a filtered save holds
exactly the mails that the generator's manifest says fit the filter."""
import collections
import datetime
import email.utils
import hashlib
import json
import os
import re
import subprocess
import sys
import unittest
import unicodedata
import zoneinfo
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import GeneratedFiles, cli_path, run_cli  # noqa: E402
import make_hostile_olm  # noqa: E402

EXIT_USAGE = 64
EML_NAME = re.compile(r"^(\d{4}-\d{2}-\d{2} \d{4}) - (.+?)( \(\d+\))?\.eml$")


def save(testcase, olm, destination, *options, zone="America/Denver"):
    environment = dict(os.environ, TZ=zone, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    destination.mkdir(parents=True, exist_ok=True)
    result = subprocess.run([cli_path(), "save", str(olm), str(destination), *map(str, options)],
                            capture_output=True, timeout=300, env=environment, stdin=subprocess.DEVNULL)
    testcase.assertGreaterEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
    return result


def mbox_messages_unquoted(path):
    """The messages of an mboxrd file as they were before quoting: no separator line, no
    empty line that ends them there, one ">" less before every ">*From " line."""
    data = path.read_bytes()
    messages = []
    for chunk in re.split(rb"(?:^|(?<=\n)\n)From [^\n]*\n", data)[1:]:
        chunk = re.sub(rb"(?m)^>(>*From )", rb"\1", chunk)
        messages.append(chunk)
    # The last message keeps the empty line that ends it at the end of the file.
    if messages:
        messages[-1] = messages[-1][:-1]
    return messages


def gmime_readings(directory, names):
    """{file name: GMime's reading} of these .eml files; None where the reader is not built."""
    reader = os.environ.get("MENDORA_GMIME_READER")
    if not reader or not names:
        return None
    output = subprocess.run([reader, "--eml", *(str(directory / name) for name in names)], capture_output=True,
                            check=True, timeout=120).stdout
    readings = [json.loads(line) for line in output.decode("utf-8").splitlines()]
    return {Path(reading["file"]).name: reading for reading in readings}


def eml_files(root):
    """{directory below Mail: [(file name, bytes)]}"""
    found = collections.defaultdict(list)
    for path in sorted((root / "Mail").rglob("*.eml")):
        found[str(path.parent.relative_to(root / "Mail"))].append((path.name, path.read_bytes()))
    return found


class SaveEml(GeneratedFiles):

    def check_against_standard(self, olm, no_domain=()):
        """Every mail as an .eml file, the same bytes as in the standard mbox, read without defect."""
        standard = save(self, olm, self.tmp / "standard", "--format", "standard", "--json")
        eml = save(self, olm, self.tmp / "eml", "--format", "eml", "--json")
        self.assertEqual(standard.returncode, eml.returncode, eml.stderr.decode(errors="replace"))
        standard_summary, eml_summary = (json.loads(r.stdout) for r in (standard, eml))
        self.assertEqual(eml_summary["format"], "eml")
        # The same account of losses and the same counts as the standard files.
        for key in ("written", "notWritten", "writtenIncomplete"):
            self.assertEqual(eml_summary[key], standard_summary[key], key)
        standard_root = Path(standard_summary["output"])
        eml_root = Path(eml_summary["output"])
        # A folder written under another name is named by its directory of .eml files, not its mbox.
        moved = re.compile(r"^its mails are in (Mail/.*?)(/[^/]*\.mbox)?, since")
        for standard_loss, eml_loss in zip(standard_summary["losses"], eml_summary["losses"]):
            if standard_loss["reason"] == "folder-path-lost" and standard_loss["kind"] == "folder":
                directory = moved.match(eml_loss["why"]).group(1)
                self.assertTrue((eml_root / directory).is_dir(), directory)
                self.assertEqual(moved.sub("", eml_loss["why"]), moved.sub("", standard_loss["why"]))
                standard_loss, eml_loss = dict(standard_loss, why=""), dict(eml_loss, why="")
            self.assertEqual(eml_loss, standard_loss)
        self.assertEqual(len(eml_summary["losses"]), len(standard_summary["losses"]))
        self.assertEqual(eml_root.name, olm.stem + " (rescued eml)")
        self.assertTrue((eml_root / "Rescue report.txt").is_file())
        # The other kinds are the standard files, whole.
        for name in ("Contacts.vcf", "Calendar.ics"):
            if (standard_root / name).exists():
                self.assertEqual((eml_root / name).read_bytes(), (standard_root / name).read_bytes(), name)

        boxes = {str(path.parent.relative_to(standard_root / "Mail")): mbox_messages_unquoted(path)
                 for path in (standard_root / "Mail").rglob("*.mbox")}
        files = eml_files(eml_root)
        self.assertLessEqual(set(files), set(boxes))
        for folder, messages in boxes.items():
            with self.subTest(folder=folder):
                # A folder without mail is kept as an empty folder.
                self.assertTrue((eml_root / "Mail" / folder).is_dir())
                self.assertEqual(sorted(data for _, data in files.get(folder, [])), sorted(messages))
                names = [name for name, _ in files[folder]]
                self.assertEqual(len({unicodedata.normalize("NFC", n).casefold() for n in names}), len(names))
                gmime = gmime_readings(eml_root / "Mail" / folder, [name for name, _ in files[folder]])
                for name, data in files[folder]:
                    message = standardcheck.parse_message(data)
                    if gmime is not None:
                        self.check_gmime_reading(gmime[name], message, name)
                    defects = standardcheck.defects_of(message)
                    if str(message["Subject"]) in no_domain:
                        # A sender without a domain is the one complaint the reader has.
                        self.assertEqual(len(defects), 1, defects)
                        self.assertRegex(defects[0], r"^From: InvalidHeaderDefect\('.*local part with no domain'\)$")
                    else:
                        self.assertEqual(defects, [], name)
                    self.check_name(name, message)
        return eml_summary

    def check_gmime_reading(self, reading, message, name):
        """GMime reads the file without defect and finds the parts and the subject Python's reader finds."""
        self.assertEqual(reading["defects"], [], name)
        self.assertEqual(reading["parts"], [part.get_content_type() for part in message.walk()], name)
        self.assertEqual(reading["subject"], str(message["Subject"] or ""), name)
        attached = [part for part in message.walk() if part.get_content_disposition() == "attachment"]
        self.assertEqual([a["sha256"] for a in reading["attachments"]],
                         [hashlib.sha256(part.get_payload(decode=True)).hexdigest() for part in attached], name)

    def check_name(self, name, message):
        self.assertLessEqual(len(name.encode("utf-8")), 255, name)
        match = EML_NAME.match(name)
        self.assertIsNotNone(match, name)
        self.assertFalse(any(unicodedata.category(c) in ("Cc", "Cf", "Cs") or c in "/\\:" for c in name), repr(name))
        # The date and time the Date line shows, in its own zone.
        self.assertEqual(match.group(1), message["Date"].datetime.strftime("%Y-%m-%d %H%M"))
        shown = " ".join("".join("_" if unicodedata.category(c) in ("Cc", "Cf", "Cs") or c in "/\\:" else c
                                 for c in str(message["Subject"] or "")).split()).rstrip(".")
        # Cut at a character boundary: what is left is the start of the subject.
        self.assertTrue((shown or "(no subject)").startswith(match.group(2)), (name, shown))

    def test_realistic_export(self):
        olm, _ = self.generate("realistic.olm", "--realistic", "--mails", 60, "--contacts", 5, "--events", 4,
                               "--tasks", 2, "--notes", 2, "--seed", 11)
        summary = self.check_against_standard(olm)
        self.assertEqual(summary["written"]["mails"], 60)

    def test_hostile_export(self):
        olm = self.tmp / "hostile.olm"
        manifest = make_hostile_olm.write(olm)
        no_domain = {m["subject"] for m in manifest["mails"] if m["expect"].get("noDomain")}
        self.assertTrue(no_domain)
        summary = self.check_against_standard(olm, no_domain)
        self.assertEqual(summary["written"]["mails"], len(manifest["mails"]))


class FilterTable:
    """A generated export and a table of filters, each with the mails of the manifest it takes;
    the saves and the upload check against the same table."""

    def make_filtered_export(self):
        self.olm, self.manifest = self.generate("filtered.olm", "--realistic", "--mails", 80, "--seed", 5)
        olm_bytes = self.olm.read_bytes()
        # The Date line is what a mail is judged by: read from an unfiltered save by Python's reader.
        everything = save(self, self.olm, self.tmp / "all", "--format", "eml", "--json")
        self.assertEqual(everything.returncode, 0, everything.stderr.decode(errors="replace"))
        dates = {}
        for data in (d for files in eml_files(Path(json.loads(everything.stdout)["output"])).values() for _, d in files):
            message = standardcheck.parse_message(data)
            dates[standardcheck.bare_id(message["Message-ID"])] = message["Date"].datetime
        self.mails = []
        for mail in standardcheck.survivors(self.manifest, "mails"):
            identifier = standardcheck.bare_id(mail["messageId"])
            bodies = standardcheck.expected_bodies(olm_bytes, self.manifest, mail)
            self.mails.append(dict(mail, id=identifier, date=dates[identifier],
                                   body=bodies.get("plain") or bodies.get("html") or ""))
        self.assertEqual(len(self.mails), 80)

    def rows(self, zone):
        """(options, predicate over a manifest mail) pairs; bounds taken from the mails themselves."""
        local = zoneinfo.ZoneInfo(zone)
        by_date = sorted(self.mails, key=lambda m: m["date"])
        middle = by_date[len(by_date) // 2]["date"]
        second = datetime.timedelta(seconds=1)
        iso = lambda moment: moment.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
        day = middle.astimezone(local).date()
        minute = middle.astimezone(local).replace(second=0, microsecond=0)
        sender = next(m for m in self.mails if m["fromName"])
        recipient = next(m for m in self.mails if m["cc"])["cc"][-1]
        subject_word = max(self.mails[3]["subject"].split(), key=len)
        # A word of the text a reader sees, not of the markup, and in no subject.
        body_word = next(w for m in self.mails for w in re.findall(r"[A-Za-z]{7,}", re.sub(r"<[^>]*>", " ", m["body"]))
                         if not any(w.lower() in x["subject"].lower() for x in self.mails))
        with_attachments = [m for m in self.mails if m["attachmentsKept"] and m["attachments"]]
        folder = with_attachments[0]["scanFolder"]
        local_day = lambda m: m["date"].astimezone(local).date()
        return [
            (["--since", iso(middle)], lambda m: m["date"] >= middle),
            (["--since", iso(middle + second)], lambda m: m["date"] > middle),
            (["--until", iso(middle)], lambda m: m["date"] <= middle),
            (["--until=" + iso(middle - second)], lambda m: m["date"] < middle),
            (["--since", day.isoformat(), "--until", day.isoformat()], lambda m: local_day(m) == day),
            (["--until", (day - datetime.timedelta(days=1)).isoformat()], lambda m: local_day(m) < day),
            (["--since", minute.strftime("%Y-%m-%d %H:%M")], lambda m: m["date"] >= minute),
            (["--until", minute.strftime("%Y-%m-%d %H:%M")],
             lambda m: m["date"] < minute + datetime.timedelta(minutes=1)),
            (["--from", sender["fromName"].upper()],
             lambda m: sender["fromName"].lower() in (m["fromName"] or "").lower()),
            (["--to", recipient.upper()], lambda m: recipient in m["to"] + m["cc"]),
            (["--subject", subject_word.swapcase()], lambda m: subject_word.lower() in m["subject"].lower()),
            (["--text", body_word], lambda m: body_word.lower() in (m["subject"] + m["body"]).lower()),
            (["--with-attachments"], lambda m: m in with_attachments),
            (["--with-attachments", "--folder", folder, "--since", iso(by_date[0]["date"])],
             lambda m: m in with_attachments and m["scanFolder"] == folder),
        ]


class SaveFiltered(FilterTable, GeneratedFiles):
    """One table of filters, each checked against the manifest under two machine zones."""

    def setUp(self):
        super().setUp()
        self.make_filtered_export()

    def saved_ids(self, options, zone):
        destination = self.tmp / ("run %d" % len(list(self.tmp.iterdir())))
        result = save(self, self.olm, destination, "--format", "eml", "--json", *options, zone=zone)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        summary = json.loads(result.stdout)
        self.assertIn("filter", summary)
        root = Path(summary["output"])
        self.assertIn(summary["filter"], (root / "Rescue report.txt").read_text())
        return sorted(standardcheck.bare_id(standardcheck.parse_message(data)["Message-ID"])
                      for files in eml_files(root).values() for _, data in files)

    def test_filters_against_the_manifest(self):
        for zone in ("America/Denver", "Asia/Tokyo"):
            for options, wanted in self.rows(zone):
                with self.subTest(zone=zone, options=options):
                    expected = sorted(m["id"] for m in self.mails if wanted(m))
                    self.assertEqual(self.saved_ids(options, zone), expected)

    def test_bad_dates_are_usage_errors(self):
        for options in (["--since", "2020-13-01"], ["--until", "2020-02-30"], ["--since", "yesterday"],
                        ["--since", "2020-05-01 25:00"], ["--until", "2020-05-01T10:30:00+99:00"], ["--since"],
                        ["--since", "2021-01-01", "--until", "2020-12-31"], ["--from", ""]):
            for command, arguments in (("save", [self.olm, self.tmp]), ("upload", [self.olm, "imaps://u@example.invalid"])):
                with self.subTest(command=command, options=options):
                    result = run_cli(self, command, *arguments, *options)
                    self.assertEqual(result.returncode, EXIT_USAGE, result.stderr.decode(errors="replace"))
                    self.assertIn(b"Usage: mendora-cli " + command.encode(), result.stderr)
                    self.assertEqual(result.stdout, b"")

    def test_local_times_the_clocks_skip_are_taken(self):
        # Midnight of the day summer time began in Sao Paulo, and 2:30 of the morning it began in Denver.
        for zone, date, since in (("America/Sao_Paulo", "2018-11-04", "2018-11-04T01:00:00-02:00"),
                                  ("America/Denver", "2021-03-14 02:30", "2021-03-14T03:00:00-06:00")):
            with self.subTest(zone=zone):
                result = save(self, self.olm, self.tmp / zone, "--since", date, "--json", zone=zone)
                self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
                self.assertEqual(json.loads(result.stdout)["filter"], "since " + since)

    def test_filter_leaves_other_kinds_out_and_says_so(self):
        olm, _ = self.generate("kinds.olm", "--mails", 6, "--contacts", 3, "--events", 2)
        result = save(self, olm, self.tmp / "kinds", "--format", "standard", "--with-attachments",
                      "--text", "a\r\nLosses (0):\x1b]0;x\x07")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        self.assertRegex(result.stdout.decode(), r"Written: 0 mails, 0 contacts, 0 calendar events")
        # The user's texts reach the summary and the report escaped, as names from the export do.
        report = (self.tmp / "kinds" / "kinds (rescued)" / "Rescue report.txt").read_text()
        for shown in (result.stdout.decode(), report):
            self.assertIn('Only the mails text "a\\r\\nLosses (0):\\x1b]0;x\\x07", with attachments', shown)
            self.assertFalse(re.search(r"[\r\x1b\x07]", shown))
        # Folders the filter emptied are left out, not kept as empty mailboxes.
        self.assertEqual(list((self.tmp / "kinds" / "kinds (rescued)").rglob("*.mbox")), [])


if __name__ == "__main__":
    unittest.main()
