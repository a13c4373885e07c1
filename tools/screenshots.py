#!/usr/bin/env python3
"""Takes screenshots of the desktop application under a real window manager.

Starts Xvfb on a display of its own with openbox, runs build/Mendora.app/Contents/MacOS/mendora
on the bundled samples and on damaged files made by tools/make_olm.py, drives it with xdotool
and writes one PNG per moment into OUTDIR, with OUTDIR/index.txt saying for each what it should
show, which window had the focus and which windows were up.

    python3 tools/screenshots.py OUTDIR [--display :33] [--only NAME ...]

A tool for looking at the application, not a test: the screenshots are meant to be looked at.
Needs xvfb, openbox, xdotool, x11-utils and imagemagick (tools/bootstrap.sh --tests installs them).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCREEN = (1366, 900)
MAIN_TITLE = "Mendora"
SELECT_TITLE = "Select OLM File"
SUMMARY_TITLE = "Scan Summary"
PROGRESS_TITLE = "(Scanning OLM File|Saving Files|Uploading)"
AGREEMENT_MARKER = "/var/tmp/MNDRAX"


class Desktop:
    """An X server of our own with openbox on it, and the means to look at it and type into it."""

    def __init__(self, display, outdir):
        self.display = display
        self.outdir = outdir
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.index = open(os.path.join(outdir, "index.txt"), "w", encoding="utf-8")
        self.count = 0
        self.server = subprocess.Popen(["Xvfb", display, "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._wait_for(lambda: self._quiet(["xdotool", "getdisplaygeometry"]) == 0, 10, "the X server")
        self.manager = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)

    def close(self):
        for process in (self.manager, self.server):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.index.close()

    def _quiet(self, command):
        return subprocess.call(command, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _out(self, command):
        result = subprocess.run(command, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                universal_newlines=True)
        return result.stdout.strip()

    @staticmethod
    def _wait_for(condition, seconds, what):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if condition():
                return
            time.sleep(0.2)
        raise RuntimeError("timed out waiting for %s" % what)

    # Windows -------------------------------------------------------------------------------

    def windows(self, title):
        """Ids of the visible windows whose title is exactly title, or title followed by the
        application's name, as the window system shows it ("Find OLM — Mendora")."""
        found = self._out(["xdotool", "search", "--onlyvisible", "--name", "^%s( .* Mendora)?$" % title])
        return [w for w in found.split() if w]

    def wait_window(self, title, seconds=30, settle=0.6):
        found = []

        def shown():
            found[:] = self.windows(title)
            return bool(found)
        self._wait_for(shown, seconds, "the window %r" % title)
        time.sleep(settle)
        return found[-1]

    def wait_gone(self, title, seconds=60):
        self._wait_for(lambda: not self.windows(title), seconds, "the window %r to close" % title)

    def visible_titles(self):
        ids = self._out(["xdotool", "search", "--onlyvisible", "--name", "."]).split()
        titles = [self._out(["xdotool", "getwindowname", window]) for window in sorted(ids, key=int)]
        return [title for title in titles if title and title != "openbox"]

    def active_title(self):
        return self._out(["xdotool", "getactivewindow", "getwindowname"])

    def geometry(self, window):
        """The window's inside on the screen: x, y, width, height (xwininfo, which counts the frame right)."""
        values = {}
        for line in self._out(["xwininfo", "-id", window]).splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def activate(self, window):
        self._quiet(["xdotool", "windowactivate", "--sync", window])
        time.sleep(0.3)

    # Input ---------------------------------------------------------------------------------

    def key(self, *keys, pause=0.5):
        for key in keys:
            self._quiet(["xdotool", "key", "--clearmodifiers", key])
            time.sleep(0.15)
        time.sleep(pause)

    def type(self, text, pause=0.5):
        self._quiet(["xdotool", "type", "--delay", "40", text])
        time.sleep(pause)

    def click(self, x, y, double=False, button=1, pause=0.6):
        command = ["xdotool", "mousemove", "--sync", str(x), str(y), "click"]
        if double:
            command += ["--repeat", "2", "--delay", "80"]
        self._quiet(command + [str(button)])
        time.sleep(pause)

    def click_in(self, window, dx, dy, **options):
        """Clicks at dx, dy inside window; negative values count from its right or bottom edge."""
        x, y, width, height = self.geometry(window)
        self.click(x + (dx if dx >= 0 else width + dx), y + (dy if dy >= 0 else height + dy), **options)

    # Looking -------------------------------------------------------------------------------

    def shot(self, name, shows):
        """Writes NN-name.png and its line in index.txt: what it should show, the focus, the windows."""
        self.count += 1
        file_name = "%02d-%s.png" % (self.count, name)
        self._quiet(["import", "-window", "root", os.path.join(self.outdir, file_name)])
        self.index.write("%s\n  shows: %s\n  focus: %s\n  windows: %s\n"
                         % (file_name, shows, self.active_title(), " | ".join(self.visible_titles())))
        self.index.flush()
        print(file_name, "-", shows, flush=True)
        return file_name

    def pixels(self, x, y, width, height):
        """The screen's pixels in that rectangle, as rows of (r, g, b)."""
        raw = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                              "-depth", "8", "rgb:-"], env=self.env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL).stdout
        return [[tuple(raw[(row * width + column) * 3:(row * width + column) * 3 + 3]) for column in range(width)]
                for row in range(height)]

    def find_colour(self, window, is_wanted, area=None):
        """The first screen point inside window (or area of it: dx, dy, width, height) whose colour is_wanted."""
        x, y, width, height = self.geometry(window)
        ax, ay, aw, ah = area or (0, 0, width, height)
        rows = self.pixels(x + ax, y + ay, aw, ah)
        for row_number, row in enumerate(rows):
            for column, colour in enumerate(row):
                if is_wanted(colour):
                    return x + ax + column, y + ay + row_number
        return None


