#!/usr/bin/env bash
# The browser job of ./check: builds the page and the frame test's program
# (scripts/build-web.sh), makes the page's archive as a release does
# (scripts/release.sh web), installs playwright-core from npm into the build
# folder, and runs the browser tests (tests/web/*.test.js, node's test
# runner) in Debian's Chromium, headless: the frames in the build's folder,
# the page as a viewer unpacks it from the archive.
#   scripts/check-web.sh --packages   the Debian packages it needs, on one line
#   scripts/check-web.sh --prepare    builds and installs what is missing, runs nothing
#   scripts/check-web.sh              prepares what is missing, then runs the tests
# SHOW_WEB=0 skips it. The page is built in build-web/, the libraries are kept
# in $SHOW_WEB_CACHE (default ~/.cache/starloom-web) for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

playwright=playwright-core@1.65.2
packages="$(scripts/build-web.sh --packages) chromium"
if [ "${1:-}" = --packages ]; then
  echo "$packages"
  exit 0
fi
if [ "${SHOW_WEB:-1}" = 0 ]; then
  echo "web: skipped (SHOW_WEB=0)"
  exit 0
fi
# shellcheck disable=SC2086
scripts/install-packages.sh $packages
build=$PWD/build-web

prepare() {
  rm -rf "$build/dist"
  scripts/release.sh --dist "$build/dist" web >/dev/null
  NODE_PATH=/usr/share/nodejs cmake --build "$build" -j2 --target show-frames >/dev/null
  # playwright-core only drives the browser: it downloads none of its own.
  if [ ! -f "$build/node_modules/playwright-core/package.json" ]; then
    echo "web: installing $playwright into $build/node_modules" >&2
    npm install --prefix "$build" --no-save --no-audit --no-fund --loglevel=error "$playwright" >/dev/null
  fi
}

if [ "${1:-}" = --prepare ]; then
  prepare
  exit 0
fi
start=$SECONDS
prepare
status=0
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
archive=$(echo "$build"/dist/starloom-*-web.zip)
python3 -m zipfile -e "$archive" "$unpacked"
page=$unpacked/$(basename "$archive" .zip)
# The archive holds the page's files and the licence, nothing else.
if ! diff <({ cat "$build/page_files.txt"; echo LICENSE; } | sort) \
      <(cd "$page" && find . -type f | sed 's|^\./||' | sort) >"$build/archive.diff" ||
    ! cmp -s LICENSE "$page/LICENSE"; then
  echo "FAILED: web: the archive does not hold the page's files and the licence alone:"
  cat "$build/archive.diff"
  status=1
fi
SHOW_WEB_BUILD=$build SHOW_WEB_PAGE=$page SHOW_WEB_NODE_MODULES=$build/node_modules \
  node --test --test-reporter=tap tests/web/frames.test.js tests/web/page.test.js >"$build/tests.tap" 2>&1 ||
  status=$?
cat "$build/tests.tap"
# One line for each test that failed, as ./check's summary lists them.
sed -n 's/^ *not ok [0-9]* - \(.*\)/FAILED: web: \1/p' "$build/tests.tap"
echo "web: $([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
exit $status
