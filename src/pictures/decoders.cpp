#include "pictures/decoders.h"

#include "pictures/thumbnail.h"

#include "core/faults.h"
#include "core/messagehandler.h"
#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "slides/bytesource.h"
#include "slides/exif.h"
#include "slides/pictureformats.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <libheif/heif.h>
#include <mutex>
#include <new>
#include <optional>
#include <unistd.h>
#include <vector>

namespace slidemill::pictures {

namespace {

// How far a picture may be shrunk while it is decoded, as a multiple of the target that must be
// left for Lanczos3. A JPEG's DCT scaling (by 2, 4 or 8) may go down to the target itself: it
// measured as close to ImageMagick's Lanczos3 as libvips' own rule of leaving a factor of 2 (49
// to 50 dB against 51.5; a JPEG at quality 85 is 36), in half the time and memory
// (bench/bench_resize.py). libwebp's scaled decode averages pixels like a box, so it stops at
// twice the target.
constexpr double kJpegLeftForLanczos = 1.0;
constexpr double kWebpLeftForLanczos = 2.0;

// Libraries end their messages with a newline and may add lines of detail: the first line is
// the cause.
QString firstLine(const char* text) {
    const QStringList lines = QString::fromUtf8(text ? text : "").split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    }
    return {};
}

} // namespace

