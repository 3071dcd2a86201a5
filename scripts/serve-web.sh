#!/usr/bin/env bash
# Serves the page that scripts/build-web.sh made on 127.0.0.1 and prints its
# address; open it in a browser. Ctrl+C ends it.
# Usage: scripts/serve-web.sh [BUILD_DIR] [PORT]   (default build-web, 8000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-web}
[ -f "$build/index.html" ] && [ -f "$build/show.wasm" ] ||
  { echo "No page in $build: build it with scripts/build-web.sh $build" >&2; exit 1; }
exec node scripts/web/serve.js "$build" "${2:-8000}"
