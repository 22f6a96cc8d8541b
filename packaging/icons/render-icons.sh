#!/usr/bin/env bash
# Renders the application icon for the hicolor theme: 128 px is the utility's
# own window icon (src/ui/resources/app128.png), the smaller sizes are scaled
# down from it, and 256 px is drawn from the shapes of kivo.svg at twice its
# size. Run it after changing the artwork; the PNGs are kept in the tree so
# that a build needs no image tools.
set -euo pipefail
cd "$(dirname "$0")"
source=../../src/ui/resources/app128.png
for size in 16 24 32 48 64; do
  mkdir -p "$size"
  convert "$source" -filter Lanczos -resize "${size}x${size}" -strip "PNG32:$size/kivo.png"
done
mkdir -p 256
convert -size 256x256 xc:none \
  -fill '#1f4e8c' -draw 'roundrectangle 8,8 247,247 36,36' \
  -fill '#dfe8f3' -stroke '#0d2a52' -strokewidth 6 -draw 'roundrectangle 37,77 221,181 12,12' \
  -stroke none -fill '#0d2a52' -draw 'roundrectangle 56,124 145,133 5,5' \
  -fill '#3ad03a' -draw 'circle 185,129 185,142' \
  -strip PNG32:256/kivo.png
