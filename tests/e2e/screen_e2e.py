#!/usr/bin/env python3
"""The picture on screens of several sizes, in full screen and in a window, and
the window closed as a window manager closes it. The title card stands still
for four seconds; on a 1024x768 screen it is the show's own frame, pixel for
pixel, and every other screen must show that frame scaled.

Usage: screen_e2e.py SHOW DAT CLOSE_WINDOW CASE
"""

import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.dont_write_bytecode = True
from x_session import (Failure, XServer, check, copy_dat, held_once, magick, main, picture_fault, poll,  # noqa: E402
                       rgb)

SHOW, DAT, CLOSER, CASE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
# A show built with the sanitizers takes their settings from the run.
# How soon the show must end once its window closes or its display goes: at
# once for a viewer, with room for a machine busy with other work.
CLOSING = 10
SANITIZERS = {name: value for name, value in os.environ.items()
              if name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")}


class Show:
    """The show on its own X server, in a folder with dat/, held still on its title
    card: stopped, it takes no ticks of its clock, and it runs only for moments in
    which it takes what the test did (a key, a new size) and presents the picture
    anew. So the title card stays however slow the test's grabs are."""

    def __init__(self, root, screen, *options, server=None):
        self.root, self.play = root, tempfile.mkdtemp(prefix=screen, dir=root)
        copy_dat(DAT, self.play)
        self.x, self.process = server or XServer(screen), None
        try:
            env = {**self.x.env, **SANITIZERS, "HOME": self.play, "PATH": "/nonexistent"}
            self.process = subprocess.Popen([SHOW, *options], cwd=self.play, env=env,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            text=True)
            self.window = self.held_on_title_card()
        except BaseException:
            self.end()
            raise

    def held_on_title_card(self):
        """The show's window, focused, once the show is held on its title card. The
        show runs half a second at a time between grabs and is held during each, so
        the first lit grab finds it at most 30 ticks into the title card however
        slow the grabs are; it has a minute of running to load and get there."""
        window = poll(lambda: self.x.window() or self.process.poll() is not None, 60)
        if self.process.poll() is not None:
            raise Failure("the show ended with status %d before its window appeared: %r"
                          % (self.process.returncode, self.process.communicate()))
        check(window, "the show's window never appeared")
        self.x.xdotool("windowfocus", "--sync", window)
        # A window's grab before its first picture holds levels up to 8, not 0.
        if held_once(self.process, lambda: max(self.x.grab_raw(window), default=0) > 10, 120):
            return window
        raise Failure("the title card never appeared in a minute of the show's running (the show: %r)"
                      % self.process.poll())

    def hold(self):
        os.kill(self.process.pid, signal.SIGSTOP)

    def resume(self):
        os.kill(self.process.pid, signal.SIGCONT)

    def moment(self):
        """Lets the held show run for 50 ms: at most four ticks of its clock."""
        self.resume()
        time.sleep(0.05)
        self.hold()

    def until(self, predicate, moments=40):
        """Runs the held show a moment at a time until `predicate` holds; whether it
        did. Forty moments take at most 160 of the title card's 250 ticks."""
        for _ in range(moments):
            self.moment()
            if predicate():
                return True
        return False

    def title_card(self, name):
        """A grab of the title card, on which the show is held."""
        path = os.path.join(self.root, name + ".png")
        self.x.grab_to(path)
        check(max(rgb_bytes(path), default=0) > 0, "the title card is not on the screen")
        return path

    def close(self):
        """Asks the window to close; the status and how long the show took to end."""
        self.resume()
        asked = time.monotonic()
        self.x.close_window(CLOSER, self.window)
        try:
            status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            raise Failure("the show did not end after its window was closed")
        return status, time.monotonic() - asked

    def end(self):
        if self.process and self.process.poll() is None:
            self.resume()
            self.process.kill()
            self.process.wait()
        self.x.close()


def rgb_bytes(path):
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                          timeout=60).stdout


def reference(root):
    """The title card on a screen of the picture's own size: the show's frame itself."""
    show = Show(root, "1024x768x16")
    try:
        return show.title_card("reference")
    finally:
        show.end()


