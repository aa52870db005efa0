# Sourced by the scripts that make the pictures in docs/, from the project's root, with their
# own arguments: checks that ImageMagick, LibreOffice and poppler are there, sets `builder` to
# slidemill-build (the first argument, or build/release's, built when missing), and makes docs/
# and a work folder `work` that goes when the script ends.
for tool in convert compare montage identify soffice pdftoppm; do
    command -v "$tool" >/dev/null ||
        { echo "needs $tool: apt-get install imagemagick libreoffice-impress poppler-utils"; exit 1; }
done
builder=${1:-build/release/slidemill-build}
if [ $# -eq 0 ] && [ ! -x "$builder" ]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSLIDEMILL_TESTS=OFF \
          -DSLIDEMILL_BENCH=OFF >/dev/null
    cmake --build build/release --target slidemill-build
fi
builder=$(realpath "$builder")
mkdir -p docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
