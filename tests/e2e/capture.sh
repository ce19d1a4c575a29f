#!/usr/bin/env bash
# zoov2020-capture end to end, at small sizes and low rates so that it stays short:
# the same range gives the same frames, a range started late inside the fountain matches
# the same span of a capture from 0, sizes other than 16:9 are letterboxed with the
# picture unstretched between the bars,
# the first sprites come with the music's 80 s mark and the sound heard then is the
# soundtrack at 80 s, the MP4 has both streams at the asked size and length, bad
# options, an unwritable output and a failing or missing encoder fail cleanly, progress
# is shown, and without a display it starts a virtual one itself.
# Called as: capture.sh BUILD_DIR SOURCE_DIR
set -u
source "$(dirname "$0")/lib/common.sh"
CAPTURE="$BUILD_DIR/zoov2020-capture"
work=$(make_workdir)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Every capture runs without a display: the program has to find one for itself.
unset DISPLAY WAYLAND_DISPLAY

capture() {  # bounded: a capture that waits on its encoder fails here, not at ctest's limit
  step "capture $*"
  timeout -k 5 300 "$CAPTURE" --size 320x180 "$@" 2>>capture.log
}
md5s() { (cd "$1" && md5sum frame-*.png); }

# Determinism, and a late start inside the fountain against the same span of a capture
# from 0: the sprites and the emission flag carry state from the start of the show, so a
# late start has to run them through every earlier frame first (1 fps keeps it short).
capture --fps 5 --from 10 --to 12 --png a
capture --fps 5 --from 10 --to 12 --png b
capture --fps 1 --from 84 --to 86 --png late --trace late.txt
capture --fps 1 --from 0 --to 86 --png c --trace c.txt
check "10-12 s has frames" test "$(ls a | wc -l)" -eq 10
check "the same range twice gives the same frames" cmp -s <(md5s a) <(md5s b)
check "84-86 s is inside the fountain ($(awk '{printf "%s ", $5}' late.txt)sprites)" \
  test "$(awk '$5 > 1000' late.txt | wc -l)" -eq 2
check "84-86 s alone draws as many sprites as 84-86 s of a 0-86 s capture" \
  cmp -s <(awk '{print $1, $5}' late.txt) <(awk '$1 >= 84 {print $1, $5}' c.txt)
check "84-86 s alone equals 84-86 s of a 0-86 s capture" \
  cmp -s <(md5s late) <(md5s c | grep -E 'frame-0000(84|85)\.png')
check "a 0-86 s capture is not one picture repeated" \
  test "$(md5s c | awk '{print $1}' | sort -u | wc -l)" -gt 10

