#!/usr/bin/env bash
# Builds the Linux x64 release, dist/zoov2020-linux-x64.tar.gz: one folder with the program,
# its assets and a README.txt, that runs on any x86-64 Linux desktop with nothing to
# install. It is built in a Debian 11 root (debootstrap, made once under the build folder),
# so it needs no newer C library than 2.31; SDL2, libogg and libvorbis come from Debian's
# source packages, as for Windows, and are linked in statically with the C++ runtime.
# SDL opens X11 and the sound libraries (PulseAudio, ALSA) at run time and glad opens
# libGL, so the program itself needs only the C library; the script checks that.
# Needs root (debootstrap, chroot). Usage: scripts/package-linux.sh [BUILD_DIR]
#   (default build-linux; the roots, sources and static libraries stay cached there)
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
build=$(mkdir -p "${1:-build-linux}" && cd "${1:-build-linux}" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "package-linux: needs root (it builds in a Debian 11 root)" >&2; exit 1; }
scripts/lib/apt-install.sh debootstrap python3-glad dpkg-dev binutils
source scripts/lib/plain-root.sh

start=$SECONDS
plain=$(plain_root bullseye "$build")
# The build tools, and the headers SDL's configuration looks for to enable X11 (with its
# extensions), PulseAudio and ALSA: each is then opened at run time, never linked.
root=$(ZOOV_ROOT_FROM=$plain scripts/lib/debian-root.sh bullseye "$build/roots/bullseye-build" \
  build-essential cmake pkg-config libgl-dev libx11-dev libxext-dev libxrandr-dev libxcursor-dev \
  libxi-dev libxfixes-dev libxss-dev libxxf86vm-dev libxinerama-dev libxkbcommon-dev \
  libpulse-dev libasound2-dev)
echo "package-linux: Debian 11 build root ready ($((SECONDS - start)) s)"

# Debian 12's sources, the same that the Windows build compiles.
sdl=$(scripts/lib/debian-source.sh libsdl2 "$build/src")
ogg=$(scripts/lib/debian-source.sh libogg "$build/src")
vorbis=$(scripts/lib/debian-source.sh libvorbis "$build/src")
# glad's loader, generated here as cmake/Glad.cmake does (Debian 11's glad is older).
rm -rf "$build/glad"
glad --quiet --reproducible --api gl:compatibility=3.3 --extensions "" --out-path "$build/glad" c --loader

# What of SDL the show uses: video on X11, events, timers, threads, audio (PulseAudio,
# which PipeWire desktops serve too, ALSA, and the disk and dummy drivers the tests use),
# message boxes, the base path. Every system library is opened at run time (the *_SHARED
# options), so that a missing one costs only its feature.
sdl_options=(-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_UNINSTALL=ON
  -DSDL_RENDER=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_POWER=OFF
  -DSDL_SENSOR=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF
  -DSDL_WAYLAND=OFF -DSDL_KMSDRM=OFF -DSDL_RPI=OFF -DSDL_VIVANTE=OFF -DSDL_OFFSCREEN=OFF
  -DSDL_JACK=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF -DSDL_NAS=OFF -DSDL_SNDIO=OFF -DSDL_FUSIONSOUND=OFF
  -DSDL_PIPEWIRE=OFF -DSDL_LIBSAMPLERATE=OFF -DSDL_IBUS=OFF -DSDL_CCACHE=OFF
  -DSDL_X11=ON -DSDL_X11_SHARED=ON -DSDL_PULSEAUDIO=ON -DSDL_PULSEAUDIO_SHARED=ON
  -DSDL_ALSA=ON -DSDL_ALSA_SHARED=ON -DSDL_OPENGL=ON -DSDL_DISKAUDIO=ON -DSDL_DUMMYAUDIO=ON)
jobs=$(nproc)
# The static libraries are valid while the sources, these options, the build root and
# this script's dependency steps are unchanged.
key=$( { echo "$sdl $ogg $vorbis ${sdl_options[*]}"; cat "$root/.zoov-root";
  sed -n '/^build_deps=/,/^# end of dependencies/p' "$0"; } | sha1sum | cut -c1-16)
