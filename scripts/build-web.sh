#!/usr/bin/env bash
# Builds zoov2020 for the browser into dist/web: the show's code and Debian's libogg and
# libvorbis sources compiled with Debian's emscripten, the page, the shaders and the
# soundtrack. Installs what it needs (as root, or through sudo). Prints every file's size
# as served, gzip-compressed where the server compresses it.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(emscripten build-essential cmake)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "build-web: installing ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Debian's emscripten runs its JavaScript optimizer on the machine's Node with Debian's acorn.
export NODE_PATH=/usr/share/nodejs

ogg=$(scripts/lib/debian-source.sh libogg build-web/debsrc)
vorbis=$(scripts/lib/debian-source.sh libvorbis build-web/debsrc)
emcmake cmake -S src/web -B build-web/cmake -DOGG_SOURCE_DIR="$ogg" -DVORBIS_SOURCE_DIR="$vorbis" >/dev/null
cmake --build build-web/cmake -j"$(nproc)"

out=dist/web
rm -rf "$out"
mkdir -p "$out/assets"
cp src/web/page/index.html src/web/page/page.js src/web/page/player.js build-web/cmake/zoov2020.js build-web/cmake/zoov2020.wasm "$out/"
cp assets/*.vs assets/*.fs assets/zoov2020.ogg "$out/assets/"

echo "build-web: $out (bytes as stored, and as served: gzip except the Ogg file)"
total=0
while IFS= read -r f; do
  size=$(stat -c %s "$f")
  case "$f" in *.ogg) sent=$size ;; *) sent=$(gzip -9 -c "$f" | wc -c) ;; esac
  total=$((total + sent))
  printf '  %-24s %9d %9d\n' "${f#"$out"/}" "$size" "$sent"
done < <(find "$out" -type f | sort)
printf '  %-24s %9s %9d\n' "the whole page" "" "$total"
