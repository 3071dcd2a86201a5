#!/usr/bin/env python3
"""The Debian package as scripts/release.sh makes it, judged as Debian and a
viewer would: built in a folder of its own, then checked by lintian, and its
files held to the install rules'. The package's show playing from its
unpacked tree is show_e2e.py's case `unpacked`.

Usage: release_e2e.py SOURCE WORK CASE
  build     makes WORK/dist/starloom_<version>_amd64.deb and unpacks it into WORK/root
  lintian   no error and no warning
  contents  exactly the install rules' files, the manual pages and the changelog
            compressed; the licence; the programs stripped and hardened
"""

import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
from x_session import Failure, check, main  # noqa: E402

SOURCE, WORK, CASE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
BUILD, DIST, ROOT = (os.path.join(WORK, name) for name in ("build", "dist", "root"))
PROGRAMS = ("usr/games/starloom", "usr/games/starloom-record")


def run(*command, **options):
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise Failure("%s: status %d\n%s" % (" ".join(command), result.returncode, result.stdout + result.stderr))
    return result.stdout


def package():
    version = run(os.path.join(BUILD, "show"), "--version").split()[-1]
    path = os.path.join(DIST, "starloom_%s_amd64.deb" % version)
    check(os.path.isfile(path), "no %s in %s: %s" % (os.path.basename(path), DIST, os.listdir(DIST)))
    return path


def build(_):
    shutil.rmtree(DIST, ignore_errors=True)
    run(os.path.join(SOURCE, "scripts", "release.sh"), "--dist", DIST, "--build", BUILD, "deb", timeout=1200)
    shutil.rmtree(ROOT, ignore_errors=True)
    run("dpkg-deb", "-x", package(), ROOT)


def lintian(_):
    result = subprocess.run(["lintian", "--display-info", package()], capture_output=True, text=True)
    print(result.stdout, end="")
    complaints = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:")]
    check(result.returncode == 0 and not complaints,
          "lintian: status %d, %s" % (result.returncode, complaints or result.stderr))


def installed_files(root):
    """What `cmake --install` of the package's build puts under /usr, as paths like usr/games/starloom."""
    run("cmake", "--install", BUILD, "--prefix", "/usr", env={**os.environ, "DESTDIR": os.path.join(root, "stage")})
    with open(os.path.join(BUILD, "install_manifest.txt")) as manifest:
        return {line.strip().lstrip("/") for line in manifest if line.strip()}


def compressed(path):
    """The name Debian gives a file it compresses: manual pages and changelogs."""
    return path + ".gz" if path.startswith("usr/share/man/") or re.fullmatch(r"usr/share/doc/[^/]+/changelog", path) \
        else path


def words(text):
    return " ".join(text.split())


def licence_in(copyright_file):
    """The copyright file is in Debian's machine-readable format and grants the MIT
    (Expat) licence in the very words of LICENSE."""
    with open(copyright_file) as f:
        copyright_text = f.read()
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"),
          "the copyright file is not in Debian's machine-readable format")
    check(re.search(r"^Files: \*\n(.+\n)*License: Expat$", copyright_text, re.M),
          "the copyright file gives no licence for every file")
    grant = copyright_text.split("\nLicense: Expat\n")[-1]
    grant = "\n".join("" if line == " ." else line for line in grant.splitlines())
    with open(os.path.join(SOURCE, "LICENSE")) as f:
        licence = f.read()
    check(words(licence[licence.index("Permission is hereby granted"):]) == words(grant),
          "the copyright file's licence is not LICENSE's")


def contents(root):
    deb = package()
    listed = run("dpkg-deb", "-c", deb).splitlines()
    packed = {line.split()[-1][2:] for line in listed if line.startswith("-")}
    expected = {compressed(path) for path in installed_files(root)}
    check(packed == expected, "the package's files differ from the install rules': missing %s, extra %s"
          % (sorted(expected - packed), sorted(packed - expected)))
    depends = run("dpkg-deb", "-f", deb, "Depends")
    check(all(name in depends for name in ("liballegro4.4", "libsdl2-2.0-0", "libc6")),
          "the dependencies found miss the libraries: %r" % depends)
    licence_in(os.path.join(ROOT, "usr/share/doc/starloom/copyright"))
    for program in PROGRAMS:
        sections = run("readelf", "-S", "--wide", os.path.join(ROOT, program))
        check(".symtab" not in sections and ".comment" not in sections, "%s is not stripped" % program)
        run("hardening-check", "--nocfprotection", os.path.join(ROOT, program))


CASES = {"build": build, "lintian": lintian, "contents": contents}

if __name__ == "__main__":
    sys.exit(main("release." + CASE, CASES[CASE]))
