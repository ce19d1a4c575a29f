#!/usr/bin/env bash
# Soak: the music mixed far faster than real time (SDL's disk audio with no delay) so the
# show goes round the music loop several times in under a minute, while resident memory,
# message boxes and the process itself are watched; then a key release must end it cleanly.
#
# The music position is internal to the program. What leaves it is the mixed audio: the
# disk driver writes it into a pipe here, whose bytes are counted. At 44100 frames/s of
# stereo float that is 352800 bytes per second of music, so the count says how far the
# music went: one 120 s pass, then 40 s (80 s back to 120 s) per further pass.
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"

# The GL driver and X keep settling their own heaps for the first seconds (the frame and
# the mixer themselves allocate nothing: tests/solo), so memory is compared from 20 s on.
SOAK_SECONDS=${ZOOV_SOAK_SECONDS:-50}
WARMUP_SECONDS=20
BYTES_PER_MUSIC_SECOND=352800

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

work=$(make_workdir)
mkfifo "$work/audio"
wc -c <"$work/audio" >"$work/audio.bytes" &
counter=$!

(cd "$work" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio" SDL_DISKAUDIODELAY=0 \
  exec "$PROGRAM" window >"$work/stdout" 2>"$work/stderr") &
pid=$!

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
check "nothing else on stderr" test -z "$(grep -v -e 'SDL disk i/o audio driver' -e 'Writing to file' "$work/stderr")"

wait "$counter"
bytes=$(tr -d ' ' <"$work/audio.bytes")
music=$((bytes / BYTES_PER_MUSIC_SECOND))
passes=$(( music < 120 ? 0 : 1 + (music - 120) / 40 ))
echo "  | mixed ${bytes} bytes = ${music} s of music = ${passes} passes through the loop"
check "at least three passes of the music loop" test "$passes" -ge 3
rm -rf "$work"

finish
