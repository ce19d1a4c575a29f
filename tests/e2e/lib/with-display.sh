#!/usr/bin/env bash
# Runs a command in a fresh virtual X display (Xvfb, ZOOV_SCREEN or 1920x1080x24, plus any
# server options in ZOOV_XVFB_ARGS) unless told to use the current one with ZOOV_USE_DISPLAY=1.
# The server runs with -noreset: by default Xvfb resets whenever its last client leaves and
# drops a client that connects meanwhile, such as the show starting just as a test's
# xdotool finishes.
set -u
if [ "${ZOOV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 ${ZOOV_SCREEN:-1920x1080x24} -noreset ${ZOOV_XVFB_ARGS:-}" "$@"
