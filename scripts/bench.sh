#!/usr/bin/env bash
# Builds the benchmarks and runs them all; the figures in bench/README.md come from here. The
# tests are built too: the hostile pictures are their fixtures.
#
#   scripts/bench.sh [PHOTOS]
#
# PHOTOS: the 1,000 camera photos for the writer benchmark, made there by
# bench/make_photos.py when missing (about 2.4 GB; default ~/.cache/slidemill-bench/photos), and
# beside it photos12, 1,000 photos of 12 megapixels for the resolution benchmark (about 2.8 GB).
set -euo pipefail
cd "$(dirname "$0")/.."
photos=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/slidemill-bench/photos}
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=ON >/dev/null
cmake --build build/bench >/dev/null
export QT_QPA_PLATFORM=offscreen
echo "== folder of 100,000 pictures into the file list"; build/bench/bench/bench_browser
echo "== up and down passes over 32,767 entries"; build/bench/bench/bench_reorder
[ -e "$photos/IMG_00999.jpg" ] || python3 bench/make_photos.py "$photos" 1000
echo "== slidemill-build against cat, python zipfile and zip -0"
python3 bench/bench_writer.py times build/bench/slidemill-build "$photos"
echo "== dates as captions, against none and against the same boxes saying Description"
python3 bench/bench_writer.py captions build/bench/slidemill-build "$photos" --rounds 11
echo "== system calls for a 700 MB deck"
python3 bench/bench_writer.py strace build/bench/slidemill-build "$photos"
echo "== ZIP64: a deck over 4 GiB with an entry over 4 GiB, and 32,767 photos"
python3 bench/bench_writer.py zip64 build/bench/slidemill-build "$photos"
echo "== whole decks at 220 and 150 ppi against vipsthumbnail, PSNR, LibreOffice on 200 photos"
[ -e "$photos"12/IMG_00999.jpg ] || python3 bench/make_photos.py "$photos"12 1000 4000x3000
python3 bench/bench_ppi.py build/bench/slidemill-build "$photos"12 --libreoffice 200
echo "== one core against every core: 200 camera photos at 220 ppi"
python3 bench/bench_writer.py cores build/bench/slidemill-build "$photos" --ppi 220 --count 200 \
    --rounds 3
echo "== pictures crafted to take all memory or time, one process each"
build/bench/bench/bench_hostile build/bench/slidemill-build
echo "== decoding and resizing one photo: libvips against libjpeg-turbo"
python3 bench/bench_resize.py build/bench
echo "== measuring a camera JPEG and a phone HEIC"; build/bench/bench/bench_measure
echo "== slidemill-build on 100 HEIC photos of 12 megapixels"; sh bench/bench_heic.sh build/bench
echo "== the window's paints while it builds 300 photos"; build/bench/bench/bench_window_build
echo "== the album window: 1,000 photos in its grid, changes on 200, a deck of 200 reopened"
build/bench/bench/bench_album_window
echo "== previews: 12-MP photos, and the pointer across a 300-photo list (under Xvfb if there)"
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" build/bench/bench/bench_previews
else
    build/bench/bench/bench_previews
fi
