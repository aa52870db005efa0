#!/usr/bin/env bash
# Builds a deck of each kind from sample photos with slidemill-build and renders a slide of
# each with LibreOffice, for the README: scripts/example-slides.sh [BUILD_DIR]
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
"$tool" --description -o "$work/one.pptx" "$work/landscape.jpg"
"$tool" --two --description -o "$work/two.pptx" "$work/landscape.jpg" "$work/portrait.png"
soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf \
    --outdir "$work" "$work/one.pptx" "$work/two.pptx" >/dev/null 2>&1
mkdir -p docs
for kind in one two; do
    pdftoppm -png -r 50 -singlefile "$work/$kind.pdf" "docs/slide-$kind"
done
cp "$work/landscape.jpg" "$work/portrait.png" docs/ 2>/dev/null || true
rm -f docs/landscape.jpg docs/portrait.png
echo "wrote docs/slide-one.png docs/slide-two.png"
