#!/usr/bin/env python3
"""Writes an export crafted as an attacker would craft it, with the container and
XML pieces of make_olm.py: line breaks, raw and as character references, in every
value that reaches a mail header or a calendar line; identifiers that would break
MIME boundaries; bodies that would close the parts; address lists that would add
recipients; folders named like item kinds or like each other; and mails with long
Korean and Japanese subjects and names. The manifest says what a reader of the
saved files must find.

With --readers-only, only the mails with long subjects and names are written."""
import argparse
import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_olm  # noqa: E402
from make_olm import PRESERVE, ContainerWriter, DocumentStream, element, text_escape  # noqa: E402

# Tokens standing for character references that the XML must carry as they are.
CR_REFERENCE = "{CR}"
LF_REFERENCE = "{LF}"

ROOT = "Local/com.microsoft.__Messages"
STORE = ROOT + "/On My Computer"
INJECTED_BCC = "Bcc: victim@evil.example"
FORGED_EVENT = "\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:forged\r\nSUMMARY:forged"
LONG_JAPANESE = ("会議の議事録と来年度の予算案についての確認をお願いいたします。"
                 "添付の資料をご覧の上、金曜日までにご意見をお寄せください。よろしくお願いします。")
LONG_KOREAN = ("다음 주 월요일 오전 회의에서 논의할 분기별 실적 보고서와 예산안을 첨부합니다. "
               "검토하신 후 의견을 보내 주시기 바랍니다. 감사합니다.")
LONG_NAME = "n" * 253
JAPANESE_FOLDER = "第三四半期の営業報告書と来年度の予算計画に関する資料一式の保管場所"[:30]


def raw(text):
    """Escaped XML text with the reference tokens turned into character references."""
    return text.replace(CR_REFERENCE, "&#13;").replace(LF_REFERENCE, "&#10;")


def attribute_list(pairs):
    return raw(make_olm.attributes(pairs))


def address_entry(address, name):
    return raw(make_olm.email_address(address, name))


def mail(case, folder_entry, **values):
    """One mail: values override an ordinary mail's. folder_entry is the directory of its message entry."""
    record = {"case": case, "entryFolder": folder_entry, "subject": "case %s" % case,
              "from": ("ann@example.com", "Ann Archer"), "to": [("bob@example.com", "Bob Baker")], "cc": [],
              "messageId": "%s@example.com" % case.replace(" ", "-"), "body": "Hello from case %s." % case,
              "attachments": [], "expect": {}}
    record.update(values)
    return record


