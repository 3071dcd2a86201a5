#!/usr/bin/env bash
# Makes the release archives, each named with the project's version (CMake's
# project VERSION, the one `starloom --version` prints):
#   starloom_<version>_amd64.deb     the Debian package, by CPack, built with
#                                    Debian's hardening flags and stripped
#   starloom-<version>-windows.zip   starloom.exe, dat/, LICENSE.txt, README.txt
#   starloom-<version>-web.zip       the web page's folder and the licence
# Usage: scripts/release.sh [--dist DIR] [--build DIR] [deb] [windows] [web]
# With no part named it makes all three. --dist names where they go (default
# dist/), --build the Debian package's build folder (default build-release/).
# The Windows program is built in build-windows/, the web page in build-web/.
set -euo pipefail
cd "$(dirname "$0")/.."

dist=dist
build=build-release
parts=()
while [ $# -gt 0 ]; do
  case $1 in
    --dist) dist=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    deb | windows | web) parts+=("$1"); shift ;;
    *) echo "release: unknown argument '$1'. Usage: scripts/release.sh [--dist DIR] [--build DIR] [deb] [windows] [web]" >&2
       exit 2 ;;
  esac
done
[ ${#parts[@]} -gt 0 ] || parts=(deb windows web)

version=$(sed -n 's/^project([a-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no project VERSION in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)

# A rebuild dates the changelog at the last commit, not at the build.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

# Runs CPack with GENERATOR on the build in FOLDER and moves NAME into dist/.
pack() {
  local generator=$1 folder=$2 name=$3
  rm -rf "$folder/packages"
  cpack -G "$generator" --config "$folder/CPackConfig.cmake" -B "$folder/packages" >"$folder/cpack.log" 2>&1 ||
    { cat "$folder/cpack.log" >&2; exit 1; }
  mv "$folder/packages/$name" "$dist/$name"
  echo "release: $dist/$name ($(du -k "$dist/$name" | cut -f1) KiB)"
}

deb() {
  scripts/install-packages.sh g++ cmake make pkg-config liballegro4-dev libsdl2-dev libx11-dev \
    dpkg-dev file
  # Debian's usual flags: fortified functions, the stack protector, a
  # read-only relocation table bound at start-up, a position-independent
  # program (GCC's default on Debian).
  local CPPFLAGS CXXFLAGS LDFLAGS
  for flags in CPPFLAGS CXXFLAGS LDFLAGS; do
    printf -v "$flags" '%s' "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$flags")"
  done
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSHOW_TESTS=OFF -DSHOW_PROGRAM_DIR=games \
    -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
  cmake --build "$build" -j2 >/dev/null
  local said
  said=$("$build/show" --version)
  [ "$said" = "starloom $version" ] || { echo "release: the show says '$said', not 'starloom $version'" >&2; exit 1; }
  pack DEB "$build" "starloom_${version}_amd64.deb"
}

windows() {
  scripts/build-windows.sh build-windows >/dev/null
  pack ZIP build-windows "starloom-$version-windows.zip"
}

web() {
  if [ ! -f scripts/build-web.sh ]; then
    echo "release: skipped the web archive: this tree has no scripts/build-web.sh to build the page"
    return
  fi
  scripts/build-web.sh build-web >/dev/null
  local name=starloom-$version-web stage file
  stage=$(mktemp -d)
  # The page's own files, as its build lists them: the folder also holds
  # CMake's files and the tests'.
  while read -r file; do
    mkdir -p "$(dirname "$stage/$name/$file")"
    cp "build-web/$file" "$stage/$name/$file"
  done <build-web/page_files.txt
  cp LICENSE "$stage/$name/"
  rm -f "$dist/$name.zip"
  (cd "$stage" && python3 -m zipfile -c "$dist/$name.zip" "$name")
  rm -rf "$stage"
  echo "release: $dist/$name.zip ($(du -k "$dist/$name.zip" | cut -f1) KiB)"
}

for part in "${parts[@]}"; do
  "$part"
done