namespace {

bool quarterTurn(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The proportions of a decoded picture, upright, are those of `header`: a crop of a few rows (a
// HEIF's clap, which the header reader leaves alone) is not a stretch anyone sees, so up to 1%
// is let through, beside the rounding of either side.
bool sameShape(QSize decodedUpright, QSize header) {
    const qint64 dw = decodedUpright.width(), dh = decodedUpright.height();
    const qint64 hw = header.width(), hh = header.height();
    const qint64 slack = std::max(std::max(dw, hw) + std::max(dh, hh), dh * hw / 100);
    return !header.isEmpty() && std::abs(dw * hh - dh * hw) <= slack;
}

// The header gave the slide its shape; a picture that decodes to other proportions would be
// stretched to it.
void checkShape(const Picture& picture, QSize decodedUpright) {
    const QSize header = measuredPixels(picture);
    if (!sameShape(decodedUpright, header))
        undecodable(picture, QStringLiteral("the picture's size differs from its header's "
                                            "(%1 x %2 pixels decoded, %3 x %4 measured)")
                                 .arg(decodedUpright.width())
                                 .arg(decodedUpright.height())
                                 .arg(header.width())
                                 .arg(header.height()));
}

// A size as stored, shown upright (or back).
QSize turnedSize(const Picture& picture, const Decoded& d, QSize size) {
    return !d.upright && quarterTurn(picture.orientation) ? size.transposed() : size;
}

} // namespace

QSize uprightOf(const Picture& picture, const Decoded& d) {
    return turnedSize(picture, d, d.stored);
}

QSize storedTarget(const Picture& picture, const Decoded& d, QSize shown) {
    return turnedSize(picture, d, fittedPixels(uprightOf(picture, d), shown));
}

namespace {

// How far the decoder itself may shrink, leaving `left` times the target.
double shrinkOnLoad(QSize stored, QSize target, double left) {
    return std::min(double(stored.width()) / target.width(),
                    double(stored.height()) / target.height()) /
           left;
}

// --- libvips loaders ----------------------------------------------------------------------

// What libvips reads the file through: a duplicate of the checked descriptor read with pread,
// never mapped (a file cut short under a mapping ends the process with SIGBUS), and every
// failed read noted as the file's, so that it is told as the read error it is.
//
// The decoder may be shown only parts of the file, `pieces` (offset and length, in order):
// what it reads is them, one after the other.
struct FileReader {
    int fd = -1;
    qint64 size = 0;
    qint64 at = 0;
    QByteArray faultEntry;
    std::shared_ptr<std::atomic<int>> error;
    std::vector<std::pair<qint64, qint64>> pieces;
    // Asked before each read: a decoder told to stop meets a failed read, between tiles,
    // strips or a few rows, where libvips' own check between regions may come seconds later.
    Cancelled cancelled;

    // Where the file holds what the decoder reads at `at`, and how much of it lies there.
    std::pair<qint64, qint64> placed(qint64 where) const {
        if (pieces.empty())
            return {where, std::max<qint64>(size - where, 0)};
        for (const auto& [offset, length] : pieces) {
            if (where < length)
                return {offset + where, length - where};
            where -= length;
        }
        return {0, 0};
    }

    ~FileReader() {
        if (fd >= 0)
            ::close(fd);
    }

    // A failed read ends the file rather than returning -1: libtiff takes -1 as a length and
    // clears the byte before its buffer. The failure is noted, and told whether or not the
    // decoder minds the end.
    static gint64 read(VipsSourceCustom*, void* buffer, gint64 length, FileReader* r) {
        if (const int fault = injectedFault(IoCall::ReadPicture, r->faultEntry)) {
            r->failed(fault);
            return 0;
        }
        if (r->cancelled && r->cancelled())
            return 0;
        const auto [offset, left] = r->placed(r->at);
        if (left <= 0)
            return 0;
        for (;;) {
            const ssize_t n =
                ::pread(r->fd, buffer, std::size_t(std::clamp<gint64>(length, 0, left)), offset);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                r->failed(errno);
                return 0;
            }
            r->at += n;
            return n;
        }
    }

    static gint64 seek(VipsSourceCustom*, gint64 offset, int whence, FileReader* r) {
        const qint64 to = whence == SEEK_SET   ? offset
                          : whence == SEEK_CUR ? r->at + offset
                          : whence == SEEK_END ? r->size + offset
                                               : -1;
        if (to < 0)
            return -1;
        r->at = to;
        return to;
    }

    void failed(int e) {
        int none = 0;
        error->compare_exchange_strong(none, e);
    }
};

// A PNG without its text chunks: libpng inflates every compressed one before the pixels,
// and 50 chunks of 40 MiB of nothing in 12 MB took 54 s. Whole chunks go, so every CRC still
// holds. Empty where the chunks cannot be walked: the file is shown whole.
std::vector<std::pair<qint64, qint64>> pngWithoutText(int fd, qint64 size) {
    std::vector<std::pair<qint64, qint64>> pieces{{0, 8}};
    bool dropped = false;
    for (qint64 at = 8; at < size;) {
        uchar header[8];
        if (::pread(fd, header, 8, at) != 8)
            return {};
        const qint64 whole = 12 + qFromBigEndian<quint32>(header);
        const QByteArrayView type(reinterpret_cast<const char*>(header) + 4, 4);
        if (whole > size - at)
            return {};
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            dropped = true;
        } else if (pieces.back().first + pieces.back().second == at) {
            pieces.back().second += whole;
        } else {
            pieces.emplace_back(at, whole);
        }
        at += whole;
        if (type == "IEND")
            break;
    }
    return dropped ? pieces : std::vector<std::pair<qint64, qint64>>{};
}

Source sourceOf(const Picture& picture, const MeasuredFile& file, const Cancelled& cancelled) {
    auto reader = std::make_unique<FileReader>();
    reader->fd = ::fcntl(file.fd(), F_DUPFD_CLOEXEC, 0);
    if (reader->fd < 0)
        failRead(errno, picture.path);
    reader->size = file.identity().size;
    if (picture.format == PictureFormat::Png) {
        reader->pieces = pngWithoutText(reader->fd, reader->size);
        if (!reader->pieces.empty()) {
            reader->size = 0;
            for (const auto& piece : reader->pieces)
                reader->size += piece.second;
        }
    }
    reader->faultEntry = FaultEntry::current();
    reader->error = file.readError();
    reader->cancelled = cancelled;
    Source source(VIPS_SOURCE(vips_source_custom_new()));
    if (!source)
        vipsFailed(picture);
    FileReader* r = reader.release();
    // The reader goes with the source, whoever holds it last.
    g_signal_connect_data(
        source.get(), "read", G_CALLBACK(FileReader::read), r,
        [](gpointer data, GClosure*) { delete static_cast<FileReader*>(data); }, GConnectFlags(0));
    g_signal_connect(source.get(), "seek", G_CALLBACK(FileReader::seek), r);
    return source;
}

bool interlaced(VipsImage* image) {
    int value = 0;
    return vips_image_get_typeof(image, "interlaced") &&
           vips_image_get_int(image, "interlaced", &value) == 0 && value != 0;
}

void rewind(const Picture& picture, VipsSource* source) {
    if (vips_source_rewind(source))
        vipsFailed(picture);
}

// --- What the headers say about how the pixels are coded ----------------------------------

// The file as ByteSource reads it, a window at a time.
template <typename Read> auto readingFile(const MeasuredFile& file, Read read) {
    QFile device;
    if (!device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        failRead(EBADF, file.path());
    return read(ByteSource(device));
}

// How a TIFF's first picture is laid out, from the tags of its first IFD.
struct TiffLayout {
    quint32 width = 0, height = 0;
    quint32 compression = 1;
    quint32 samples = 1, bits = 1;
    quint32 rowsPerStrip = 0xFFFFFFFF;
    quint32 tileWidth = 0, tileHeight = 0;
};

std::optional<TiffLayout> tiffLayout(const ByteSource& bytes) {
    const bool le = bytes.read(0, 2) == "II";
    const auto u16 = [&](qint64 at) { return le ? bytes.readU16Le(at) : bytes.readU16Be(at); };
    const auto u32 = [&](qint64 at) { return le ? bytes.readU32Le(at) : bytes.readU32Be(at); };
    const auto ifd = u32(4);
    const auto count = ifd ? u16(*ifd) : std::nullopt;
    if (!count)
        return std::nullopt;
    TiffLayout t;
    for (int i = 0; i < *count; ++i) {
        const qint64 entry = qint64(*ifd) + 2 + 12 * qint64(i);
        const auto tag = u16(entry), type = u16(entry + 2);
        const auto n = u32(entry + 4);
        if (!tag || !type || !n)
            return std::nullopt;
        // The first value: in the entry where it fits, else where the entry points.
        const qint64 size = *type == 3 ? 2 : 4;
        qint64 at = entry + 8;
        if (qint64(*n) * size > 4) {
            const auto offset = u32(entry + 8);
            if (!offset)
                return std::nullopt;
            at = *offset;
        }
        std::optional<quint32> value;
        if (*type == 3) {
            if (const auto v = u16(at))
                value = *v;
        } else {
            value = u32(at);
        }
        if (!value || (*type != 3 && *type != 4))
            continue;
        switch (*tag) {
        case 256:
            t.width = *value;
            break;
        case 257:
            t.height = *value;
            break;
        case 258:
            t.bits = *value;
            break;
        case 259:
            t.compression = *value;
            break;
        case 277:
            t.samples = *value;
            break;
        case 278:
            t.rowsPerStrip = *value;
            break;
        case 322:
            t.tileWidth = *value;
            break;
        case 323:
            t.tileHeight = *value;
            break;
        default:
            break;
        }
    }
    return t;
}

// The TIFF compressions libtiff decodes strip by strip or tile by tile: none, the fax codings,
// LZW, JPEG, deflate, PackBits, LZMA, Zstandard and WebP. Any other (JPEG 2000 above all,
// which would reach OpenJPEG) is refused before a decoder runs.
bool tiffCompressionDecoded(quint32 compression) {
    switch (compression) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
    case 32773:
    case 32946:
    case 34925:
    case 50000:
    case 50001:
        return true;
    default:
        return false;
    }
}

// Refuses what no decoder of ours should reach, and takes from the budget what the strips or
// the row of tiles being decoded hold (twice: libtiff's buffer and libvips' copy), from the
// sizes the file codes rather than the header measured.
void checkTiff(const Picture& picture, const MeasuredFile& file, Reservation& reservation) {
    const std::optional<TiffLayout> t = readingFile(file, tiffLayout);
    if (!t || t->width == 0 || t->height == 0)
        undecodable(picture, QStringLiteral("the TIFF's first picture has no size"));
    if (!tiffCompressionDecoded(t->compression))
        undecodable(picture, QStringLiteral("the TIFF's compression (%1%2) cannot be decoded")
                                 .arg(t->compression)
                                 .arg(t->compression == 34712 || t->compression == 33003 ||
                                              t->compression == 33005
                                          ? QStringLiteral(", JPEG 2000")
                                          : QString()));
    const qint64 pixelBytes = qint64(std::max<quint32>(t->samples, 1)) *
                              ((qint64(std::max<quint32>(t->bits, 1)) + 7) / 8);
    qint64 held = 0;
    if (t->tileWidth > 0 && t->tileHeight > 0) {
        const qint64 across = (qint64(t->width) + t->tileWidth - 1) / t->tileWidth;
        held = across * t->tileWidth * qint64(t->tileHeight) * pixelBytes;
    } else {
        held = qint64(t->width) * std::min<quint32>(t->rowsPerStrip, t->height) * pixelBytes;
    }
    reservation.add(picture,
                    QSize(int(std::min<quint32>(t->width, INT_MAX)),
                          int(std::min<quint32>(t->height, INT_MAX))),
                    2 * held);
}

// A progressive JPEG is decoded once a scan at a time; tens of thousands of tiny scans take
// seconds. Counted by walking the segments and the entropy-coded data between them.
constexpr int kMaxProgressiveScans = 100;

int jpegScans(const ByteSource& bytes, int limit) {
    int scans = 0;
    qint64 at = 2;
    while (scans <= limit) {
        const auto ff = bytes.readU8(at), marker = bytes.readU8(at + 1);
        if (!ff || !marker || *ff != 0xFF)
            return scans;
        if (*marker == 0xFF) {
            ++at;
            continue;
        }
        if (*marker == 0xD9)
            return scans;
        const auto length = bytes.readU16Be(at + 2);
        if (!length)
            return scans;
        at += 2 + *length;
        if (*marker != 0xDA)
            continue;
        ++scans;
        // The scan's data runs to the next marker that is neither a stuffed 0xFF nor a restart.
        for (;;) {
            at = bytes.find(char(0xFF), at);
            const auto next = at < 0 ? std::nullopt : bytes.readU8(at + 1);
            if (!next)
                return scans;
            if (*next == 0x00 || (*next >= 0xD0 && *next <= 0xD7)) {
                at += 2;
                continue;
            }
            break;
        }
    }
    return scans;
}

void checkScans(const Picture& picture, const MeasuredFile& file) {
    const int scans = readingFile(
        file, [](const ByteSource& bytes) { return jpegScans(bytes, kMaxProgressiveScans); });
    if (scans > kMaxProgressiveScans)
        undecodable(picture, QStringLiteral("the progressive JPEG has more than %1 scans")
                                 .arg(kMaxProgressiveScans));
}

Decoded decodeJpeg(const Picture& picture, const MeasuredFile& file, QSize shown,
                   const Cancelled& cancelled) {
    const Source source = sourceOf(picture, file, cancelled);
    Decoded d;
    d.photographic = true;
    VipsImage* out = nullptr;
    d.image = loaded(picture,
                     vips_jpegload_source(source.get(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                          "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr),
                     out);
    d.stored = sizeOf(d.image.get());
    checkShape(picture, uprightOf(picture, d));
    // A progressive JPEG's coefficients are held whole while it is decoded.
    if (interlaced(d.image.get())) {
        checkScans(picture, file);
        d.reservation.add(picture, d.stored, area(d.stored) * d.image->Bands * 2);
    }
    const double shrink =
        shrinkOnLoad(d.stored, storedTarget(picture, d, shown), kJpegLeftForLanczos);
    int factor = 1;
    while (factor < 8 && shrink >= factor * 2)
        factor *= 2;
    if (factor > 1) {
        rewind(picture, source.get());
        d.image.reset();
        d.image = loaded(picture,
                         vips_jpegload_source(source.get(), &out, "shrink", factor, "access",
                                              VIPS_ACCESS_SEQUENTIAL, "fail_on",
                                              VIPS_FAIL_ON_TRUNCATED, nullptr),
                         out);
    }
    return d;
}

Decoded decodePng(const Picture& picture, const MeasuredFile& file, QSize,
                  const Cancelled& cancelled) {
    const Source source = sourceOf(picture, file, cancelled);
    Decoded d;
    VipsImage* out = nullptr;
    d.image = loaded(picture,
                     vips_pngload_source(source.get(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                         "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr),
                     out);
    d.stored = sizeOf(d.image.get());
    checkShape(picture, d.stored);
    // An interlaced PNG is read whole.
    if (interlaced(d.image.get()))
        d.reservation.add(picture, d.stored,
                          qint64(VIPS_IMAGE_SIZEOF_PEL(d.image.get())) * area(d.stored));
    return d;
}

Decoded decodeGif(const Picture& picture, const MeasuredFile& file, QSize,
                  const Cancelled& cancelled) {
    const Source source = sourceOf(picture, file, cancelled);
    Decoded d;
    VipsImage* out = nullptr;
    d.image = loaded(picture,
                     vips_gifload_source(source.get(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                         "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr),
                     out);
    d.stored = sizeOf(d.image.get());
    int pages = 1;
    if (vips_image_get_typeof(d.image.get(), "n-pages") &&
        vips_image_get_int(d.image.get(), "n-pages", &pages) == 0 && pages > 1) {
        d.keep = true;
        return d;
    }
    checkShape(picture, d.stored);
    // The frame and the one before it, four bytes a pixel each.
    d.reservation.add(picture, d.stored, area(d.stored) * 8);
    return d;
}

Decoded decodeTiff(const Picture& picture, const MeasuredFile& file, QSize,
                   const Cancelled& cancelled) {
    Decoded d;
    checkTiff(picture, file, d.reservation);
    const Source source = sourceOf(picture, file, cancelled);
    VipsImage* out = nullptr;
    d.image = loaded(picture,
                     vips_tiffload_source(source.get(), &out, "access", VIPS_ACCESS_SEQUENTIAL,
                                          "fail_on", VIPS_FAIL_ON_TRUNCATED, nullptr),
                     out);
    d.stored = sizeOf(d.image.get());
    checkShape(picture, uprightOf(picture, d));
    return d;
}

// A WebP holds its picture losslessly (VP8L) or as a lossy VP8 frame; the extended form lists
// its chunks first.
bool webpLossless(int fd) {
    qint64 offset = 12;
    for (int chunk = 0; chunk < 64; ++chunk) {
        char header[8];
        if (::pread(fd, header, sizeof header, offset) != qint64(sizeof header))
            return false;
        const QByteArrayView tag(header, 4);
        if (tag == "VP8L")
            return true;
        if (tag == "VP8 " || tag == "ANMF")
            return false;
        const quint32 size = qFromLittleEndian<quint32>(header + 4);
        offset += 8 + qint64(size) + (size & 1);
    }
    return false;
}

Decoded decodeWebp(const Picture& picture, const MeasuredFile& file, QSize shown,
                   const Cancelled& cancelled) {
    const Source source = sourceOf(picture, file, cancelled);
    Decoded d;
    d.photographic = !webpLossless(file.fd());
    // libwebp decodes the whole frame, at the scale asked, and libvips makes room for it as it
    // reads the header: the scale comes from the size measured.
    d.stored = turnedSize(picture, d, measuredPixels(picture));
    const double scale = std::min(
        1.0, 1.0 / shrinkOnLoad(d.stored, storedTarget(picture, d, shown), kWebpLeftForLanczos));
    const QSize decoded(std::max(1, int(std::lround(d.stored.width() * scale))),
                        std::max(1, int(std::lround(d.stored.height() * scale))));
    // libvips reads the whole file into memory for libwebp.
    d.reservation.add(picture, d.stored, area(decoded) * 4 + file.identity().size);
    VipsImage* out = nullptr;
    d.image = loaded(picture,
                     scale < 1.0 ? vips_webpload_source(source.get(), &out, "scale", scale, nullptr)
                                 : vips_webpload_source(source.get(), &out, nullptr),
                     out);
    checkShape(picture, turnedSize(picture, d, sizeOf(d.image.get())));
    return d;
}

// --- Whole files: BMP through Qt, the HEIF family through libheif ---------------------------

QByteArray readAll(const MeasuredFile& file) {
    if (const int fault = injectedFault(IoCall::ReadPicture, FaultEntry::current()))
        failRead(fault, file.path());
    return file.read(0, file.identity().size);
}

// An image over pixels held elsewhere, `bands` bytes a pixel with no padding.
Image wrapped(const Picture& picture, const uchar* pixels, QSize size, int bands) {
    Image image(vips_image_new_from_memory(pixels, std::size_t(area(size)) * std::size_t(bands),
                                           size.width(), size.height(), bands, VIPS_FORMAT_UCHAR));
    if (!image)
        vipsFailed(picture);
    VipsImage* out = nullptr;
    if (vips_copy(image.get(), &out, "interpretation",
                  bands <= 2 ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB, nullptr))
        vipsFailed(picture);
    return Image(out);
}

void setProfile(VipsImage* image, const QByteArray& icc) {
    if (!icc.isEmpty())
        vips_image_set_blob_copy(image, VIPS_META_ICC_NAME, icc.constData(),
                                 std::size_t(icc.size()));
}

Decoded decodeBmp(const Picture& picture, const MeasuredFile& file, QSize, const Cancelled&) {
    Decoded d;
    const QSize header = measuredPixels(picture);
    // Qt's reader refuses more than its allocation limit.
    if (area(header) * 4 > qint64(QImageReader::allocationLimit()) << 20)
        tooLarge(picture, header);
    d.reservation.add(picture, header, area(header) * 4 + file.identity().size);
    QByteArray bytes = readAll(file);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    auto image = std::make_shared<QImage>();
    if (!reader.read(image.get()))
        undecodable(picture, reader.errorString());
    bytes = QByteArray();
    const bool alpha = image->hasAlphaChannel();
    const QByteArray icc =
        image->colorSpace().isValid() ? image->colorSpace().iccProfile() : QByteArray();
    *image = std::move(*image).convertToFormat(alpha ? QImage::Format_RGBA8888
                                                     : QImage::Format_RGBX8888);
    d.stored = image->size();
    checkShape(picture, d.stored);
    Image rgba = wrapped(picture, image->constBits(), d.stored, 4);
    d.pixels = image;
    if (alpha) {
        d.image = std::move(rgba);
    } else {
        VipsImage* out = nullptr;
        if (vips_extract_band(rgba.get(), &out, 0, "n", 3, nullptr))
            vipsFailed(picture);
        d.image = Image(out);
    }
    setProfile(d.image.get(), icc);
    return d;
}

template <auto release> struct Releaser {
    template <typename T> void operator()(T* p) const { release(p); }
};
using HeifContext = std::unique_ptr<heif_context, Releaser<heif_context_free>>;
using HeifHandle = std::unique_ptr<const heif_image_handle, Releaser<heif_image_handle_release>>;
using HeifOptions = std::unique_ptr<heif_decoding_options, Releaser<heif_decoding_options_free>>;
using HeifNclx = std::unique_ptr<heif_color_profile_nclx, Releaser<heif_nclx_color_profile_free>>;

// libheif's own text goes to the debug log; the cause is told in words of ours by its class.
void check(const Picture& picture, const heif_error& error) {
    if (error.code == heif_error_Ok)
        return;
    logLibraryText(picture, "libheif", firstLine(error.message));
    switch (error.code) {
    case heif_error_Memory_allocation_error:
        throw std::bad_alloc();
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature:
        undecodable(picture,
                    QStringLiteral("the picture is coded in a way that cannot be decoded"));
    default:
        undecodable(picture, QStringLiteral("the picture's data cannot be decoded"));
    }
}

// The ICC profile of the decoded pixels: the file's, or one made from the primaries its nclx
// box names where they are not sRGB's.
QByteArray heifProfile(const heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)),
                       Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return icc;
        return {};
    }
    heif_color_profile_nclx* raw = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &raw);
    // libheif may hand over the profile with an error about its values.
    const HeifNclx nclx(raw);
    if (error.code != heif_error_Ok || !nclx)
        return {};
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
    const QColorSpace space({nclx->color_primary_white_x, nclx->color_primary_white_y},
                            {nclx->color_primary_red_x, nclx->color_primary_red_y},
                            {nclx->color_primary_green_x, nclx->color_primary_green_y},
                            {nclx->color_primary_blue_x, nclx->color_primary_blue_y},
                            QColorSpace::TransferFunction::SRgb);
    return space.isValid() ? space.iccProfile() : QByteArray();
}

// The smallest thumbnail item of `primary` that holds `target` (upright) in the proportions of
// `upright`, the primary picture's; null when it has none such. libheif gives each item's size
// with its own irot and clap applied.
HeifHandle thumbnailItem(const heif_image_handle* primary, QSize target, QSize upright) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    HeifHandle best;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &raw).code !=
            heif_error_Ok)
            continue;
        HeifHandle item(raw);
        const QSize size(heif_image_handle_get_width(item.get()),
                         heif_image_handle_get_height(item.get()));
        if (size.width() < target.width() || size.height() < target.height() ||
            !sameShape(size, upright))
            continue;
        if (!best || area(size) < qint64(heif_image_handle_get_width(best.get())) *
                                      heif_image_handle_get_height(best.get()))
            best = std::move(item);
    }
    return best;
}

