#!/usr/bin/env bash
# Renders the icon's PNG sizes from the SVG (librsvg2-bin); the PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$size.png" dk.vop.tolvane.svg
done
