#!/bin/sh
# Times slidemill-build on phone photos that must be decoded and stored again: HEIC of 12
# megapixels (4032 x 3024, as phones take them), against heif-convert decoding the same files
# to JPEG one after the other, the floor of any tool that decodes them with libheif.
#
#   bench/bench_heic.sh [BUILD_DIR] [COUNT]
#
# Defaults: build, 100 photos. The four distinct photos are encoded once (x265 is slow) and kept
# in ~/.cache/slidemill-bench/heic.
set -eu

build=${1:-build}
count=${2:-100}
tool=$(cd "$build" && pwd)/slidemill-build
[ -x "$tool" ] || { echo "bench_heic: no $tool; build the slidemill-build target" >&2; exit 2; }
for cmd in convert heif-enc heif-convert /usr/bin/time; do
    command -v "$cmd" >/dev/null || { echo "bench_heic: $cmd is missing" >&2; exit 2; }
done

cache=${XDG_CACHE_HOME:-$HOME/.cache}/slidemill-bench/heic
mkdir -p "$cache"
for k in 1 2 3 4; do
    [ -s "$cache/base$k.heic" ] && continue
    convert -size 4032x3024 xc: -seed "$k" +noise Random -blur 0x3 -quality 95 "$cache/base$k.jpg"
    heif-enc -q 80 "$cache/base$k.jpg" -o "$cache/base$k.part.heic" >/dev/null
    mv "$cache/base$k.part.heic" "$cache/base$k.heic"
    rm -f "$cache/base$k.jpg"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_heic.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/photos" "$work/jpeg"
i=0
while [ "$i" -lt "$count" ]; do
    cp "$cache/base$((i % 4 + 1)).heic" "$work/photos/$(printf 'IMG_%04d.HEIC' "$i")"
    i=$((i + 1))
done
(cd "$work/photos" && ls) | sed "s|^|$work/photos/|" > "$work/list.txt"
bytes=$(du -cb "$work"/photos/*.HEIC | tail -1 | cut -f1)
cat "$work"/photos/*.HEIC > /dev/null

# Prints "seconds peak_kib" for a command.
measure() {
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > /dev/null
    cat "$work/time.txt"
}

set -- $(measure "$tool" -o "$work/deck.pptx" --from "$work/list.txt")
build_s=$1 build_kib=$2
set -- $(measure sh -c "while read -r f; do heif-convert -q 92 \"\$f\" \"$work/jpeg/\$(basename \"\$f\").jpg\" || exit 1; done < '$work/list.txt'")
floor_s=$1 floor_kib=$2

deck=$(stat -c %s "$work/deck.pptx")
awk -v n="$count" -v bytes="$bytes" -v deck="$deck" -v bs="$build_s" -v bk="$build_kib" \
    -v fs="$floor_s" -v fk="$floor_kib" 'BEGIN {
    printf "photos:          %d HEIC of 12 MP, %.0f MiB\n", n, bytes / 1048576
    printf "slidemill-build: %.1f s (%.2f s a photo), peak %.1f MiB, deck %.0f MiB\n", bs, bs / n, bk / 1024, deck / 1048576
    printf "heif-convert:    %.1f s, peak %.1f MiB (one process a photo)\n", fs, fk / 1024
}'
