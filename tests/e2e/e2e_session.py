#!/usr/bin/env python3
"""One session with the real program on a virtual X server, driven as a user drives it:
keys and mouse through the window system (xdotool), never by calling into the program.

It opens a cabinet named on the command line, switches view styles and sort order with
the menu accelerators and with the tool-bar buttons, selects entries with the mouse,
extracts them through the Extract command and the folder browser (typing the target
folder into the browser's folder line), and checks the files written, the status bar,
the window captions and the settings saved on quit. The program's test hooks
(MORBEK_TEST_HOOKS) only report state and widget positions; they never act.

Exit status: 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool).
A screenshot of each step goes to the artefacts folder, with the program's output.
"""
import argparse
import os
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cabinet  # noqa: E402

SKIP = 77
STEP_TIMEOUT = 15.0   # seconds for any one thing to happen
RUN_TIMEOUT = 110     # the whole session, Xvfb start to clean-up

# The cabinet: file-table order, two folders (stored, MSZIP), one entry in a subfolder.
STAMP = (cabinet.dos_date(2001, 2, 3), cabinet.dos_time(4, 5, 6))
ENTRIES = [
    ("zebra.txt", b"Zebra stripes\r\n" * 20),
    ("apple.txt", b"apple core\n" * 7),
    ("docs\\mango.bin", random.Random(7).randbytes(40000)),  # spans two data blocks
    ("Kiwi.txt", b"kiwi " * 50),
]
CONTENT = {name.split("\\")[-1]: data for name, data in ENTRIES}
NATURAL = ["zebra.txt", "apple.txt", "mango.bin", "Kiwi.txt"]
BY_NAME = ["apple.txt", "Kiwi.txt", "mango.bin", "zebra.txt"]  # locale order, not code points

# Tool-bar buttons: their design position (96 dpi) inside the tool-bar panel, 25 x 25.
TOOL_BUTTONS = {
    "ExtrBtn": (32, 4), "GrandesBtn": (210, 5), "PetitesBtn": (238, 5),
    "ListeBtn": (266, 5), "AlphaBtn": (331, 5), "AucunBtn": (360, 5),
}
PANEL_DESIGN_HEIGHT = 34
# Names of very different lengths, long and short in turn, for the icon captions.
NAMES = ["a.c", "msorcl32.dll", "x", "a name with several blanks between its words.txt",
         "averyveryverylongnamewithoutanyblank_0123456789_abcdefghijklmnop.dll", "msorcl32.hlp"]
RESTARTS = 3
# The language of each restart (the stored setting: 0 French, 1 English, 2 German),
# the word that starts the main window's caption, and the accelerator of its Files menu;
# Information is "i" in all three.
LANGUAGES = {1: (0, "french", "fichier", "f"), 2: (2, "german", "Datei", "d"), 3: (1, "english", "file", "f")}
BROWSER_TITLE = "Browse to search a folder"


class Failure(Exception):
    pass


