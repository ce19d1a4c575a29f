#!/usr/bin/env bash
# Builds the Windows x64 release on this Debian machine with MinGW-w64: SDL2, libogg and
# libvorbis from Debian's own source packages (built once, cached in the build folder),
# then zoov2020.exe, linked statically, packed with its assets into
# dist/zoov2020-windows-x64.zip. Installs the packages it needs.
# Usage: scripts/build-windows.sh [BUILD_DIR]   (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(mkdir -p "${1:-build-windows}" && cd "${1:-build-windows}" && pwd)
jobs=$(nproc)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
mingw=x86_64-w64-mingw32

scripts/lib/apt-install.sh g++-mingw-w64-x86-64-posix cmake make python3-glad dpkg-dev zip

deps=$build/deps            # installed headers, static libraries and CMake packages
export PKG_CONFIG_LIBDIR=$deps/lib/pkgconfig   # never the build machine's own libraries
# Only what the show uses of SDL: video, events, timers, threads, audio (WASAPI, and the
# disk and dummy drivers the tests use), message boxes, the base path. The rest is off,
# which keeps the one-time build short.
sdl_options=(-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_UNINSTALL=ON
  -DSDL_RENDER=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_POWER=OFF
  -DSDL_SENSOR=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF
  -DSDL_DIRECTX=OFF -DSDL_XINPUT=OFF -DSDL_RENDER_D3D=OFF -DSDL_CCACHE=OFF)
# The cache is valid while the toolchain, these options and this script's dependency
# steps are unchanged.
key=$( { cat "$toolchain"; echo "${sdl_options[*]}"; sed -n '/^build_dep()/,/^# end of dependencies/p' "$0"; } | sha1sum | cut -c1-16)

build_dep() {  # build_dep SOURCE_DIR EXTRA_CMAKE_ARGS...: configure, build, install into $deps
  local src=$1 name
  shift
  name=$(basename "$src")
  echo "build-windows: building $name"
  cmake -S "$src" -B "$build/dep-build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF \
    "$@" >"$build/dep-build/$name.log" 2>&1 || { tail -n 30 "$build/dep-build/$name.log"; return 1; }
  cmake --build "$build/dep-build/$name" -j"$jobs" >>"$build/dep-build/$name.log" 2>&1 \
    || { tail -n 30 "$build/dep-build/$name.log"; return 1; }
  cmake --install "$build/dep-build/$name" >>"$build/dep-build/$name.log" 2>&1
}

if [ "$(cat "$deps/.built" 2>/dev/null)" != "$key" ]; then
  start=$SECONDS
  rm -rf "$deps" "$build/dep-build"
  mkdir -p "$build/dep-build"
  sdl=$(scripts/lib/debian-source.sh libsdl2 "$build/src")
  ogg=$(scripts/lib/debian-source.sh libogg "$build/src")
  vorbis=$(scripts/lib/debian-source.sh libvorbis "$build/src")
  build_dep "$sdl" "${sdl_options[@]}"
  build_dep "$ogg" -DINSTALL_DOCS=OFF
  build_dep "$vorbis" -DOGG_INCLUDE_DIR="$deps/include" -DOGG_LIBRARY="$deps/lib/libogg.a"
  echo "$key" >"$deps/.built"
  echo "build-windows: dependencies built in $((SECONDS - start)) s"
fi
# end of dependencies

# The show itself: only the program (the tests and benchmarks need Linux libraries).
app=$build/app
cmake -S . -B "$app" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZOOV_TESTS=OFF -DZOOV_BENCH=OFF -DSDL2_DIR="$deps/lib/cmake/SDL2" \
  -DOgg_DIR="$deps/lib/cmake/Ogg" -DVorbis_DIR="$deps/lib/cmake/Vorbis" >/dev/null
cmake --build "$app" -j"$jobs" --target zoov2020
# Its resources: the manifest (type 24) that makes it DPI-aware, the icon group (14) and
# the version information (16), as the resource directory lists them.
resources=$($mingw-objdump -p "$app/zoov2020.exe" | sed -n '/The .rsrc Resource Directory/,$p')
for type in 0x00000e 0x000010 0x000018; do
  grep -q "Entry: ID: $type," <<<"$resources" \
    || { echo "build-windows: zoov2020.exe lacks its resource of type $type" >&2; exit 1; }
done
grep -q -a '<dpiAwareness[^>]*>PerMonitorV2' "$app/zoov2020.exe" \
  || { echo "build-windows: zoov2020.exe's manifest does not declare it DPI-aware" >&2; exit 1; }

# The release: one folder with the program, its assets and a note, zipped.
stage=$build/stage/zoov2020
rm -rf "$build/stage"
mkdir -p "$stage"
$mingw-strip -o "$stage/zoov2020.exe" "$app/zoov2020.exe"
cp -r assets "$stage/assets"
cat >"$stage/README.txt" <<'TXT'
zOOv 2020 - a real-time audiovisual show for Windows x64

Double-click zoov2020.exe: the show runs full screen at the desktop size, with its music.
Any key (released) quits; closing the window does too.

From a command prompt, "zoov2020.exe w" (any argument at all) runs it in a 960x540 window.

It needs a graphics driver with OpenGL 3.3 and reads its shaders and music from the
assets folder beside the program (or in the folder it is started from). Nothing is
installed and nothing is written.
TXT
sed -i 's/$/\r/' "$stage/README.txt"
mkdir -p dist
rm -f dist/zoov2020-windows-x64.zip
(cd "$build/stage" && zip -qr -X "$root/dist/zoov2020-windows-x64.zip" zoov2020)
echo "build-windows: wrote dist/zoov2020-windows-x64.zip ($(du -k dist/zoov2020-windows-x64.zip | cut -f1) KiB)"
