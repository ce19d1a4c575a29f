#!/usr/bin/env bash
# Compares two apitrace traces call by call, buffer contents included: a restructuring
# that must not change what reaches GL is checked by tracing the same capture before and
# after it. Pointers (which differ from run to run) are masked; every blob is compared by
# its SHA-256. Prints the call counts and "equal", or the first differing lines.
# usage: tools/compare-gl-traces.sh BEFORE.trace AFTER.trace
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BEFORE.trace AFTER.trace" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One normalised listing per trace: calls without numbers, pointers masked, each blob
# file name replaced by its digest (the names carry call numbers).
normalise() {
  local trace=$1 out=$2 dir
  dir=$(mktemp -d -p "$work")
  (cd "$dir" && apitrace dump --blobs --call-nos=no --thread-ids=no --color=never "$trace" > dump.txt)
  (cd "$dir" && ls | grep '^blob_' | while read -r blob; do
     printf 's/%s/sha:%s/g\n' "$blob" "$(sha256sum "$blob" | cut -c1-16)"; done) > "$dir/names.sed"
  grep -v '^// process.name' "$dir/dump.txt" |
    sed -E 's/0x[0-9a-f]{6,}/0xPTR/g' | sed -f "$dir/names.sed" > "$out"
  rm -rf "$dir"
}

normalise "$(realpath "$1")" "$work/before.txt"
normalise "$(realpath "$2")" "$work/after.txt"
count() { grep -c '^gl' "$1"; }
echo "before: $(count "$work/before.txt") GL calls, after: $(count "$work/after.txt") GL calls"
if cmp -s "$work/before.txt" "$work/after.txt"; then
  echo "equal: every call, argument and buffer content is the same"
else
  echo "DIFFERENT:"
  diff "$work/before.txt" "$work/after.txt" | head -40 | cut -c1-300
  exit 1
fi
