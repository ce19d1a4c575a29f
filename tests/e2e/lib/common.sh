# Shared helpers for the end-to-end scripts: a scratch working directory with the assets,
# the program started in the background, its window found with xdotool, and a tally.
# Scripts source this file and are called as: script BUILD_DIR SOURCE_DIR.

# Re-runs the calling script inside one virtual display for all its cases.
run_in_virtual_display() {  # run_in_virtual_display "$0" "$@"
  if [ -z "${ZOOV_IN_XVFB:-}" ]; then
    stop_watchdog
    ZOOV_IN_XVFB=1 exec "$(dirname "${BASH_SOURCE[0]}")/with-display.sh" bash "$@"
  fi
}

# No script may hang: each wait below has its own bound, and a watchdog ends the whole
# script after ZOOV_E2E_LIMIT seconds (default 480, well inside ctest's 600), saying which
# step it was in. Steps are named by `step`, and by the helpers as they wait.
E2E_STEP_FILE=$(mktemp "${TMPDIR:-/tmp}/zoov-e2e-step.XXXXXX")
step() { printf '%s\n' "$*" >"$E2E_STEP_FILE"; }
step "starting"

# Every process below PID, deepest first (read from /proc: no procps needed).
descendants() {
  local child
  for child in $(grep -l "^PPid:[[:space:]]*$1\$" /proc/[0-9]*/status 2>/dev/null | cut -d/ -f3); do
    descendants "$child"
    echo "$child"
  done
}

start_watchdog() {
  local main=$$ limit=${ZOOV_E2E_LIMIT:-480}
  (
    for _ in $(seq 1 "$limit"); do
      sleep 1
      kill -0 "$main" 2>/dev/null || { rm -f "$E2E_STEP_FILE"; exit 0; }
    done
    echo "FAIL - timed out after $limit s in step: $(cat "$E2E_STEP_FILE" 2>/dev/null)"
    # What the script waits on goes first, then the script itself, gently (its EXIT trap
    # cleans up) and then for certain.
    for sig in TERM KILL; do
      for p in $(descendants "$main"); do [ "$p" != "$BASHPID" ] && kill -$sig "$p" 2>/dev/null; done
      sleep 1
    done
    kill -TERM "$main" 2>/dev/null
    sleep 1
    kill -KILL "$main" 2>/dev/null
    rm -f "$E2E_STEP_FILE"
  ) &
  E2E_WATCHDOG=$!
}
stop_watchdog() {
  [ -n "${E2E_WATCHDOG:-}" ] && kill "$E2E_WATCHDOG" 2>/dev/null
  E2E_WATCHDOG=
  rm -f "$E2E_STEP_FILE"
}
start_watchdog

# An X client call that cannot wait forever (a window that never takes focus, a server
# gone quiet): at most $1 seconds.
x_bounded() {  # x_bounded SECONDS command...
  local limit=$1
  shift
  timeout -k 2 "$limit" "$@"
}

BUILD_DIR=$(cd "${1:?build dir}" && pwd)
SOURCE_DIR=$(cd "${2:?source dir}" && pwd)
PROGRAM="$BUILD_DIR/zoov2020"
passed=0
failed=0

# A fresh working directory holding a copy of the assets (tests may break them).
make_workdir() {
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/zoov-e2e.XXXXXX")
  cp -r "$SOURCE_DIR/assets" "$dir/assets"
  echo "$dir"
}

# start_show WORKDIR: starts the windowed show there, its output in WORKDIR/stdout and
# WORKDIR/stderr; its pid in $pid.
start_show() {
  (cd "$1" && exec "$PROGRAM" window >"$1/stdout" 2>"$1/stderr") &
  pid=$!
}

# The show of $pid runs normally: a window, no box for $1 seconds (default 4), still
# alive, then a key release ends it with status 0.
# Lines the show wrote to standard error, less the note that this X server has no
# multisampled window (every run on Debian 13's Xvfb, softpipe and the like).
stderr_lines() {  # stderr_lines WORKDIR
  grep -cv '^No 4x multisampled window here' "$1/stderr"
}

runs_cleanly() {
  local settle=${1:-4} id
  id=$(wait_for_window "$pid" 60) || { echo "  | no window"; kill -9 "$pid" 2>/dev/null; return 1; }
  sleep "$settle"
  if [ -n "$(message_boxes)" ]; then
    echo "  | unexpected box: $(message_boxes)"
    kill -9 "$pid"
    return 1
  fi
  kill -0 "$pid" || return 1
  x_bounded 10 xdotool key --window "$id" q
  wait_for_exit "$pid" 30
  [ "$exit_status" -eq 0 ] || { echo "  | status $exit_status"; return 1; }
}

