#!/usr/bin/env bash
# Renders the self test's pictures from their SVG sources into the PNGs the
# program loads: each at its own size and at two and three times that size for
# high-DPI screens (Qt picks the "@2x"/"@3x" file by the screen's scale).
# Needs rsvg-convert and the DejaVu Sans font; run after editing an SVG and
# commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/../src/res/selftest"
for svg in *.svg; do
  name="${svg%.svg}"
  size=$(sed -n 's/.*<svg [^>]*width="\([0-9]*\)".*/\1/p' "$svg")
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$name.png"
  for n in 2 3; do
    rsvg-convert -w $((size * n)) -h $((size * n)) "$svg" -o "$name@${n}x.png"
  done
done
