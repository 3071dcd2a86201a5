#!/usr/bin/env python3
"""The recorder from the outside: its command line, the frames it writes, the
video with the music, and the same pixels as the show in a real window.

Each case records from a temporary folder holding dat/ (and ffmpeg decodes
what it wrote). The live-show case starts an Xvfb of its own and plays the
show there with xdotool, as show_e2e.py does.

Usage: record_e2e.py RECORDER SHOW DAT CASE
  (CASE: command-line, same-keys, flight-start, video, live-show)
"""

import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave

RECORDER, SHOW, DAT = (os.path.abspath(a) for a in sys.argv[1:4])
CASE = sys.argv[4]
WIDTH, HEIGHT = 1024, 768
FIRST_FLIGHT_FRAME = 1947


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def make_play_dir(root, music=None):
    """A folder with dat/: the show's own files, or its pictures and `music`."""
    play = tempfile.mkdtemp(dir=root)
    os.mkdir(os.path.join(play, "dat"))
    for name in os.listdir(DAT):
        shutil.copy(os.path.join(DAT, name), os.path.join(play, "dat"))
    if music:
        shutil.copy(music, os.path.join(play, "dat", "track1_cut_equalize.wav"))
    return play


def record(play, *args, env=None, timeout=240):
    return subprocess.run([RECORDER, *args], cwd=play, capture_output=True, text=True,
                          timeout=timeout, env=env)


def recorded_ok(result):
    check(result.returncode == 0, "the recorder failed (%d): %s" % (result.returncode,
                                                                   result.stderr[-2000:]))


def frame_hashes(folder):
    names = sorted(os.listdir(folder))
    check(names == ["%06d.png" % n for n in range(1, len(names) + 1)],
          "frames are not numbered 000001.png onwards")
    return [hashlib.sha256(open(os.path.join(folder, n), "rb").read()).hexdigest() for n in names]


def rgb(picture, data=None):
    """Any picture ImageMagick reads (from `data` if given), as 8-bit RGB bytes."""
    raw = subprocess.run(["convert", picture, "-depth", "8", "rgb:-"], input=data,
                         capture_output=True, timeout=60).stdout
    check(len(raw) == WIDTH * HEIGHT * 3, "%s does not decode to 1024x768" % picture)
    return raw


def frame(play, folder, number):
    return rgb(os.path.join(play, folder, "%06d.png" % number))


# Cases --------------------------------------------------------------------

def command_line(root):
    play = make_play_dir(root)
    result = record(play, "--help")
    check(result.returncode == 0 and "--keys" in result.stdout and "--frames" in result.stdout,
          "--help does not describe the options")
    for args, words in ((["--keys", "40:s,30:ESC"], "'30:ESC'"),
                        (["--keys", "40:s"], "never end the show"),
                        (["--keys"], "needs a value"),
                        (["--fast"], "unknown option '--fast'")):
        result = record(play, *args)
        check(result.returncode == 2 and words in result.stderr,
              "%s: status %d, %r" % (args, result.returncode, result.stderr))
    # No ffmpeg: the show is cut short and nothing is left behind.
    empty_bin = tempfile.mkdtemp(dir=root)
    result = record(play, "--keys", "5000:ESC", env={"PATH": empty_bin}, timeout=60)
    check(result.returncode == 1 and "ffmpeg" in result.stderr,
          "without ffmpeg: status %d, %r" % (result.returncode, result.stderr))
    check(sorted(os.listdir(play)) == ["dat"], "files left without ffmpeg: %s" % os.listdir(play))
    # A folder without dat/ fails at start-up, as the show does.
    bare = tempfile.mkdtemp(dir=root)
    result = record(bare, "--keys", "1:ESC", "--frames", "out")
    check(result.returncode == 1 and "star2.tga" in result.stdout + result.stderr,
          "without dat/: status %d, %r" % (result.returncode, result.stdout + result.stderr))