// What libheif holds at most while it decodes a picture of `size` coded in `bits`: two sets of
// planes, 4:4:4 at most (the codec's frame and libheif's copy, then that copy and the RGB
// planes made from it; two bytes a sample above 8 bits, an alpha plane where there is one),
// and with `rgb` the interleaved 8-bit picture besides. 12 megapixels measured 5.3 and 8.3
// bytes a pixel.
qint64 heifHeld(QSize size, int bits, bool alpha, bool rgb) {
    const qint64 sample = bits > 8 ? 2 : 1;
    const qint64 bands = alpha ? 4 : 3;
    return area(size) * (2 * bands * sample + (rgb ? bands : 0));
}

// While libheif decodes a picture it holds about twice what it hands over (the codec's frame,
// its copy, the RGB planes made from it), as much as the rest of a build together: pictures
// of more than a few megapixels take turns, the other cores resizing and encoding meanwhile.
// Builds of 12-megapixel photos on two cores peaked at 200 MiB; taking turns, at 120 MiB, in
// 7 to 25 % more time.
constexpr qint64 kHeifTurnBytes = qint64(16) << 20;

std::timed_mutex& heifTurn() {
    static std::timed_mutex turn;
    return turn;
}

// One 8-bit plane of `image`, its rows packed together in place, as libvips reads them.
Image heifPlane(const Picture& picture, heif_image* image, heif_channel channel) {
    int stride = 0;
    uchar* pixels = heif_image_get_plane(image, channel, &stride);
    const QSize size(heif_image_get_width(image, channel), heif_image_get_height(image, channel));
    if (!pixels || size.isEmpty() || stride < size.width())
        return {};
    for (int y = 1; y < size.height() && stride != size.width(); ++y)
        std::memmove(pixels + std::size_t(y) * std::size_t(size.width()),
                     pixels + std::size_t(y) * std::size_t(stride), std::size_t(size.width()));
    Image plane(vips_image_new_from_memory(pixels, std::size_t(area(size)), size.width(),
                                           size.height(), 1, VIPS_FORMAT_UCHAR));
    if (!plane)
        vipsFailed(picture);
    return plane;
}

