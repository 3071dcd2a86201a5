#!/usr/bin/env bash
# The Windows job of ./check: makes the Windows archive as a release does
# (scripts/release.sh windows, which cross-builds show.exe) and plays the
# archive's program under Wine in an X server of its own
# (tests/e2e/windows_e2e.py).
#   scripts/check-windows.sh --packages   the Debian packages it needs, on one line
#   scripts/check-windows.sh --prepare    makes the archive and the Wine prefix, runs nothing
#   scripts/check-windows.sh              prepares what is missing, then plays it
# SHOW_WINDOWS=0 skips it. The Allegro build and the Wine prefix are kept in
# $SHOW_WINDOWS_CACHE (default ~/.cache/starloom-windows) for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

# Only the 64-bit Wine: show.exe is a 64-bit program.
packages=(wine wine64 xvfb xauth xdotool x11-apps imagemagick python3 $(scripts/build-windows.sh --packages))
if [ "${1:-}" = --packages ]; then
  echo "${packages[*]}"
  exit 0
fi
if [ "${SHOW_WINDOWS:-1}" = 0 ]; then
  echo "windows: skipped (SHOW_WINDOWS=0)"
  exit 0
fi
scripts/install-packages.sh "${packages[@]}"
export SHOW_WINDOWS_CACHE=${SHOW_WINDOWS_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/starloom-windows}
export WINEPREFIX=$SHOW_WINDOWS_CACHE/wine
dist=build-windows/dist

prepare() {
  rm -rf "$dist"
  scripts/release.sh --dist "$dist" windows >/dev/null
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows: making a Wine prefix (once; kept in $WINEPREFIX)" >&2
    # No Mono or Gecko: their installers would ask in a window.
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

if [ "${1:-}" = --prepare ]; then
  prepare
  exit 0
fi
start=$SECONDS
compgen -G "$dist/starloom-*-windows.zip" >/dev/null && [ -f "$WINEPREFIX/system.reg" ] || prepare
status=0
python3 tests/e2e/windows_e2e.py "$dist"/starloom-*-windows.zip LICENSE || status=$?
wineserver -k 2>/dev/null || true
echo "windows: $([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit $status