def hostile_mails():
    long_folder = "/".join([JAPANESE_FOLDER] * 12)
    return [
        mail("to-raw-crlf", STORE + "/Inbox", to=[("bob@example.com\r\n" + INJECTED_BCC, None)],
             expect={"to": 1}),
        mail("to-reference-crlf", STORE + "/Inbox",
             to=[("bob@example.com" + CR_REFERENCE + LF_REFERENCE + INJECTED_BCC, None)], expect={"to": 1}),
        mail("from-empty-line", STORE + "/Inbox",
             **{"from": ("ann@example.com" + LF_REFERENCE + LF_REFERENCE + "X-Injected: yes", "Ann")},
             to=[("carl@example.com", None)], expect={"from": 1, "toExact": ["carl@example.com"], "noDomain": True}),
        mail("cc-crlf", STORE + "/Inbox", cc=[("dan@example.com\r\n" + INJECTED_BCC, None)],
             expect={"cc": 1}),
        mail("name-forges-message", STORE + "/Inbox",
             **{"from": ("eve@example.com", "Eve\rFrom ???@??? Wed May 12 20:00:00 2010 +0530\rSubject: forged\r")},
             expect={"from": 1}),
        mail("from-address-cr", STORE + "/Inbox",
             **{"from": ("mal@example.com\r" + INJECTED_BCC, "Mal")}, expect={"from": 1}),
        mail("message-id-cr", STORE + "/Inbox", messageId="id7@example.com\r" + INJECTED_BCC,
             attachments=[("notes.txt", "text/plain", None, b"plain notes\n")]),
        mail("attachment-headers", STORE + "/Inbox",
             attachments=[("report.pdf\r\nContent-Type: text/html", "application/pdf\r\nX-Evil: 1",
                           "cid8@example.com\r\nX-Evil: 2", b"%PDF-1.4 not really\n" * 20)],
             expect={"attachmentNames": False}),
        mail("body-closes-parts", STORE + "/Inbox", messageId="&lt;evil9@example.com&gt;",
             body="Hello.\n--evil9@example.com\nContent-type: application/octet-stream; name=\"evil.exe\"\n"
                  "Content-Transfer-Encoding: base64\n\nTVqQAAMAAAAEAAAA\n\n--evil9@example.com--\n"
                  "--B_33633218042893836825_117674--\n",
             attachments=[("real.txt", "text/plain", None, b"the only attachment\n")]),
        mail("quote-in-id", STORE + "/Inbox", messageId='quote"10@example.com',
             attachments=[("hidden.txt", "text/plain", None, b"must not hide\n")]),
        mail("address-list", STORE + "/Inbox",
             to=[("a@example.com>, injected@evil.example, <x@example.com", None),
                 ("b@example.com>, injected@evil.example, <y@example.com", "B, injected@evil.example")],
             expect={"to": 2}),
        # Folders named like item kinds, at the top of an IMAP account.
        mail("folder Notes", "Accounts/imap.example.com/ann", expect={"folder": "Notes"}),
        mail("folder Contacts", "Accounts/imap.example.com/ann", expect={"folder": "Contacts"}),
        mail("folder Calendars", "Accounts/imap.example.com/ann", expect={"folder": "Calendars"}),
        mail("folder Tasks", "Accounts/imap.example.com/ann", expect={"folder": "Tasks"}),
        # Folders whose names a file system or a careless path join would merge.
        mail("folder ..", "Local/x", expect={"folder": ".."}),
        mail("folder __", "Local/x", expect={"folder": "__"}),
        mail("folder .", "Local/x", expect={"folder": "."}),
        mail("folder _", "Local/x", expect={"folder": "_"}),
        mail("folder a//b", "Local/x", expect={"folder": "a//b"}),
        mail("folder a/b", "Local/x", expect={"folder": "a/b"}),
        mail("folder /abs", "Local/x", expect={"folder": "/abs"}),
        mail("folder abs", "Local/x", expect={"folder": "abs"}),
        mail("folder long", "Local/x", expect={"folder": long_folder}),
        mail("folder none", "Local", expect={"folder": ""}),
        # A child named like its parent's mbox file, and a name that fills a file name alone.
        mail("folder p", "Local/x", expect={"folder": "p"}),
        mail("folder p/p.mbox", "Local/x", expect={"folder": "p/p.mbox"}),
        mail("folder 253 bytes", "Local/x", expect={"folder": LONG_NAME}),
    ]


def reader_mails():
    """Long subjects and names outside Latin-1: every reader must read them whole."""
    return [
        mail("long-japanese", STORE + "/Readers", subject=LONG_JAPANESE,
             **{"from": ("yamada@example.jp", "山田太郎（営業本部 第三営業部 部長代理）")},
             to=[("kim@example.kr", "김철수 (서울 사무소 해외영업팀 과장)"),
                 ("sato@example.jp", "佐藤花子（東京本社 経理部 経理課）")],
             attachments=[("第三四半期の営業報告書と来年度の予算計画に関する資料一式.pdf", "application/pdf", None,
                           b"%PDF-1.4\n" * 30)],
             expect={"exact": True}),
        mail("long-korean", STORE + "/Readers", subject=LONG_KOREAN,
             **{"from": ("hong@example.kr", "홍길동 (서울 사무소 해외영업팀 차장)")},
             to=[("lee@example.kr", "이영희")],
             attachments=[("다음 주 월요일 회의 자료 및 분기별 실적 보고서 최종본.xlsx",
                           "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", None, b"PK\x03\x04" * 40)],
             expect={"exact": True}),
        # One ASCII letter first: no word after it can end on a multiple of three bytes
        # unless the cut takes that into account.
        mail("mixed", STORE + "/Readers", subject="a" + LONG_JAPANESE + " 🎌 Ünïcödé ελληνικά",
             **{"from": ("zoe@example.com", "Zoë Müller-Lüdenscheidt (Ελληνικά γραφεία, 東京)")},
             expect={"exact": True}),
        mail("long-ascii", STORE + "/Readers",
             subject="A long plain subject that goes on and on " * 4 + "and then ends",
             **{"from": ("john@example.com", 'John "Jack" Doe, Jr.')}, expect={"exact": True}),
    ]


def hostile_events():
    base = {"start": "2018-06-18T16:30:00", "end": "2018-06-18T17:30:00", "modified": "2018-06-01T10:00:00"}
    return [
        dict(base, uuid="FC8C8E87-C9E8-42F7-AD76-457CCFB55D01", summary="organizer injection",
             organizer="org@example.com" + FORGED_EVENT, attendees=[("pat@example.com", "Pat")]),
        dict(base, uuid="FC8C8E87-C9E8-42F7-AD76-457CCFB55D02", summary="attendee injection",
             organizer="org@example.com",
             attendees=[("att@example.com" + FORGED_EVENT, "Att"),
                        ("ref@example.com" + CR_REFERENCE + LF_REFERENCE + "END:VEVENT", "Ref\r\nEND:VCALENDAR")]),
    ]


