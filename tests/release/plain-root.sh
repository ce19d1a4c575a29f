#!/usr/bin/env bash
# The Linux release as a viewer meets it: the tarball unpacked on a plain Debian system that
# holds only an X server and Mesa's OpenGL (a root made with debootstrap, without SDL, Vorbis
# or any sound library), started from another folder. Its window opens, the credits are
# lit about 17 s in, the show plays on without a sound device, and a key release ends it
# with status 0. Needs root (chroot); the roots are cached under BUILD_DIR/roots.
# Usage: tests/release/plain-root.sh BUILD_DIR SOURCE_DIR [SUITE...]
#   BUILD_DIR is scripts/package-linux.sh's (build-linux); the tarball is read from
#   SOURCE_DIR/dist. SUITE is bullseye (default), bookworm or trixie: Debian 11, 12, 13.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/plain-root.sh"
build=$(cd "${1:?build dir}" && pwd)
suites=("${@:3}")
[ ${#suites[@]} -gt 0 ] || suites=(bullseye)
tarball=$(cd "${2:?source dir}" && pwd)/dist/zoov2020-linux-x64.tar.gz
[ -f "$tarball" ] || { echo "plain-root: no $tarball (scripts/package-linux.sh makes it)"; exit 1; }
# The tools that look at the root's display from this machine.
"$here/../../scripts/lib/apt-install.sh" xdotool x11-utils imagemagick || exit 1
declare -A roots
for suite in "${suites[@]}"; do
  roots[$suite]=$(plain_root "$suite" "$build") || exit 1
done

export ZOOV_E2E_LIMIT=$((200 * ${#suites[@]}))
source "$here/../e2e/lib/common.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zoov-plain.XXXXXX")
xvfb=
cleanup() {
  [ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display number free on this machine: no lock file, no socket in the file system or in
# the abstract namespace (which the roots share with the machine).
free_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix && continue
    echo "$n"
    return 0
  done
  return 1
}

for suite in "${suites[@]}"; do
  root=${roots[$suite]}
  echo "  | $suite: Debian $(cat "$root/etc/debian_version"), $(chroot "$root" /usr/bin/ldd --version | head -n 1 | awk '{print "glibc " $NF}')"
  libs=$(ls "$root"/usr/lib/x86_64-linux-gnu | grep -E '^lib(SDL2|vorbis|ogg|pulse|asound|pipewire)' | tr '\n' ' ')
  check "$suite: the root has no SDL, Vorbis or sound library (${libs:-none})" test -z "$libs"

  # The viewer's home: the tarball unpacked in one folder, the show started from another.
  # The root's /tmp is this run's own, so the root is left as it was.
  tmp=$scratch/$suite
  mkdir -p "$tmp/elsewhere" "$tmp/.X11-unix"
  chmod 1777 "$tmp" "$tmp/.X11-unix"
  tar -C "$tmp" -xzf "$tarball"
  # in-root.sh execs down to the command, so a background (exec in_root ...) has the
  # command's own pid.
  in_root() { exec "$here/../../scripts/lib/in-root.sh" "$root" --bind "$tmp" /tmp -- "$@"; }

  step "$suite: starting the root's X server"
  xvfb=
  for _ in 1 2 3; do
    display=$(free_display) || break
    (in_root Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp -noreset) >"$scratch/$suite-xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 1 100); do
      grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix && break
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$xvfb" 2>/dev/null && break
    xvfb=
  done
  check "$suite: the root's X server runs" test -n "$xvfb"
  [ -n "$xvfb" ] || continue
  export DISPLAY=:$display

  step "$suite: starting the show"
  (in_root /bin/sh -c 'cd /tmp/elsewhere && exec env DISPLAY="$1" /tmp/zoov2020/zoov2020 w' show "$DISPLAY") \
    >"$tmp/stdout" 2>"$tmp/stderr" &
  pid=$!
  id=$(wait_for_window "$pid" 60)
  check "$suite: a window opens" test -n "$id"
  if [ -z "$id" ]; then
    sed 's/^/  | stderr: /' "$tmp/stderr" | head -n 5
    sed 's/^/  | X server: /' "$scratch/$suite-xvfb.log" | tail -n 5
  else
    shown=$SECONDS
    sleep 17
    grey17=$(credit_row "$id" "$scratch/$suite-17s.png")
    echo "  | $suite: the credits' row at 17 s after the window: grey $grey17"
    # A slow machine may be behind: what must hold is that the credits come.
    grey=$grey17
    [ "${grey:-0}" -ge "$CREDITS_LIT" ] || grey=$(wait_for_credits "$id" 30 "$scratch/$suite-lit.png")
    check "$suite: the credits are lit (grey ${grey:-below $CREDITS_LIT}, $((SECONDS - shown)) s after the window)" \
      test -n "$grey"
    check "$suite: no message box" test -z "$(message_boxes)"
    x_bounded 10 xdotool key --window "$id" q
  fi
  wait_for_exit "$pid" 30
  pid=
  check "$suite: a key release ends it with status 0 (status $exit_status)" test "$exit_status" -eq 0
  check "$suite: it plays on without a sound device and says so" \
    grep -q 'the show plays without sound' "$tmp/stderr"
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=
done
finish
