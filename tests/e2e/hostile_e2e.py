#!/usr/bin/env python3
"""The live show in the environments some machines give it, one row of a table
each: what the row does to the show, what must come of it, and the bound in
seconds that a loaded machine still keeps.

Usage: hostile_e2e.py SHOW DAT ROW
"""

import os
import re
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
from x_session import (Failure, XServer, check, copy_dat, logo_over_stars, looks_like_stars, main,  # noqa: E402
                       poll, rgb)

SHOW, DAT, ROW = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
# How long the show waits on a sound server that does not answer, before it
# plays without music.
SOUND_OPEN_DEADLINE = 3


class SoundServer:
    """A PulseAudio of the test's own, in folders of its own, with one sink that
    plays nowhere. SIGSTOP makes it a server that stops answering: its socket
    still takes connections, but nothing it is sent gets an answer."""

    def __init__(self, root, home):
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700)
        socket = os.path.join(runtime, "pulse", "native")
        self.env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PULSE_RUNTIME_PATH": os.path.dirname(socket),
                    "PULSE_SERVER": "unix:" + socket, "SDL_AUDIODRIVER": "pulseaudio"}
        self.daemon = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "-L", "module-native-protocol-unix auth-anonymous=1", "-L", "module-null-sink"],
            env={"PATH": os.environ["PATH"], **self.env}, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: self.daemon.poll() is not None or self.streams() is not None, 20)
        check(self.daemon.poll() is None and self.streams() is not None, "the sound server did not start")

    def streams(self):
        """The streams playing on it, or None when it does not answer."""
        try:
            listed = subprocess.run(["pactl", "list", "short", "sink-inputs"], env={**os.environ, **self.env},
                                    capture_output=True, text=True, timeout=5)
        except subprocess.TimeoutExpired:
            return None
        return listed.stdout.splitlines() if listed.returncode == 0 else None

    def stop_answering(self):
        os.kill(self.daemon.pid, signal.SIGSTOP)

    def close(self):
        os.kill(self.daemon.pid, signal.SIGCONT)
        self.daemon.terminate()
        self.daemon.wait()


