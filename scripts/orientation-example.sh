#!/usr/bin/env bash
# Makes the user guide's pair of pictures for phone photos: one stored sideways with an EXIF
# orientation, as the camera wrote it, and the slide slidemill-build puts it on, as
# LibreOffice draws it.
#   scripts/orientation-example.sh [SLIDEMILL_BUILD]
# Writes docs/orientation-stored.png and docs/orientation-slide.png, about 400 px wide.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/example-setup.sh "$@"

# A portrait scene: sky, sun, a tree on a green hill.
convert -size 600x800 gradient:'#5fa8e8'-'#d8ecfa' \
    -fill '#f6d04d' -draw 'circle 470,150 470,215' \
    -fill '#4f9a3a' -draw 'ellipse 300,820 460,240 180,360' \
    -fill '#6b4a2b' -draw 'rectangle 200,380 235,600' \
    -fill '#2f7a2a' -draw 'circle 217,330 217,430' \
    "$work/upright.png"
# Stored as a phone held upright stores it: pixels a quarter turn anticlockwise, and
# Orientation 6 asking viewers to turn them back. ImageMagick writes the tag only into an
# EXIF block it already has, so the block (little-endian, IFD0 with Orientation alone) is
# put after the start marker by hand.
convert "$work/upright.png" -rotate -90 -quality 90 "$work/sideways.jpg"
{
    head -c 2 "$work/sideways.jpg"
    printf '\xff\xe1\x00\x22Exif\x00\x00II*\x00\x08\x00\x00\x00\x01\x00'
    printf '\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00'
    tail -c +3 "$work/sideways.jpg"
} >"$work/photo.jpg"
[ "$(identify -format '%[orientation]' "$work/photo.jpg")" = RightTop ]

convert "$work/photo.jpg" -strip -resize 400x "docs/orientation-stored.png"

"$builder" -o "$work/photo.pptx" "$work/photo.jpg"
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf \
    --outdir "$work" "$work/photo.pptx" >/dev/null 2>&1
pdftoppm -png -singlefile -scale-to-x 400 -scale-to-y -1 "$work/photo.pdf" "$work/slide"
mv "$work/slide.png" "docs/orientation-slide.png"
echo "wrote docs/orientation-stored.png and docs/orientation-slide.png"
