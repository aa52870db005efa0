// libFuzzer target for the hand-written header readers: placeable WMF, EMF, the JPEG segment
// walker and the TIFF/EXIF orientation reader. Besides memory errors (the sanitizers) it checks
// what callers rely on: sizes positive, orientation 1 to 8, and a rewrite offset that points
// inside the input at the value it reports.

#include "slides/bytesource.h"
#include "slides/exif.h"
#include "slides/metafile.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>

using namespace slidemill;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void checkOrientation(const ExifOrientation& o, const ByteSource& bytes) {
    check(o.value >= 1 && o.value <= 8);
    if (o.offset < 0)
        return;
    check(o.value != 1);
    check(bytes.readU16(o.offset, o.bigEndian) == o.value);
}

void checkSize(const std::optional<HimetricSize>& size) {
    if (size)
        check(size->width > 0 && size->height > 0);
}

void run(const ByteSource& bytes) {
    checkSize(readPlaceableWmfSize(bytes));
    checkSize(readEmfSize(bytes));
    checkOrientation(readJpegOrientation(bytes), bytes);
    checkOrientation(readTiffOrientation(bytes), bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView view(reinterpret_cast<const char*>(data), qsizetype(size));
    run(ByteSource(view));
    // The same through a device, as files are read.
    QByteArray copy = view.toByteArray();
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    run(ByteSource(device));
    return 0;
}
