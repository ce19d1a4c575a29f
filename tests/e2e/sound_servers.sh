#!/usr/bin/env bash
# The show through a real sound server: a PulseAudio of the test's own, with a null sink
# (no sound card needed) whose monitor is recorded. What the sink plays must be the
# soundtrack from its start, the credits must be lit while their stretch of the music is
# heard, and a key release ends the show with 0. Then the server dies, or hangs, mid-show:
# the show says so and its clock runs on in real time. Last, a server that answers too late
# and one that never answers: the show stops waiting, plays unheard, and still quits with 0.
# Usage: sound_servers.sh BUILD_DIR SOURCE_DIR
set -u
here=$(dirname "$0")
source "$here/lib/common.sh"
run_in_virtual_display "$0" "$@"

work=$(make_workdir)
pid=
server=
recorder=
mute=
stop() {  # stop PID: ends a helper of this script, if it still runs
  [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null
  return 0
}
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  stop "$recorder"
  stop "$server"
  stop "$mute"
  rm -rf "$work"
}
trap cleanup EXIT

# Everything of the server's (socket, cookie, state) lives in the work directory, and the
# clients never start one of their own.
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
echo "autospawn = no" >"$work/client.conf"
export PULSE_CLIENTCONFIG="$work/client.conf" PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
export SDL_AUDIODRIVER=pulseaudio
rate=44100

# A server with one null sink, in the mix format, so what it plays is what the show gave it.
start_server() {
  step "starting PulseAudio"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=stderr --log-level=info \
    -L "module-null-sink sink_name=out format=float32le rate=$rate channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1" 2>>"$work/pulseaudio.log" &
  server=$!
  for _ in $(seq 1 200); do
    timeout 5 pactl info >/dev/null 2>&1 && return 0
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  echo "  | PulseAudio did not start:"; sed 's/^/  | /' "$work/pulseaudio.log"
  return 1
}
# Records the sink's monitor into $1, with little latency so its size follows the sink.
start_recorder() {
  parec -d out.monitor --format=float32le --rate=$rate --channels=2 --latency-msec=20 --raw >"$1" &
  recorder=$!
}
size() { stat -c %s "$1" 2>/dev/null || echo 0; }
# Waits up to 60 s for the recording $1 to hold sound, then stops the recorder and prints
# how far into the soundtrack the sink had played.
heard_so_far() {
  step "waiting for the music to be heard"
  for _ in $(seq 1 600); do
    python3 -c "import sys; d=open('$1','rb').read(); sys.exit(0 if d.count(0) < len(d) else 1)" && break
    sleep 0.1
  done
  python3 "$SOURCE_DIR/tests/xtools/sink_song.py" "$1" "$work/reference.s16" "$(size "$1")" |
    awk '$1 == "heard" { print $3 }'
}

# --- the soundtrack through PulseAudio ---------------------------------------------------
oggdec -Q -R -b 16 -e 0 -s 1 -o "$work/reference.s16" "$SOURCE_DIR/assets/zoov2020.ogg"
check "PulseAudio starts with a null sink" start_server
start_recorder "$work/sink.f32"
start_show "$work"
id=$(wait_for_window "$pid" 60)
check "pulse: a window" test -n "$id"

# The credits' row is lit from the middle of the music's 10-20 s stretch to its end. The
# recording's size before and after each look says what the sink had played by then.
step "waiting for the credits"
lit= before= after=
looked=$SECONDS
while [ -n "$id" ] && [ $((SECONDS - looked)) -lt 60 ]; do
  b=$(size "$work/sink.f32")
  grey=$(credit_row "$id" "$work/shot.png")
  a=$(size "$work/sink.f32")
  if [ "${grey:-0}" -ge "$CREDITS_LIT" ]; then
    lit=$grey before=$b after=$a
    break
  fi
  sleep 0.3
done
check "pulse: the credits are lit (row grey ${lit:-below $CREDITS_LIT})" test -n "$lit"
x_bounded 10 xdotool key --window "${id:-0}" q
wait_for_exit "$pid" 30
pid=
check "pulse: a key release ends the show with status 0 (status $exit_status)" test "$exit_status" = 0
check "pulse: nothing said about the sound" bash -c "! grep -q '^audio:' '$work/stderr'"
stop "$recorder"
recorder=

