"""Reading a standard export back with ordinary readers and comparing it with the
generator's manifest: Python's mailbox and email packages for the mbox files,
vobject and icalendar for the contacts and the calendar, dateutil for recurrence.
They are Debian's modules, so a test that imports this runs under /usr/bin/python3."""
import collections
import datetime
import email
import email.policy
import hashlib
import mailbox
import os
import re
import subprocess
import sys
from pathlib import Path
from xml.sax.saxutils import unescape

from olmtest import utf8_declared

DEBIAN_PYTHON = "/usr/bin/python3"


def run_under_debian_python():
    """Re-runs the calling test under Debian's interpreter when this one lacks the readers."""
    try:
        import dateutil  # noqa: F401
        import icalendar  # noqa: F401
        import vobject  # noqa: F401
    except ImportError:
        if os.path.realpath(sys.executable) != os.path.realpath(DEBIAN_PYTHON) and os.path.exists(DEBIAN_PYTHON):
            os.execv(DEBIAN_PYTHON, [DEBIAN_PYTHON] + sys.argv)
        raise


def save_standard(testcase, cli, olm, destination, *options, zone="America/Denver"):
    """mendora-cli save --format standard in a zone far from UTC; the rescued directory."""
    environment = dict(os.environ, TZ=zone, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    result = subprocess.run([cli, "save", str(olm), str(destination), "--format", "standard", *options],
                            capture_output=True, timeout=300, env=environment, stdin=subprocess.DEVNULL)
    testcase.assertGreaterEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
    return result


def survivors(manifest, kind):
    return [record for record in manifest[kind] if record["survives"]]


def bare_id(message_id):
    return message_id.strip().strip("<>")


def utc(compact):
    return datetime.datetime.strptime(compact.rstrip("Z"), "%Y%m%dT%H%M%S").replace(tzinfo=datetime.timezone.utc)


def day_of(compact):
    return datetime.datetime.strptime(compact, "%Y%m%d").date()


def iso_utc(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S").replace(tzinfo=datetime.timezone.utc)


# ----------------------------------------------------------------------------
# Mail


def parse_message(data):
    return email.message_from_bytes(data, policy=email.policy.default)


def defects_of(message):
    """Every defect of every part and of every header, as text."""
    found = []
    for part in message.walk():
        found += ["%s: %r" % (part.get_content_type(), d) for d in part.defects]
        for name, value in part.items():
            found += ["%s: %r" % (name, d) for d in getattr(value, "defects", ())]
    return found


def mbox_messages(root):
    """{relative mbox path: [raw message bytes]} for every .mbox file below root."""
    boxes = {}
    for path in sorted(Path(root).rglob("*.mbox")):
        box = mailbox.mbox(str(path), create=False)
        try:
            boxes[str(path.relative_to(root))] = [box.get_bytes(key) for key in box.keys()]
        finally:
            box.close()
    return boxes


def element_text(document, name):
    """An element's content as the export holds it, unescaped once, with LF line ends."""
    match = re.search(r'<%s xml:space="preserve">(.*?)</%s>' % (name, name), document, re.S)
    text = unescape(match.group(1), {"&quot;": '"', "&apos;": "'"}) if match else ""
    return text.replace("\r\n", "\n").replace("\r", "\n")


def expected_bodies(olm_bytes, manifest, mail):
    """{"html": …, "plain": …}: the bodies the export holds, each where a reader looks for it."""
    entry = next(e for e in manifest["entries"] if e["name"] == mail["entry"])
    document = olm_bytes[entry["data"]:entry["data"] + entry["size"]].decode("utf-8", "replace")
    body = element_text(document, "OPFMessageCopyBody")
    html = element_text(document, "OPFMessageCopyHTMLBody")
    # The parts are UTF-8, so their own declarations say so, whatever the sender's said.
    if re.search(r"<(/?[a-zA-Z][a-zA-Z0-9]*|!--)[^>]*>", body):
        return {"html": utf8_declared(body)}
    if html.strip():
        return {"plain": body, "html": utf8_declared(html)} if body.strip() else {"html": utf8_declared(html)}
    return {"plain": body}


def origination_time(mail):
    """The Date line: when the mail was sent, else when it arrived."""
    return iso_utc(mail["sent"] or mail["received"])


def delivery_time(mail):
    """The separator line and the IMAP internal date: the folder's name decides, then the
    outgoing flag read as a number; the other time where the chosen one is missing."""
    folder = mail.get("scanFolder") or ""
    rules = [("Sent Items", True), ("Inbox", False), ("Deleted Items", mail["outgoing"]), ("Drafts", True)]
    sent = next((outgoing for name, outgoing in rules if name in folder), mail["outgoing"])
    first, second = (mail["sent"], mail["received"]) if sent else (mail["received"], mail["sent"])
    return iso_utc(first or second)


def marks_of(flags):
    """(seen, flagged, {keyword, decoded}) of an IMAP FLAGS list."""
    from mailservers import decode_mailbox_name
    names = [f.decode() if isinstance(f, bytes) else f for f in flags]
    return "\\Seen" in names, "\\Flagged" in names, {decode_mailbox_name(n) for n in names if not n.startswith("\\")}


def expected_marks(mail):
    """The marks a mail's export gives it: keywords are its categories, with "_" for what an atom cannot hold."""
    return mail["read"], mail["flagged"], {re.sub(r'[ (){%*"\\\]]', "_", c) for c in mail["categories"]}


def mbox_name(mail):
    folder = mail.get("scanFolder") or "Folder1"
    return "%s/%s.mbox" % (folder, folder.split("/")[-1])


def empty_folders(manifest):
    """The folders without mail whose directory entries the damage left whole."""
    entries = {entry["name"]: entry for entry in manifest["entries"]}
    return [f["folder"] for f in manifest.get("emptyFolders", [])
            if not entries[f["entry"]]["wiped"] and entries[f["entry"]]["data"] <= manifest["size"]]


def empty_mbox_names(manifest):
    return ["%s/%s.mbox" % (folder, folder.split("/")[-1]) for folder in empty_folders(manifest)]


def check_mail_message(testcase, message, mail, olm_bytes, manifest):
    testcase.assertEqual(defects_of(message), [], mail["subject"])
    testcase.assertEqual(message["Subject"], mail["subject"])
    if mail["from"] is None:  # a draft without a sender
        testcase.assertIsNone(message["From"])
    else:
        sender = message["From"].addresses[0]
        testcase.assertEqual((sender.addr_spec, sender.display_name), (mail["from"], mail["fromName"]))
    testcase.assertEqual([a.addr_spec for a in message["To"].addresses], mail["to"])
    if mail.get("cc"):
        testcase.assertEqual([a.addr_spec for a in message["Cc"].addresses], mail["cc"])
    testcase.assertEqual(message["Date"].datetime, origination_time(mail))
    if "priority" in mail:  # manifests of older samples lack these
        priority = mail["priority"]
        words = {1: "high", 2: "high", 4: "low", 5: "low"}
        testcase.assertEqual((message["X-Priority"] or "")[:1], str(priority) if priority in words else "")
        testcase.assertEqual(message["Importance"], words.get(priority))
        keywords = [k.strip() for k in str(message["Keywords"]).split(",")] if message["Keywords"] else []
        testcase.assertEqual([re.sub(r'^"(.*)"$', r"\1", k) for k in keywords], mail["categories"])
    for kind, text in expected_bodies(olm_bytes, manifest, mail).items():
        body = message.get_body((kind,))
        testcase.assertIsNotNone(body, "no text/%s body" % kind)
        # Line ends are the transport's: LF in the file, CR LF over IMAP.
        content = body.get_content().replace("\r\n", "\n")
        testcase.assertEqual(content.rstrip("\n"), text.rstrip("\n"))
    # A mail may carry two attachments of one name.
    attachments = sorted((part.get_filename(), hashlib.sha256(part.get_payload(decode=True)).hexdigest(),
                          part.get_content_type()) for part in message.iter_attachments())
    expected = sorted((a["name"], a["sha256"], a["contentType"]) for a in mail["attachments"] if a.get("found", True))
    testcase.assertEqual(attachments, expected, mail["subject"])


def check_mailboxes(testcase, mail_root, manifest, olm_bytes):
    """Every surviving mail once, in the mbox of its folder, whole."""
    boxes = mbox_messages(mail_root)
    seen = collections.Counter()
    by_id = {}
    for name, messages in boxes.items():
        for data in messages:
            testcase.assertTrue(all(len(line) <= 998 for line in data.split(b"\n")), name)
            message = parse_message(data)
            identifier = bare_id(message["Message-ID"])
            seen[identifier] += 1
            by_id[identifier] = (name, message)
    separators, marks = {}, {}
    for path in sorted(Path(mail_root).rglob("*.mbox")):
        box = mailbox.mbox(str(path), create=False)
        try:
            for key in box.keys():
                message = box.get_message(key)
                separators[bare_id(message["Message-ID"])] = message.get_from()
                marks[bare_id(message["Message-ID"])] = message.get_flags()
        finally:
            box.close()
    mails = survivors(manifest, "mails")
    testcase.assertEqual(sum(seen.values()), len(mails))
    # Folders without mail arrive as empty mboxes.
    for name in empty_mbox_names(manifest):
        testcase.assertEqual(boxes.get(name), [], name)
    for mail in mails:
        identifier = bare_id(mail["messageId"])
        with testcase.subTest(mail=mail["subject"]):
            testcase.assertEqual(seen[identifier], 1)
            name, message = by_id[identifier]
            testcase.assertEqual(name, mbox_name(mail))
            check_mail_message(testcase, message, mail, olm_bytes, manifest)
            moment = datetime.datetime.strptime(separators[identifier].split(" ", 1)[1], "%a %b %d %H:%M:%S %Y")
            testcase.assertEqual(moment.replace(tzinfo=datetime.timezone.utc), delivery_time(mail))
            if "flagged" in mail:
                # Read and flagged as mutt and Python's mailbox take them from Status and X-Status.
                flags = marks[identifier]
                testcase.assertEqual(("R" in flags, "F" in flags), expected_marks(mail)[:2])
    return boxes


# ----------------------------------------------------------------------------
# Contacts


def check_contacts(testcase, path, manifest):
    import vobject
    cards = list(vobject.readComponents(Path(path).read_text(encoding="utf-8"), validate=True))
    groups = [card for card in cards if text_value(card, "x-addressbookserver-kind") == "group"]
    cards = [card for card in cards if card not in groups]
    contacts = survivors(manifest, "contacts")
    testcase.assertEqual(len(cards), len(contacts))
    check_groups(testcase, groups, cards, manifest)
    by_address = {}
    for card in cards:
        emails = card.contents.get("email", [])
        by_address[emails[0].value if emails else None] = card
    for contact in contacts:
        with testcase.subTest(contact=contact["displayName"]):
            card = by_address[contact["emails"][0]]
            name = card.n.value
            testcase.assertEqual((name.family, name.given, name.additional),
                                 (contact["lastName"], contact["firstName"], contact.get("middleName", "")))
            testcase.assertTrue(card.fn.value)
            emails = [(e.value, [t.lower() for t in e.params.get("TYPE", [])]) for e in card.contents["email"]]
            testcase.assertEqual([e for e, _ in emails], contact["emails"])
            for (_, types), kind in zip(emails, contact["emailTypes"]):
                testcase.assertIn(kind, types)
            testcase.assertEqual(card.bday.value, contact["birthday"])
            if contact["categories"]:
                testcase.assertEqual(sorted(card.categories.value), sorted(contact["categories"]))
            testcase.assertEqual(card.note.value, contact["notes"])
            testcase.assertEqual(text_value(card, "x-spouse"), contact["spouse"])
            testcase.assertEqual([unescaped(child.value) for child in card.contents.get("x-child", [])],
                                 contact["children"])
            if contact["pictureSize"]:
                testcase.assertTrue(card.photo.value.startswith(b"\xff\xd8"))
            else:
                testcase.assertNotIn("photo", card.contents)
            check_contact_fields(testcase, card, contact)


def check_groups(testcase, groups, cards, manifest):
    """Each group of the export as Apple Contacts reads one: its name, a member line urn:uuid:
    of the card of each member among the contacts, the other members' addresses as EMAIL."""
    if not manifest.get("groups") or (not groups and manifest["expected"]["losses"]):
        return  # older manifests, or the damage took the groups' entry
    uid_of = {card.contents["email"][0].value.lower(): card.uid.value for card in cards if "email" in card.contents}
    testcase.assertEqual(sorted(card.fn.value for card in groups), sorted(g["name"] for g in manifest["groups"]))
    for group in manifest["groups"]:
        with testcase.subTest(group=group["name"]):
            card = next(c for c in groups if c.fn.value == group["name"])
            members = [line.value for line in card.contents.get("x-addressbookserver-member", [])]
            testcase.assertEqual(members, ["urn:uuid:" + uid_of[a.lower()] for a in group["members"]
                                           if a.lower() in uid_of])
            testcase.assertEqual([e.value for e in card.contents.get("email", [])],
                                 [a for a in group["members"] if a.lower() not in uid_of])
    if not manifest["expected"]["losses"] and cards:  # not vacuous: a whole export's groups name their members
        testcase.assertTrue(any("x-addressbookserver-member" in c.contents for c in groups))


# A phone's kind by its types, as the generator names the kinds.
PHONE_TYPES = {("home", "voice"): "home", ("home", "voice", "x-home2"): "home2", ("fax", "home"): "homeFax",
               ("voice", "work"): "work", ("voice", "work", "x-work2"): "work2", ("fax", "work"): "workFax",
               ("cell", "voice"): "mobile", ("pager",): "pager", ("voice", "x-radio"): "radio",
               ("voice", "x-assistant"): "assistant", ("other", "voice"): "other", ("fax", "other"): "otherFax",
               ("main", "voice"): "main", ("voice", "x-custom1"): "custom1", ("voice", "x-custom2"): "custom2",
               ("voice", "x-custom3"): "custom3", ("voice", "x-custom4"): "custom4"}


def unescaped(text):
    """A text value as RFC 2426 defines it, for the X- properties vobject leaves as they stand."""
    return re.sub(r"\\([\\,;nN])", lambda m: "\n" if m.group(1) in "nN" else m.group(1), text)


def text_value(card, name):
    lines = card.contents.get(name, [])
    return unescaped(lines[0].value) if lines else ""


def labels_of(card):
    return {line.group: unescaped(line.value) for line in card.contents.get("x-ablabel", [])}


def check_contact_fields(testcase, card, contact):
    """Every field of a full contact, read back the way Apple Contacts and Thunderbird read it:
    standard properties, X- properties and item groups with an X-ABLabel."""
    labels = labels_of(card)
    name = card.n.value
    testcase.assertEqual((name.prefix, name.suffix), (contact["namePrefix"], contact["nameSuffix"]))
    testcase.assertEqual(text_value(card, "nickname"), contact["nickName"])
    testcase.assertEqual(card.org.value, [contact["company"], contact["department"]])
    testcase.assertEqual(text_value(card, "title"), contact["jobTitle"])
    testcase.assertEqual(text_value(card, "x-office"), contact["office"])
    testcase.assertEqual(text_value(card, "x-interests"), contact["interests"])

    phones = collections.defaultdict(list)
    for line in card.contents.get("tel", []):
        types = tuple(sorted(t.lower() for t in line.params.get("TYPE", [])))
        kind = PHONE_TYPES.get(types)
        testcase.assertIsNotNone(kind, "a phone of no known kind: %s" % (types,))
        phones[kind].append(line.value)
    testcase.assertEqual(dict(phones), {kind: [number] for kind, number in contact["phones"].items()})

    addresses = {}
    for line in card.contents.get("adr", []):
        types = [t.lower() for t in line.params.get("TYPE", [])]
        kind = "other" if labels.get(line.group) == "Other" else "home" if "home" in types else "work"
        testcase.assertNotIn(kind, addresses)
        a = line.value
        parts = {"street": a.street, "city": a.city, "state": a.region, "zip": a.code, "country": a.country}
        addresses[kind] = {key: value for key, value in parts.items() if value}
    testcase.assertEqual(addresses, contact["addresses"])

    urls = {[t.lower() for t in line.params.get("TYPE", [])][0]: line.value for line in card.contents.get("url", [])}
    testcase.assertEqual(urls, contact["webPages"])
    custom = {str(n): text_value(card, "x-custom%d" % n) for n in range(1, 9) if "x-custom%d" % n in card.contents}
    testcase.assertEqual(custom, contact["customData"])

    dates = {labels.get(line.group): line.value for line in card.contents.get("x-abdate", [])}
    testcase.assertEqual({label[-1]: day for label, day in dates.items() if label.startswith("Custom Date")},
                         contact["customDates"])
    testcase.assertEqual(text_value(card, "x-anniversary"), contact["anniversary"])
    if contact["anniversary"]:
        testcase.assertEqual(dates.get("_$!<Anniversary>!$_"), contact["anniversary"])
    related = [(labels.get(line.group), unescaped(line.value)) for line in card.contents.get("x-abrelatednames", [])]
    testcase.assertEqual(related, [("_$!<Spouse>!$_", contact["spouse"])]
                         + [("_$!<Child>!$_", child) for child in contact["children"]])

    if "modDate" in contact:  # manifests of older samples lack these
        testcase.assertEqual(utc(card.rev.value), iso_utc(contact["modDate"]))
        # Values vCard has no property for keep their own; the exporter's flags and defaults are not written.
        outlook = {name: unescaped(line.value) for name, lines in card.contents.items() if name.startswith("x-outlook-")
                   for line in lines}
        testcase.assertEqual(outlook, {OUTLOOK_PROPERTIES[name]: value for name, value in contact["otherValues"].items()})


# Where the export's values without a vCard property go.
OUTLOOK_PROPERTIES = {"OPFContactCopyAstrologySign": "x-outlook-astrology-sign",
                      "OPFContactCopyBloodType": "x-outlook-blood-type",
                      "OPFContactGetFlagStatus": "x-outlook-flag-status",
                      "OPFContactCopyFollowUpStartDate": "x-outlook-follow-up-start-date",
                      "OPFContactCopyFollowUpDueDate": "x-outlook-follow-up-due-date"}


# ----------------------------------------------------------------------------
# Calendar


def calendar_zones(data):
    """{TZID: tzinfo} of the calendar's VTIMEZONEs, read by dateutil from the file's own rules."""
    import io
    from dateutil.tz import tzical
    text = data.decode("utf-8")
    if "BEGIN:VTIMEZONE" not in text:
        return {}
    zones = tzical(io.StringIO(text))
    return {key: zones.get(key) for key in zones.keys()}


def instant(component, name, zones):
    """A DATE, DATE-TIME or zoned DATE-TIME property as a date or an aware datetime; floating times naive."""
    prop = component[name]
    raw = prop.to_ical().decode()
    if len(raw) == 8:
        return datetime.datetime.strptime(raw, "%Y%m%d").date()
    moment = datetime.datetime.strptime(raw.rstrip("Z"), "%Y%m%dT%H%M%S")
    if raw.endswith("Z"):
        return moment.replace(tzinfo=datetime.timezone.utc)
    if "TZID" in prop.params:
        return moment.replace(tzinfo=zones[prop.params["TZID"]])
    return moment


def dateutil_occurrences(component, zones, days):
    """The item's occurrences within days of its start, by dateutil: aware datetimes, or dates."""
    from dateutil.rrule import rrulestr
    start = instant(component, "DTSTART", zones)
    rule = component["RRULE"].to_ical().decode()
    if isinstance(start, datetime.datetime):
        return list(rrulestr(rule, dtstart=start).between(start, start + datetime.timedelta(days=days), inc=True))
    first = datetime.datetime.combine(start, datetime.time())
    return [moment.date() for moment in rrulestr(rule, dtstart=first).between(
        first, first + datetime.timedelta(days=days), inc=True)]


def expected_local(item, occurrences, zone):
    """The occurrences a reader found, in the item's own zone (None: UTC), within the generator's
    window, in the generator's notation: local compact stamps, or dates for all-day items."""
    import zoneinfo
    from make_olm import OCCURRENCE_WINDOW
    if item.get("allDay"):
        first = datetime.datetime.strptime(item["occurrences"][0], "%Y%m%d").date()
        return [day.strftime("%Y%m%d") for day in occurrences if day < first + OCCURRENCE_WINDOW]
    start = utc(item["start"] or item["due"])
    local = zoneinfo.ZoneInfo(zone or "UTC")
    return [moment.astimezone(local).strftime("%Y%m%dT%H%M%S") for moment in occurrences
            if moment < start + OCCURRENCE_WINDOW]


def categories_of(component):
    value = component.get("CATEGORIES")
    if value is None:
        return []
    values = value if isinstance(value, list) else [value]
    return [str(c) for v in values for c in v.cats]


def check_calendar(testcase, path, manifest):
    import icalendar
    import vobject
    from make_olm import OCCURRENCE_WINDOW
    data = Path(path).read_bytes()
    vobject.readOne(data.decode("utf-8"), validate=True)
    calendar = icalendar.Calendar.from_ical(data)
    zones = calendar_zones(data)
    events = calendar.walk("VEVENT")
    todos = calendar.walk("VTODO")
    journals = calendar.walk("VJOURNAL")
    testcase.assertEqual(len(events), len(survivors(manifest, "calendars")))
    testcase.assertEqual(len(todos), len(survivors(manifest, "tasks")))
    testcase.assertEqual(sorted(str(j["SUMMARY"]) for j in journals),
                         sorted(n["title"] for n in survivors(manifest, "notes")))
    for journal in journals:
        testcase.assertNotIn("&amp;", str(journal.get("DESCRIPTION", "")))
        testcase.assertNotIn("<div>", str(journal.get("DESCRIPTION", "")))

    by_uid = {str(c["UID"]): c for c in events}
    for event in survivors(manifest, "calendars"):
        with testcase.subTest(event=event["summary"]):
            # The export's own identifier is the event's UID.
            component = by_uid[event["uuid"]]
            testcase.assertEqual(str(component["SUMMARY"]), event["summary"])
            testcase.assertEqual(str(component["LOCATION"]), event["location"])
            if event["allDay"]:
                testcase.assertEqual(instant(component, "DTSTART", zones).strftime("%Y%m%d"), event["startDate"])
                testcase.assertEqual(instant(component, "DTEND", zones).strftime("%Y%m%d"), event["endDate"])
                testcase.assertNotIsInstance(instant(component, "DTSTART", zones), datetime.datetime)
            else:
                testcase.assertEqual(instant(component, "DTSTART", zones), utc(event["start"]))
                testcase.assertEqual(instant(component, "DTEND", zones), utc(event["end"]))
            testcase.assertEqual(str(component.get("CLASS", "")), "PRIVATE" if event["private"] else "")
            testcase.assertEqual(categories_of(component), event["categories"])
            attendees = component.get("ATTENDEE", [])
            attendees = attendees if isinstance(attendees, list) else [attendees]
            testcase.assertEqual(sorted(str(a).lower().replace("mailto:", "") for a in attendees),
                                 sorted(event["attendees"]))
            if event["recurrence"]:
                found = dateutil_occurrences(component, zones, OCCURRENCE_WINDOW.days)
                testcase.assertEqual(expected_local(event, found, event["zoneIana"]), event["occurrences"])
            else:
                testcase.assertNotIn("RRULE", component)

    for task in survivors(manifest, "tasks"):
        with testcase.subTest(task=task["name"]):
            # A task's start and due are the days of its own zone, whatever the machine's.
            component = next(c for c in todos if str(c["SUMMARY"]) == task["name"]
                             and instant(c, "DUE", zones) == day_of(task["dueDay"]))
            if task["startDay"]:
                testcase.assertEqual(instant(component, "DTSTART", zones), day_of(task["startDay"]))
            elif task["recurrence"]:
                # A repeating task with only a due date repeats from it.
                testcase.assertEqual(instant(component, "DTSTART", zones), day_of(task["dueDay"]))
            else:
                testcase.assertNotIn("DTSTART", component)
            if task["complete"]:
                testcase.assertEqual(str(component["STATUS"]), "COMPLETED")
                testcase.assertEqual(instant(component, "COMPLETED", zones), utc(task["completed"]))
            else:
                testcase.assertNotEqual(str(component.get("STATUS")), "COMPLETED")
            testcase.assertEqual(categories_of(component), task["categories"])
            if task["recurrence"]:
                found = dateutil_occurrences(component, zones, OCCURRENCE_WINDOW.days)
                testcase.assertEqual(expected_local(task, found, None), task["occurrences"])
            else:
                testcase.assertNotIn("RRULE", component)
