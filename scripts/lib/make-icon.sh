#!/usr/bin/env bash
# Draws the Windows program's icon, src/app/zoov2020.ico, with ImageMagick: the two glowing
# rings of the title's "OO" over a jagged four-pointed star, in the show's stroke light on
# black, at the sizes Windows asks for (256, 48, 32 and 16 pixels). Run it after changing
# the drawing; the icon is kept in the repository.
# Usage: scripts/lib/make-icon.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The strokes, drawn at 256x256: the star's jagged outline, then the rings.
convert -size 256x256 xc:none -fill none -stroke '#ffb347' -strokewidth 6 \
  -draw 'polygon 128,18 142,104 238,128 142,152 128,238 114,152 18,128 114,104' \
  -stroke '#9ff3ff' -strokewidth 14 -draw 'circle 84,128 84,76' -draw 'circle 172,128 172,76' \
  "$tmp/strokes.png"
# Their bloom under them, on a black rounded square.
convert -size 256x256 xc:none -fill black -draw 'roundrectangle 0,0 255,255 36,36' \
  \( "$tmp/strokes.png" -blur 0x10 -channel A -evaluate multiply 1.6 +channel \) -composite \
  "$tmp/strokes.png" -composite "$tmp/icon.png"
convert "$tmp/icon.png" -depth 8 -define icon:auto-resize=256,48,32,16 src/app/zoov2020.ico
echo "make-icon: wrote src/app/zoov2020.ico"
