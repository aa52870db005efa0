// libFuzzer target for the hand-written header readers: placeable WMF, EMF, the JPEG segment
// walker, the TIFF/EXIF orientation and date reader, the HEIF box reader (with the codecs'
// parameter sets), the WebP chunk reader and the walks that find pictures cut short. Besides
// memory errors (the sanitizers) it checks what callers rely on: sizes positive, orientation 1
// to 8, a rewrite offset that points inside the input at the value it reports, and an EXIF
// block inside the input. Inputs that crashed or hung are kept in crashes/, which the picture
// metrics test reads.

#include "slides/bytesource.h"
#include "slides/cutshort.h"
#include "slides/exif.h"
#include "slides/heif.h"
#include "slides/metafile.h"
#include "slides/webp.h"

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

template <typename Measured> void checkPicture(const std::optional<Measured>& p) {
    if (p)
        check(p->width > 0 && p->height > 0 && p->orientation >= 1 && p->orientation <= 8);
}

// The EXIF block a HEIF file points to lies inside it, and is read as any other.
void checkExifBlock(const std::optional<HeifPicture>& p, const ByteSource& bytes) {
    if (!p || p->exifAt < 0)
        return;
    check(p->exifLength >= 0 && bytes.has(p->exifAt, p->exifLength));
    checkOrientation(readTiffExif(bytes, p->exifAt, p->exifLength).orientation, bytes);
}

void run(const ByteSource& bytes) {
    checkSize(readPlaceableWmfSize(bytes));
    checkSize(readEmfSize(bytes));
    checkOrientation(readJpegOrientation(bytes), bytes);
    checkOrientation(readTiffOrientation(bytes), bytes);
    heifFamily(bytes);
    const auto heif = readHeif(bytes);
    checkPicture(heif);
    checkExifBlock(heif, bytes);
    heifIsWhole(bytes);
    webpIsWhole(bytes);
    bmpIsWhole(bytes);
    checkPicture(readWebp(bytes));
    pngIsWhole(bytes);
    gifIsWhole(bytes);
    jpegIsWhole(bytes);
    tiffIsWhole(bytes);
    // The previews' reader of a JPEG's EXIF thumbnail.
    if (const auto thumbnail = readJpegExifThumbnail(bytes))
        check(bytes.has(thumbnail->offset, thumbnail->length) &&
              bytes.readU16Be(thumbnail->offset) == 0xFFD8);
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
