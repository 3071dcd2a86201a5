#!/usr/bin/env bash
# Fuzzes the checks and loads of the asset files for a bounded time, then
# replays every input it kept under valgrind, which sees into the library's
# own code where the sanitizers cannot. Exits non-zero on any finding; the
# inputs that broke something are in build-fuzz/findings/. Once mended, copy
# each into tests/fuzz/regressions/, which every run replays with the rest.
#
#   scripts/fuzz.sh [SECONDS]     (default 180)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}

scripts/install-packages.sh clang libclang-rt-14-dev cmake make pkg-config liballegro4-dev \
  valgrind python3

build=build-fuzz
cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 >/dev/null

seeds=$build/seeds
corpus=$build/corpus
findings=$build/findings
rm -rf "$seeds" "$findings"
mkdir -p "$seeds" "$corpus" "$findings"

# Seeds: the real pictures, and the real music cut to its first 4 KiB of
# sound with its lengths set to match, so that each run stays quick.
cp dat/*.tga "$seeds"/
python3 - dat/track1_cut_equalize.wav "$seeds"/track1_cut_equalize.wav <<'PY'
import struct, sys
wav = open(sys.argv[1], "rb").read()
assert wav[36:40] == b"data"
sound = wav[44:44 + 4096]
body = wav[8:36] + b"data" + struct.pack("<I", len(sound)) + sound
open(sys.argv[2], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY

# Every run writes two scratch files: keep them in memory where possible.
[ -w /dev/shm ] && export TMPDIR=/dev/shm

# Each finding is kept and the run goes on, so one run reports them all.
status=0
"$build"/fuzz_assets -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
  -max_total_time="$seconds" -max_len=200000 -timeout=10 \
  -malloc_limit_mb=256 -rss_limit_mb=2048 \
  -artifact_prefix="$findings"/ "$corpus" "$seeds" tests/fuzz/regressions \
  >"$build"/fuzz.log 2>&1 || status=$?
grep -E '^#[0-9]+.*(DONE|cov:)' "$build"/fuzz.log | tail -1
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
  echo "fuzzing found $(ls "$findings" | wc -l) breaking inputs in $findings (log: $build/fuzz.log)"
  exit 1
fi

find "$corpus" "$seeds" tests/fuzz/regressions -type f -print0 |
  xargs -0 valgrind -q --error-exitcode=1 "$build"/replay_assets
echo "fuzzing for ${seconds} s found nothing; valgrind saw no error in $(find "$corpus" -type f | wc -l) kept inputs"
