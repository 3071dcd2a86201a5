#!/usr/bin/env python3
"""The recorder from the outside: the frames it writes, its videos with the
music, lossless, scaled and fitted, what it does to files already there, and
how it ends on a failure or a signal.

Usage: record_e2e.py RECORDER DAT CASE
"""

import hashlib
import json
import os
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import wave

sys.dont_write_bytecode = True
from x_session import check, copy_dat, main, rgb  # noqa: E402

RECORDER, DAT = (os.path.abspath(a) for a in sys.argv[1:3])
CASE = sys.argv[3]
HASHES = os.path.join(os.path.dirname(DAT), "tests", "frame_hashes.txt")
W, H = 1024, 768
SAMPLES_PER_FRAME = 735  # at 44100 a second


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


def streams(path):
    """ffprobe's view of each stream, frames counted."""
    result = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_streams", "-of", "json",
                             path], capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, "ffprobe cannot read %s: %s" % (path, result.stderr))
    return {s["codec_type"]: s for s in json.loads(result.stdout)["streams"]}


def decoded(path, *vf, pix_fmt="rgb24"):
    command = ["ffmpeg", "-v", "error", "-i", path]
    if vf:
        command += ["-vf", ",".join(vf)]
    return subprocess.run(command + ["-f", "rawvideo", "-pix_fmt", pix_fmt, "-"], capture_output=True,
                          timeout=240).stdout


def sound(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-"],
                          capture_output=True, timeout=120).stdout


