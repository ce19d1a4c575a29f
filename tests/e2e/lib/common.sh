# Shared helpers for the end-to-end scripts: a scratch working directory with the assets,
# the program started in the background, its window found with xdotool, and a tally.
# Scripts source this file and are called as: script BUILD_DIR SOURCE_DIR.

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

check() {  # check "description" command...
  local what=$1
  shift
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
  for _ in $(seq 1 $((limit * 10))); do
    id=$(xdotool search --all --pid "$pid" --name '^zOOv 2020$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for process $1 to end; its status in $exit_status.
wait_for_exit() {
  local pid=$1 limit=${2:-30}
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

# Ids of the message boxes on screen (SDL's boxes are X windows that xdotool's search
# does not list, so they are read from the window tree), one per line: "id caption".
message_boxes() {
  xwininfo -root -tree 2>/dev/null | awk '/^ +0x[0-9a-f]+ "/ { id=$1; sub(/^ +0x[0-9a-f]+ "/, ""); sub(/": \(.*$/, ""); print id, $0 }' \
    | grep -v ' zOOv 2020$' || true
}

# Dismisses one box by pressing Return in it.
dismiss_box() {
  xdotool windowfocus --sync "$1" 2>/dev/null
  xdotool key --window "$1" Return
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
