#!/usr/bin/env bash
# Capture speed at 1920x1080 against the live show's frame rate at 1920x1080 (full screen
# on a 1920x1080 virtual display), in one run on this machine, and where the difference
# goes. zoov2020-capture runs twice over the same span: once with the real ffmpeg, once
# with a stand-in "ffmpeg" that only drains its pipes, so that the difference between
# the two is the cost of encoding (on a CPU rasteriser that includes ffmpeg's share of the
# cores, not only the time spent waiting for it); reading back is timed inside the loop.
# Usage: bench/capture_fps.sh [BUILD_DIR] [CAPTURE_SECONDS] [LIVE_SECONDS]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
span=${2:-3}
live=${3:-10}
size=1920x1080
fps=30

cmake --build "$build_dir" --target zoov2020-capture zoov_fps -j2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-capture-fps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
mkdir "$work/drain"
cat >"$work/drain/ffmpeg" <<'EOF'
#!/bin/sh
# Stands in for ffmpeg: takes the frames and the sound and encodes nothing.
cat <&3 >/dev/null &
cat >/dev/null
wait
EOF
chmod +x "$work/drain/ffmpeg"
cd "$work"

# Prints the loop's ms/frame and keeps the capture's own timing line in $work/timing.
capture() {  # PATH_PREFIX
  PATH="$1$PATH" "$build_dir/zoov2020-capture" --fps "$fps" --size "$size" \
    --from 17 --to "$((17 + span))" --out "$work/c.mp4" 2>"$work/log" </dev/null
  grep '^zoov2020-capture: render [0-9]' "$work/log" | sed 's/^zoov2020-capture: //' >"$work/timing"
  sed -n 's/.*loop \([0-9.]*\);.*/\1/p' "$work/timing"
}

# From 17 s: text, star and tendrils are all being drawn.
echo "machine: $(nproc) cores; $(xvfb-run -a glxinfo -B 2>/dev/null |
  sed -n 's/.*OpenGL renderer string: //p' || true)"
encoded=$(capture "")
echo "capture $size, encoded:       $(cat "$work/timing")"
drained=$(capture "$work/drain:")
echo "capture $size, not encoded:   $(cat "$work/timing")"
readback=$(sed -n 's/.*readback \([0-9.]*\),.*/\1/p' "$work/timing")

SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 ${size}x24" "$build_dir/zoov_fps" --fullscreen \
  "$live" >"$work/live"
sed 's/^/live show: /' "$work/live"
liveMs=$(sed -n 's/^assets: .* median \([0-9.]*\) ms\/frame.*/\1/p' "$work/live")

awk -v e="$encoded" -v d="$drained" -v l="$liveMs" -v r="$readback" 'BEGIN {
  printf "capture: %.2f fps encoded, %.2f fps not encoded; live show: %.2f fps\n",
         1000 / e, 1000 / d, 1000 / l
  printf "capture / live frame rate: %.2f\n", l / e
  printf "capture is %.1f ms/frame slower than live: readback %.1f ms (%.0f%%), " \
         "encoding %.1f ms (%.0f%%), the rest %.1f ms\n",
         e - l, r, 100 * r / e, e - d, 100 * (e - d) / e, (e - l) - r - (e - d)
}'
