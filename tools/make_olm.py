#!/usr/bin/env python3
"""Writes an Outlook for Mac export (.olm) that looks like a genuine one, and
optionally a JSON manifest of what it holds and of what a scan must recover.

The container: stored ZIP entries whose local headers all carry version 45,
flags 0x0800, method 0, 32-bit sizes FF FF FF FF and exactly the 20-byte Zip64
record (U, Z); real CRC-32 for files, CRC 0 and no data for directories; a
central directory with 28-byte Zip64 extras, the Zip64 end records and the end
record.  Entries are streamed to disk and their headers patched afterwards, so
multi-GiB files take little memory.

Damage options act on the written file; the manifest says what survives them.
The generator can also be imported: tests use ContainerWriter for hand-made files.
"""
import argparse
import base64
import bisect
import datetime
import hashlib
import io
import json
import random
import re
import struct
import sys
import warnings
import zipfile
import zlib

LOCAL_SIGNATURE = 0x04034B50
CENTRAL_SIGNATURE = 0x02014B50
ZIP64_END_SIGNATURE = 0x06064B50
ZIP64_LOCATOR_SIGNATURE = 0x07064B50
END_SIGNATURE = 0x06054B50
CONTAINER_VERSION = 45
UTF8_NAMES = 0x0800
SIZE_IN_ZIP64 = 0xFFFFFFFF
LOCAL_FIXED = 30
ZIP64_LOCAL_EXTRA = 20
ZIP64_CENTRAL_EXTRA = 28
# 2011-03-14 10:22:00 in MS-DOS form; every entry carries the same stamp.
DOS_TIME = (10 << 11) | (22 << 5)
DOS_DATE = ((2011 - 1980) << 9) | (3 << 5) | 14

XML_DECLARATION = b'<?xml version="1.0" encoding="UTF-8"?>\n'
PRESERVE = ' xml:space="preserve"'

MESSAGES_ROOT = "Local/com.microsoft.__Messages"
STORE = "On My Computer"
ATTACHMENTS_DIR = "com.microsoft.__Attachments"
MAIL_FOLDERS = ["Inbox", "Inbox/Projects", "Inbox/Projects/2010", "Sent Items", "Drafts",
                "Archive (2009)", "Archive (2009)/Receipts"]
BULK_FOLDER = "Archive (2009)/Bulk"
# Folders that hold no mail: exports keep them as directory entries alone.
EMPTY_MAIL_FOLDERS = ["Deleted Items", "Inbox/Newsletters"]
# Each mail with a large attachment added to reach --size is followed by this many small ones.
SMALL_MAILS_PER_LARGE = 20

# (kind of document, root element, item element)
DOCUMENT_TAGS = {
    "mail": ("emails", "email"),
    "contacts": ("contacts", "contact"),
    "calendars": ("appointments", "appointment"),
    "tasks": ("tasks", "task"),
    "notes": ("notes", "note"),
}
KINDS = ["mails", "contacts", "calendars", "tasks", "notes"]
DOCUMENT_COUNT_KEY = {"mail": "mails", "contacts": "contacts", "calendars": "calendars",
                      "tasks": "tasks", "notes": "notes"}

PEOPLE = [
    ("Jane", "Doe", "jane.doe@acme.com", "Acme Corporation"),
    ("太郎", "山田", "taro.yamada@example.jp", "山田商事"),
    ("민준", "김", "minjun.kim@example.kr", "한빛 소프트"),
    ("Γιώργος", "Παπαδόπουλος", "g.papadopoulos@example.gr", "Ελληνική Εταιρεία"),
    ("Zoë", "Müller", "zoe.mueller@example.de", "Müller GmbH"),
    ("John", "O'Brien", "john.obrien@example.ie", "Harbour Freight Ltd"),
    ("Priya", "Natarajan", "priya.n@example.in", "Kolkata Traders"),
    ("Carlos", "Ruiz", "carlos.ruiz@example.mx", "Ruiz y Asociados"),
    ("さくら", "佐藤", "sakura.sato@example.jp", "佐藤工業"),
    ("Ελένη", "Νικολάου", "eleni.nikolaou@example.gr", "Aegean Lines"),
    ("Lars", "Nilsson", "lars.nilsson@example.se", "Nordvik AB"),
    ("서연", "이", "seoyeon.lee@example.kr", "Hanil Partners"),
]
SUBJECTS = [
    "会議の議事録 (10月分)", "주간 보고서 – 3분기", "Προσφορά για το έργο", "Q3 budget & forecast",
    "Re: Lunch on Friday?", "Fwd: <urgent> server migration", "Numbers > expectations",
    "Café menu for Zoë", "Invoice #4471", "Team offsite – agenda", "Status update",
    "Photos from the trip", "Contract draft v2", "出張の件について", "회의 일정 확인 부탁드립니다",
    "Σημείωση: αλλαγή ωραρίου", "Re: Re: shipping dates", "Tom & Jerry tickets",
    "Ticket 2011-0042 closed", "Welcome aboard!",
]
SENTENCES = [
    "Please find the documents attached.", "Let me know if anything is missing.",
    "The figures for Q3 & Q4 are below.", "We moved the meeting to Thursday.",
    "添付の資料をご確認ください。", "검토 후 회신 부탁드립니다.", "Ευχαριστώ για την άμεση απάντηση.",
    "Prices are < 5% above last year.", "See you at the airport.", "Thanks again & best regards.",
]
CATEGORIES = [("Holiday", "r:0.89 g:0.15 b:0.15"), ("Work", "r:0.20 g:0.45 b:0.80"),
              ("Family", "r:0.30 g:0.70 b:0.25"), ("Travel", "r:0.95 g:0.60 b:0.10")]
# Mails' categories: names with spaces, brackets, an ampersand and characters outside ASCII.
MAIL_CATEGORIES = ["Holiday", "Important client", "見積もり", "Follow up (urgent)", "R&D", "Holiday"]
# Outlook's five priorities, 1 the highest; most mails are normal.
MAIL_PRIORITIES = [3, 3, 1, 3, 2, 3, 4, 3, 5]
EVENT_SUMMARIES = ["Weekly sync", "定例会議", "분기 검토", "Συνάντηση ομάδας", "Dentist",
                   "Flight to Kolkata", "Project kickoff", "Budget review"]
LOCATIONS = ["Room 4.12", "東京本社 3F", "서울 사무소", "Αθήνα", "Online", "Terminal 2"]
OLD_ZONES = ["(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi", "(UTC-06:00) Central America",
             "(UTC-05:00) Eastern Time (US & Canada)"]
TASK_NAMES = ["Buy milk & eggs", "請求書を送る", "보고서 제출", "Ανανέωση διαβατηρίου",
              "Renew domain", "Call Anna, then Ben; urgent", "Prepare slides"]
NOTE_TITLES = ["Tom & Jerry", "買い物リスト", "아이디어", "Σημειώσεις συνάντησης", "Wi-Fi codes",
               "Shopping: milk, eggs; bread"]
# Values that a vCard or iCalendar writer must escape: commas, semicolons, backslashes, line breaks.
DEPARTMENTS = ["Sales; East", "R&D, Lab 2", "営業部", "Κέντρο; Β\\Γ"]
SPOUSES = ["山田花子", "김지우", "Ελένη Παππά", "Анна Иванова", "נועה כהן", "Zoë Müller"]
CHILDREN = ["Ann", "太郎"]
PUNCTUATED_LOCATIONS = ["your place, then mine", "Room 4; east wing"]
PUNCTUATED_SUMMARIES = ["Budget review, Q3; final", "Lunch\\dinner, maybe"]
# Exports store a date-only value as the local midnight of its day, in UTC.
BIRTHDAY_ZONES = [-11, -8, -6, -5, 0, 1, 5.5, 9, 10, 11]
# Zones whose local midnights the tasks' days are written as: both sides of UTC, with and without
# daylight saving, within the twelve hours either side that a day written so can be told in.
TASK_ZONES = ["America/Denver", "Australia/Sydney", "Asia/Tokyo", "Europe/Berlin", "UTC", "Pacific/Honolulu"]
REMINDER_SECONDS = [900, 86400, 5400, 0]
NOTE_STYLE = "<style>p { margin: 0; font-family: Calibri; } .x { color: red; }</style>"
ATTACHMENT_NAMES = {
    "docx": ["017091.docx", "議事録.docx", "Προσφορά.docx"],
    "xlsx": ["budget_2010.xlsx", "보고서.xlsx"],
    "zip": ["photos.zip", "資料一式.zip"],
    "txt": ["Q&A notes.txt", "readme.txt", "メモ.txt"],
    "pdf": ["invoice_4471.pdf", "보고서.pdf", "contract (v2).pdf"],
    "png": ["image001.png", "Φωτογραφία.png"],
    "jpg": ["IMG_0042.jpg", "写真.jpg"],
}
CONTENT_TYPES = {
    "docx": "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "xlsx": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "zip": "application/zip", "txt": "text/plain", "pdf": "application/pdf",
    "png": "image/png", "jpg": "image/jpeg",
}
# Zones as newer exports describe them: the name shown, the zone database name that
# X-ENTOURAGE-CFTIMEZONE carries, the standard offset and, for zones with daylight saving,
# the daylight offset and when each begins (month, week of the month with -1 the last, hour).
EVENT_ZONES = [
    {"name": "(UTC-07:00) Mountain Time (US & Canada)", "database": "US/Mountain", "iana": "America/Denver",
     "standard": -420, "daylight": -360, "daylightBegins": (3, 2, 2), "standardBegins": (11, 1, 2)},
    {"name": "(UTC+12:00) Auckland, Wellington", "database": "Pacific/Auckland", "iana": "Pacific/Auckland",
     "standard": 720, "daylight": 780, "daylightBegins": (9, -1, 2), "standardBegins": (4, 1, 3)},
    {"name": "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna", "database": "Europe/Berlin",
     "iana": "Europe/Berlin", "standard": 60, "daylight": 120, "daylightBegins": (3, -1, 2),
     "standardBegins": (10, -1, 3)},
    {"name": "(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi", "database": "Asia/Kolkata", "iana": "Asia/Kolkata",
     "standard": 330, "daylight": None},
]


def zone_offset_text(minutes):
    return "%s%02d%02d" % ("-" if minutes < 0 else "+", abs(minutes) // 60, abs(minutes) % 60)


def zone_ics(zone):
    """The zone's iCalendar text as exports keep it in OPFCalendarEventGetStartTimeZoneICSData."""
    lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Microsoft Corporation//Outlook for Mac MIMEDIR//EN",
             "BEGIN:VTIMEZONE", "TZID:" + zone["name"].split(") ", 1)[1],
             "X-ENTOURAGE-CFTIMEZONE:" + zone["database"]]

    def block(kind, offset_from, offset_to, begins):
        month, week, hour = begins
        return ["BEGIN:" + kind, "TZNAME:" + ("Daylight" if kind == "DAYLIGHT" else "Standard"),
                "DTSTART:16010101T000000",
                "RRULE:FREQ=YEARLY;INTERVAL=1;BYSECOND=0;BYMINUTE=0;BYHOUR=%d;BYDAY=%d%s;BYMONTH=%d"
                % (hour, week, "SU", month),
                "TZOFFSETFROM:" + zone_offset_text(offset_from), "TZOFFSETTO:" + zone_offset_text(offset_to),
                "END:" + kind]

    if zone["daylight"] is None:
        lines += ["BEGIN:STANDARD", "TZNAME:Standard", "DTSTART:16010101T000000",
                  "TZOFFSETFROM:" + zone_offset_text(zone["standard"]),
                  "TZOFFSETTO:" + zone_offset_text(zone["standard"]), "END:STANDARD"]
    else:
        lines += block("STANDARD", zone["daylight"], zone["standard"], zone["standardBegins"])
        lines += block("DAYLIGHT", zone["standard"], zone["daylight"], zone["daylightBegins"])
    lines += ["END:VTIMEZONE", "END:VCALENDAR"]
    return "\n".join(lines) + "\n"



# ----------------------------------------------------------------------------
# XML pieces


def text_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;")


def markup_escape(text):
    """HTML bodies are stored escaped, so an HTML &amp; reads &amp;amp; in the file."""
    return text_escape(text).replace(">", "&gt;")


def attribute_escape(text):
    return text_escape(text).replace('"', "&quot;")


def element(name, content):
    """content is already escaped XML text."""
    return "<%s%s>%s</%s>" % (name, PRESERVE, content, name)


def attributes(pairs):
    return "".join(' %s="%s"' % (key, attribute_escape(value)) for key, value in pairs)


def email_address(address, name):
    pairs = [("OPFContactEmailAddressAddress", address)]
    if name is not None:
        pairs.append(("OPFContactEmailAddressName", name))
    pairs.append(("OPFContactEmailAddressType", "0"))
    return "<emailAddress%s%s></emailAddress>" % (PRESERVE, attributes(pairs))


