#!/usr/bin/env bash
# Installs what is missing, builds, and runs the show from the repository root (the program
# reads its shaders and music from ./assets). Pass "full" to run full screen; the default
# is the 960x540 window. Without a display, the show is rendered to a video instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zoov2020

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if cmake --build build -j"$(nproc)" --target zoov2020-capture >/dev/null; then
    echo "run: no display here; rendering the first 20 s of the show to a video instead"
    exec build/zoov2020-capture --fps 30 --from 0 --to 20 --size 1280x720 --out out/zoov2020-first20s.mp4
  fi
  echo "run: no display (DISPLAY is not set); start it from a desktop session" >&2
  exit 1
fi

if [ "${1:-}" = full ]; then
  exec build/zoov2020
fi
exec build/zoov2020 window
