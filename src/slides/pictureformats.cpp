#include "slides/pictureformats.h"

#include "slides/cutshort.h"
#include "slides/heif.h"
#include "slides/webp.h"

#include <QBuffer>
#include <QImageReader>
#include <climits>
#include <limits>
#include <zlib.h>

namespace slidemill::formats {

namespace {

bool startsWith(const ByteSource& bytes, QByteArrayView magic) {
    return bytes.read(0, magic.size()) == magic;
}

// The size in pixels as stored (first frame or page), from the header through Qt's reader.
std::optional<QSize> qtPixels(const ByteSource& bytes, const char* qtName) {
    QBuffer buffer;
    QIODevice* device = bytes.device();
    if (!device) {
        buffer.setData(bytes.buffer().toByteArray());
        buffer.open(QIODevice::ReadOnly);
        device = &buffer;
    }
    if (!device->seek(0))
        return std::nullopt;
    QImageReader reader(device, qtName);
    reader.setAutoDetectImageFormat(false);
    // Qt may turn the size by the EXIF orientation; the turn is applied by the loader, once.
    reader.setAutoTransform(false);
    return reader.size();
}

// The size from a PNG's IHDR, which must come first: read here rather than by Qt's reader,
// which inflates every compressed text chunk on the way to the size, and whose libpng prints
// its errors on standard error.
std::optional<QSize> pngPixels(const ByteSource& bytes) {
    const auto length = bytes.readU32Be(8);
    const auto width = bytes.readU32Be(16);
    const auto height = bytes.readU32Be(20);
    const QByteArray chunk = bytes.read(12, 17);
    const auto crc = bytes.readU32Be(29);
    if (length != 13u || !chunk.startsWith("IHDR") || !crc || !width || !height ||
        *width > INT_MAX || *height > INT_MAX ||
        ::crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size())) != *crc)
        return std::nullopt;
    // The bit depths each colour type takes, as libpng checks them.
    const auto depth = quint8(chunk[12]), colour = quint8(chunk[13]);
    const bool valid =
        (colour == 0 && (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)) ||
        (colour == 3 && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) ||
        ((colour == 2 || colour == 4 || colour == 6) && (depth == 8 || depth == 16));
    if (!valid || chunk[14] != 0 || chunk[15] != 0 || quint8(chunk[16]) > 1)
        return std::nullopt;
    return QSize(int(*width), int(*height));
}

// Pixels at 96 per inch in 1/100 mm; empty when not positive or beyond 32 bits.
std::optional<HeaderMeasure> fromPixels(std::optional<QSize> pixels, const ExifFacts& exif = {},
                                        bool alpha = false) {
    if (!pixels || pixels->width() <= 0 || pixels->height() <= 0)
        return std::nullopt;
    const std::int64_t w = roundedQuotient(std::int64_t(pixels->width()) * 2540, 96);
    const std::int64_t h = roundedQuotient(std::int64_t(pixels->height()) * 2540, 96);
    constexpr std::int64_t max = std::numeric_limits<std::int32_t>::max();
    if (w > max || h > max)
        return std::nullopt;
    return HeaderMeasure{{std::int32_t(w), std::int32_t(h)}, exif.orientation, alpha, exif.taken};
}

std::optional<QSize> clampedSize(qint64 width, qint64 height) {
    if (width > INT_MAX || height > INT_MAX)
        return std::nullopt;
    return QSize(int(width), int(height));
}

} // namespace

bool isPng(const ByteSource& bytes) {
    return startsWith(bytes, "\x89PNG\r\n\x1a\n");
}

bool isJpeg(const ByteSource& bytes) {
    return startsWith(bytes, "\xFF\xD8\xFF");
}

bool isGif(const ByteSource& bytes) {
    return startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a");
}

bool isBmp(const ByteSource& bytes) {
    return startsWith(bytes, "BM");
}

bool isTiff(const ByteSource& bytes) {
    return startsWith(bytes, QByteArrayView("II*\0", 4)) ||
           startsWith(bytes, QByteArrayView("MM\0*", 4));
}

bool isWmf(const ByteSource& bytes) {
    return looksLikePlaceableWmf(bytes);
}

bool isEmf(const ByteSource& bytes) {
    return looksLikeEmf(bytes);
}

bool isHeic(const ByteSource& bytes) {
    return heifFamily(bytes) == PictureFormat::Heic;
}

bool isHeif(const ByteSource& bytes) {
    return heifFamily(bytes) == PictureFormat::Heif;
}

bool isAvif(const ByteSource& bytes) {
    return heifFamily(bytes) == PictureFormat::Avif;
}

bool isWebp(const ByteSource& bytes) {
    return looksLikeWebp(bytes);
}

std::optional<HeaderMeasure> measurePng(const ByteSource& bytes, const char*) {
    if (!pngIsWhole(bytes))
        return std::nullopt;
    return fromPixels(pngPixels(bytes));
}

std::optional<HeaderMeasure> measureJpeg(const ByteSource& bytes, const char* qtName) {
    if (!jpegIsWhole(bytes))
        return std::nullopt;
    return fromPixels(qtPixels(bytes, qtName), readJpegExif(bytes));
}

std::optional<HeaderMeasure> measureGif(const ByteSource& bytes, const char* qtName) {
    if (!gifIsWhole(bytes))
        return std::nullopt;
    return fromPixels(qtPixels(bytes, qtName));
}

std::optional<HeaderMeasure> measureBmp(const ByteSource& bytes, const char* qtName) {
    if (!bmpIsWhole(bytes))
        return std::nullopt;
    auto pixels = qtPixels(bytes, qtName);
    // A top-down BMP stores its height negative, and Qt hands that on as the size.
    if (pixels && pixels->height() < 0 && pixels->height() > INT_MIN)
        pixels->setHeight(-pixels->height());
    return fromPixels(pixels);
}

std::optional<HeaderMeasure> measureTiff(const ByteSource& bytes, const char* qtName) {
    if (!tiffIsWhole(bytes))
        return std::nullopt;
    return fromPixels(qtPixels(bytes, qtName), readTiffExif(bytes));
}

std::optional<HeaderMeasure> measureWmf(const ByteSource& bytes, const char*) {
    if (const auto size = readPlaceableWmfSize(bytes))
        return HeaderMeasure{*size, {}, false, {}};
    return std::nullopt;
}

std::optional<HeaderMeasure> measureEmf(const ByteSource& bytes, const char*) {
    if (const auto size = readEmfSize(bytes))
        return HeaderMeasure{*size, {}, false, {}};
    return std::nullopt;
}

// The stored copy is made upright from the decoded pixels: there is no field to rewrite.
std::optional<HeaderMeasure> measureHeif(const ByteSource& bytes, const char*) {
    const auto heif = readHeif(bytes);
    if (!heif)
        return std::nullopt;
    // The orientation is irot's and imir's; the EXIF block tells only the date.
    ExifFacts exif;
    exif.orientation.value = heif->orientation;
    if (heif->exifAt >= 0)
        exif.taken = readTiffExif(bytes, heif->exifAt, heif->exifLength).taken;
    return fromPixels(clampedSize(heif->width, heif->height), exif, heif->alpha);
}

std::optional<HeaderMeasure> measureWebp(const ByteSource& bytes, const char*) {
    const auto webp = readWebp(bytes);
    if (!webp)
        return std::nullopt;
    ExifFacts exif;
    exif.orientation.value = webp->orientation;
    exif.taken = webp->taken;
    return fromPixels(clampedSize(webp->width, webp->height), exif, webp->alpha);
}

} // namespace slidemill::formats
