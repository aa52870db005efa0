#include "slides/picturemetrics.h"

#include "core/messagehandler.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"
#include "slides/bytesource.h"
#include "slides/exif.h"
#include "slides/metafile.h"

#include <QFile>
#include <QImageReader>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace slidemill {

namespace {

[[noreturn]] void invalid(const QString& path) {
    throw RuntimeError::withFile(errInvalidPicture, path);
}

// The format by the file's first bytes, whatever its name says.
std::optional<PictureFormat> sniff(const ByteSource& bytes) {
    const QByteArray head = bytes.read(0, qMin<qint64>(bytes.size(), 8));
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return PictureFormat::Png;
    if (head.startsWith("\xFF\xD8\xFF"))
        return PictureFormat::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return PictureFormat::Gif;
    if (head.startsWith("BM"))
        return PictureFormat::Bmp;
    if (head.startsWith(QByteArrayView("II*\0", 4)) || head.startsWith(QByteArrayView("MM\0*", 4)))
        return PictureFormat::Tiff;
    if (looksLikePlaceableWmf(bytes))
        return PictureFormat::Wmf;
    if (looksLikeEmf(bytes))
        return PictureFormat::Emf;
    return std::nullopt;
}

const char* qtFormatName(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return "png";
    case PictureFormat::Jpeg:
        return "jpeg";
    case PictureFormat::Gif:
        return "gif";
    case PictureFormat::Bmp:
        return "bmp";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::Wmf:
    case PictureFormat::Emf:
        break;
    }
    return "";
}

// The size in pixels as stored (first frame or page), from the header through Qt's reader.
std::optional<QSize> storedSize(QIODevice& device, PictureFormat format) {
    if (!device.seek(0))
        return std::nullopt;
    QImageReader reader(&device, qtFormatName(format));
    reader.setAutoDetectImageFormat(false);
    // Qt may turn the size by the EXIF orientation; the turn is applied here, once.
    reader.setAutoTransform(false);
    QSize size;
    {
        const LibraryOutputMuted muted;
        size = reader.size();
    }
    // A top-down BMP stores its height negative, and Qt hands that on as the size.
    if (format == PictureFormat::Bmp && size.height() < 0 && size.height() > INT_MIN)
        size.setHeight(-size.height());
    if (size.width() <= 0 || size.height() <= 0)
        return std::nullopt;
    return size;
}

// Pixels at 96 per inch in 1/100 mm; empty when beyond 32 bits.
std::optional<std::int32_t> pixelsToHimetric(qint64 pixels) {
    const std::int64_t h = roundedQuotient(pixels * 2540, 96);
    if (pixels <= 0 || h > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(h);
}

} // namespace

Picture readPicture(const QString& path) {
    // Non-blocking, or a FIFO would hang here; it is refused below.
    const int fd = path.isEmpty()
                       ? -1
                       : ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && (path.isEmpty() || errno == ENOENT || errno == ENOTDIR))
        throw RuntimeError::withFile(errFileNotFound, path);
    QFile file;
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        invalid(path);
    }
    Picture p = readPicture(file, path);
    // Taken before the header was read: a change since shows as another identity.
    p.file = identityOf(st);
    return p;
}

Picture readPicture(QIODevice& device, const QString& path) {
    if (!device.isOpen() || device.isSequential())
        invalid(path);
    const ByteSource bytes(device);
    const auto format = sniff(bytes);
    if (!format)
        invalid(path);

    Picture p;
    p.path = path;
    p.format = *format;
    std::optional<HimetricSize> size;
    if (*format == PictureFormat::Wmf) {
        size = readPlaceableWmfSize(bytes);
    } else if (*format == PictureFormat::Emf) {
        size = readEmfSize(bytes);
    } else {
        const auto pixels = storedSize(device, *format);
        if (!pixels)
            invalid(path);
        ExifOrientation orientation;
        if (*format == PictureFormat::Jpeg)
            orientation = readJpegOrientation(bytes);
        else if (*format == PictureFormat::Tiff)
            orientation = readTiffOrientation(bytes);
        p.orientation = orientation.value;
        p.orientationOffset = orientation.offset;
        p.orientationBigEndian = orientation.bigEndian;
        const auto w = pixelsToHimetric(pixels->width());
        const auto h = pixelsToHimetric(pixels->height());
        if (w && h)
            size = HimetricSize{*w, *h};
    }
    if (!size)
        invalid(path);
    p.widthHimetric = size->width;
    p.heightHimetric = size->height;
    // 5 to 8 turn the picture a quarter: it shows with its sides exchanged.
    if (p.orientation >= 5)
        std::swap(p.widthHimetric, p.heightHimetric);
    return p;
}

QString contentType(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("image/png");
    case PictureFormat::Jpeg:
        return QStringLiteral("image/jpeg");
    case PictureFormat::Gif:
        return QStringLiteral("image/gif");
    case PictureFormat::Bmp:
        return QStringLiteral("image/bmp");
    case PictureFormat::Tiff:
        return QStringLiteral("image/tiff");
    case PictureFormat::Wmf:
        return QStringLiteral("image/x-wmf");
    case PictureFormat::Emf:
        return QStringLiteral("image/x-emf");
    }
    return {};
}

QString extension(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("png");
    case PictureFormat::Jpeg:
        return QStringLiteral("jpeg");
    case PictureFormat::Gif:
        return QStringLiteral("gif");
    case PictureFormat::Bmp:
        return QStringLiteral("bmp");
    case PictureFormat::Tiff:
        return QStringLiteral("tiff");
    case PictureFormat::Wmf:
        return QStringLiteral("wmf");
    case PictureFormat::Emf:
        return QStringLiteral("emf");
    }
    return {};
}

} // namespace slidemill
