#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet
# (as root, or through sudo); does nothing, quickly, when all are present. Waits for the
# dpkg lock rather than failing when another apt run holds it.
# Usage: scripts/lib/apt-install.sh PACKAGE...
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "apt-install: missing: ${missing[*]}" >&2
SUDO=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "apt-install: run as root (or with sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
lock=(-o DPkg::Lock::Timeout=600)
$SUDO apt-get "${lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >&2