class Mendora:
    """One run of the desktop application, started and ended by us."""

    def __init__(self, desktop, *arguments):
        program = os.path.join(ROOT, "build", "Mendora.app", "Contents", "MacOS", "mendora")
        self.desktop = desktop
        self.log = open(os.path.join(desktop.outdir, "mendora-output.txt"), "a")
        self.process = subprocess.Popen([program] + list(arguments), env=desktop.env, cwd=desktop.outdir,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        time.sleep(0.5)


# Files to scan -----------------------------------------------------------------------------

def make_files(work):
    """The bundled samples, and generated files: damaged ones, one with links, a huge one."""
    make = [sys.executable, os.path.join(ROOT, "tools", "make_olm.py")]
    files = {"intact": os.path.join(ROOT, "samples", "intact.olm"),
             "damaged": os.path.join(ROOT, "samples", "damaged.olm")}
    recipes = {
        "links": ["--links", "--mails", "8", "--seed", "4"],
        # Zeroed stretches that take the only Inbox mail's attachment with them.
        "lost-attachment": ["--mails", "6", "--zero-fill", "6", "--seed", "43"],
        "truncated": ["--mails", "40", "--truncate", "-30000", "--seed", "5"],
        "wiped": ["--mails", "40", "--wipe-headers", "all", "--seed", "6"],
        # Big enough, and raw-scanned throughout, for a scan and a save that take a while to stop.
        "huge": ["--mails", "20000", "--size", "3GiB", "--wipe-headers", "all", "--seed", "8"],
    }
    for name, options in recipes.items():
        path = os.path.join(work, name + ".olm")
        if not os.path.exists(path):
            subprocess.check_call(make + options + [path], stdout=subprocess.DEVNULL)
        files[name] = path
    # A tree for Find OLM: a few exports among many other files.
    tree = os.path.join(work, "tree")
    if not os.path.isdir(tree):
        for branch in range(60):
            directory = os.path.join(tree, "projects", "branch %02d" % branch)
            os.makedirs(directory)
            for leaf in range(400):
                open(os.path.join(directory, "note-%03d.txt" % leaf), "w").close()
        for name in ("intact", "damaged"):
            shutil.copy(files[name], os.path.join(tree, "projects", "branch 07", "Backup %s.olm" % name))
        shutil.copy(files["links"], os.path.join(tree, "Outlook for Mac Archive with a long name.olm"))
        # A Mac user's export may carry its extension in capitals.
        shutil.copy(files["damaged"], os.path.join(tree, "projects", "branch 12", "cut.OLM"))
    files["tree"] = tree
    return files


# Driving the application -------------------------------------------------------------------

class Session:
    """The desktop, the files, and the application run now; every scenario starts a run of its own."""

    def __init__(self, desktop, files, work):
        self.d = desktop
        self.files = files
        self.work = work
        self.app = None
        self.main = None

    def start(self, *arguments):
        self.app = Mendora(self.d, *arguments)
        if not os.path.exists(AGREEMENT_MARKER):
            self.d.wait_window("License Agreement")
            self.d.shot("agreement", "the agreement asked for once, \"I Agree\" the default button")
            self.d.key("Return")
        self.d.wait_window(MAIN_TITLE)
        # The main window is created first: the lowest id of the windows titled "Mendora".
        self.main = min(self.d.windows(MAIN_TITLE), key=int)
        return self.main

    def stop(self):
        if self.app:
            self.app.stop()
        self.app = None

    def new_window(self, known, seconds=30):
        """The first visible window that is not among the known ones."""
        found = []

        def appeared():
            # A message box without a title may escape the search; it still takes the focus.
            current = self.d._out(["xdotool", "search", "--onlyvisible", "--name", "."]).split()
            current.append(self.d._out(["xdotool", "getactivewindow"]))
            found[:] = [w for w in current if w not in known and self.d._out(["xdotool", "getwindowname", w])]
            return bool(found)
        self.d._wait_for(appeared, seconds, "a new window")
        time.sleep(0.6)
        return found[-1]

    def known(self):
        return set(self.d._out(["xdotool", "search", "--onlyvisible", "--name", "."]).split())

    def keys_open(self, window, *keys):
        """The window that the keys, typed into window, bring up."""
        self.d.activate(window)
        known = self.known()
        self.d.key(*keys)
        return self.new_window(known)

    def select_window(self):
        return self.d.wait_window(SELECT_TITLE)

    def scan_from_select(self):
        """Scan Now in the "Select OLM File" window, then waits for the summary."""
        window = self.select_window()
        self.d.activate(window)
        self.d.click_in(window, 493, 183)  # Scan Now
        return self.wait_summary()

    def wait_summary(self, seconds=120):
        deadline = time.time() + seconds
        while time.time() < deadline:
            for window in self.d.windows(SUMMARY_TITLE):
                if self.d.geometry(window)[3] > 200:
                    time.sleep(0.8)
                    return window
            time.sleep(0.3)
        raise RuntimeError("no scan summary came up")

    def close_summary(self, summary):
        self.d.click_in(summary, -50, -25)  # OK

    # Places in the main window, from its own geometry.
    def main_point(self, where):
        x, y, width, height = self.d.geometry(self.main)
        tree_right = 240
        points = {
            "tree-inbox": (127, 224),
            "root-box": (31, 104),
            "search": (tree_right + 100, 105),
            "list-first-row": (tree_right + 100, 149),
            "results-first-row": (tree_right + 100, 170),
            "results-date-header": (tree_right + 420, 148),
            # The headers where the columns fit the sample's rows in the window's first size.
            "date-header": (640, 129),
            "size-header": (790, 129),
            "preview": (width - 200, height - 200),
        }
        dx, dy = points[where]
        return x + dx, y + dy

    def click_main(self, where, **options):
        self.d.click(*self.main_point(where), **options)


# Scenarios ---------------------------------------------------------------------------------

def startup(s):
    """Start-up: the "Select OLM File" window in front with the focus; the open dialog's filters."""
    s.start()
    select = s.select_window()
    s.d.shot("startup", "the \"Select OLM File\" window in front of the main window, with the focus")
    s.click_main("preview")
    s.d.click_in(select, 120, 40)
    s.d.shot("startup-click-select", "after a click on the main window and one on the \"Select OLM File\" window:"
                                     " the latter in front again")
    known = s.known()
    s.d.click_in(select, 417, 135)  # Browse
    opened = s.new_window(known)
    s.d.shot("open-dialog", "the open dialog with \"Outlook for Mac export (*.olm)\" as its filter")
    s.d.click_in(opened, 274, 346)  # the file type box
    s.d.shot("open-dialog-filters", "the filters: \"Outlook for Mac export (*.olm)\" first, \"All Files (*)\" second")
    s.d.key("Escape", "Escape")
    s.stop()


def startup_with_file(s):
    """mendora FILE: the window holds the file, also after File > Open."""
    s.start(s.files["intact"])
    select = s.select_window()
    s.d.shot("startup-with-file", "mendora FILE: \"Select OLM File\" in front, holding the file's path")
    s.d.activate(select)
    s.d.key("Escape")
    s.d.activate(s.main)
    s.d.key("ctrl+n")
    s.select_window()
    s.d.shot("file-open-keeps-path", "File > Open after closing it: the window holds the path still")
    s.stop()


def browse_intact(s):
    """A scan of the intact sample and everything a user reaches for in the main window."""
    s.start(s.files["intact"], "--scan")
    summary = s.wait_summary()
    s.d.shot("summary-intact", "the scan summary: counts, no loss line")
    s.close_summary(summary)
    s.click_main("tree-inbox")
    s.d.shot("mail-list", "the Inbox: Subject, From, Date and Size beside the icon columns, the first mail previewed")
    s.click_main("date-header")
    s.d.shot("sorted-by-date", "sorted by date, the header's arrow on Date")
    s.click_main("size-header")
    s.d.shot("sorted-by-size", "sorted by size, as numbers")
    s.click_main("search")
    s.d.type("priya")
    s.d.shot("search-box", "the search box filtering the list as the user types")
    s.d.key("ctrl+a", "BackSpace")
    s.click_main("list-first-row")
    for row in range(3):
        s.d.key("Down")
        s.d.shot("mail-preview-%d" % row, "a mail: the header box grown with its Cc and attachment lines,"
                                          " addresses wrapped between addresses")
    s.click_main("tree-inbox")
    s.d.key("Down", "Down")
    s.d.shot("tree-keyboard", "two arrow keys from the Inbox: each folder opened as a click opens it, the focus"
                              " still in the tree (2010 selected)")
    for keys, name in (("ctrl+2", "contacts"), ("ctrl+3", "calendar"), ("ctrl+5", "tasks"), ("ctrl+4", "notes")):
        s.d.activate(s.main)
        s.d.key(keys)
        s.click_main("list-first-row")
        s.d.key("Down", "Down")
        s.d.shot("%s-arrows" % name, "the %s list after two arrow keys: the third row previewed, the focus"
                                     " still in the list (its selection in the active colour)" % name)
    s.d.activate(s.main)
    s.d.key("ctrl+l")
    s.d.shot("log", "the log window after a clean scan")
    s.stop()


def search_all_folders(s):
    """The search across every folder: results from every folder, a result previewed, sorted by date."""
    s.start(s.files["intact"], "--scan")
    s.close_summary(s.wait_summary())
    s.d.activate(s.main)
    s.d.key("ctrl+shift+f")
    s.d.type("example")
    s.d.shot("search-all-folders", "\"example\" typed into \"Search all folders\": the results in the list's place,"
                                   " each with its folder, the count and Save results… and Upload results… above them")
    s.click_main("results-first-row")
    s.d.shot("search-result-preview", "the first result previewed as in the mail list: header lines, attachments, body")
    s.click_main("results-date-header")
    s.d.shot("search-sorted-by-date", "the results sorted by date, the header's arrow on Date")
    s.d.key("ctrl+shift+f")
    s.d.type("prices")
    s.d.key("alt+b")
    s.d.shot("search-bodies", "\"prices\" with \"Bodies too\" checked: the three mails whose bodies hold it")
    s.stop()


def help_and_about(s):
    """Help Topics and the agreement link without a URL handler."""
    s.start()
    select = s.select_window()
    s.d.activate(select)
    s.d.key("Escape")
    s.d.activate(s.main)
    s.d.key("ctrl+question")
    s.d.wait_window("Help")
    s.d.shot("help", "the help page in a window of the application")
    s.d.key("Escape")
    s.d.activate(s.main)
    s.d.key("alt+m", "Return")
    about = s.d.wait_window("About")
    s.d.shot("about", "the about box")
    known = s.known()
    s.d.click_in(about, -80, -58)  # the agreement button
    s.new_window(known)
    s.d.shot("about-agreement", "the agreement shown in a window of the application")
    s.stop()


def mail_links(s):
    """A link in a mail body: an offer to open it, never "Failed to load URL"."""
    s.start(s.files["links"], "--scan")
    s.close_summary(s.wait_summary())
    s.click_main("tree-inbox")
    s.d.shot("link-mail", "a mail whose body links to a web page and a mail address")
    x, y, width, height = s.d.geometry(s.main)
    link = s.d.find_colour(s.main, lambda c: c[2] > 180 and c[0] < 60 and c[1] < 60,
                           (width - 420, 200, 420, height - 240))
    if not link:
        s.d.shot("link-not-found", "no link colour found in the preview")
        s.stop()
        return
    known = s.known()
    s.d.click(*link)
    s.new_window(known)
    s.d.shot("link-offer", "the offer to open the link with the system's handler")
    s.d.key("Return")
    s.d.shot("link-declined", "after No: the mail still shown, nothing loaded")
    s.stop()


def damaged_files(s):
    """The loss line and the log's losses for a truncated and a wiped file."""
    for name in ("truncated", "wiped"):
        s.start(s.files[name], "--scan")
        summary = s.wait_summary()
        s.d.shot("summary-%s" % name, "the summary of the %s file with its loss line" % name)
        s.close_summary(summary)
        s.d.activate(s.main)
        s.d.key("ctrl+l")
        s.d.wait_window("Log Report")
        s.d.shot("log-%s" % name, "the log listing the losses of the %s file" % name)
        s.stop()


def choose_directory(s, path):
    chooser = s.d.wait_window("Select Folder")
    s.d.activate(chooser)
    s.d.key("ctrl+a")
    s.d.type(path)
    s.d.key("Return")


def saving(s):
    """Save: disabled while it runs, the views locked, Escape and the close button asking, the end message."""
    destination = os.path.join(s.work, "saved")
    shutil.rmtree(destination, ignore_errors=True)
    os.makedirs(destination)
    s.start(s.files["huge"], "--scan")
    s.close_summary(s.wait_summary(300))
    s.click_main("root-box")
    s.d.shot("save-checked", "every folder checked for the save")
    known = s.known()
    s.d.key("ctrl+s")
    s.new_window(known)
    s.d.shot("save-format", "Save asks for the format first")
    s.d.key("Return")
    choose_directory(s, destination)
    # The save is fast: Escape goes in at once, the shots follow the question.
    progress = s.d.wait_window(PROGRESS_TITLE, settle=0.1)
    s.d.activate(progress)
    known = s.known()
    s.d.key("Escape", pause=0.1)
    s.new_window(known)
    s.d.shot("save-escape-asks", "Escape on the progress dialog asks the Stop question; behind it Open and Save"
                                 " disabled in the toolbar, the tree's boxes greyed and locked")
    s.d.key("Return")  # No, the default: the save goes on
    s.d.wait_gone(PROGRESS_TITLE, 600)
    time.sleep(1)
    s.d.shot("save-complete", "the completion message naming the destination and the counts written")
    s.d.key("Return")
    # A second save, as standard files, stopped with the progress dialog's close button.
    s.keys_open(s.main, "ctrl+s")
    s.d.key("Down", "Return")
    choose_directory(s, destination)
    # The save is fast: the close button at once, no looking around first (the question
    # carries the progress window's own title).
    s.d.wait_window(PROGRESS_TITLE, settle=0)
    s.d.key("alt+F4", pause=0.5)
    s.d.shot("save-close-asks", "the progress dialog's close button asks the Stop question")
    s.d.key("alt+y")
    time.sleep(2)
    s.d.shot("save-stopped", "a stopped save: \"Saving Process Aborted. Files Saved Partially.\", never success;"
                             " how many items were not written, and that the rescue report lists them per folder")
    s.d.key("Return")
    s.d.activate(s.main)
    s.d.key("ctrl+l")
    s.d.wait_window("Log Report")
    s.d.shot("save-log", "the log recording both saves' outcomes")
    s.stop()


def saving_pdf(s):
    """Save offers EML and PDF; a PDF save of the intact sample, and a page of what it wrote."""
    destination = os.path.join(s.work, "saved-pdf")
    shutil.rmtree(destination, ignore_errors=True)
    os.makedirs(destination)
    s.start(s.files["intact"], "--scan")
    s.close_summary(s.wait_summary())
    s.click_main("root-box")
    s.keys_open(s.main, "ctrl+s")
    s.d.key("Down", "Down", "Down", "Tab", "space")
    s.d.shot("save-format-pdf", "Save offers the bundle, standard files, EML and PDF, and upload; PDF chosen with"
                                " \"One PDF document for each folder\", which is offered with PDF only")
    s.d.key("Return")
    choose_directory(s, destination)
    s.d.wait_gone(PROGRESS_TITLE, 300)
    time.sleep(1)
    s.d.shot("save-pdf-complete", "the completion message naming the PDF files' folder and the counts written")
    s.d.key("Return")
    documents = sorted(os.path.join(top, name) for top, _, names in os.walk(destination)
                       for name in names if name.endswith(".pdf"))
    if documents and shutil.which("pdftoppm"):
        s.d.count += 1
        picture = os.path.join(s.d.outdir, "%02d-pdf-first-page" % s.d.count)
        subprocess.check_call(["pdftoppm", "-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", documents[0],
                               picture])
        s.d.index.write("%s.png\n  shows: the first page of %s: header block, body, page number\n"
                        % (os.path.basename(picture), os.path.relpath(documents[0], destination)))
    s.stop()


def typed_path_and_losses(s):
    """A typed path scanned with Return, a mail's missing attachments, File > Quit, the small window."""
    s.start()
    select = s.select_window()
    s.d.activate(select)
    s.d.click_in(select, 200, 135)  # the path field
    s.d.type(s.files["lost-attachment"])
    s.d.shot("select-typed", "a path typed into \"Select OLM File\": Scan Now enabled, the default button")
    s.d.key("Tab", "Tab", "Tab")
    s.d.shot("select-focus-start", "Tab to Scan Now: its focus frame shows")
    s.d.key("Return")
    s.close_summary(s.wait_summary())
    s.click_main("tree-inbox")
    s.d.shot("missing-attachments", "a mail whose attachments the damage took: the paperclip in the list, each"
                                    " attachment listed as \"missing\" with its size, and named in the header")
    s.d.activate(s.main)
    s.d.key("alt+f")
    s.d.shot("file-menu-quit", "the File menu ending in Quit, Ctrl+Q")
    s.d.key("Escape")
    s.d._quiet(["xdotool", "windowsize", s.main, "800", "600"])
    time.sleep(1)
    s.click_main("tree-inbox")
    s.d.shot("window-800x600", "the main window at 800 by 600: the three panes, the list scrollable sideways")
    s.d.activate(s.main)
    s.d.key("ctrl+l")
    log = s.d.wait_window("Log Report")
    s.d._quiet(["xdotool", "windowsize", log, "760", "520"])
    time.sleep(1)
    s.d.shot("log-resized", "the log window made larger, its text with it")
    s.d.key("Escape")
    s.keys_open(s.main, "ctrl+q")
    s.d.shot("quit-asks", "Ctrl+Q asks the close question, titled for what it is")
    s.d.key("Escape")
    s.stop()


def stopped_scan(s):
    """A stopped scan keeps what it found and says so."""
    s.start(s.files["huge"], "--scan")
    progress = s.d.wait_window(PROGRESS_TITLE, settle=0.3)
    s.d.shot("scan-progress", "the scan's progress dialog with its Stop button")
    s.d.activate(progress)
    known = s.known()
    s.d.key("Escape")
    s.new_window(known)
    s.d.shot("scan-escape-asks", "Escape during the scan asks the Stop question")
    s.d.key("alt+y")
    time.sleep(1.5)
    s.d.shot("scan-stopped", "the stopped scan says it was stopped before the end and keeps what it found")
    s.d.key("Return")
    time.sleep(1)
    s.d.shot("scan-stopped-window", "the main window with the folders and mails found before the stop")
    # Saved as standard files: never "Files Saved Successfully.", and how far the scan got.
    destination = os.path.join(s.work, "after-stopped-scan")
    shutil.rmtree(destination, ignore_errors=True)
    os.makedirs(destination)
    s.click_main("root-box")
    s.keys_open(s.main, "ctrl+s")
    s.d.key("Down")
    s.d.shot("save-format-standard", "the format question with Standard files chosen")
    s.d.key("Return")
    choose_directory(s, destination)
    s.d.wait_gone(PROGRESS_TITLE, 600)
    time.sleep(1)
    s.d.shot("save-after-stopped-scan", "the save's end after a stopped scan: the items found were saved, the scan"
                                        " read only part of the file, how much")
    s.d.key("Return")
    # Saved again over the first (the format offered is the one chosen last): the question answers No on Return.
    s.keys_open(s.main, "ctrl+s")
    s.d.key("Return")
    choose_directory(s, destination)
    s.d.wait_window("Save")
    s.d.shot("standard-replace-asks", "replacing the earlier standard files asks first, No the default")
    s.d.key("Escape")
    s.stop()


def find_olm(s):
    """Find OLM: its columns, a stopped search keeping its rows, Scan Now asking over loaded data."""
    s.start()
    select = s.select_window()
    s.d.activate(select)
    s.d.click_in(select, 509, 135)  # Find OLM
    finder = s.d.wait_window("Find OLM")
    s.d.shot("find-dialog", "the Find OLM dialog")
    s.d.click_in(finder, 502, 43)  # Find in Folder
    choose_directory_titled(s, "Open Directory", s.files["tree"])
    s.d.activate(finder)
    s.d.click_in(finder, 395, 81)  # Start
    time.sleep(5)
    s.d.shot("find-results", "the results: Name, Size, Created, Accessed, Modified sized to their content; cut.OLM"
                             " among them")
    s.d.activate(finder)
    s.d.click_in(finder, 250, 43)  # Look In: the first volume, the root
    s.d.key("Home", "Return")
    s.d.click_in(finder, 395, 81)  # Start
    time.sleep(1.0)
    known = s.known()
    s.d.click_in(finder, 519, 81)  # Stop
    s.new_window(known)
    s.d.shot("find-stop-asks", "Stop asks before ending the search")
    s.d.key("alt+y")
    time.sleep(1)
    s.d.shot("find-stopped", "the stopped search keeps the rows it found")
    s.stop()


def choose_directory_titled(s, title, path):
    chooser = s.d.wait_window(title)
    s.d.activate(chooser)
    s.d.key("ctrl+a")
    s.d.type(path)
    s.d.key("Return")


def rescan(s):
    """A new scan closes the previous summary; Find File asks before replacing loaded data."""
    s.start(s.files["intact"], "--scan")
    s.wait_summary()
    s.d.activate(s.main)
    known = s.known()
    s.d.key("ctrl+n")
    s.new_window(known)
    s.d.shot("open-asks", "Open over loaded data asks first")
    s.d.key("alt+y")
    select = s.select_window()
    s.d.activate(select)
    s.d.key("Escape")
    s.d.activate(s.main)
    s.d.key("ctrl+n")
    s.scan_from_select()
    s.d.shot("rescan-one-summary", "after a second scan only its own summary is up")
    s.d.key("Return")
    s.d.activate(s.main)
    known = s.known()
    s.d.key("ctrl+f")
    s.new_window(known)
    s.d.shot("find-file-asks", "Find File over loaded data asks the same question as Open")
    s.d.key("Return")
    s.stop()


def upload_form(s):
    """Upload: the account form with its certificate file and collection fields, and a refused certificate
    named by its fingerprint. Dovecot is served by the upload tests' helper."""
    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "e2e", "mailservers.py")],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        served = server.stdout.readline().split()
        s.start(s.files["intact"], "--scan")
        s.close_summary(s.wait_summary())
        s.click_main("root-box")
        s.keys_open(s.main, "ctrl+s")
        # Upload is the last choice, after the bundle, standard files, EML and PDF.
        form = s.keys_open(s.d.windows("Save")[-1] if s.d.windows("Save") else s.main,
                           "Down", "Down", "Down", "Down", "Return")
        s.d.activate(form)
        s.d.type("127.0.0.1")
        s.d.key("Tab", "ctrl+a")
        s.d.type(served[2])  # the IMAPS port
        s.d.key("Tab")
        s.d.type("rescuer")
        s.d.key("Tab")
        s.d.type(served[1])
        s.d.key("Tab", "Tab", "Tab", "Tab")  # past the security choice, the certificate file and its button
        s.d.type("https://dav.example.com/addressbooks/rescuer/default/")
        s.d.key("Tab")
        s.d.type("https://dav.example.com/calendars/rescuer/default/")
        s.d.shot("upload-form", "the upload form: server, port, user, password, security, a certificate file with"
                                " Choose…, the CardDAV and CalDAV addresses, and what goes where")
        known = s.known()
        s.d.key("Return")
        s.new_window(known)
        s.d.shot("upload-certificate-refused", "the server's own certificate refused: its SHA-256 fingerprint %s,"
                                               " and the form's \"Certificate file\" named" % served[4])
        s.d.key("Return")
    finally:
        server.stdin.close()
        server.wait(30)


