#!/usr/bin/env bash
# Draws the desktop icon's PNG sizes from packaging/icons/slidemill.svg with rsvg-convert
# (Debian package librsvg2-bin); run after changing the SVG and commit what it writes.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" slidemill.svg -o "slidemill-$size.png"
done