step "comparing what the sink played with the soundtrack"
python3 "$SOURCE_DIR/tests/xtools/sink_song.py" "$work/sink.f32" "$work/reference.s16" \
  ${before:-0} ${after:-0} >"$work/sink.txt"
sed 's/^/  | /' "$work/sink.txt"
read -r _ first < <(grep '^first' "$work/sink.txt")
read -r _ song share backward < <(grep '^song' "$work/sink.txt")
heard_before=$(awk -v b="${before:-0}" '$1 == "heard" && $2 == b { print $3; exit }' "$work/sink.txt")
heard_after=$(awk -v a="${after:-0}" '$1 == "heard" && $2 == a { print $3; exit }' "$work/sink.txt")
check "pulse: the sink played the song ($song s of sound)" awk -v s="${song:-0}" 'BEGIN { exit !(s >= 10) }'
check "pulse: it is the soundtrack, in order ($share of it sample for sample, $backward steps back)" \
  awk -v m="${share:-0}" -v b="${backward:-1}" 'BEGIN { exit !(m >= 0.99 && b == 0) }'
check "pulse: from its start (the first sound is the soundtrack at $first s)" \
  awk -v f="${first:--1}" 'BEGIN { exit !(f >= 0 && f <= 0.5) }'
# Nothing of the credits is drawn before 10 s of music, and nothing after 20 s: lit in a
# look that began after the sink had played 20 s, they would lag the sound; lit in one
# that ended before it had played 10 s, they would run ahead of it. (The slack covers the
# server's buffer and a frame shown late by a slow machine.)
check "pulse: the credits come with their music (heard ${heard_before:-?}..${heard_after:-?} s during the look)" \
  awk -v b="${heard_before:-99}" -v a="${heard_after:-0}" 'BEGIN { exit !(a >= 9.5 && b <= 22) }'

# --- the server dies mid-show: the music plays on, unheard, in real time -----------------
: >"$work/stderr"
start_recorder "$work/sink2.f32"
start_show "$work"
id=$(wait_for_window "$pid" 60)
heard=$(heard_so_far "$work/sink2.f32")
kill -9 "$server"
killed=$SECONDS
wait "$server" 2>/dev/null
server=
stop "$recorder"
recorder=
echo "  | the server was killed when the sink had played ${heard:-?} s of the song"
grey=$(wait_for_credits "${id:-0}" 60 "$work/credits2.png")
after=$((SECONDS - killed))
# Lit at all, the clock ran on from about 1 s to past 10 s; lit no sooner than the music
# needs to get there, it did not run fast (the device's own thread and the stand-in
# mixing at once would).
check "server gone: the credits are lit later (row grey ${grey:-below $CREDITS_LIT}, $after s after)" \
  awk -v g="${grey:-}" -v t="$after" -v h="${heard:-99}" 'BEGIN { exit !(g != "" && t >= 10 - h - 2) }'
check "server gone: one line says so ($(grep '^audio:' "$work/stderr"))" \
  test "$(grep -c '^audio: the audio device went away' "$work/stderr")" -eq 1
x_bounded 10 xdotool key --window "${id:-0}" q
wait_for_exit "$pid" 30
pid=
check "server gone: a key release ends the show with status 0 (status $exit_status)" test "$exit_status" = 0

# --- the server hangs mid-show (stopped): the device asks for nothing more, and after a
# few seconds of that the show gives it up the same way; quitting does not wait on it.
start_server
: >"$work/stderr"
start_recorder "$work/sink4.f32"
start_show "$work"
id=$(wait_for_window "$pid" 60)
heard=$(heard_so_far "$work/sink4.f32")
stop "$recorder"
recorder=
kill -STOP "$server"
stopped=$SECONDS
echo "  | the server was stopped when the sink had played ${heard:-?} s of the song"
grey=$(wait_for_credits "${id:-0}" 60 "$work/credits4.png")
after=$((SECONDS - stopped))
check "server hangs: the credits are lit later (row grey ${grey:-below $CREDITS_LIT}, $after s after)" \
  awk -v g="${grey:-}" -v t="$after" -v h="${heard:-99}" 'BEGIN { exit !(g != "" && t >= 10 - h - 2) }'
check "server hangs: one line says so ($(grep '^audio:' "$work/stderr"))" \
  test "$(grep -c '^audio: the audio device went away' "$work/stderr")" -eq 1