class Session:
    """An Xvfb, a folder to play in with the show's files, and a home whose ALSA
    plays into nothing. xmessage is kept off PATH."""

    def __init__(self, root):
        self.root, self.x = root, XServer()
        self.play_dir, self.home = os.path.join(root, "play"), os.path.join(root, "home")
        os.mkdir(self.home)
        copy_dat(DAT, self.play_dir)
        with open(os.path.join(self.home, ".asoundrc"), "w") as rc:
            rc.write('pcm.!default { type file; slave.pcm "null"; file "/dev/null"; format "raw" }\n')
        self.env = {**self.x.env, "HOME": self.home, "PATH": os.path.join(root, "bin")}
        self.env.update({name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")})
        self.sound, self.show = None, None

    def start_sound_server(self):
        self.sound = SoundServer(self.root, self.home)
        self.env.update(self.sound.env)

    def start_show(self, closed=(), **extra_env):
        """The show, with the standard descriptors in `closed` closed, as some
        launchers start programs."""
        def close_descriptors():
            for fd in closed:
                os.close(fd)
        self.show = subprocess.Popen([SHOW], cwd=self.play_dir, env={**self.env, **extra_env},
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, preexec_fn=close_descriptors)

    def hold_escape(self):
        self.x.xdotool("windowfocus", "--sync", self.x.window() or "")
        self.x.xdotool("keydown", "Escape")

    def ends_within(self, seconds, status, after):
        """The show ends within `seconds` of `after` with `status`."""
        started = time.monotonic()
        try:
            self.show.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure("the show still runs %d s after %s" % (seconds, after))
        check(self.show.returncode == status, "exit status %d after %s, not %d" % (self.show.returncode, after, status))
        print("ended %.2f s after %s, status %d" % (time.monotonic() - started, after, status))

    def plays_on(self):
        """The show reaches the logo over stars, after the title card."""
        check(poll(lambda: self.show.poll() is not None or logo_over_stars(self.x.grab()), 30, 0.2)
              and self.show.poll() is None, "the show never reached the logo over stars")

    def close(self):
        if self.show and self.show.poll() is None:
            self.show.kill()
            self.show.wait()
        self.x.xdotool("keyup", "Escape")
        if self.sound:
            self.sound.close()
        self.x.close()


# Rows

def mute_before(session, end):
    """The sound server stops answering before the show starts: the show waits on
    it no longer than its deadline, then plays without music. Escape ends it once
    it plays, SIGTERM already while it waits."""
    session.start_sound_server()
    session.sound.stop_answering()
    session.start_show()
    opened = poll(lambda: session.x.window() or session.show.poll() is not None, 20)
    check(opened and session.show.poll() is None, "the show's window never appeared")
    opened = time.monotonic()
    if end == "sigterm":
        session.show.send_signal(signal.SIGTERM)
        session.ends_within(SOUND_OPEN_DEADLINE + 12, 128 + signal.SIGTERM, "SIGTERM while it waits on the server")
        return
    session.x.wait_for_window(session.show)
    waited = time.monotonic() - opened
    # A busy machine makes the title card later, never earlier.
    check(waited > SOUND_OPEN_DEADLINE - 0.5, "the title card came %.1f s after the window: the show "
          "never waited on the server, so this row tests nothing" % waited)
    session.hold_escape()
    session.ends_within(10, 0, "Escape")


def mute_during(session, end):
    """The sound server stops answering while the show plays its music stream: the
    show plays on, and Escape and SIGTERM end it, closing the sound within a second."""
    session.start_sound_server()
    session.start_show()
    session.x.wait_for_window(session.show)
    check(poll(lambda: session.sound.streams(), 20), "the show never played a stream on the server")
    session.sound.stop_answering()
    session.plays_on()
    if end == "sigterm":
        session.show.send_signal(signal.SIGTERM)
        session.ends_within(10, 128 + signal.SIGTERM, "SIGTERM")
    else:
        session.hold_escape()
        session.ends_within(10, 0, "Escape")


def closed_descriptors_failure(session):
    """Started with stdin, stdout and stderr closed, the show cannot start (a
    picture is missing): the display's connection must not take their place, or
    the message goes into it and the show hangs."""
    os.remove(os.path.join(session.play_dir, "dat", "logo.tga"))
    session.start_show(closed=(0, 1, 2))
    session.ends_within(20, 1, "a start-up failure with stdin, stdout and stderr closed")


def closed_outputs_gl_debug(session):
    """Started with stdout and stderr closed, and a GL that prints what it does:
    the show plays, and ends on Escape."""
    session.start_show(closed=(1, 2), LIBGL_DEBUG="verbose")
    session.x.wait_for_window(session.show)
    session.hold_escape()
    session.ends_within(10, 0, "Escape")


def dvorak(session):
    """On a Dvorak keyboard the key that types "s" is the ; key's place: it saves
    the screenshot."""
    check(session.x.run("setxkbmap", "-layout", "us", "-variant", "dvorak").returncode == 0,
          "setxkbmap failed")
    keymap = session.x.run("xkbcomp", "-xkb", session.x.env["DISPLAY"], "-", text=True).stdout
    check(re.search(r"key <AC10> \{[^}]*\[\s*s,\s*S\s*\]", keymap),
          "the ; key's place does not type s: the X server ignored the Dvorak keymap")
    session.start_show()
    session.x.wait_for_window(session.show)
    session.x.xdotool("type", "s")
    session.hold_escape()
    session.ends_within(10, 0, "s typed, then Escape")
    shot = os.path.join(session.play_dir, "qirboSho.pcx")
    check(os.path.exists(shot), "s typed on a Dvorak keyboard saved no screenshot")
    check(looks_like_stars(rgb(shot)), "the screenshot does not show the star field")


ROWS = {
    "mute-sound-before-escape": lambda s: mute_before(s, "escape"),
    "mute-sound-before-sigterm": lambda s: mute_before(s, "sigterm"),
    "mute-sound-during-escape": lambda s: mute_during(s, "escape"),
    "mute-sound-during-sigterm": lambda s: mute_during(s, "sigterm"),
    "closed-descriptors-failure": closed_descriptors_failure,
    "closed-outputs-gl-debug": closed_outputs_gl_debug,
    "dvorak": dvorak,
}


def run(root):
    session = Session(root)
    try:
        ROWS[ROW](session)
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main(ROW, run))
