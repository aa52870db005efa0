#!/usr/bin/env bash
# Installs the Debian packages Slidemill needs: "build" for the programs, "test" for the tests
# and benchmarks as well (LibreOffice to open every deck, ImageMagick and heif-enc for test
# pictures, clang for the fuzzer, man to check the manual pages, vipsthumbnail and libjpeg-turbo
# for the resize benchmark).
set -euo pipefail
what=${1:-build}
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-image-formats-plugins libdeflate-dev
          libgl-dev libtiff-dev libheif-dev libvips-dev zlib1g-dev)
if [ "$what" = test ]; then
    packages+=(libreoffice-impress fonts-crosextra-carlito poppler-utils imagemagick
               libxml2-utils python3 clang clang-format libclang-rt-14-dev libzip-dev xvfb
               xdotool zip fonts-dejavu-core man-db groff-base libheif-examples libvips-tools
               libturbojpeg0-dev)
fi
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
