#pragma once

#include "slides/bytesource.h"
#include "slides/cutshort.h"
#include "slides/exif.h"
#include "slides/heif.h"
#include "slides/metafile.h"
#include "slides/picture.h"
#include "slides/webp.h"

#include <array>
#include <cstddef>
#include <optional>

namespace slidemill {

// What a format's header reader learns without decoding a pixel.
struct HeaderMeasure {
    // As stored: orientation 5 to 8 exchanges the sides when the picture is shown.
    HimetricSize size;
    ExifOrientation orientation;
    bool alpha = false;
    // From the EXIF block read with the orientation; invalid without one.
    QDateTime taken;
};

enum class Storage {
    // Its file's bytes go into the package (a turned photo with its orientation set to 1).
    AsIs,
    // Decoded and stored as a format every presentation application shows.
    Transcoded,
};

struct PictureFormatRow {
    PictureFormat format;
    // The name people know the format by, as messages, previews and manual pages give it.
    const char* name;
    // The file's first bytes are this format's.
    bool (*matches)(const ByteSource& bytes);
    // Empty when the file is damaged, cut short or holds no picture it can measure. Readers
    // that go through Qt are handed the row's Qt name.
    std::optional<HeaderMeasure> (*measure)(const ByteSource& bytes, const char* qtName);
    // The name Qt's image reader knows the format by; null where Qt reads none.
    const char* qtName;
    Storage storage;
    // False when the file ends before the picture it holds does: why a picture that cannot be
    // measured is refused. Null where no walk tells.
    bool (*whole)(const ByteSource& bytes);
};

// The format tests and measures, one each; defined beside the table (pictureformats.cpp).
namespace formats {
bool isPng(const ByteSource&);
bool isJpeg(const ByteSource&);
bool isGif(const ByteSource&);
bool isBmp(const ByteSource&);
bool isTiff(const ByteSource&);
bool isWmf(const ByteSource&);
bool isEmf(const ByteSource&);
bool isHeic(const ByteSource&);
bool isHeif(const ByteSource&);
bool isAvif(const ByteSource&);
bool isWebp(const ByteSource&);
std::optional<HeaderMeasure> measurePng(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureJpeg(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureGif(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureBmp(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureTiff(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureWmf(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureEmf(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureHeif(const ByteSource&, const char* qtName);
std::optional<HeaderMeasure> measureWebp(const ByteSource&, const char* qtName);
} // namespace formats

// Every format the loader knows, in the order their first bytes are tried; row i is format i.
inline constexpr std::array<PictureFormatRow, std::size_t(PictureFormat::Count)> kPictureFormats{{
    // format, name, its first bytes, measured by, the Qt reader, stored, whole when
    {PictureFormat::Png, "PNG", formats::isPng, formats::measurePng, "png", Storage::AsIs,
     pngIsWhole},
    {PictureFormat::Jpeg, "JPEG", formats::isJpeg, formats::measureJpeg, "jpeg", Storage::AsIs,
     jpegIsWhole},
    {PictureFormat::Gif, "GIF", formats::isGif, formats::measureGif, "gif", Storage::AsIs,
     gifIsWhole},
    {PictureFormat::Bmp, "BMP", formats::isBmp, formats::measureBmp, "bmp", Storage::AsIs,
     bmpIsWhole},
    {PictureFormat::Tiff, "TIFF", formats::isTiff, formats::measureTiff, "tiff", Storage::AsIs,
     tiffIsWhole},
    {PictureFormat::Wmf, "WMF", formats::isWmf, formats::measureWmf, nullptr, Storage::AsIs,
     nullptr},
    {PictureFormat::Emf, "EMF", formats::isEmf, formats::measureEmf, nullptr, Storage::AsIs,
     nullptr},
    {PictureFormat::Heic, "HEIC", formats::isHeic, formats::measureHeif, nullptr,
     Storage::Transcoded, heifIsWhole},
    {PictureFormat::Heif, "HEIF", formats::isHeif, formats::measureHeif, nullptr,
     Storage::Transcoded, heifIsWhole},
    {PictureFormat::Avif, "AVIF", formats::isAvif, formats::measureHeif, nullptr,
     Storage::Transcoded, heifIsWhole},
    {PictureFormat::Webp, "WebP", formats::isWebp, formats::measureWebp, "webp",
     Storage::Transcoded, webpIsWhole},
}};

constexpr bool everyFormatHasItsRow() {
    for (std::size_t i = 0; i < kPictureFormats.size(); ++i) {
        if (kPictureFormats[i].format != PictureFormat(i) || !kPictureFormats[i].name)
            return false;
    }
    return true;
}
static_assert(everyFormatHasItsRow(), "kPictureFormats: row i must describe format i, and name it");

constexpr const PictureFormatRow& formatRow(PictureFormat format) {
    return kPictureFormats[std::size_t(format)];
}

} // namespace slidemill