# Escape skips the title card at 60, the logo at 62 and the crawl before its
# first picture; free flight steers from 63 on and ends at 120.
SCRIPT = ("60:hold ESC,61:release ESC,62:hold ESC,63:release ESC,70:hold 4,90:release 4,"
          "90:hold 8,100:s,110:release 8,120:ESC")


def same_keys(root):
    play = make_play_dir(root)
    for folder in ("first", "second"):
        recorded_ok(record(play, "--keys", SCRIPT, "--frames", folder))
    first = frame_hashes(os.path.join(play, "first"))
    second = frame_hashes(os.path.join(play, "second"))
    check(len(first) == 120, "%d frames instead of 120" % len(first))
    check(first == second, "the same keys gave different frames at %s"
          % [i + 1 for i, (a, b) in enumerate(zip(first, second)) if a != b][:10])
    # Held 4 and 8 move the field on every frame after they are pressed, and
    # no further once 8 is let go at 110.
    check(len(set(first[62:70])) == 1, "the field moves before 4 is held")
    check(len(set(first[70:110])) == 40, "steering does not move the field on every frame")
    check(first[109] == first[110], "the field moves after the keys are let go")
    check(len(set(first[50:60])) == 1 and first[50] != first[0],
          "the title card is not one picture after the black pause")
    # S at frame 100: the show's own screenshot is that very frame.
    shot = rgb(os.path.join(play, "qirboSho.pcx"))
    check(shot == frame(play, "first", 100), "the screenshot taken at frame 100 is not frame 100")


def flight_start(root):
    """Free flight begins at FIRST_FLIGHT_FRAME: Space held is seen by nothing
    before it and ends the show at its first frame."""
    play = make_play_dir(root)
    recorded_ok(record(play, "--keys", "1:hold SPACE", "--frames", "out"))
    frames = len(os.listdir(os.path.join(play, "out")))
    check(frames == FIRST_FLIGHT_FRAME, "%d frames instead of %d" % (frames, FIRST_FLIGHT_FRAME))


