#!/usr/bin/env bash
# Fetches and unpacks a Debian source package without touching the machine's apt setup:
# apt gets a private sources list (the machine's own mirrors, as deb-src) and private
# state, so the cross builds (Windows, web) can compile SDL2, libogg and libvorbis from
# the same sources Debian builds its packages from.
# Usage: scripts/lib/debian-source.sh PACKAGE[=VERSION] DEST_DIR
# Prints the unpacked source directory on standard output.
set -euo pipefail
pkg=${1:?usage: debian-source.sh PACKAGE[=VERSION] DEST_DIR}
dest=${2:?usage: debian-source.sh PACKAGE[=VERSION] DEST_DIR}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
state="$dest/.apt"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"

# deb-src lines from the machine's own sources: deb822 files first, then sources.list.
list="$state/sources.list"
: >"$list"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  awk '
    function flush() { if (uris != "" && suites != "") { n = split(suites, s, " ");
      for (i = 1; i <= n; i++) { line = "deb-src"; if (signed != "") line = line " [signed-by=" signed "]";
        print line " " uris " " s[i] " " comps } } uris = suites = comps = signed = "" }
    /^[[:space:]]*$/ { flush(); next }
    /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
    /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
    /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps = $0 }
    /^Signed-By:/ { sub(/^Signed-By:[[:space:]]*/, ""); signed = $0 }
    END { flush() }' "$f" >>"$list"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >>"$list"
done
[ -s "$list" ] || { echo "debian-source: no apt sources found on this machine" >&2; exit 1; }

apt_opts=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=-"
          -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
          -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")

name=${pkg%%=*}
existing=$(find "$dest" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -n 1)
if [ -n "$existing" ]; then
  echo "$existing"
  exit 0
fi
command -v dpkg-source >/dev/null || { echo "debian-source: dpkg-source missing (install dpkg-dev)" >&2; exit 1; }
apt-get "${apt_opts[@]}" update -qq >&2
(cd "$dest" && apt-get "${apt_opts[@]}" source -qq "$pkg" >&2)
dir=$(find "$dest" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -n 1)
[ -n "$dir" ] || { echo "debian-source: $pkg did not unpack in $dest" >&2; exit 1; }
echo "$dir"
