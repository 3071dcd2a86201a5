#!/usr/bin/env bash
# Cross-builds show.exe for 64-bit Windows with mingw-w64, on a static Allegro
# built from Debian's own source with our fixes (scripts/windows/*.patch).
# Usage: scripts/build-windows.sh [BUILD_DIR]   (default build-windows)
#        scripts/build-windows.sh --packages    the Debian packages it needs
# The Allegro build is kept in $SHOW_WINDOWS_CACHE (default
# ~/.cache/starloom-windows), under its version and a checksum of the patches
# and the toolchain file, so only the first run builds it.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix cmake make pkg-config curl
  ca-certificates patch)
if [ "${1:-}" = --packages ]; then
  echo "${packages[*]}"
  exit 0
fi
scripts/install-packages.sh "${packages[@]}"

build=${1:-build-windows}
version=4.4.3.1
dsc=allegro4.4_$version-3.dsc
# The .dsc is pinned; it names the checksum of the source tarball.
dsc_sha256=063dc0224404c68193147122607b99d572737846e7caa4de57277399751852e0
toolchain=$PWD/scripts/windows/mingw-w64.cmake
key=$(cat scripts/windows/*.patch "$toolchain" | sha256sum | cut -c1-12)
cache=${SHOW_WINDOWS_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/starloom-windows}
prefix=$cache/allegro-$version-$key

if [ ! -f "$prefix/lib/pkgconfig/allegro.pc" ]; then
  echo "Building Allegro $version for Windows (once; kept in $prefix)" >&2
  start=$SECONDS
  tarball=$(scripts/debian-source.sh a/allegro4.4 "$dsc" "$dsc_sha256" "$cache/source")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  tar -xzf "$tarball" -C "$work"
  src=$(echo "$work"/allegro-*)
  for patch in scripts/windows/*.patch; do
    patch -d "$src" -p1 -s < "$patch"
  done
  # Its own 64-bit warnings are many and its own: they go to a log, shown on failure.
  if ! { cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_INSTALL_PREFIX="$prefix.part" -DSHARED=OFF -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF \
           -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF -DWANT_EXAMPLES=OFF -DWANT_TOOLS=OFF -DWANT_TESTS=OFF \
           -DWANT_DOCS=OFF &&
         cmake --build "$work/build" -j2 && rm -rf "$prefix.part" && cmake --install "$work/build"
       } >"$work/log" 2>&1; then
    tail -n 40 "$work/log" >&2
    exit 1
  fi
  # Allegro's build writes no pkg-config file for Windows.
  mkdir -p "$prefix.part/lib/pkgconfig"
  cat > "$prefix.part/lib/pkgconfig/allegro.pc" <<PC
prefix=$prefix
Name: allegro
Description: Allegro $version, static, for Windows
Version: $version
Cflags: -I\${prefix}/include -DALLEGRO_STATICLINK
Libs: -L\${prefix}/lib -lalleg -ldinput -lddraw -ldxguid -lwinmm -ldsound -lgdi32 -lole32 -lcomdlg32 -luser32 -lkernel32 -static
PC
  rm -rf "$prefix"
  mv "$prefix.part" "$prefix"
  echo "Built Allegro $version for Windows in $((SECONDS - start)) s" >&2
fi

export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSHOW_WINDOWS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target show
