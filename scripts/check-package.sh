#!/usr/bin/env bash
# Makes the Debian package of the test tree with CPack, as scripts/package.sh makes it of the
# Release tree, and checks it with tests/packaging/test_package: the files it installs and their
# modes, its control fields, lintian, desktop-file-validate and appstreamcli, the desktop entry
# and the AppStream metadata, and the programs it holds run from where it puts them.
# scripts/test.sh runs this as a step of its own, once build/test is built: packaging the tree
# the suites ran on costs no second build of the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test
rm -rf build/test/package
(cd build/test && cpack -G DEB -B "$PWD/package" >/dev/null)
debs=("$PWD"/build/test/package/slidemill_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "$0: CPack left no single package in build/test/package" >&2
    exit 1
fi
cmake --build build/test --target test_package
SLIDEMILL_PACKAGE=${debs[0]} QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 build/test/tests/test_package
