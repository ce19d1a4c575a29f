#!/usr/bin/env bash
# The running show draws a lit picture into its window: screenshots of the windowed
# program, taken after the fade-in of the first second, are not black, and no message
# box (a GL error or a bad uniform name) has opened meanwhile.
# Called as: picture.sh BUILD_DIR SOURCE_DIR
set -u
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-picture.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$SOURCE_DIR/assets" "$work/assets"
export SDL_AUDIODRIVER=dummy PROGRAM work

out=$(xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
  cd "$work"
  "$PROGRAM" window & pid=$!
  id=""
  for _ in $(seq 1 600); do
    id=$(xdotool search --all --pid "$pid" --name "^zOOv 2020$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window"; exit 1; }
  # A software rasteriser draws a few frames a second: give it time past the fade-in.
  sleep 6
  import -window "$id" "$work/first.png"
  sleep 4
  import -window "$id" "$work/second.png"
  # Message boxes are top-level windows of their own, named by their caption.
  xwininfo -root -tree | awk "/^ +0x[0-9a-f]+ \"/" | grep -v "\"zOOv 2020\"" |
    sed "s/^/box /"
  kill -0 "$pid" 2>/dev/null && echo "alive"
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null
  echo done
')
echo "$out" | sed 's/^/  | /'

# Mean and maximum grey level (0 to 1) of each screenshot.
stats() { convert "$1" -colorspace Gray -format "%[fx:mean] %[fx:maxima]" info: 2>/dev/null; }
lit() {  # lit FILE: on average above 1 % grey, somewhere above 5 %
  [ -f "$1" ] || return 1
  local s
  s=$(stats "$1")
  echo "  | $(basename "$1"): mean and maximum grey $s"
  awk -v s="$s" 'BEGIN { split(s, v, " "); exit !(v[1] > 0.01 && v[2] > 0.05) }'
}

check "the show opens its window and keeps running" grep -qx "alive" <<<"$out"
check "the picture six seconds in is lit, not black" lit "$work/first.png"
check "the picture four seconds later is lit, not black" lit "$work/second.png"
check "no message box opened" bash -c '! grep -q "^box " <<<"$1"' _ "$out"
check "the window is 960x540" bash -c '[ "$(identify -format "%wx%h" "$1" 2>/dev/null)" = 960x540 ]' _ "$work/first.png"

finish
