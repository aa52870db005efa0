#!/usr/bin/env bash
# Builds a deck of each kind from sample photos with slidemill-build and renders a slide of
# each with LibreOffice, for the README and the user guide:
#   scripts/example-slides.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
tool=$build/slidemill-build
[ -x "$tool" ] || { echo "build slidemill-build first (scripts/run.sh does)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 800x600 gradient:'#2f6f9f'-'#f2d08a' -fill '#3d5c2e' \
    -draw 'polygon 0,600 0,420 260,330 520,440 800,360 800,600' "$work/landscape.jpg"
convert -size 600x800 gradient:'#f6e7c1'-'#c0563b' -fill '#5a3b2e' \
    -draw 'rectangle 250,380 350,800' -fill '#2e6b3a' -draw 'circle 300,330 300,180' \
    "$work/portrait.png"
convert -size 600x600 gradient:'#9fd3e6'-'#1f4e79' -fill '#f4f1de' \
    -draw 'circle 300,300 300,140' "$work/square.png"
convert -size 1200x300 gradient:'#f9d9a6'-'#d1495b' -fill '#2b2d42' \
    -draw 'polygon 0,300 0,200 200,120 420,210 640,90 900,190 1200,140 1200,300' \
    "$work/harbour panorama.jpg"
# Without a date in their headers, photos are dated by their files' times.
touch -d '2026-07-12 09:41' "$work/landscape.jpg"
touch -d '2026-07-14 18:05' "$work/portrait.png"
touch -d '2026-07-16 11:20' "$work/square.png"
touch -d '2026-07-19 20:32' "$work/harbour panorama.jpg"
photos=("$work/landscape.jpg" "$work/portrait.png" "$work/harbour panorama.jpg" "$work/square.png")
# Dates as a British user's, whatever this machine's locale.
tool=(env LC_ALL=en_GB.UTF-8 TZ=UTC "$tool")

"${tool[@]}" --description -o "$work/one.pptx" "$work/landscape.jpg"
"${tool[@]}" --two --description -o "$work/two.pptx" "$work/landscape.jpg" "$work/portrait.png"
"${tool[@]}" --four --caption name -o "$work/four.pptx" "${photos[@]}"
"${tool[@]}" --two --caption date -o "$work/date.pptx" "$work/landscape.jpg" "$work/portrait.png"
"${tool[@]}" --caption 'Harbour at dusk' -o "$work/text.pptx" "$work/harbour panorama.jpg"
"${tool[@]}" --four --caption date --title Crete -o "$work/title.pptx" "${photos[@]}"
"${tool[@]}" --wide --four --caption name -o "$work/wide.pptx" "${photos[@]}"
"${tool[@]}" --fit --caption name -o "$work/fit.pptx" "$work/portrait.png"
"${tool[@]}" --fill --caption date -o "$work/fill.pptx" "$work/portrait.png"
"${tool[@]}" --fit --background black --caption name -o "$work/black.pptx" \
    "$work/harbour panorama.jpg"
"${tool[@]}" --grey --background '#1d3557' --caption 'Harbour at dusk' -o "$work/grey.pptx" \
    "$work/landscape.jpg"
# A show for a TV: a 4:3 photo fitted to a black 16:9 slide, its date in the band beside it.
"${tool[@]}" --wide --fit --background black --caption date -o "$work/tv-caption.pptx" \
    "$work/landscape.jpg"
# One photo a slide fits a panorama to the slide's width; docs/slide-panorama-before.png shows
# the same photo as the builds placed it before, made once with that version.
"${tool[@]}" -o "$work/panorama.pptx" "$work/harbour panorama.jpg"
kinds=(one two four date text title wide fit fill black grey panorama tv-caption)
decks=()
for kind in "${kinds[@]}"; do decks+=("$work/$kind.pptx"); done
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf \
    --outdir "$work" "${decks[@]}" >/dev/null 2>&1
mkdir -p docs
written=()
# The first slide of each; the title deck's is its title slide.
for kind in "${kinds[@]}"; do
    pdftoppm -png -r 50 -f 1 -l 1 -singlefile "$work/$kind.pdf" "docs/slide-$kind"
    written+=("docs/slide-$kind.png")
done
# The four-photo cells at a point a pixel, drawn over the slide: 350 x 225 at (5 | 365, 15 | 280).
pdftoppm -png -r 72 -f 1 -l 1 -singlefile "$work/four.pdf" "$work/cells"
# The same slide drawn three ways: LibreOffice's drawing of the presentation, a frame of the
# video (at 13 s, the third slide shown whole) and the PDF's page as poppler draws it.
show=(--wide --fit --background black --caption date --title Crete --advance 5
      --transition fade)
"${tool[@]}" "${show[@]}" -o "$work/show.pptx" "${photos[@]}"
"${tool[@]}" "${show[@]}" -o "$work/show.mp4" "${photos[@]}"
"${tool[@]}" "${show[@]}" -o "$work/show-slidemill.pdf" "${photos[@]}"
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf \
    --outdir "$work" "$work/show.pptx" >/dev/null 2>&1
pdftoppm -png -scale-to-x 480 -scale-to-y 270 -f 3 -l 3 -singlefile "$work/show.pdf" \
    docs/output-libreoffice
# A held frame lasts until the next change: counted out at 30 a second, the one shown at 13 s.
ffmpeg -v error -y -i "$work/show.mp4" -vf fps=30,scale=480:270 -ss 13 -frames:v 1 \
    docs/output-video.png
pdftoppm -png -scale-to-x 480 -scale-to-y 270 -f 3 -l 3 -singlefile \
    "$work/show-slidemill.pdf" docs/output-pdf
written+=(docs/output-libreoffice.png docs/output-video.png docs/output-pdf.png)
convert "$work/cells.png" -fill none -stroke '#e0307a' -strokewidth 1 \
    -draw 'stroke-dasharray 4 3 rectangle 5,15 355,240 rectangle 365,15 715,240' \
    -draw 'stroke-dasharray 4 3 rectangle 5,280 355,505 rectangle 365,280 715,505' \
    docs/slide-four-cells.png
written+=(docs/slide-four-cells.png)
echo "wrote ${written[*]}"
