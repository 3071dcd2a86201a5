"""Shared by the end-to-end scripts: an Xvfb, the show's window, screen grabs."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

WIDTH, HEIGHT = 1024, 768


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


def held_once(process, predicate, steps, between=0.5):
    """Lets `process` run `between` seconds at a time and holds it (SIGSTOP) while
    `predicate` looks, up to `steps` looks: true, with the process left held, at
    the first look that holds; false, with it running, when none did or it ended.
    However slow the looks, the process is at most `between` past the moment."""
    for _ in range(steps):
        if process.poll() is not None:
            return False
        os.kill(process.pid, signal.SIGSTOP)
        if predicate():
            return True
        os.kill(process.pid, signal.SIGCONT)
        time.sleep(between)
    return False


def rgb(picture, data=None):
    """Any picture ImageMagick reads ("xwd:-" with `data`), as 8-bit RGB bytes."""
    raw = subprocess.run(["convert", picture, "-depth", "8", "rgb:-"], input=data,
                         capture_output=True, timeout=60).stdout
    check(len(raw) == WIDTH * HEIGHT * 3, "%s does not decode to 1024x768" % picture)
    return raw


# Pictures: the share of pixels in a box that pass a test.

def share(raw, x0, y0, x1, y1, test, step=3):
    hits = [test(*raw[i:i + 3]) for y in range(y0, y1, step)
            for i in range((y * WIDTH + x0) * 3, (y * WIDTH + x1) * 3, step * 3)]
    return sum(hits) / len(hits)


def lit(r, g, b):
    return r + g + b > 30


# A lit pixel has a component above 10: only those are looked at.
BRIGHT_BYTE = re.compile(rb"[^\x00-\x0a]")


def lit_share(raw, x0, y0, x1, y1):
    """share(raw, x0, y0, x1, y1, lit, step=1), quick where the box is mostly black."""
    hits = 0
    for y in range(y0, y1):
        row = raw[(y * WIDTH + x0) * 3:(y * WIDTH + x1) * 3]
        last = -1
        for match in BRIGHT_BYTE.finditer(row):
            pixel = match.start() // 3
            if pixel != last:
                last = pixel
                hits += lit(*row[pixel * 3:pixel * 3 + 3])
    return hits / ((x1 - x0) * (y1 - y0))


def logo_over_stars(grab):
    """The logo scene: the emblem's strong colours in its area, stars above it."""
    return (share(grab, 190, 250, 829, 533, lambda *c: max(c) > 120 and max(c) - min(c) > 80) > 0.03 and
            lit_share(grab, 0, 0, WIDTH, 240) > 0.0005)


def looks_like_stars(raw):
    return 0.0005 < lit_share(raw, 0, 0, WIDTH, HEIGHT) < 0.2


def title_on_black(grab):
    """The title card: its picture in place, and not one lit pixel above or below
    it, where every later scene has stars."""
    return (share(grab, 100, 258, 899, 511, lit) > 0.05 and lit_share(grab, 0, 0, WIDTH, 256) == 0
            and lit_share(grab, 0, 512, WIDTH, HEIGHT) == 0)


def text_panel(grab):
    """The crawl: a panel's pale letters in the lower part of the screen, over stars."""
    return (share(grab, 49, 300, 975, HEIGHT, lambda *c: min(c) > 150, step=2) > 0.02 and
            lit_share(grab, 0, 0, WIDTH, 250) > 0.0005)


def flight_moves(x):
    """Whether two grabs a second apart both show free flight, with no text panel,
    and differ in more than a thousand bytes: free flight opens on the crawl's
    last, still frame and rolls ever faster from about a second in."""
    first = x.grab()
    time.sleep(1)
    second = x.grab()
    in_flight = [looks_like_stars(g) and share(g, 0, 0, WIDTH, HEIGHT, lambda *c: min(c) > 150) < 0.001
                 for g in (first, second)]
    return all(in_flight) and sum(a != b for a, b in zip(first, second)) > 1000


SHOW_FILES = ("star2.tga", "logo.tga", "txt1_2.tga", "txt2_2.tga", "txt3_3.tga", "dawno.tga", "overlay.tga",
              "track1_cut_equalize.wav")


# Pictures against the show's own frame.

def magick(*args):
    """ImageMagick's answer, as text."""
    result = subprocess.run(["convert", *args], capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, "convert %s: %s" % (args, result.stderr))
    return result.stdout.strip()


def difference(a, b):
    """Mean absolute difference of two pictures, 0 (same) to 1."""
    result = subprocess.run(["compare", "-metric", "MAE", a, b, "null:"], capture_output=True,
                            text=True, timeout=60)
    return float(result.stderr.split("(")[1].rstrip(")"))


