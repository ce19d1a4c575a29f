#!/usr/bin/env bash
# Builds the Windows release (scripts/build-windows.sh) and tests it under Wine in a
# virtual display (tests/wine/windows.sh). Needs the Linux build for the audio matcher.
# Usage: scripts/test-windows.sh [LINUX_BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${1:-build}
scripts/build-windows.sh
# Wine, and the X and GL libraries it only recommends but loads for windows, full screen
# and OpenGL; the tools of the end-to-end helpers.
scripts/lib/apt-install.sh wine64 libgl1 libgl1-mesa-dri libxcomposite1 libxcursor1 libxfixes3 \
  libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1 \
  unzip vorbis-tools ffmpeg imagemagick xvfb xauth xdotool x11-utils
cmake --build "$linux_build" -j"$(nproc)" --target zoov_audio_find >/dev/null
bash tests/wine/windows.sh "$linux_build" .
