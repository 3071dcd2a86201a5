#!/usr/bin/env python3
"""The recorder from the outside: the frames it writes and the video with the
music.

Usage: record_e2e.py RECORDER DAT CASE
"""

import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import wave

sys.dont_write_bytecode = True
from x_session import check, copy_dat, main, rgb  # noqa: E402

RECORDER, DAT = (os.path.abspath(a) for a in sys.argv[1:3])
CASE = sys.argv[3]


def make_play_dir(root):
    play = tempfile.mkdtemp(dir=root)
    copy_dat(DAT, play)
    return play


def record(play, *args, status=0, env=None, timeout=240):
    result = subprocess.run([RECORDER, *args], cwd=play, capture_output=True, text=True,
                            timeout=timeout, env=env)
    check(result.returncode == status, "%s: status %d instead of %d: %s"
          % (args, result.returncode, status, (result.stdout + result.stderr)[-2000:]))
    return result


def frame_hashes(folder):
    names = sorted(os.listdir(folder))
    check(names == ["%06d.png" % n for n in range(1, len(names) + 1)],
          "frames are not numbered 000001.png onwards")
    return [hashlib.sha256(open(os.path.join(folder, n), "rb").read()).hexdigest() for n in names]


def frame(play, folder, number):
    return rgb(os.path.join(play, folder, "%06d.png" % number))


# Escape skips the title card at 60, the logo at 62 and the crawl before its
# first picture; free flight steers from 63 on and ends at 120.
SCRIPT = ("60:hold ESC,61:release ESC,62:hold ESC,63:release ESC,70:hold 4,90:release 4,"
          "90:hold 8,100:s,110:release 8,120:ESC")


def same_keys(root):
    play = make_play_dir(root)
    for folder in ("first", "second"):
        record(play, "--keys", SCRIPT, "--frames", folder)
    first, second = (frame_hashes(os.path.join(play, folder)) for folder in ("first", "second"))
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
    check(rgb(os.path.join(play, "qirboSho.pcx")) == frame(play, "first", 100),
          "the screenshot taken at frame 100 is not frame 100")


def video(root):
    # The music, in stereo: 0.1 s of a loud tone, then 0.1 s of silence, easy to find.
    play = make_play_dir(root)
    with wave.open(os.path.join(play, "dat", "track1_cut_equalize.wav"), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes(struct.pack("<17640h", *(20000 * (1 if (i // 40) % 2 else -1) if i < 8820
                                               else 0 for i in range(17640))))
    # Escape at 51 ends the title card, so the music starts after frame 51;
    # the logo runs to 130 and free flight's first frame, 131, ends the show.
    result = record(play, "--keys", "51:hold ESC,52:release ESC,130:ESC", "--output", "out.mkv")
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

    def loudness(start, end):
        return max((abs(s) for s in samples[int(start * rate):int(end * rate)]), default=0)
    start = 51 / 60
    check(loudness(0, start - 0.02) < 200, "sound before the music starts")
    # The tone and the silence alternate every 0.1 s from the start on: it loops.
    for beep in (start + 0.2 * k for k in range(6)):
        check(loudness(beep + 0.02, beep + 0.08) > 5000, "no tone at %.2f s" % beep)
        check(loudness(beep + 0.12, beep + 0.18) < 2000, "no silence at %.2f s" % (beep + 0.1))


CASES = {"same-keys": same_keys, "video": video}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
