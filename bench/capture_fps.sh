#!/usr/bin/env bash
# Capture speed against the live show's frame rate, in one run on this machine.
# zoov2020-capture renders a short span at 1920x1080 and at 960x540 and prints where its
# time goes (render, readback, waiting for ffmpeg); tools/zoov_fps then runs the live
# frame windowed at 960x540 for comparison. The show's own targets are 2048x2048 whatever
# the output size, so the two sizes differ mainly in readback and encoding.
# Usage: bench/capture_fps.sh [BUILD_DIR] [CAPTURE_SECONDS] [LIVE_SECONDS]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
span=${2:-2}
live=${3:-8}

cmake --build "$build_dir" --target zoov2020-capture zoov_fps -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-capture-fps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
cd "$work"

# From 17 s: text, star and tendrils are all being drawn.
for size in 1920x1080 960x540; do
  start=$(date +%s.%N)
  "$build_dir/zoov2020-capture" --fps 30 --size "$size" --from 17 --to "$((17 + span))" \
    --out "$work/c.mp4" 2>"$work/log" </dev/null
  end=$(date +%s.%N)
  frames=$((span * 30))
  echo "capture $size, $frames frames: $(awk -v f="$frames" -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", f / (b - a) }') fps" \
    "overall (ffmpeg start and finish included)"
  sed -n 's/^zoov2020-capture: \(render .*\)/  \1 ms\/frame/p' "$work/log"
done
echo "live show (tools/zoov_fps, 960x540 window, ${live} s):"
SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1920x1080x24" "$build_dir/zoov_fps" "$live" | sed 's/^/  /'