def mail_xml(record, attachment_urls):
    address, name = record["from"]
    parts = [element("OPFMessageCopyFromAddresses", address_entry(address, name)),
             element("OPFMessageCopyToAddresses", "".join(address_entry(a, n) for a, n in record["to"]))]
    if record["cc"]:
        parts.append(element("OPFMessageCopyCCAddresses", "".join(address_entry(a, n) for a, n in record["cc"])))
    parts += [element("OPFMessageCopySubject", text_escape(record["subject"])),
              element("OPFMessageCopySentTime", "2018-06-18T16:30:00"),
              element("OPFMessageCopyReceivedTime", "2018-06-18T16:31:00"),
              element("OPFMessageCopyMessageID", raw(record["messageId"])),
              element("OPFMessageIsOutgoing", "0E0")]
    if record["attachments"]:
        entries = []
        for (attachment_name, content_type, content_id, _), url in zip(record["attachments"], attachment_urls):
            pairs = ([("OPFAttachmentContentID", content_id)] if content_id else []) + [
                ("OPFAttachmentContentType", content_type), ("OPFAttachmentName", attachment_name),
                ("OPFAttachmentURL", url)]
            entries.append("<messageAttachment%s%s></messageAttachment>" % (PRESERVE, attribute_list(pairs)))
        parts.append(element("OPFMessageCopyAttachmentList", "".join(entries)))
    parts.append(element("OPFMessageCopyBody", text_escape(record["body"])))
    return "".join(parts)


def event_xml(event):
    attendees = "".join("<appointmentAttendee%s%s></appointmentAttendee>" % (PRESERVE, attribute_list(
        [("OPFCalendarAttendeeAddress", a), ("OPFCalendarAttendeeName", n),
         ("OPFCalendarAttendeeResponseRequested", "1"), ("OPFCalendarAttendeeType", "1")]))
        for a, n in event["attendees"])
    return "".join([element("OPFCalendarEventCopySummary", text_escape(event["summary"])),
                    element("OPFCalendarEventCopyStartTime", event["start"]),
                    element("OPFCalendarEventCopyEndTime", event["end"]),
                    element("OPFCalendarEventCopyModDate", event["modified"]),
                    element("OPFCalendarEventCopyOrganizer", raw(text_escape(event["organizer"]))),
                    element("OPFCalendarEventCopyAttendeeList", attendees),
                    element("OPFCalendarEventCopyUUID", event["uuid"])])


def write(path, readers_only=False):
    """Writes the export to path; returns the manifest."""
    mails = reader_mails() + ([] if readers_only else hostile_mails())
    events = [] if readers_only else hostile_events()
    with open(path, "w+b") as out:
        writer = ContainerWriter(out)
        writer.directory("Accounts/")
        writer.directory("Local/")
        if not readers_only:
            writer.file("Local/Address Book/Contacts.xml", DocumentStream("contacts", 1, [
                element("OPFContactCopyFirstName", "Kept")]).chunks(), "contacts")
            writer.file("Local/Calendar/Calendar.xml", DocumentStream("calendars", len(events), [
                event_xml(e) for e in events]).chunks(), "calendars")
            writer.file("Local/Notes/Notes.xml", DocumentStream("notes", 1, [
                element("OPFNoteCopyTitle", "Kept note") + element("OPFNoteCopyModDate", "2018-06-01T10:00:00")
            ]).chunks(), "notes")
        for number, record in enumerate(mails):
            folder = record["expect"].get("folder")
            directory = record["entryFolder"] + ("/" + folder if folder else "")
            urls = []
            for index, (_, _, _, data) in enumerate(record["attachments"]):
                url = "%s/com.microsoft.__Attachments/%d_%04d" % (directory, number, index)
                entry = writer.file(url, [data], "attachment", with_sha256=True)
                urls.append(url)
                record.setdefault("sha256", []).append(entry["sha256"])
            writer.file("%s/message_%05d.xml" % (directory, number),
                        DocumentStream("mail", 1, [mail_xml(record, urls)]).chunks(), "mail")
        writer.finish()
    for record in mails:
        record["attachmentNames"] = [a[0] for a in record.pop("attachments")]
        record["from"] = list(record["from"])
    return {"mails": mails, "events": events}


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output")
    parser.add_argument("--manifest")
    parser.add_argument("--readers-only", action="store_true")
    args = parser.parse_args(argv)
    manifest = write(args.output, args.readers_only)
    if args.manifest:
        Path(args.manifest).write_text(json.dumps(manifest, ensure_ascii=False, indent=1) + "\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