def wait_until(what, probe, timeout=STEP_TIMEOUT, interval=0.05):
    """Polls probe until it returns something true; that value, or Failure at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def check(condition, message):
    if not condition:
        raise Failure(message)


class Session:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.artifacts = os.path.abspath(args.artifacts)
        self.children = []          # (name, Popen), stopped in reverse order
        self.lines = []             # the program's stdout
        self.lines_changed = threading.Condition()
        self.env = None
        self.shot_count = 0
        self.shooter = None
        self.with_wm = False

    # --- set-up ------------------------------------------------------------------

    def prepare_folders(self):
        for folder in (self.work, self.artifacts):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        home = os.path.join(self.work, "home")
        for sub in ("config/morbek", "data", "cache", "runtime", "tmp"):
            os.makedirs(os.path.join(home, sub), mode=0o700)
        # The association question was answered before: none shows at the first start.
        self.user_reg = os.path.join(home, "config/morbek/user.reg")
        with open(self.user_reg, "w", encoding="ascii") as store:
            store.write('REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek\\Setup]\n'
                        '"Install"=dword:00000000\n\n')
        self.home = home
        self.cab = os.path.join(self.work, "e2e sample.cab")  # a blank in the name, as users have
        cabinet.write_cabinet(self.cab, [
            (cabinet.STORED, [(n, d, STAMP, 0x20) for n, d in ENTRIES[:2]]),
            (cabinet.MSZIP, [(n, d, STAMP, 0x20) for n, d in ENTRIES[2:]]),
        ])
        self.names_cab = os.path.join(self.work, "names.cab")
        cabinet.write_cabinet(self.names_cab, [
            (cabinet.STORED, [(n, n.encode() * 3, STAMP, 0x20) for n in NAMES])])
        self.targets = [os.path.join(self.work, "out", name) for name in ("first", "second")]
        for target in self.targets:
            os.makedirs(target)

    def spawn(self, name, argv, **kwargs):
        log = open(os.path.join(self.artifacts, name + ".log"), "wb")
        kwargs.setdefault("stdout", log)
        kwargs.setdefault("stderr", log)
        proc = subprocess.Popen(argv, **kwargs)
        self.children.append((name, proc))
        return proc

    def start_display(self):
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + STEP_TIMEOUT
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 64) if ready else b""
            if not chunk:
                raise Failure("Xvfb did not report its display")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

        base = {k: v for k, v in os.environ.items()
                if k not in ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY",
                             "SESSION_MANAGER", "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN",
                             "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "LANGUAGE", "XAUTHORITY")}
        base.update({
            "DISPLAY": self.display, "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "runtime"),
            "TMPDIR": os.path.join(self.home, "tmp"),
            "LC_ALL": "en_US.UTF-8", "LANG": "en_US.UTF-8", "TZ": "UTC",
            "QT_QPA_PLATFORM": "xcb",
        })
        self.env = base

    def start_window_manager(self):
        # Focus and activation as on a desktop; without one the session still runs, with
        # the keyboard following the pointer-less X default.
        if self.args.no_window_manager:
            return
        if not shutil.which("openbox") or not shutil.which("xprop"):
            print("note: no openbox/xprop, running without a window manager")
            return
        self.spawn("openbox", ["openbox", "--sm-disable"], env=self.env)
        wait_until("the window manager", lambda: "window id #" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout)
        self.with_wm = True

    def pick_shooter(self):
        if shutil.which("import"):
            self.shooter = lambda path: self.run(["import", "-window", "root", path], timeout=20)
        elif shutil.which("xwd") and shutil.which("convert"):
            def shoot(path):
                dump = path + ".xwd"
                self.run(["xwd", "-root", "-silent", "-out", dump], timeout=20)
                self.run(["convert", dump, path], timeout=20)
                os.unlink(dump)
            self.shooter = shoot
        else:
            print("note: no ImageMagick or xwd, no screenshots")

    def start_program(self, cab=None, log="program"):
        env = dict(self.env, MORBEK_TEST_HOOKS="1")
        with self.lines_changed:
            self.lines = []
        self.program = self.spawn(log, [self.args.program, cab or self.cab], env=env, cwd=self.work,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        hooks_log = open(os.path.join(self.artifacts, log.replace("program", "hooks") + ".log"), "w",
                         encoding="utf-8")

        def read():
            for raw in self.program.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\n")
                hooks_log.write(line + "\n")
                hooks_log.flush()
                with self.lines_changed:
                    self.lines.append(line)
                    self.lines_changed.notify_all()
        threading.Thread(target=read, daemon=True).start()

    # --- talking to the program and the X server ------------------------------------

    def run(self, argv, timeout=STEP_TIMEOUT, check_rc=False):
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=timeout)
        if check_rc and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed: {result.stderr.strip()}")
        return result

    def xdo(self, *args):
        return self.run(["xdotool", *args], check_rc=True).stdout.strip()

    def wait_line(self, what, predicate, start=0, timeout=STEP_TIMEOUT):
        deadline = time.monotonic() + timeout
        with self.lines_changed:
            while True:
                for line in self.lines[start:]:
                    if predicate(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0 or self.program.poll() is not None:
                    raise Failure("no " + what + " from the program")
                self.lines_changed.wait(left)

    def ask(self, command):
        """Sends one hook command and returns the rest of its answer line."""
        with self.lines_changed:
            start = len(self.lines)
        word = command.split(" ")[0]
        prefix = command + " " if word in ("where", "item", "text") else word + " "
        self.program.stdin.write((command + "\n").encode())
        self.program.stdin.flush()
        return self.wait_line(repr(command) + " answer", lambda l: l.startswith(prefix), start)[len(prefix):]

    def expect(self, command, wanted, what):
        """Polls a hook until it gives the wanted answer (the program may still be busy)."""
        last = [None]

        def probe():
            last[0] = self.ask(command)
            return last[0] == wanted
        try:
            wait_until(what, probe)
        except Failure:
            raise Failure(f"{what}: {command!r} gave {last[0]!r}, wanted {wanted!r}") from None

    def rect(self, name):
        answer = self.ask("where " + name)
        check(answer != "-", name + " is not shown")
        return [int(v) for v in answer.split()]

    def rows(self):
        with self.lines_changed:
            start = len(self.lines)
        self.program.stdin.write(b"list\n")
        self.program.stdin.flush()
        end = self.wait_line("list", lambda l: l.startswith("rows "), start)
        with self.lines_changed:
            block = self.lines[start:self.lines.index(end, start)]
        return [l[4:] for l in block if l.startswith("row ")]

    def check_rows(self, wanted):
        rows = self.rows()
        check(rows == wanted, f"the list shows {rows}, wanted {wanted}")

    def screenshot(self, step):
        self.shot_count += 1
        if self.shooter:
            self.shooter(os.path.join(self.artifacts, f"{self.shot_count:02d}-{step}.png"))

    def click(self, x, y, modifier=None):
        args = ["mousemove", "--sync", str(x), str(y)]
        if modifier:
            args += ["keydown", modifier, "click", "1", "keyup", modifier]
        else:
            args += ["click", "1"]
        self.xdo(*args)

    def keys(self, *keys):
        self.xdo("key", "--clearmodifiers", *keys)

    def window_named(self, title, other_than=None):
        """The shown top-level window with exactly that title (other than a given one)."""
        def probe():
            found = self.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.program.pid),
                              "--name", "."]).stdout.split()
            for window in found:
                if window == other_than:
                    continue
                if self.run(["xdotool", "getwindowname", window]).stdout.rstrip("\n") == title:
                    return window
            return None
        return wait_until(f"a window titled {title!r}", probe)

    def activate(self, window):
        if self.with_wm:
            self.xdo("windowactivate", "--sync", window)
        else:
            self.xdo("windowfocus", "--sync", window)

    # --- the user's steps ----------------------------------------------------------------

    def menu(self, menu_key, menu_name, item_key, step, ends_program=False):
        self.keys("alt+" + menu_key)
        self.expect("popup", menu_name, f"the {menu_name} menu to open")
        self.screenshot(step)
        self.keys(item_key)
        # A command that ends the program may end it before it could answer.
        if not ends_program:
            self.expect("popup", "-", f"the {menu_name} menu to close")

    def tool_button(self, name):
        # Clicked where the design puts it, scaled as the panel is; the button the program
        # shows there must be the one meant.
        panel_x, panel_y, _, panel_h = self.rect("Panel1")
        scale = panel_h / PANEL_DESIGN_HEIGHT
        left, top = TOOL_BUTTONS[name]
        x = panel_x + round((left + 12) * scale)
        y = panel_y + round((top + 12) * scale)
        bx, by, bw, bh = self.rect(name)
        check(bx <= x < bx + bw and by <= y < by + bh,
              f"{name} is at {bx},{by} {bw}x{bh}, not at its design position {x},{y}")
        self.click(x, y)

    def click_row(self, row, modifier=None):
        def shown():
            answer = self.ask(f"item {row}")
            return answer if answer != "-" else None
        x, y, w, h = [int(v) for v in wait_until(f"row {row} to be shown", shown).split()]
        self.click(x + min(w // 2, 12), y + h // 2, modifier)

    def check_caption(self, window):
        title = "file " + self.cab
        self.expect("caption", title, "the main window's caption")
        caption = self.run(["xdotool", "getwindowname", window]).stdout.rstrip("\n")
        check(caption == title, f"window manager sees the caption {caption!r}, wanted {title!r}")

    def extract_into(self, target, previous, opener, step):
        mark = len(self.lines)
        opener()
        self.wait_line("folder browser", lambda l: l == "dialog " + BROWSER_TITLE, mark)
        dialog = self.window_named(BROWSER_TITLE)
        self.activate(dialog)
        # The browser opens on the folder chosen last time (on none the first time).
        self.expect("text FolderEdit", previous, "the folder line to show the preselected folder")
        focus = self.ask("focus")
        for _ in range(6):
            if focus == "FolderEdit":
                break
            self.keys("Tab")
            before = focus

            def moved():
                now = self.ask("focus")
                return now if now != before else None
            focus = wait_until("the focus to move on Tab", moved)
        check(focus == "FolderEdit", "Tab never reached the folder line")
        self.keys("ctrl+a")
        self.xdo("type", "--delay", "4", target)
        self.expect("text FolderEdit", target, "the typed folder")
        self.screenshot(step + "-browser")
        self.keys("Return")
        self.expect("where ShellBrowserDialog", "-", "the folder browser to close")

    def wait_for_files(self, target, names, step):
        def written():
            try:
                present = sorted(os.listdir(target))
            except OSError:
                return False
            if present != sorted(names):
                return False
            for name in names:
                with open(os.path.join(target, name), "rb") as f:
                    if f.read() != CONTENT[name]:
                        return False
            return True
        try:
            wait_until(f"{names} in {target}", written)
        except Failure:
            present = sorted(os.listdir(target))
            raise Failure(f"{target} holds {present}, wanted {sorted(names)} with their contents") from None
        self.screenshot(step)

    def frame_extents(self, window):
        """The frame the window manager put around a window, once it has framed it."""
        answer = self.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"]).stdout
        found = re.search(r"=\s*(\d+), (\d+), (\d+), (\d+)", answer)
        return [int(v) for v in found.groups()] if found else None

    def progress_dialog(self):
        """The progress dialog asks for a title bar without buttons, moving only."""
        if not shutil.which("xprop"):
            return
        mark = len(self.lines)
        self.program.stdin.write(b"pat 4000\n")
        self.program.stdin.flush()
        shown = self.wait_line("progress dialog", lambda l: l.startswith("pat-shown "), mark)
        window = shown.split()[1]
        hints = self.run(["xprop", "-id", window, "_MOTIF_WM_HINTS"]).stdout.strip()
        check(hints.endswith("= 0x3, 0x4, 0xa, 0x0, 0x0"),
              f"the progress dialog's Motif hints are {hints!r}, wanted flags 0x3, move 0x4, "
              "border and title 0xa")
        if self.with_wm:
            wait_until("the progress dialog's frame", lambda: self.frame_extents(window))
            actions = self.run(["xprop", "-id", window, "_NET_WM_ALLOWED_ACTIONS"]).stdout.strip()
            with open(os.path.join(self.artifacts, "progress-allowed-actions.txt"), "w") as out:
                out.write(hints + "\n" + actions + "\n")
        self.screenshot("progress-dialog")
        self.wait_line("end of the progress dialog", lambda l: l == "pat-end", mark)

    def run_session(self):
        self.prepare_folders()
        self.start_display()
        self.start_window_manager()
        self.pick_shooter()
        self.start_program()

        # Start: the first activation opens the cabinet of the command line.
        self.wait_line("'shown'", lambda l: l == "shown")
        self.expect("caption", "file " + self.cab, "the cabinet to open")
        main = self.window_named("file " + self.cab)
        self.activate(main)
        self.check_caption(main)
        total = sum(len(d) for d in CONTENT.values())
        self.expect("status", f"4 files, {total} bytes\t", "the status bar after opening")
        self.expect("view", "1 1 0", "large icons, file-table order at the first start")
        self.check_rows(NATURAL)
        self.screenshot("opened")
        self.progress_dialog()

        # The Display menu by its accelerators: details, then sorted by name.
        self.menu("d", "MenAffiche", "d", "display-menu")
        self.expect("view", "4 4 0", "details after Display > Details")
        self.menu("d", "MenAffiche", "n", "display-menu-sort")
        self.expect("view", "4 4 1", "sort by name after Display > Sort on name")
        self.check_rows(BY_NAME)
        self.screenshot("details-by-name")

        # Two entries with the mouse: a click, then Ctrl+click.
        self.click_row(BY_NAME.index("apple.txt"))
        self.expect("status", f"4 files, {total} bytes\t1 selected file, 77 bytes", "one selected")
        self.click_row(BY_NAME.index("mango.bin"), "ctrl")
        self.expect("status", f"4 files, {total} bytes\t2 selected files, 40077 bytes", "two selected")
        self.screenshot("two-selected")

        # Files > Extract, into the first folder typed in the browser.
        self.extract_into(self.targets[0], "", lambda: self.menu("f", "MenFichiers", "e", "files-menu"),
                          "extract-menu")
        self.wait_for_files(self.targets[0], ["apple.txt", "mango.bin"], "extracted-first")
        self.check_caption(main)

        # The tool bar by mouse: list style, file-table order.
        self.activate(main)
        self.tool_button("ListeBtn")
        self.expect("view", "3 3 1", "list style after the List button")
        self.tool_button("AucunBtn")
        self.expect("view", "3 3 0", "file-table order after the No sort button")
        self.check_rows(NATURAL)
        self.screenshot("list-natural")

        # One entry, extracted with the tool-bar button into a second folder.
        self.click_row(NATURAL.index("Kiwi.txt"))
        self.expect("status", f"4 files, {total} bytes\t1 selected file, 250 bytes", "Kiwi selected")
        self.extract_into(self.targets[1], self.targets[0], lambda: self.tool_button("ExtrBtn"),
                          "extract-button")
        self.wait_for_files(self.targets[1], ["Kiwi.txt"], "extracted-second")
        check(sorted(os.listdir(self.targets[0])) == ["apple.txt", "mango.bin"],
              "the first folder changed with the second extraction")

        # The remaining styles from the tool bar, the sort by name from its button.
        self.activate(main)
        self.tool_button("PetitesBtn")
        self.expect("view", "2 2 0", "small icons after the Small icons button")
        self.tool_button("AlphaBtn")
        self.expect("view", "2 2 1", "sort by name after the Sort button")
        self.check_rows(BY_NAME)
        self.screenshot("small-by-name")
        self.tool_button("GrandesBtn")
        self.expect("view", "1 1 1", "large icons after the Large icons button")
        self.expect("status", f"4 files, {total} bytes\t", "the status bar after the re-read")
        self.screenshot("large-by-name")
        self.check_caption(main)

        # Files > Quit: the program ends by itself and keeps the last style and order.
        self.menu("f", "MenFichiers", "q", "files-menu-quit", ends_program=True)
        try:
            code = self.program.wait(timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after Files > Quit") from None
        check(code == 0, f"the program ended with code {code}")
        with open(self.user_reg, encoding="latin-1") as store:
            saved = store.read()
        for name, value in (("Display", 1), ("Order", 1)):
            check(re.search(rf'"{name}"=dword:{value:08x}', saved),
                  f"{name} {value} not saved:\n{saved}")
        self.restarts()

    def stored_bounds(self):
        with open(self.user_reg, encoding="latin-1") as store:
            found = re.search(r'"WState"=([^\n]*(?:\\\n[^\n]*)*)', store.read())
        check(found, "no window bounds saved")
        return re.sub(r"\\\n\s*", "", found.group(1))

    def check_captions(self, what):
        """Every caption of the icon view drawn whole, or wrapped whole in large icons."""
        with self.lines_changed:
            start = len(self.lines)
        self.program.stdin.write(b"captions\n")
        self.program.stdin.flush()
        end = self.wait_line("captions", lambda l: l.startswith("rooms "), start)
        with self.lines_changed:
            block = [l for l in self.lines[start:self.lines.index(end, start)] if l.startswith("room ")]
        check(len(block) == len(NAMES), f"{what}: {len(block)} rows, wanted {len(NAMES)}")
        for line in block:
            _, row, x, y, w, h, need_w, need_h, caption = line.split(" ", 8)
            check(int(w) >= int(need_w) and int(h) >= int(need_h),
                  f"{what}: row {row} {caption!r} has {w}x{h}, its caption needs {need_w}x{need_h}")

    def set_language(self, language):
        with open(self.user_reg, encoding="latin-1") as store:
            saved = store.read()
        saved, count = re.subn(r'"Language"=dword:[0-9a-f]{8}', f'"Language"=dword:{language:08x}', saved)
        check(count == 1, "no language setting saved")
        with open(self.user_reg, "w", encoding="latin-1") as store:
            store.write(saved)

    def wait_framed(self, window):
        """Until the window manager has framed the window and stopped moving it."""
        if not self.with_wm:
            return
        wait_until("the window manager's frame", lambda: self.frame_extents(window))
        last = [None]

        def settled():
            now = self.run(["xdotool", "getwindowgeometry", window]).stdout
            same = now == last[0]
            last[0] = now
            return same
        wait_until("the window to settle", settled, interval=0.1)

    def information_dialog(self, main, menu_key, step):
        """Files > Information: a message dialog titled as the main window is."""
        mark = len(self.lines)
        self.menu(menu_key, "MenFichiers", "i", step + "-menu")
        line = self.wait_line("information dialog", lambda l: l.startswith("dialog "), mark)
        dialog = self.window_named(line[len("dialog "):], other_than=main)
        self.activate(dialog)
        self.wait_framed(dialog)
        self.screenshot(step)
        self.keys("Return")
        wait_until("the information dialog to close", lambda: dialog not in self.run(
            ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.program.pid), "--name", "."]
        ).stdout.split())

    def scaled_start(self):
        """The main window once at twice the scale, for its screenshot only."""
        saved_env = self.env
        self.env = dict(self.env, QT_SCALE_FACTOR="2")
        try:
            self.start_program(self.cab, "program-scaled")
            self.wait_line("'shown'", lambda l: l == "shown")
            main = self.window_named("file " + self.cab)
            self.activate(main)
            self.wait_framed(main)
            self.expect("status", f"4 files, {sum(len(d) for d in CONTENT.values())} bytes\t",
                        "the status bar at twice the scale")
            self.screenshot("scaled-2")
            self.program.stdin.write(b"quit\n")
            self.program.stdin.flush()
            self.program.wait(timeout=STEP_TIMEOUT)
        finally:
            self.env = saved_env

    def restarts(self):
        """Bounds unchanged over restarts; the icon captions of a cabinet of odd names."""
        first = self.stored_bounds()
        for turn in range(1, RESTARTS + 1):
            language, language_name, file_word, files_key = LANGUAGES[turn]
            self.set_language(language)
            self.start_program(self.names_cab, f"program-restart{turn}")
            self.wait_line("'shown'", lambda l: l == "shown")
            self.expect("caption", file_word + " " + self.names_cab, "the cabinet of names to open")
            main = self.window_named(file_word + " " + self.names_cab)
            self.activate(main)
            self.wait_framed(main)
            self.screenshot(f"names-{language_name}")
            self.information_dialog(main, files_key, f"information-{language_name}")
            if turn == 1:
                # mousemove --sync waits for a move: the pointer may rest where it clicks next.
                self.xdo("mousemove", "--sync", "1", "1")
                self.tool_button("GrandesBtn")
                self.expect("view", "1 1 1", "large icons for the names")
                self.check_captions("large icons")
                self.screenshot("names-large")
                self.tool_button("PetitesBtn")
                self.expect("view", "2 2 1", "small icons for the names")
                self.check_captions("small icons")
                self.screenshot("names-small")
                self.tool_button("ListeBtn")
                self.expect("view", "3 3 1", "list for the names")
                self.check_captions("list")
                self.screenshot("names-list")
                self.menu("a", "MenAffiche", "d", "names-display-menu")  # French: &Affichage > &Détails
                self.expect("view", "4 4 1", "details for the names")
                self.screenshot("names-details")
            self.program.stdin.write(b"quit\n")
            self.program.stdin.flush()
            try:
                code = self.program.wait(timeout=STEP_TIMEOUT)
            except subprocess.TimeoutExpired:
                raise Failure(f"restart {turn}: the program did not end on quit") from None
            check(code == 0, f"restart {turn}: the program ended with code {code}")
            now = self.stored_bounds()
            check(now == first, f"restart {turn}: bounds {now}, first saved {first}")
        self.scaled_start()

    # --- clean-up -------------------------------------------------------------------------

    def stop_all(self):
        for _, proc in reversed(self.children):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True, help="the Morbek32 executable")
    parser.add_argument("--work", required=True, help="scratch folder, emptied first")
    parser.add_argument("--artifacts", required=True, help="screenshots and logs, emptied first")
    parser.add_argument("--no-window-manager", action="store_true",
                        help="a bare X server: nothing activates the program's windows")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)

    missing = [tool for tool in ("Xvfb", "xdotool") if not shutil.which(tool)]
    if missing:
        print("SKIPPED: not installed: " + ", ".join(missing))
        return SKIP
    if not os.access(args.program, os.X_OK):
        print("FAILED: no program at " + args.program)
        return 1

    def overrun(*_):
        raise Failure(f"the session took more than {RUN_TIMEOUT} s")
    signal.signal(signal.SIGALRM, overrun)
    signal.alarm(RUN_TIMEOUT)

    session = Session(args)
    started = time.monotonic()
    try:
        session.run_session()
        print(f"PASSED in {time.monotonic() - started:.1f} s; artefacts in {session.artifacts}")
        return 0
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        if session.env:
            try:
                session.screenshot("failure")
            except (OSError, subprocess.SubprocessError):
                pass
        print(f"FAILED: {failure}\nartefacts in {session.artifacts}")
        return 1
    finally:
        signal.alarm(0)
        session.stop_all()


if __name__ == "__main__":
    sys.exit(main())
