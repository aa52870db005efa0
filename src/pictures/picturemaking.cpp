// The picture maker's decoding part, in the decoding module: picturemaker.cpp decides whether
// a picture must be made, this makes it.
#include "core/runtimeerror.h"
#include "pictures/decoders.h"
#include "pictures/measuredfile.h"
#include "pictures/picturemaker.h"
#include "slides/pictureformats.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vips/vips.h>

namespace slidemill::pictures {

namespace {

// What the encoder is given: 8 bits, the colour spaces its format holds, and of the metadata
// only the ICC profile.
Image forEncoding(const Picture& picture, Image image, PictureFormat format) {
    VipsImage* out = nullptr;
    auto step = [&](int failed) {
        if (failed)
            vipsFailed(picture);
        image.reset(out);
    };
    const bool alpha = vips_image_hasalpha(image.get());
    if (format == PictureFormat::Jpeg && alpha) {
        VipsArrayDouble* white = vips_array_double_newv(1, 255.0);
        const int failed = vips_flatten(image.get(), &out, "background", white, nullptr);
        vips_area_unref(VIPS_AREA(white));
        step(failed);
    }
    const VipsInterpretation space = image->Type;
    const bool cmyk = space == VIPS_INTERPRETATION_CMYK;
    if ((format == PictureFormat::Png && cmyk) ||
        (space != VIPS_INTERPRETATION_sRGB && space != VIPS_INTERPRETATION_B_W && !cmyk &&
         space != VIPS_INTERPRETATION_MULTIBAND && space != VIPS_INTERPRETATION_RGB16 &&
         space != VIPS_INTERPRETATION_GREY16)) {
        // Converted through its own profile, so the sRGB result carries none.
        step(vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_sRGB, nullptr));
        vips_image_remove(image.get(), VIPS_META_ICC_NAME);
    } else if (space == VIPS_INTERPRETATION_RGB16 || space == VIPS_INTERPRETATION_GREY16) {
        step(vips_colourspace(image.get(), &out,
                              space == VIPS_INTERPRETATION_RGB16 ? VIPS_INTERPRETATION_sRGB
                                                                 : VIPS_INTERPRETATION_B_W,
                              nullptr));
    }
    if (image->BandFmt != VIPS_FORMAT_UCHAR)
        step(vips_cast_uchar(image.get(), &out, nullptr));
    // Extra channels (a TIFF's extra samples) go; colour and transparency stay.
    const int bands = cmyk && format == PictureFormat::Jpeg ? 4
                      : vips_image_hasalpha(image.get())    ? 4
                                                            : 3;
    if (image->Bands > bands && image->Bands > 2)
        step(vips_extract_band(image.get(), &out, 0, "n", bands, nullptr));
    // A copy whose metadata can be changed without touching the pipeline's.
    step(vips_copy(image.get(), &out, nullptr));
    gchar** fields = vips_image_get_fields(image.get());
    for (gchar** field = fields; *field; ++field) {
        if (std::strcmp(*field, VIPS_META_ICC_NAME) != 0)
            vips_image_remove(image.get(), *field);
    }
    g_strfreev(fields);
    return image;
}

QByteArray encoded(const Picture& picture, VipsImage* image, PictureFormat format) {
    void* buffer = nullptr;
    std::size_t length = 0;
    const int failed = format == PictureFormat::Jpeg
                           ? vips_jpegsave_buffer(image, &buffer, &length, "Q", kMadeJpegQuality,
                                                  "optimize_coding", TRUE, nullptr)
                           : vips_pngsave_buffer(image, &buffer, &length, "compression", 6,
                                                 "filter", VIPS_FOREIGN_PNG_FILTER_ALL, nullptr);
    if (failed)
        vipsFailed(picture);
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

MadePicture kept(const Picture& picture) {
    return {{}, picture.format, measuredPixels(picture)};
}

} // namespace

MadePicture makeDecodedPicture(const Picture& picture, QSize shown) {
    needVips(picture);
    const MeasuredFile file(picture.path, picture.file);
    const VipsThreadEnd threadEnd;
    MadePicture made;
    try {
        Decoded d = decode(picture, file, shown);
        if (d.keep) {
            file.checkRead();
            file.checkUnchanged();
            return kept(picture);
        }
        made.format = d.photographic && !vips_image_hasalpha(d.image.get()) ? PictureFormat::Jpeg
                                                                            : PictureFormat::Png;
        Image image = resized(picture, std::move(d.image), storedTarget(picture, d, shown));
        if (!d.upright)
            image = turned(picture, std::move(image), d.reservation);
        image = forEncoding(picture, std::move(image), made.format);
        made.pixels = sizeOf(image.get());
        made.bytes = encoded(picture, image.get(), made.format);
    } catch (const RuntimeError&) {
        // A read that failed, or a file written to while it was read, is the cause.
        file.checkRead();
        file.checkUnchanged();
        throw;
    }
    // Read to its end: what was read is what was measured only if every read succeeded and
    // the file did not change.
    file.checkRead();
    file.checkUnchanged();
    if (formatRow(picture.format).storage == Storage::AsIs &&
        made.bytes.size() >= file.identity().size)
        return kept(picture);
    return made;
}

} // namespace slidemill::pictures
