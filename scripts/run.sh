#!/usr/bin/env bash
# Installs what is missing, builds Slidemill and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=OFF \
      -DSLIDEMILL_BENCH=OFF >/dev/null
cmake --build build/release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Built build/release/slidemill, but this machine has no display to show its window on."
    echo "To see the window anyway, run scripts/screenshot.sh: it starts Slidemill under Xvfb"
    echo "and saves a picture of it. The batch tool works without a display:"
    echo "  build/release/slidemill-build -o out.pptx photo1.jpg photo2.jpg"
    exit 0
fi
exec build/release/slidemill "$@"
