#!/usr/bin/env bash
# Hostile inputs and broken surroundings, met as a user or a broken system would: no font
# for a message box, asset files that are not regular files, a termination signal while a
# box is open (nothing of the show left on screen after it), the test helpers' own bounds;
# and for zoov2020-capture, options that once deadlocked, outputs that are not files, a
# write that fails, signals, a broken shader, too old an OpenGL.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"
export SDL_AUDIODRIVER=dummy

seconds_since() { echo $(($(date +%s) - $1)); }

# --- the helpers cannot hang
started=$(date +%s)
out=$(step "looking for a box"; dismiss_box "")
status=$?
check "dismiss_box with an empty id fails at once ($status, $(seconds_since "$started") s)" \
  test "$status" -ne 0 -a "$(seconds_since "$started")" -lt 3
check "and names the step it was in" grep -q "no window id (step: looking for a box)" <<<"$out"
started=$(date +%s)
out=$(ZOOV_E2E_LIMIT=2 bash -c 'source "$1/lib/common.sh" "$2" "$3"; step "waiting for Godot"; sleep 60' \
  _ "$here" "$BUILD_DIR" "$SOURCE_DIR" 2>&1)
elapsed=$(seconds_since "$started")
check "a stuck script is ended by its watchdog ($elapsed s after a 2 s limit)" test "$elapsed" -lt 10
check "saying which step it was waiting in" grep -q "timed out after 2 s in step: waiting for Godot" <<<"$out"

# --- no font for SDL's boxes (an X server with built-in fonts only): reports go to
# standard error and the show carries on as if OK had been pressed, so a missing shader
# still ends it with status 255 after seven failed links, in seconds. A FIFO in place of
# a shader is refused like a missing file, never waited on.
no_font_run() {  # no_font_run WORKDIR: status in $status, seconds in $elapsed
  started=$(date +%s)
  step "the show in a display without fonts, in $1"
  (cd "$1" && ZOOV_XVFB_ARGS="-fp built-ins" "$here/lib/with-display.sh" \
    timeout -k 5 60 "$PROGRAM" window >"$1/stdout" 2>"$1/stderr")
  status=$?
  elapsed=$(seconds_since "$started")
}
for fault in missing fifo; do
  work=$(make_workdir)
  rm "$work/assets/blur.fs"
  [ $fault = fifo ] && mkfifo "$work/assets/blur.fs"
  no_font_run "$work"
  check "no font, $fault shader: status 255 ($status) within seconds ($elapsed s)" \
    test "$status" -eq 255 -a "$elapsed" -lt 30
  check "no font, $fault shader: seven link reports on standard error" \
    test "$(grep -c '^Shader link failed$' "$work/stderr")" -eq 7
  rm -rf "$work"
done

# --- music that is not a regular file (a FIFO, a directory, a 64 GB sparse file): one
# line says why, and the show runs silently
for kind in fifo directory sparse; do
  work=$(make_workdir)
  music="$work/assets/zoov2020.ogg"
  rm "$music"
  case $kind in
    fifo) mkfifo "$music" ;;
    directory) mkdir "$music" ;;
    sparse) truncate -s 64G "$music" ;;
  esac
  start_show "$work"
  check "music as a $kind: the show runs, no box, key release exits 0" runs_cleanly 2
  check "music as a $kind: one line on standard error names the file" \
    test "$(grep -c 'cannot load assets/zoov2020.ogg' "$work/stderr")" -eq 1 -a "$(stderr_lines "$work")" -eq 1
  rm -rf "$work"
done

