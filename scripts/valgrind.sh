#!/usr/bin/env bash
# memcheck over a short run of the real show under Xvfb: the window is given up to
# ZOOV_VALGRIND_WINDOW_WAIT seconds (default 600) to appear, the show runs 5 s more, then a
# key release ends it. Passes when memcheck saw no invalid read or write and nothing
# "definitely lost" outside the system libraries named in tests/valgrind/zoov.supp.
# Under valgrind the GL driver compiles its shaders some fifty times slower, so this takes
# several minutes on a small machine; it is not part of ctest.
# Usage: scripts/valgrind.sh [BUILD_DIR]   (default: build)
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:-build}" && pwd)
if [ -z "${ZOOV_IN_XVFB:-}" ]; then
  ZOOV_IN_XVFB=1 ZOOV_USE_DISPLAY=0 exec tests/e2e/lib/with-display.sh bash "$0" "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-valgrind.XXXXXX")
cp -r "$root/assets" "$work/assets"
log="$work/memcheck.log"
# One llvmpipe thread: valgrind runs one thread at a time anyway.
(cd "$work" && SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0 exec valgrind --tool=memcheck \
  --leak-check=full --errors-for-leak-kinds=definite --child-silent-after-fork=yes --num-callers=40 \
  --suppressions="$root/tests/valgrind/zoov.supp" --log-file="$log" \
  "$build/zoov2020" window >"$work/stdout" 2>"$work/stderr") &
pid=$!

id=""
for _ in $(seq 1 $((${ZOOV_VALGRIND_WINDOW_WAIT:-600} * 2))); do
  id=$(xdotool search --all --pid "$pid" --name '^zOOv 2020$' 2>/dev/null | head -n 1)
  [ -n "$id" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
status=1
if [ -n "$id" ]; then
  sleep 5
  xdotool key --window "$id" q
  wait "$pid"
  status=$?
else
  echo "no window"
  kill -TERM "$pid" 2>/dev/null
  wait "$pid"
fi

invalid=$(grep -cE '== (Invalid (read|write|free)|Mismatched free)' "$log")
definite=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tr -d ,)
grep -q "All heap blocks were freed" "$log" && definite=0
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|suppressed:' "$log"
echo "exit status $status, invalid accesses $invalid, definitely lost ${definite:-?} bytes"
echo "full log: $log"
[ -n "$id" ] && [ "$status" -eq 0 ] && [ "$invalid" -eq 0 ] && [ "${definite:-1}" -eq 0 ]