SCENARIOS = [startup, startup_with_file, browse_intact, search_all_folders, help_and_about, mail_links, damaged_files, rescan,
             find_olm, typed_path_and_losses, stopped_scan, saving, saving_pdf, upload_form]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir", help="where the PNGs and index.txt go")
    parser.add_argument("--display", default=":33", help="the X display to start (default :33)")
    parser.add_argument("--only", nargs="*", choices=[f.__name__ for f in SCENARIOS], help="run only these")
    parser.add_argument("--work", help="keep the generated files here (default: a temporary folder)")
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "xdotool", "xwininfo", "import"):
        if not shutil.which(tool):
            sys.exit("%s is missing: run tools/bootstrap.sh --tests" % tool)
    os.makedirs(args.outdir, exist_ok=True)
    work = args.work or tempfile.mkdtemp(prefix="mendora-shots-")
    os.makedirs(work, exist_ok=True)
    files = make_files(work)
    marker_was_there = os.path.exists(AGREEMENT_MARKER)
    desktop = Desktop(args.display, os.path.abspath(args.outdir))
    session = Session(desktop, files, work)
    failures = 0
    try:
        for scenario in SCENARIOS:
            if args.only and scenario.__name__ not in args.only:
                continue
            try:
                scenario(session)
            except Exception as error:  # one scenario's trouble is shown, and the others still run
                failures += 1
                desktop.shot("%s-failed" % scenario.__name__, "the screen when %s failed: %s" % (scenario.__name__, error))
                print("%s failed: %s" % (scenario.__name__, error), file=sys.stderr)
            finally:
                session.stop()
    finally:
        desktop.close()
        if not marker_was_there and os.path.exists(AGREEMENT_MARKER):
            os.remove(AGREEMENT_MARKER)
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
