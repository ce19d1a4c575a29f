#!/usr/bin/env bash
# Makes (once, then reuses) a minimal Debian root with debootstrap, from the package mirror
# this machine's apt uses: the Linux release is built in a Debian 11 root, so that it needs
# no newer C library than Debian 11's, and tested in plain roots that hold only an X server
# and Mesa, as a viewer's desktop does. Needs root.
# Usage: scripts/lib/debian-root.sh SUITE DIR [PACKAGE...]
#   A root already in DIR made for the same suite and packages is kept as it is.
#   ZOOV_ROOT_FROM=DIR2 starts from a copy of the root DIR2 instead of a new debootstrap.
# Prints DIR on standard output.
set -euo pipefail
suite=${1:?usage: debian-root.sh SUITE DIR [PACKAGE...]}
dir=${2:?usage: debian-root.sh SUITE DIR [PACKAGE...]}
shift 2
[ "$(id -u)" -eq 0 ] || { echo "debian-root: needs root (debootstrap, chroot)" >&2; exit 1; }
key="$suite ${ZOOV_ROOT_FROM:+from $(cat "$ZOOV_ROOT_FROM/.zoov-root" 2>/dev/null)} $*"
if [ -x "$dir/bin/sh" ] && [ "$(cat "$dir/.zoov-root" 2>/dev/null)" = "$key" ]; then
  echo "$dir"
  exit 0
fi
command -v debootstrap >/dev/null || "$(dirname "$0")/apt-install.sh" debootstrap >&2
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(awk '/^deb / && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || { echo "debian-root: cannot read the package mirror from apt's config" >&2; exit 1; }
security=${mirror%/debian}-security
[ "$security" != "$mirror-security" ] || security=http://deb.debian.org/debian-security

rm -rf --one-file-system "$dir"
mkdir -p "$(dirname "$dir")"
log=$dir.log
if [ -n "${ZOOV_ROOT_FROM:-}" ]; then
  cp -a "$ZOOV_ROOT_FROM" "$dir"
else
  echo "debian-root: debootstrap $suite into $dir" >&2
  debootstrap --variant=minbase "$suite" "$dir" "$mirror" >"$log" 2>&1 \
    || { tail -n 20 "$log" >&2; echo "debian-root: debootstrap failed (log: $log)" >&2; exit 1; }
  cat >"$dir/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security $suite-security main
EOF
fi
if [ $# -gt 0 ]; then
  echo "debian-root: installing into the $suite root: $*" >&2
  # apt's own sandbox user and no start of services (the root is no running system).
  printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
  chmod +x "$dir/usr/sbin/policy-rc.d"
  cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
  "$(dirname "$0")/in-root.sh" "$dir" -- /bin/sh -c 'apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends "$@" && apt-get clean' apt "$@" >>"$log" 2>&1 \
    || { tail -n 20 "$log" >&2; echo "debian-root: apt-get failed in the $suite root (log: $log)" >&2; exit 1; }
fi
echo "$key" >"$dir/.zoov-root"
echo "$dir"
