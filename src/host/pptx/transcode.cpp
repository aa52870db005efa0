#include "host/pptx/transcode.h"

#include "core/fileidentity.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "host/pptx/mediatypes.h"
#include "host/pptx/saveerror.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTransform>
#include <fcntl.h>
#include <libheif/heif.h>
#include <memory>
#include <unistd.h>

namespace slidemill::pptx {

namespace {

constexpr int kJpegQuality = 92;

[[noreturn]] void undecodable(const Picture& picture, const QString& cause) {
    throw RuntimeError(
        errInvalidPicture,
        QStringLiteral("%1: %2").arg(RuntimeError::standardText(errInvalidPicture), cause),
        picture.path);
}

// The picture's file, which must still be the one the build measured.
QByteArray readFile(const Picture& picture) {
    const int fd = ::open(nativePath(picture.path).constData(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        throw RuntimeError::withFile(errPathFileAccess, picture.path);
    }
    if (picture.file.known() && !(identityOf(fd) == picture.file))
        pictureChanged(picture.path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError::withFile(errPathFileAccess, picture.path);
    return bytes;
}

template <auto release> struct Releaser {
    template <typename T> void operator()(T* p) const { release(p); }
};
using HeifContext = std::unique_ptr<heif_context, Releaser<heif_context_free>>;
using HeifHandle = std::unique_ptr<const heif_image_handle, Releaser<heif_image_handle_release>>;
using HeifOptions = std::unique_ptr<heif_decoding_options, Releaser<heif_decoding_options_free>>;

void check(const Picture& picture, const heif_error& error) {
    if (error.code != heif_error_Ok)
        undecodable(picture, QString::fromUtf8(error.message));
}

// The colour space the decoded pixels are in: the file's ICC profile, or the primaries its
// nclx box names where they are not sRGB's.
QColorSpace heifColourSpace(const heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)),
                       Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return QColorSpace::fromIccProfile(icc);
        return {};
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_color_profile_nclx, Releaser<heif_nclx_color_profile_free>> owned(
        nclx);
    const auto primaries = nclx->color_primaries;
    const auto transfer = nclx->transfer_characteristics;
    const bool srgbPrimaries = primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                               primaries == heif_color_primaries_unspecified;
    // HDR transfers are brought down to 8 bits by libheif; no profile describes the result.
    const bool srgbLikeTransfer = transfer == heif_transfer_characteristic_IEC_61966_2_1 ||
                                  transfer == heif_transfer_characteristic_ITU_R_BT_709_5 ||
                                  transfer == heif_transfer_characteristic_ITU_R_BT_601_6 ||
                                  transfer == heif_transfer_characteristic_unspecified;
    if (srgbPrimaries || !srgbLikeTransfer)
        return {};
    return QColorSpace({nclx->color_primary_white_x, nclx->color_primary_white_y},
                       {nclx->color_primary_red_x, nclx->color_primary_red_y},
                       {nclx->color_primary_green_x, nclx->color_primary_green_y},
                       {nclx->color_primary_blue_x, nclx->color_primary_blue_y},
                       QColorSpace::TransferFunction::SRgb);
}

// libheif applies the file's irot, imir and clap while decoding. The image owns libheif's
// pixels, so nothing is copied on the way to the encoder.
QImage decodeHeif(const Picture& picture, const QByteArray& file) {
    HeifContext context(heif_context_alloc());
    check(picture, heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                                                              size_t(file.size()), nullptr));
    heif_image_handle* rawHandle = nullptr;
    check(picture, heif_context_get_primary_image_handle(context.get(), &rawHandle));
    const HeifHandle handle(rawHandle);
    const HeifOptions options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    check(picture, heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                                     picture.alpha ? heif_chroma_interleaved_RGBA
                                                   : heif_chroma_interleaved_RGB,
                                     options.get()));
    int stride = 0;
    uchar* pixels = heif_image_get_plane(decoded, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(decoded, heif_channel_interleaved);
    const int h = heif_image_get_height(decoded, heif_channel_interleaved);
    if (!pixels || w <= 0 || h <= 0) {
        heif_image_release(decoded);
        undecodable(picture, QStringLiteral("no picture decoded"));
    }
    QImage image(
        pixels, w, h, stride, picture.alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
        [](void* p) { heif_image_release(static_cast<heif_image*>(p)); }, decoded);
    image.setColorSpace(heifColourSpace(handle.get()));
    return image;
}

// Qt's readers (WebP) leave the EXIF orientation to us: the picture is turned here.
QImage decodeWithQt(const Picture& picture, QByteArray& file) {
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, formatRow(picture.format).qtName);
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image))
        undecodable(picture, reader.errorString());
    // The orientation as a left-right mirror followed by clockwise quarter turns.
    static constexpr bool mirrors[9] = {false, false, true, false, true, true, false, true, false};
    static constexpr int quarters[9] = {0, 0, 0, 2, 2, 3, 1, 1, 3};
    const int o = picture.orientation >= 1 && picture.orientation <= 8 ? picture.orientation : 1;
    if (mirrors[o])
        image = std::move(image).mirrored(true, false);
    if (quarters[o] == 2)
        image = std::move(image).mirrored(true, true);
    else if (quarters[o] != 0)
        image = image.transformed(QTransform().rotate(90.0 * quarters[o]));
    return image;
}

} // namespace

Transcoded transcode(const Picture& picture) {
    const PictureFormat stored = storedFormat(picture);
    QByteArray file = readFile(picture);
    // What Qt does not read (the HEIF family), libheif does.
    QImage image =
        formatRow(picture.format).qtName ? decodeWithQt(picture, file) : decodeHeif(picture, file);
    file = QByteArray();
    Transcoded out;
    out.format = stored;
    QBuffer buffer(&out.bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, stored == PictureFormat::Png ? "png" : "jpeg");
    if (stored == PictureFormat::Jpeg)
        writer.setQuality(kJpegQuality);
    if (!writer.write(image))
        undecodable(picture, writer.errorString());
    return out;
}

} // namespace slidemill::pptx