def picture_hash(pixels):
    """The show's own hash of a 1024x768 16-bit picture (tests/unit_show_frames.cpp)."""
    h, mask = W << 32 | H, (1 << 64) - 1
    for word in struct.unpack("<%dQ" % (len(pixels) // 8), pixels):
        h = ((h ^ word) * 0x9e3779b97f4a7c15) & mask
        h = (h << 29 | h >> 35) & mask
    return "%016x" % h


def show_hashes(first, last):
    with open(HASHES) as f:
        return f.read().split()[first - 1:last]


def frame_hashes(folder):
    names = sorted(os.listdir(folder))
    check(names == ["%06d.png" % n for n in range(1, len(names) + 1)],
          "frames are not numbered 000001.png onwards")
    return [hashlib.sha256(open(os.path.join(folder, n), "rb").read()).hexdigest() for n in names]


def frame(play, folder, number):
    return rgb(os.path.join(play, folder, "%06d.png" % number))


def centroid(raw, w, h):
    """Where the picture's brightness is centred, (x, y) in pixels."""
    sx = sy = total = 0
    for y in range(h):
        row = raw[y * w * 3:(y + 1) * w * 3]
        for x in range(w):
            v = row[3 * x] + row[3 * x + 1] + row[3 * x + 2]
            sx, sy, total = sx + x * v, sy + y * v, total + v
    return sx / total, sy / total


def coloured_error(reference, picture):
    """The mean error, in levels, on the reference's strongly coloured pixels."""
    total = count = 0
    for i in range(0, len(reference), 3):
        r, g, b = reference[i:i + 3]
        if max(r, g, b) - min(r, g, b) > 40:
            total += abs(r - picture[i]) + abs(g - picture[i + 1]) + abs(b - picture[i + 2])
            count += 3
    return total / count


# Decoding as the tags say, whatever a decoder would assume for the size.
AS_TAGGED = "scale=in_color_matrix=bt709:in_range=tv:flags=accurate_rnd+full_chroma_int"

# Escape skips the title card at 60, the logo at 62 and the crawl before its
# first picture; free flight steers from 63 on and ends at 120.
SCRIPT = ("60:hold ESC,61:release ESC,62:hold ESC,63:release ESC,70:hold 4,90:release 4,"
          "90:hold 8,100:s,110:release 8,120:ESC")
# Escape at 51 ends the title card, so the music starts after frame 51; the
# logo runs to 130 and free flight's first frame, 131, ends the show.
SHORT = "51:hold ESC,52:release ESC,130:ESC"


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
    result = record(play, "--keys", SHORT, "--output", "out.mkv")
    check("music starts after frame 51" in result.stderr, "no music start: %r" % result.stderr)
    check(sorted(os.listdir(play)) == ["dat", "out.mkv"], "left behind: %s" % os.listdir(play))
    found = streams(os.path.join(play, "out.mkv"))
    v = found.get("video", {})
    shape = tuple(v.get(k) for k in ("codec_name", "width", "height", "r_frame_rate", "nb_read_frames",
                                     "pix_fmt", "color_space", "color_range", "color_primaries",
                                     "color_transfer"))
    check(shape == ("h264", 1024, 768, "60/1", "131", "yuv444p", "bt709", "tv", "bt709", "bt709"),
          "not 131 frames of 1024x768 at 60 fps, 4:4:4 tagged BT.709: %s" % (shape,))
    check(found.get("audio", {}).get("codec_name") == "flac", "no FLAC sound in the video: %s" % found)
    # Decoded as tagged, the title's coloured letters keep their colour.
    record(play, "--keys", SHORT, "--from", "51", "--to", "51", "--frames", "title")
    title = decoded(os.path.join(play, "out.mkv"), "select=eq(n\\,50)", AS_TAGGED)[:W * H * 3]
    error = coloured_error(frame(play, "title", 51), title)
    check(error < 3.5, "the title's colours are %.2f levels off" % error)

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


def lossless(root):
    """Frames 291 to 320, the end of the title card and the logo's start, where
    the music begins after frame 300: each decoded frame is the show's own frame
    as 2x2 blocks, and the sound is the music's own samples after ten frames of
    silence."""
    play = make_play_dir(root)
    record(play, "--lossless", "--scale", "2", "--from", "291", "--to", "320", "--output", "l.mkv")
    path = os.path.join(play, "l.mkv")
    found = streams(path)
    v = found.get("video", {})
    shape = tuple(v.get(k) for k in ("codec_name", "width", "height", "pix_fmt", "nb_read_frames"))
    check(shape == ("ffv1", 2048, 1536, "bgr0", "30"), "not 30 frames of 2048x1536 FFV1 RGB: %s" % (shape,))
    check(found.get("audio", {}).get("codec_name") == "flac", "no FLAC sound: %s" % found)
    whole = decoded(path)
    check(whole == decoded(path, "scale=1024:768:flags=neighbor", "scale=2048:1536:flags=neighbor"),
          "the pixels are not 2x2 blocks")
    # The show's pixels are 16-bit: RGB's top bits, undithered, are the picture again.
    pixels = decoded(path, "scale=1024:768:flags=neighbor", "format=rgb24",
                     "scale=flags=neighbor:sws_dither=none", pix_fmt="rgb565le")
    size = W * H * 2
    got = [picture_hash(pixels[i:i + size]) for i in range(0, len(pixels), size)]
    expected = show_hashes(291, 320)
    check(got == expected, "frames differ from the show's: %s"
          % [291 + i for i, (a, b) in enumerate(zip(got, expected)) if a != b][:10])

    with wave.open(os.path.join(DAT, "track1_cut_equalize.wav")) as music:
        check((music.getnchannels(), music.getsampwidth(), music.getframerate()) == (2, 2, 44100),
              "the test expects the music as 16-bit stereo at 44100")
        samples = music.readframes(music.getnframes())
    pcm = sound(path)
    silence = 10 * SAMPLES_PER_FRAME * 4
    check(len(pcm) == 30 * SAMPLES_PER_FRAME * 4, "%d bytes of sound for 30 frames" % len(pcm))
    check(pcm[:silence] == bytes(silence), "sound before the music starts")
    check(pcm[silence:] == samples[:len(pcm) - silence], "the sound is not the music's samples")


def fit(root):
    """--fit 2160p of the title card: 3840x2160, the picture 2880x2160 at x 480 on
    black, tagged BT.709, its letters where and as the show draws them."""
    play = make_play_dir(root)
    record(play, "--fit", "2160p", "--from", "291", "--to", "300", "--output", "fit.mp4")
    path = os.path.join(play, "fit.mp4")
    found = streams(path)
    v = found.get("video", {})
    shape = tuple(v.get(k) for k in ("codec_name", "width", "height", "pix_fmt", "nb_read_frames",
                                     "color_space", "color_range", "color_primaries", "color_transfer"))
    check(shape == ("h264", 3840, 2160, "yuv420p", "10", "bt709", "tv", "bt709", "bt709"),
          "not ten 3840x2160 4:2:0 frames tagged BT.709: %s" % (shape,))
    check(found.get("audio", {}).get("codec_name") == "aac", "no AAC sound: %s" % found)
    first = decoded(path, "select=eq(n\\,0)", AS_TAGGED)[:3840 * 2160 * 3]
    bars = max(max(first[(y * 3840 + x0) * 3:(y * 3840 + x1) * 3]) for y in range(2160)
               for x0, x1 in ((0, 480), (3360, 3840)))
    check(bars <= 3, "the bars are not black: a level of %d" % bars)
    # The picture, taken back to the show's size, against the show's frame.
    back = decoded(path, "select=eq(n\\,0)", AS_TAGGED, "crop=2880:2160:480:0",
                   "scale=1024:768:flags=area")[:W * H * 3]
    record(play, "--from", "291", "--to", "291", "--frames", "ref")
    reference = frame(play, "ref", 291)
    # Two pixels off in the output frame move the centre by more than half a pixel.
    at, expected = centroid(back, W, H), centroid(reference, W, H)
    check(max(abs(a - b) for a, b in zip(at, expected)) < 0.25,
          "the picture is centred at %.2f,%.2f, not %.2f,%.2f" % (*at, *expected))
    error = coloured_error(reference, back)
    check(error < 5, "the title's colours are %.2f levels off" % error)


def is_video(path, frames):
    found = streams(path)
    return (found.get("video", {}).get("nb_read_frames") == str(frames) and "audio" in found
            and stat.S_ISREG(os.lstat(path).st_mode))


def files(root):
    """Names the recorder refuses leave what is there untouched, before the show
    plays; a link or a pipe under the output name is replaced, not written
    through or waited on, and so are none under the names drafts once had; a
    name that starts with '-' is a file."""
    play = make_play_dir(root)
    for name in ("keep.webm", "keep.avi", "keep.txt", "keep.png", "keep.gif", "keep"):
        with open(os.path.join(play, name), "wb") as f:
            f.write(b"kept")
        result = record(play, "--output", name, status=2, timeout=20)
        check(".mkv (Matroska), .mp4 or .mov" in result.stderr and "frame 1" not in result.stderr,
              "%s: not refused before the show: %r" % (name, result.stderr))
        check(open(os.path.join(play, name), "rb").read() == b"kept", "%s was changed" % name)
        os.remove(os.path.join(play, name))

    victim = os.path.join(play, "victim")
    with open(victim, "wb") as f:
        f.write(b"victim")
    os.symlink(victim, os.path.join(play, "linked.mkv"))
    os.mkfifo(os.path.join(play, "piped.mkv"))
    planted = {}
    for name in ("linked.mkv", "piped.mkv"):
        os.symlink(victim, os.path.join(play, name + ".music.raw"))
        os.mkfifo(os.path.join(play, name + ".draft.mkv"))
        planted.update({name + ".music.raw": stat.S_ISLNK, name + ".draft.mkv": stat.S_ISFIFO})
    for name in ("linked.mkv", "piped.mkv", "-dash.mkv"):
        record(play, "--keys", "1:ESC", "--output", name, timeout=60)
        check(is_video(os.path.join(play, name), 53), "%s is not the recording" % name)
    check(open(victim, "rb").read() == b"victim", "the file a link points to was written")
    for name, kind in planted.items():
        check(kind(os.lstat(os.path.join(play, name)).st_mode), "%s was replaced" % name)
    check(sorted(os.listdir(play)) == sorted(["dat", "victim", "linked.mkv", "piped.mkv", "-dash.mkv",
                                              *planted]), "left behind: %s" % os.listdir(play))


def ffmpeg_child(recorder):
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open("/proc/%s/comm" % entry) as f:
                name = f.read().strip()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == recorder and name == "ffmpeg":
            return int(entry)
    return None


def read_progress(process, until):
    """The recorder's stderr up to the progress line of frame `until`."""
    said = b""
    while ("frame %d " % until).encode() not in said:
        chunk = process.stderr.read1(256)
        check(chunk, "the recorder ended before frame %d: %r" % (until, said[-500:]))
        said += chunk
    return said


def failures(root):
    """A file under the output name stays as it was when ffmpeg is missing, is
    killed while it records, or the disk fills; no draft is left behind."""
    play = make_play_dir(root)
    keep = os.path.join(play, "keep.mkv")

    def kept(case, said):
        with open(keep, "rb") as f:
            check(f.read() == b"kept", "%s: keep.mkv was changed" % case)
        check(sorted(os.listdir(play)) == ["dat", "keep.mkv"], "%s: left behind: %s" % (case, os.listdir(play)))
        check("keep.mkv is left as it was" in said, "%s: not said: %r" % (case, said[-500:]))

    with open(keep, "wb") as f:
        f.write(b"kept")
    result = record(play, "--keys", SHORT, "--output", "keep.mkv", status=1,
                    env={**os.environ, "PATH": "/nonexistent"}, timeout=60)
    check("cannot run ffmpeg" in result.stderr, "no word of ffmpeg missing: %r" % result.stderr)
    kept("no ffmpeg", result.stderr)

    recorder = subprocess.Popen([RECORDER, "--keys", "51:hold ESC,52:release ESC,3000:ESC", "--output",
                                 "keep.mkv"], cwd=play, stderr=subprocess.PIPE)
    said = read_progress(recorder, 90)
    encoder = ffmpeg_child(recorder.pid)
    check(encoder, "no ffmpeg under the recorder")
    os.kill(encoder, signal.SIGKILL)
    said += recorder.communicate(timeout=60)[1]
    check(recorder.returncode == 1 and b"SIGKILL" in said, "status %d after ffmpeg was killed: %r"
          % (recorder.returncode, said[-500:]))
    kept("ffmpeg killed", said.decode())

    # A disk of 64 KiB, in a mount namespace of the recorder's own: what it
    # holds afterwards is listed from inside.
    full = os.path.join(play, "full")
    os.mkdir(full)
    result = subprocess.run(["unshare", "-rm", "sh", "-c", 'mount -t tmpfs -o size=64k tmpfs full || exit 99; '
                             'printf kept >full/keep.mkv; "$0" "$@"; status=$?; cat full/keep.mkv; echo; '
                             'ls -A full; exit $status', RECORDER, "--keys", "51:hold ESC,52:release ESC,600:ESC",
                             "--output", "full/keep.mkv", "--quality", "0"],
                            cwd=play, capture_output=True, text=True, timeout=120)
    check(result.returncode != 99, "no tmpfs in a mount namespace of its own (unshare -rm): %s" % result.stderr)
    check(result.returncode == 1, "status %d on a full disk: %r" % (result.returncode, result.stderr[-500:]))
    check(result.stdout.split() == ["kept", "keep.mkv"], "the full disk holds: %r" % result.stdout)
    check("keep.mkv is left as it was" in result.stderr, "not said: %r" % result.stderr[-500:])


def signals(root):
    """SIGINT to the whole process group, as Ctrl+C in a terminal sends it, and
    SIGHUP to the recorder alone: the frames recorded are kept, with their sound."""
    play = make_play_dir(root)
    for number, group in ((signal.SIGINT, True), (signal.SIGHUP, False)):
        name = "%s.mkv" % number.name
        recorder = subprocess.Popen([RECORDER, "--keys", "51:hold ESC,52:release ESC,3000:ESC",
                                     "--output", name], cwd=play, stderr=subprocess.PIPE,
                                    start_new_session=True)
        said = read_progress(recorder, 120)
        (os.killpg if group else os.kill)(recorder.pid, number)
        said = (said + recorder.communicate(timeout=120)[1]).decode()
        check(recorder.returncode == 128 + number, "%s: status %d: %r" % (number.name, recorder.returncode,
                                                                        said[-500:]))
        lines = [line for line in said.replace("\r", "\n").splitlines() if line and not line.startswith("frame")]
        check(len(lines) == 1 and "stopped by %s" % number.name in lines[0],
              "%s: not one line said: %r" % (number.name, lines))
        kept = int(lines[0].split(" kept")[0].split()[-1])
        check(kept >= 120, "%s: only %d frames kept" % (number.name, kept))
        found = streams(os.path.join(play, name))
        check(found.get("video", {}).get("nb_read_frames") == str(kept),
              "%s: the video has not the %d frames said: %s" % (number.name, kept, found))
        pcm = sound(os.path.join(play, name))
        check(len(pcm) == kept * SAMPLES_PER_FRAME * 4 and max(pcm[51 * SAMPLES_PER_FRAME * 4:]) > 0,
              "%s: %d bytes of sound for %d frames, or silence" % (number.name, len(pcm), kept))
    check(sorted(os.listdir(play)) == ["SIGHUP.mkv", "SIGINT.mkv", "dat"], "left behind: %s" % os.listdir(play))


CASES = {"same-keys": same_keys, "video": video, "lossless": lossless, "fit": fit, "files": files,
         "failures": failures, "signals": signals}

if __name__ == "__main__":
    sys.exit(main(CASE, CASES[CASE]))
