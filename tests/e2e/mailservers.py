"""Throwaway servers on loopback ports for the upload tests: Dovecot with Maildir
folders and a self-signed certificate made for the test, Radicale for CardDAV and
CalDAV. Each stops and removes everything when its block ends."""
import base64
import grp
import http.client
import imaplib
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
from pathlib import Path

DOVECOT = "/usr/sbin/dovecot"
RADICALE = "/usr/bin/radicale"
OPENSSL = "/usr/bin/openssl"
USER = "rescuer"
PASSWORD = "throw-away!9"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process, what, log):
    deadline = time.monotonic() + 20
    while True:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return
        except OSError:
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("%s did not start: %s" % (what, log()))
            time.sleep(0.1)


def make_certificate(directory):
    """A self-signed certificate for localhost and 127.0.0.1; (certificate, key) paths."""
    certificate, key = directory / "cert.pem", directory / "key.pem"
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out",
                    str(certificate), "-days", "2", "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"], check=True, capture_output=True)
    return certificate, key


def dovecot_configuration(base, home, user, login_user, imap_port, imaps_port, separator):
    return f"""
base_dir = {base}/run
state_dir = {base}/state
log_path = {base}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = yes
ssl_cert = <{base}/cert.pem
ssl_key = <{base}/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain login
default_internal_user = {user.pw_name}
default_internal_group = {grp.getgrgid(user.pw_gid).gr_name}
default_login_user = {login_user}
first_valid_uid = {user.pw_uid}
last_valid_uid = {user.pw_uid}
mail_location = maildir:{home}/Maildir:LAYOUT=fs
namespace inbox {{
  inbox = yes
  separator = {separator}
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
    port = {imap_port}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {imaps_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
"""


class Dovecot:
    """Dovecot serving one user's Maildir over IMAP (STARTTLS) and IMAPS; the mail survives
    stop() and start(), so a test can cut an upload short."""

    def __init__(self, separator="/", configuration=""):
        """configuration: more settings, such as capabilities to announce."""
        self.separator = separator
        self.extra_configuration = configuration

    def __enter__(self):
        self.base = Path(tempfile.mkdtemp(prefix="mendora-upload-dovecot-"))
        self.home = self.base / "home"
        (self.home / "Maildir").mkdir(parents=True)
        for name in ("run", "state"):
            (self.base / name).mkdir()
        self.certificate, _ = make_certificate(self.base)
        root = os.getuid() == 0
        user = pwd.getpwnam("dovecot") if root else pwd.getpwuid(os.getuid())
        login_user = "dovenull" if root else user.pw_name
        self.imap_port, self.imaps_port = free_port(), free_port()
        self.config = self.base / "dovecot.conf"
        self.config.write_text(dovecot_configuration(self.base, self.home, user, login_user, self.imap_port,
                                                     self.imaps_port, self.separator) + self.extra_configuration)
        if root:
            os.chmod(self.base, 0o755)
            for directory, names, files in os.walk(self.base):
                os.chown(directory, user.pw_uid, user.pw_gid)
                for name in names + files:
                    os.chown(os.path.join(directory, name), user.pw_uid, user.pw_gid)
        self.process = None
        try:
            self.start()
        except Exception:
            self.__exit__(None, None, None)
            raise
        return self

    def start(self):
        # A group of its own: the processes serving open connections outlive the master
        # otherwise, and a stopped server must drop them.
        self.process = subprocess.Popen([DOVECOT, "-F", "-c", str(self.config)], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        wait_for_port(self.imaps_port, self.process, "Dovecot", self.log)

    def stop(self):
        if not self.process:
            return
        group = self.process.pid
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(group, sig)
            except ProcessLookupError:
                break
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                self.process.poll()
                try:
                    os.killpg(group, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.05)
            else:
                continue
            break
        self.process.wait()
        self.process.stdout.close()
        self.process = None

    def log(self):
        path = self.base / "dovecot.log"
        output = ""
        if self.process and self.process.poll() is not None:
            output = self.process.stdout.read().decode(errors="replace")
        return output + (path.read_text(errors="replace") if path.exists() else "")

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.base, ignore_errors=True)

    def url(self, scheme="imaps"):
        port = self.imaps_port if scheme == "imaps" else self.imap_port
        return "%s://%s@127.0.0.1:%d" % (scheme, USER, port)

    def fingerprint(self):
        """The certificate's SHA-256 fingerprint as openssl prints it: AB:CD:…"""
        printed = subprocess.run([OPENSSL, "x509", "-noout", "-fingerprint", "-sha256", "-in", str(self.certificate)],
                                 check=True, capture_output=True, text=True).stdout
        return printed.strip().partition("=")[2]

    def client(self):
        context = ssl.create_default_context(cafile=str(self.certificate))
        imap = imaplib.IMAP4_SSL("127.0.0.1", self.imaps_port, ssl_context=context)
        imap.login(USER, PASSWORD)
        return imap


def quoted(mailbox):
    return '"%s"' % mailbox.replace("\\", "\\\\").replace('"', '\\"')