x_bounded 10 xdotool key --window "${id:-0}" q
wait_for_exit "$pid" 30
pid=
check "server hangs: a key release ends the show with status 0 (status $exit_status)" test "$exit_status" = 0
kill -CONT "$server"
stop "$server"
server=

# --- a server that answers too late: the show plays unheard, and the device that opens
# after it stopped waiting is closed at once, never heard, never left open.
: >"$work/pulseaudio.log"
start_server
start_recorder "$work/sink3.f32"
: >"$work/stderr"
# A relay that holds each connection 8 s before passing it on; plain sockets, so the
# client sends no shared memory to pass along.
python3 -c '
import socket, sys, threading, time
def pipe(a, b):
    try:
        while True:
            data = a.recv(65536)
            if not data:
                break
            b.sendall(data)
    except OSError:
        pass
    for end in (a, b):  # either side gone: the relay goes, as the connection would
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
def relay(client):
    time.sleep(8)
    server = socket.socket(socket.AF_UNIX)
    server.connect(sys.argv[2])
    threading.Thread(target=pipe, args=(client, server), daemon=True).start()
    pipe(server, client)
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen(8)
while True:
    threading.Thread(target=relay, args=(s.accept()[0],), daemon=True).start()
' "$work/late.socket" "$XDG_RUNTIME_DIR/pulse/native" &
mute=$!
for _ in $(seq 1 100); do [ -S "$work/late.socket" ] && break; sleep 0.1; done
printf 'autospawn = no\nenable-shm = no\n' >"$work/late.conf"
PULSE_CLIENTCONFIG="$work/late.conf" PULSE_SERVER="unix:$work/late.socket" start_show "$work"
id=$(wait_for_window "$pid" 60)
opened=$SECONDS
grey=$(wait_for_credits "${id:-0}" 60 "$work/credits3.png")
after=$((SECONDS - opened))
check "late answer: the show plays unheard, the credits lit (row grey ${grey:-below $CREDITS_LIT}, $after s after the window)" \
  test -n "$grey" -a "$after" -ge 12
check "late answer: one line says so ($(grep '^audio:' "$work/stderr"))" \
  test "$(stderr_lines "$work")" -eq 1 -a -n "$(grep '^audio: no audio device (it did not open within 5 s)' "$work/stderr")"
# The server logs each stream it is given: the late device did open, and went again.
check "late answer: the device opened late ($(grep -c 'Created input' "$work/pulseaudio.log") stream) and is closed" \
  test "$(grep -c 'Created input' "$work/pulseaudio.log")" -eq 1 -a "$(timeout 5 pactl list short sink-inputs | wc -l)" -eq 0
x_bounded 10 xdotool key --window "${id:-0}" q
wait_for_exit "$pid" 30
pid=
check "late answer: a key release ends the show with status 0 (status $exit_status)" test "$exit_status" = 0
stop "$recorder"
recorder=
check "late answer: the sink played nothing" \
  python3 -c "import sys; d=open('$work/sink3.f32','rb').read(); sys.exit(0 if len(d) and d.count(0) == len(d) else 1)"
stop "$mute"
mute=
stop "$server"
server=

# --- a server that takes the connection and never answers --------------------------------
: >"$work/stderr"
step "starting a server that never answers"
python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen(8)
held = []
while True:
    held.append(s.accept()[0])
' "$work/mute.socket" &
mute=$!
for _ in $(seq 1 100); do [ -S "$work/mute.socket" ] && break; sleep 0.1; done
PULSE_SERVER="unix:$work/mute.socket" start_show "$work"
id=$(wait_for_window "$pid" 60)
opened=$SECONDS
grey=$(wait_for_credits "${id:-0}" 60 "$work/credits3.png")
after=$((SECONDS - opened))
check "no answer: the show plays unheard, the credits lit (row grey ${grey:-below $CREDITS_LIT}, $after s after the window)" \
  test -n "$grey" -a "$after" -ge 12
check "no answer: one line says so ($(grep '^audio:' "$work/stderr"))" \
  test "$(stderr_lines "$work")" -eq 1 -a -n "$(grep '^audio: no audio device (it did not open within 5 s)' "$work/stderr")"
# SIGTERM, like a window close, goes through SDL's quit, with the open still stuck.
kill -TERM "$pid"
wait_for_exit "$pid" 30
pid=
check "no answer: SIGTERM ends the show with status 0 (status $exit_status)" test "$exit_status" = 0

finish
