#!/usr/bin/env bash
# Broken and unusual shader files, met as a user would: the boxes the show raises, what
# dismissing them does, and that a file fixed while a box is open is picked up.
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"
export SDL_AUDIODRIVER=dummy

# --- a missing shader file: one link box per attempt, the seventh ends the show
work=$(make_workdir)
rm "$work/assets/blur.fs"
start_show "$work"
boxes=0
while box=$(wait_for_box "Shader link failed" 30); do
  boxes=$((boxes + 1))
  dismiss_box "${box%% *}"
  sleep 0.5
  kill -0 "$pid" 2>/dev/null || break
  [ $boxes -lt 10 ] || break
done
wait_for_exit "$pid" 30
check "missing shader: seven link boxes in a row (saw $boxes)" test "$boxes" -eq 7
check "missing shader: the seventh ends the show with status 255" test "$exit_status" -eq 255
rm -rf "$work"

# --- the file restored while its box is open: the retry loads it and the show runs
work=$(make_workdir)
mv "$work/assets/floor.fs" "$work/floor.fs.saved"
start_show "$work"
box=$(wait_for_box "Shader link failed" 60)
check "restore: a link box for the missing file" test -n "$box"
mv "$work/floor.fs.saved" "$work/assets/floor.fs"
dismiss_box "${box%% *}"
check "restore: after the fix the show runs without another box" runs_cleanly
rm -rf "$work"

# --- a syntax error: the compile log under the file's path, then the link box
work=$(make_workdir)
cp "$work/assets/lines.fs" "$work/lines.fs.good"
printf 'this is not GLSL;\n' >>"$work/assets/lines.fs"
start_show "$work"
box=$(wait_for_box "assets/lines.fs" 60)
check "syntax error: a box captioned assets/lines.fs" test -n "$box"
dismiss_box "${box%% *}"
box=$(wait_for_box "Shader link failed" 30)
check "syntax error: then the link box" test -n "$box"
cp "$work/lines.fs.good" "$work/assets/lines.fs"
dismiss_box "${box%% *}"
check "syntax error: fixed during the box, the show runs" runs_cleanly
rm -rf "$work"

# --- CR LF line ends in every shader: no box at all
work=$(make_workdir)
for f in "$work"/assets/*.vs "$work"/assets/*.fs; do sed -i 's/$/\r/' "$f"; done
start_show "$work"
check "CR LF shaders: the show runs without any box" runs_cleanly
rm -rf "$work"

# --- 5000 carriage returns in one source
work=$(make_workdir)
for _ in $(seq 1 5000); do printf '\r\n'; done >>"$work/assets/blur.fs"
check "5000-CR source has 5000 CRs" test "$(tr -cd '\r' <"$work/assets/blur.fs" | wc -c)" -eq 5000
start_show "$work"
check "5000 CRs: the show runs without any box" runs_cleanly
rm -rf "$work"

finish
