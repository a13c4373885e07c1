"""A real mail server as reader of the standard mbox files: Debian's Dovecot serves
the rescued Mail tree on a loopback port from a throwaway configuration, and every
message of every folder is fetched over IMAP and compared with the sample."""
import grp
import imaplib
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standardcheck  # noqa: E402

standardcheck.run_under_debian_python()

from olmtest import SAMPLES, GeneratedFiles, cli_path  # noqa: E402
from mailservers import free_port, wait_for_port  # noqa: E402

DOVECOT = "/usr/sbin/dovecot"
PASSWORD = "throwaway"
# The rescued tree is served below this prefix, so that its folder "Inbox" is not taken for INBOX.
PREFIX = "Rescued/"


def configuration(base, home, user, login_user, port):
    return f"""
base_dir = {base}/run
state_dir = {base}/state
log_path = {base}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_internal_user = {user.pw_name}
default_internal_group = {grp.getgrgid(user.pw_gid).gr_name}
default_login_user = {login_user}
first_valid_uid = {user.pw_uid}
last_valid_uid = {user.pw_uid}
mbox_read_locks = fcntl
mbox_write_locks = fcntl
namespace inbox {{
  inbox = yes
  separator = /
  location = mbox:{home}/empty:INBOX={home}/inbox:INDEX=MEMORY
}}
namespace rescued {{
  prefix = {PREFIX}
  separator = /
  location = mbox:{home}/Mail:INDEX=MEMORY
}}
passdb {{
  driver = static
  args = password={PASSWORD}
}}
userdb {{
  driver = static
  args = uid={user.pw_uid} gid={user.pw_gid} home={home}
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service anvil {{
  chroot =
}}
"""


class DovecotServer:
    """Dovecot on a copy of a Mail tree, as an unprivileged user; stopped on exit."""

    def __init__(self, mail_root):
        self.mail_root = mail_root

    def __enter__(self):
        self.base = Path(tempfile.mkdtemp(prefix="mendora-dovecot-"))
        home = self.base / "home"
        shutil.copytree(self.mail_root, home / "Mail")
        (home / "empty").mkdir()
        (home / "inbox").write_bytes(b"")
        for name in ("run", "state"):
            (self.base / name).mkdir()
        root = os.getuid() == 0
        user = pwd.getpwnam("dovecot") if root else pwd.getpwuid(os.getuid())
        login_user = "dovenull" if root else user.pw_name
        self.port = free_port()
        config = self.base / "dovecot.conf"
        config.write_text(configuration(self.base, home, user, login_user, self.port))
        if root:
            os.chmod(self.base, 0o755)
            for directory, names, files in os.walk(self.base):
                os.chown(directory, user.pw_uid, user.pw_gid)
                for name in names + files:
                    os.chown(os.path.join(directory, name), user.pw_uid, user.pw_gid)
        self.process = subprocess.Popen([DOVECOT, "-F", "-c", str(config)], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        try:
            wait_for_port(self.port, self.process, "Dovecot", self.log)
        except RuntimeError:
            self.__exit__(None, None, None)
            raise
        return self

    def log(self):
        path = self.base / "dovecot.log"
        output = self.process.stdout.read().decode(errors="replace") if self.process.poll() is not None else ""
        return output + (path.read_text(errors="replace") if path.exists() else "")

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        shutil.rmtree(self.base, ignore_errors=True)


def quoted(mailbox):
    return '"%s"' % mailbox.replace("\\", "\\\\").replace('"', '\\"')


def fetch_all(port):
    """{mailbox name: [(message bytes, internal date, flags)]} for every selectable mailbox under the prefix."""
    imap = imaplib.IMAP4("127.0.0.1", port)
    try:
        imap.login("rescuer", PASSWORD)
        status, listing = imap.list(quoted(PREFIX), "*")
        assert status == "OK", listing
        boxes = {}
        for line in listing:
            flags, _, name = line.decode("utf-8").partition(') "/" ')
            name = name.strip().strip('"')
            if "\\Noselect" in flags or name == PREFIX.rstrip("/"):
                continue
            status, data = imap.select(quoted(name), readonly=True)
            assert status == "OK", (name, data)
            messages = []
            if int(data[0]):
                status, fetched = imap.fetch("1:*", "(INTERNALDATE FLAGS BODY.PEEK[])")
                assert status == "OK", fetched
                messages = [(item[1], imaplib.Internaldate2tuple(item[0]), imaplib.ParseFlags(item[0]))
                            for item in fetched if isinstance(item, tuple)]
            boxes[name[len(PREFIX):]] = messages
        return boxes
    finally:
        imap.logout()


@unittest.skipUnless(os.access(DOVECOT, os.X_OK),
                     "Dovecot is not installed here (apt-get install dovecot-imapd, as tools/bootstrap.sh does); "
                     "the IMAP reader is skipped")
class DovecotReadsTheMbox(GeneratedFiles):

    def test_every_message_of_every_folder_over_imap(self):
        manifest = json.loads((SAMPLES / "intact.json").read_text(encoding="utf-8"))
        olm = SAMPLES / "intact.olm"
        destination = self.tmp / "out"
        destination.mkdir()
        result = standardcheck.save_standard(self, cli_path(), olm, destination)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        mail_root = destination / "intact (rescued)" / "Mail"
        with DovecotServer(mail_root) as server:
            boxes = fetch_all(server.port)
        mails = standardcheck.survivors(manifest, "mails")
        empty = standardcheck.empty_mbox_names(manifest)
        self.assertTrue(empty)
        self.assertEqual(sorted(boxes), sorted({standardcheck.mbox_name(m) for m in mails} | set(empty)))
        self.assertEqual([boxes[name] for name in empty], [[] for _ in empty])
        by_id = {}
        for name, messages in boxes.items():
            for data, internal, flags in messages:
                message = standardcheck.parse_message(data)
                by_id.setdefault(standardcheck.bare_id(message["Message-ID"]), []).append(
                    (name, message, internal, flags))
        self.assertEqual(sum(len(found) for found in by_id.values()), len(mails))
        olm_bytes = olm.read_bytes()
        for mail in mails:
            with self.subTest(mail=mail["subject"]):
                found = by_id[standardcheck.bare_id(mail["messageId"])]
                self.assertEqual(len(found), 1)
                name, message, internal, flags = found[0]
                self.assertEqual(name, standardcheck.mbox_name(mail))
                standardcheck.check_mail_message(self, message, mail, olm_bytes, manifest)
                # Seen and flagged from the mbox's own headers, the internal date from its separator.
                self.assertEqual(standardcheck.marks_of(flags)[:2], standardcheck.expected_marks(mail)[:2])
                self.assertEqual(time.mktime(internal), standardcheck.delivery_time(mail).timestamp())
                self.assertIsNone(message["X-Status"])  # the server keeps the marks, not the message


if __name__ == "__main__":
    unittest.main()
