#!/usr/bin/env bash
# The credits as a viewer sees them: about 17 s into the music "Yet again.." stands
# written out as bright strokes across the middle of the window, its mirror image glows
# more dimly below it, and the floor around stays dark.
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"
export SDL_AUDIODRIVER=dummy

work=$(make_workdir)
trap 'rm -rf "$work"' EXIT
start_show "$work"
id=$(wait_for_window "$pid" 60)
check "a window" test -n "$id"
# The window opens before set-up; the music starts when set-up ends (under a second).
# Tick time runs from SDL's start, so this is early in the star's period (16-20 s of
# ticks), while its pulse is still near zero and it does not outshine the text.
sleep 16.8
import -window "$id" "$work/shot.png"
xdotool key --window "$id" q
wait_for_exit "$pid" 30

# Mean grey level (0..255) of a WxH+X+Y rectangle of the 960x540 screenshot.
mean() { convert "$work/shot.png" -crop "$1" -colorspace gray -format '%[fx:round(mean*255)]' info:; }
text=$(mean 700x60+130+230)      # the row of glyphs
mirror=$(mean 700x40+130+300)    # just below it: the reflection
floor=$(mean 700x40+130+450)     # the slab nearer the camera
left=$(mean 100x60+20+230)       # left of the line's start
echo "  | grey: text $text, mirror $mirror, floor $floor, left of the text $left"
check "the text row is bright" test "$text" -ge $((3 * floor))
check "nothing is written left of the line's start" test "$left" -le $((floor + 8))
check "the mirror image glows below the text" test "$mirror" -ge $((floor + 10))
check "the mirror image is dimmer than the text" test "$mirror" -lt "$text"
check "the show ended cleanly" test "$exit_status" -eq 0
finish
