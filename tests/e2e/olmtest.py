"""Shared pieces of the end-to-end tests: running mendora-cli, generating files,
and comparing a scan report with a generator manifest."""
import datetime
import json
import re
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SOURCE = Path(os.environ.get("MENDORA_SOURCE") or Path(__file__).resolve().parents[2])
SAMPLES = SOURCE / "samples"
sys.path.insert(0, str(SOURCE / "tools"))
import make_olm  # noqa: E402

INVALID_FILE_MESSAGE = "The scanned file is either an invalid file or heavily damaged."
EXIT_REFUSED = 2
EXIT_NOTHING_FOUND = 3
# Files that cannot be scanned at all, each with its own status and message.
EXIT_MISSING_FILE = 10
EXIT_DIRECTORY = 11
EXIT_NO_PERMISSION = 12
EXIT_EMPTY_FILE = 13
# Generous: only a hang should ever reach it.
CLI_TIMEOUT = 120

WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def cli_path():
    path = os.environ.get("MENDORA_CLI")
    if not path:
        raise unittest.SkipTest("MENDORA_CLI is not set")
    return path


def run_cli(testcase, *arguments, timeout=CLI_TIMEOUT, preexec_fn=None):
    """Runs mendora-cli in UTC (dates in the report depend on the zone); fails on a crash or hang.
    preexec_fn runs in the child before mendora-cli starts (a memory limit, say)."""
    environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")
    try:
        result = subprocess.run([cli_path(), *map(str, arguments)], capture_output=True, timeout=timeout,
                                env=environment, stdin=subprocess.DEVNULL, preexec_fn=preexec_fn)
    except subprocess.TimeoutExpired:
        testcase.fail("mendora-cli %s did not finish within %d s" % (" ".join(map(str, arguments)), timeout))
    testcase.assertGreaterEqual(result.returncode, 0, "mendora-cli was killed by signal %d: %s"
                                % (-result.returncode, result.stderr.decode(errors="replace")))
    return result


def scan_json(testcase, path, items=True):
    """The JSON report of a scan that found something (exit status 0)."""
    arguments = ["scan", "--json"] + (["--items"] if items else []) + [path]
    result = run_cli(testcase, *arguments)
    testcase.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
    return json.loads(result.stdout.decode("utf-8"))


def calendar_export(path, events):
    """Writes an export that holds only Calendar.xml with these event items (their XML); returns path."""
    with open(path, "wb") as out:
        writer = make_olm.ContainerWriter(out)
        writer.file("Local/Calendar/Calendar.xml",
                    make_olm.DocumentStream("calendars", len(events), events).chunks(), "calendars")
        writer.finish()
    return path


class GeneratedFiles(unittest.TestCase):
    """A test case with a private temporary directory for generated files."""

    def setUp(self):
        self.maxDiff = None
        self._tmp = tempfile.TemporaryDirectory(prefix="mendora-e2e-")
        self.tmp = Path(self._tmp.name)

    def tearDown(self):
        self._tmp.cleanup()

    def generate(self, name, *options):
        path = self.tmp / name
        manifest = make_olm.generate(make_olm.parse_args([str(path), *map(str, options)]))
        return path, manifest


def message_date(iso_text):
    """A mail date as the scan shows it in UTC: Wed, 12 May 2010 14:30:00 +0000."""
    if not iso_text:
        return ""
    moment = datetime.datetime.strptime(iso_text, "%Y-%m-%dT%H:%M:%S")
    return "%s, %02d %s %d %s +0000" % (WEEKDAYS[moment.weekday()], moment.day, MONTHS[moment.month - 1],
                                        moment.year, moment.strftime("%H:%M:%S"))


def latin1_field(text):
    """What a Latin-1 field keeps of a text: characters outside Latin-1 become question marks."""
    return "".join(c if ord(c) < 256 else "?" for c in text)


def joined(text):
    """The joined-list text a;b; as the list [a, b]."""
    return [part for part in text.split(";") if part]


def utf8_declared(html):
    """HTML as written out in UTF-8: every <meta> tag's charset reads utf-8."""
    return re.sub(r"<meta\b[^>]*>", lambda tag: re.sub(r"""(charset\s*=\s*["']?)[A-Za-z0-9_.:+-]+""", r"\1utf-8",
                                                         tag.group(0), flags=re.I), html, flags=re.I)


def _sorted(records):
    return sorted(records, key=lambda record: json.dumps(record, ensure_ascii=False, sort_keys=True))


