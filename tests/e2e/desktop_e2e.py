#!/usr/bin/env python3
"""The show on the desktops people have: Wayland without X (weston's X11 back
end inside an Xvfb gives a seat and a Wayland display; its headless back end
gives none), X servers whose OpenGL or colour depth the show must work around,
and start-up messages where someone reads stderr and where nobody does.

Usage: desktop_e2e.py SHOW DAT CRASHING_DRI_FOLDER CASE
"""

import os
import pty
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
from x_session import (Failure, XServer, check, copy_dat, held_once, main, picture_fault, poll,  # noqa: E402
                       read_terminal)

SHOW, DAT, CRASHING_DRI, CASE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
SANITIZERS = {name: value for name, value in os.environ.items()
              if name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")}
# Bounds a loaded machine keeps: the show's own steps take a fraction of them.
STARTS, ENDS = 30, 20
OUTPUT_W, OUTPUT_H = 1280, 720
PILLARBOX = (160, 0, 960, 720)  # the 1024x768 picture on a 1280x720 output


class Weston:
    """A Wayland compositor: weston's X11 back end in a window of `x` (with a
    seat: its keyboard is the X server's), or its headless back end (none)."""

    def __init__(self, root, x=None):
        check(shutil.which("weston"), "weston is not installed (Debian's package weston)")
        self.runtime = tempfile.mkdtemp(prefix="wayland-", dir=root)
        os.chmod(self.runtime, 0o700)
        backend = "x11-backend.so" if x else "headless-backend.so"
        env = {"XDG_RUNTIME_DIR": self.runtime, "HOME": self.runtime, "PATH": os.environ["PATH"],
               **(x.env if x else {})}
        self.log = open(os.path.join(root, "weston.log"), "w")
        self.process = subprocess.Popen(
            ["weston", "--backend=" + backend, "--socket=starloom-test", "--no-config", "--idle-time=0",
             "--width=%d" % OUTPUT_W, "--height=%d" % OUTPUT_H], env=env,
            stdout=self.log, stderr=subprocess.STDOUT)
        self.env = {"WAYLAND_DISPLAY": "starloom-test", "XDG_RUNTIME_DIR": self.runtime}
        socket = os.path.join(self.runtime, "starloom-test")
        self.window = None
        try:
            check(poll(lambda: os.path.exists(socket) or self.process.poll() is not None, STARTS)
                  and self.process.poll() is None, "weston did not start (see %s)" % self.log.name)
            if x:
                found = poll(lambda: x.xdotool("search", "--classname", "^weston"), STARTS)
                check(found, "weston's window never appeared")
                self.window = found.split()[0]
                # The X server's focus, given before any client maps a surface: weston
                # hands the keyboard to the surface mapped last, and a later change of
                # the X focus can leave it with no surface at all.
                x.xdotool("windowfocus", "--sync", self.window)
        except Failure:
            self.close()
            raise

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.log.close()


def start_show(env, cwd, *options, stderr=subprocess.PIPE):
    return subprocess.Popen([SHOW, *options], cwd=cwd, stdout=subprocess.PIPE, stderr=stderr, text=True,
                            env={**SANITIZERS, "HOME": cwd, "PATH": "/nonexistent", **env})


def stop(show):
    """Ends a show that a failed check left running."""
    if show and show.poll() is None:
        show.kill()
        show.wait()


def finish(show, within, what):
    try:
        out, err = show.communicate(timeout=within)
    except subprocess.TimeoutExpired:
        show.kill()
        raise Failure("%s: the show did not end within %d s" % (what, within))
    return show.returncode, out, err


def play_dir(root, name):
    folder = os.path.join(root, name)
    copy_dat(DAT, folder)
    return folder


def reference(root):
    """The title card as the show draws it, on a screen of the picture's own size."""
    x = XServer()
    try:
        folder = play_dir(root, "reference")
        show = start_show(x.env, folder)
        x.wait_for_window(show, STARTS)
        path = os.path.join(root, "reference.png")
        x.grab_to(path, x.window())
        show.kill()
        show.wait()
        return path
    finally:
        x.close()


def title_lit(raw):
    """Whether a grab of the output holds the show's surface with a lit picture:
    the bar beside it black (weston's own background is not), the middle of the
    picture lit (the title card is; the black before it is not)."""
    if len(raw) != OUTPUT_W * OUTPUT_H * 3:
        return False
    x, y, w, h = PILLARBOX

    def row(at, x0, x1):
        return raw[(at * OUTPUT_W + x0) * 3:(at * OUTPUT_W + x1) * 3]
    middle = range(y + h // 3, y + 2 * h // 3, 8)
    return (all(max(row(at, 0, x)) <= 10 for at in middle)
            and any(max(row(at, x, x + w)) > 10 for at in middle))


def shows_title_card(x, window, show, frame, box, root, what):
    """Grabs `window` until it holds the title card in `box`; the last fault, or
    None. The show is held still during each grab (stopped, it takes no ticks of
    its clock) and runs half a second between them until its title is lit, then
    only for moments in which it presents anew: the title card stays however slow
    the grabs are."""
    path, fault = os.path.join(root, what + ".png"), None

    def title_card_shown():
        nonlocal fault
        x.grab_to(path, window)
        fault = picture_fault(path, frame, box, False, root, what)
        return fault is None
    try:
        if not held_once(show, lambda: title_lit(x.grab_raw(window)), 2 * STARTS):
            if show.poll() is not None:
                return "the show ended with status %d" % show.returncode
            return "the show's picture never lit up on the output in %d s of its running" % STARTS
        # Forty moments of at most four ticks: well within the title card's 250.
        return None if held_once(show, title_card_shown, 40, between=0.05) else fault
    finally:
        if show.poll() is None:
            os.kill(show.pid, signal.SIGCONT)


def escape_ends_it(x, show, what):
    x.xdotool("keydown", "Escape")
    status, _, err = finish(show, ENDS, what)
    x.xdotool("keyup", "Escape")
    check(status == 0, "%s: status %d after Escape: %r" % (what, status, err))


# Wayland

class OnWeston:
    """The show on weston's X11 back end in an Xvfb of its own, its Wayland
    requests and events logged (WAYLAND_DEBUG) to read what it asked for."""

    def __init__(self, root, name, *options):
        self.x, self.weston, self.show = XServer("1280x1024x24"), None, None
        try:
            self.weston = Weston(root, self.x)
            self.folder = play_dir(root, name)
            self.log = os.path.join(root, name + ".protocol")
            with open(self.log, "w") as log:
                self.show = start_show({**self.weston.env, "WAYLAND_DEBUG": "client"}, self.folder, *options,
                                       stderr=log)
        except BaseException:
            self.close()
            raise

    def said(self):
        with open(self.log) as log:
            return log.read()

    def own_lines(self):
        """What the show itself wrote to stderr, between the protocol's lines."""
        return [line for line in self.said().splitlines() if not line.startswith("[")]

    def requests(self, request):
        """The requests of one kind that the show sent."""
        return [line for line in self.said().splitlines() if " -> " in line and request in line]

    def events(self, target, event):
        """The events of one kind that the show received."""
        return [line for line in self.said().splitlines()
                if " -> " not in line and target in line and event in line]

    def made_buffer(self, w, h):
        return any(", %d, %d, %d, " % (w, h, w * 4) in line for line in self.requests("create_buffer("))

    def take_keys(self):
        """Keys reach the show once the compositor has given it the keyboard, and
        while it has not taken it away again."""
        def has_keyboard():
            focus = [line for line in self.said().splitlines()
                     if "wl_keyboard@" in line and (".enter(" in line or ".leave(" in line)]
            return focus and ".enter(" in focus[-1]
        check(poll(has_keyboard, STARTS), "the show never got the keyboard")

    def close(self):
        stop(self.show)
        if self.weston:
            self.weston.close()
        self.x.close()


def wayland(root):
    """Full screen without X: the picture pillarboxed on the output, keys from
    the seat (S saves, Escape ends it)."""
    frame = reference(root)
    session = OnWeston(root, "wayland")
    try:
        fault = shows_title_card(session.x, session.weston.window, session.show, frame, PILLARBOX, root, "wayland")
        check(fault is None, "%s (the show: status %r, stderr %r)"
              % (fault, session.show.poll(), session.own_lines()))
        session.take_keys()
        session.x.xdotool("type", "s")
        escape_ends_it(session.x, session.show, "wayland")
        check(os.path.exists(os.path.join(session.folder, "qirboSho.pcx")), "S saved no screenshot")
    finally:
        session.close()


def wayland_window(root):
    """--window: a window of the picture's size, not full screen, until F11."""
    session = OnWeston(root, "wayland-window", "--window")
    try:
        check(poll(lambda: session.made_buffer(1024, 768), STARTS),
              "--window opened no 1024x768 window: %s" % session.requests("create_buffer("))
        check(not session.requests("set_fullscreen("), "--window asked for full screen")
        # F11: full screen, the picture drawn at the output's size.
        session.take_keys()
        # A busy compositor now and then drops a key typed just after it gave the
        # show its keyboard: F11 is typed again only while the show has had no key.
        for _ in range(3):
            session.x.xdotool("key", "F11")
            if poll(lambda: session.events("wl_keyboard@", ".key("), ENDS / 3):
                break
        check(poll(lambda: session.made_buffer(OUTPUT_W, OUTPUT_H), ENDS),
              "F11 gave no full screen: the show had the keys %s and asked for %s"
              % (session.events("wl_keyboard@", ".key("), session.requests("set_fullscreen(")))
        escape_ends_it(session.x, session.show, "wayland --window")
    finally:
        session.close()


def one_line_and_status_1(show, what):
    status, _, err = finish(show, ENDS, what)
    check(status == 1 and len(err.splitlines()) == 1 and err.startswith("starloom: "),
          "%s: status %d, stderr %r" % (what, status, err))
    return err


def wayland_without_seat(root):
    """A compositor that offers no seat: one line and status 1, no crash."""
    weston = Weston(root)
    try:
        folder = play_dir(root, "no-seat")
        err = one_line_and_status_1(start_show(weston.env, folder), "no seat")
        check("no seat" in err, "the line does not say what is missing: %r" % err)
        check(not [n for n in os.listdir(folder) if n.startswith("core")], "a core was dumped")
    finally:
        weston.close()


def wayland_gone(root):
    """The compositor ends while the show plays: one line and status 1."""
    session = OnWeston(root, "gone")
    try:
        check(poll(lambda: session.made_buffer(OUTPUT_W, OUTPUT_H) or session.show.poll() is not None, STARTS)
              and session.show.poll() is None, "the show never showed")
        time.sleep(1)
        session.weston.close()
        status, _, _ = finish(session.show, ENDS, "compositor ended")
        lines = session.own_lines()
        check(status == 1 and lines == ["starloom: the connection to the display was lost"],
              "compositor ended: status %d, stderr %r" % (status, lines))
    finally:
        session.close()


# Hostile X servers, each: its screen, the show's environment, and whether
# the show plays there (or else the words its start-up message must hold).
HOSTILE = [
    ("OpenGL without a direct context", "1024x768x24", {"LIBGL_ALWAYS_INDIRECT": "1"}, None),
    ("an OpenGL driver that crashes", "1024x768x24", {"LIBGL_DRIVERS_PATH": CRASHING_DRI}, None),
    ("a 30-bit screen", "1024x768x30", {}, None),
    ("a 30-bit screen and no usable OpenGL", "1024x768x30", {"LIBGL_ALWAYS_INDIRECT": "1"},
     ["Cannot set the 1024x768 16-bit display mode", "OpenGL: its probe failed",
      "the window's own pixels: Unknown window pixel format"]),
]


def hostile(root):
    failures = []
    for number, (what, screen, env, refusal) in enumerate(HOSTILE):
        x, show = XServer(screen), None
        try:
            folder = play_dir(root, "hostile%d" % number)
            show = start_show({**x.env, **env}, folder)
            if refusal:
                status, out, err = finish(show, STARTS, what)
                if status != 1 or not all(words in out + err for words in refusal):
                    failures.append("%s: status %d, said %r" % (what, status, out + err))
                continue
            # ImageMagick reads a 30-bit window's own pixels as black.
            x.wait_for_window(show, STARTS, in_window=not screen.endswith("x30"))
            escape_ends_it(x, show, what)
            if [n for n in os.listdir(folder) if n.startswith("core")]:
                failures.append("%s: a core was dumped" % what)
        except Failure as failure:
            failures.append("%s: %s" % (what, failure))
        finally:
            stop(show)
            x.close()
    check(not failures, "\n".join(failures))


# Start-up messages: a picture is missing. The box is an xmessage of ours that
# notes it was opened and, as the real one does, grumbles on stderr.
BOX_NOISE = "Warning: Missing charsets in String to FontSet conversion"
MESSAGE = "Error reading image file 'logo.tga'\n"


def message_setup(root, name):
    folder = os.path.join(root, name)
    copy_dat(DAT, folder, leave_out=("logo.tga",))
    bin_dir, boxed = os.path.join(folder, "bin"), os.path.join(folder, "boxed")
    os.mkdir(bin_dir)
    with open(os.path.join(bin_dir, "xmessage"), "w") as stub:
        stub.write('#!/bin/sh\nprintf "%%s\\n" "$@" > "%s"\necho "%s" >&2\n' % (boxed, BOX_NOISE))
    os.chmod(os.path.join(bin_dir, "xmessage"), 0o755)
    return folder, {"HOME": folder, "PATH": bin_dir + ":/usr/bin:/bin"}, boxed


def messages(root):
    x = XServer()
    try:
        # From a terminal: the message there, once, and no box to wait for.
        folder, env, boxed = message_setup(root, "terminal")
        terminal, their_end = pty.openpty()
        show = subprocess.Popen([SHOW], cwd=folder, env={**SANITIZERS, **x.env, **env},
                                stdout=subprocess.DEVNULL, stderr=their_end)
        os.close(their_end)
        status, _, _ = finish(show, STARTS, "from a terminal")
        said = read_terminal(terminal)
        os.close(terminal)
        check(status == 1 and said.count("starloom: " + MESSAGE) == 1 and not os.path.exists(boxed),
              "from a terminal: status %d, box %s, said %r" % (status, os.path.exists(boxed), said))

        # Into a file (a session's log): there once, and in the box, whose own
        # grumbling goes nowhere.
        folder, env, boxed = message_setup(root, "file")
        log = os.path.join(folder, "stderr.log")
        with open(log, "w") as stderr:
            show = subprocess.Popen([SHOW], cwd=folder, env={**SANITIZERS, **x.env, **env},
                                    stdout=subprocess.DEVNULL, stderr=stderr)
            status, _, _ = finish(show, STARTS, "into a file")
        said = open(log).read()
        check(status == 1 and said.count("starloom: " + MESSAGE) == 1 and BOX_NOISE not in said,
              "into a file: status %d, said %r" % (status, said))
        check(os.path.exists(boxed) and MESSAGE.strip() in open(boxed).read(), "into a file: no box")

        # Nobody reads stderr: the box, as a desktop launch shows it.
        folder, env, boxed = message_setup(root, "closed")
        show = subprocess.Popen(["/bin/sh", "-c", 'exec "$0" 2>&-', SHOW], cwd=folder,
                                env={**SANITIZERS, **x.env, **env}, stdout=subprocess.DEVNULL)
        status, _, _ = finish(show, STARTS, "stderr closed")
        check(status == 1 and os.path.exists(boxed) and MESSAGE.strip() in open(boxed).read(),
              "stderr closed: status %d, box %s" % (status, os.path.exists(boxed)))
    finally:
        x.close()


CASES = {"wayland": wayland, "wayland-window": wayland_window, "wayland-no-seat": wayland_without_seat,
         "wayland-gone": wayland_gone, "hostile": hostile, "messages": messages}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
