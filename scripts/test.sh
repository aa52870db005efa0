#!/usr/bin/env bash
# Installs what is missing, builds Slidemill from scratch and runs every test: the normal
# build, a short fuzzing run of the picture header readers, the address and
# undefined-behaviour sanitizer build, and the Debian package of the test tree, made and
# checked (scripts/check-package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== format"
find src tests bench tools -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror

echo "== build"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs"

if [ -d tests/fuzz ]; then
    # A fixed seed and count rather than a time, so the run does not depend on the machine's
    # speed; an input that fails is kept in build/fuzz/. scripts/fuzz.sh fuzzes longer.
    echo "== fuzz the picture header readers (10,000 inputs from seed 1)"
    CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSLIDEMILL_FUZZ=ON -DSLIDEMILL_BENCH=OFF >/dev/null
    cmake --build build/fuzz -j"$jobs" --target fuzz_pictureheaders
    corpus=$(mktemp -d)
    log=$(mktemp)
    cp -r tests/fuzz/corpus/. tests/fuzz/crashes/. "$corpus"/
    if ! build/fuzz/tests/fuzz/fuzz_pictureheaders -seed=1 -runs=10000 -print_final_stats=1 \
        -artifact_prefix="$root/build/fuzz/" "$corpus" >"$log" 2>&1; then
        grep -v -E '^#[0-9]+' "$log"
        exit 1
    fi
    tail -n 4 "$log"
    rm -rf "$corpus" "$log"
fi

echo "== sanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSLIDEMILL_SANITIZE=ON \
    -DSLIDEMILL_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/asan && ctest --output-on-failure -j"$jobs")

echo "== tests"
(cd build/test && ctest --output-on-failure -j"$jobs")

echo "== Debian package"
bash scripts/check-package.sh
