#!/usr/bin/env bash
# Makes the user guide's comparison of stored resolutions: one 12-megapixel picture with fine
# detail built at --ppi original, 220, 150 and 96, each slide drawn by LibreOffice at 144 dpi
# (a 4:3 slide on a full-HD projector) and at 288 dpi (print, a high-density screen), the same
# piece cut from each.
#   scripts/ppi-example.sh [SLIDEMILL_BUILD]
# Writes docs/ppi-compare.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/example-setup.sh "$@"

# Sky to grass, with print in five sizes and pairs of lines 2 to 8 pixels apart.
draw=()
y=1500
for size in 16 24 32 48 64; do
    draw+=(-pointsize "$size" -annotate "+1500+$y" "The quick brown fox, ${size} px")
    y=$((y + size * 2))
done
for gap in 2 3 4 6 8; do
    x=$((2400 + gap * 60))
    for i in 0 1 2 3 4 5 6 7 8 9; do
        draw+=(-draw "line $((x + i * gap)),1500 $((x + i * gap)),1800")
    done
done
convert -size 4000x3000 gradient:'#6fb0e6'-'#3f7f32' -font DejaVu-Sans -fill black -stroke none \
    "${draw[@]}" -quality 95 "$work/photo.jpg"

# LibreOffice keeps each picture as stored in the PDF: no resampling, no recompression.
options='{"ReduceImageResolution":{"type":"boolean","value":"false"},'
options+='"UseLosslessCompression":{"type":"boolean","value":"true"}}'
for ppi in original 220 150 96; do
    "$builder" --ppi "$ppi" -o "$work/$ppi.pptx" "$work/photo.jpg" >/dev/null
    soffice -env:UserInstallation="file://$work/profile" --headless \
        --convert-to "pdf:impress_pdf_Export:$options" --outdir "$work" "$work/$ppi.pptx" \
        >/dev/null 2>&1
    for dpi in 144 288; do
        pdftoppm -png -singlefile -r "$dpi" "$work/$ppi.pdf" "$work/$ppi-$dpi"
    done
    # The same piece of the slide, the print and the lines: 2.5 x 0.83 inches, the 144-dpi
    # drawing shown at twice its size.
    convert "$work/$ppi-144.png" -crop 360x120+590+525 +repage -scale 200% "$work/$ppi-144c.png"
    convert "$work/$ppi-288.png" -crop 720x240+1180+1050 +repage "$work/$ppi-288c.png"
done
tiles=()
for ppi in original 220 150 96; do
    for dpi in 144 288; do
        label="--ppi $ppi, $dpi dpi"
        tiles+=(-label "$label" "$work/$ppi-${dpi}c.png")
    done
done
montage -font DejaVu-Sans -pointsize 18 "${tiles[@]}" -tile 2x4 -geometry +6+6 "$work/compare.png"
mv "$work/compare.png" docs/ppi-compare.png
echo "wrote docs/ppi-compare.png"
