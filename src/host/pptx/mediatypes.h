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
    // The part's content type and extension; null for a format never stored as it is (a copy
    // of it is made, pictures/picturemaker.h).
    const char* contentType;
    const char* extension;
};

inline constexpr std::array<MediaType, std::size_t(PictureFormat::Count)> kMediaTypes{{
    {PictureFormat::Png, "image/png", "png"},
    {PictureFormat::Jpeg, "image/jpeg", "jpeg"},
    {PictureFormat::Gif, "image/gif", "gif"},
    {PictureFormat::Bmp, "image/bmp", "bmp"},
    {PictureFormat::Tiff, "image/tiff", "tiff"},
    {PictureFormat::Wmf, "image/x-wmf", "wmf"},
    {PictureFormat::Emf, "image/x-emf", "emf"},
    {PictureFormat::Heic, nullptr, nullptr},
    {PictureFormat::Heif, nullptr, nullptr},
    {PictureFormat::Avif, nullptr, nullptr},
    {PictureFormat::Webp, nullptr, nullptr},
}};

constexpr const MediaType& mediaType(PictureFormat format) {
    return kMediaTypes[std::size_t(format)];
}

// Every row is its format's, and a format stored as it is has its content type and extension.
constexpr bool mediaTypesAgreeWithTheFormats() {
    for (std::size_t i = 0; i < kMediaTypes.size(); ++i) {
        const MediaType& t = kMediaTypes[i];
        const bool asIs = formatRow(t.format).storage == Storage::AsIs;
        if (t.format != PictureFormat(i) || asIs != (t.contentType && t.extension))
            return false;
    }
    return true;
}
static_assert(mediaTypesAgreeWithTheFormats(),
              "kMediaTypes: row i must describe format i, as the format table stores it");

QString contentType(PictureFormat stored);
QString extension(PictureFormat stored);

} // namespace slidemill::pptx
