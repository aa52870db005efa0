#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and makes the Debian package of it with
# CPack; the package's path is the last line printed. Install it with
#   sudo apt install ./build/release/package/slidemill_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=OFF \
      -DSLIDEMILL_BENCH=OFF >/dev/null
cmake --build build/release
rm -rf build/release/package
(cd build/release && cpack -G DEB -B "$PWD/package" >/dev/null)
ls "$PWD"/build/release/package/slidemill_*.deb
