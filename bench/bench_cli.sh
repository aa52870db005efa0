#!/bin/sh
# Times slidemill-build on a few hundred large photos against copying the same bytes into a
# stored zip, in one run, and reports the ratio and both peak memories.
#
#   bench/bench_cli.sh [BUILD_DIR] [COUNT] [WIDTHxHEIGHT]
#
# Defaults: build, 300 photos of 4000x3000 pixels, about 3.4 MiB each, like a camera's.
set -eu

build=${1:-build}
count=${2:-300}
size=${3:-4000x3000}
tool=$(cd "$build" && pwd)/slidemill-build
[ -x "$tool" ] || { echo "bench_cli: no $tool; build the slidemill-build target" >&2; exit 2; }
for cmd in convert zip /usr/bin/time; do
    command -v "$cmd" >/dev/null || { echo "bench_cli: $cmd is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_cli.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/photos"

# Four different photos, copied under distinct names: every file is its own entry.
for k in 1 2 3 4; do
    convert -size "$size" xc: -seed "$k" +noise Random -blur 0x2 -quality 90 \
        "$work/base$k.jpg"
done
i=0
while [ "$i" -lt "$count" ]; do
    cp "$work/base$((i % 4 + 1)).jpg" "$work/photos/$(printf 'IMG_%05d.jpg' "$i")"
    i=$((i + 1))
done
(cd "$work/photos" && ls) | sed "s|^|$work/photos/|" > "$work/list.txt"
bytes=$(du -cb "$work"/photos/*.jpg | tail -1 | cut -f1)

# Warm the page cache so both runs read the same way.
cat "$work"/photos/*.jpg > /dev/null

# Prints "seconds peak_kib" for a command.
measure() {
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > /dev/null
    cat "$work/time.txt"
}

set -- $(measure "$tool" -o "$work/deck.pptx" --from "$work/list.txt")
build_s=$1 build_kib=$2
set -- $(measure sh -c "cd '$work/photos' && zip -0 -q '$work/copy.zip' -@ < '$work/list.txt'")
zip_s=$1 zip_kib=$2

deck=$(stat -c %s "$work/deck.pptx")
awk -v n="$count" -v bytes="$bytes" -v deck="$deck" -v bs="$build_s" -v bk="$build_kib" \
    -v zs="$zip_s" -v zk="$zip_kib" 'BEGIN {
    printf "photos:          %d, %.0f MiB\n", n, bytes / 1048576
    printf "slidemill-build: %.2f s, peak %.1f MiB, deck %.0f MiB\n", bs, bk / 1024, deck / 1048576
    printf "zip -0:          %.2f s, peak %.1f MiB\n", zs, zk / 1024
    printf "ratio:           %.2f (target 1.3 or less, peak under 64 MiB)\n", bs / zs
    exit !(bs <= 1.3 * zs && bk < 65536)
}'
