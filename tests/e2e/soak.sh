#!/usr/bin/env bash
# Soak: the music mixed far faster than real time (SDL's disk audio with no delay) so the
# show goes round the music loop many times in under a minute, while resident memory,
# message boxes and the process itself are watched; then a key release must end it cleanly.
#
# The music position is internal to the program; what leaves it is the mixed sound. The
# disk driver writes it into a pipe that tests/xtools/audio_tap reads: it counts how much
# music was mixed and keeps short slices at chosen music times. One pass is 120 s, each
# further pass 40 s (80 s back to 120 s), so the loop wraps at 120 s, 160 s, 200 s, ... of
# mixed music; the slice that starts at each of those must be the soundtrack at 80 s.
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"

# The GL driver and X keep settling their own heaps for the first seconds (the frame and
# the mixer themselves allocate nothing: tests/solo), so memory is compared from 30 s on.
SOAK_SECONDS=${ZOOV_SOAK_SECONDS:-60}
WARMUP_SECONDS=30
# Music times to listen at: one in the first pass, the first three wraps, the 50th and
# the 500th (the last two where the music gets that far: hours of it, usually).
TAPS=(100 120 160 200 2080 20080)

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

work=$(make_workdir)
mkfifo "$work/audio"
mkdir "$work/taps"
"$BUILD_DIR/tests/audio_tap" "$work/taps" "${TAPS[@]}" <"$work/audio" >"$work/audio.txt" &
listener=$!

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio" SDL_DISKAUDIODELAY=0 start_show "$work"

id=$(wait_for_window "$pid" 60)
check "a window" test -n "$id"
sleep "$WARMUP_SECONDS"
rss_start=$(rss_kb "$pid")
boxes_seen=""
for _ in $(seq 1 $((SOAK_SECONDS - WARMUP_SECONDS))); do
  kill -0 "$pid" 2>/dev/null || break
  [ -n "$(message_boxes)" ] && boxes_seen=$(message_boxes)
  sleep 1
done
check "survives $SOAK_SECONDS s" kill -0 "$pid"
rss_end=$(rss_kb "$pid")
growth=$((rss_end - rss_start))
echo "  | resident memory after warm-up ${rss_start} kB, at the end ${rss_end} kB (+${growth} kB)"
check "resident memory grows by less than 1 MB after warm-up" test "$growth" -lt 1024
check "no message box" test -z "$boxes_seen"

xdotool key --window "$id" q
wait_for_exit "$pid" 30
check "a key release exits 0 (status $exit_status)" test "$exit_status" -eq 0
# SDL's disk driver announces itself on stderr; anything else is ours.
check "nothing else on stderr" test -z "$(grep -v -e 'SDL disk i/o audio driver' -e 'Writing to file' \
  -e '^No 4x multisampled window here' "$work/stderr")"

wait_for_exit "$listener" 30  # ends with the show's end of the FIFO; bounded all the same
music=$(awk '$1 == "music" { print int($2) }' "$work/audio.txt")
passes=$(( ${music:-0} < 120 ? 0 : 1 + (music - 120) / 40 ))
echo "  | mixed ${music:-0} s of music after $(awk '$1 == "silence" { print $2 }' "$work/audio.txt") s of silence = ${passes} passes through the loop"
check "at least three passes of the music loop" test "$passes" -ge 3

# What played at a music time: the slice kept there, found in the soundtrack around the
# time expected; prints "SOUNDTRACK_SECONDS RESIDUAL_DB".
soundtrack_at() {  # TAP_SECONDS EXPECTED_SOUNDTRACK_SECONDS
  [ -s "$work/taps/tap-$1.raw" ] && soundtrack_time "$work/taps/tap-$1.raw" "$2"
}
heard_as() {  # HEARD EXPECTED: the same sample, and the same sound (not lossy here)
  awk -v h="${1:-0}" -v r="${2:-0}" -v e="$3" 'BEGIN { d = (h - e) * 44100; exit !(d * d < 1 && r < -30) }'
}
read -r heard residual <<<"$(soundtrack_at 100 100)"
check "at 100 s of music the soundtrack at ${heard:-?} s plays (${residual:-?} dB off)" \
  heard_as "$heard" "$residual" 100
for wrap in 120 160 200; do
  read -r heard residual <<<"$(soundtrack_at "$wrap" 80)"
  check "at $wrap s of music the loop is back at ${heard:-?} s (${residual:-?} dB off)" \
    heard_as "$heard" "$residual" 80
done
for wrap in 2080 20080; do
  [ "${music:-0}" -gt "$wrap" ] || continue
  read -r heard residual <<<"$(soundtrack_at "$wrap" 80)"
  check "after $(((wrap - 80) / 40)) wraps it is still at ${heard:-?} s (${residual:-?} dB off)" \
    heard_as "$heard" "$residual" 80
done
rm -rf "$work"

finish
