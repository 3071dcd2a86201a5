#!/usr/bin/env python3
"""The processor time the show takes per second of show, on X11 and on
Wayland side by side, at one output size: X11 in an Xvfb of that size,
Wayland in weston's X11 back end with an output of that size (inside an
Xvfb of its own). It is measured from /proc/PID/stat (user + system time,
all threads) over a window of the text crawl, which draws every tick:
from 12 s to 27 s after the show first shows, 900 frames at the show's pace.
weston's own time over the same window is given beside it.

Usage: desktop_cpu.py SHOW DAT [WIDTHxHEIGHT] [NAME=VALUE ...]
  (the NAME=VALUE pairs go to the show's environment on Wayland, e.g.
   SDL_FRAMEBUFFER_ACCELERATION=1, without which a show before its own
   Wayland buffers did not start there)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
sys.dont_write_bytecode = True
from x_session import XServer, copy_dat, poll  # noqa: E402

SHOW, DAT = os.path.abspath(sys.argv[1]), sys.argv[2]
SIZE = sys.argv[3] if len(sys.argv) > 3 and "=" not in sys.argv[3] else "1920x1080"
EXTRA = dict(arg.split("=", 1) for arg in sys.argv[3:] if "=" in arg)
FROM, TO = 12.0, 27.0
TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def measure(env, folder, appeared, others=()):
    """The show's (and others') processor seconds per second over the window."""
    show = subprocess.Popen([SHOW], cwd=folder, env={"HOME": folder, "PATH": "/usr/bin:/bin", **env},
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        start = appeared(show)
        time.sleep(max(0.0, start + FROM - time.monotonic()))
        before = [cpu_seconds(p) for p in (show.pid, *others)]
        t0 = time.monotonic()
        time.sleep(TO - FROM)
        after = [cpu_seconds(p) for p in (show.pid, *others)]
        spent = time.monotonic() - t0
        return [(a - b) / spent for a, b in zip(after, before)]
    finally:
        show.kill()
        show.wait()


def on_x11(root):
    x = XServer(SIZE + "x24")
    try:
        folder = os.path.join(root, "x11")
        copy_dat(DAT, folder)
        return measure(x.env, folder, lambda show: x.wait_for_window(show, 30, in_window=False))
    finally:
        x.close()


def on_wayland(root):
    width, height = SIZE.split("x")
    x = XServer("%dx%dx24" % (int(width) + 16, int(height) + 16))
    runtime = tempfile.mkdtemp(dir=root)
    os.chmod(runtime, 0o700)
    weston = subprocess.Popen(["weston", "--backend=x11-backend.so", "--socket=bench", "--no-config",
                               "--idle-time=0", "--width=" + width, "--height=" + height],
                              env={**x.env, "XDG_RUNTIME_DIR": runtime, "HOME": runtime, "PATH": "/usr/bin:/bin"},
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        poll(lambda: os.path.exists(os.path.join(runtime, "bench")), 30)
        window = poll(lambda: x.xdotool("search", "--classname", "^weston"), 30).split()[0]
        folder = os.path.join(root, "wayland")
        copy_dat(DAT, folder)

        # weston's panel is lit at once: the show's window is looked for in
        # the middle of the output.
        def appeared(show):
            middle = (int(height) // 2 * (int(width) + 0) + int(width) // 4) * 3
            poll(lambda: max(x.grab_raw(window)[middle:middle + int(width) * 3 // 2], default=0) > 0, 30)
            return time.monotonic()
        return measure({"WAYLAND_DISPLAY": "bench", "XDG_RUNTIME_DIR": runtime, **EXTRA}, folder, appeared,
                       [weston.pid])
    finally:
        weston.terminate()
        weston.wait()
        x.close()


def main():
    root = tempfile.mkdtemp(prefix="desktop-cpu-")
    try:
        x11 = on_x11(root)
        wayland = on_wayland(root)
        with open("/proc/loadavg") as f:
            load = f.read().split()[:3]
        print("%s, %s%s, load %s" % (SIZE, os.path.basename(SHOW), "".join(" %s=%s" % kv for kv in EXTRA.items()),
                                     " ".join(load)))
        print("  X11:     show %.3f s/s" % x11[0])
        print("  Wayland: show %.3f s/s, weston %.3f s/s" % tuple(wayland))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
