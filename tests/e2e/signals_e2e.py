#!/usr/bin/env python3
"""Signals from outside, sent in storms while the show plays: each stop signal
ends it normally, one pass of every scene still to come and then the usual
shutdown, with exit status 128 + the signal's number; never a crash.

Usage: signals_e2e.py SHOW DAT background
  The show is started as a script's background job, which starts it with SIGINT
  and SIGQUIT ignored: storms of those change nothing, and a storm of stop
  signals in the logo ends it.
"""

import os
import random
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
from x_session import Failure, XServer, check, copy_dat, logo_over_stars, main, poll  # noqa: E402

SHOW, DAT, CASE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
STOP = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT]
# What a shell without job control does to a command it starts with '&'.
BACKGROUND_IGNORES = [signal.SIGINT, signal.SIGQUIT]


def background_start():
    """Whatever this script was started with, as a shell starts a command with '&'."""
    for number in STOP:
        signal.signal(number, signal.SIG_IGN if number in BACKGROUND_IGNORES else signal.SIG_DFL)


class Run:
    """The show in its own X server and folder, started in the background."""

    def __init__(self, root):
        self.x = XServer()
        play, home = tempfile.mkdtemp(dir=root), tempfile.mkdtemp(dir=root)
        copy_dat(DAT, play)
        with open(os.path.join(home, ".asoundrc"), "w") as rc:
            rc.write('pcm.!default { type file; slave.pcm "null"; file "/dev/null"; format "raw" }\n')
        env = {**self.x.env, "HOME": home, "PATH": tempfile.mkdtemp(dir=root)}
        env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})
        self.show = subprocess.Popen([SHOW], cwd=play, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True,
                                     preexec_fn=background_start)

    def wait_for_title(self):
        self.x.wait_for_window(self.show)

    def wait_for_logo(self):
        check(poll(lambda: self.show.poll() is not None or logo_over_stars(self.x.grab()), 60),
              "no logo over stars after the title card")
        if self.show.poll() is not None:
            raise Failure("the show ended before the logo scene: %r" % self.show.communicate()[0][-500:])

    def taken(self):
        return [n for n in STOP if n not in BACKGROUND_IGNORES]

    def storm(self, rng, signals, count, ending=True):
        """Up to `count` signals, 0 to 10 ms apart, while the show runs; when
        `ending`, the last one taken by the show if none before it was."""
        sent = []
        while len(sent) < count and self.show.poll() is None:
            last = ending and len(sent) == count - 1 and not set(sent) & set(self.taken())
            number = rng.choice(self.taken() if last else signals)
            os.kill(self.show.pid, number)
            sent.append(number)
            time.sleep(rng.uniform(0, 0.01))
        return sent

    def ends_by(self, sent, what):
        """The show ends within 20 s with 128 + a signal it was sent and takes."""
        try:
            output = self.show.communicate(timeout=20)[0]
        except subprocess.TimeoutExpired:
            raise Failure("%s: the show runs on after %d signals" % (what, len(sent)))
        status = self.show.returncode
        taken = {int(n) for n in sent} & {int(n) for n in self.taken()}
        check(status - 128 in taken, "%s: exit status %d after signals %s: %r"
              % (what, status, sorted(set(sent)), output[-500:]))
        check("Shutting down" not in output, "%s: the library shut itself down: %r" % (what, output))
        return len(sent)

    def close(self):
        if self.show.poll() is None:
            self.show.kill()
            self.show.wait()
        self.x.close()


def session(root, play):
    run = Run(root)
    try:
        run.wait_for_title()
        return play(run)
    finally:
        run.close()


def background(root):
    rng = random.Random(61)

    def play(run):
        run.storm(rng, BACKGROUND_IGNORES, 100, ending=False)
        time.sleep(0.3)
        check(run.show.poll() is None, "SIGINT or SIGQUIT, ignored at start, ended the show")
        run.wait_for_logo()
        return run.ends_by(run.storm(rng, STOP, 60), "logo")
    session(root, play)


CASES = {"background": background}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
