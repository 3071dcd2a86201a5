#!/usr/bin/env bash
# The browser job of ./check: builds the page and the frame test's program
# (scripts/build-web.sh), installs playwright-core from npm into the build
# folder, and runs the browser tests (tests/web/*.test.js) in Debian's
# Chromium, headless. SHOW_WEB=0 skips it.
# Usage: scripts/check-web.sh [--build] [BUILD_DIR]   (default build-web)
#   --build     only builds (what is built already is kept), runs no test
#   --packages  the Debian packages it needs, on one line
set -euo pipefail
cd "$(dirname "$0")/.."

playwright=playwright-core@1.65.2
packages="$(scripts/build-web.sh --packages) chromium"
build_only=false
case "${1:-}" in
  --packages) echo "$packages"; exit 0 ;;
  --build) build_only=true; shift ;;
esac
build=$(realpath -m "${1:-build-web}")

if [ "${SHOW_WEB:-1}" = 0 ]; then
  echo "web: skipped (SHOW_WEB=0)"
  exit 0
fi
start=$SECONDS
# shellcheck disable=SC2086
scripts/install-packages.sh $packages
scripts/build-web.sh "$build" >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build "$build" -j2 --target show-frames >/dev/null
# playwright-core only drives the browser: it downloads none of its own.
if [ ! -f "$build/node_modules/playwright-core/package.json" ]; then
  echo "Installing $playwright into $build/node_modules" >&2
  npm install --prefix "$build" --no-save --no-audit --no-fund --loglevel=error "$playwright" >/dev/null
fi
$build_only && exit 0

status=0
SHOW_WEB_BUILD=$build SHOW_WEB_NODE_MODULES=$build/node_modules \
  node --test tests/web/frames.test.js tests/web/page.test.js || status=$?
echo "web: $([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit $status
