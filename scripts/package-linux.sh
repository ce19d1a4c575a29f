#!/usr/bin/env bash
# Builds the Linux x64 release: dist/zoov2020-linux-x64.tar.gz holds one folder with the
# program, its assets and a README.txt that names the Debian packages it runs with
# (read from the program's own library needs, plus the GL library it opens itself).
# Usage: scripts/package-linux.sh [BUILD_DIR]   (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
scripts/install-deps.sh >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOOV_TESTS=OFF -DZOOV_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target zoov2020

stage=$build/stage/zoov2020
rm -rf "$build/stage"
mkdir -p "$stage"
strip -o "$stage/zoov2020" "$build/zoov2020"
cp -r assets "$stage/assets"
# The packages of the shared libraries the program links, and libgl1 with Mesa's drivers
# for the OpenGL library glad opens at run time.
packages=$(for lib in $(objdump -p "$stage/zoov2020" | awk '/NEEDED/ {print $2}'); do
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ {print $NF; exit}')
    { dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null || true; } \
      | head -n 1 | cut -d: -f1
  done | sort -u | tr '\n' ' ')
cat >"$stage/README.txt" <<TXT
zOOv 2020 - a real-time audiovisual show for Linux x64 (built on Debian 12)

Start ./zoov2020 in this folder: the show runs full screen at the desktop size, with its
music. Release any key to quit; closing the window does too. "./zoov2020 w" (any
argument at all) runs it in a 960x540 window.

It reads its shaders and music from the assets folder in the working directory, or, when
there is none there, from the one beside the program. It needs OpenGL 3.3 (Mesa's
llvmpipe will do). On Debian 12 it runs with these packages (libgl1-mesa-dri is the
OpenGL driver: your graphics vendor's serves as well):

  ${packages}libgl1 libgl1-mesa-dri

  sudo apt-get install ${packages}libgl1 libgl1-mesa-dri
TXT
mkdir -p dist
tar -C "$build/stage" -czf dist/zoov2020-linux-x64.tar.gz zoov2020
echo "package-linux: wrote dist/zoov2020-linux-x64.tar.gz ($(du -k dist/zoov2020-linux-x64.tar.gz | cut -f1) KiB)"
