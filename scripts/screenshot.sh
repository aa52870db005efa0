#!/usr/bin/env bash
# Starts Slidemill under Xvfb in a folder of sample photos, adds them to the photo list and
# saves a picture of the window: scripts/screenshot.sh [OUT.png]
# With --tip file1 (or list1) the pointer then rests on the first entry of that list and the
# picture shows the window with the entry's preview:
#   scripts/screenshot.sh --tip file1 docs/preview-file1.png
# With --album, 40 photos from two phones are made into a deck by slidemill-build (four a
# slide, names as captions, a title), the deck is reopened in the album window, and the
# picture shows that window:
#   scripts/screenshot.sh --album docs/album-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
tip=
album=
if [ "${1:-}" = --tip ]; then
    tip=${2:?--tip file1 or --tip list1}
    shift 2
elif [ "${1:-}" = --album ]; then
    album=1
    shift
fi
out=$(realpath -m "${1:-docs/window.png}")
mkdir -p "$(dirname "$out")"
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install xvfb xdotool imagemagick"; exit 1; }
done
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=OFF \
      -DSLIDEMILL_BENCH=OFF >/dev/null
cmake --build build/release --target slidemill slidemill-build >/dev/null
app=$PWD/build/release/slidemill

top=$(mktemp -d)
demo=$top/Holiday
mkdir "$demo"
trap 'kill $app_pid $xvfb_pid 2>/dev/null || true; rm -rf "$top"' EXIT
for i in 1 2 3 4 5; do
    convert -size 640x480 "plasma:fractal" -seed "$i" "$demo/holiday-0$i.jpg" 2>/dev/null ||
        convert -size 640x480 gradient:skyblue-navy "$demo/holiday-0$i.jpg"
done
convert -size 480x640 gradient:orange-red "$demo/portrait.png"
touch "$demo/notes.txt"
# Settings of this run only, so the user's own are neither read nor changed.
export XDG_CONFIG_HOME=$top/config
mkdir -p "$XDG_CONFIG_HOME/Slidemill"
if [ -n "$album" ]; then
    export XDG_DATA_HOME=$top/data XDG_CACHE_HOME=$top/cache
    phones=$top/Crete
    mkdir "$phones"
    for i in $(seq 1 40); do
        day=$((12 + i % 8)) hour=$(printf %02d $((8 + i % 10)))
        name=$([ $((i % 2)) = 0 ] && echo "IMG_202607${day}_${hour}1$((i % 6))00" ||
               echo "PXL_202607${day}_${hour}2$((i % 6))11")
        size=$([ $((i % 5)) = 0 ] && echo 480x640 || echo 640x480)
        hue=$((i * 37 % 360))
        convert -size "$size" "plasma:hsl($hue,70%,55%)-hsl($(((hue + 60) % 360)),60%,30%)" \
            -blur 0x3 -quality 85 "$phones/$name.jpg"
    done
    "${app}-build" --four --caption name --title 'Crete 2026' -o "$top/crete.pptx" "$phones"
fi

display=:$((90 + RANDOM % 100))
# Room below the window for a preview.
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp & xvfb_pid=$!
sleep 1
if [ -n "$album" ]; then
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$app" "$top/crete.pptx" & app_pid=$!
    export DISPLAY=$display
    win=$(xdotool search --sync --name 'Slidemill album' | head -n 1)
    xdotool windowsize "$win" 1240 760
    xdotool windowmove "$win" 0 0
    # The thumbnails come in meanwhile.
    sleep 6
    import -window "$win" "$out"
    echo "saved $out"
    exit 0
fi
(cd "$demo" && DISPLAY=$display QT_QPA_PLATFORM=xcb "$app") & app_pid=$!
export DISPLAY=$display
win=$(xdotool search --sync --name '^Slidemill$' | head -n 1)
sleep 1
xdotool windowmove "$win" 0 0
# Select every file, press ">", tick Description (positions in pixels at 96 dpi).
xdotool mousemove 200 18 click 1
xdotool key shift+End
xdotool mousemove 352 60 click 1
xdotool mousemove 262 296 click 1
xdotool mousemove 440 18 click 1
sleep 0.5
if [ -z "$tip" ]; then
    import -window "$win" "$out"
else
    case $tip in
        file1) at="200 18" ;;
        list1) at="440 18" ;;
        *) echo "--tip file1 or --tip list1"; exit 2 ;;
    esac
    xdotool mousemove 480 272
    sleep 0.3
    # shellcheck disable=SC2086
    xdotool mousemove $at
    sleep "${TIP_WAIT:-2.5}"
    # The screen around the window and its tip; the empty (black) rest trimmed away or made
    # transparent.
    import -window root "$out"
    convert "$out" -trim +repage "$out"
    size=$(identify -format '%w %h' "$out")
    w=${size% *} h=${size#* }
    convert "$out" -alpha set -fill none -floodfill +$((w - 1))+0 black \
        -floodfill +0+$((h - 1)) black -floodfill +$((w - 1))+$((h - 1)) black "$out"
fi
echo "saved $out"