build_deps='
set -e
dep() {  # dep SOURCE EXTRA_CMAKE_ARGS...: configure, build, install into /build/deps
  src=$1; shift; name=$(basename "$src")
  echo "package-linux: building $name"
  { cmake -S "$src" -B "/build/dep-build/$name" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX=/build/deps -DBUILD_SHARED_LIBS=OFF "$@" &&
    cmake --build "/build/dep-build/$name" -j"$JOBS" &&
    cmake --install "/build/dep-build/$name"; } >"/build/dep-build/$name.log" 2>&1 \
    || { tail -n 30 "/build/dep-build/$name.log"; exit 1; }
}
rm -rf /build/deps /build/dep-build && mkdir -p /build/dep-build
dep "/build/src/$SDL" "$@"
dep "/build/src/$OGG" -DINSTALL_DOCS=OFF
dep "/build/src/$VORBIS" -DOGG_INCLUDE_DIR=/build/deps/include -DOGG_LIBRARY=/build/deps/lib/libogg.a
'
# end of dependencies
in_root() { scripts/lib/in-root.sh "$root" --bind "$project" /project --bind "$build" /build -- "$@"; }
if [ "$(cat "$build/deps/.built" 2>/dev/null)" != "$key" ]; then
  start=$SECONDS
  in_root /usr/bin/env JOBS="$jobs" SDL="$(basename "$sdl")" OGG="$(basename "$ogg")" \
    VORBIS="$(basename "$vorbis")" /bin/bash -c "$build_deps" deps "${sdl_options[@]}"
  # SDL's configuration must have found X11 and the sound servers, to be opened at run time.
  config=$build/deps/include/SDL2/SDL_config.h
  for define in SDL_VIDEO_DRIVER_X11_DYNAMIC SDL_AUDIO_DRIVER_PULSEAUDIO_DYNAMIC SDL_AUDIO_DRIVER_ALSA_DYNAMIC; do
    grep -q "^#define $define " "$config" || { echo "package-linux: SDL was configured without $define" >&2; exit 1; }
  done
  echo "$key" >"$build/deps/.built"
  echo "package-linux: SDL2, libogg, libvorbis built in $((SECONDS - start)) s"
fi

# The show itself, in the same root.
in_root /bin/sh -c 'cmake -S /project -B /build/app -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZOOV_TESTS=OFF -DZOOV_BENCH=OFF -DZOOV_STATIC_MEDIA=ON -DZOOV_GLAD_DIR=/build/glad \
  -DSDL2_DIR=/build/deps/lib/cmake/SDL2 -DOgg_DIR=/build/deps/lib/cmake/Ogg \
  -DVorbis_DIR=/build/deps/lib/cmake/Vorbis >/dev/null && cmake --build /build/app -j"$1" --target zoov2020' \
  app "$jobs"
program=$build/app/zoov2020

# What the program needs of the system: the C library's parts only, at most glibc 2.31.
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
for lib in $needed; do
  case $lib in
    libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | librt.so.1 | ld-linux-x86-64.so.2) ;;
    *) echo "package-linux: the program needs $lib, which not every desktop has" >&2; exit 1 ;;
  esac
done
newest=$(objdump -T "$program" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n 1)
[ "$(printf '%s\n2.31\n' "$newest" | sort -V | tail -n 1)" = 2.31 ] \
  || { echo "package-linux: the program needs glibc $newest, newer than Debian 11's 2.31" >&2; exit 1; }
if objdump -T "$program" | grep -q -e GLIBCXX_ -e CXXABI_ -e GCC_; then
  echo "package-linux: the program needs a shared C++ runtime" >&2; exit 1
fi
echo "package-linux: the program needs $needed(glibc $newest at most)"

stage=$build/stage/zoov2020
rm -rf "$build/stage"
mkdir -p "$stage"
strip -o "$stage/zoov2020" "$program"
cp -r assets "$stage/assets"
cat >"$stage/README.txt" <<'TXT'
zOOv 2020 - a real-time audiovisual show for Linux x86-64

Start ./zoov2020 in this folder: the show runs full screen at the desktop size, with its
music. Release any key to quit; closing the window does too. "./zoov2020 w" (any
argument at all) runs it in a 960x540 window.

Nothing to install. It runs on any x86-64 Linux desktop with:
  - the GNU C library 2.31 or newer (Debian 11, Ubuntu 20.04, Fedora 32 and later);
  - an X11 display (a Wayland desktop serves it through XWayland);
  - OpenGL 3.3, from the graphics driver or Mesa (llvmpipe will do).
SDL2 and Ogg Vorbis are built in. The sound goes through PulseAudio (or PipeWire's
PulseAudio service) or ALSA, whichever the system has; with none, the show plays
without sound.

It reads its shaders and music from the assets folder in the working directory, or, when
there is none there, from the one beside the program.
TXT
mkdir -p dist
tar -C "$build/stage" --owner=0 --group=0 --numeric-owner -czf dist/zoov2020-linux-x64.tar.gz zoov2020
echo "package-linux: wrote dist/zoov2020-linux-x64.tar.gz ($(du -k dist/zoov2020-linux-x64.tar.gz | cut -f1) KiB)"
