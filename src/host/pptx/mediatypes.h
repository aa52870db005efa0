#pragma once

#include "slides/picture.h"
#include "slides/pictureformats.h"

#include <QString>
#include <array>
#include <cstddef>

namespace slidemill::pptx {

// How a picture format goes into a package.
struct MediaType {
    PictureFormat format;
    // The part's content type and extension; null for a format never stored as it is.
    const char* contentType;
    const char* extension;
    // What a picture of this format is stored as: itself, or for a decoded one the format of
    // its copy, opaque and with transparency.
    PictureFormat storedAs;
    PictureFormat storedAsWithAlpha;
};

inline constexpr std::array<MediaType, std::size_t(PictureFormat::Count)> kMediaTypes{{
    // format, content type, extension, stored as: opaque, with transparency
    {PictureFormat::Png, "image/png", "png", PictureFormat::Png, PictureFormat::Png},
    {PictureFormat::Jpeg, "image/jpeg", "jpeg", PictureFormat::Jpeg, PictureFormat::Jpeg},
    {PictureFormat::Gif, "image/gif", "gif", PictureFormat::Gif, PictureFormat::Gif},
    {PictureFormat::Bmp, "image/bmp", "bmp", PictureFormat::Bmp, PictureFormat::Bmp},
    {PictureFormat::Tiff, "image/tiff", "tiff", PictureFormat::Tiff, PictureFormat::Tiff},
    {PictureFormat::Wmf, "image/x-wmf", "wmf", PictureFormat::Wmf, PictureFormat::Wmf},
    {PictureFormat::Emf, "image/x-emf", "emf", PictureFormat::Emf, PictureFormat::Emf},
    {PictureFormat::Heic, nullptr, nullptr, PictureFormat::Jpeg, PictureFormat::Png},
    {PictureFormat::Heif, nullptr, nullptr, PictureFormat::Jpeg, PictureFormat::Png},
    {PictureFormat::Avif, nullptr, nullptr, PictureFormat::Jpeg, PictureFormat::Png},
    {PictureFormat::Webp, nullptr, nullptr, PictureFormat::Jpeg, PictureFormat::Png},
}};

constexpr const MediaType& mediaType(PictureFormat format) {
    return kMediaTypes[std::size_t(format)];
}

// Every row is its format's; a format stored as it is has its content type and extension and
// is stored as itself; a decoded one is stored as formats that are.
constexpr bool mediaTypesAgreeWithTheFormats() {
    for (std::size_t i = 0; i < kMediaTypes.size(); ++i) {
        const MediaType& t = kMediaTypes[i];
        const bool asIs = formatRow(t.format).storage == Storage::AsIs;
        const bool named = t.contentType && t.extension;
        if (t.format != PictureFormat(i) || asIs != named)
            return false;
        if (asIs && (t.storedAs != t.format || t.storedAsWithAlpha != t.format))
            return false;
        if (!asIs && (formatRow(t.storedAs).storage != Storage::AsIs ||
                      formatRow(t.storedAsWithAlpha).storage != Storage::AsIs))
            return false;
    }
    return true;
}
static_assert(mediaTypesAgreeWithTheFormats(),
              "kMediaTypes: row i must describe format i, as the format table stores it");

// The format a picture's part holds.
inline PictureFormat storedFormat(const Picture& picture) {
    const MediaType& t = mediaType(picture.format);
    return picture.alpha ? t.storedAsWithAlpha : t.storedAs;
}

QString contentType(PictureFormat stored);
QString extension(PictureFormat stored);

} // namespace slidemill::pptx
