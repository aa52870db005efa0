// The previews' decoding part, in the decoding module.
#include "pictures/thumbnail.h"

#include "core/runtimeerror.h"
#include "pictures/decoders.h"
#include "pictures/measuredfile.h"

namespace slidemill::pictures {

namespace {

// A preview is looked at, not kept: quality 90 is indistinguishable at its size, and PNG's
// fastest setting encodes it in a fraction of the time of the best.
constexpr int kThumbnailJpegQuality = 90;
constexpr int kThumbnailPngCompression = 1;

void stopIfCancelled(const std::function<bool()>& cancelled) {
    if (cancelled && cancelled())
        throw ThumbnailCancelled();
}

// The colours as an sRGB screen shows them, through the picture's own profile where it has one
// that can be used, in 8 bits, with at most its alpha besides its colour.
Image inSrgb(const Picture& picture, Image image) {
    VipsImage* out = nullptr;
    auto step = [&](int failed) {
        if (failed)
            vipsFailed(picture);
        image.reset(out);
    };
    if (vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME)) {
        // A profile that cannot be used leaves the colours as they are.
        if (!vips_icc_transform(image.get(), &out, "srgb", "embedded", TRUE, "depth", 8, nullptr))
            image.reset(out);
    }
    const VipsInterpretation space = image->Type;
    if (space == VIPS_INTERPRETATION_GREY16)
        step(vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_B_W, nullptr));
    else if (space != VIPS_INTERPRETATION_sRGB && space != VIPS_INTERPRETATION_B_W &&
             space != VIPS_INTERPRETATION_MULTIBAND)
        step(vips_colourspace(image.get(), &out, VIPS_INTERPRETATION_sRGB, nullptr));
    if (image->BandFmt != VIPS_FORMAT_UCHAR)
        step(vips_cast_uchar(image.get(), &out, nullptr));
    const bool alpha = vips_image_hasalpha(image.get());
    const int bands = image->Bands <= 2 ? image->Bands : alpha ? 4 : 3;
    if (image->Bands > bands)
        step(vips_extract_band(image.get(), &out, 0, "n", bands, nullptr));
    return image;
}

void killWhenCancelled(VipsImage* image, VipsProgress*, void* cancelled) {
    if ((*static_cast<const std::function<bool()>*>(cancelled))())
        vips_image_set_kill(image, TRUE);
}

// The pixels computed into memory; libvips stops between strips once `cancelled` says so.
Image computed(const Picture& picture, Image image, const std::function<bool()>& cancelled) {
    Image memory(vips_image_new_memory());
    if (cancelled) {
        vips_image_set_progress(memory.get(), TRUE);
        g_signal_connect(memory.get(), "eval", G_CALLBACK(killWhenCancelled),
                         const_cast<std::function<bool()>*>(&cancelled));
    }
    if (vips_image_write(image.get(), memory.get())) {
        stopIfCancelled(cancelled);
        vipsFailed(picture);
    }
    return memory;
}

QByteArray encoded(const Picture& picture, VipsImage* image) {
    void* buffer = nullptr;
    std::size_t length = 0;
    const int failed = vips_image_hasalpha(image)
                           ? vips_pngsave_buffer(image, &buffer, &length, "compression",
                                                 kThumbnailPngCompression, "strip", TRUE, nullptr)
                           : vips_jpegsave_buffer(image, &buffer, &length, "Q",
                                                  kThumbnailJpegQuality, "strip", TRUE, nullptr);
    if (failed)
        vipsFailed(picture);
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

} // namespace

Thumbnail makeDecodedThumbnail(const Picture& picture, int side,
                               const std::function<bool()>& cancelled) {
    needVips(picture);
    const QSize shown(side, side);
    const MeasuredFile file(picture.path, picture.file);
    const VipsThreadEnd threadEnd;
    Thumbnail made;
    try {
        std::optional<Decoded> d = decodeThumbnail(picture, file, shown);
        stopIfCancelled(cancelled);
        if (!d)
            d.emplace(decode(picture, file, shown));
        // An animated GIF shows its first frame, and the one before it is kept while decoded.
        if (d->keep)
            d->reservation.add(picture, d->stored, area(d->stored) * 8);
        Image image = resized(picture, std::move(d->image), storedTarget(picture, *d, shown));
        image = computed(picture, inSrgb(picture, std::move(image)), cancelled);
        if (!d->upright)
            image = turned(picture, std::move(image), d->reservation);
        made.size = sizeOf(image.get());
        made.bytes = encoded(picture, image.get());
    } catch (const RuntimeError&) {
        // A read that failed, or a file written to while it was read, is the cause.
        file.checkRead();
        file.checkUnchanged();
        throw;
    }
    file.checkUnchanged();
    return made;
}

} // namespace slidemill::pictures
