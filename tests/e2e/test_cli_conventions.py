"""mendora-cli's help, version and usage errors: what goes to standard output and what
to standard error, and the exit status; and the manual page made from the help."""
import os
import re
import subprocess
import unittest

from olmtest import SAMPLES, SOURCE, cli_path, run_cli

EXIT_USAGE = 64
EXIT_MISSING_FILE = 10
OPTIONS = ["--json", "--items", "--record-memory", "--folder", "--format", "--replace", "--help", "-h",
           "--version", "--"]
EXIT_STATUSES = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 64]


def project_version():
    text = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(Mendora VERSION ([0-9.]+)", text).group(1)


def options_in(text):
    return {option for option in OPTIONS if re.search(r"(^|[\s\[|])%s(?![\w-])" % re.escape(option), text, re.M)}


def exit_statuses_in(text):
    section = text.split("Exit status:", 1)[1] if "Exit status:" in text else ""
    return [int(n) for n in re.findall(r"^\s+(\d+)\s", section, re.M)]


class HelpAndErrors(unittest.TestCase):
    maxDiff = None

    def check_full_help(self, output):
        self.assertTrue(output.startswith("Usage: mendora-cli "), output)
        for command in ("scan", "save", "find", "help"):
            self.assertRegex(output, r"(?m)^(Usage: |  or:  )mendora-cli %s " % command)
        self.assertEqual(options_in(output), set(OPTIONS))
        self.assertEqual(exit_statuses_in(output), EXIT_STATUSES)

    def check_command_help(self, command, options):
        def check(output):
            self.assertTrue(output.startswith("Usage: mendora-cli %s " % command), output)
            self.assertEqual(options_in(output), set(options))
        return check

    def check_version(self, output):
        self.assertEqual(output, "mendora-cli %s\n" % project_version())

    def check_usage_error(self, command):
        def check(output):
            lines = output.splitlines()
            self.assertRegex(lines[0], r"^mendora-cli%s: \S" % ("" if command is None else " " + command))
            self.assertEqual(len([l for l in lines if l.startswith("mendora-cli")]), 1, output)
            usage = [l for l in lines if l.startswith(("Usage: ", "  or:  "))]
            self.assertTrue(usage, output)
            if command is not None:
                self.assertEqual(usage, [l for l in usage if l.startswith("Usage: mendora-cli %s " % command)])
            else:
                self.assertGreater(len(usage), 3)
        return check

    def test_statuses_and_streams(self):
        intact = SAMPLES / "intact.olm"
        scan_help = self.check_command_help("scan", ["--json", "--items", "--record-memory", "--", "--help", "-h"])
        save_help = self.check_command_help("save", ["--folder", "--format", "--replace", "--json", "--record-memory",
                                                      "--help", "-h"])
        find_help = self.check_command_help("find", ["--help", "-h"])
        full_help = self.check_full_help
        empty = self.assertFalse
        # arguments, exit status, check of standard output, check of standard error
        cases = [
            (["--help"], 0, full_help, empty),
            (["-h"], 0, full_help, empty),
            (["help"], 0, full_help, empty),
            (["--version"], 0, self.check_version, empty),
            (["help", "save"], 0, save_help, empty),
            (["save", "--help"], 0, save_help, empty),
            (["save", intact, "somewhere", "-h"], 0, save_help, empty),
            (["help", "scan"], 0, scan_help, empty),
            (["scan", "--help"], 0, scan_help, empty),
            (["help", "find"], 0, find_help, empty),
            (["find", "-h"], 0, find_help, empty),
            ([], EXIT_USAGE, empty, self.check_usage_error(None)),
            (["frobnicate"], EXIT_USAGE, empty, self.check_usage_error(None)),
            (["--frobnicate"], EXIT_USAGE, empty, self.check_usage_error(None)),
            (["help", "frobnicate"], EXIT_USAGE, empty, self.check_usage_error(None)),
            (["help", "scan", "save"], EXIT_USAGE, empty, self.check_usage_error(None)),
            (["scan"], EXIT_USAGE, empty, self.check_usage_error("scan")),
            (["scan", "--frobnicate", intact], EXIT_USAGE, empty, self.check_usage_error("scan")),
            (["scan", intact, intact], EXIT_USAGE, empty, self.check_usage_error("scan")),
            (["scan", "--record-memory", "0", intact], EXIT_USAGE, empty, self.check_usage_error("scan")),
            (["scan", "--record-memory", "99999999999999999", intact], EXIT_USAGE, empty,
             self.check_usage_error("scan")),
            (["scan", "--record-memory"], EXIT_USAGE, empty, self.check_usage_error("scan")),
            (["save"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "b"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "--format", "xml"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "--format"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "--folder"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "--replace"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["save", intact, "a", "--frobnicate"], EXIT_USAGE, empty, self.check_usage_error("save")),
            (["find"], EXIT_USAGE, empty, self.check_usage_error("find")),
            (["find", "--frobnicate", SAMPLES], EXIT_USAGE, empty, self.check_usage_error("find")),
            (["find", SAMPLES, SAMPLES], EXIT_USAGE, empty, self.check_usage_error("find")),
        ]
        for arguments, status, check_stdout, check_stderr in cases:
            with self.subTest(arguments=" ".join(map(str, arguments))):
                result = run_cli(self, *arguments)
                stdout, stderr = result.stdout.decode("utf-8"), result.stderr.decode("utf-8")
                self.assertEqual(result.returncode, status, stdout + stderr)
                check_stdout(stdout)
                check_stderr(stderr)

    def test_after_double_dash_a_name_is_a_name(self):
        with self.subTest("scan"):
            result = run_cli(self, "scan", "--", "--help")
            self.assertEqual(result.returncode, EXIT_MISSING_FILE, result.stderr)
            self.assertEqual(result.stdout, b"")
            self.assertIn(b"--help", result.stderr)
        with self.subTest("save"):
            result = run_cli(self, "save", "--", "--help", "/nonexistent-destination")
            self.assertEqual(result.returncode, EXIT_MISSING_FILE, result.stderr)
            self.assertEqual(result.stdout, b"")


class ManualPage(unittest.TestCase):
    """The page made from the help at build time, rendered as man shows it."""

    def test_renders_with_every_option_and_exit_status(self):
        page = os.environ.get("MENDORA_MANPAGE")
        if not page:
            self.fail("MENDORA_MANPAGE is not set: the build made no manual page")
        environment = dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="100", LC_ALL="C.UTF-8")
        result = subprocess.run(["man", "-l", page], capture_output=True, env=environment, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        # Plain text: no overstrike from a terminal-bound formatter, hyphens as hyphens.
        text = re.sub(r".\x08", "", result.stdout.decode("utf-8")).replace("\u2010", "-").replace("\u2212", "-")
        for heading in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS"):
            self.assertRegex(text, r"(?m)^%s$" % heading)
        self.assertRegex(text, r"(?m)^\s+mendora-cli - ")
        self.assertEqual(options_in(text), set(OPTIONS))
        statuses = text.split("EXIT STATUS", 1)[1].split("REPORTING BUGS", 1)[0]
        self.assertEqual([int(n) for n in re.findall(r"(?m)^\s+(\d+)\s", statuses)], EXIT_STATUSES)
        self.assertIn("mendora-cli %s" % project_version(), text.splitlines()[-1])


if __name__ == "__main__":
    unittest.main()
