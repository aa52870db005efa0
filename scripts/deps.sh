#!/usr/bin/env bash
# Installs the Debian packages Slidemill needs: "build" for the programs, "package" for the
# Debian package as well (dpkg-shlibdeps and file, which CPack runs), "test" for the tests and
# benchmarks besides (LibreOffice to open and draw every deck, ImageMagick and heif-enc for test
# pictures, ffmpeg for test music and ffprobe to read the videos back, poppler's tools to read
# and draw the PDFs, clang for the fuzzer, man to check the manual pages,
# vipsthumbnail and libjpeg-turbo for the resize benchmark, lintian, desktop-file-validate and
# appstreamcli for the package).
set -euo pipefail
what=${1:-build}
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-image-formats-plugins libdeflate-dev
          libgl-dev libtiff-dev libheif-dev libvips-dev zlib1g-dev libzip-dev libssl-dev
          libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
          libfontconfig-dev)
if [ "$what" = package ] || [ "$what" = test ]; then
    packages+=(dpkg-dev file)
fi
if [ "$what" = test ]; then
    packages+=(libreoffice-impress fonts-crosextra-carlito poppler-utils imagemagick
               libxml2-utils python3 clang clang-format libclang-rt-14-dev xvfb
               xdotool zip unzip fonts-dejavu-core man-db groff-base libheif-examples
               libvips-tools libturbojpeg0-dev lintian desktop-file-utils appstream ffmpeg)
fi

# Only what dpkg does not list as installed (held packages too); when nothing is missing,
# neither root nor apt is needed.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
            awk 'substr($2, 2, 1) == "i" { print $1 }') || true
missing=()
for p in "${packages[@]}"; do
    grep -qxF -- "$p" <<<"$installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "$0: not root and no sudo; as root, run:" >&2
        echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
