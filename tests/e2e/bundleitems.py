"""Reading the contact, event, task and note files of a saved bundle with two
independent readers, vobject (with validation) and icalendar: one record per file,
and the files either reader refused. The two readers' values are compared here,
so the caller sees one value per field or a refusal naming the disagreement.
They are Debian's modules: a test that imports this runs under /usr/bin/python3."""
import datetime
from pathlib import Path

import icalendar
import vobject

UTC = datetime.timezone.utc


def utc_text(moment):
    """A date-time as 20100512T143000 in UTC; a floating time as it stands."""
    if isinstance(moment, datetime.datetime):
        if moment.tzinfo is not None:
            moment = moment.astimezone(UTC)
        return moment.strftime("%Y%m%dT%H%M%S") + ("Z" if moment.tzinfo is not None else "")
    return moment.isoformat()


def all_values(component, name):
    return [line.value for line in component.contents.get(name, [])]


def one_value(component, name):
    values = all_values(component, name)
    return values[0] if values else None


def read_vcard(data):
    card = vobject.readOne(data.decode("utf-8"), validate=True)
    name = one_value(card, "n")
    addresses = {}
    for line in card.contents.get("adr", []):
        kind = [t for t in line.params.get("TYPE", []) if t in ("home", "work")][0]
        a = line.value
        addresses[kind] = {"street": a.street, "city": a.city, "region": a.region, "code": a.code,
                           "country": a.country, "box": a.box, "extended": a.extended}
    photo = one_value(card, "photo")
    return {
        "uid": one_value(card, "uid"),
        "fn": one_value(card, "fn"),
        "n": None if name is None else {"family": name.family, "given": name.given, "additional": name.additional,
                                        "prefix": name.prefix, "suffix": name.suffix},
        "org": one_value(card, "org"),
        "title": one_value(card, "title"),
        "note": one_value(card, "note"),
        "categories": one_value(card, "categories"),
        "emails": all_values(card, "email"),
        "phones": all_values(card, "tel"),
        "bday": one_value(card, "bday"),
        "addresses": addresses,
        "spouse": one_value(card, "x-ms-spouse"),
        "children": all_values(card, "x-child"),
        "photo": photo,
    }


def text(component, name):
    value = component.get(name)
    return None if value is None else str(value)


def ical_attendees(event):
    attendees = event.get("ATTENDEE")
    if attendees is None:
        return []
    if not isinstance(attendees, list):
        attendees = [attendees]
    return [{"address": str(a), "cn": a.params.get("CN")} for a in attendees]


def vobject_attendees(event):
    return [{"address": line.value, "cn": line.params.get("CN", [None])[0]}
            for line in event.contents.get("attendee", [])]


def decoded_time(component, name):
    return utc_text(component.decoded(name)) if name in component else None


def vobject_time(component, name):
    value = one_value(component, name)
    return None if value is None else utc_text(value)


def read_icalendar(data, kind):
    """The one item of a VCALENDAR as both readers see it; a difference is an error."""
    calendar = icalendar.Calendar.from_ical(data)
    items = [c for c in calendar.walk() if c.name == kind]
    if len(items) != 1:
        raise ValueError("icalendar found %d %s" % (len(items), kind))
    item = items[0]
    parsed = vobject.readOne(data.decode("utf-8"), validate=True)
    vitems = parsed.contents.get(kind.lower(), [])
    if len(vitems) != 1:
        raise ValueError("vobject found %d %s" % (len(vitems), kind))
    vitem = vitems[0]

    alarms = [c for c in item.walk() if c.name == "VALARM"]
    trigger = None
    if alarms:
        value = alarms[0].decoded("TRIGGER")
        trigger = value.total_seconds() if isinstance(value, datetime.timedelta) else utc_text(value)
    zones = [c for c in calendar.walk() if c.name == "VTIMEZONE"]
    record = {
        "uid": text(item, "UID"),
        "summary": text(item, "SUMMARY"),
        "description": text(item, "DESCRIPTION"),
        "location": text(item, "LOCATION"),
        "organizer": text(item, "ORGANIZER"),
        "dtstamp": decoded_time(item, "DTSTAMP"),
        "dtstart": decoded_time(item, "DTSTART"),
        "dtend": decoded_time(item, "DTEND"),
        "due": decoded_time(item, "DUE"),
        "priority": item.get("PRIORITY"),
        "attendees": ical_attendees(item),
        "trigger": trigger,
        "tzid": text(zones[0], "TZID") if zones else None,
    }
    vrecord = {
        "uid": one_value(vitem, "uid"),
        "summary": one_value(vitem, "summary"),
        "description": one_value(vitem, "description"),
        "location": one_value(vitem, "location"),
        "organizer": one_value(vitem, "organizer"),
        "dtstamp": vobject_time(vitem, "dtstamp"),
        "dtstart": vobject_time(vitem, "dtstart"),
        "dtend": vobject_time(vitem, "dtend"),
        "due": vobject_time(vitem, "due"),
        "attendees": vobject_attendees(vitem),
    }
    differences = {key: (record[key], value) for key, value in vrecord.items()
                   if value != record[key] and not (key in ("organizer",) and str(value).lower() == str(record[key]).lower())}
    if differences:
        raise ValueError("the readers disagree: %r" % differences)
    return record


def read_bundle_items(bundle):
    """{"contacts", "events", "tasks", "notes": [records], "refused": [{file, error}]}."""
    bundle = Path(bundle)
    found = {"contacts": [], "events": [], "tasks": [], "notes": [], "refused": []}
    plan = [("Contacts", "contacts", None), ("Calendar", "events", "VEVENT"), ("Tasks", "tasks", "VTODO"),
            ("Notes", "notes", "VJOURNAL")]
    for folder, key, kind in plan:
        directory = bundle / folder
        for path in sorted(directory.iterdir()) if directory.is_dir() else []:
            data = path.read_bytes()
            try:
                record = read_vcard(data) if kind is None else read_icalendar(data, kind)
            except Exception as error:  # every refusal is reported, whatever the reader raised
                found["refused"].append({"file": "%s/%s" % (folder, path.name), "error": repr(error)})
                continue
            record["file"] = path.name
            found[key].append(record)
    return found