# Where a clip of sound (raw mono float, 44100 Hz) starts in the soundtrack, looked for
# in 2 s of it around NEAR_SECONDS; prints "SOUNDTRACK_SECONDS RESIDUAL_DB" (see
# tools/zoov_audio_find). Each stretch of the soundtrack is decoded once.
soundtrack_time() {  # soundtrack_time CLIP.raw NEAR_SECONDS
  local from ref
  from=$(awk -v n="$2" 'BEGIN { print n - 1 }')
  ref="${TMPDIR:-/tmp}/zoov-soundtrack-$$-$from.raw"
  [ -s "$ref" ] || ffmpeg -v error -y -i "$SOURCE_DIR/assets/zoov2020.ogg" -ss "$from" -t 2 \
    -f f32le -ac 1 -ar 44100 "$ref"
  "$BUILD_DIR/zoov_audio_find" "$ref" "$1" | awk -v f="$from" '{ printf "%.5f %s", f + $1 / 44100, $2 }'
}

# The mean grey (0..255) of the row where "Yet again.." stands in a 960x540 screenshot of
# window $1, saved as $2; 0 if none could be taken.
credit_row() {  # credit_row WINDOW SHOT.png
  x_bounded 20 import -window "$1" "$2" 2>/dev/null &&
    convert "$2" -alpha off -crop 700x60+130+230 -colorspace gray -format '%[fx:round(mean*255)]' info: 2>/dev/null ||
    echo 0
}

# Waits up to $2 seconds for window $1 to show the credits lit, and prints their row's grey.
# Whatever the phase of the figures (which follow the tick time, not the music), they alone
# light that row to about 60 at most, while the written-out text keeps it above 80; so this
# holds on a slow machine as on a fast one, and never without the credits.
CREDITS_LIT=75
wait_for_credits() {  # wait_for_credits WINDOW LIMIT SHOT.png
  local start=$SECONDS grey
  step "waiting up to $2 s for the credits in window $1"
  while [ $((SECONDS - start)) -lt "$2" ]; do
    grey=$(credit_row "$1" "$3")
    [ "${grey:-0}" -ge "$CREDITS_LIT" ] && { echo "$grey"; return 0; }
    sleep 0.5
  done
  return 1
}

check() {  # check "description" command...
  local what=$1
  shift
  step "checking: $what"
  if "$@"; then
    passed=$((passed + 1))
    echo "ok   - $what"
  else
    failed=$((failed + 1))
    echo "FAIL - $what"
  fi
}

# Waits up to $2 seconds (default 60) for a window named "zOOv 2020" of process $1;
# prints its id.
wait_for_window() {
  local pid=$1 limit=${2:-60} id=""
  step "waiting up to $limit s for the window of process $pid"
  for _ in $(seq 1 $((limit * 10))); do
    id=$(x_bounded 5 xdotool search --all --pid "$pid" --name '^zOOv 2020$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for process $1 to end; its status in $exit_status.
wait_for_exit() {
  local pid=$1 limit=${2:-30}
  step "waiting up to $limit s for process $pid to end"
  for _ in $(seq 1 $((limit * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      exit_status=$?
      return 0
    fi
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit_status=137
  return 1
}

# Message boxes on screen, one per line as "id caption". SDL's boxes are X windows that
# xdotool's search does not list, so they are read from the window tree.
message_boxes() {
  x_bounded 10 xwininfo -root -tree 2>/dev/null \
    | sed -n 's/^ *\(0x[0-9a-f]*\) "\(.*\)": ().*/\1 \2/p' | grep -v ' zOOv 2020$' || true
}

# Waits up to $2 seconds (default 60) for a box whose caption matches the regex $1;
# prints "id caption".
wait_for_box() {
  local pattern=$1 limit=${2:-60} line
  step "waiting up to $limit s for a box captioned $pattern"
  for _ in $(seq 1 $((limit * 10))); do
    line=$(message_boxes | grep -E -m 1 "^0x[0-9a-f]+ ($pattern)$")
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.1
  done
  return 1
}

# The text inside a box is not readable from X, so tests read captions only.
# Dismisses box $1 with Return. A following box may come up under the same window id
# (each box is its own X connection), so this waits only briefly for it to go.
# An empty id fails at once: xwininfo -id "" would wait for a mouse click forever.
dismiss_box() {
  if [ -z "${1:-}" ]; then
    echo "  | dismiss_box: no window id (step: $(cat "$E2E_STEP_FILE"))"
    return 1
  fi
  step "dismissing box $1"
  x_bounded 10 xdotool windowfocus --sync "$1" 2>/dev/null
  x_bounded 10 xdotool key --window "$1" Return
  for _ in $(seq 1 5); do
    x_bounded 5 xwininfo -id "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 0
}

# While the show of $pid lives, dismisses up to ten boxes whose caption matches $1 (the
# show raises a few more before its next event poll).
dismiss_boxes_while_alive() {
  local box
  for _ in $(seq 1 10); do
    kill -0 "$pid" 2>/dev/null || break
    box=$(wait_for_box "$1" 5) && dismiss_box "${box%% *}"
  done
}

finish() {
  stop_watchdog
  rm -f "${TMPDIR:-/tmp}/zoov-soundtrack-$$-"*.raw
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
