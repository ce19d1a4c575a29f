#!/usr/bin/env bash
# The browser build's tests: builds dist/web (scripts/build-web.sh), installs Debian's
# Chromium and Firefox ESR, then runs show.test.mjs in Chromium, headless, through our own
# DevTools driver (cdp.mjs), and firefox.test.mjs in Firefox in a virtual display, through
# our own WebDriver BiDi driver (bidi.mjs): Node and the browsers are all they need.
# Usage: tests/web/run.sh [NATIVE_BUILD_DIR] (default build; it must hold
# tests/geometry_dump, which scripts/test.sh's plain build makes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(cd "${1:-$root/build}" && pwd)

"$root/scripts/build-web.sh"
# Firefox opens Mesa's EGL and GL itself (no package dependency) for WebGL.
"$root/scripts/lib/apt-install.sh" chromium firefox-esr xvfb xauth libegl1 libegl-mesa0 libgl1-mesa-dri
cd "$here"
mkdir -p "$root/build-web/test-out"
ZOOV_WEB_OUT="$root/build-web/test-out" ZOOV_DIST="$root/dist/web" ZOOV_NATIVE_DUMP="$native/tests/geometry_dump" \
  ZOOV_WEB_DUMP="$root/build-web/cmake/geometry_dump.js" \
  node --test --test-concurrency=1 show.test.mjs
# Firefox draws WebGL only in a real window (not headless); the display is the size of the
# pictures compared. Its frame at 16.3 s is held against Chromium's, written just before.
ZOOV_WEB_OUT="$root/build-web/test-out" ZOOV_DIST="$root/dist/web" \
  ZOOV_CHROMIUM_FRAME="$root/build-web/test-out/picture-16s.png" \
  xvfb-run -a -s "-screen 0 960x540x24 -noreset" node --test firefox.test.mjs
