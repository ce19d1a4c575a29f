#!/usr/bin/env bash
# Frame rate of the browser build in headless Chromium (WebGL 2 on SwiftShader) against the
# desktop build on Mesa's llvmpipe under Xvfb, both 960x540, one after the other in one
# run; and the browser build's start-up: page load to the start screen, click to first
# frame. Each side is also measured with the cost floor's shaders (bench/floor_assets: flat
# colours and one-tap copies), which cost what the passes alone force on any shader set:
# the two 2048x2048 passes, the mipmap chains, the clears and uploads. Where the browser's
# floor lies under half the desktop's show, no shader can bring it to half the desktop's
# frame rate. Needs dist/web (scripts/build-web.sh).
# Usage: bench/web_fps.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
seconds=${2:-20}

cmake --build "$build_dir" --target zoov_fps -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-webfps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
cp -r "$source_dir/bench/floor_assets" "$work/floor"
echo "desktop: $(xvfb-run -a glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)"
# The desktop program swaps the show's shaders and the floor's every other frame.
(cd "$work" && SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  "$build_dir/zoov_fps" "$seconds" floor) | sed 's/^/desktop: /'
node "$source_dir/bench/web_fps.mjs" "$source_dir/dist/web" "$seconds"
# The page has no such swap: a second run serves a copy of it with the floor's shaders.
cp -r "$source_dir/dist/web" "$work/web-floor"
cp "$source_dir"/bench/floor_assets/*.[fv]s "$work/web-floor/assets/"
node "$source_dir/bench/web_fps.mjs" "$work/web-floor" "$seconds" | sed -n 's/^web: \(.*fps over.*\)/web floor: \1/p'
