#!/usr/bin/env python3
"""The Windows archive under Wine as a viewer meets it: unpacked into a fresh
folder for each run, its starloom.exe started there as a double-click starts
it, in an Xvfb of its own at 1024x768x16, keys through xdotool, screen grabs,
and Wine's sound written through ALSA into a file. The library's start-up
message box would wait for a click: Wine traces its text, and the run stops at
once with it. Windows' rand is not glibc's, so the pictures are judged by what
they show, not held to the Linux frames.

Usage: windows_e2e.py ZIP LICENSE    (WINEPREFIX names the Wine prefix to use)
"""

import os
import re
import signal
import struct
import subprocess
import sys
import time
import zipfile

sys.dont_write_bytecode = True
from x_session import (SHOW_FILES, Failure, XServer, check, flight_moves, logo_over_stars,  # noqa: E402
                       looks_like_stars, main, poll, rgb, text_panel, title_on_black)

ARCHIVE, LICENSE = os.path.abspath(sys.argv[1]), sys.argv[2]
# What Wine itself writes to the same stderr: its notices ("wine: ...", once a
# page fault on a busy machine, before the show's message) and its debug
# channels' lines ("0024:trace:msgbox:...").
WINES_OWN = re.compile(r"^(wine: |[0-9a-f]{4}:(trace|fixme|err|warn):)")
# starloom-<version>-windows.zip holds one folder of that name.
FOLDER = os.path.basename(ARCHIVE)[:-len(".zip")]


def archive_holds_the_show():
    """The program, the seven data files, the licence as LICENSE says it and a readme,
    in Windows' line ends, all in the one folder."""
    with zipfile.ZipFile(ARCHIVE) as archive:
        names = set(archive.namelist()) - {FOLDER + "/", FOLDER + "/dat/"}
        expected = {FOLDER + "/" + name for name in
                    ["starloom.exe", "LICENSE.txt", "README.txt"] + ["dat/" + f for f in SHOW_FILES]}
        check(names == expected, "the archive holds %s, not %s" % (sorted(names), sorted(expected)))
        with open(LICENSE, "rb") as f:
            check(archive.read(FOLDER + "/LICENSE.txt") == f.read().replace(b"\n", b"\r\n"),
                  "LICENSE.txt is not the licence with Windows' line ends")
        readme = archive.read(FOLDER + "/README.txt").decode()
        check("starloom.exe" in readme and "\r\n" in readme and "\n" not in readme.replace("\r\n", ""),
              "README.txt does not name the program in Windows' line ends")


