#!/usr/bin/env bash
# Fuzzes the picture header readers from a new seed for SECONDS (default 600).
# Inputs that crash land in build/fuzz/; keep each in tests/fuzz/crashes once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
bash scripts/deps.sh test
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSLIDEMILL_FUZZ=ON -DSLIDEMILL_BENCH=OFF >/dev/null
cmake --build build/fuzz --target fuzz_pictureheaders
mkdir -p build/fuzz/corpus-long
build/fuzz/tests/fuzz/fuzz_pictureheaders -max_total_time="$seconds" \
    -artifact_prefix="$PWD/build/fuzz/" build/fuzz/corpus-long \
    tests/fuzz/corpus tests/fuzz/crashes
