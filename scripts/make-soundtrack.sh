#!/usr/bin/env bash
# Rebuilds the soundtrack, assets/zoov2020.ogg, with the synthesizer in tools/. The render
# is deterministic: the same build makes the same file. Usage: scripts/make-soundtrack.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target make_soundtrack
"$build/make_soundtrack" assets/zoov2020.ogg
