#!/usr/bin/env bash
# Measures the soundtrack as a listener meets it: ffmpeg's EBU R128 meter for integrated
# loudness and true peak, then tools/soundtrack_meter.cpp for the octave balance, the
# loudness of each slot, breakdown and drop, the loop seam and, from the synthesizer's
# stems, each part against the bass, the lead over the fountain, swing and looseness, the
# pad's bar lines and the bells' aliasing; last, tools/score_report.py reads the score the
# synthesizer prints (the motif, melodic gaps, the loop's conversation, its keys and
# phrases, clashes). Needs ffmpeg and python3 (scripts/install-deps.sh).
# Usage: tools/measure-soundtrack.sh [ASSET.ogg] [STEMS_DIR] [BUILD_DIR]
#   With no STEMS_DIR, the stems come from the synthesizer of BUILD_DIR (default build),
#   rendered into a temporary folder; pass "-" to measure the asset alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
asset=${1:-$root/assets/zoov2020.ogg}
stems=${2:-}
build=${3:-$root/build}
command -v ffmpeg >/dev/null || { echo "measure-soundtrack: ffmpeg is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target soundtrack_meter make_soundtrack >/dev/null
if [ -z "$stems" ]; then
  stems=$work/stems
  mkdir -p "$stems"
  "$build/make_soundtrack" "$work/rerender.ogg" --stems "$stems" >/dev/null
fi

report=$(ffmpeg -hide_banner -nostats -i "$asset" -af ebur128=peak=true -f null - 2>&1)
summary=$(printf '%s\n' "$report" | sed -n '/Summary:/,$p')
integrated=$(printf '%s\n' "$summary" | awk '$1 == "I:" {print $2}')
range=$(printf '%s\n' "$summary" | awk '$1 == "LRA:" {print $2}')
peak=$(printf '%s\n' "$summary" | awk '/True peak:/ {getline; print $2}')
echo "asset: $asset"
echo "size: $(stat -c %s "$asset") bytes"
echo "ffmpeg ebur128: integrated $integrated LUFS, loudness range $range LU, true peak $peak dBTP"
verdict() { awk "BEGIN { exit !($1) }" && echo "  ok  : $2" || echo "  MISS: $2"; }
verdict "$integrated >= -14.5 && $integrated <= -13.5" "integrated loudness -14 LUFS +-0.5 (ffmpeg)"
verdict "$peak <= -1.0" "true peak at most -1 dBTP (ffmpeg)"
verdict "$(stat -c %s "$asset") <= 2500000" "at most 2.5 MB"

ffmpeg -hide_banner -loglevel error -i "$asset" -c:a pcm_f32le "$work/song.wav"
if [ "$stems" = "-" ]; then
  "$build/soundtrack_meter" "$work/song.wav"
else
  "$build/soundtrack_meter" "$work/song.wav" "$stems"
fi

echo
"$build/make_soundtrack" - --score "$work/score.txt"
python3 "$root/tools/score_report.py" "$work/score.txt"