def expected_items(manifest):
    """The items a scan must show, normalised like report_items."""
    mails = []
    for mail in manifest["mails"]:
        if not mail["survives"]:
            continue
        kept = [a for a in mail["attachments"] if a["found"]]
        mails.append({"folder": mail["scanFolder"], "subject": mail["subject"], "from": [mail["from"]] if mail["from"] else [],
                      "fromName": [mail["fromName"].replace(",", "")] if mail["fromName"] else [],
                      "to": mail["to"], "cc": mail["cc"], "sent": message_date(mail["sent"]),
                      "received": message_date(mail["received"]), "messageId": mail["messageId"],
                      "attachments": [a["name"] for a in kept], "attachmentSizes": [a["size"] for a in kept],
                      "bodySize": mail["bodySize"]})
    contacts = [{"firstName": c["firstName"], "lastName": c["lastName"], "emails": c["emails"],
                 "company": c["company"], "birthday": c["birthday"]}
                for c in manifest["contacts"] if c["survives"]]
    calendars = [{"summary": e["summary"], "location": e["location"], "start": e["start"], "end": e["end"],
                  "attendees": e["attendees"]} for e in manifest["calendars"] if e["survives"]]
    tasks = [{"name": t["name"], "start": t["start"], "due": t["due"], "priority": t["priority"]}
             for t in manifest["tasks"] if t["survives"]]
    notes = [{"title": n["title"], "textSize": n["textSize"]} for n in manifest["notes"] if n["survives"]]
    return {"mails": _sorted(mails), "contacts": _sorted(contacts), "calendars": _sorted(calendars),
            "tasks": _sorted(tasks), "notes": _sorted(notes)}


def report_items(report):
    items = report["items"]
    mails = []
    for mail in items["mails"]:
        mails.append({"folder": mail["folder"], "subject": mail["subject"], "from": joined(mail["from"]),
                      "fromName": joined(mail["fromName"]), "to": joined(mail["to"]), "cc": joined(mail["cc"]),
                      "sent": mail["sent"], "received": mail["received"], "messageId": mail["messageId"],
                      "attachments": mail["attachments"],
                      "attachmentSizes": [int(size) for size in mail["attachmentSizes"]],
                      "bodySize": int(mail["bodySize"])})
    contacts = [{key: c[key] for key in ("firstName", "lastName", "emails", "company", "birthday")}
                for c in items["contacts"]]
    calendars = [{key: e[key] for key in ("summary", "location", "start", "end", "attendees")}
                 for e in items["calendars"]]
    tasks = [{key: t[key] for key in ("name", "start", "due", "priority")} for t in items["tasks"]]
    notes = [{"title": n["title"], "textSize": int(n["textSize"])} for n in items["notes"]]
    return {"mails": _sorted(mails), "contacts": _sorted(contacts), "calendars": _sorted(calendars),
            "tasks": _sorted(tasks), "notes": _sorted(notes)}


def assert_matches_manifest(testcase, report, manifest):
    """Counts, dispatched documents, folders and (when the report has them) items."""
    expected = manifest["expected"]
    testcase.assertEqual(report["counts"], expected["counts"], "item counts")
    testcase.assertEqual({k: int(v) for k, v in report["documents"].items()}, expected["documents"],
                         "documents handed to each parser")

    mail_folders = {f["path"]: int(f["items"]) for f in report["folders"] if f["type"] == 0}
    expected_folders = {"Folder1": 0}
    for path, items in expected["mailFolders"].items():
        parts = path.split("/")
        for depth in range(1, len(parts)):
            expected_folders.setdefault("/".join(parts[:depth]), 0)
        expected_folders[path] = items
    testcase.assertEqual(mail_folders, expected_folders, "mail folders and their item counts")

    fixed = {f["path"]: (f["type"], int(f["items"])) for f in report["folders"] if f["type"] != 0}
    expected_fixed = {}
    for path, folder_type, kind in (("Contacts", 41, "contacts"), ("Calendars", 42, "calendars"),
                                    ("Tasks", 43, "tasks"), ("Notes", 44, "notes")):
        if expected["documents"][kind]:
            expected_fixed[path] = (folder_type, expected["counts"][kind])
    if expected["recoveredAttachments"]:
        expected_fixed["Recovered attachments"] = (45, len(expected["recoveredAttachments"]))
    testcase.assertEqual(fixed, expected_fixed, "contacts, calendar, task and note folders")

    if "items" in report:
        actual_items = report_items(report)
        wanted_items = expected_items(manifest)
        for kind in make_olm.KINDS:
            testcase.assertEqual(actual_items[kind], wanted_items[kind], "%s items" % kind)