def picture_fault(grab, frame, box, sharp, root, what):
    """What is wrong with the grab, where it should hold the frame scaled into box
    (x, y, w, h) on black all around; None when nothing is."""
    x, y, w, h = box
    width, height = map(int, magick(grab, "-format", "%w %h", "info:").split())
    picture = os.path.join(root, what + "-picture.png")
    magick(grab, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", picture)
    expected = os.path.join(root, what + "-expected.png")
    magick(frame, "-filter", "Point" if sharp else "Triangle", "-resize", "%dx%d!" % (w, h), expected)
    # Sharp pixels are the frame's own pixels; a smooth scale may filter a little
    # differently from ImageMagick's.
    limit = 0.004 if sharp else 0.03
    error = difference(picture, expected)
    if error >= limit:
        return "%s: the picture is not the frame scaled to %dx%d at %d,%d (difference %.4f)" % (
            what, w, h, x, y, error)
    black = os.path.join(root, what + "-bars.png")
    magick(grab, "-fill", "black", "-draw", "rectangle %d,%d %d,%d" % (x, y, x + w - 1, y + h - 1),
           black)
    if magick(black, "-format", "%[fx:maxima]", "info:") != "0":
        return "%s: the bars around the picture are not black (%dx%d screen)" % (what, width, height)
    return None


def copy_dat(dat, play_dir, leave_out=()):
    """The files the show loads, and nothing else that dat/ may hold."""
    target = os.path.join(play_dir, "dat")
    os.makedirs(target)
    for name in set(SHOW_FILES) - set(leave_out):
        shutil.copy(os.path.join(dat, name), target)
    return target


def read_terminal(fd):
    """All a program wrote on the terminal whose other end is `fd`, until it closed it."""
    said = b""
    try:
        while chunk := os.read(fd, 4096):
            said += chunk
    except OSError:  # the other end is closed
        pass
    return said.decode().replace("\r\n", "\n")


class XServer:
    def __init__(self, screen="%dx%dx16" % (WIDTH, HEIGHT)):
        # No reset when the last client leaves: the window polls come and go
        # while the show connects, and a reset drops the show's connection.
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen,
             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.env = {"DISPLAY": ":" + pipe.readline().strip()}

    def run(self, *command, **options):
        return subprocess.run(command, env=self.env, capture_output=True, timeout=20, **options)

    def xdotool(self, *args):
        return self.run("xdotool", *args, text=True).stdout.strip()

    def window(self):
        """The show's window, or None."""
        found = self.xdotool("search", "--onlyvisible", "--name", "^STARLOOM$")
        return found.split()[0] if found else None

    def wait_for_window(self, show, timeout=60, in_window=True):
        """Focuses the window of the started `show` once it appears, and waits for
        the title card (in the window's own pixels, or with `in_window` false on
        the whole screen): SDL takes a window as focused a moment after the
        server does and drops the keys typed before, longer on a slow machine.
        Returns when the window appeared; `lit_after` is when the last grab that
        still saw a black picture began, a time before the title card appeared."""
        window = poll(lambda: self.window() or show.poll() is not None, timeout)
        appeared = time.monotonic()
        if show.poll() is not None:
            raise Failure("the show ended with status %d before its window appeared: %r"
                          % (show.returncode, show.communicate()))
        check(window, "the show's window never appeared")
        self.xdotool("windowfocus", "--sync", window)
        self.lit_after = appeared
        # The window's own pixels: a window manager's frame around it is lit at once.
        # A window's grab before its first picture holds levels up to 8, not 0.
        where = window if in_window else None

        def title_lit():
            began = time.monotonic()
            if show.poll() is not None or max(self.grab_raw(where), default=0) > 10:
                return True
            self.lit_after = began
            return False
        lit = poll(title_lit, timeout)
        check(lit and show.poll() is None, "the title card never appeared")
        return appeared

    def timed_grab(self):
        """A grab, with when it began and when it ended: the picture was taken
        between the two."""
        began = time.monotonic()
        picture = self.grab()
        return began, time.monotonic(), picture

    def grab(self):
        return rgb("xwd:-", self.run("xwd", "-root", "-silent").stdout)

    def grab_raw(self, window=None):
        """The whole screen, or one window, as 8-bit RGB bytes, at whatever size it has."""
        which = ["-id", window] if window else ["-root"]
        return subprocess.run(["convert", "xwd:-", "-depth", "8", "rgb:-"], capture_output=True,
                              input=self.run("xwd", *which, "-silent").stdout, timeout=60).stdout

    def grab_to(self, path, window=None):
        """The whole screen, or one window, at whatever size it has, as a picture file."""
        which = ["-id", window] if window else ["-root"]
        subprocess.run(["convert", "xwd:-", path], input=self.run("xwd", *which, "-silent").stdout,
                       check=True, timeout=60)

    def close_window(self, closer, window):
        """What a window manager's close does, through the program `closer`."""
        check(self.run(closer, window).returncode == 0, "could not ask the window to close")

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait()


def main(case, run):
    """Runs `run(root)` in a temporary folder; the exit status of the script."""
    root = tempfile.mkdtemp(prefix="show-e2e-")
    try:
        run(root)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("passed:", case)
    return 0