// The picture of libheif's 8-bit R, G and B planes (it converts every coded picture to them
// before any other form), joined by libvips as the resize reads them rather than copied into
// one interleaved picture beside them. Null where the planes are not such.
Image fromPlanes(const Picture& picture, heif_image* image) {
    if (heif_image_get_colorspace(image) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(image) != heif_chroma_444)
        return {};
    std::array<Image, 3> planes;
    const heif_channel channels[] = {heif_channel_R, heif_channel_G, heif_channel_B};
    for (std::size_t i = 0; i < planes.size(); ++i) {
        if (heif_image_get_bits_per_pixel_range(image, channels[i]) != 8)
            return {};
        planes[i] = heifPlane(picture, image, channels[i]);
        if (!planes[i] || sizeOf(planes[i].get()) != sizeOf(planes[0].get()))
            return {};
    }
    VipsImage* in[] = {planes[0].get(), planes[1].get(), planes[2].get()};
    VipsImage* out = nullptr;
    if (vips_bandjoin(in, &out, 3, nullptr))
        vipsFailed(picture);
    const Image joined(out);
    if (vips_copy(joined.get(), &out, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr))
        vipsFailed(picture);
    return Image(out);
}

// libheif decodes the whole picture, applying its irot, imir and clap; libde265 and dav1d under
// it print their complaints themselves, so they run where standard error goes nowhere. With
// `thumbnail` it decodes, instead of the primary picture, its smallest thumbnail item that has
// the size that fits `shown`; empty when there is none such. An 8-bit picture without alpha is
// decoded to its planes, joined as they are read (fromPlanes); any other, or planes not such,
// to interleaved RGB by libheif.
std::optional<Decoded> decodeHeifItem(const Picture& picture, const MeasuredFile& file, QSize shown,
                                      bool thumbnail, const Cancelled& cancelled) {
    Decoded d;
    // One share, taken before the file is read: the file, held whole while it is decoded, and
    // the planes of the size the codec's parameters give (the HEVC SPS, the AV1 sequence
    // header, a grid's output, as measured), which an ispe may understate. What the item's
    // coding needs beyond is added once it is known.
    const QSize coded = measuredPixels(picture);
    qint64 taken = thumbnail ? 0 : heifHeld(coded, 8, picture.alpha, false);
    d.reservation.add(picture, coded, file.identity().size + taken);
    const QByteArray bytes = readAll(file);
    d.upright = true;
    d.photographic = true;
    heif_image* decoded = nullptr;
    QByteArray icc;
    bool alpha = false;
    bool found = true;
    HeifContext context;
    HeifHandle handle;
    const HeifOptions options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    auto decodeAs = [&](bool rgb) {
        const int bits = std::max(heif_image_handle_get_luma_bits_per_pixel(handle.get()),
                                  heif_image_handle_get_chroma_bits_per_pixel(handle.get()));
        const QSize size(heif_image_handle_get_width(handle.get()),
                         heif_image_handle_get_height(handle.get()));
        const qint64 held = heifHeld(size, bits, alpha, rgb);
        if (held > taken) {
            d.reservation.add(picture, size, held - taken);
            taken = held;
        }
        std::unique_lock<std::timed_mutex> turn;
        if (held >= kHeifTurnBytes) {
            turn = std::unique_lock(heifTurn(), std::defer_lock);
            while (!turn.try_lock_for(std::chrono::milliseconds(20))) {
                if (cancelled && cancelled())
                    throw ThumbnailCancelled();
            }
        }
        // libheif cannot be stopped once it decodes.
        if (cancelled && cancelled())
            throw ThumbnailCancelled();
        runWithOwnStandardErrorMuted([&] {
            check(picture,
                  rgb ? heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                                          alpha ? heif_chroma_interleaved_RGBA
                                                : heif_chroma_interleaved_RGB,
                                          options.get())
                      : heif_decode_image(handle.get(), &decoded, heif_colorspace_undefined,
                                          heif_chroma_undefined, options.get()));
        });
        return std::shared_ptr<heif_image>(decoded, heif_image_release);
    };
    runWithOwnStandardErrorMuted([&] {
        context.reset(heif_context_alloc());
        check(picture, heif_context_read_from_memory_without_copy(
                           context.get(), bytes.constData(), std::size_t(bytes.size()), nullptr));
        heif_image_handle* rawHandle = nullptr;
        check(picture, heif_context_get_primary_image_handle(context.get(), &rawHandle));
        handle.reset(rawHandle);
        if (thumbnail) {
            const QSize upright = measuredPixels(picture);
            handle = thumbnailItem(handle.get(), fittedPixels(upright, shown), upright);
            found = handle != nullptr;
        }
    });
    if (!found)
        return std::nullopt;
    alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    icc = heifProfile(handle.get());
    const bool planar = !alpha && heif_image_handle_get_luma_bits_per_pixel(handle.get()) == 8 &&
                        heif_image_handle_get_chroma_bits_per_pixel(handle.get()) == 8;
    std::shared_ptr<heif_image> owner;
    if (planar) {
        owner = decodeAs(false);
        d.stored =
            QSize(heif_image_get_primary_width(decoded), heif_image_get_primary_height(decoded));
        if (!d.stored.isEmpty()) {
            checkShape(picture, d.stored);
            d.image = fromPlanes(picture, decoded);
        }
    }
    if (!d.image) {
        owner.reset();
        owner = decodeAs(true);
        const int bands = alpha ? 4 : 3;
        int stride = 0;
        uchar* pixels = heif_image_get_plane(decoded, heif_channel_interleaved, &stride);
        d.stored = QSize(heif_image_get_width(decoded, heif_channel_interleaved),
                         heif_image_get_height(decoded, heif_channel_interleaved));
        if (!pixels || d.stored.isEmpty() || stride < d.stored.width() * bands)
            undecodable(picture, QStringLiteral("no picture decoded"));
        checkShape(picture, d.stored);
        // Rows packed together in place, as libvips reads them.
        const std::size_t row = std::size_t(d.stored.width()) * std::size_t(bands);
        for (int y = 1; y < d.stored.height() && std::size_t(stride) != row; ++y)
            std::memmove(pixels + std::size_t(y) * row,
                         pixels + std::size_t(y) * std::size_t(stride), row);
        d.image = wrapped(picture, pixels, d.stored, bands);
    }
    d.pixels = owner;
    setProfile(d.image.get(), icc);
    return d;
}

