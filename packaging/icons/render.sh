#!/usr/bin/env bash
# Renders the PNG sizes of the program icon from pelldrake.svg (needs
# rsvg-convert, Debian: librsvg2-bin). The PNGs are committed; run this only
# after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" pelldrake.svg -o "pelldrake-$size.png"
done
