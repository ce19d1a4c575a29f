#!/usr/bin/env bash
# Runs a command inside a Debian root made by debian-root.sh, with /proc, /sys, /dev and
# any folders named by --bind mounted in a mount namespace of its own: the mounts vanish
# with the command, whatever way it ends, and the machine's own mounts are untouched.
# Usage: scripts/lib/in-root.sh DIR [--bind HOST_DIR ROOT_DIR]... -- COMMAND...
set -euo pipefail
dir=$(cd "${1:?usage: in-root.sh DIR [--bind HOST ROOT]... -- COMMAND...}" && pwd)
shift
binds=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  [ "$1" = --bind ] && [ $# -ge 3 ] || { echo "in-root: bad argument $1" >&2; exit 2; }
  binds+=("$2" "$3")
  shift 3
done
shift
[ $# -gt 0 ] || { echo "in-root: no command" >&2; exit 2; }
export ZOOV_ROOT_DIR=$dir
# The namespace's mounts are made private, so none of them reaches the machine's own. Run
# inside a chroot (as scripts/test.sh is on a fresh machine), the machine's root is no
# mount point and its propagation cannot be changed; then it must already be private.
propagation=private
if ! unshare --mount --propagation private /bin/true 2>/dev/null; then
  if grep -q ' shared:' /proc/self/mountinfo; then
    echo "in-root: this machine's mounts are shared and cannot be made private here" >&2
    exit 1
  fi
  propagation=unchanged
fi
exec unshare --mount --propagation "$propagation" /bin/bash -c '
  set -e
  root=$ZOOV_ROOT_DIR
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  n=$1; shift
  while [ "$n" -gt 0 ]; do
    mkdir -p "$root$2"
    mount --bind "$1" "$root$2"
    shift 2; n=$((n - 1))
  done
  exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
' in-root $((${#binds[@]} / 2)) "${binds[@]}" "$@"