def float_notation(number):
    """Sizes and flags as genuine exports write them: 50614 -> 5.0614E4, 0 -> 0E0."""
    if number == 0:
        return "0E0"
    digits = str(number)
    mantissa = digits[0] + ("." + digits[1:].rstrip("0") if digits[1:].rstrip("0") else "")
    return "%sE%d" % (mantissa, len(digits) - 1)


def iso(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%S")


class DocumentStream:
    """One XML document written piece by piece; remembers where each item's end tag ends."""

    def __init__(self, kind, count, items):
        self.root, self.item = DOCUMENT_TAGS[kind]
        self.count = count
        self.items = items
        self.root_at = None
        self.root_end = None
        self.item_ends = []

    def chunks(self):
        position = len(XML_DECLARATION)
        yield XML_DECLARATION
        self.root_at = position
        head = ('<%s%s elementCount="%d">' % (self.root, PRESERVE, self.count)).encode()
        yield head
        position += len(head)
        self.root_end = position
        start = ("<%s%s>" % (self.item, PRESERVE)).encode()
        end = ("</%s>" % self.item).encode()
        for body in self.items:
            piece = start + body.encode("utf-8") + end
            yield piece
            position += len(piece)
            self.item_ends.append(position)
        # The item end tag is directly followed by the container end tag, as in real exports.
        yield ("</%s>" % self.root).encode()

    def start_tag(self):
        return "<%s " % self.root


# ----------------------------------------------------------------------------
# The container


class ContainerWriter:
    """Writes stored ZIP entries in the shape of genuine exports."""

    def __init__(self, out, garbage_rng=None):
        self.out = out
        self.garbage_rng = garbage_rng
        self.entries = []

    def _gap(self):
        # Random bytes between entries, free of 'P' and '<' so they never form a
        # signature or a document start tag.
        if self.garbage_rng is None or not self.entries:
            return
        junk = self.garbage_rng.randbytes(self.garbage_rng.randint(1, 200))
        self.out.write(junk.translate(GARBAGE_TABLE))

    def _local_header(self, name_bytes, crc, size):
        return (struct.pack("<IHHHHHIIIHH", LOCAL_SIGNATURE, CONTAINER_VERSION, UTF8_NAMES, 0,
                            DOS_TIME, DOS_DATE, crc, SIZE_IN_ZIP64, SIZE_IN_ZIP64,
                            len(name_bytes), ZIP64_LOCAL_EXTRA)
                + name_bytes + struct.pack("<HHQQ", 1, 16, size, size))

    def directory(self, name):
        self._gap()
        header = self.out.tell()
        name_bytes = name.encode("utf-8")
        self.out.write(self._local_header(name_bytes, 0, 0))
        entry = {"name": name, "kind": "directory", "header": header, "data": self.out.tell(),
                 "size": 0, "crc": 0}
        self.entries.append(entry)
        return entry

    def file(self, name, chunks, kind, with_sha256=False):
        """Streams chunks as the entry's data, then patches CRC-32, U and Z into the header."""
        self._gap()
        header = self.out.tell()
        name_bytes = name.encode("utf-8")
        self.out.write(self._local_header(name_bytes, 0, 0))
        data = self.out.tell()
        crc = 0
        size = 0
        digest = hashlib.sha256() if with_sha256 else None
        for chunk in chunks:
            self.out.write(chunk)
            crc = zlib.crc32(chunk, crc)
            size += len(chunk)
            if digest:
                digest.update(chunk)
        end = self.out.tell()
        self.out.seek(header + 14)
        self.out.write(struct.pack("<I", crc))
        self.out.seek(data - 16)
        self.out.write(struct.pack("<QQ", size, size))
        self.out.seek(end)
        entry = {"name": name, "kind": kind, "header": header, "data": data, "size": size, "crc": crc}
        if digest:
            entry["sha256"] = digest.hexdigest()
        self.entries.append(entry)
        return entry

    def finish(self, central_directory=True):
        if not central_directory:
            return
        self._gap()
        start = self.out.tell()
        if self.entries:
            self.entries[-1]["directoryStart"] = start
        for entry in self.entries:
            name_bytes = entry["name"].encode("utf-8")
            is_directory = entry["kind"] == "directory"
            external = (0o40755 << 16) | 0x10 if is_directory else 0o100644 << 16
            self.out.write(struct.pack("<IHHHHHHIIIHHHHHII", CENTRAL_SIGNATURE, (3 << 8) | CONTAINER_VERSION,
                                       CONTAINER_VERSION, UTF8_NAMES, 0, DOS_TIME, DOS_DATE, entry["crc"],
                                       SIZE_IN_ZIP64, SIZE_IN_ZIP64, len(name_bytes), ZIP64_CENTRAL_EXTRA,
                                       0, 0, 0, external, SIZE_IN_ZIP64))
            self.out.write(name_bytes)
            self.out.write(struct.pack("<HHQQQ", 1, 24, entry["size"], entry["size"], entry["header"]))
        end = self.out.tell()
        count = len(self.entries)
        self.out.write(struct.pack("<IQHHIIQQQQ", ZIP64_END_SIGNATURE, 44, (3 << 8) | CONTAINER_VERSION,
                                   CONTAINER_VERSION, 0, 0, count, count, end - start, start))
        self.out.write(struct.pack("<IIQI", ZIP64_LOCATOR_SIGNATURE, 0, end, 1))
        self.out.write(struct.pack("<IHHHHIIH", END_SIGNATURE, 0, 0, 0xFFFF, 0xFFFF,
                                   SIZE_IN_ZIP64, SIZE_IN_ZIP64, 0))


class _Unseekable(io.RawIOBase):
    """A stream zipfile cannot seek in, so that it writes data descriptors, as zip tools writing to a pipe do."""

    def __init__(self):
        self.buffer = bytearray()

    def writable(self):
        return True

    def write(self, chunk):
        self.buffer += chunk
        return len(chunk)


def repack_deflated(data):
    """The export unpacked and packed again by a zip tool: deflated, version 20, data
    descriptors, no Zip64 record."""
    out = _Unseekable()
    with warnings.catch_warnings():
        warnings.filterwarnings("ignore", "Duplicate name", UserWarning)  # exports repeat "Accounts/"
        with zipfile.ZipFile(io.BytesIO(bytes(data))) as source, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as target:
            for info in source.infolist():
                target.writestr(info.filename, source.read(info))
    return bytes(out.buffer)


GARBAGE_TABLE = bytes(b if b not in (ord("P"), ord("<")) else b + 1 for b in range(256))


# ----------------------------------------------------------------------------
# Attachments


def zip_archive(members):
    """A small deflated ZIP made the way office suites do it (version 20, no extra field)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in members:
            info = zipfile.ZipInfo(name, date_time=(2010, 5, 12, 14, 30, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text)
    return buffer.getvalue()


def docx_bytes(paragraphs):
    body = "".join("<w:p><w:r><w:t>%s</w:t></w:r></w:p>" % markup_escape(p) for p in paragraphs)
    return zip_archive([
        ("[Content_Types].xml",
         '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
         '<Default Extension="xml" ContentType="application/xml"/>'
         '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-'
         'officedocument.wordprocessingml.document.main+xml"/></Types>'),
        ("_rels/.rels",
         '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
         '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
         'relationships/officeDocument" Target="word/document.xml"/></Relationships>'),
        ("word/document.xml",
         '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
         "<w:body>%s</w:body></w:document>" % body),
    ])


def xlsx_bytes(rows):
    cells = "".join('<row r="%d"><c r="A%d" t="inlineStr"><is><t>%s</t></is></c></row>'
                    % (i + 1, i + 1, markup_escape(r)) for i, r in enumerate(rows))
    return zip_archive([
        ("[Content_Types].xml", '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.'
                                'openxmlformats.org/package/2006/content-types"/>'),
        ("xl/worksheets/sheet1.xml", '<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="http://'
                                     'schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
                                     "%s</sheetData></worksheet>" % cells),
    ])


def png_bytes(rng, width, height):
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    raw = b"".join(b"\x00" + rng.randbytes(width * 3) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def binary_chunks(rng, kind, size):
    """size bytes that start like a file of the kind, in 1 MiB chunks."""
    prefix = {"pdf": b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", "jpg": b"\xff\xd8\xff\xe0\x00\x10JFIF\x00"}[kind]
    prefix = prefix[:size]
    yield prefix
    left = size - len(prefix)
    while left > 0:
        step = min(left, 1 << 20)
        yield rng.randbytes(step)
        left -= step


def attachment_content(rng, kind, size, sentences):
    """(list of chunks or a generator) for one attachment of the kind; size applies to binaries."""
    if kind == "docx":
        return [docx_bytes(rng.sample(sentences, 3))]
    if kind == "xlsx":
        return [xlsx_bytes(rng.sample(sentences, 4))]
    if kind == "zip":
        return [zip_archive([("notes/%d.txt" % i, "\n".join(rng.sample(sentences, 3))) for i in range(3)])]
    if kind == "txt":
        return [("\r\n".join(rng.sample(sentences, 4)) + "\r\n").encode("utf-8")]
    if kind == "png":
        return [png_bytes(rng, 8, 8)]
    return binary_chunks(rng, kind, max(size, 1))


# ----------------------------------------------------------------------------
# Realistic content (--realistic): the shape of a grown mailbox, for benchmarks

REALISTIC_STORES = ["On My Computer", "jane.doe@acme.com", "Exchange (acme.com)", "taro.yamada@example.jp"]
# Every store has these, as real exports do: the same names under several parents.
REALISTIC_STANDARD_FOLDERS = ["Inbox", "Sent Items", "Drafts", "Deleted Items"]
REALISTIC_SUBFOLDERS = ["Projects", "Clients", "Receipts", "Travel", "Newsletters", "2010", "2011", "Archive"]
REALISTIC_FOLDER_COUNT = 50
REALISTIC_BODY_SIZE = (2 << 10, 50 << 10)
REALISTIC_ATTACHMENT_SIZE = (10 << 10, 2 << 20)
# Most attachments are small and a few reach 2 MB: a mean near 50 KB keeps 20,000 mails near 1 GiB.
REALISTIC_ATTACHMENT_SKEW = 11
# Share of mails with attachments, and how many they carry.
REALISTIC_ATTACHED_SHARE = 0.25
REALISTIC_ATTACHMENTS_PER_MAIL = (1, 3)
REALISTIC_KINDS = ["docx", "xlsx", "zip", "pdf", "jpg", "png", "txt"]
RANDOM_POOL_SIZE = 8 << 20
CHUNK_SIZE = 1 << 20


def realistic_folders():
    """(store, folder path) pairs: the standard folders of every store, then
    subfolders below Inbox, breadth first, the stores taking turns."""
    folders = [(store, name) for store in REALISTIC_STORES for name in REALISTIC_STANDARD_FOLDERS]
    parents = {store: ["Inbox"] for store in REALISTIC_STORES}
    turn = 0
    while len(folders) < REALISTIC_FOLDER_COUNT:
        store = REALISTIC_STORES[turn % len(REALISTIC_STORES)]
        parent = parents[store].pop(0)
        # Two or three subfolders each, named alike in every store.
        for name in REALISTIC_SUBFOLDERS[turn % 3:turn % 3 + 2 + turn % 2]:
            folders.append((store, "%s/%s" % (parent, name)))
            parents[store].append("%s/%s" % (parent, name))
        turn += 1
    return folders[:REALISTIC_FOLDER_COUNT]


def log_uniform(rng, low, high, skew=1.0):
    """A size from low to high; skew > 1 favours the small end more than a log-uniform draw."""
    return int(low * (high / low) ** (rng.random() ** skew))


class RandomPool:
    """Random bytes for attachment contents: slices of one pool, so that gigabytes
    come out at memory speed and each slice still looks like compressed data."""

    def __init__(self, seed):
        self.pool = memoryview(random.Random("%s-pool" % seed).randbytes(RANDOM_POOL_SIZE))

    def chunks(self, rng, size):
        while size > 0:
            step = min(size, CHUNK_SIZE)
            start = rng.randrange(len(self.pool) - step + 1)
            yield self.pool[start:start + step]
            size -= step

    def bytes(self, rng, size):
        return b"".join(self.chunks(rng, size))


def padded_archive(members, media_name, media):
    """An office-style ZIP whose text parts are deflated and whose media part is stored."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, text in members:
            info = zipfile.ZipInfo(name, date_time=(2010, 5, 12, 14, 30, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text)
        info = zipfile.ZipInfo(media_name, date_time=(2010, 5, 12, 14, 30, 0))
        info.compress_type = zipfile.ZIP_STORED
        archive.writestr(info, media)
    return buffer.getvalue()


def realistic_attachment(pool, rng, kind, size, sentences):
    """Chunks of about size bytes that start like a file of the kind."""
    if kind in ("docx", "xlsx", "zip"):
        text = "\n".join(rng.choice(sentences) for _ in range(20))
        members = {"docx": [("[Content_Types].xml", "<Types/>"), ("word/document.xml", markup_escape(text))],
                   "xlsx": [("[Content_Types].xml", "<Types/>"), ("xl/worksheets/sheet1.xml", markup_escape(text))],
                   "zip": [("notes/readme.txt", text)]}[kind]
        media = {"docx": "word/media/image1.jpeg", "xlsx": "xl/media/image1.png", "zip": "photos/IMG_0001.jpg"}[kind]
        return [padded_archive(members, media, pool.bytes(rng, max(size - 1024, 1)))]
    if kind == "txt":
        line = ("\r\n".join(rng.sample(sentences, 4)) + "\r\n").encode("utf-8")
        return [(line * (size // len(line) + 1))[:size]]
    prefix = {"pdf": b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", "jpg": b"\xff\xd8\xff\xe0\x00\x10JFIF\x00",
              "png": b"\x89PNG\r\n\x1a\n"}[kind]
    return [prefix] + list(pool.chunks(rng, max(size - len(prefix), 1)))


# HTML bodies keep the sender's own declaration, though the export stores the text as UTF-8.
UTF8_DECLARATION = '<meta charset="utf-8">'
SENDERS_DECLARATION = '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=iso-2022-jp">'


def realistic_html_body(rng, greeting, size):
    """An escaped HTML body of about size bytes in the file."""
    paragraphs = []
    length = 0
    while length * 1.2 < size:  # escaping the markup adds about a fifth
        paragraph = "<p>%s %s</p>" % (markup_escape(rng.choice(SENTENCES)), markup_escape(rng.choice(SENTENCES)))
        paragraphs.append(paragraph)
        length += len(paragraph.encode("utf-8"))
    html = ('<html><head>%s</head><body><p>Hello %s,</p>%s'
            '<p>Terms &amp; conditions apply.</p></body></html>'
            % (UTF8_DECLARATION, markup_escape(greeting), "".join(paragraphs)))
    return markup_escape(html)


# ----------------------------------------------------------------------------
# Items


class Content:
    """All item data, drawn from one random stream so that a seed gives one file."""

    def __init__(self, seed):
        self.seed = seed
        self.rng = random.Random(seed)
        self.epoch = datetime.datetime(2010, 5, 12, 14, 30, 0)

    def moment(self):
        return self.epoch + datetime.timedelta(seconds=self.rng.randint(-400 * 86400, 400 * 86400))

    def person(self):
        return self.rng.choice(PEOPLE)

    def message_id(self, number):
        domain = self.rng.choice(["acme.com", "example.jp", "mail.example.kr"])
        return "%08x.%d@%s" % (self.rng.getrandbits(32), number, domain)


# Message-IDs that identify nothing; None: the element is left out.
UNUSABLE_MESSAGE_IDS = ["<>", "< >", None]


def mail_item(mail):
    """The XML of one mail; the manifest record mail holds every value."""
    parts = [element("OPFMessageCopyToAddresses", "".join(email_address(a, n) for a, n in mail["toEntries"]))]
    if mail["from"]:  # drafts may have no sender at all
        parts += [element("OPFMessageCopyFromAddresses", email_address(mail["from"], mail["fromName"])),
                  element("OPFMessageCopySenderAddress", email_address(mail["from"], mail["fromName"]))]
    if mail["cc"]:
        parts.append(element("OPFMessageCopyCCAddresses", "".join(email_address(a, a) for a in mail["cc"])))
    if mail["bcc"]:
        parts.append(element("OPFMessageCopyBCCAddresses", "".join(email_address(a, a) for a in mail["bcc"])))
    parts.append(element("OPFMessageCopySubject", text_escape(mail["subject"])))
    parts.append(element("OPFMessageCopyThreadTopic", text_escape(re.sub(r"^((Re|Fwd): )+", "", mail["subject"]))))
    if mail["sent"]:
        parts.append(element("OPFMessageCopySentTime", mail["sent"]))
    parts.append(element("OPFMessageCopyReceivedTime", mail["received"]))
    parts.append(element("OPFMessageCopyModDate", mail["received"]))
    if mail["messageIdXml"] is not None:
        parts.append(element("OPFMessageCopyMessageID", mail["messageIdXml"]))
    if mail["inReplyTo"]:
        parts.append(element("OPFMessageCopyInReplyTo", text_escape(mail["inReplyTo"])))
        parts.append(element("OPFMessageCopyReferences", text_escape(mail["inReplyTo"])))
    parts.append(element("OPFMessageGetPriority", str(mail["priority"])))
    parts.append(element("OPFMessageGetFlagStatus", "1E0" if mail["flagged"] else "0E0"))
    if mail["categories"]:
        parts.append(element("OPFMessageCopyCategoryList", category_list_xml(mail["categories"])))
    parts.append(element("OPFMessageIsOutgoing", "1E0" if mail["outgoing"] else "0E0"))
    parts.append(element("OPFMessageGetIsRead", "1E0" if mail["read"] else "0E0"))
    parts.append(element("OPFMessageGetHasHTML", "1E0"))
    if mail["attachments"]:
        entries = []
        for attachment in mail["attachments"]:
            pairs = [("OPFAttachmentContentExtension", attachment["name"].rsplit(".", 1)[-1]),
                     ("OPFAttachmentContentFileSize", float_notation(attachment["size"]))]
            if attachment["contentId"]:
                pairs.append(("OPFAttachmentContentID", attachment["contentId"]))
            pairs += [("OPFAttachmentContentType", attachment["contentType"]),
                      ("OPFAttachmentName", attachment["name"]), ("OPFAttachmentURL", attachment["url"])]
            entries.append("<messageAttachment%s%s></messageAttachment>" % (PRESERVE, attributes(pairs)))
        parts.append(element("OPFMessageCopyAttachmentList", "".join(entries)))
    parts.append(element("OPFMessageCopyBody", mail["bodyXml"]))
    if mail["htmlBody"]:
        parts.append(element("OPFMessageCopyHTMLBody", mail["htmlBodyXml"]))
    return "".join(parts)


def html_document(paragraphs):
    """What Outlook writes for a formatted note: a style sheet, then one <p> per line."""
    body = "".join("<p>%s</p>" % markup_escape(line) for line in paragraphs)
    return "<html><head>%s</head><body>%s</body></html>" % (NOTE_STYLE, body)


def contact_item(contact):
    email_list = "".join("<contactEmailAddress%s%s></contactEmailAddress>"
                         % (PRESERVE, attributes([("OPFContactEmailAddressAddress", a),
                                                  ("OPFContactEmailAddressIsDefault", "1" if i == 0 else "0"),
                                                  ("OPFContactEmailAddressType", EMAIL_TYPE_CODES[t])]))
                         for i, (a, t) in enumerate(zip(contact["emails"], contact["emailTypes"])))
    parts = [element("OPFContactCopyDisplayName", text_escape(contact["displayName"])),
             element("OPFContactCopyFirstName", text_escape(contact["firstName"])),
             element("OPFContactCopyLastName", text_escape(contact["lastName"])),
             element("OPFContactCopyEmailAddressList", email_list),
             element("OPFContactCopyDefaultEmailAddress", email_list.split("</contactEmailAddress>")[0]
                     + "</contactEmailAddress>"),
             element("OPFContactCopyBusinessCompany", text_escape(contact["company"])),
             element("OPFContactCopyBusinessDepartment", text_escape(contact["department"])),
             element("OPFContactCopySpousesName", text_escape(contact["spouse"])),
             element("OPFContactCopyBusinessTitle", text_escape(contact["jobTitle"])),
             element("OPFContactCopyBirthday", contact["birthdayIso"]),
             element("OPFContactCopyAge", "0E0")]
    for kind, name in CONTACT_ADDRESS_KINDS:
        for part, suffix in CONTACT_ADDRESS_PARTS:
            value = contact["addresses"].get(kind, {}).get(part)
            if value:
                parts.append(element("OPFContactCopy%s%s" % (name, suffix), text_escape(value)))
    for kind, name in CONTACT_PHONES:
        if kind in contact["phones"]:
            parts.append(element(name, text_escape(contact["phones"][kind])))
    for key, name in [("middleName", "OPFContactCopyMiddleName"), ("nickName", "OPFContactCopyNickName"),
                      ("namePrefix", "OPFContactCopyTitle"), ("nameSuffix", "OPFContactCopySetNameSuffix"),
                      ("office", "OPFContactCopyBusinessOffice"), ("interests", "OPFContactCopyInterests")]:
        if contact.get(key):
            parts.append(element(name, text_escape(contact[key])))
    for kind, name in [("work", "OPFContactCopyBusinessHomePage"), ("home", "OPFContactCopyHomeWebPage")]:
        if kind in contact["webPages"]:
            parts.append(element(name, text_escape(contact["webPages"][kind])))
    for number, name in enumerate(CONTACT_CUSTOM_DATA, 1):
        if str(number) in contact["customData"]:
            parts.append(element(name, text_escape(contact["customData"][str(number)])))
    for number in ("1", "2"):
        if number in contact["customDatesIso"]:
            parts.append(element("OPFContactCopyCustomDate" + number, contact["customDatesIso"][number]))
    if contact["anniversaryIso"]:
        parts.append(element("OPFContactCopyAnniversary", contact["anniversaryIso"]))
    if contact["categories"]:
        parts.append(element("OPFContactCopyCategoryList", "".join(
            "<category%s%s></category>" % (PRESERVE, attributes([("OPFCategoryCopyBackgroundColor", color),
                                                                 ("OPFCategoryCopyName", name)]))
            for name, color in contact["categories"])))
    if contact["children"]:
        parts.append(element("OPFContactCopyChildren", "".join(
            element("string", text_escape(child)) for child in contact["children"])))
    parts.append(element("OPFContactCopyModDate", contact["modDate"]))
    for name, value in sorted(list(contact["internalValues"].items()) + list(contact["otherValues"].items())):
        parts.append(element(name, text_escape(value)))
    parts.append(element("OPFContactCopyNotes", contact["notesHtmlXml"]))
    parts.append(element("OPFContactCopyNotesPlain", contact["notesXml"]))
    if contact["pictureXml"]:
        parts.append(element("OPFContactAddPicture", contact["pictureXml"]))
    return "".join(parts)


def event_item(event):
    parts = [element("OPFCalendarEventCopySummary", text_escape(event["summary"])),
             element("OPFCalendarEventCopyLocation", text_escape(event["location"])),
             # The start and end times stand before the zone elements whose names they begin.
             element("OPFCalendarEventCopyStartTime", event["startIso"]),
             element("OPFCalendarEventCopyEndTime", event["endIso"])]
    if event["zoneDatabase"]:
        zone = next(z for z in EVENT_ZONES if z["database"] == event["zoneDatabase"])
        parts += [element("OPFCalendarEventCopyStartTimeZone", text_escape(event["zone"])),
                  element("OPFCalendarEventCopyEndTimeZone", text_escape(event["zone"])),
                  element("OPFCalendarEventGetStartTimeZoneICSData", text_escape(zone_ics(zone)))]
    else:
        parts.append(element("OPFCalendarEventCopyTimeZone", text_escape(event["zone"])))
    parts += [element("OPFCalendarEventCopyModDate", event["modifiedIso"]),
              element("OPFCalendarEventGetIsAllDayEvent", "1" if event["allDay"] else "0"),
              element("OPFCalendarEventGetIsPrivate", "1E0" if event["private"] else "0E0"),
              element("OPFCalendarEventCopyFreeBusyStatus", "0"),
              element("OPFCalendarEventCopyOrganizer", event["organizer"]),
              element("OPFCalendarEventCopyAttendeeList", "".join(
                  "<appointmentAttendee%s%s></appointmentAttendee>"
                  % (PRESERVE, attributes([("OPFCalendarAttendeeAddress", a), ("OPFCalendarAttendeeName", n),
                                           ("OPFCalendarAttendeeResponseRequested", "1"),
                                           ("OPFCalendarAttendeeType", "1")]))
                  for a, n in event["attendeeEntries"])),
              element("OPFCalendarEventCopyReminderDelta", str(event["reminderSeconds"])),
              element("OPFCalendarEventCopyUUID", event["uuid"]),
              element("OPFCalendarEventCopyDescription", event["descriptionHtmlXml"]),
              element("OPFCalendarEventCopyDescriptionPlain", event["descriptionXml"])]
    if event["categories"]:
        parts.append(element("OPFCalendarEventCopyCategoryList", category_list_xml(event["categories"])))
    if event["recurrence"]:
        parts += [element("OPFCalendarEventIsRecurring", "1"),
                  element("OPFCalendarEventCopyRecurrence", recurrence_xml(event["recurrence"]))]
    return "".join(parts)


def task_item(task):
    parts = [element("OPFTaskCopyName", text_escape(task["name"]))]
    if task["startIso"]:
        parts.append(element("OPFTaskCopyStartDateTime", task["startIso"]))
    parts += [element("OPFTaskCopyDueDateTime", task["dueIso"]),
             element("OPFTaskGetPriority", task["priority"]),
             element("OPFTaskCopyReminderTime", task["reminderIso"]),
             element("OPFTaskCopyModDate", task["modifiedIso"]),
             element("OPFTaskGetIsComplete", "1E0" if task["complete"] else "0E0"),
             element("OPFTaskCopyNote", task["noteXml"]),
             element("OPFTaskCopyNotePlain", task["notePlainXml"])]
    if task["complete"]:
        parts.append(element("OPFTaskCopyCompletedDateTime", task["completedIso"]))
    if task["categories"]:
        parts.append(element("OPFTaskCopyCategoryList", category_list_xml(task["categories"])))
    if task["recurrence"]:
        parts.append(element("OPFTaskCopyRecurrence", recurrence_xml(task["recurrence"])))
    return "".join(parts)


def note_item(note):
    parts = [element("OPFNoteCopyTitle", text_escape(note["title"])), element("OPFNoteCopyText", note["textXml"])]
    if note["plainXml"] is not None:
        parts.append(element("OPFNoteCopyNonHTMLText", note["plainXml"]))
    parts.append(element("OPFNoteCopyModDate", note["modIso"]))
    return "".join(parts)


# ----------------------------------------------------------------------------
# What exports say beyond the bundle's records: recurrence, categories, completion,
# privacy, all-day events, middle names and e-mail kinds. Drawn from the item's number,
# not from the random stream, so every other value stays as it was.

MIDDLE_NAMES = ["Maria", "Lee", "Άννα", "Jun"]
# Every phone a contact may carry: (manifest kind, element). Genuine exports write
# "OPFContactMainPhone" without "Copy".
CONTACT_PHONES = [("home", "OPFContactCopyHomePhone"), ("home2", "OPFContactCopyHomePhone2"),
                  ("homeFax", "OPFContactCopyHomeFax"), ("work", "OPFContactCopyBusinessPhone"),
                  ("work2", "OPFContactCopyBusinessPhone2"), ("workFax", "OPFContactCopyBusinessFax"),
                  ("mobile", "OPFContactCopyCellPhone"), ("pager", "OPFContactCopyPager"),
                  ("radio", "OPFContactCopyRadioPhone"), ("assistant", "OPFContactCopyAssistantPhone"),
                  ("other", "OPFContactCopyOtherPhone"), ("otherFax", "OPFContactCopyOtherFax"),
                  ("main", "OPFContactMainPhone")] + [("custom%d" % n, "OPFContactCopyCustomPhone%d" % n)
                                                      for n in range(1, 5)]
CONTACT_ADDRESS_KINDS = [("home", "Home"), ("work", "Business"), ("other", "Other")]
CONTACT_ADDRESS_PARTS = [("street", "StreetAddress"), ("city", "City"), ("state", "State"), ("zip", "Zip"),
                         ("country", "Country")]
# Custom fields 5 to 8 have no "Copy" in their names.
CONTACT_CUSTOM_DATA = ["OPFContactCopyCustom%dData" % n for n in range(1, 5)] + \
                      ["OPFContactCustomData%d" % n for n in range(5, 9)]
ASTROLOGY_SIGNS = ["Aries", "Taurus", "Gemini", "Cancer", "Leo", "Virgo", "Libra", "Scorpio", "Sagittarius",
                   "Capricorn", "Aquarius", "Pisces"]
NICKNAMES = ["Janie", "タロー", "Minnie", "Γιώργης"]
NAME_PREFIXES = ["Dr.", "Ms.", "Prof.", "Mr."]
NAME_SUFFIXES = ["Jr.", "III", "PhD"]
OFFICES = ["Room 4.12", "本社 3F", "Bldg 7; desk 2"]
INTERESTS = ["Go, chess; hiking", "書道", "Φωτογραφία", "sailing"]
CUSTOM_VALUES = ["Badge 0042", "Likes tea, not coffee", "駐車場 B-12", "VIP; level 2", "회원 번호 77",
                 "Account \\ 9", "Ref: 2011-03", "Λογαριασμός 5"]
# Kinds of contact e-mail addresses as exports number them.
EMAIL_TYPE_CODES = {"work": "0", "home": "1", "other": "2"}
DAY_NAMES = ["SU", "MO", "TU", "WE", "TH", "FR", "SA"]
DAY_ELEMENTS = ["sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"]
PATTERN_WORDS = {"daily": "Daily", "weekly": "Weekly", "monthly": "AbsoluteMonthly", "monthNth": "RelativeMonthly",
                 "yearly": "AbsoluteYearly", "yearNth": "RelativeYearly"}
# A year of occurrences and a little more (a yearly pattern shows its second) is what the tests compare.
OCCURRENCE_WINDOW = datetime.timedelta(days=400)
UTC = datetime.timezone.utc


def zone_offset(zone):
    match = re.match(r"\(UTC([+-])(\d\d):(\d\d)\)", zone)
    minutes = int(match.group(2)) * 60 + int(match.group(3))
    return datetime.timedelta(minutes=-minutes if match.group(1) == "-" else minutes)


def day_of(moment):
    """Sunday 0 … Saturday 6."""
    return (moment.weekday() + 1) % 7


def category_list_xml(names):
    colors = dict(CATEGORIES)
    return "".join("<category%s%s></category>" % (PRESERVE, attributes([("OPFCategoryCopyBackgroundColor",
                                                                         colors.get(n, "r:0.5 g:0.5 b:0.5")),
                                                                        ("OPFCategoryCopyName", n)]))
                   for n in names)


def local_to_utc(local, iana):
    """A naive local time of the zone as a naive UTC time."""
    import zoneinfo
    return local.replace(tzinfo=zoneinfo.ZoneInfo(iana)).astimezone(UTC).replace(tzinfo=None)


def utc_to_local(moment, iana):
    import zoneinfo
    return moment.replace(tzinfo=UTC).astimezone(zoneinfo.ZoneInfo(iana)).replace(tzinfo=None)


def recurrence_xml(pattern):
    """The recurrence as exports write it; dates are the local midnights of their days, in UTC."""
    days = "".join(element(name, str(int(DAY_NAMES[index] in pattern["days"])))
                   for index, name in sorted(enumerate(DAY_ELEMENTS), key=lambda item: item[1]))
    weekdays = int(sorted(pattern["days"]) == sorted(DAY_NAMES[1:6]))
    days = element("allDays", str(int(len(pattern["days"]) == 7))) + days + \
        element("weekdays", str(weekdays)) + element("weekenddays", "0")
    inner = [element("OPFRecurrencePatternType", "OPFRecurrencePattern" + PATTERN_WORDS[pattern["type"]]),
             element("OPFRecurrencePatternInterval", str(pattern["interval"]))]
    if pattern["type"] in ("monthly", "yearly"):
        inner.append(element("OPFRecurrencePatternDayOfMonth", str(pattern["dayOfMonth"])))
    if pattern["type"] in ("yearly", "yearNth"):
        inner.append(element("OPFRecurrencePatternMonth", str(pattern["month"])))
    if pattern["type"] in ("weekly", "monthNth", "yearNth"):
        inner.append(element("OPFRecurrencePatternDaysOfWeek", days))
    if pattern["type"] in ("monthNth", "yearNth"):
        # The notes on genuine exports do not show this element; Outlook's own name for it.
        inner.append(element("OPFRecurrencePatternInstance", str(pattern["instance"])))
    fields = []
    if pattern["endDateUtc"]:
        fields.append(element("OPFRecurrenceCopyEndDate", pattern["endDateUtc"]))
    fields += [element("OPFRecurrenceCopyStartDate", pattern["startDateUtc"]),
               element("OPFRecurrenceGetOccurenceCount", float_notation(pattern["count"])),
               element("OPFRecurrenceHasEndDate", "1" if pattern["endDate"] else "0"),
               element("OPFRecurrenceIsNoEnd", "0" if pattern["count"] or pattern["endDate"] else "1"),
               element("OPFRecurrenceIsNumbered", "1" if pattern["count"] else "0"),
               element("OPFRecurrencePattern", "".join(inner))]
    return "".join(fields)


def nth_weekday(day):
    """Which such weekday of its month the day is (1 to 5), and whether it is the last."""
    day = day.date() if isinstance(day, datetime.datetime) else day
    following = (day.replace(day=1) + datetime.timedelta(days=32)).replace(day=1)
    return (day.day - 1) // 7 + 1, (following - day).days <= 7


def matches(pattern, day, first):
    """True when the pattern that began on the date first falls on the date day."""
    interval = pattern["interval"]
    months = (day.year - first.year) * 12 + day.month - first.month
    if pattern["type"] == "daily":
        return (day - first).days % interval == 0
    if pattern["type"] == "weekly":
        weeks = ((day - datetime.timedelta(days=day_of(day))) - (first - datetime.timedelta(days=day_of(first)))).days // 7
        return DAY_NAMES[day_of(day)] in pattern["days"] and weeks % interval == 0
    if pattern["type"] == "monthly":
        return day.day == pattern["dayOfMonth"] and months % interval == 0
    if pattern["type"] == "yearly":
        return (day.month, day.day) == (pattern["month"], pattern["dayOfMonth"]) and (day.year - first.year) % interval == 0
    # The nth (5: the last) such weekday of the month.
    week, last = nth_weekday(day)
    right_week = last if pattern["instance"] == 5 else week == pattern["instance"]
    if pattern["type"] == "monthNth":
        return DAY_NAMES[day_of(day)] in pattern["days"] and right_week and months % interval == 0
    return (DAY_NAMES[day_of(day)] in pattern["days"] and right_week and day.month == pattern["month"]
            and (day.year - first.year) % interval == 0)


def local_occurrences(pattern, local_start, iana):
    """The local starts the pattern gives within OCCURRENCE_WINDOW of the first (the first included), found by
    trying every day; iana None for all-day items, which are dates."""
    end = datetime.datetime.strptime(pattern["endDate"], "%Y-%m-%d").date() if pattern["endDate"] else None
    first = local_start.date()
    limit = local_to_utc(local_start, iana) + OCCURRENCE_WINDOW if iana else None
    out = []
    for step in range(OCCURRENCE_WINDOW.days + 1):
        day = first + datetime.timedelta(days=step)
        if (end and day > end) or (pattern["count"] and len(out) >= pattern["count"]):
            break
        if not matches(pattern, day, first):
            continue
        if iana is None:
            if step < OCCURRENCE_WINDOW.days:
                out.append(day)
            continue
        moment = datetime.datetime.combine(day, local_start.time())
        if local_to_utc(moment, iana) < limit:
            out.append(moment)
    return out


def make_pattern(kind, variant, local):
    """The recurrence of an event or task of this kind and variant that begins at local time local."""
    day = DAY_NAMES[day_of(local)]
    week, last = nth_weekday(local)
    if kind == "weekly":
        pattern = [{"type": "weekly", "interval": 1, "count": 27, "endDate": None,
                    "days": [day, DAY_NAMES[(day_of(local) + 2) % 7]]},
                   {"type": "weekly", "interval": 2, "count": 0, "endDate": None,
                    "days": [day, DAY_NAMES[(day_of(local) + 3) % 7]]}][variant % 2]
    elif kind == "daily":
        pattern = [{"type": "daily", "interval": 3, "count": 0, "days": [],
                    "endDate": (local + datetime.timedelta(days=200)).strftime("%Y-%m-%d")},
                   {"type": "daily", "interval": 1, "count": 184, "endDate": None, "days": []}][variant % 2]
    else:
        pattern = [{"type": "monthly", "interval": 1, "count": 6, "endDate": None, "days": []},
                   {"type": "monthNth", "interval": 1, "count": 6, "endDate": None, "days": [day],
                    "instance": 5 if last else week},
                   {"type": "yearly", "interval": 1, "count": 0, "endDate": None, "days": []},
                   {"type": "yearNth", "interval": 1, "count": 0, "days": [day], "instance": 5 if last else week,
                    "endDate": (local + datetime.timedelta(days=1000)).strftime("%Y-%m-%d")}][variant % 4]
    if pattern["type"] in ("monthly", "yearly") and local.day > 28:
        # Days that not every month has are left out: Outlook and iCalendar treat them differently.
        pattern.update({"type": pattern["type"].replace("ly", "Nth"), "days": [day],
                        "instance": 5 if last else week})
    pattern.setdefault("instance", 0)
    pattern["dayOfMonth"] = local.day
    pattern["month"] = local.month
    return pattern


def export_dates(pattern, local_start, occurrences, to_utc):
    """Start and end dates as exports write them: local midnight, in UTC. A numbered pattern
    ends on its last occurrence."""
    def midnight(day):
        return iso(to_utc(datetime.datetime.combine(day, datetime.time())))
    pattern["startDateUtc"] = midnight(local_start.date())
    end = None
    if pattern["endDate"]:
        end = datetime.datetime.strptime(pattern["endDate"], "%Y-%m-%d").date()
    elif pattern["count"] and len(occurrences) == pattern["count"]:
        last = occurrences[-1]
        end = last.date() if isinstance(last, datetime.datetime) else last
    pattern["endDateUtc"] = midnight(end) if end else None


def event_extras(number, start, zone):
    """Private, all-day, categories and recurrence of event number, which starts at start (UTC) in
    zone (a row of EVENT_ZONES, or an older export's zone name); occurrences in local time."""
    iana = zone["iana"] if isinstance(zone, dict) else None
    to_local = (lambda moment: utc_to_local(moment, iana)) if iana else (lambda moment: moment + zone_offset(zone))
    to_utc = (lambda moment: local_to_utc(moment, iana)) if iana else (lambda moment: moment - zone_offset(zone))
    local = to_local(start)
    kind = number % 5
    variant = number // 5
    extras = {"private": kind == 1, "allDay": kind == 3, "recurrence": None, "occurrences": [],
              "categories": [CATEGORIES[number % len(CATEGORIES)][0]] if kind != 2 else []}
    if kind == 3:
        # Exports keep an all-day event as local midnight to local midnight, in UTC.
        day = local.date()
        extras["allDayStart"] = to_utc(datetime.datetime.combine(day, datetime.time()))
        extras["allDayEnd"] = to_utc(datetime.datetime.combine(day + datetime.timedelta(days=1), datetime.time()))
        extras["startDate"] = day.strftime("%Y%m%d")
        extras["endDate"] = (day + datetime.timedelta(days=1)).strftime("%Y%m%d")
        if variant % 2 == 0 and iana:
            pattern = make_pattern("monthly", 2, local)
            occurrences = local_occurrences(pattern, datetime.datetime.combine(day, datetime.time()), None)
            export_dates(pattern, local, occurrences, to_utc)
            extras["recurrence"] = pattern
            extras["occurrences"] = [d.strftime("%Y%m%d") for d in occurrences]
        return extras
    if kind == 1 or not iana:
        return extras
    pattern = make_pattern({0: "weekly", 2: "daily", 4: "monthly"}[kind], variant, local)
    occurrences = local_occurrences(pattern, local, iana)
    export_dates(pattern, local, occurrences, to_utc)
    extras["recurrence"] = pattern
    extras["occurrences"] = [moment.strftime("%Y%m%dT%H%M%S") for moment in occurrences]
    return extras


def task_extras(number, due_day, zone):
    """Completion, categories and recurrence of task number. A task's dates are days: exports
    write their local midnight in zone, in UTC, and its pattern falls on local days. A repeating
    task has only a due date."""
    due = local_to_utc(datetime.datetime.combine(due_day, datetime.time()), zone)
    completed = due + datetime.timedelta(hours=15)
    extras = {"complete": number % 3 == 1, "completedIso": iso(completed), "completed": None,
              "categories": [CATEGORIES[number % len(CATEGORIES)][0]] if number % 2 == 0 else [],
              "recurrence": None, "occurrences": []}
    if extras["complete"]:
        extras["completed"] = completed.strftime("%Y%m%dT%H%M%SZ")
    if number % 5 == 2:
        local_due = datetime.datetime.combine(due_day, datetime.time())
        pattern = make_pattern(["daily", "weekly", "monthly"][number // 5 % 3], number // 15, local_due)
        occurrences = local_occurrences(pattern, local_due, None)
        export_dates(pattern, local_due, occurrences, lambda moment: local_to_utc(moment, zone))
        extras["recurrence"] = pattern
        extras["occurrences"] = [day.strftime("%Y%m%d") for day in occurrences]
    return extras


def plain_body(escaped_html):
    """The text of an escaped HTML body, a paragraph a line, escaped as element text."""
    html = escaped_html.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")
    paragraphs = re.findall(r"<p>(.*?)</p>", html)
    text = "\r\n".join(p.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&") for p in paragraphs)
    return text_escape(text)


# Senders link to web pages and addresses; a preview must never follow such a link by itself.
LINK_PARAGRAPH = ('<p>The agenda is at <a href="https://www.example.com/agenda?id=7&amp;lang=en">our site</a>; '
                  'questions to <a href="mailto:office@example.com">the office</a>.</p>')


def html_body(content, greeting, count, declaration=UTF8_DECLARATION, with_links=False):
    paragraphs = "".join("<p>%s</p>" % markup_escape(content.rng.choice(SENTENCES)) for _ in range(count))
    if with_links:
        paragraphs += LINK_PARAGRAPH
    html = ('<html><head>%s</head><body><p>Hello %s,</p>%s'
            '<p>Terms &amp; conditions apply.</p></body></html>' % (declaration, markup_escape(greeting), paragraphs))
    return markup_escape(html)


# ----------------------------------------------------------------------------
# The whole export


class Export:
    def __init__(self, args, out):
        self.args = args
        self.content = Content(args.seed)
        # Values of contacts, events, tasks and notes beyond the first draw come from
        # a stream of their own, so the mails stay as they were.
        self.pim_rng = random.Random("%s-pim" % args.seed)
        garbage = random.Random("%s-garbage" % args.seed) if args.garbage_between else None
        self.writer = ContainerWriter(out, garbage)
        self.mails = []
        self.contacts = []
        self.calendars = []
        self.tasks = []
        self.notes = []
        self.groups = []
        self.empty_folders = []
        self.message_number = 0
        self.blob_number = 0
        self.folder_counts = {}  # messages written per folder, for the message_NNNNN names
        self.pool = RandomPool(args.seed) if args.realistic else None

    # -- documents --------------------------------------------------------

    def document(self, name, kind, count, items):
        stream = DocumentStream(kind, count, items)
        entry = self.writer.file(name, stream.chunks(), kind)
        entry["root"] = stream.root_at
        entry["rootEnd"] = stream.root_end
        entry["startTag"] = stream.start_tag()
        entry["itemEnds"] = stream.item_ends
        return entry

    def write(self):
        w = self.writer
        w.directory("Accounts/")
        w.file("Categories.xml", [self.categories_xml()], "categories")
        w.directory("Accounts/")
        w.directory("Local/")
        w.directory("Local/Address Book/")
        self.write_contacts()
        w.file("Local/Address Book/Groups.xml", [self.groups_xml()], "attachment")
        w.directory("Accounts/")
        self.write_calendar()
        w.directory("Local/Tasks/")
        self.write_tasks()
        w.directory("Local/Notes/")
        self.write_notes()
        self.write_mails()
        w.finish(central_directory=not self.args.no_central_directory)

    def categories_xml(self):
        body = "".join("<category%s%s></category>" % (PRESERVE, attributes([("OPFCategoryCopyBackgroundColor", c),
                                                                            ("OPFCategoryCopyName", n)]))
                       for n, c in CATEGORIES)
        return (XML_DECLARATION + ('<categories%s elementCount="%d">%s</categories>'
                                   % (PRESERVE, len(CATEGORIES), body)).encode())

    def groups_xml(self):
        """Two groups, as exports seen hold: members among the contacts (one written in other
        case) and one outside them. Where a group keeps its members is not known from genuine
        exports; here an address list like a mail's."""
        emails = [contact["emails"][0] for contact in self.contacts]
        outside = ("outside@partner.example", "Partner Desk")
        self.groups = [{"name": "Team", "members": [(a, a) for a in emails[:3]] + [outside]},
                       {"name": "Família & amigos", "members": [(a.upper(), a) for a in emails[2:3]]
                        + [(a, a) for a in emails[3:5]]}]
        body = "".join("<group%s>%s%s</group>" % (PRESERVE, element("OPFGroupCopyName", text_escape(group["name"])),
                                                   element("OPFGroupCopyMemberList", "".join(
                                                       email_address(a, n) for a, n in group["members"])))
                       for group in self.groups)
        for group in self.groups:
            group["members"] = [address for address, _ in group["members"]]
        return XML_DECLARATION + ('<groups%s elementCount="%d">%s</groups>'
                                  % (PRESERVE, len(self.groups), body)).encode()

    def write_contacts(self):
        count = max(self.args.contacts, 5000) if self.args.large_contacts else self.args.contacts
        if count == 0:
            return
        rng = self.content.rng
        records = []

        def items():
            for number in range(count):
                first, last, address, company = PEOPLE[number % len(PEOPLE)]
                if number >= len(PEOPLE):
                    address = address.replace("@", ".%d@" % number)
                emails = [address] + (["%s.home@example.net" % address.split("@")[0]] if number % 3 == 0 else [])
                email_types = ["work", "home"][:len(emails)]
                if number % 6 == 0:
                    emails.append("%s@other.example.org" % address.split("@")[0])
                    email_types.append("other")
                birthday = datetime.datetime(1950 + rng.randint(0, 50), rng.randint(1, 12), rng.randint(1, 28))
                picture = ""
                if self.args.large_contacts or number % 5 == 1:
                    size = rng.randint(8 << 10, 24 << 10) if self.args.large_contacts else 600
                    picture = base64.b64encode(b"\xff\xd8\xff\xe0" + rng.randbytes(size)).decode()
                note_lines = ["Met at the %s fair, hall %d; booth 12." % (rng.choice(["spring", "autumn"]), number),
                              "Call back & send the <catalogue>."]
                notes = text_escape("\n".join(note_lines))
                zone = self.pim_rng.choice(BIRTHDAY_ZONES)
                extras = self.contact_extras(number, zone)
                contact = {"firstName": first, "lastName": last, "displayName": "%s %s" % (first, last),
                           "emails": emails, "emailTypes": email_types, "company": company,
                           "middleName": MIDDLE_NAMES[number % len(MIDDLE_NAMES)] if number % 4 == 2 else "",
                           "birthdayIso": iso(birthday - datetime.timedelta(hours=zone)),
                           "birthday": birthday.strftime("%Y-%m-%d"),
                           "categories": rng.sample(CATEGORIES, rng.randint(0, 3)),
                           "children": CHILDREN[:number % 3], "notesXml": notes,
                           "notesHtmlXml": markup_escape(html_document(note_lines)),
                           "notes": "\n".join(note_lines),
                           "notesSize": len(notes.encode()), "pictureXml": picture,
                           "pictureSize": len(picture),
                           "department": DEPARTMENTS[number % len(DEPARTMENTS)],
                           "spouse": SPOUSES[number % len(SPOUSES)],
                           "workStreet": "1-2-3 Example Street\nBuilding 4", "homeStreet": "9 Home Road\nFlat 2"}
                contact.update(extras)
                item = contact_item(contact)
                for key in ("notesXml", "notesHtmlXml", "pictureXml", "birthdayIso", "anniversaryIso",
                            "customDatesIso", "internalValues"):
                    contact.pop(key)
                contact["categories"] = [name for name, _ in contact["categories"]]
                records.append(contact)
                yield item

        entry = self.document("Local/Address Book/Contacts.xml", "contacts", count, items())
        self.attach_items(entry, records, self.contacts)

    def contact_extras(self, number, zone):
        """Every other field a full contact holds; every second contact is full, and one
        contact in four has three phones reading the same number, as real ones may."""
        rng = self.pim_rng
        full = number % 2 == 0

        def day(year):
            return datetime.datetime(year, rng.randint(1, 12), rng.randint(1, 28))

        phones = {"work": "+1 555 0100", "work2": "+1 555 0101", "home": "+1 555 0199", "mobile": "+1 555 0123"}
        addresses = {"work": {"street": "1-2-3 Example Street\nBuilding 4", "city": "Springfield", "zip": "12345"},
                     "home": {"street": "9 Home Road\nFlat 2"}}
        extras = {"jobTitle": "Manager", "nickName": "", "namePrefix": "", "nameSuffix": "", "office": "",
                  "interests": "", "webPages": {}, "customData": {}, "customDatesIso": {}, "customDates": {},
                  "anniversaryIso": "", "anniversary": ""}
        if full:
            for index, (kind, _) in enumerate(CONTACT_PHONES):
                phones[kind] = "+%d 555 %04d" % (1 + number % 40, 200 + index)
            if number % 4 == 0:
                phones["home"] = phones["work"] = phones["mobile"] = "777"
            addresses["work"].update({"state": "IL", "country": "United States"})
            addresses["home"].update({"city": "札幌市", "state": "北海道", "zip": "060-0001", "country": "日本"})
            addresses["other"] = {"street": "PO Box 17, Dock 3", "city": "Aegina", "state": "Attica",
                                  "zip": "180 10", "country": "Ελλάδα"}
            anniversary = day(1990 + number % 20)
            extras.update({
                "nickName": NICKNAMES[number % len(NICKNAMES)],
                "namePrefix": NAME_PREFIXES[number % len(NAME_PREFIXES)],
                "nameSuffix": NAME_SUFFIXES[number % len(NAME_SUFFIXES)],
                "office": OFFICES[number % len(OFFICES)],
                "interests": INTERESTS[number % len(INTERESTS)],
                "webPages": {"work": "https://www.example.com/~staff/%d" % number,
                             "home": "http://home.example.net/p?id=%d&lang=ja" % number},
                "customData": {str(n): "%s (%d)" % (CUSTOM_VALUES[n - 1], number) for n in range(1, 9)},
                "anniversaryIso": iso(anniversary - datetime.timedelta(hours=zone)),
                "anniversary": anniversary.strftime("%Y-%m-%d")})
            for n in ("1", "2"):
                moment = day(2000 + number % 10)
                extras["customDatesIso"][n] = iso(moment - datetime.timedelta(hours=zone))
                extras["customDates"][n] = moment.strftime("%Y-%m-%d")
        extras["phones"] = phones
        extras["addresses"] = addresses
        # The exporting program's own flags and defaults stand in every contact; values
        # vCard has no property for in full ones, a follow-up flag with its dates in some.
        extras["modDate"] = iso(datetime.datetime(2018, 1, 1) + datetime.timedelta(minutes=number * 97))
        extras["internalValues"] = {"OPFContactCanDelete": "1E0", "OPFContactCanEdit": "1E0",
                                    "OPFContactIsJapaneseContact": "0E0", "OPFContactType": "0E0"}
        extras["otherValues"] = {}
        if full:
            extras["otherValues"] = {"OPFContactCopyAstrologySign": ASTROLOGY_SIGNS[number % len(ASTROLOGY_SIGNS)],
                                     "OPFContactCopyBloodType": ["A", "B", "AB", "O"][number % 4]}
        if number % 3 == 0:
            extras["otherValues"].update({"OPFContactGetFlagStatus": "1E0",
                                          "OPFContactCopyFollowUpStartDate": iso(datetime.datetime(2018, 6, 20, 6)),
                                          "OPFContactCopyFollowUpDueDate": iso(datetime.datetime(2018, 6, 27, 6))})
        else:
            extras["internalValues"]["OPFContactGetFlagStatus"] = "0E0"
        return extras

    def write_calendar(self):
        rng = self.content.rng
        count = self.args.events
        if count == 0:
            return
        self.writer.directory("Local/Calendar/")
        # Event attachments stand before the first message like any other non-document file.
        for number in range(min(count, 2)):
            self.writer.file("Local/Calendar/%s/%d_0000" % (ATTACHMENTS_DIR, 9000 + number),
                             [("Agenda %d\r\n" % number).encode()], "attachment")
        records = []
        items = []
        for number in range(count):
            start = self.content.moment().replace(second=0)
            end = start + datetime.timedelta(minutes=rng.choice([30, 60, 90]))
            # Private events come from older exports, which name the zone only; the rest carry its rules.
            zone = OLD_ZONES[number // 5 % len(OLD_ZONES)] if number % 5 == 1 else EVENT_ZONES[number % len(EVENT_ZONES)]
            if isinstance(zone, dict) and utc_to_local(start, zone["iana"]).hour < 4:
                # Not in the small hours, which daylight-saving changes skip or repeat.
                start, end = start + datetime.timedelta(hours=6), end + datetime.timedelta(hours=6)
            extras = event_extras(number, start, zone)
            if extras["allDay"]:
                start, end = extras.pop("allDayStart"), extras.pop("allDayEnd")
            entries = []
            for person in rng.sample(PEOPLE, rng.randint(1, 3)):
                entries.append((person[2], person[0]))
            summary = EVENT_SUMMARIES[number % len(EVENT_SUMMARIES)]
            location = rng.choice(LOCATIONS)
            digits = "%032X" % rng.getrandbits(128)
            uuid = "-".join((digits[:8], digits[8:12], digits[12:16], digits[16:20], digits[20:]))
            if number % 3 == 1:
                summary = PUNCTUATED_SUMMARIES[number % len(PUNCTUATED_SUMMARIES)]
                location = PUNCTUATED_LOCATIONS[number % len(PUNCTUATED_LOCATIONS)]
            modified = start - datetime.timedelta(days=self.pim_rng.randint(1, 30), minutes=self.pim_rng.randint(0, 600))
            description = ["Agenda: budget, hiring; travel.", "Notes & actions for %s" % iso(start)]
            event = {"summary": summary, "location": location, "startIso": iso(start), "endIso": iso(end),
                     "start": start.strftime("%Y%m%dT%H%M%S"), "end": end.strftime("%Y%m%dT%H%M%S"),
                     "zone": zone["name"] if isinstance(zone, dict) else zone,
                     "zoneDatabase": zone["database"] if isinstance(zone, dict) else None,
                     "zoneIana": zone["iana"] if isinstance(zone, dict) else None, "organizer": PEOPLE[0][2],
                     "attendeeEntries": entries, "attendees": [a for a, _ in entries],
                     "attendeeNames": [n for _, n in entries], "uuid": uuid,
                     "modifiedIso": iso(modified), "modified": modified.strftime("%Y%m%dT%H%M%S"),
                     "reminderSeconds": REMINDER_SECONDS[number % len(REMINDER_SECONDS)],
                     "description": "\n".join(description),
                     "descriptionXml": text_escape("\n".join(description)),
                     "descriptionHtmlXml": markup_escape(html_document(description))}
            event.update(extras)
            self.lengthen("calendars", number, event)
            items.append(event_item(event))
            for key in ("attendeeEntries", "descriptionXml", "descriptionHtmlXml", "startIso", "endIso",
                        "modifiedIso"):
                event.pop(key)
            records.append(event)
        entry = self.document("Local/Calendar/Calendar.xml", "calendars", count, items)
        self.attach_items(entry, records, self.calendars)

    def write_tasks(self):
        rng = self.content.rng
        records = []
        items = []
        for number in range(self.args.tasks):
            # Days, written as their local midnight in the task's zone, in UTC.
            zone = TASK_ZONES[number % len(TASK_ZONES)]
            start_day = self.content.moment().date()
            due_day = start_day + datetime.timedelta(days=rng.randint(1, 30))
            start = local_to_utc(datetime.datetime.combine(start_day, datetime.time()), zone)
            due = local_to_utc(datetime.datetime.combine(due_day, datetime.time()), zone)
            note_lines = ["Remember: bring the receipts & forms,", "then file them; task %d." % number]
            note = markup_escape(html_document(note_lines))
            reminder = start - datetime.timedelta(hours=1)
            modified = start - datetime.timedelta(days=self.pim_rng.randint(1, 30), minutes=self.pim_rng.randint(0, 600))
            repeats = number % 5 == 2
            task = {"name": TASK_NAMES[number % len(TASK_NAMES)], "startIso": None if repeats else iso(start),
                    "dueIso": iso(due), "start": "" if repeats else start.strftime("%Y%m%dT%H%M%S"),
                    "due": due.strftime("%Y%m%dT%H%M%S"), "zoneIana": zone, "allDay": True,
                    "startDay": "" if repeats else start_day.strftime("%Y%m%d"), "dueDay": due_day.strftime("%Y%m%d"),
                    "priority": rng.choice(["2", "3", "4"]), "noteXml": note, "noteSize": len(note.encode()),
                    "notePlainXml": text_escape("\n".join(note_lines)), "note": "\n".join(note_lines),
                    "reminderIso": iso(reminder), "reminder": reminder.strftime("%Y%m%dT%H%M%S"),
                    "modifiedIso": iso(modified), "modified": modified.strftime("%Y%m%dT%H%M%S")}
            task.update(task_extras(number, due_day, zone))
            self.lengthen("tasks", number, task)
            items.append(task_item(task))
            for key in ("startIso", "dueIso", "noteXml", "notePlainXml", "reminderIso", "modifiedIso", "completedIso"):
                task.pop(key)
            records.append(task)
        if items:
            entry = self.document("Local/Tasks/Tasks.xml", "tasks", len(items), items)
            self.attach_items(entry, records, self.tasks)

    def write_notes(self):
        rng = self.content.rng
        records = []
        items = []
        for number in range(self.args.notes):
            lines = rng.sample(SENTENCES, 3)
            text = markup_escape(html_document(lines))
            modified = self.content.moment()
            # Some notes carry no plain text: the HTML is all there is.
            plain = text_escape("\n".join(lines)) if number % 2 == 0 else None
            note = {"title": NOTE_TITLES[number % len(NOTE_TITLES)], "textXml": text, "plainXml": plain,
                    "textSize": len(text.encode()), "modIso": iso(modified),
                    "modified": modified.strftime("%Y%m%dT%H%M%S"), "text": "\n".join(lines)}
            self.lengthen("notes", number, note)
            items.append(note_item(note))
            for key in ("textXml", "plainXml", "modIso"):
                note.pop(key)
            records.append(note)
        if items:
            entry = self.document("Local/Notes/Notes.xml", "notes", len(items), items)
            self.attach_items(entry, records, self.notes)

    def lengthen(self, kind, number, record):
        """--long-values: the first item of each kind gets a name longer than the bundle's
        record field holds (1,023 bytes for a subject, 255 for the others), the second
        mail a To list and the second event an attendee list longer than theirs. The
        record lists the fields ("tooLong") for the account of losses."""
        if not self.args.long_values:
            return
        name_key, element, width = LONG_NAMES[kind]
        too_long = []
        if number == 0:
            piece = record[name_key] + " \u2013 Jahresplanung f\u00fcr Z\u00fcrich; "
            record[name_key] = (piece * (width // len(piece.encode()) + 2)).strip()
            too_long.append(element)
        elif number == 1 and kind == "mail":
            record["toEntries"] = [("reader%03d@example.com" % n, None) for n in range(120)]
            record["to"] = [address for address, _ in record["toEntries"]]
            too_long.append("OPFMessageCopyToAddresses")
        elif number == 1 and kind == "calendars":
            record["attendeeEntries"] = [(person[2], person[0]) for person in PEOPLE]
            record["attendees"] = [address for address, _ in record["attendeeEntries"]]
            record["attendeeNames"] = [name for _, name in record["attendeeEntries"]]
            too_long.append("OPFCalendarEventCopyAttendeeList")
        if too_long:
            record["tooLong"] = too_long

    @staticmethod
    def attach_items(entry, records, target):
        for index, record in enumerate(records):
            record["item"] = index
        entry["records"] = records
        target.extend(records)

    # -- mails ------------------------------------------------------------

    def new_mail(self, folder, attachment_kinds, attachment_size, store=STORE, body_size=None):
        """attachment_size is one size for all attachments or a list of one per attachment;
        body_size asks for a realistic body of about that many bytes."""
        c = self.content
        rng = c.rng
        number = self.message_number
        self.message_number += 1
        sender = c.person()
        recipients = rng.sample(PEOPLE, rng.randint(1, 3))
        outgoing = folder in ("Sent Items", "Drafts")
        received = c.moment()
        sent = None
        if folder == "Sent Items" or (folder != "Drafts" and rng.random() < 0.7):
            sent = received - datetime.timedelta(seconds=rng.randint(5, 600))
        subject = SUBJECTS[number % len(SUBJECTS)]
        to_entries = []
        for index, person in enumerate(recipients):
            # Display names, the address again as name, or no name attribute at all.
            to_entries.append((person[2], [person[0] + " " + person[1], person[2], None][index % 3]))
        if body_size:
            body = realistic_html_body(rng, recipients[0][0], body_size)
        else:
            body = html_body(c, recipients[0][0], rng.randint(1, 4),
                             SENDERS_DECLARATION if number % 3 == 1 else UTF8_DECLARATION,
                             with_links=self.args.links and number % 4 != 2)
        html = body
        if number % 4 == 2:
            # Some mails keep a plain-text body with the HTML one beside it.
            body = plain_body(body)
        bare_id = c.message_id(number)
        # Exports write identifiers bare; a few escape both brackets.
        message_id_xml = markup_escape("<%s>" % bare_id) if number % 5 == 4 else bare_id
        unusable_id = None
        if self.args.without_message_ids and number % 5 == 2:
            # Mails some senders write: an empty identifier, a blank one, or none at all.
            unusable_id = UNUSABLE_MESSAGE_IDS[(number // 5) % len(UNUSABLE_MESSAGE_IDS)]
            message_id_xml = None if unusable_id is None else markup_escape(unusable_id)
        # Drafts may have no sender at all.
        senderless = folder == "Drafts" and number % 2 == 0
        mail = {"subject": subject, "from": None if senderless else sender[2],
                "fromName": None if senderless else "%s %s" % (sender[0], sender[1]),
                "toEntries": to_entries, "to": [a for a, _ in to_entries],
                "cc": [p[2] for p in rng.sample(PEOPLE, rng.randint(0, 2))],
                "bcc": [PEOPLE[-1][2]] if outgoing and number % 2 else [],
                "sent": iso(sent) if sent else None, "received": iso(received),
                "messageId": "<%s>" % bare_id if message_id_xml is not None and unusable_id is None else None,
                "messageIdXml": message_id_xml,
                "inReplyTo": "<%s>" % c.message_id(number + 100000) if subject.startswith("Re:") else None,
                "outgoing": outgoing, "read": number % 3 != 1, "flagged": number % 4 == 3,
                "priority": MAIL_PRIORITIES[number % len(MAIL_PRIORITIES)],
                "categories": MAIL_CATEGORIES[number % 5:number % 5 + number % 3], "bodyXml": body, "bodySize": len(body.encode()),
                "htmlBody": number % 4 in (0, 2), "htmlBodyXml": html, "attachments": [],
                "generatedFolder": "%s/%s" % (store, folder)}
        folder_entry = "%s/%s/%s" % (MESSAGES_ROOT, store, folder)
        attachment_id = 100000 + number
        for index, kind in enumerate(attachment_kinds):
            name = rng.choice(ATTACHMENT_NAMES[kind])
            url = "%s/%s/%d_%04d" % (folder_entry, ATTACHMENTS_DIR, attachment_id, index)
            blob_rng = random.Random("%s-blob-%d" % (c.seed, self.blob_number))
            if isinstance(attachment_size, list):
                content = realistic_attachment(self.pool, blob_rng, kind, attachment_size[index], SENTENCES)
            else:
                content = attachment_content(blob_rng, kind, attachment_size, SENTENCES)
            self.blob_number += 1
            entry = self.writer.file(url, content, "attachment", with_sha256=True)
            mail["attachments"].append({"name": name, "url": url, "size": entry["size"], "sha256": entry["sha256"],
                                        "contentType": CONTENT_TYPES[kind],
                                        "contentId": "image%03d.png@01CBF2A1.5E8F7D30" % index
                                        if kind == "png" else None})
        self.lengthen("mail", number, mail)
        entry = self.document("%s/message_%05d.xml" % (folder_entry, self.folder_counts.get(folder_entry, 0)),
                              "mail", 1, [mail_item(mail)])
        self.folder_counts[folder_entry] = self.folder_counts.get(folder_entry, 0) + 1
        for key in ("toEntries", "bodyXml", "htmlBody", "htmlBodyXml", "inReplyTo", "bcc", "messageIdXml"):
            mail.pop(key)
        for attachment in mail["attachments"]:
            attachment.pop("contentId")
        mail["item"] = 0
        mail["entry"] = entry["name"]
        entry["records"] = [mail]
        self.mails.append(mail)

    def write_realistic_mails(self):
        """Mails spread over the folders of several stores, bodies of 2 to 50 KB, one
        mail in four with one to three attachments of 10 KB to 2 MB."""
        rng = self.content.rng
        self.writer.directory(MESSAGES_ROOT + "/")
        folders = realistic_folders()
        plan = {folder: [] for folder in folders}
        for _ in range(self.args.mails):
            attachments = []
            if rng.random() < REALISTIC_ATTACHED_SHARE:
                for _ in range(rng.randint(*REALISTIC_ATTACHMENTS_PER_MAIL)):
                    attachments.append((rng.choice(REALISTIC_KINDS), log_uniform(rng, *REALISTIC_ATTACHMENT_SIZE, REALISTIC_ATTACHMENT_SKEW)))
            plan[rng.choice(folders)].append((attachments, log_uniform(rng, *REALISTIC_BODY_SIZE)))
        for store, folder in folders:
            entry = self.writer.directory("%s/%s/%s/" % (MESSAGES_ROOT, store, folder))
            # Many folders hold no mail; those without subfolders arrive as empty mailboxes.
            if not plan[(store, folder)] and not any(s == store and f.startswith(folder + "/") for s, f in folders):
                self.empty_folders.append({"folder": "%s/%s" % (store, folder), "entry": entry["name"]})
            for attachments, body_size in plan[(store, folder)]:
                self.new_mail(folder, [kind for kind, _ in attachments], [size for _, size in attachments],
                              store=store, body_size=body_size)

    def write_mails(self):
        args = self.args
        rng = self.content.rng
        if args.realistic:
            self.write_realistic_mails()
            return
        self.writer.directory(MESSAGES_ROOT + "/")
        plan = {folder: [] for folder in MAIL_FOLDERS}
        kinds = ["docx", "zip", "txt", "pdf", "png", "jpg", "xlsx"]
        for number in range(args.mails):
            folder = MAIL_FOLDERS[number % len(MAIL_FOLDERS)]
            # The first mails carry one attachment of every kind, so small files hold them all.
            if number < len(kinds):
                attachments = [kinds[number]] + (["txt"] if number % 2 else [])
            else:
                attachments = rng.sample(kinds, rng.choice([0, 0, 1, 2]))
            plan[folder].append(attachments)
        for folder in MAIL_FOLDERS:
            if not plan[folder]:
                continue
            self.writer.directory("%s/%s/%s/" % (MESSAGES_ROOT, STORE, folder))
            for attachments in plan[folder]:
                self.new_mail(folder, attachments, args.attachment_size)
        for folder in EMPTY_MAIL_FOLDERS:
            entry = self.writer.directory("%s/%s/%s/" % (MESSAGES_ROOT, STORE, folder))
            self.empty_folders.append({"folder": "%s/%s" % (STORE, folder), "entry": entry["name"]})
        if args.size and self.writer.out.tell() < args.size:
            self.writer.directory("%s/%s/%s/" % (MESSAGES_ROOT, STORE, BULK_FOLDER))
            while self.writer.out.tell() < args.size:
                self.new_mail(BULK_FOLDER, [rng.choice(["pdf", "jpg"])], args.large_attachment_size)
                for _ in range(SMALL_MAILS_PER_LARGE):
                    self.new_mail(BULK_FOLDER, [], args.attachment_size)


# ----------------------------------------------------------------------------
# Damage and what survives it


def apply_damage(args, out, entries):
    rng = random.Random("%s-damage" % args.seed)
    for entry in entries:
        entry["wiped"] = False
        entry["zeroCrc"] = False
    damaged = insert_garbage_inside(args, out, entries, rng)
    if args.wipe_headers:
        # The first header stays: without it the file is refused before any scan.
        eligible = entries[1:]
        chosen = eligible if args.wipe_headers == "all" else rng.sample(
            eligible, round(float(args.wipe_headers) * len(eligible)))
        for entry in chosen:
            out.seek(entry["header"])
            out.write(b"\0\0\0\0")
            entry["wiped"] = True
            damaged.append((entry["header"], 4))
    if args.zero_crc:
        eligible = [e for e in entries if e["crc"] != 0]
        for entry in rng.sample(eligible, round(args.zero_crc * len(eligible))):
            out.seek(entry["header"] + 14)
            out.write(b"\0\0\0\0")
            entry["zeroCrc"] = True
            damaged.append((entry["header"] + 14, 4))
    damaged += drop_end_tags(args, out, entries, rng) + zero_fill(args, out, entries, rng)
    out.seek(0, 2)
    size = out.tell()
    if args.truncate is not None:
        size = args.truncate if args.truncate >= 0 else max(0, size + args.truncate)
        out.truncate(size)
    mark_intact(entries, damaged, size)
    return size


# Damage that the options above do not make, for the damage corpus. Each returns
# the (offset, length) stretches it changed.

def insert_garbage_inside(args, out, entries, rng):
    """Random bytes inserted inside the data of a fraction of the entries; sizes stay as they were."""
    if not args.garbage_inside:
        return []
    eligible = [e for e in entries if e["size"] > 1]
    chosen = sorted(rng.sample(eligible, round(args.garbage_inside * len(eligible))), key=lambda e: e["header"])
    out.seek(0)
    data = bytearray(out.read())
    damaged = []
    # From the back, so that earlier offsets stay valid while inserting.
    for entry in reversed(chosen):
        at = entry["data"] + rng.randrange(1, entry["size"])
        junk = rng.randbytes(rng.randint(1, 300)).translate(GARBAGE_TABLE)
        data[at:at] = junk
        for later in entries:
            if later["header"] > entry["header"]:
                later["header"] += len(junk)
                later["data"] += len(junk)
        damaged = [(start + len(junk) if start >= at else start, length) for start, length in damaged]
        damaged.append((at, len(junk)))
    out.seek(0)
    out.write(data)
    return damaged


def drop_end_tags(args, out, entries, rng):
    """One item end tag of a fraction of the documents overwritten with spaces."""
    if not args.drop_end_tags:
        return []
    eligible = [e for e in entries if e.get("itemEnds")]
    damaged = []
    for entry in rng.sample(eligible, round(args.drop_end_tags * len(eligible))):
        tag_length = len("</%s>" % DOCUMENT_TAGS[entry["kind"]][1])
        item_end = rng.choice(entry["itemEnds"])
        entry["droppedEnd"] = entry["itemEnds"].index(item_end)
        at = entry["data"] + item_end - tag_length
        out.seek(at)
        out.write(b" " * tag_length)
        damaged.append((at, tag_length))
    return damaged


def zero_fill(args, out, entries, rng):
    """Stretches of zero bytes (a disk's lost sectors), never over the first bytes of the file."""
    if not args.zero_fill:
        return []
    out.seek(0, 2)
    size = out.tell()
    damaged = []
    for _ in range(args.zero_fill):
        length = rng.randint(1, 4096)
        at = rng.randrange(8, max(9, size - length))
        out.seek(at)
        out.write(bytes(min(length, size - at)))
        damaged.append((at, length))
    return damaged


def mark_intact(entries, damaged, file_size):
    """An entry's data is intact when it is whole and untouched (its header may not be); so is every record in it."""
    # Sorted by start, only the stretches that begin near an entry can touch it:
    # every header wiped is one stretch per entry, too many to try them all.
    stretches = sorted(damaged)
    starts = [start for start, _ in stretches]
    longest = max((length for _, length in stretches), default=0)
    for entry in entries:
        end = entry["data"] + entry["size"]
        near = stretches[bisect.bisect_left(starts, entry["data"] - longest):bisect.bisect_left(starts, end)]
        entry["dataIntact"] = end <= file_size and not any(entry["data"] < start + length for start, length in near)
        for record in entry.get("records", []):
            record["inIntactDocument"] = entry["dataIntact"]


def message_folder(entry_path):
    """The folder a walk gives a message entry: components after Local/<x>/ or Accounts/<a>/<b>/."""
    parts = entry_path.split("/")
    if parts[0] == "Accounts":
        return "/".join(parts[3:-1])
    if parts[0] == "Local":
        return "/".join(parts[2:-1])
    return ""


# The element that names an item of each kind, and the width of the record field that keeps it.
LONG_NAMES = {"mail": ("subject", "OPFMessageCopySubject", 1024),
              "calendars": ("summary", "OPFCalendarEventCopySummary", 256),
              "tasks": ("name", "OPFTaskCopyName", 256), "notes": ("title", "OPFNoteCopyTitle", 256)}
LOSS_KIND = {"mail": "mail", "contacts": "contact", "calendars": "event", "tasks": "task", "notes": "note"}


def item_name(kind, record):
    """The item's name as the account of losses gives it."""
    if kind == "mail":
        return record["subject"]
    if kind == "contacts":
        return record.get("displayName") or ("%s %s" % (record["firstName"], record["lastName"])).strip()
    return record.get({"calendars": "summary", "tasks": "name", "notes": "title"}[kind], "")


def item_end_in_file(entry, index, file_size):
    """Whether the scan reads item index of the document whole. An item whose end tag
    was dropped is read up to the next item's start, which the next item's end tag must
    confirm, or, being the last, up to its document's end tag."""
    if index == entry.get("droppedEnd"):
        last = len(entry["itemEnds"]) - 1
        end = entry["size"] if index == last else entry["itemEnds"][index + 1]
        return entry["data"] + end <= file_size
    return entry["data"] + entry["itemEnds"][index] <= file_size


# How far before the place its size gives the scan looks for an attachment's header.
GAP_SEARCH = 4096


def attachments_found(mail_entry, urls, registered, by_name):
    """Which listed attachments a scan finds. All of them where the entries collected
    since the last list end with exactly the list; none where the list names only
    collected entries, but in another order. Otherwise each collected one, and each
    other one whose place its size and order give: from the end backwards, its data
    ends where the next one's header (or the mail's own) begins, or a little before."""
    if urls and registered[-len(urls):] == urls:
        return [True] * len(urls)
    if all(url in registered for url in urls):
        return [False] * len(urls)
    found = []
    end = mail_entry["header"]
    for url in reversed(urls):
        attachment = by_name[url]
        header_rest = LOCAL_FIXED + len(url.encode("utf-8")) + ZIP64_LOCAL_EXTRA
        if url in registered:
            found.append(True)
            end = attachment["header"]
        elif end is None or end - attachment["size"] < header_rest:
            found.append(False)
            end = None
        else:
            # Bytes between entries are looked past by the path in the attachment's header.
            gap = end - (attachment["data"] + attachment["size"])
            found.append(0 <= gap <= GAP_SEARCH)
            end = attachment["header"] if found[-1] else end - attachment["size"] - header_rest
    return found[::-1]


def folder_of_attachments(urls):
    """The folder a mail's attachment paths name, as the scan gives it to a mail found without its entry."""
    folders = {message_folder(url.rsplit("/", 2)[0] + "/x") for url in urls}
    return folders.pop() if len(folders) == 1 else ""


def is_mail_attachment(entry_path):
    """Whether the scan keeps an entry no mail takes in "Recovered attachments": a mail's
    attachment, not Groups.xml or an event's attachment."""
    parts = entry_path.split("/")
    if "com.microsoft.__Messages" not in parts or not parts[-1]:
        return False
    return "com.microsoft.__Attachments" in parts[parts.index("com.microsoft.__Messages") + 1:]


def recovered_name(entry_path):
    """The path a kept attachment is saved under in "Recovered attachments"."""
    parts = [p for p in entry_path.split("/") if p]
    parts = parts[parts.index("com.microsoft.__Messages") + 1:]
    return "/".join(p for p in parts if p != "com.microsoft.__Attachments")


def header_follows(entries, index, file_size, directory_usable):
    """Whether the next header (or the end of the file) stands right after the entry's data."""
    end = entries[index]["data"] + entries[index]["size"]
    if end == file_size:
        return True
    if index + 1 < len(entries):
        following = entries[index + 1]
        return following["header"] == end and not following["wiped"]
    return directory_usable and end == entries[index].get("directoryStart")


def walked_entry(entries, index, file_size, directory_usable):
    """Whether the walk reads the entry by its name, sizes and folder: its local header is
    sound, or damaged but named by the central directory, whose record the bytes confirm
    (the next header follows the data, or the data's checksum matches)."""
    entry = entries[index]
    end = entry["data"] + entry["size"]
    if end > file_size:
        return False
    confirmed = entry["dataIntact"] or header_follows(entries, index, file_size, directory_usable)
    if entry["wiped"]:
        return directory_usable and confirmed
    if entry["zeroCrc"]:
        return (directory_usable and confirmed) or header_follows(entries, index, file_size, directory_usable)
    return True


def cut_entry(entry, file_size):
    """The file ends inside the entry's data, after its header was read whole."""
    return not entry["wiped"] and entry["data"] <= file_size < entry["data"] + entry["size"]


def expected_scan(entries, file_size, directory_usable=False):
    """What a sound scan recovers from the (possibly damaged) file, entry by entry, and
    the losses it can tell: items of a document it found that the damage took (a
    document wholly past a cut leaves no trace), mails found without their folder,
    attachments a surviving mail lists that its scan cannot attach, checksums read
    past, and the entry the file ends inside. directory_usable: the central directory
    survives whole, with the offsets it was written with."""
    if file_size < 5:
        return {"refused": True}
    losses = []
    documents = {key: 0 for key in KINDS + ["attachments"]}
    registered = []  # attachment entries waiting for the next mail with an attachment list
    by_name = {entry["name"]: entry for entry in entries}
    recovered = []  # the entries no mail takes, kept in "Recovered attachments"

    def keep_unclaimed(names):
        for name in names:
            if is_mail_attachment(name):
                recovered.append(name)
                losses.append({"reason": "recovered-with-doubt", "kind": "attachment", "item": recovered_name(name)})

    for index, entry in enumerate(entries):
        kind = entry["kind"]
        cut = cut_entry(entry, file_size)
        walked = walked_entry(entries, index, file_size, directory_usable) or cut
        for record in entry.get("records", []):
            record["survives"] = False
        loss_kind = "attachment" if kind == "attachment" else "document"
        if cut:
            losses.append({"reason": "file-cut", "kind": loss_kind, "item": entry["name"]})
        elif not entry["wiped"] and entry["header"] + 4 <= file_size < entry["data"]:
            losses.append({"reason": "file-cut", "kind": "", "item": ""})
        elif walked and entry["zeroCrc"] and entry["size"] > 0:
            losses.append({"reason": "checksum-mismatch", "kind": loss_kind, "item": entry["name"]})
        if kind in ("directory", "categories"):
            continue
        if kind == "attachment":
            if walked:
                registered.append(entry["name"])
                documents["attachments"] += 1
            continue
        if not walked and entry["data"] + entry["root"] + len(entry["startTag"]) > file_size:
            continue
        documents[DOCUMENT_COUNT_KEY[kind]] += 1
        # The document's own count of its items is read from its root's start tag.
        counted = walked or entry["data"] + entry["rootEnd"] <= file_size
        for record in entry["records"]:
            record["survives"] = item_end_in_file(entry, record["item"], file_size)
            if not record["survives"]:
                if counted:
                    losses.append({"reason": "item-cut-by-damage", "kind": LOSS_KIND[kind],
                                   "item": item_name(kind, record)})
                continue
            if record["item"] == entry.get("droppedEnd"):
                losses.append({"reason": "recovered-with-doubt", "kind": LOSS_KIND[kind],
                               "item": item_name(kind, record)})
            losses.extend({"reason": "value-too-long", "kind": LOSS_KIND[kind], "item": item_name(kind, record),
                           "field": field} for field in record.get("tooLong", []))
            if kind != "mail":
                continue
            urls = [a["url"] for a in record["attachments"]]
            # A mail not walked takes its folder from the path that still stands in its damaged
            # header (damage here leaves those bytes), or else from its attachments' paths.
            record["scanFolder"] = message_folder(entry["name"]) or ("" if walked else folder_of_attachments(urls))
            if not walked:
                losses.append({"reason": "recovered-with-doubt" if record["scanFolder"] else "folder-path-lost",
                               "kind": "mail", "item": record["subject"]})
            if urls:
                # Stray entries before the mail's own (Groups.xml, event attachments) are dropped.
                found = attachments_found(entry, urls, registered, by_name)
                for attachment, is_found in zip(record["attachments"], found):
                    attachment["found"] = is_found
                    if not is_found:
                        losses.append({"reason": "attachment-missing", "kind": "attachment", "item": attachment["name"]})
                    elif attachment["url"] not in registered:
                        losses.append({"reason": "recovered-with-doubt", "kind": "attachment",
                                       "item": attachment["name"]})
                claimed = {url for url, is_found in zip(urls, found) if is_found}
                keep_unclaimed([name for name in registered if name not in claimed])
                registered = []
            record["attachmentsKept"] = all(a["found"] for a in record["attachments"])
    keep_unclaimed(registered)
    counts = {}
    for key in KINDS:
        counts[key] = 0
    folders = {}
    for entry in entries:
        for record in entry.get("records", []):
            if not record["survives"]:
                continue
            key = DOCUMENT_COUNT_KEY[entry["kind"]]
            counts[key] += 1
            if key == "mails":
                folder = record["scanFolder"] or "Folder1"
                folders[folder] = folders.get(folder, 0) + 1
    # The directory of a mail folder keeps the folder, mail or none, where the walk reads it:
    # by its own header, or by the central directory where that was wiped.
    for index, entry in enumerate(entries):
        name = entry["name"]
        if (entry["kind"] == "directory" and walked_entry(entries, index, file_size, directory_usable)
                and "/com.microsoft.__Messages/" in name and ATTACHMENTS_DIR not in name and message_folder(name)):
            folders.setdefault(message_folder(name), 0)
    return {"refused": False, "counts": counts, "documents": documents, "mailFolders": folders, "losses": losses,
            "recoveredAttachments": recovered}


# ----------------------------------------------------------------------------
# Command line


def byte_count(text):
    match = re.fullmatch(r"(-?\d+(?:\.\d+)?)\s*([KMGT]?)(i?B)?", text.strip(), re.IGNORECASE)
    if not match:
        raise argparse.ArgumentTypeError("not a byte count: %r" % text)
    factor = 1 << (10 * "KMGT".find(match.group(2).upper()) + 10) if match.group(2) else 1
    return int(float(match.group(1)) * factor)


def fraction_or_all(text):
    if text == "all":
        return text
    value = float(text)
    if not 0 <= value <= 1:
        raise argparse.ArgumentTypeError("a fraction from 0 to 1, or all")
    return text


def fraction(text):
    value = float(text)
    if not 0 <= value <= 1:
        raise argparse.ArgumentTypeError("a fraction from 0 to 1")
    return value


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output", help="the .olm file to write")
    parser.add_argument("--seed", type=int, default=1, help="same seed, same bytes (default 1)")
    parser.add_argument("--mails", type=int, default=20)
    parser.add_argument("--contacts", type=int, default=10)
    parser.add_argument("--events", type=int, default=5)
    parser.add_argument("--tasks", type=int, default=5)
    parser.add_argument("--notes", type=int, default=5)
    parser.add_argument("--attachment-size", type=byte_count, default=4096,
                        help="size of ordinary binary attachments (pdf, jpg)")
    parser.add_argument("--size", type=byte_count, default=0,
                        help="grow to at least this size with mails and large attachments (e.g. 1.1GiB)")
    parser.add_argument("--large-attachment-size", type=byte_count, default=8 << 20,
                        help="size of the large attachments that --size adds (default 8MiB)")
    parser.add_argument("--large-contacts", action="store_true",
                        help="at least 5000 contacts, each with a picture")
    parser.add_argument("--truncate", type=byte_count,
                        help="cut the file to this many bytes; a negative count cuts that many from the end")
    parser.add_argument("--wipe-headers", type=fraction_or_all,
                        help="overwrite the signatures of this fraction of local headers, or all "
                             "(the first header always stays)")
    parser.add_argument("--zero-crc", type=fraction, help="zero the CRC-32 of this fraction of file entries")
    parser.add_argument("--garbage-between", action="store_true", help="random bytes between entries")
    parser.add_argument("--no-central-directory", action="store_true")
    parser.add_argument("--garbage-inside", type=fraction,
                        help="insert random bytes inside the data of this fraction of entries (sizes unchanged)")
    parser.add_argument("--drop-end-tags", type=fraction,
                        help="overwrite one item end tag in this fraction of documents")
    parser.add_argument("--zero-fill", type=int, default=0, help="zero this many stretches of up to 4 KiB")
    parser.add_argument("--realistic", action="store_true",
                        help="mails in %d folders under %d stores, bodies of 2 to 50 KB, one mail in four with "
                             "1 to 3 attachments of 10 KB to 2 MB" % (REALISTIC_FOLDER_COUNT, len(REALISTIC_STORES)))
    parser.add_argument("--long-values", action="store_true",
                        help="names, a To list and an attendee list longer than the bundle's record fields hold")
    parser.add_argument("--links", action="store_true",
                        help="HTML bodies end with a paragraph linking to a web page and a mail address")
    parser.add_argument("--without-message-ids", action="store_true",
                        help="one mail in five has no usable Message-ID: empty (<>), blank (< >) or none at all; "
                             "its manifest messageId is null")
    parser.add_argument("--manifest", help="write a JSON description of the file here")
    args = parser.parse_args(argv)
    args.argv = list(argv)
    return args


def reproducing_arguments(args):
    """The options that made the file, without the output path, the manifest path and the seed."""
    options = []
    skip = False
    for argument in args.argv:
        if skip:
            skip = False
        elif argument in ("--manifest", "--seed"):
            skip = True
        elif argument != args.output and not argument.startswith(("--manifest=", "--seed=")):
            options.append(argument)
    return options


def generate(args):
    """Writes args.output (and args.manifest if set); returns the manifest."""
    with open(args.output, "w+b") as out:
        export = Export(args, out)
        export.write()
        export.written_size = out.seek(0, 2)
        entries = export.writer.entries
        file_size = apply_damage(args, out, entries)
    # Bytes inserted inside entries move every entry after them away from where the directory says.
    directory_usable = not args.no_central_directory and not args.garbage_inside and file_size >= export.written_size
    expected = expected_scan(entries, file_size, directory_usable)
    if not expected["refused"]:
        # What bytes inserted inside entries or zeroed stretches cost depends on where they
        # fall inside a value; the losses listed are then only those of the other damage.
        expected["lossesExact"] = not (args.garbage_inside or args.zero_fill)
    for entry in entries:
        entry.pop("records", None)
    manifest = {
        "generator": {"seed": args.seed, "arguments": reproducing_arguments(args)},
        "size": file_size,
        "generated": {"mails": len(export.mails), "contacts": len(export.contacts),
                      "calendars": len(export.calendars), "tasks": len(export.tasks), "notes": len(export.notes)},
        "expected": expected,
        "mails": export.mails, "contacts": export.contacts, "calendars": export.calendars,
        "tasks": export.tasks, "notes": export.notes, "groups": export.groups,
        "emptyFolders": export.empty_folders,
        "entries": entries,
    }
    if args.manifest:
        with open(args.manifest, "w", encoding="utf-8") as handle:
            json.dump(manifest, handle, ensure_ascii=False, indent=1, sort_keys=True)
            handle.write("\n")
    return manifest


def main(argv=None):
    generate(parse_args(sys.argv[1:] if argv is None else argv))
    return 0


if __name__ == "__main__":
    sys.exit(main())