def expect_picture(grab, frame, box, sharp, root, what):
    fault = picture_fault(grab, frame, box, sharp, root, what)
    check(fault is None, fault)


def expect_rescaled(show, frame, box, root, what, crop=None):
    """The title card, rescaled to box after a change of the window's size: grabbed
    after each moment of the held show until it has drawn it so."""
    path, fault = os.path.join(root, what + ".png"), None

    def rescaled():
        nonlocal fault
        show.x.grab_to(path)
        if crop:
            magick(path, "-crop", crop, "+repage", path)
        fault = picture_fault(path, frame, box, False, root, what)
        return fault is None
    if not show.until(rescaled, moments=20):
        raise Failure(fault)


# Cases

def screens(root):
    """Full screen on three desktops: the whole picture, aspect kept, as large as fits."""
    frame = reference(root)
    for screen, box, sharp in [("1920x1080x24", (240, 0, 1440, 1080), False),
                               ("800x600x24", (0, 0, 800, 600), False),
                               ("2560x1600x24", (256, 32, 2048, 1536), True)]:
        show = Show(root, screen)
        try:
            expect_picture(show.title_card(screen), frame, box, sharp, root, screen)
            # The screenshot is the show's own picture, not the scaled one.
            show.resume()
            show.x.xdotool("type", "s")
            show.x.xdotool("keydown", "Escape")
            check(show.process.wait(30) == 0, "the show failed on %s" % screen)
            rgb(os.path.join(show.play, "qirboSho.pcx"))
        finally:
            show.end()


def options(root):
    """--help and --version answer and exit 0, naming the program as installed
    whatever its file is called; anything else is refused with status 2."""
    for option, status, stream, text in [("--help", 0, "stdout", "resizable window"),
                                         ("--help", 0, "stdout", "Usage: starloom "),
                                         ("--version", 0, "stdout", "starloom "),
                                         ("--fullscreen", 2, "stderr", "Usage:")]:
        result = subprocess.run([SHOW, option], capture_output=True, text=True, timeout=20,
                                env={**SANITIZERS, "PATH": "/nonexistent"})
        said = getattr(result, stream)
        check(result.returncode == status and text in said and
              (status == 0 or len(said.splitlines()) == 1),
              "%s: status %d, %s %r" % (option, result.returncode, stream, said))


def window(root):
    """--window: a 1024x768 window named after the show, rescaled as it is resized."""
    frame = reference(root)
    show = Show(root, "1280x1024x24", "--window")
    try:
        check(show.x.xdotool("getwindowname", show.window) == "STARLOOM", "the window's title")
        geometry = show.x.xdotool("getwindowgeometry", show.window)
        check("Geometry: 1024x768" in geometry, "the window is not 1024x768: %s" % geometry)
        show.x.xdotool("windowmove", show.window, "0", "0")
        show.x.xdotool("windowsize", "--sync", show.window, "640", "360")
        expect_rescaled(show, frame, (80, 0, 480, 360), root, "resized window", crop="640x360+0+0")
        status, took = show.close()
        check(status == 0 and took < CLOSING, "closing the window: status %d after %.2f s"
              % (status, took))
    finally:
        show.end()


