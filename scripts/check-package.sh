#!/usr/bin/env bash
# Makes the Debian package as scripts/package.sh does, from the Release tree, and checks it with
# tests/packaging/test_package: the files it installs and their modes, its control fields,
# lintian, desktop-file-validate and appstreamcli, the desktop entry and the AppStream metadata,
# and the programs it holds run from where it puts them. scripts/test.sh runs this as a step of
# its own; the test program is built in build/test, beside the suites.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

bash scripts/package.sh
debs=("$PWD"/build/release/package/slidemill_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "$0: scripts/package.sh left no single package in build/release/package" >&2
    exit 1
fi

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test --target test_package
SLIDEMILL_PACKAGE=${debs[0]} QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 build/test/tests/test_package