# Sizes that are not 16:9 keep the show's letterbox: a 16:9 picture, black bars beside it.
brightest() { convert "$1" -alpha off -crop "$2" +repage -format '%[fx:maxima]' info:; }
capture --size 320x240 --fps 5 --from 17 --to 17.2 --png tall
capture --size 400x180 --fps 5 --from 17 --to 17.2 --png wide
tall=$(ls tall/*.png | head -n 1) wide=$(ls wide/*.png | head -n 1)
check "320x240: black bars of 30 rows above and below" \
  test "$(brightest "$tall" 320x30+0+0)" = 0 -a "$(brightest "$tall" 320x30+0+210)" = 0
check "320x240: the picture between them is lit" \
  awk -v b="$(brightest "$tall" 320x180+0+30)" 'BEGIN { exit !(b > 0.3) }'
check "400x180: black bars of 40 columns left and right" \
  test "$(brightest "$wide" 40x180+0+0)" = 0 -a "$(brightest "$wide" 40x180+360+0)" = 0
check "400x180: the picture between them is lit" \
  awk -v b="$(brightest "$wide" 320x180+40+0)" 'BEGIN { exit !(b > 0.3) }'

# Inside its letterbox the picture keeps its own 16:9 shape: what a 16:10 (a laptop's), a
# 4:3 and a wider capture show between their bars is the 16:9 capture's picture, not a
# copy stretched by the window's shape (which differs from it by 18-21 dB).
capture --size 320x200 --fps 5 --from 17 --to 17.2 --png laptop
capture --fps 5 --from 17 --to 17.2 --png plain
laptop=$(ls laptop/*.png | head -n 1) plain=$(ls plain/*.png | head -n 1)
convert "$plain" -alpha off plain-rgb.png
unstretched() {  # unstretched FILE CROP: the crop is the 16:9 frame (PSNR 50 dB or more)
  # RMSE, normalised, in parentheses: ImageMagick 6 and 7 print it alike (their PSNR of
  # identical pictures differs: "inf" against "0"). 50 dB is an RMSE of 0.00316.
  local rmse
  rmse=$(convert "$1" -alpha off -crop "$2" +repage png:- |
         compare -metric RMSE - plain-rgb.png null: 2>&1 |
         sed -n 's/.*(\([0-9.e+-]*\)).*/\1/p')
  echo "  | $1 at $2 against the 16:9 frame: RMSE ${rmse:-?}"
  awk -v r="${rmse:-1}" 'BEGIN { exit !(r + 0 <= 0.00316) }'
}
check "320x200: black bars of 10 rows above and below" \
  test "$(brightest "$laptop" 320x10+0+0)" = 0 -a "$(brightest "$laptop" 320x10+0+190)" = 0
check "320x200 (16:10): the picture between the bars is the 16:9 one, unstretched" \
  unstretched "$laptop" 320x180+0+10
check "320x240 (4:3): the picture between the bars is the 16:9 one, unstretched" \
  unstretched "$tall" 320x180+0+30
check "400x180: the picture between the bars is the 16:9 one, unstretched" \
  unstretched "$wide" 320x180+40+0

# Sync: 79-90 s at 10 fps, as a video, with the trace of what each frame drew.
capture --fps 10 --from 79 --to 90 --out sync/sync.mp4 --trace sync.txt
status=$?
check "the 79-90 s capture succeeds" test "$status" -eq 0
check "without a display it says it starts a virtual one" \
  grep -q "starting a virtual display" capture.log
first80=$(awk '$3 >= 80.0 { print $1; exit }' sync.txt)
firstSprite=$(awk '$5 > 0 { print $1; exit }' sync.txt)
check "the first frame at 80 s of music is frame 800 (music $(awk '$1 == 800 {print $3}' sync.txt))" \
  test "${first80:-0}" -eq 800
# That frame's script raises the emission flag; the sprite update reads it in the next.
check "the first sprites come in the frame after it (frame ${firstSprite:-none})" \
  test "${firstSprite:-0}" -eq $((${first80:-0} + 1))
# The sound at an instant of the video must be the soundtrack at that frame's music time.
# A 0.2 s clip of the video's audio around the instant is looked for in 2 s of the
# soundtrack around that music time (both decoded by ffmpeg, mono); where it fits gives
# the soundtrack's time at the instant.
pcm() { ffmpeg -v error -y -i sync/sync.mp4 -vn -ss "$1" -t 0.2 -f f32le -ac 1 -ar 44100 clip.raw; }
soundtrack_at() {  # VIDEO_SECONDS MUSIC_SECONDS: prints "SOUNDTRACK_SECONDS RESIDUAL_DB"
  pcm "$(awk -v v="$1" 'BEGIN { print v - 0.1 }')"
  soundtrack_time clip.raw "$2" | awk '{ printf "%.4f %s", $1 + 0.1, $2 }'
}
music800=$(awk '$1 == 800 { print $3 }' sync.txt)
read -r heard residual <<<"$(soundtrack_at 1.0 "${music800:-80}")"
check "the audio at frame 800 (1.0 s into the video) is the soundtrack at ${heard:-?} s" \
  awk -v h="${heard:-0}" -v m="${music800:-0}" 'BEGIN { d = h - m; exit !(m >= 80.0 && d * d < 1e-6) }'