// The thumbnail in a JPEG's EXIF block, stored as the picture is (its orientation turns it
// too), when it is a JPEG of at least the stored size that fits `shown`, no larger than the
// picture and in its proportions. It is decoded here, small as it is, so that a damaged one is
// passed over for the picture itself.
std::optional<Decoded> decodeExifThumbnail(const Picture& picture, const MeasuredFile& file,
                                           QSize shown) {
    QFile device;
    if (!device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    const std::optional<ByteRange> range = readJpegExifThumbnail(ByteSource(device));
    if (!range)
        return std::nullopt;
    QByteArray bytes(range->length, Qt::Uninitialized);
    if (::pread(file.fd(), bytes.data(), std::size_t(range->length), range->offset) !=
        range->length)
        return std::nullopt;
    const Source source(vips_source_new_from_memory(bytes.constData(), std::size_t(bytes.size())));
    if (!source)
        return std::nullopt;
    const auto passOver = [] { return std::optional<Decoded>(); };
    Decoded d;
    d.photographic = true;
    auto load = [&](int shrink) {
        VipsImage* out = nullptr;
        const bool failed = vips_source_rewind(source.get()) ||
                            vips_jpegload_source(source.get(), &out, "shrink", shrink, "fail_on",
                                                 VIPS_FAIL_ON_TRUNCATED, nullptr);
        d.image.reset(failed ? nullptr : out);
        return !failed;
    };
    if (!load(1))
        return passOver();
    d.stored = sizeOf(d.image.get());
    const QSize upright = measuredPixels(picture);
    const QSize needed = fittedPixels(upright, shown);
    const QSize have = uprightOf(picture, d);
    if (have.width() < needed.width() || have.height() < needed.height() ||
        have.width() > upright.width() || have.height() > upright.height() ||
        !sameShape(have, upright))
        return std::nullopt;
    const double shrink = shrinkOnLoad(d.stored, storedTarget(picture, d, shown), 1.0);
    int factor = 1;
    while (factor < 8 && shrink >= factor * 2)
        factor *= 2;
    if (factor > 1 && !load(factor))
        return passOver();
    d.reservation.add(picture, d.stored,
                      qint64(VIPS_IMAGE_SIZEOF_PEL(d.image.get())) * area(sizeOf(d.image.get())));
    Image memory(vips_image_copy_memory(d.image.get()));
    if (!memory)
        return passOver();
    d.image = std::move(memory);
    return d;
}

} // namespace

