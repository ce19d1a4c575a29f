#!/usr/bin/env bash
# Frame rate of the browser build in headless Chromium (WebGL 2 on SwiftShader) against the
# desktop build on Mesa's llvmpipe under Xvfb, both 960x540, one after the other in one
# run; and the browser build's start-up: page load to the start screen, click to first
# frame. Needs dist/web (scripts/build-web.sh).
# Usage: bench/web_fps.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
seconds=${2:-20}

cmake --build "$build_dir" --target zoov_fps -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-webfps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
echo "desktop: $(xvfb-run -a glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)"
(cd "$work" && SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  "$build_dir/zoov_fps" "$seconds") | sed 's/^/desktop: /'
node "$source_dir/bench/web_fps.mjs" "$source_dir/dist/web" "$seconds"
