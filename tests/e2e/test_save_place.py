"""Where mendora-cli puts a save: never over the file being rescued, a replaced output
swapped in only when whole, one output per save, and a destination it cannot use named
for what is wrong with it."""
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from olmtest import GeneratedFiles, cli_path, run_cli  # noqa: E402

EXIT_NO_OUTPUT = 4
EXIT_NOT_ALL_WRITTEN = 1


class SavePlace(GeneratedFiles):

    def small_export(self, name="mailbox.olm"):
        path, _ = self.generate(name, "--mails", 6, "--contacts", 2, "--events", 1, "--tasks", 1, "--notes", 1)
        return path

    def save(self, olm, destination, *options):
        return run_cli(self, "save", olm, destination, "--format", "standard", *options)

    def test_replace_never_removes_the_file_being_rescued(self):
        destination = self.tmp / "dest"
        rescued = destination / "mailbox (rescued)"
        rescued.mkdir(parents=True)
        olm = rescued / "mailbox.olm"
        shutil.move(str(self.small_export()), olm)
        original = olm.read_bytes()
        result = self.save(olm, destination, "--replace")
        self.assertEqual(result.returncode, EXIT_NO_OUTPUT, result.stderr.decode(errors="replace"))
        self.assertIn("holds the file being saved", result.stderr.decode())
        self.assertEqual(olm.read_bytes(), original)
        self.assertEqual(sorted(p.name for p in destination.iterdir()), ["mailbox (rescued)"])

    def test_replace_swaps_in_the_new_output(self):
        olm = self.small_export()
        destination = self.tmp / "dest"
        destination.mkdir()
        self.assertEqual(self.save(olm, destination).returncode, 0)
        rescued = destination / "mailbox (rescued)"
        (rescued / "old.txt").write_text("old")
        result = self.save(olm, destination, "--replace")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        self.assertFalse((rescued / "old.txt").exists())
        self.assertTrue((rescued / "Contacts.vcf").is_file())
        # Nothing is left beside it: neither the old output nor a staging directory.
        self.assertEqual([p.name for p in destination.iterdir()], ["mailbox (rescued)"])

    def test_failed_replace_leaves_the_old_output_whole(self):
        destination = self.tmp / "small disk"
        destination.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=160k", "tmpfs", str(destination)],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system here")
        try:
            olm = self.small_export()
            rescued = destination / "mailbox (rescued)"
            rescued.mkdir()
            (rescued / "old.txt").write_text("old")
            # Fill the disk so that the new output cannot be written whole.
            filler = destination / "filler"
            descriptor = os.open(filler, os.O_WRONLY | os.O_CREAT)
            try:
                while os.write(descriptor, b"x" * 4096) > 0:
                    pass
            except OSError:
                pass
            finally:
                os.close(descriptor)
            os.truncate(filler, max(filler.stat().st_size - 8192, 0))
            result = self.save(olm, destination, "--replace")
            self.assertEqual(result.returncode, 1, result.stderr.decode(errors="replace"))
            self.assertIn("The old output is kept at", result.stderr.decode())
            self.assertEqual((rescued / "old.txt").read_text(), "old")
        finally:
            subprocess.run(["umount", str(destination)], capture_output=True)

    def test_two_saves_at_once_never_share_an_output(self):
        olm = self.small_export()
        destination = self.tmp / "dest"
        destination.mkdir()
        environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8")
        for _ in range(3):
            shutil.rmtree(destination / "mailbox (rescued)", ignore_errors=True)
            saves = [subprocess.Popen([cli_path(), "save", str(olm), str(destination), "--format", "standard"],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
                     for _ in range(2)]
            results = [(save.wait(timeout=120), save.stderr.read().decode()) for save in saves]
            for save in saves:
                save.stdout.close()
                save.stderr.close()
            self.assertEqual(sorted(code for code, _ in results), [0, EXIT_NO_OUTPUT], results)
            self.assertTrue(any("exists already" in text for _, text in results), results)
            cards = (destination / "mailbox (rescued)" / "Contacts.vcf").read_text()
            self.assertEqual(cards.count("BEGIN:VCARD"), 2)

    def save_held_once_begun(self, olm, destination, output_name, *options):
        """Starts a standard save, holds it as soon as its output directory exists, and
        returns the held process: what a test does to the destination then happens while
        the save runs, however fast the machine."""
        environment = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")
        running = subprocess.Popen([cli_path(), "save", olm, destination, "--format", "standard", *options],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                   env=environment)
        deadline = time.monotonic() + 60
        while not os.path.lexists(destination / output_name):
            self.assertIsNone(running.poll(), "the save ended before its output was seen")
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.001)
        running.send_signal(signal.SIGSTOP)
        self.addCleanup(lambda: running.poll() is None and running.kill())
        return running

    def finish(self, running):
        running.send_signal(signal.SIGCONT)
        try:
            output, errors = running.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            self.fail("the save never ended: it waits on something planted in its output")
        return running.returncode, errors.decode(errors="replace")

    def test_the_destination_swapped_during_a_save_gets_nothing_through_the_link(self):
        olm, _ = self.generate("big.olm", "--mails", 3000, "--contacts", 200, "--events", 50)
        destination = self.tmp / "dest"
        destination.mkdir()
        elsewhere = self.tmp / "elsewhere"
        elsewhere.mkdir()
        running = self.save_held_once_begun(olm, destination, "big (rescued)")
        destination.rename(self.tmp / "dest.moved")
        destination.symlink_to(elsewhere)
        status, errors = self.finish(running)
        # Every item written (status 0), and all of it where the save began.
        self.assertEqual(status, 0, errors)
        self.assertEqual(list(elsewhere.iterdir()), [])
        moved = self.tmp / "dest.moved" / "big (rescued)"
        self.assertEqual(sum(path.read_bytes().count(b"\nMessage-ID: ") for path in (moved / "Mail").rglob("*.mbox")),
                         3000)
        self.assertTrue((moved / "Rescue report.txt").is_file())

    def test_anything_planted_where_a_file_goes_is_refused_without_waiting(self):
        olm, _ = self.generate("big.olm", "--mails", 3000)
        for plant in ("fifo", "symlink"):
            with self.subTest(plant):
                destination = self.tmp / ("dest-" + plant)
                destination.mkdir()
                running = self.save_held_once_begun(olm, destination, "big (rescued)")
                report = destination / "big (rescued)" / "Rescue report.txt"
                target = self.tmp / "target.txt"
                if plant == "fifo":
                    os.mkfifo(report)
                else:
                    report.symlink_to(target)
                status, errors = self.finish(running)
                self.assertEqual(status, EXIT_NOT_ALL_WRITTEN, errors)
                self.assertIn("Rescue report.txt", errors)
                self.assertFalse(target.exists())

    def test_destination_that_cannot_be_used_says_why(self):
        olm = self.small_export()
        too_long = self.tmp / ("/".join(["d" * 200] * 25))
        not_a_directory = self.tmp / "file"
        not_a_directory.write_text("x")
        for destination, reason in [(too_long, "cannot be used: File name too long"),
                                    (self.tmp / "missing" / "dir", "cannot be used: No such file or directory"),
                                    (not_a_directory, "is not a directory")]:
            result = self.save(olm, destination)
            self.assertEqual(result.returncode, EXIT_NO_OUTPUT)
            self.assertIn(reason, result.stderr.decode())


if __name__ == "__main__":
    unittest.main()
