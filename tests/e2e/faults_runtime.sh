#!/usr/bin/env bash
# Faults met after start-up: a program lacking a uniform, a broken or absent music file,
# no audio device (the show goes on unheard), and quitting while a message box is open.
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"

# Standard error holds exactly one line, naming the music file.
one_audio_line() {
  local lines
  lines=$(stderr_lines "$1")
  [ "$lines" -eq 1 ] && grep -q 'assets/zoov2020.ogg' "$1/stderr" && return 0
  echo "  | stderr ($lines lines):"; sed 's/^/  | /' "$1/stderr"
  return 1
}

export SDL_AUDIODRIVER=dummy

# --- the music file broken in four ways: the show runs silently, one line on stderr
for fault in missing empty truncated random; do
  work=$(make_workdir)
  music="$work/assets/zoov2020.ogg"
  case $fault in
    missing) rm "$music" ;;
    empty) : >"$music" ;;
    truncated) head -c 600000 "$music" >"$work/cut" && mv "$work/cut" "$music" ;;
    random) head -c 1845443 /dev/urandom >"$music" ;;
  esac
  start_show "$work"
  check "music $fault: the show runs, no box, key release exits 0" runs_cleanly
  check "music $fault: exactly one diagnostic line" one_audio_line "$work"
  rm -rf "$work"
done

# --- no audio device (what a machine without a sound card gives; here a driver that does
# not exist): the music plays on unheard, in real time, so the credits come on time; one
# line of ours says so, and the audio library's own noise stays off stderr.
work=$(make_workdir)
SDL_AUDIODRIVER=nosuchdriver start_show "$work"
id=$(wait_for_window "$pid" 60)
opened=$SECONDS
check "no audio device: a window" test -n "$id"
grey=$(wait_for_credits "$id" 45 "$work/credits.png")
after=$((SECONDS - opened))
# The credits are complete at 16 s of music, and the music starts after the window.
check "no audio device: the credits are lit (row grey ${grey:-below $CREDITS_LIT}, $after s after the window)" \
  test -n "$grey" -a "$after" -ge 12
check "no audio device: no box" test -z "$(message_boxes)"
check "no audio device: still running" kill -0 "$pid"
x_bounded 10 xdotool key --window "$id" q
wait_for_exit "$pid" 30
check "no audio device: a key release exits 0 (status $exit_status)" test "$exit_status" -eq 0
said=$(cat "$work/stderr")
check "no audio device: one line on stderr, that it plays without sound (${said:-nothing})" \
  test "$(stderr_lines "$work")" -eq 1 -a -n "$(grep 'plays without sound$' "$work/stderr")"
rm -rf "$work"

# --- a program lacking a uniform: a box per use, the show goes on after each
work=$(make_workdir)
sed -i -e 's/^uniform float time;/const float time = 0.0;/' "$work/assets/lines.vs"
check "no-uniform shader prepared" bash -c "! grep -q 'uniform float time' '$work/assets/lines.vs'"
start_show "$work"
boxes=0
for _ in 1 2 3 4; do
  box=$(wait_for_box ".*:time" 30) || break
  boxes=$((boxes + 1))
  dismiss_box "${box%% *}"
done
check "missing uniform: four boxes in turn" test "$boxes" -eq 4
box=$(wait_for_box ".*:time" 30)
check "missing uniform: caption ends with :time" grep -q ':time$' <<<"$box"
check "missing uniform: the show carries on" kill -0 "$pid"
# A key release while the box is open waits in the queue; once the box is gone the
# next event poll ends the show.
id=$(wait_for_window "$pid" 10)  # retried: a box may come or go while the tree is walked
xdotool key --window "$id" q
dismiss_boxes_while_alive ".*:time"
wait_for_exit "$pid" 30
check "missing uniform: key release during a box exits 0 (status $exit_status)" test "$exit_status" -eq 0
rm -rf "$work"

# --- key release during a start-up box, then the fixed file lets the show start
work=$(make_workdir)
mv "$work/assets/floor.fs" "$work/floor.fs.saved"
start_show "$work"
box=$(wait_for_box "Shader link failed" 60)
check "start-up box: up" test -n "$box"
id=$(wait_for_window "$pid" 10)  # retried: a box may come or go while the tree is walked
xdotool key --window "$id" q
mv "$work/floor.fs.saved" "$work/assets/floor.fs"
dismiss_box "${box%% *}"
wait_for_exit "$pid" 30
check "start-up box: the queued key release ends the show at its first frame, status 0 (status $exit_status)" test "$exit_status" -eq 0
rm -rf "$work"

# --- the window closed (as a window manager asks it) while a box is open
work=$(make_workdir)
sed -i -e 's/^uniform float time;/const float time = 0.0;/' "$work/assets/lines.vs"
start_show "$work"
# The window is up before set-up ends; its id is taken then, not while a box holds focus.
id=$(wait_for_window "$pid" 60)
box=$(wait_for_box ".*:time" 60)
check "close during a box: box up" test -n "$box" -a -n "$id"
for _ in 1 2 3; do
  "$BUILD_DIR/tests/close_window" "$id" && break
  sleep 1
done
dismiss_boxes_while_alive ".*:time"
wait_for_exit "$pid" 30
check "close during a box: status 0 (status $exit_status)" test "$exit_status" -eq 0
rm -rf "$work"

finish