namespace {

Decoded decodeHeif(const Picture& picture, const MeasuredFile& file, QSize shown,
                   const Cancelled& cancelled) {
    return *decodeHeifItem(picture, file, shown, false, cancelled);
}

std::optional<Decoded> heifThumbnail(const Picture& picture, const MeasuredFile& file,
                                     QSize shown) {
    return decodeHeifItem(picture, file, shown, true, {});
}

using Decode = Decoded (*)(const Picture&, const MeasuredFile&, QSize shown,
                           const Cancelled& cancelled);
using DecodeThumbnail = std::optional<Decoded> (*)(const Picture&, const MeasuredFile&,
                                                   QSize shown);

// Every pixel coded is decoded, however small the picture is shown: the time taken grows with
// the pixels, not with the file. Up to `anyFile` pixels (about a second of decoding here) a
// picture is decoded whatever its file; a larger one only when its file has a byte for every
// `perByte` of them. A real photo has many more bytes, while a few over a huge canvas would take
// seconds of decoding for nothing.
struct PixelBound {
    qint64 anyFile = 0;
    qint64 perByte = 0;
};

// A tile of deflated nothing, 13,924 times over 30,000 x 30,000, took 8.7 s.
constexpr PixelBound kPixelByPixel{qint64(1) << 27, 8};
// HEVC and AV1 code a flat picture in next to nothing, yet libde265 or dav1d and libheif's
// conversion to RGB take six times as long a pixel: 8,192 x 8,192 of one colour in 40 KB took
// 3.9 s. A 48-megapixel photo as heif-enc makes it has a byte for every 3 pixels, one blurred
// all over a byte for every 73.
constexpr PixelBound kPredicted{qint64(1) << 24, 256};
// A JPEG shrunk while decoded skips most of the work; a metafile is not decoded.
constexpr PixelBound kUnbound{};

// The decoder of each format, in the order of the format table; none for the metafiles, which
// are stored as they are.
struct DecoderRow {
    PictureFormat format;
    Decode decode;
    // From the thumbnail the file carries, where the format has one.
    DecodeThumbnail thumbnail;
    PixelBound bound;
};

constexpr DecoderRow kDecoders[] = {
    {PictureFormat::Png, decodePng, nullptr, kPixelByPixel},
    {PictureFormat::Jpeg, decodeJpeg, decodeExifThumbnail, kUnbound},
    {PictureFormat::Gif, decodeGif, nullptr, kPixelByPixel},
    {PictureFormat::Bmp, decodeBmp, nullptr, kPixelByPixel},
    {PictureFormat::Tiff, decodeTiff, nullptr, kPixelByPixel},
    {PictureFormat::Wmf, nullptr, nullptr, kUnbound},
    {PictureFormat::Emf, nullptr, nullptr, kUnbound},
    {PictureFormat::Heic, decodeHeif, heifThumbnail, kPredicted},
    {PictureFormat::Heif, decodeHeif, heifThumbnail, kPredicted},
    {PictureFormat::Avif, decodeHeif, heifThumbnail, kPredicted},
    {PictureFormat::Webp, decodeWebp, nullptr, kPixelByPixel},
};

static_assert(std::size(kDecoders) == std::size_t(PictureFormat::Count));

constexpr bool inTableOrder() {
    for (std::size_t i = 0; i < std::size(kDecoders); ++i) {
        if (kDecoders[i].format != PictureFormat(i) ||
            kPictureFormats[i].format != PictureFormat(i))
            return false;
    }
    return true;
}
static_assert(inTableOrder());

const DecoderRow& decoderOf(PictureFormat format) {
    return kDecoders[std::size_t(format) < std::size(kDecoders) ? std::size_t(format) : 0];
}

} // namespace

