"""Shared by the end-to-end scripts: an Xvfb, the show's window, screen grabs."""

import os
import shutil
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


def rgb(picture, data=None):
    """Any picture ImageMagick reads ("xwd:-" with `data`), as 8-bit RGB bytes."""
    raw = subprocess.run(["convert", picture, "-depth", "8", "rgb:-"], input=data,
                         capture_output=True, timeout=60).stdout
    check(len(raw) == WIDTH * HEIGHT * 3, "%s does not decode to 1024x768" % picture)
    return raw


def copy_dat(dat, play_dir, leave_out=()):
    target = os.path.join(play_dir, "dat")
    os.makedirs(target)
    for name in set(os.listdir(dat)) - set(leave_out):
        shutil.copy(os.path.join(dat, name), target)
    return target


class XServer:
    def __init__(self):
        # No reset when the last client leaves: the window polls come and go
        # while the show connects, and a reset drops the show's connection.
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx16" % (WIDTH, HEIGHT),
             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.env = {"DISPLAY": ":" + pipe.readline().strip()}

    def run(self, *command, **options):
        return subprocess.run(command, env=self.env, capture_output=True, timeout=20, **options)

    def xdotool(self, *args):
        return self.run("xdotool", *args, text=True).stdout.strip()

    def window(self, name="show"):
        """The show's drawing window, or None. The library maps an unnamed window
        over the screen with the drawing window inside; the one named after the
        program stays unmapped."""
        tree = self.run("xwininfo", "-root", "-tree", text=True).stdout
        covering = [line.split()[0] for line in tree.splitlines()
                    if "%dx%d+0+0" % (WIDTH, HEIGHT) in line and "root window" not in line]
        return covering[-1] if '"%s"' % name in tree and covering else None

    def wait_for_window(self, show, timeout=20):
        """Focuses the window of the started `show` once it appears."""
        name = os.path.basename(show.args[-1])
        window = poll(lambda: self.window(name) or show.poll() is not None, timeout)
        if show.poll() is not None:
            raise Failure("the show ended with status %d before its window appeared: %r"
                          % (show.returncode, show.communicate()))
        check(window, "the show's window never appeared")
        self.xdotool("windowfocus", "--sync", window)

    def grab(self):
        return rgb("xwd:-", self.run("xwd", "-root", "-silent").stdout)

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