class WineShow:
    """The archive's starloom.exe, unpacked into a folder of its own and started
    there, with `pcm` as ALSA's default device (SOUND_FILE in it names the file
    that the device writes)."""

    def __init__(self, x, root, name, pcm, leave_out=()):
        with zipfile.ZipFile(ARCHIVE) as archive:
            archive.extractall(os.path.join(root, name))
        self.x, self.play_dir = x, os.path.join(root, name, FOLDER)
        for left_out in leave_out:
            os.remove(os.path.join(self.play_dir, "dat", left_out))
        home, self.sound_file = os.path.join(root, name + "-home"), os.path.join(root, name + ".raw")
        os.mkdir(home)
        with open(os.path.join(home, ".asoundrc"), "w") as rc:
            rc.write("pcm.!default %s\n" % pcm.replace("SOUND_FILE", self.sound_file))
        env = {**os.environ, **x.env, "HOME": home, "WINEDEBUG": "-all,trace+msgbox",
               "WINEDLLOVERRIDES": "mscoree,mshtml="}
        self.stderr = open(os.path.join(root, name + ".err"), "w+")
        self.show = subprocess.Popen(["wine", "starloom.exe"], cwd=self.play_dir, env=env, stdout=subprocess.DEVNULL,
                                     stderr=self.stderr)
        self.title_seen = None

    def said(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def show_said(self):
        """What the show wrote to stderr, without Wine's own lines."""
        return "".join(line for line in self.said().splitlines(keepends=True) if not WINES_OWN.match(line))

    def no_message_box(self):
        boxes = [line for line in self.said().splitlines() if "trace:msgbox" in line]
        if boxes:
            raise Failure("the show opened a message box: %s" % " ".join(boxes))
        return False

    def sleep_until(self, seconds_after_title):
        poll(self.no_message_box, max(0.0, self.title_seen + seconds_after_title - time.monotonic()))

    def wait_for_title(self):
        """Until the window shows the title card. The show's times count from
        `title_seen`, a moment before it appeared."""
        poll(lambda: self.no_message_box() or self.x.window() or self.show.poll() is not None, 60)
        self.x.wait_for_window(self.show, 60)
        self.title_seen = self.x.lit_after

    def finish(self, key):
        """Holds `key` until the show ends; its exit status. Wine's server kills a
        process with SIGKILL when it has not left a moment after its last Windows
        thread ended, which on a busy machine it sometimes has not: that status is
        the show's ended exit, as a Windows program cannot raise SIGKILL and its
        crash gives Wine's notice on stderr instead."""
        self.x.xdotool("keydown", key)
        ended = poll(lambda: self.no_message_box() or self.show.poll() is not None, 45)
        self.x.xdotool("keyup", key)
        check(ended, "the show did not end with %s held" % key)
        check("cannot flip" not in self.said(), "a flip failed: %r" % self.said())
        if self.show.returncode == -signal.SIGKILL and "wine: Unhandled" not in self.said():
            print("Wine's server killed the ended show's process (SIGKILL)")
            return 0
        return self.show.returncode

    def screenshot_shows_stars(self):
        shot = os.path.join(self.play_dir, "qirboSho.pcx")
        check(poll(lambda: os.path.exists(shot), 10), "no screenshot was written")  # renamed once whole
        check(looks_like_stars(rgb(shot)), "the screenshot does not decode to the star field")

    def close(self):
        if self.show.poll() is None:
            self.show.kill()
            self.show.wait()
        self.stderr.close()


def fast_path(x, root):
    """No sound device, Escape held from the title card: every scene ends after one
    pass, and the S typed before it is taken in free flight's one frame."""
    show = WineShow(x, root, "fast", "{ type hw; card 9 }")
    try:
        show.wait_for_title()
        x.xdotool("type", "s")
        check(show.finish("Escape") == 0, "exit status %d after the fast path; stderr %r"
              % (show.show.returncode, show.said()[-600:]))
        show.screenshot_shows_stars()
    finally:
        show.close()


def missing_picture(x, root):
    """A start-up failure is told on stderr and in a message box, which this run
    reads and closes instead of waiting for a click."""
    show = WineShow(x, root, "missing", "{ type hw; card 9 }", leave_out=("logo.tga",))
    try:
        try:
            poll(lambda: show.no_message_box() or show.show.poll() is not None, 30)
        except Failure as box:
            check("Error reading image file 'logo.tga'" in str(box), str(box))
        else:
            raise Failure("no message box: %r" % show.said())
        check(show.show_said().startswith("Error reading image file 'logo.tga'\n"),
              "the message is not on stderr: %r" % show.said())
        notices = [line for line in show.said().splitlines() if line.startswith("wine: ")]
        if notices:
            print("Wine's notices beside the message: %r" % notices)
    finally:
        show.close()


def full_path(x, root):
    """Grabs in each scene, on the show's own clock: the title card lasts 4.2 s, the
    logo 5.4 s, the crawl 22 s. A show that ran too fast would be past the title 3 s
    after it appeared; a slow machine only makes each scene come later."""
    show = WineShow(x, root, "full", '{ type file; slave.pcm "null"; file "SOUND_FILE"; format "raw" }')
    try:
        show.wait_for_title()
        show.sleep_until(3)
        check(title_on_black(x.grab()), "no title picture on black 3 s after the title card appeared")
        check(poll(lambda: show.no_message_box() or logo_over_stars(x.grab()), 60),
              "no logo over stars after the title card")
        check(poll(lambda: show.no_message_box() or text_panel(x.grab()), 60), "no text panel during the crawl")
        check(poll(lambda: show.no_message_box() or flight_moves(x), 120, interval=0),
              "free flight never moved between two grabs a second apart; the show said %r" % show.said()[-600:])
        # Held a moment: a busy machine can miss a key pressed and let go at once.
        x.xdotool("keydown", "s")
        time.sleep(0.2)
        x.xdotool("keyup", "s")
        show.screenshot_shows_stars()
        check(show.finish("space") == 0, "exit status %d after Space; stderr %r"
              % (show.show.returncode, show.said()[-600:]))
    finally:
        show.close()
    # Wine mixes in 32-bit floats; the music starts after the title card.
    with open(show.sound_file, "rb") as f:
        data = f.read()
    samples = struct.unpack("<%df" % (len(data) // 4), data[:len(data) // 4 * 4])
    loud = sum(0.05 < abs(v) <= 1.0 for v in samples)
    check(loud > len(samples) // 10, "no music was written: %d of %d samples sound" % (loud, len(samples)))


CASES = [("windows.missing-picture", missing_picture), ("windows.fast", fast_path),
         ("windows.full", full_path)]


def run(root):
    """Every case in turn, each named in its failure."""
    try:
        archive_holds_the_show()
    except Failure as failure:
        raise Failure("windows.archive: %s" % failure)
    print("passed: windows.archive")
    x = XServer()
    try:
        for name, case in CASES:
            try:
                case(x, root)
            except Failure as failure:
                raise Failure("%s: %s" % (name, failure))
            print("passed:", name)
    finally:
        x.close()


if __name__ == "__main__":
    sys.exit(main("windows", run))
