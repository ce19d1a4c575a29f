#!/usr/bin/env bash
# Runs a command in a fresh virtual X display (Xvfb, 1920x1080x24) unless told to use the
# current one with ZOOV_USE_DISPLAY=1.
set -u
if [ "${ZOOV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 ${ZOOV_SCREEN:-1920x1080x24}" "$@"
