#!/usr/bin/env python3
"""The picture on screens of several sizes, in full screen and in a window, and
the window closed as a window manager closes it. The title card stands still
for four seconds; on a 1024x768 screen it is the show's own frame, pixel for
pixel, and every other screen must show that frame scaled.

Usage: screen_e2e.py SHOW DAT CLOSE_WINDOW CASE
"""

import os
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
from x_session import (Failure, XServer, check, copy_dat, magick, main, picture_fault, poll,  # noqa: E402
                       rgb)

SHOW, DAT, CLOSER, CASE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
# A show built with the sanitizers takes their settings from the run.
# How soon the show must end once its window closes or its display goes: at
# once for a viewer, with room for a machine busy with other work.
CLOSING = 3
SANITIZERS = {name: value for name, value in os.environ.items()
              if name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")}


class Show:
    """The show on its own X server, in a folder with dat/."""

    def __init__(self, root, screen, *options, server=None):
        self.root, self.play = root, tempfile.mkdtemp(prefix=screen, dir=root)
        copy_dat(DAT, self.play)
        self.x, self.process = server or XServer(screen), None
        try:
            env = {**self.x.env, **SANITIZERS, "HOME": self.play, "PATH": "/nonexistent"}
            self.process = subprocess.Popen([SHOW, *options], cwd=self.play, env=env,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            text=True)
            self.x.wait_for_window(self.process)
            self.window = self.x.window()
        except BaseException:
            self.end()
            raise

    def title_card(self, name):
        """A grab of the title card (it lasts from about 0.8 s to 5 s): the first
        lit one, as grabs of a large screen are slow on a busy machine."""
        path = os.path.join(self.root, name + ".png")

        def lit():
            self.x.grab_to(path)
            return max(rgb_bytes(path), default=0) > 0
        check(poll(lit, 10), "the title card never appeared")
        return path

    def close(self):
        """Asks the window to close; the status and how long the show took to end."""
        asked = time.monotonic()
        self.x.close_window(CLOSER, self.window)
        try:
            status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            raise Failure("the show did not end after its window was closed")
        return status, time.monotonic() - asked

    def end(self):
        if self.process and self.process.poll() is None:
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
    again until the show has drawn it so, for up to 3 s."""
    path, fault = os.path.join(root, what + ".png"), None
    deadline = time.monotonic() + 3
    while time.monotonic() < deadline:
        show.x.grab_to(path)
        if crop:
            magick(path, "-crop", crop, "+repage", path)
        fault = picture_fault(path, frame, box, False, root, what)
        if fault is None:
            return
        time.sleep(0.1)
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
            show.x.xdotool("type", "s")
            show.x.xdotool("keydown", "Escape")
            check(show.process.wait(20) == 0, "the show failed on %s" % screen)
            rgb(os.path.join(show.play, "qirboSho.pcx"))
        finally:
            show.end()


def options(root):
    """--help and --version answer and exit 0; anything else is refused with status 2."""
    for option, status, stream, text in [("--help", 0, "stdout", "resizable window"),
                                         ("--version", 0, "stdout", "STARLOOM"),
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
        check(poll(lambda: "Geometry: 1280x1024" in geometry(), 5), "F11: %s" % geometry())
        expect_rescaled(show, frame, (0, 32, 1280, 960), root, "full screen by F11")
        show.x.xdotool("key", "alt+Return")
        check(poll(lambda: "Geometry: 1024x768" in geometry(), 5), "Alt+Enter: %s" % geometry())
        asked = time.monotonic()
        show.x.xdotool("key", "alt+F4")
        check(show.process.wait(10) == 0 and time.monotonic() - asked < CLOSING, "Alt+F4 did not end it")
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
        time.sleep(2)
        show.x.close()
        one_line_and_status_1(show, CLOSING, "X server ended")
    finally:
        show.end()
    show = Show(root, "1024x768x16")
    try:
        time.sleep(2)
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
        check(process.returncode == 1 and len(process.stderr.splitlines()) == 1 and took < 12,
              "silent server: status %d after %.1f s, stderr %r" % (process.returncode, took,
                                                                   process.stderr))
    finally:
        silent.close()
        os.unlink("/tmp/.X11-unix/X%d" % number)
    check(not any(name.startswith("core") for _, _, names in os.walk(root) for name in names),
          "a core was dumped")


CASES = {"screens": screens, "options": options, "window": window,
         "window-manager": window_manager, "lost-display": lost_display}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
