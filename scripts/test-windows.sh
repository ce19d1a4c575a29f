#!/usr/bin/env bash
# Builds the Windows release (scripts/build-windows.sh) and tests it under Wine in a
# virtual display (tests/wine/windows.sh). Needs the Linux build for the audio matcher.
# Usage: scripts/test-windows.sh [LINUX_BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:-build}
scripts/build-windows.sh
scripts/lib/apt-install.sh wine64 unzip vorbis-tools ffmpeg imagemagick xvfb xauth xdotool x11-utils
cmake --build "$linux_build" -j"$(nproc)" --target zoov_audio_find >/dev/null
bash tests/wine/windows.sh "$linux_build" .
