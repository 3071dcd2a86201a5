#!/usr/bin/env python3
"""The show as a viewer meets it: a real X server, keys through xdotool, screen
grabs, and ALSA writing everything played into a file. xmessage is kept off
PATH, so a start-up message goes to the terminal.

Usage: show_e2e.py SHOW DAT CASE
"""

import math
import os
import pty
import shutil
import struct
from statistics import correlation
import subprocess
import sys
import threading
import time
import wave
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True
from x_session import (Failure, XServer, check, copy_dat, flight_moves, logo_over_stars,  # noqa: E402
                       looks_like_stars, main, poll, read_terminal, rgb, text_panel, title_on_black)

SHOW, DAT, CASE = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
MUSIC = "track1_cut_equalize.wav"
SILENCE = 0  # ALSA's file plug-in writes the signed 16-bit samples the show plays


class Session:
    """An Xvfb, a folder to play in, and an ALSA set-up that records."""

    def __init__(self, root):
        self.root, self.x = root, XServer()
        self.play_dir, self.home = os.path.join(root, "play"), os.path.join(root, "home")
        self.sound_file = os.path.join(root, "sound.raw")
        for folder in (self.play_dir, self.home, os.path.join(root, "bin")):
            os.mkdir(folder)
        self.set_sound('{ type file; slave.pcm "null"; file "%s"; format "raw" }' % self.sound_file)
        self.env = {**self.x.env, "HOME": self.home, "PATH": os.path.join(root, "bin")}
        # A show built with the sanitizers takes their settings from the run.
        self.env.update({name: value for name, value in os.environ.items()
                         if name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")})
        self.show, self.runner, self.sizes = None, [], []  # sizes: (time, sound file size)

    def set_sound(self, pcm):
        with open(os.path.join(self.home, ".asoundrc"), "w") as rc:
            rc.write("pcm.!default %s\n" % pcm)

    def start_show(self, cwd=None, program=SHOW, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
        self.show = subprocess.Popen([*self.runner, program], cwd=cwd or self.play_dir, env=self.env,
                                     stdout=stdout, stderr=stderr, text=True)

    def note_sound(self):
        """From now on until the show ends, notes the sound file's size every 20 ms
        in `sizes`, whatever the test is doing meanwhile."""
        def note():
            while self.show.poll() is None:
                if os.path.exists(self.sound_file):
                    self.sizes.append((time.monotonic(), os.path.getsize(self.sound_file)))
                time.sleep(0.02)
        threading.Thread(target=note, daemon=True).start()

    def finish(self, timeout=20):
        """The show's exit status, its stdout and its stderr."""
        try:
            out, err = self.show.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the show did not end within %d s" % timeout)
        return self.show.returncode, out, err

    def fails_with(self, message, cwd=None, on_stderr=False):
        self.start_show(cwd)
        status, out, err = self.finish()
        said = err if on_stderr else out + err
        check(status == 1 and message in said, "status %d, no message %r: %r" % (status, message, said))

    def close(self):
        if self.show and self.show.poll() is None:
            self.show.kill()
        self.x.close()


def screenshot_shows_stars(session):
    shot = os.path.join(session.play_dir, "qirboSho.pcx")
    check(poll(lambda: os.path.exists(shot), 30), "no screenshot was written in the 30 s after S")
    time.sleep(0.5)  # written while the show runs on
    check(looks_like_stars(rgb(shot)), "the screenshot does not show the star field")


# Sound

def recorded_samples(session):
    with open(session.sound_file, "rb") as f:
        data = f.read()
    return struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])


def music_onset(samples):
    return next((i for i, value in enumerate(samples) if abs(value - SILENCE) > 64), None)


def matches_music(recorded, onset, channels):
    """How well the recorded opening matches our WAV's, at whatever rate it was mixed."""
    mono = [sum(recorded[i:i + channels]) / channels - SILENCE
            for i in range(onset - onset % channels, onset + 16000 * channels, channels)]
    with wave.open(os.path.join(DAT, MUSIC)) as w:
        check(w.getsampwidth() == 2, "the music is not 16-bit")
        width, rate = w.getnchannels(), w.getframerate()
        frames = w.readframes(8000)
    values = struct.unpack("<%dh" % (len(frames) // 2), frames)
    opening = [sum(values[i:i + width]) / width for i in range(0, len(values), width)]
    best = 0.0
    for mixer_rate in (rate, 44100, 48000, 22050, 11025):
        step = rate / mixer_rate
        resampled = [opening[int(i * step)] for i in range(int(len(opening) / step))][:4000]
        for lag in range(64):
            best = max(best, correlation(resampled, mono[lag:lag + len(resampled)]))
    return best


# Cases

def fast_path(session, music=True, slowdown=1, program=None):
    """Escape held from the first frame: every scene ends after one pass. SHOW plays
    with dat/ in its folder; another program finds its own data."""
    if program is None and not os.path.isdir(os.path.join(session.play_dir, "dat")):
        copy_dat(DAT, session.play_dir)
    session.start_show(program=program or SHOW)
    session.x.wait_for_window(session.show, 60 * slowdown)
    session.x.xdotool("type", "s")
    session.x.xdotool("keydown", "Escape")
    start = time.monotonic()
    status, out, err = session.finish(30 * slowdown)
    took = time.monotonic() - start
    session.x.xdotool("keyup", "Escape")
    check(status == 0, "exit status %d after the fast path: %r" % (status, out + err))
    # One pass of each scene: a moment, even on a busy machine.
    check(took < 20 * slowdown, "the fast path took %.1f s, not a moment" % took)
    screenshot_shows_stars(session)
    if music:
        check(music_onset(recorded_samples(session)) is not None, "the music never started")


def full_path(session):
    """The whole show, each scene seen as it comes, however late a busy machine
    brings it; the music starts when the title card leaves the screen."""
    copy_dat(DAT, session.play_dir)
    session.start_show()
    session.x.wait_for_window(session.show)
    session.note_sound()
    # Grabs until the logo over stars: the last that showed the title card and
    # the first that did not bracket the moment it left the screen.
    seen_title, left, logo, after_title = None, None, False, []
    deadline = time.monotonic() + 120
    while not logo and time.monotonic() < deadline:
        began, ended, grab = session.x.timed_grab()
        if title_on_black(grab):
            check(left is None, "the title card came back after it had gone")
            seen_title = began
        elif seen_title is not None:
            left = left or ended
            logo = logo_over_stars(grab)
            after_title.append(began)
    check(seen_title is not None, "no title picture on black during the title card")
    check(left is not None, "the title card was still on the screen two minutes after it appeared")
    gaps = [b - a for a, b in zip(after_title, after_title[1:])]
    check(logo, "no logo over stars in the %d grabs after the title card (the first %s s apart)"
          % (len(after_title), ", ".join("%.1f" % gap for gap in gaps[:8])))
    check(poll(lambda: text_panel(session.x.grab()), 60, interval=0.3), "no text panel during the crawl")
    check(poll(lambda: flight_moves(session.x), 120, interval=0),
          "free flight never moved between two grabs a second apart after the crawl")
    session.x.xdotool("type", "s")
    screenshot_shows_stars(session)
    # Held, as a viewer holds it: the loop looks at held keys once a frame.
    session.x.xdotool("keydown", "space")
    status, _, _ = session.finish(20)
    session.x.xdotool("keyup", "space")
    check(status == 0, "exit status %d after Space" % status)
    check(not session.x.window(), "the window is still open")

    samples = recorded_samples(session)
    onset = music_onset(samples)
    check(onset is not None, "the music never started")
    # When the sound file reached the onset: the music's start on the clock the
    # grabs were taken by.
    started = next((t0 + (t1 - t0) * (onset * 2 - s0) / (s1 - s0) for (t0, s0), (t1, s1)
                    in zip(session.sizes, session.sizes[1:]) if s0 <= onset * 2 <= s1 and s1 > s0),
                   None)
    check(started is not None, "the music started outside the recorded time")
    # The sound is mixed a buffer at a time, and the screen changes once the logo
    # scene has drawn its first frame: half a second either side of the moment
    # the title card went.
    check(seen_title - 0.5 < started < left + 0.5,
          "the music started %.2f s after the title card was last seen and %.2f s before the "
          "first grab without it ended; it should start as the title card leaves"
          % (started - seen_title, left - started))
    score = max(matches_music(samples, onset, channels) for channels in (1, 2))
    check(score > 0.8, "the recorded music does not match the WAV (correlation %.2f)" % score)
    # At the file's own level: the one voice playing is not turned down for others.
    played = samples[onset:]
    with wave.open(os.path.join(DAT, MUSIC)) as w:
        frames = w.readframes(len(played) // w.getnchannels())
    heard = struct.unpack("<%dh" % (len(frames) // 2), frames)
    loudest_played = max(range(len(played)), key=lambda i: abs(played[i]))
    loudest_heard = max(range(len(heard)), key=lambda i: abs(heard[i]))
    level = 20 * math.log10(abs(played[loudest_played]) / abs(heard[loudest_heard]))
    check(abs(level) < 0.5, "the music plays %.2f dB from the level of its file: its loudest sample is %d "
          "at %d of the %d recorded, the file's is %d at %d" % (level, played[loudest_played], loudest_played,
                                                                 len(played), heard[loudest_heard], loudest_heard))


def missing_asset(session):
    """Started from a menu, stderr read by no one: the message is in a box, through
    an xmessage that notes its text."""
    copy_dat(DAT, session.play_dir, leave_out=("logo.tga",))
    boxed = os.path.join(session.root, "boxed")
    with open(os.path.join(session.root, "bin", "xmessage"), "w") as stub:
        stub.write('#!/bin/sh\nprintf "%%s\\n" "$@" > "%s"\n' % boxed)
    os.chmod(os.path.join(session.root, "bin", "xmessage"), 0o755)
    session.start_show()
    check(session.finish()[0] == 1, "the show did not fail")
    check(os.path.exists(boxed) and "Error reading image file 'logo.tga'" in open(boxed).read(),
          "no message box")
    check(os.listdir(session.play_dir) == ["dat"], "the show wrote files")


def spoil(at, data):
    def write(path):
        with open(path, "r+b") as f:
            f.seek(at)
            f.write(data)
    return write


def cut_to(size):
    return lambda path: os.truncate(path, size(path) if callable(size) else size)


# Each: the file, how it is spoilt, and the reason the show must give.
BAD_FILES = [
    ("star2.tga", spoil(12, struct.pack("<HH", 60000, 60000)),
     "It claims to be 60000x60000, larger than the 4096x4096 the show reads"),
    ("logo.tga", cut_to(lambda p: os.path.getsize(p) // 2),
     "It ends before the last of its 639x283 pixels"),
    ("txt1_2.tga", spoil(1, struct.pack("<BBHHB", 1, 1, 0, 1000, 24)), "It is colour-mapped"),
    ("dawno.tga", lambda p: subprocess.run(["convert", p, "png:" + p], check=True),
     "It is a PNG image, not a TGA image"),
    (MUSIC, cut_to(100000), "It is cut short"),
    (MUSIC, cut_to(0), "It is empty"),
    (MUSIC, lambda p: shutil.copy(os.path.join(DAT, "logo.tga"), p), "It is not a WAV file"),
]


def bad_assets(session):
    """Each bad file ends the start-up at once: status 1, its name, its reason."""
    for number, (name, spoil_file, reason) in enumerate(BAD_FILES):
        play_dir = os.path.join(session.root, "bad%d" % number)
        spoil_file(os.path.join(copy_dat(DAT, play_dir), name))
        kind = "WAV" if name.endswith(".wav") else "image"
        session.fails_with("Error reading %s file '%s'\n%s" % (kind, name, reason), play_dir)


def elsewhere(session):
    """A show with no data folder, in the working folder or beside it, started with
    stderr to a file, and from a terminal: the message there names every place it
    looked. With no xmessage the library prints it on stdout too: once on a terminal."""
    other, away = os.path.join(session.root, "elsewhere"), os.path.join(session.root, "away")
    os.mkdir(other)
    program = os.path.join(away, "bin", "show")
    os.makedirs(os.path.dirname(program))
    shutil.copy(SHOW, program)
    message = ("Error reading image file 'star2.tga'\nNo data folder at %s/dat, %s/share/starloom/dat or %s/bin/dat\n"
               % (other, away, away))
    with open(os.path.join(session.root, "stderr"), "w+") as stderr:
        session.start_show(other, program, stderr=stderr)
        status, _, _ = session.finish()
        stderr.seek(0)
        said = stderr.read()
    check(status == 1 and message in said, "status %d, no message %r in a file: %r" % (status, message, said))
    terminal, their_end = pty.openpty()
    session.start_show(other, program, their_end, their_end)
    os.close(their_end)
    status, _, _ = session.finish()
    said = read_terminal(terminal)
    os.close(terminal)
    check(status == 1 and said.count(message) == 1, "status %d, not once %r on a terminal: %r"
          % (status, message, said))


CMAKE = os.environ.get("CMAKE", "cmake")
# Files of other programs in the folders the show shares with them.
OTHERS = ("bin/other", "share/man/man6/other.6", "share/applications/other.desktop")


def install(session):
    """`cmake --install --strip` of the build that made SHOW, into a prefix of its own
    that other programs use too."""
    prefix = os.path.join(session.root, "prefix")
    for other in OTHERS:
        os.makedirs(os.path.dirname(os.path.join(prefix, other)), exist_ok=True)
        open(os.path.join(prefix, other), "w").close()
    subprocess.run([CMAKE, "--install", os.path.dirname(SHOW), "--prefix", prefix, "--strip"], check=True,
                   capture_output=True)
    return prefix


def is_stripped(program):
    sections = subprocess.run(["readelf", "-S", "--wide", program], capture_output=True, text=True).stdout
    check(".text" in sections, "readelf read no sections of %s" % program)
    return ".symtab" not in sections


def plays_from_an_empty_folder(session, program):
    """Started from an empty folder, the show plays and leaves its screenshot there,
    and nothing else."""
    fast_path(session, program=program)
    check(os.listdir(session.play_dir) == ["qirboSho.pcx"], "files in the folder: %s"
          % os.listdir(session.play_dir))


def uninstalled(prefix):
    """The build's uninstall target leaves the prefix with the other programs' files
    and no folder of the show's."""
    result = subprocess.run([CMAKE, "--build", os.path.dirname(SHOW), "--target", "uninstall"], capture_output=True,
                            text=True)
    check(result.returncode == 0, "uninstall: status %d %s" % (result.returncode, result.stdout + result.stderr))
    left = sorted(os.path.relpath(os.path.join(folder, name), prefix)
                  for folder, folders, names in os.walk(prefix) for name in names + folders)
    ours = [path for path in left if "starloom" in path]
    check(not ours and all(other in left for other in OTHERS),
          "after uninstall: the show's %s left, or another program's file gone: %s" % (ours, left))


def installed(session):
    """Installed into a prefix, stripped: the show plays from an empty folder; the
    desktop entry passes the validator and names an installed program and icon; the
    manual pages render with their sections and no warning; the recorder names
    itself as installed; uninstalled, nothing of it is left."""
    prefix = install(session)
    plays_from_an_empty_folder(session, os.path.join(prefix, "bin", "starloom"))
    check(not is_stripped(SHOW), "the build's own show has no symbols to strip")
    for program in ("starloom", "starloom-record"):
        check(is_stripped(os.path.join(prefix, "bin", program)), "the installed %s is not stripped" % program)
    entry = os.path.join(prefix, "share", "applications", "starloom.desktop")
    result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    check(result.returncode == 0 and not result.stdout + result.stderr,
          "desktop-file-validate: %s" % (result.stdout + result.stderr))
    with open(entry) as f:
        keys = dict(line.strip().split("=", 1) for line in f if "=" in line)
    check(os.access(os.path.join(prefix, "bin", keys["Exec"]), os.X_OK), "Exec names no installed program")
    icon = os.path.join(prefix, "share", "icons", "hicolor", "128x128", "apps", keys["Icon"] + ".png")
    check(subprocess.run(["identify", "-format", "%wx%h %[opaque]", icon], capture_output=True,
                         text=True).stdout.lower() == "128x128 false",
          "the icon is not a 128x128 picture with see-through parts")
    for page, sections in (("man6/starloom.6", ("NAME", "SYNOPSIS", "OPTIONS", "KEYS", "FILES", "EXIT STATUS")),
                           ("man1/starloom-record.1", ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS",
                                                      "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"))):
        result = subprocess.run(["man", "--warnings", "-l", os.path.join(prefix, "share", "man", page)],
                                capture_output=True, text=True, env={**os.environ, "MANWIDTH": "80"})
        check(result.returncode == 0 and not result.stderr, "man -l %s: %d %s"
              % (page, result.returncode, result.stderr))
        for section in sections:
            check("\n%s\n" % section in result.stdout, "%s has no %s section" % (page, section))
    # The recorder names itself as installed.
    result = subprocess.run([os.path.join(prefix, "bin", "starloom-record"), "--version"], capture_output=True,
                            text=True)
    check(result.stdout.startswith("starloom-record (STARLOOM) "), "--version: %r" % result.stdout)
    uninstalled(prefix)


def unpacked(session):
    """SHOW is the Debian package's, unpacked into a root of its own: from
    usr/games it finds its data in usr/share/starloom and plays from an empty folder."""
    plays_from_an_empty_folder(session, SHOW)


def no_display(session):
    copy_dat(DAT, session.play_dir)
    del session.env["DISPLAY"]
    session.fails_with("starloom: no display to show on: neither DISPLAY nor WAYLAND_DISPLAY is set\n",
                       on_stderr=True)


def no_sound_card(session):
    """ALSA finds no card: the library falls back to silence and the show plays."""
    session.set_sound("{ type hw; card 99 }")
    fast_path(session, music=False)


def valgrind(session):
    """The fast path under memcheck, many times slower than usual. An error is the
    show's when the innermost frame outside the allocator lies in the show."""
    # A file for each process: the sound server's client may fork one of its own.
    report = os.path.join(session.root, "memcheck.%p.xml")
    session.runner = [shutil.which("valgrind"), "--xml=yes", "--xml-file=" + report,
                      "--leak-check=full", "--show-leak-kinds=definite"]
    # The sound device is given 3 s to open, which memcheck on a busy machine
    # can outlast: the show then plays on without music, as it should.
    fast_path(session, music=False, slowdown=6)
    report = report.replace("%p", str(session.show.pid))
    ours, theirs = [], []
    for error in ElementTree.parse(report).getroot().iter("error"):
        inner = [frame.findtext("obj") or "" for frame in error.find("stack").iter("frame")]
        inner = [obj for obj in inner if "vgpreload" not in obj and "libstdc++" not in obj]
        what = error.findtext("what") or error.find("xwhat").findtext("text")
        entry = "%s: %s (in %s)" % (error.findtext("kind"), what, inner[0] if inner else "?")
        (ours if inner and inner[0] == os.path.realpath(SHOW) else theirs).append(entry)
    check(not ours, "memcheck errors in the show's code:\n" + "\n".join(ours))
    print("memcheck: no error in the show's code; %d in the libraries:" % len(theirs))
    print("\n".join("  " + entry for entry in theirs))


CASES = {"fast": fast_path, "full": full_path, "missing-asset": missing_asset,
         "bad-assets": bad_assets, "elsewhere": elsewhere, "no-display": no_display,
         "no-sound-card": no_sound_card, "valgrind": valgrind, "installed": installed,
         "unpacked": unpacked}


def run(root):
    session = Session(root)
    try:
        CASES[CASE](session)
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main(CASE, run))
