"""mendora-cli find DIR: every .olm file below DIR with its size, one a line; awkward
names, links, unreadable directories and mounted pseudo file systems."""
import os
import shutil
import subprocess
import unittest

from olmtest import CLI_TIMEOUT, EXIT_NOTHING_FOUND, GeneratedFiles, cli_path, run_cli

NOBODY = 65534


def unescape(text):
    """Undoes the escapes of backslash, tab, newline and carriage return in a listed path."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def listing(output):
    """{path: size text} from the output, failing on a repeated path."""
    found = {}
    for line in output.decode("utf-8").splitlines():
        path, size = line.rsplit("\t", 1)
        path = unescape(path)
        assert path not in found, "listed twice: %r" % path
        found[path] = size
    return found


class FindCommand(GeneratedFiles):

    def file(self, relative, size=0):
        path = self.tmp / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"\0" * size)
        return str(path)

    def find(self, directory, **options):
        result = run_cli(self, "find", directory, **options)
        return result.returncode, listing(result.stdout), result.stderr.decode("utf-8", "replace")

    def test_lists_every_olm_file_with_its_size(self):
        expected = {
            self.file("plain.olm", 1023): "1023 Byte",
            self.file("it's \"quoted\" $(x) & ;/a b.olm", 1024): "1 KB",
            self.file("line\nbreak\tand\\slash/c\r.olm", 1048576): "1 MB",
            self.file("日本語 Ünïcödé/メール.olm", 5): "5 Byte",
            self.file(".hidden/deep/er/h.olm", 2047): "1 KB",
            self.file("cut.OLM", 3): "3 Byte",
            self.file("Notes.Olm", 4): "4 Byte",
        }
        self.file("notes.OLM.txt")
        self.file("x.olm.bak")
        os.symlink("..", self.tmp / ".hidden" / "up")
        os.symlink(str(self.tmp), self.tmp / ".hidden" / "deep" / "top")
        status, found, _ = self.find(self.tmp)
        self.assertEqual(status, 0)
        self.assertEqual(found, expected)

    def test_nothing_found_says_so(self):
        self.file("notes.OLM.txt")
        self.file("olm")
        status, found, message = self.find(self.tmp)
        self.assertEqual(status, EXIT_NOTHING_FOUND)
        self.assertEqual(found, {})
        self.assertIn("Search completed. No OLM file found.", message)

    def test_no_directory_is_a_usage_error(self):
        for argument in [self.file("plain.olm"), str(self.tmp / "missing")]:
            status, found, message = self.find(argument)
            self.assertEqual((status, found), (64, {}))
            self.assertIn("mendora-cli find DIR", message)

    def test_unreadable_directory_is_skipped(self):
        before = self.file("a/before.olm")
        self.file("b/locked/hidden.olm")
        after = self.file("c/after.olm")
        for directory, _, _ in os.walk(self.tmp):
            os.chmod(directory, 0o755)
        locked = self.tmp / "b" / "locked"
        os.chmod(locked, 0)
        command = [cli_path(), "find", str(self.tmp)]
        options = {}
        if os.geteuid() == 0:
            # Root reads every directory: run as nobody, from a copy nobody may execute.
            program = self.tmp / "mendora-cli"
            shutil.copy(cli_path(), program)
            os.chmod(program, 0o755)
            command[0] = str(program)
            options["user"] = NOBODY
        try:
            result = subprocess.run(command, capture_output=True, timeout=CLI_TIMEOUT, **options)
        finally:
            os.chmod(locked, 0o755)  # so that the temporary tree can be removed
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(set(listing(result.stdout)), {before, after})

    def test_pseudo_file_systems_and_bind_loops_are_not_walked(self):
        top = self.file("top.olm", 3)
        for name in ["mq", "ram", "sub/bind"]:
            (self.tmp / name).mkdir(parents=True)
        # A private mount namespace: a message-queue file system (kernel objects), a tmpfs
        # (ordinary files) and the tree bound into itself.
        script = ('mount -t mqueue none "$1/mq" && touch "$1/mq/queue.olm" && '
                  'mount -t tmpfs none "$1/ram" && : > "$1/ram/kept.olm" && '
                  'mount --bind "$1" "$1/sub/bind" && exec "$2" find "$1"')
        try:
            result = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh",
                                     str(self.tmp), cli_path()], capture_output=True, timeout=CLI_TIMEOUT)
        except FileNotFoundError:
            self.skipTest("no unshare")
        if result.returncode != 0 and not result.stdout:
            self.skipTest("cannot mount here: %s" % result.stderr.decode(errors="replace").strip())
        self.assertEqual(listing(result.stdout), {top: "3 Byte", str(self.tmp / "ram" / "kept.olm"): "0 Byte"})


if __name__ == "__main__":
    unittest.main()
