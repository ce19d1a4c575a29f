#!/usr/bin/env bash
# Frame rate of the show against its cost floor, side by side in one run under Xvfb.
# The floor is the same program, the same frame and the same eight passes with trivial
# shaders (bench/floor_assets: flat colours and one-tap copies), so it costs what the
# passes force on any shader set: clears, the slab, two full-screen passes at 2048x2048,
# two mipmap chains, the compose and the line-buffer upload. tools/zoov_fps runs the show
# windowed (960x540, music on SDL's dummy audio driver) and swaps the five programs
# between the two sets every other frame, so that a busy machine slows both alike; it
# prints the median frame time of each set and their ratio (target: 0.9 or more).
# Usage: bench/pipeline_fps.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
seconds=${2:-20}

cmake --build "$build_dir" --target zoov_fps -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-fps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
cp -r "$source_dir/bench/floor_assets" "$work/floor"

cd "$work"
echo "show (assets) against the 1-tap floor (floor), ${seconds} s, 960x540, Xvfb + $(
  xvfb-run -a glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)"
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1920x1080x24" "$build_dir/zoov_fps" "$seconds" floor
