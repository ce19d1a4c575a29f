#!/usr/bin/env bash
# The show's sound end to end: the real program runs under Xvfb with SDL's disk audio
# driver, which writes every mixed buffer to a file as fast as it can. The file must hold
# the soundtrack from its first sample, go on from 80 s after the end, and stop growing
# once a key release has ended the show.
# Usage: music_playback.sh BUILD_DIR SOURCE_DIR
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"

work=$(make_workdir)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

audio="$work/audio.f32"
oggdec -Q -R -b 16 -e 0 -s 1 -o "$work/reference.s16" "$SOURCE_DIR/assets/zoov2020.ogg"

frame_bytes=8          # float stereo
rate=44100
song_frames=$((120 * rate))
loop_frame=$((80 * rate))
after_frames=$((3 * rate))  # how much of the second pass to check

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio" SDL_DISKAUDIODELAY=0 start_show "$work"

# Wait until the file holds the whole song and a bit of its second pass. The music starts
# after some silence (the device opens before the soundtrack is decoded), so find its
# first sound, and the reference's, to know where the song begins in the file.
python3 "$SOURCE_DIR/tests/xtools/song_start.py" "$audio" "$work/reference.s16" \
  $((song_frames + after_frames)) 120 >"$work/start"
start=$(cat "$work/start")
echo "the song starts at frame $start of the device output ($((start / rate)) s of silence while the show set up)"

# End the show the way a viewer does: release a key.
wid=$(wait_for_window "$pid" 60)
xdotool key --window "$wid" space
wait_for_exit "$pid" 20
status=$exit_status
pid=
final_size=$(stat -c %s "$audio" 2>/dev/null || echo 0)
sleep 1
later_size=$(stat -c %s "$audio" 2>/dev/null || echo 0)
echo "the device wrote $((final_size / 1048576)) MiB in all"

check "the song was found in the device output" test "$start" -ge 0
check "the song starts on a device buffer boundary" test $((start % 2048)) -eq 0
echo "the show ended with status $status"
check "a key release ends the show with status 0" test "$status" = 0
check "the audio file stops growing after the key release" test "$final_size" = "$later_size"
check "the device wrote whole buffers only" test $((final_size % (2048 * frame_bytes))) -eq 0
check "the engine printed no diagnostic" bash -c "! grep -q '^audio:' '$work/stderr'"

# The device output as 16-bit PCM: the engine plays the decoded samples unchanged, so
# every float is an exact sixteenth-bit value and converts back without rounding.
to_s16() {  # to_s16 FIRST_FRAME FRAMES OUT
  tail -c +$(($1 * frame_bytes + 1)) "$audio" | head -c $(($2 * frame_bytes)) |
    ffmpeg -v error -f f32le -ar $rate -ac 2 -i - -f s16le -c:a pcm_s16le -y "$3"
}
if [ "$start" -ge 0 ]; then
  to_s16 "$start" "$song_frames" "$work/first-pass.s16"
  to_s16 $((start + song_frames)) "$after_frames" "$work/second-pass.s16"
  head -c $((song_frames * 4)) "$work/reference.s16" >"$work/ref-song.s16"
  tail -c +$((loop_frame * 4 + 1)) "$work/reference.s16" | head -c $((after_frames * 4)) \
    >"$work/ref-loop.s16"
  check "the written audio is the soundtrack from 0 s, sample for sample" \
    cmp -s "$work/first-pass.s16" "$work/ref-song.s16"
  check "after the end it goes on with the soundtrack from 80 s" \
    cmp -s "$work/second-pass.s16" "$work/ref-loop.s16"
  check "nothing but silence came before the song" \
    python3 -c "import sys; d=open('$audio','rb').read($start*8); sys.exit(0 if d.count(0)==len(d) else 1)"
fi

finish
