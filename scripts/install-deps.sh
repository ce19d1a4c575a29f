#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing zoov2020 need.
# Idempotent: it runs apt-get only when something is missing.
set -euo pipefail

# Each tool the scripts and tests call is here by its own package, even where another
# package pulls it in today: xfonts-base holds the X core fonts without which SDL cannot
# open a message box; python3 and the rest are called by the test scripts;
# mesa-vulkan-drivers (lavapipe) lets the tests run the show on Zink, OpenGL on Vulkan;
# pulseaudio with its pactl and parec is a sound server of the tests' own, with a null sink.
packages=(
  build-essential cmake pkg-config python3 python3-glad
  libsdl2-dev libx11-dev libvorbis-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xfonts-base xdotool x11-utils imagemagick apitrace ffmpeg sox vorbis-tools
  libgl1-mesa-dri libglx-mesa0 mesa-utils valgrind
  mesa-vulkan-drivers pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: missing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "install-deps: must run as root (or with sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
