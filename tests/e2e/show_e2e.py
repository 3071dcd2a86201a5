#!/usr/bin/env python3
"""The show as a viewer meets it: a real X server, real keys, real sound.

Each case starts its own Xvfb, runs the show from a folder holding dat/, sends
keys with xdotool, grabs the screen with xwd, and lets ALSA write everything
played into a file. xmessage is kept off PATH, so a start-up message goes to
the terminal instead of a box that nobody can close.

Usage: show_e2e.py SHOW DAT CASE
CASE: fast, full, missing-asset, bad-assets, elsewhere, no-display,
      no-sound-card, no-home, eight-bit-music, valgrind
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave
import xml.etree.ElementTree as ElementTree

SHOW, DAT, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
WIDTH, HEIGHT = 1024, 768
# The ALSA driver writes one fragment per tick of its background thread, so
# the file grows steadily; its samples are unsigned 16-bit, silence 32768.
SILENCE = 32768


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


class Session:
    """An Xvfb, a folder to play in, and an ALSA set-up that records."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="show-e2e-")
        self.play_dir = os.path.join(self.root, "play")
        os.mkdir(self.play_dir)
        self.home = home = os.path.join(self.root, "home")
        os.mkdir(home)
        self.sound_file = os.path.join(self.root, "sound.raw")
        with open(os.path.join(home, ".asoundrc"), "w") as rc:
            rc.write('pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n'
                     % self.sound_file)
        # A PATH with the tools the show may call, but no xmessage.
        bin_dir = os.path.join(self.root, "bin")
        os.mkdir(bin_dir)
        # The server must not reset when its last client leaves: the screen
        # polls come and go while the show connects, and a reset drops it.
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx16" % (WIDTH, HEIGHT),
             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()
        self.env = {"DISPLAY": self.display, "HOME": home, "PATH": bin_dir}
        # A show built with the sanitizers takes their settings from the run.
        self.env.update({name: value for name, value in os.environ.items()
                         if name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")})
        self.show = None
        self.runner = []  # a command the show runs under, such as valgrind
        self.sizes = []  # (time, size of the sound file) while the show runs

    def start_show(self, cwd=None):
        self.show = subprocess.Popen([*self.runner, os.path.abspath(SHOW)],
                                     cwd=cwd or self.play_dir, env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def output(self):
        return self.show.stdout.read().decode() + self.show.stderr.read().decode()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={"DISPLAY": self.display},
                              capture_output=True, text=True, timeout=20).stdout.strip()

    def window(self):
        """The show's full-screen drawing window, or None while there is none.

        The library maps an unnamed window over the screen, with the drawing
        window inside it; its named top-level window stays unmapped.
        """
        tree = subprocess.run(["xwininfo", "-root", "-tree", "-display", self.display],
                              capture_output=True, text=True, timeout=20).stdout
        if '"show"' not in tree:
            return None
        covering = [line.split()[0] for line in tree.splitlines()
                    if "%dx%d+0+0" % (WIDTH, HEIGHT) in line and "root window" not in line]
        return covering[-1] if covering else None

    def wait_for_window(self, timeout=20):
        window = poll(lambda: self.window() or self.show.poll() is not None, timeout)
        if self.show.poll() is not None:
            raise Failure("the show ended with status %d before its window appeared: %r"
                          % (self.show.returncode, self.output()))
        check(window, "the show's window never appeared")
        self.xdotool("windowfocus", "--sync", window)
        return time.monotonic()

    def grab(self):
        """The whole screen as a list of rows of (r, g, b)."""
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display],
                             capture_output=True, timeout=20).stdout
        raw = subprocess.run(["convert", "xwd:-", "-depth", "8", "rgb:-"], input=xwd,
                             capture_output=True, timeout=20).stdout
        check(len(raw) == WIDTH * HEIGHT * 3, "screen grab failed")
        return raw

    def note_sound(self):
        try:
            self.sizes.append((time.monotonic(), os.path.getsize(self.sound_file)))
        except OSError:
            pass

    def sleep_noting_sound(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.note_sound()
            time.sleep(0.02)

    def finish(self, timeout):
        try:
            self.show.wait(timeout)
        except subprocess.TimeoutExpired:
            self.show.kill()
            raise Failure("the show did not end within %d s" % timeout)
        return self.show.returncode

    def close(self):
        if self.show and self.show.poll() is None:
            self.show.kill()
        self.xvfb.send_signal(signal.SIGTERM)
        self.xvfb.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def copy_assets(session, leave_out=(), play_dir=None):
    target = os.path.join(play_dir or session.play_dir, "dat")
    os.mkdir(target)
    for name in os.listdir(DAT):
        if name not in leave_out:
            shutil.copy(os.path.join(DAT, name), target)
    return target


# Pictures -----------------------------------------------------------------

def pixel(raw, x, y):
    i = (y * WIDTH + x) * 3
    return raw[i], raw[i + 1], raw[i + 2]


def lit_fraction(raw, x0, y0, x1, y1, step=3):
    """Share of pixels in the rectangle that are not black."""
    lit = total = 0
    for y in range(y0, y1, step):
        for x in range(x0, x1, step):
            total += 1
            if sum(pixel(raw, x, y)) > 30:
                lit += 1
    return lit / total


def colourful_fraction(raw, x0, y0, x1, y1, step=3):
    """Share of strongly saturated pixels: lettering and emblem, not white stars."""
    count = total = 0
    for y in range(y0, y1, step):
        for x in range(x0, x1, step):
            total += 1
            r, g, b = pixel(raw, x, y)
            if max(r, g, b) > 120 and max(r, g, b) - min(r, g, b) > 80:
                count += 1
    return count / total


def bright_fraction(raw, x0, y0, x1, y1, step=2):
    count = total = 0
    for y in range(y0, y1, step):
        for x in range(x0, x1, step):
            total += 1
            if min(pixel(raw, x, y)) > 150:
                count += 1
    return count / total


def looks_like_title(raw):
    return lit_fraction(raw, 100, 258, 899, 511) > 0.05 and lit_fraction(raw, 0, 0, WIDTH, 250) < 0.001


def looks_like_stars(raw):
    share = lit_fraction(raw, 0, 0, WIDTH, HEIGHT, step=1)
    return 0.0005 < share < 0.2


# Sound --------------------------------------------------------------------

def recorded_samples(session):
    with open(session.sound_file, "rb") as f:
        data = f.read()
    return struct.unpack("<%dH" % (len(data) // 2), data[:len(data) // 2 * 2])


def music_onset(samples):
    """Index of the first sample that is not silence."""
    for i, value in enumerate(samples):
        if abs(value - SILENCE) > 64:
            return i
    return None


def time_of_offset(sizes, offset_bytes):
    """Wall time at which the sound file reached the given size."""
    for (t0, s0), (t1, s1) in zip(sizes, sizes[1:]):
        if s0 <= offset_bytes <= s1 and s1 > s0:
            return t0 + (t1 - t0) * (offset_bytes - s0) / (s1 - s0)
    return None


def wav_opening(path, count):
    with wave.open(path) as w:
        check(w.getsampwidth() == 2, "the music is not 16-bit")
        channels = w.getnchannels()
        frames = w.readframes(count)
    values = struct.unpack("<%dh" % (len(frames) // 2), frames)
    return [sum(values[i:i + channels]) / channels for i in range(0, len(values), channels)], \
        w.getframerate()


def correlation(a, b):
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / ((va * vb) ** 0.5) if va and vb else 0.0


def matches_music(recorded, onset, channels):
    """The recorded opening is our WAV's opening, at whatever rate it was mixed."""
    mono = [sum(recorded[i:i + channels]) / channels - SILENCE
            for i in range(onset - onset % channels, onset + 16000 * channels, channels)]
    opening, rate = wav_opening(os.path.join(DAT, "track1_cut_equalize.wav"), 8000)
    best = 0.0
    for mixer_rate in (rate, 44100, 48000, 22050, 11025):
        step = rate / mixer_rate
        resampled = [opening[int(i * step)] for i in range(int(len(opening) / step))][:4000]
        for lag in range(0, 64):
            best = max(best, correlation(resampled, mono[lag:lag + len(resampled)]))
    return best


# Cases --------------------------------------------------------------------

def fast_path(session, music=True, slowdown=1):
    """Escape held from the first frame: every scene ends after one pass.

    music: whether the music must be heard (not without a sound card);
    slowdown: how many times slower than usual the show runs here.
    """
    if not os.path.isdir(os.path.join(session.play_dir, "dat")):
        copy_assets(session)
    session.start_show()
    session.wait_for_window(20 * slowdown)
    session.xdotool("type", "s")
    session.xdotool("keydown", "Escape")
    start = time.monotonic()
    status = session.finish(20 * slowdown)
    session.xdotool("keyup", "Escape")
    check(status == 0, "exit status %d after the fast path" % status)
    check(time.monotonic() - start < 10 * slowdown, "the fast path took too long")
    shot = os.path.join(session.play_dir, "qirboSho.pcx")
    check(os.path.exists(shot), "no screenshot was written")
    decoded = subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], capture_output=True).stdout
    check(len(decoded) == WIDTH * HEIGHT * 3, "the screenshot does not decode to 1024x768")
    check(looks_like_stars(decoded), "the screenshot does not show the star field")
    if music:
        samples = recorded_samples(session)
        check(music_onset(samples) is not None, "the music never started")


def full_path(session):
    copy_assets(session)
    session.start_show()
    opened = session.wait_for_window()
    session.sleep_noting_sound(2.5)
    check(looks_like_title(session.grab()), "no title picture on black during the title card")
    # The logo scene: the emblem's colours in its area, over stars.
    session.sleep_noting_sound(3.5)
    logo = session.grab()
    check(colourful_fraction(logo, 190, 250, 829, 533) > 0.03, "no logo during the logo scene")
    check(lit_fraction(logo, 0, 0, WIDTH, 240, step=1) > 0.0005, "no stars around the logo")
    # The crawl: the first panel rises from the bottom edge within a few seconds.
    session.sleep_noting_sound(4)
    found = False
    for _ in range(30):
        crawl = session.grab()
        if bright_fraction(crawl, 49, 300, 975, 768) > 0.02:
            found = True
            break
        session.sleep_noting_sound(0.3)
    check(found, "no text panel during the crawl")
    # Free flight: stars only, once every panel has gone (the crawl lasts about 22 s).
    session.sleep_noting_sound(max(0.0, opened + 36 - time.monotonic()))
    flight = session.grab()
    check(looks_like_stars(flight), "no star field in free flight")
    session.xdotool("type", "s")
    shot = os.path.join(session.play_dir, "qirboSho.pcx")
    check(poll(lambda: os.path.exists(shot), 5), "S wrote no screenshot")
    time.sleep(0.5)
    decoded = subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], capture_output=True).stdout
    check(len(decoded) == WIDTH * HEIGHT * 3 and looks_like_stars(decoded),
          "the screenshot does not decode to the star field")
    before = session.grab()
    session.xdotool("keydown", "4")
    time.sleep(1)
    session.xdotool("keyup", "4")
    after = session.grab()
    check(before != after, "holding 4 changed nothing")
    # Held, as a viewer holds it: the loop looks at held keys once a frame.
    session.xdotool("keydown", "space")
    status = session.finish(10)
    session.xdotool("keyup", "space")
    check(status == 0, "exit status %d after Space" % status)
    check(not session.window(), "the window is still open")

    samples = recorded_samples(session)
    onset = music_onset(samples)
    check(onset is not None, "the music never started")
    started = time_of_offset(session.sizes, onset * 2)
    check(started is not None, "the music started outside the recorded time")
    delay = started - opened
    check(3.5 < delay < 7.5, "the music started %.2f s after the window opened, not about 5 s"
          % delay)
    score = max(matches_music(samples, onset, channels) for channels in (1, 2))
    check(score > 0.8, "the recorded music does not match the WAV (correlation %.2f)" % score)


def missing_asset(session):
    copy_assets(session, leave_out=("logo.tga",))
    session.start_show()
    status = session.finish(20)
    out = session.output()
    check(status == 1, "exit status %d with a missing image" % status)
    check("Error reading image file 'logo.tga'" in out, "no message naming the file: %r" % out)
    check(sorted(os.listdir(session.play_dir)) == ["dat"], "the show wrote files")


def spoil_header(path, at, data):
    with open(path, "r+b") as f:
        f.seek(at)
        f.write(data)


def cut_to(path, size):
    with open(path, "r+b") as f:
        f.truncate(size)


# Each: the file, how it is spoilt, and the reason the show must give.
BAD_FILES = [
    ("star2.tga", lambda p: spoil_header(p, 12, struct.pack("<HH", 60000, 60000)),
     "It claims to be 60000x60000, larger than the 4096x4096 the show reads"),
    ("logo.tga", lambda p: cut_to(p, os.path.getsize(p) // 2),
     "It ends before the last of its 639x283 pixels"),
    ("txt1_2.tga", lambda p: spoil_header(p, 1, struct.pack("<BBHHB", 1, 1, 0, 1000, 24)),
     "It is colour-mapped"),
    ("dawno.tga", lambda p: subprocess.run(["convert", p, "png:" + p], check=True),
     "It is a PNG image, not a TGA image"),
    ("track1_cut_equalize.wav", lambda p: cut_to(p, 100000), "It is cut short"),
    ("track1_cut_equalize.wav", lambda p: cut_to(p, 0), "It is empty"),
    ("track1_cut_equalize.wav", lambda p: shutil.copy(os.path.join(DAT, "logo.tga"), p),
     "It is not a WAV file"),
]


def bad_assets(session):
    """Each bad file ends the start-up at once: status 1, its name, its reason."""
    for number, (name, spoil, reason) in enumerate(BAD_FILES):
        play_dir = os.path.join(session.root, "bad%d" % number)
        os.mkdir(play_dir)
        spoil(os.path.join(copy_assets(session, play_dir=play_dir), name))
        session.start_show(cwd=play_dir)
        status = session.finish(20)
        out = session.output()
        kind = "WAV" if name.endswith(".wav") else "image"
        message = "Error reading %s file '%s'\n%s" % (kind, name, reason)
        check(status == 1, "exit status %d with a spoilt %s" % (status, name))
        check(message in out, "no message %r: %r" % (message, out))


def elsewhere(session):
    """Started from a folder without dat/: the message says where it looked."""
    copy_assets(session)
    other = os.path.join(session.root, "elsewhere")
    os.mkdir(other)
    session.start_show(cwd=other)
    status = session.finish(20)
    out = session.output()
    check(status == 1, "exit status %d without dat/" % status)
    message = "Error reading image file 'star2.tga'\nNo folder 'dat' in %s\n" % other
    check(message in out, "no message %r: %r" % (message, out))


def no_display(session):
    copy_assets(session)
    env = {name: value for name, value in session.env.items() if name != "DISPLAY"}
    run = subprocess.run([os.path.abspath(SHOW)], cwd=session.play_dir, env=env,
                         capture_output=True, timeout=20)
    check(run.returncode == 1, "exit status %d without a display" % run.returncode)
    check(b"no X display" in run.stderr, "no message on stderr: %r" % run.stderr)


def no_sound_card(session):
    """ALSA finds no card: the library falls back to silence and the show plays."""
    with open(os.path.join(session.home, ".asoundrc"), "w") as rc:
        rc.write("pcm.!default { type hw; card 99 }\n")
    fast_path(session, music=False)


def no_home(session):
    del session.env["HOME"]
    fast_path(session, music=False)


def eight_bit_music(session):
    """An 8-bit WAV is one the library reads and mixes: the show plays it."""
    dat = copy_assets(session)
    music = os.path.join(dat, "track1_cut_equalize.wav")
    subprocess.run(["sox", os.path.join(DAT, "track1_cut_equalize.wav"), "-b", "8", music],
                   check=True)
    fast_path(session)


def memcheck_errors(report):
    """Errors found, split into those of the show's own code and the others.

    An error is the show's when the innermost frame outside the allocator
    lies in the show: a bad access there, or a block the show allocated.
    """
    show = os.path.realpath(SHOW)
    ours, theirs = [], []
    for error in ElementTree.parse(report).getroot().iter("error"):
        objects = [frame.findtext("obj") or "" for frame in error.find("stack").iter("frame")]
        inner = [obj for obj in objects if "vgpreload" not in obj and "libstdc++" not in obj]
        what = error.findtext("what") or error.find("xwhat").findtext("text")
        entry = "%s: %s (in %s)" % (error.findtext("kind"), what, inner[0] if inner else "?")
        (ours if inner and inner[0] == show else theirs).append(entry)
    return ours, theirs


def valgrind(session):
    """The fast path under memcheck, about 20 times slower than usual."""
    report = os.path.join(session.root, "memcheck.xml")
    session.runner = [shutil.which("valgrind"), "--xml=yes", "--xml-file=" + report,
                      "--leak-check=full", "--show-leak-kinds=definite"]
    fast_path(session, slowdown=6)
    ours, theirs = memcheck_errors(report)
    check(not ours, "memcheck errors in the show's code:\n" + "\n".join(ours))
    print("memcheck: no error in the show's code; %d in the libraries:" % len(theirs))
    for entry in theirs:
        print("  " + entry)


CASES = {"fast": fast_path, "full": full_path, "missing-asset": missing_asset,
         "bad-assets": bad_assets, "elsewhere": elsewhere, "no-display": no_display,
         "no-sound-card": no_sound_card, "no-home": no_home,
         "eight-bit-music": eight_bit_music, "valgrind": valgrind}


def main():
    session = Session()
    try:
        CASES[CASE](session)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        session.close()
    print("passed:", CASE)
    return 0


if __name__ == "__main__":
    sys.exit(main())
