#!/usr/bin/env bash
# Measures the picture as an audience meets it: captures the show with zoov2020-capture,
# then prints per ten-second slot the share of white (blown-out) pixels, the mean grey,
# the saturation of lit pixels and a legibility figure for the credits, and writes a
# contact sheet of 24 labelled frames. For the legibility it captures the same frames a
# second time through the shaders of tools/picture-mask/, which draw only the credits'
# strokes, so that it knows where the letters lie. Needs ImageMagick and python3.
# Usage: tools/measure-picture.sh [--from S] [--to S] [--fps N] [--size WxH]
#                                 [--sheet FILE.png] [--keep DIR] [--build DIR]
#   Defaults: the first pass (0 to 120 s) at 2 fps, 640x360, sheet out/contact-sheet.png.
#   --keep DIR keeps the captured frames (DIR/frames, DIR/mask) instead of deleting them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
from=0 to=120 fps=2 size=640x360 sheet=$root/out/contact-sheet.png keep= build=$root/build
while [ $# -gt 0 ]; do
  case $1 in
    --from) from=$2 ;;
    --to) to=$2 ;;
    --fps) fps=$2 ;;
    --size) size=$2 ;;
    --sheet) sheet=$2 ;;
    --keep) keep=$2 ;;
    --build) build=$2 ;;
    *) echo "usage: $0 [--from S] [--to S] [--fps N] [--size WxH] [--sheet FILE.png] [--keep DIR] [--build DIR]" >&2
       exit 2 ;;
  esac
  shift 2
done
capture=$build/zoov2020-capture
[ -x "$capture" ] || { echo "measure-picture: $capture is missing (cmake --build $build --target zoov2020-capture)" >&2; exit 1; }
for tool in convert montage identify python3; do
  command -v $tool >/dev/null || { echo "measure-picture: $tool is missing" >&2; exit 1; }
done

if [ -n "$keep" ]; then
  work=$keep
  rm -rf "$work/frames" "$work/mask" "$work/show"
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/frames" "$work/mask" "$work/show/assets"

# The show reads ./assets: the mask run gets a folder of its own with the mask shaders
# laid over the show's.
cp "$root"/assets/*.vs "$root"/assets/*.fs "$work/show/assets/"
ln -s "$root/assets/zoov2020.ogg" "$work/show/assets/zoov2020.ogg"
cp "$root"/tools/picture-mask/* "$work/show/assets/"

range=(--fps "$fps" --from "$from" --to "$to" --size "$size")
(cd "$root" && "$capture" "${range[@]}" --png "$work/frames" 2>"$work/capture.log") ||
  { cat "$work/capture.log" >&2; exit 1; }
(cd "$work/show" && "$capture" "${range[@]}" --png "$work/mask" 2>"$work/mask.log") ||
  { cat "$work/mask.log" >&2; exit 1; }
if grep -v '^zoov2020-capture:' "$work/capture.log" "$work/mask.log" | grep -q .; then
  echo "measure-picture: the capture reported problems:" >&2
  grep -v '^zoov2020-capture:' "$work/capture.log" "$work/mask.log" >&2
fi

echo "picture of $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$root" diff --quiet -- assets 2>/dev/null || echo '+changes'):" \
  "$from-$to s at $fps fps, $size"
python3 "$root/tools/picture_meter.py" "$work/frames" "$work/mask" "$fps"

# The contact sheet: 24 frames evenly spread over the range, each labelled with its time.
mapfile -t names < <(ls "$work/frames")
count=${#names[@]}
picks=()
labels=()
for k in $(seq 0 23); do
  i=$(((2 * k + 1) * count / 48))
  [ "$i" -lt "$count" ] && [ "$i" != "${last:-}" ] || continue
  last=$i
  n=${names[$i]#frame-}
  n=$((10#${n%.png}))
  picks+=("$work/frames/${names[$i]}")
  labels+=("$(awk -v n="$n" -v f="$fps" 'BEGIN { printf "%.1f s", n / f }')")
done
args=()
for j in "${!picks[@]}"; do args+=(-label "${labels[$j]}" "${picks[$j]}"); done
mkdir -p "$(dirname "$sheet")"
montage -font DejaVu-Sans -pointsize 13 -fill '#c8c8c8' -background '#101010' \
  "${args[@]}" -tile 6x -geometry 320x180+3+3 -depth 8 "$sheet"
echo "contact sheet: $sheet (${#picks[@]} frames, $(($(stat -c %s "$sheet") / 1024)) KiB)"
