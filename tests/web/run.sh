#!/usr/bin/env bash
# The browser build's tests: builds dist/web (scripts/build-web.sh), installs Debian's
# Chromium and the test driver (npm ci), then runs show.test.mjs in headless Chromium.
# Usage: tests/web/run.sh [NATIVE_BUILD_DIR] (default build; it must hold
# tests/geometry_dump, which scripts/test.sh's plain build makes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(cd "${1:-$root/build}" && pwd)

"$root/scripts/build-web.sh"
"$root/scripts/lib/apt-install.sh" chromium
# Debian's npm only where no npm came with the machine's Node (a NodeSource Node has its own).
command -v npm >/dev/null || "$root/scripts/lib/apt-install.sh" npm
# The driver only: it never downloads a browser of its own. Installed again when the lock
# file changes.
if ! cmp -s "$here/package-lock.json" "$here/node_modules/.zoov-installed-lock"; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$here/node_modules/.zoov-installed-lock"
fi

cd "$here"
mkdir -p "$root/build-web/test-out"
ZOOV_WEB_OUT="$root/build-web/test-out" ZOOV_DIST="$root/dist/web" ZOOV_NATIVE_DUMP="$native/tests/geometry_dump" \
  ZOOV_WEB_DUMP="$root/build-web/cmake/geometry_dump.js" \
  node --test --test-concurrency=1 show.test.mjs
