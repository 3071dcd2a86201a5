#!/usr/bin/env python3
"""./play as a new user meets it, in a copy of the repository whose build
tools are stand-ins that note each call: the show's help without a build
when it is built, a display that is not there said before any build, and
Wayland without X taken as a display.

Usage: play_e2e.py PLAY
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
from x_session import check, main  # noqa: E402

PLAY = os.path.abspath(sys.argv[1])

# A stand-in for every build tool: it notes its call; a build makes a show
# that says what it was asked.
TOOL = """#!/bin/sh
echo "$(basename "$0") $*" >> "%(calls)s"
case "$*" in
  *--build*) mkdir -p "%(repo)s/build"; printf '#!/bin/sh\\necho "the show $*"\\n' > "%(repo)s/build/show"
             chmod +x "%(repo)s/build/show" ;;
esac
exit 0
"""


def run_play(root, built, args, env):
    repo = tempfile.mkdtemp(dir=root)
    tools, calls = os.path.join(repo, "tools-bin"), os.path.join(repo, "calls")
    os.makedirs(os.path.join(repo, "scripts"))
    os.mkdir(tools)
    shutil.copy(PLAY, os.path.join(repo, "play"))
    for name in ("c++", "make", "cmake", "pkg-config", "scripts/install-packages.sh"):
        path = os.path.join(tools if "/" not in name else repo, name)
        with open(path, "w") as tool:
            tool.write(TOOL % {"calls": calls, "repo": repo})
        os.chmod(path, 0o755)
    if built:
        subprocess.run([os.path.join(tools, "cmake"), "--build", "."], check=True)
        os.remove(calls)
    result = subprocess.run([os.path.join(repo, "play"), *args], capture_output=True, text=True, timeout=60,
                            env={"PATH": tools + ":/usr/bin:/bin", "HOME": repo, **env})
    made = open(calls).read() if os.path.exists(calls) else ""
    return result, made


def cases(root):
    runtime = tempfile.mkdtemp(dir=root)
    compositor = socket.socket(socket.AF_UNIX)
    compositor.bind(os.path.join(runtime, "wayland-test"))
    wayland = {"WAYLAND_DISPLAY": "wayland-test", "XDG_RUNTIME_DIR": runtime}
    dead_x = next(":%d" % n for n in range(700, 800) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
    # Each: whether the show is built, the arguments, the environment, the
    # status, words that must be on stderr and on stdout, whether it builds,
    # and whether it says it plays.
    rows = [
        (True, ["--help"], {}, 0, "", "the show --help", False, False),
        (True, ["--window", "--version"], {}, 0, "", "the show --window --version", False, False),
        (False, ["--help"], {}, 0, "not built yet: building it first", "the show --help", True, False),
        (True, [], {"DISPLAY": dead_x}, 1, "no X server at DISPLAY=" + dead_x, "", False, False),
        (True, [], {}, 1, "neither DISPLAY nor WAYLAND_DISPLAY", "", False, False),
        (True, [], {"WAYLAND_DISPLAY": "gone", "XDG_RUNTIME_DIR": runtime}, 1, "no Wayland compositor", "",
         False, False),
        (True, ["--window"], wayland, 0, "", "the show --window", True, True),
    ]
    failures = []
    for built, args, env, status, on_stderr, on_stdout, builds, plays in rows:
        result, made = run_play(root, built, args, env)
        if (result.returncode != status or on_stderr not in result.stderr or on_stdout not in result.stdout or
                ("--build" in made) != builds or ("play: playing in" in result.stderr) != plays):
            failures.append("%s %s (built: %s): status %d, stdout %r, stderr %r, tools called: %r" % (
                env or "no display", args, built, result.returncode, result.stdout, result.stderr, made))
    compositor.close()
    check(not failures, "\n".join(failures))


if __name__ == "__main__":
    sys.exit(main("play", cases))
