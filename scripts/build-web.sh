#!/usr/bin/env bash
# Builds the show as a web page with Debian's emscripten: index.html, page.js,
# show.js, show.wasm and the data files in dat/, side by side in BUILD_DIR,
# which any static web server serves (scripts/serve-web.sh).
# SDL2 and Allegro 4.4 come from Debian's own source (the .dsc pinned here,
# the tarball checked against it), with our fixes (scripts/web/*.patch) and
# settings (scripts/web/*.cmake). Each is built once into $SHOW_WEB_CACHE
# (default ~/.cache/starloom-web), under its version and a checksum of its
# patches, its settings and the compiler's version.
# Usage: scripts/build-web.sh [BUILD_DIR]   (default build-web)
#        scripts/build-web.sh --packages    the Debian packages it needs, on one line
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

packages="emscripten cmake make pkg-config curl ca-certificates"
if [ "${1:-}" = --packages ]; then
  echo "$packages"
  exit 0
fi
# shellcheck disable=SC2086
scripts/install-packages.sh $packages

build=${1:-build-web}
cache=${SHOW_WEB_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/starloom-web}
# emcc's optimizer needs Debian's node modules. A node with a fetch of its own
# (20) runs emscripten's programs only when told not to use it: without that,
# the test programs of CMake's checks fail without a word, and the libraries
# come out wrong.
export NODE_PATH=/usr/share/nodejs
emulator="$(command -v node);--no-experimental-fetch"
compiler=$(emcc -dumpversion)

# build_library NAME VERSION POOL_PATH DSC DSC_SHA256: builds it unless the
# cache has it, and prints where it is installed. Run it in a subshell.
build_library() {
  local name=$1 version=$2 pool_path=$3 dsc=$4 dsc_sha256=$5
  local settings=(scripts/web/"$name".cmake) patches=() key prefix tarball src start
  [ -f "scripts/web/$name-checks-$compiler.cmake" ] && settings+=("scripts/web/$name-checks-$compiler.cmake")
  for patch in scripts/web/"$name"-*.patch; do
    [ -f "$patch" ] && patches+=("$patch")
  done
  key=$( { cat "${settings[@]}" ${patches[@]+"${patches[@]}"}; echo "$compiler"; } | sha256sum | cut -c1-12)
  prefix=$cache/$name-$version-$key
  if [ ! -f "$prefix/built" ]; then
    echo "Building $name $version for the browser (once; kept in $prefix)" >&2
    start=$SECONDS
    tarball=$(scripts/debian-source.sh "$pool_path" "$dsc" "$dsc_sha256" "$cache/source")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    tar -xzf "$tarball" -C "$work"
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
    for patch in ${patches[@]+"${patches[@]}"}; do
      patch -d "$src" -p1 -s < "$patch"
    done
    local cache_files=()
    for file in "${settings[@]}"; do
      cache_files+=(-C "$file")
    done
    # Their own warnings are many and their own: they go to a log, shown on failure.
    if ! emcmake cmake -S "$src" -B "$work/build" "${cache_files[@]}" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_INSTALL_PREFIX="$prefix" "-DCMAKE_CROSSCOMPILING_EMULATOR=$emulator" >"$work/log" 2>&1; then
      tail -n 40 "$work/log" >&2
      exit 1
    fi
    echo "  configured in $((SECONDS - start)) s" >&2
    if ! { cmake --build "$work/build" -j2 && rm -rf "$prefix" && cmake --install "$work/build"; } >>"$work/log" 2>&1; then
      tail -n 40 "$work/log" >&2
      exit 1
    fi
    touch "$prefix/built"
    echo "  built and installed in $((SECONDS - start)) s" >&2
  fi
  echo "$prefix"
}

sdl=$(build_library sdl2 2.26.5 libs/libsdl2 libsdl2_2.26.5+dfsg-1.dsc \
  95b9a18130d98164e7856eca8ac1a2eb65d822ac4872ef8862ceed2cb1662136)
allegro=$(build_library allegro 4.4.3.1 a/allegro4.4 allegro4.4_4.4.3.1-3.dsc \
  063dc0224404c68193147122607b99d572737846e7caa4de57277399751852e0)

# Only these: the machine's own SDL2 and Allegro are not for the browser.
export PKG_CONFIG_LIBDIR=$sdl/lib/pkgconfig:$allegro/lib/pkgconfig
# The toolchain looks for libraries only under emscripten's own folders and these.
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_FIND_ROOT_PATH=$sdl;$allegro" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$emulator" >/dev/null 2>&1
cmake --build "$build" -j2 --target show
