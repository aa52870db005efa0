#!/usr/bin/env bash
# Builds the benchmarks and runs them all; the figures in the README come from here.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=OFF >/dev/null
cmake --build build/bench >/dev/null
export QT_QPA_PLATFORM=offscreen
echo "== folder of 100,000 pictures into the file list"; build/bench/bench/bench_browser
echo "== up and down passes over 32,767 entries"; build/bench/bench/bench_reorder
echo "== .pptx host against a stored libzip copy"; build/bench/bench/bench_host "$@"
echo "== slidemill-build against zip -0"; sh bench/bench_cli.sh build/bench
