#!/usr/bin/env bash
# The committed soundtrack's loudness, peak and size, measured by ffmpeg's EBU R128 meter:
# about -14 LUFS integrated, true peak at most -1 dBTP, and at most 2.5 MB on disk.
# Usage: music_asset.sh BUILD_DIR SOURCE_DIR
set -u
src=$(cd "$2" && pwd)
asset="$src/assets/zoov2020.ogg"

report=$(ffmpeg -hide_banner -nostats -i "$asset" -af ebur128=peak=true -f null - 2>&1)
summary=$(printf '%s\n' "$report" | sed -n '/Summary:/,$p')
integrated=$(printf '%s\n' "$summary" | awk '$1 == "I:" {print $2}')
peak=$(printf '%s\n' "$summary" | awk '/True peak:/ {getline; print $2}')
size=$(stat -c %s "$asset")
echo "integrated loudness: $integrated LUFS, true peak: $peak dBTP, size: $size bytes"

passed=0
failed=0
check() {  # check NAME AWK_CONDITION
  if awk "BEGIN { exit !($2) }"; then
    passed=$((passed + 1))
    echo "ok: $1"
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}
check "ffmpeg measured the file" "\"$integrated\" != \"\" && \"$peak\" != \"\""
check "integrated loudness within 1 LU of -14 LUFS" "$integrated + 0 >= -15.0 && $integrated + 0 <= -13.0"
check "true peak at most -1 dBTP" "$peak + 0 <= -1.0"
check "the file is at most 2.5 MB" "$size <= 2500000"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