check "and it is the soundtrack, not other sound (${residual:-?} dB unexplained)" \
  awk -v r="${residual:-0}" 'BEGIN { exit !(r < -15) }'
music890=$(awk '$1 == 890 { print $3 }' sync.txt)
read -r heard residual <<<"$(soundtrack_at 10.0 "${music890:-89}")"
check "10 s later it still is: frame 890 plays the soundtrack at ${heard:-?} s" \
  awk -v h="${heard:-0}" -v m="${music890:-0}" -v r="${residual:-0}" \
    'BEGIN { d = h - m; exit !(m > 0 && d * d < 1e-6 && r < -15) }'
pcm 4.9
read -r _ residual <<<"$(soundtrack_time clip.raw "${music890:-89}")"
check "a clip from elsewhere does not fit there (${residual:-?} dB unexplained)" \
  awk -v r="${residual:--99}" 'BEGIN { exit !(r > -10) }'

probe() { ffprobe -v error "$@" sync/sync.mp4; }
check "the video stream is H.264 at 320x180" \
  test "$(probe -select_streams v:0 -show_entries stream=codec_name,width,height \
          -of csv=p=0)" = "h264,320,180"
check "the audio stream is AAC" \
  test "$(probe -select_streams a:0 -show_entries stream=codec_name -of csv=p=0)" = "aac"
duration=$(probe -show_entries format=duration -of csv=p=0)
check "the video lasts 11 s ($duration)" \
  awk -v d="${duration:-0}" 'BEGIN { exit !(d > 10.9 && d < 11.1) }'
check "no partial file is left" test ! -e sync/sync.mp4.partial

# Failures.
"$CAPTURE" --fps zero >out.txt 2>&1
status=$?
check "a bad option gives status 2 ($status)" test "$status" -eq 2
check "and a usage line" grep -q "^usage: zoov2020-capture" out.txt
"$CAPTURE" --size 320x180 --fps 5 --from 0 --to 1 --out /proc/x/y.mp4 >out.txt 2>&1
status=$?
check "an unwritable output fails ($status)" test "$status" -ne 0
check "and writes no file" test ! -e /proc/x/y.mp4 -a ! -e /proc/x/y.mp4.partial
check "and says why" grep -q "cannot" out.txt
mkdir fake && printf '#!/bin/sh\nhead -c 1000 >/dev/null\nexit 1\n' >fake/ffmpeg && chmod +x fake/ffmpeg
PATH="$work/fake:$PATH" "$CAPTURE" --size 320x180 --fps 5 --from 0 --to 1 --out broken/b.mp4 \
  >out.txt 2>&1
status=$?
check "an encoder that fails midway fails the capture ($status)" test "$status" -eq 1
check "and leaves no file, whole or partial" test ! -e broken/b.mp4 -a ! -e broken/b.mp4.partial
check "and says nothing was written" grep -q "nothing was written to broken/b.mp4" out.txt
"$SOURCE_DIR/tests/e2e/lib/with-display.sh" env PATH=/nonexistent \
  "$CAPTURE" --size 320x180 --fps 5 --from 0 --to 1 --out none/n.mp4 >out.txt 2>&1
status=$?
check "without ffmpeg it fails ($status)" test "$status" -eq 1
check "and names the package to install" grep -q "ffmpeg is not installed" out.txt
check "and leaves no file" test ! -e none/n.mp4 -a ! -e none/n.mp4.partial

# Progress: plain lines when standard error is a file, a bar on a terminal.
check "progress lines in a log" grep -q "^zoov2020-capture: 110/110 frames, .* fps, .* left" capture.log
script -qec "$CAPTURE --size 320x180 --fps 5 --from 10 --to 11 --png tty" /dev/null >tty.txt
check "a progress bar on a terminal" grep -q "\[#*-*\] 5/5 frames  .* fps  0:00 left" tty.txt

finish