std::optional<Decoded> decodeThumbnail(const Picture& picture, const MeasuredFile& file,
                                       QSize shown) {
    const DecodeThumbnail thumbnail = decoderOf(picture.format).thumbnail;
    return thumbnail ? thumbnail(picture, file, shown) : std::nullopt;
}

// --- Resizing, turning, encoding ----------------------------------------------------------

Image resized(const Picture& picture, Image image, QSize target) {
    if (sizeOf(image.get()) == target)
        return image;
    const double hscale = double(target.width()) / image->Xsize;
    const double vscale = double(target.height()) / image->Ysize;
    const bool alpha = vips_image_hasalpha(image.get());
    const VipsBandFormat format = image->BandFmt;
    VipsImage* out = nullptr;
    // Colours under transparent pixels must not bleed into their neighbours.
    if (alpha) {
        if (vips_premultiply(image.get(), &out, nullptr))
            vipsFailed(picture);
        image.reset(out);
    }
    if (vips_resize(image.get(), &out, hscale, "vscale", vscale, "kernel", VIPS_KERNEL_LANCZOS3,
                    nullptr))
        vipsFailed(picture);
    image.reset(out);
    if (alpha) {
        if (vips_unpremultiply(image.get(), &out, nullptr))
            vipsFailed(picture);
        image.reset(out);
        if (vips_cast(image.get(), &out, format, nullptr))
            vipsFailed(picture);
        image.reset(out);
    }
    if (sizeOf(image.get()) != target) {
        if (vips_extract_area(image.get(), &out, 0, 0, std::min(target.width(), image->Xsize),
                              std::min(target.height(), image->Ysize), nullptr))
            vipsFailed(picture);
        image.reset(out);
    }
    return image;
}