def window_manager(root):
    """Under a window manager: F11 and Alt+Enter switch between the window and full
    screen, and its Alt+F4 ends the show."""
    frame = reference(root)
    x, show = XServer("1280x1024x24"), None
    manager = subprocess.Popen(["openbox"], env=x.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        show = Show(root, "1280x1024x24", "--window", server=x)

        def geometry():
            return show.x.xdotool("getwindowgeometry", show.window)
        check("Geometry: 1024x768" in geometry(), "not a 1024x768 window: %s" % geometry())
        show.x.xdotool("key", "F11")
        check(show.until(lambda: "Geometry: 1280x1024" in geometry()), "F11: %s" % geometry())
        expect_rescaled(show, frame, (0, 32, 1280, 960), root, "full screen by F11")
        show.x.xdotool("key", "alt+Return")
        check(show.until(lambda: "Geometry: 1024x768" in geometry()), "Alt+Enter: %s" % geometry())
        show.resume()
        asked = time.monotonic()
        show.x.xdotool("key", "alt+F4")
        check(show.process.wait(30) == 0 and time.monotonic() - asked < CLOSING, "Alt+F4 did not end it")
    finally:
        manager.kill()
        if show:
            show.end()
        x.close()


def one_line_and_status_1(show, within, what):
    try:
        _, err = show.process.communicate(timeout=within)
    except subprocess.TimeoutExpired:
        raise Failure("%s: the show did not end within %.0f s" % (what, within))
    check(show.process.returncode == 1 and len(err.splitlines()) == 1,
          "%s: status %d, stderr %r" % (what, show.process.returncode, err))


def lost_display(root):
    """A display that goes away ends the show at once, in one line, status 1, no core."""
    show = Show(root, "1024x768x16")
    try:
        show.resume()
        show.x.close()
        one_line_and_status_1(show, CLOSING, "X server ended")
    finally:
        show.end()
    show = Show(root, "1024x768x16")
    try:
        show.resume()
        show.x.xdotool("windowclose", show.window)  # destroys it, as xkill's kin do
        one_line_and_status_1(show, CLOSING, "window destroyed")
    finally:
        show.end()
    # A server that takes the connection and never answers.
    folder = tempfile.mkdtemp(dir=root)
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    number = next(n for n in range(600, 700) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
    silent = socket.socket(socket.AF_UNIX)
    silent.bind("/tmp/.X11-unix/X%d" % number)
    silent.listen(4)
    try:
        copy_dat(DAT, folder)
        started = time.monotonic()
        env = {**SANITIZERS, "DISPLAY": ":%d" % number, "HOME": folder}
        process = subprocess.run([SHOW], cwd=folder, env=env, capture_output=True, text=True,
                                 timeout=30)
        took = time.monotonic() - started
        # It gives up after 10 s of silence; a busy machine may add a little.
        check(process.returncode == 1 and len(process.stderr.splitlines()) == 1 and took < 20,
              "silent server: status %d after %.1f s, stderr %r" % (process.returncode, took,
                                                                   process.stderr))
    finally:
        silent.close()
        os.unlink("/tmp/.X11-unix/X%d" % number)
    check(not any(name.startswith("core") for _, _, names in os.walk(root) for name in names),
          "a core was dumped")


def icon_pixels():
    """The desktop icon's pixels, as a window manager reads a window's icon: one
    number a pixel, alpha in the top byte, then red, green and blue."""
    with open(os.path.join(os.path.dirname(os.path.abspath(DAT)), "package", "starloom.png"), "rb") as f:
        png = f.read()
    width, height = struct.unpack(">II", png[16:24])
    at = png.index(b"IDAT")
    rows = zlib.decompress(png[at + 4:at + 4 + struct.unpack(">I", png[at - 4:at])[0]])
    stride = width * 4 + 1
    check(all(rows[y * stride] == 0 for y in range(height)), "the icon's rows are filtered")
    pixels = b"".join(rows[y * stride + 1:(y + 1) * stride] for y in range(height))
    return [width, height] + [a << 24 | r << 16 | g << 8 | b
                              for r, g, b, a in struct.iter_unpack("4B", pixels)]


def identity(root):
    """The window carries the show's icon and the installed program's class, though
    the program's file has another name."""
    show = Show(root, "1024x768x24", "--window")
    try:
        said = show.x.run("xprop", "-id", show.window, "-notype", "WM_CLASS", text=True).stdout
        check(said.strip() == 'WM_CLASS = "starloom", "starloom"', "the window's class: %r" % said)
        said = show.x.run("xprop", "-id", show.window, "-notype", "-f", "_NET_WM_ICON", "32c",
                           "=$0+", "_NET_WM_ICON", text=True).stdout
        check(said.startswith("_NET_WM_ICON="), "the window has no icon: %r" % said)
        shown = [int(value) for value in said.split("=", 1)[1].split(",")]
        expected = icon_pixels()
        check(shown == expected, "the window's icon is not the desktop icon: %d values, %s..., expected %d, %s..."
              % (len(shown), shown[:4], len(expected), expected[:4]))
    finally:
        show.end()


CASES = {"screens": screens, "options": options, "window": window,
         "window-manager": window_manager, "lost-display": lost_display, "identity": identity}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