def write_beeps(path, rate=44100):
    """0.1 s of a loud tone, then 0.1 s of silence: easy to find in a video."""
    samples = [int(20000 * (1 if (i // 20) % 2 else -1)) if i < rate // 10 else 0
               for i in range(rate // 5)]
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def loudness(samples, rate, start, end):
    part = samples[int(start * rate):int(end * rate)]
    return max(abs(s) for s in part) if part else 0


def video(root):
    beeps = os.path.join(root, "beeps.wav")
    write_beeps(beeps)
    play = make_play_dir(root, music=beeps)
    # Escape at 51 ends the title card, so the music starts after frame 51;
    # the logo runs to 130 and free flight's first frame, 131, ends the show.
    result = record(play, "--keys", "51:hold ESC,52:release ESC,130:ESC", "--output", "out.mkv")
    recorded_ok(result)
    check("music starts after frame 51" in result.stderr, "no music start: %r" % result.stderr)
    check(sorted(os.listdir(play)) == ["dat", "out.mkv"], "left behind: %s" % os.listdir(play))
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                            "stream=codec_type,width,height,r_frame_rate,nb_read_frames",
                            "-of", "compact", "out.mkv"], cwd=play, capture_output=True,
                           text=True, timeout=60).stdout
    check("codec_type=video|width=1024|height=768|r_frame_rate=60/1|nb_read_frames=131" in probe,
          "not 131 frames of 1024x768 at 60 fps: %s" % probe)
    check("codec_type=audio" in probe, "no sound in the video")

    rate = 8000
    pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", "out.mkv", "-f", "s16le", "-ac", "1",
                          "-ar", str(rate), "-"], cwd=play, capture_output=True, timeout=60).stdout
    samples = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
    check(abs(len(samples) / rate - 131 / 60) < 0.05,
          "the sound lasts %.3f s, the video %.3f s" % (len(samples) / rate, 131 / 60))
    start = 51 / 60
    check(loudness(samples, rate, 0, start - 0.02) < 200, "sound before the music starts")
    # The tone and the silence alternate every 0.1 s from the start on: it loops.
    for k in range(6):
        beep = start + 0.2 * k
        check(loudness(samples, rate, beep + 0.02, beep + 0.08) > 5000,
              "no tone at %.2f s (loop %d)" % (beep, k))
        check(loudness(samples, rate, beep + 0.12, beep + 0.18) < 2000,
              "no silence at %.2f s (loop %d)" % (beep + 0.1, k))


def show_window(x):
    """The show's full-screen drawing window, or None while there is none."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=x, capture_output=True, text=True,
                          timeout=20).stdout
    covering = [line.split()[0] for line in tree.splitlines()
                if "%dx%d+0+0" % (WIDTH, HEIGHT) in line and "root window" not in line]
    return covering[-1] if '"show"' in tree and covering else None


def start_in_window(play, x, home, path, log):
    """Starts the show on display x; returns it and its window."""
    with open(log, "w+") as said:
        show = subprocess.Popen([SHOW], cwd=play, env={**x, "HOME": home, "PATH": path},
                                stdout=said, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and show.poll() is None:
            window = show_window(x)
            if window:
                return show, window
            time.sleep(0.05)
        if show.poll() is None:
            show.kill()
        said.seek(0)
        output = said.read()
    raise Failure("the show's window never appeared: %s" % output[-1000:])


def live_show(root):
    """The show in a real X11 window, keys through xdotool: its screen during
    the title card and its screenshot in free flight are frames of the
    recording, pixel for pixel."""
    live = make_play_dir(root)
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                             "%dx%dx16" % (WIDTH, HEIGHT), "-nolisten", "tcp", "-noreset"],
                            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        display = ":" + pipe.readline().strip()
    home = tempfile.mkdtemp(dir=root)
    no_tools = tempfile.mkdtemp(dir=root)  # no xmessage: a message goes to stdout
    x = {"DISPLAY": display}
    show = None
    try:
        show, window = start_in_window(live, x, home, no_tools, os.path.join(root, "show.out"))
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=x, timeout=20)
        # S waits in the keyboard buffer for free flight; the title card lasts
        # about four seconds, and Escape held ends it and every later scene.
        subprocess.run(["xdotool", "type", "s"], env=x, timeout=20)

        def grab():
            return subprocess.run(["xwd", "-root", "-silent"], env=x, capture_output=True,
                                  timeout=20).stdout
        deadline = time.monotonic() + 20
        while max(rgb("xwd:-", grab())) == 0 and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.5)  # the title card is up: let it settle, then take it
        xwd = grab()
        subprocess.run(["xdotool", "keydown", "Escape"], env=x, timeout=20)
        check(show.wait(20) == 0, "the show failed")
        subprocess.run(["xdotool", "keyup", "Escape"], env=x, timeout=20)
    finally:
        if show and show.poll() is None:
            show.kill()
        xvfb.send_signal(signal.SIGTERM)
        xvfb.wait()
    title = os.path.join(root, "title.xwd")
    with open(title, "wb") as f:
        f.write(xwd)

    # The same keys for the recorder: S early, Escape held late in the title
    # card. It ends the title card at 100; the logo shows one frame, the
    # crawl none, and free flight's first frame, 102, takes the S.
    play = make_play_dir(root)
    recorded_ok(record(play, "--keys", "1:s,100:ESC", "--frames", "out"))
    check(len(os.listdir(os.path.join(play, "out"))) == 102, "not 102 frames")
    check(rgb("xwd:" + title) == frame(play, "out", 75),
          "the title card differs from the live show's")
    check(rgb(os.path.join(live, "qirboSho.pcx")) == frame(play, "out", 102),
          "free flight differs from the live show's screenshot")


CASES = {"command-line": command_line, "same-keys": same_keys, "flight-start": flight_start,
         "video": video, "live-show": live_show}


def main():
    root = tempfile.mkdtemp(prefix="show-record-")
    try:
        CASES[CASE](root)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("passed:", CASE)
    return 0


if __name__ == "__main__":
    sys.exit(main())
