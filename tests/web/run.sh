#!/usr/bin/env bash
# The browser build's tests: builds dist/web (scripts/build-web.sh), installs Debian's
# Chromium, then runs show.test.mjs in it, headless, through our own DevTools driver
# (cdp.mjs: Node and the browser are all it needs).
# Usage: tests/web/run.sh [NATIVE_BUILD_DIR] (default build; it must hold
# tests/geometry_dump, which scripts/test.sh's plain build makes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(cd "${1:-$root/build}" && pwd)

"$root/scripts/build-web.sh"
"$root/scripts/lib/apt-install.sh" chromium
cd "$here"
mkdir -p "$root/build-web/test-out"
ZOOV_WEB_OUT="$root/build-web/test-out" ZOOV_DIST="$root/dist/web" ZOOV_NATIVE_DUMP="$native/tests/geometry_dump" \
  ZOOV_WEB_DUMP="$root/build-web/cmake/geometry_dump.js" \
  node --test --test-concurrency=1 show.test.mjs