Image turned(const Picture& picture, Image image, Reservation& reservation) {
    if (picture.orientation < 2 || picture.orientation > 8)
        return image;
    reservation.add(picture, sizeOf(image.get()),
                    qint64(VIPS_IMAGE_SIZEOF_PEL(image.get())) * area(sizeOf(image.get())));
    Image memory(vips_image_copy_memory(image.get()));
    if (!memory)
        vipsFailed(picture);
    image.reset();
    vips_image_set_int(memory.get(), VIPS_META_ORIENTATION, picture.orientation);
    VipsImage* out = nullptr;
    if (vips_autorot(memory.get(), &out, nullptr))
        vipsFailed(picture);
    return Image(out);
}

Decoded decode(const Picture& picture, const MeasuredFile& file, QSize shown,
               const Cancelled& cancelled) {
    if (injectedFault(IoCall::Allocate, FaultEntry::current()) == ENOMEM)
        throw std::bad_alloc();
    if (std::size_t(picture.format) >= std::size(kDecoders) ||
        !kDecoders[std::size_t(picture.format)].decode)
        undecodable(picture, QStringLiteral("the picture cannot be decoded"));
    const DecoderRow& row = kDecoders[std::size_t(picture.format)];
    const QSize pixels = measuredPixels(picture);
    if (row.bound.perByte > 0 && area(pixels) > row.bound.anyFile &&
        area(pixels) > row.bound.perByte * file.identity().size)
        tooLarge(picture, pixels);
    return row.decode(picture, file, shown, cancelled);
}

} // namespace slidemill::pictures
