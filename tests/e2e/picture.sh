#!/usr/bin/env bash
# The running show draws a lit picture into its window: screenshots of the windowed
# program, taken after the fade-in of the first second, are not black, and no message
# box (a GL error or a bad uniform name) has opened meanwhile.
# Called as: picture.sh BUILD_DIR SOURCE_DIR
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"
export SDL_AUDIODRIVER=dummy

work=$(make_workdir)
trap 'rm -rf "$work"' EXIT
start_show "$work"
id=$(wait_for_window "$pid" 60)
check "the show opens its window" test -n "$id"
# A software rasteriser draws a few frames a second: give it time past the fade-in.
sleep 6
import -window "$id" "$work/first.png"
sleep 4
import -window "$id" "$work/second.png"
boxes=$(message_boxes)
check "the show keeps running" kill -0 "$pid"
xdotool key --window "$id" q
wait_for_exit "$pid" 30

# Mean and maximum grey level (0 to 1) of each screenshot.
stats() { convert "$1" -alpha off -colorspace Gray -format "%[fx:mean] %[fx:maxima]" info: 2>/dev/null; }
lit() {  # lit FILE: on average above 1 % grey, somewhere above 5 %
  [ -f "$1" ] || return 1
  local s
  s=$(stats "$1")
  echo "  | $(basename "$1"): mean and maximum grey $s"
  awk -v s="$s" 'BEGIN { split(s, v, " "); exit !(v[1] > 0.01 && v[2] > 0.05) }'
}

check "the picture six seconds in is lit, not black" lit "$work/first.png"
check "the picture four seconds later is lit, not black" lit "$work/second.png"
check "no message box opened${boxes:+: $boxes}" test -z "$boxes"
check "the window is 960x540" test "$(identify -format "%wx%h" "$work/first.png" 2>/dev/null)" = 960x540
check "a key release ends it with status 0 (status $exit_status)" test "$exit_status" -eq 0

finish