# --- SIGTERM while a box is open ends the show at once, and all of it: SDL draws the box
# in a forked child holding the show's X connection, which must not outlive the show.
# (A dead child may stay a zombie where nothing reaps orphans: dead all the same.)
alive() { [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }
work=$(make_workdir)
sed -i -e 's/^uniform float time;/const float time = 0.0;/' "$work/assets/lines.vs"
start_show "$work"
box=$(wait_for_box ".*:time" 60)
check "a box is up" test -n "$box"
kids=$(descendants "$pid")
check "drawn by a child process of the show (${kids:-none})" test -n "$kids"
kill -TERM "$pid"
wait_for_exit "$pid" 5
check "SIGTERM during a box ends the show within 5 s, status 0 ($exit_status)" test "$exit_status" -eq 0
step "waiting for the box's process to go"
for _ in $(seq 1 50); do
  left=$(for k in $kids; do alive "$k" && echo "$k"; done)
  [ -z "$left" ] && break
  sleep 0.1
done
check "the box's process is gone too (left:${left:- none})" test -z "$left"
on_screen=$(x_bounded 10 xwininfo -root -tree | grep -E '"(zOOv 2020|.*:time)"')
check "and neither the box nor the window is on screen (${on_screen:-none})" test -z "$on_screen"
for k in $left; do kill -KILL "$k" 2>/dev/null; done
rm -rf "$work"

# --- zoov2020-capture (built in the plain build only)
CAPTURE="$BUILD_DIR/zoov2020-capture"
if [ ! -x "$CAPTURE" ]; then
  echo "skip - zoov2020-capture is not built here"
  finish
  exit
fi
work=$(make_workdir)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Without a display the capture starts its own, so signals reach the capture itself.
capture() {  # capture ARGS...: status in $status, seconds in $elapsed, messages in log
  started=$(date +%s)
  step "capture $*"
  env -u DISPLAY timeout -k 5 120 "$CAPTURE" --size 160x90 "$@" >log 2>&1
  status=$?
  elapsed=$(seconds_since "$started")
}
children() { descendants "$1" | sort; }

# Frame rates far above the sound's packets, and an output that is a symbolic link.
ln -s real.mp4 link.mp4
capture --fps 1000 --from 10 --to 10.03 --out link.mp4
check "--fps 1000 --from 10 --to 10.03 finishes ($status, $elapsed s)" test "$status" -eq 0
check "written through the link: it is still a link" test -L link.mp4
check "and the file it names is the 30 ms video" \
  test "$(ffprobe -v error -show_entries format=duration -of csv=p=0 real.mp4)" = 0.030000

# Outputs that are not regular files are refused before any work, and left as they are.
mkdir folder && touch folder/keep
capture --fps 5 --from 0 --to 60 --out folder
check "--out naming a directory fails at once ($status, $elapsed s)" test "$status" -eq 1 -a "$elapsed" -lt 5
check "saying so" grep -q "folder is a directory" log
check "and the directory is untouched" test -d folder -a -e folder/keep
mkfifo pipe.mp4
capture --fps 5 --from 0 --to 60 --out pipe.mp4
check "--out naming a FIFO fails at once ($status, $elapsed s)" test "$status" -eq 1 -a "$elapsed" -lt 5
check "and the FIFO stays a FIFO" test -p pipe.mp4

# A write that fails fails the run, and nothing is left under the final name.
capture --fps 5 --from 10 --to 10.4 --out full/f.mp4 --trace /dev/full
check "a trace to a full device fails the capture ($status)" test "$status" -eq 1
check "saying why" grep -q "cannot write the trace /dev/full: No space left on device" log
check "and writes no video" test ! -e full/f.mp4 -a ! -e full/f.mp4.partial

# A shader that cannot be built fails the capture with its log, never a box.
cp -r assets good && printf 'this is not GLSL;\n' >>assets/lines.fs
capture --fps 5 --from 10 --to 11 --out broken/b.mp4
check "a broken shader fails the capture ($status, $elapsed s)" test "$status" -eq 1 -a "$elapsed" -lt 60
check "naming the file and saying why" \
  grep -q "^assets/lines.fs$" log && grep -q "a shader program cannot be built" log
rm -rf assets && mv good assets

# A context older than OpenGL 3.3 fails the capture before any work, saying what it found.
MESA_GL_VERSION_OVERRIDE=3.2 capture --fps 5 --from 10 --to 11 --out old/o.mp4
check "an OpenGL 3.2 context fails the capture ($status)" test "$status" -eq 1
check "naming the version found, the renderer and the version needed" \
  grep -qE '^OpenGL found: 3\.2 .*; renderer: .+; needed: OpenGL 3\.3$' log

# Termination signals stop a capture and its encoder and display promptly, remove the
# partial output and end the capture by the signal.
signal_case() {  # signal_case SIGNAL OUTPUT_WAITED_FOR ARGS...
  local signal=$1 waited=$2 kids
  shift 2
  step "capture to stop with SIG$signal"
  env -u DISPLAY "$CAPTURE" --size 160x90 --fps 5 --from 0 --to 60 "$@" >log 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do [ -e "$waited" ] && break; sleep 0.1; done
  sleep 1
  kids=$(children "$pid")
  started=$(date +%s)
  kill -"$signal" "$pid"
  wait_for_exit "$pid" 10
  elapsed=$(seconds_since "$started")
  left=""
  for k in $kids; do kill -0 "$k" 2>/dev/null && left="$left $k"; done
}
signal_case HUP hup/h.mp4.partial --out hup/h.mp4
check "SIGHUP ends the capture in $elapsed s, by the signal ($exit_status)" \
  test "$exit_status" -eq 129 -a "$elapsed" -le 5
check "its encoder and display are gone (left:${left:- none})" test -z "$left"
check "and no video, whole or partial, is left" test ! -e hup/h.mp4 -a ! -e hup/h.mp4.partial
signal_case TERM frames/frame-000001.png --png frames
check "SIGTERM ends a PNG capture in $elapsed s, by the signal ($exit_status)" \
  test "$exit_status" -eq 143 -a "$elapsed" -le 5
check "its encoder and display are gone (left:${left:- none})" test -z "$left"
check "and no frame is left" test ! -e frames

finish