def decode_mailbox_name(name):
    """Modified UTF-7 (RFC 3501) to text."""
    out, i = [], 0
    while i < len(name):
        if name[i] == "&":
            end = name.index("-", i)
            if end == i + 1:
                out.append("&")
            else:
                chunk = name[i + 1:end].replace(",", "/")
                chunk += "=" * (-len(chunk) % 4)
                import base64
                out.append(base64.b64decode(chunk).decode("utf-16-be"))
            i = end + 1
        else:
            out.append(name[i])
            i += 1
    return "".join(out)


def parse_list_line(line):
    """(flags, separator, name) of one LIST answer line."""
    text = line.decode("utf-8") if isinstance(line, bytes) else line
    flags, _, rest = text.partition(") ")
    separator, _, name = rest.partition(" ")
    name = name.strip()
    if name.startswith('"'):
        name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
    return flags.lstrip("("), separator.strip('"'), decode_mailbox_name(name)


def read_mailboxes(imap):
    """{mailbox name: [(message bytes, internal date, flags)]} of every selectable mailbox."""
    status, listing = imap.list()
    assert status == "OK", listing
    boxes = {}
    for line in listing:
        flags, _, name = parse_list_line(line)
        if "\\Noselect" in flags or "\\NonExistent" in flags:
            continue
        encoded = line.decode("utf-8").partition(") ")[2].partition(" ")[2].strip()
        status, data = imap.select(encoded, readonly=True)
        assert status == "OK", (name, data)
        messages = []
        if int(data[0]):
            status, fetched = imap.fetch("1:*", "(INTERNALDATE FLAGS BODY.PEEK[])")
            assert status == "OK", fetched
            for item in fetched:
                if isinstance(item, tuple):
                    head = item[0].decode()
                    internal = imaplib.Internaldate2tuple(item[0])
                    flags = imaplib.ParseFlags(item[0]) if b"FLAGS" in item[0] else ()
                    messages.append((item[1], internal, flags, head))
        boxes[name] = messages
    return boxes


class Radicale:
    """Radicale with one user (plain password file) and its collections on disk."""

    def __enter__(self):
        self.base = Path(tempfile.mkdtemp(prefix="mendora-upload-radicale-"))
        self.port = free_port()
        users = self.base / "users"
        users.write_text("%s:%s\n" % (USER, PASSWORD))
        config = self.base / "config"
        config.write_text(f"""[server]
hosts = 127.0.0.1:{self.port}
[auth]
type = htpasswd
htpasswd_filename = {users}
htpasswd_encryption = plain
[storage]
filesystem_folder = {self.base}/collections
[rights]
type = owner_only
[logging]
level = warning
""")
        self.output = open(self.base / "radicale.log", "wb")
        self.process = subprocess.Popen([RADICALE, "--config", str(config)], stdout=self.output,
                                        stderr=subprocess.STDOUT)
        try:
            wait_for_port(self.port, self.process, "Radicale",
                          lambda: (self.base / "radicale.log").read_text(errors="replace"))
        except Exception:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()
        shutil.rmtree(self.base, ignore_errors=True)

    def make_collection(self, method, name, body):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        token = base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode()).decode()
        connection.request(method, "/%s/%s/" % (USER, name), body=body,
                           headers={"Authorization": "Basic " + token, "Content-Type": "application/xml"})
        status = connection.getresponse().status
        connection.close()
        assert status == 201, (method, name, status)

    def make_address_book(self, name):
        self.make_collection("MKCOL", name, '<?xml version="1.0"?><D:mkcol xmlns:D="DAV:" '
                             'xmlns:C="urn:ietf:params:xml:ns:carddav"><D:set><D:prop><D:resourcetype>'
                             '<D:collection/><C:addressbook/></D:resourcetype></D:prop></D:set></D:mkcol>')

    def make_calendar(self, name):
        self.make_collection("MKCALENDAR", name, "")

    def collection_url(self, name):
        return "http://%s@127.0.0.1:%d/%s/%s/" % (USER, self.port, USER, name)

    def collection_path(self, name):
        return self.base / "collections" / "collection-root" / USER / name


if __name__ == "__main__":
    # For tests in other languages: serves Dovecot and, where it is installed, Radicale with
    # an address book and a calendar; prints Dovecot's plain IMAP port, the password, its
    # IMAPS port, its certificate and the certificate's SHA-256 fingerprint, then the
    # address book's and the calendar's addresses ("-" without Radicale). Stops them when
    # standard input closes.
    import contextlib
    import sys
    with contextlib.ExitStack() as servers:
        server = servers.enter_context(Dovecot())
        collections = ["-", "-"]
        if os.access(RADICALE, os.X_OK):
            dav = servers.enter_context(Radicale())
            dav.make_address_book("contacts")
            dav.make_calendar("calendar")
            collections = [dav.collection_url("contacts"), dav.collection_url("calendar")]
        print(server.imap_port, PASSWORD, server.imaps_port, server.certificate, server.fingerprint(), *collections,
              flush=True)
        sys.stdin.read()
