#!/usr/bin/env bash
# The Windows job of ./check: makes the Windows archive as a release does
# (scripts/release.sh windows, which cross-builds show.exe) and plays the
# archive's program under Wine in an X server of its own
# (tests/e2e/windows_e2e.py).
# SHOW_WINDOWS=0 skips it. The Allegro build and the Wine prefix are kept in
# $SHOW_WINDOWS_CACHE (default ~/.cache/starloom-windows) for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${SHOW_WINDOWS:-1}" = 0 ]; then
  echo "windows: skipped (SHOW_WINDOWS=0)"
  exit 0
fi
start=$SECONDS
# Only the 64-bit Wine: show.exe is a 64-bit program.
scripts/install-packages.sh wine wine64 xvfb xauth xdotool x11-apps imagemagick python3
export SHOW_WINDOWS_CACHE=${SHOW_WINDOWS_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/starloom-windows}
dist=$(mktemp -d)
trap 'rm -rf "$dist"' EXIT
scripts/release.sh --dist "$dist" windows

export WINEPREFIX=$SHOW_WINDOWS_CACHE/wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # No Mono or Gecko: their installers would ask in a window.
  WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1
  wineserver -w
fi
status=0
python3 tests/e2e/windows_e2e.py "$dist"/starloom-*-windows.zip LICENSE || status=$?
wineserver -k 2>/dev/null || true
echo "windows: $([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit $status
