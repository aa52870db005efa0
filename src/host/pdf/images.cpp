#include "host/pdf/images.h"

#include "core/runtimeerror.h"
#include "core/saveerror.h"
#include "pictures/picturemaker.h"
#include "slides/pictureformats.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <libdeflate.h>
#include <optional>
#include <unistd.h>

namespace slidemill::pdf {

using pictures::MadePicture;
using pictures::MeasuredFile;

namespace {

constexpr int kDeflateLevel = 6;

// What a JPEG's frame header says.
struct JpegFrame {
    int width = 0, height = 0, components = 0, precision = 0;
    bool adobe = false;
};

std::optional<JpegFrame> jpegFrame(const QByteArray& jpeg) {
    const auto* p = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return std::nullopt;
    JpegFrame frame;
    qsizetype i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return std::nullopt;
        const unsigned char marker = p[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const int length = (p[i + 2] << 8) | p[i + 3];
        if (length < 2 || i + 2 + length > n)
            return std::nullopt;
        const unsigned char* body = p + i + 4;
        if (marker == 0xEE && length >= 7 && std::memcmp(body, "Adobe", 5) == 0)
            frame.adobe = true;
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 8)
                return std::nullopt;
            frame.precision = body[0];
            frame.height = (body[1] << 8) | body[2];
            frame.width = (body[3] << 8) | body[4];
            frame.components = body[5];
            // Arithmetic coding and lossless frames are beyond what every reader takes.
            if (marker >= 0xC3)
                return std::nullopt;
            if (frame.precision != 8 || frame.width == 0 || frame.height == 0 ||
                (frame.components != 1 && frame.components != 3 && frame.components != 4))
                return std::nullopt;
            return frame;
        }
        if (marker == 0xDA || marker == 0xD9)
            return std::nullopt;
        i += 2 + length;
    }
    return std::nullopt;
}

// A PNG whose compressed rows PDF reads as they are (not interlaced, no transparency, grey or
// palette or 8-bit RGB): its rows, not decoded; none otherwise.
std::optional<StoredImage> pngImage(const QByteArray& png, bool grey, int orientation) {
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return std::nullopt;
    StoredImage image;
    image.orientation = orientation;
    int colourType = -1;
    QByteArray palette;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qint64 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > png.size() - at - 12)
            return std::nullopt;
        const char* data = png.constData() + at + 8;
        if (type == "IHDR" && length >= 13) {
            image.width = int(qFromBigEndian<quint32>(data));
            image.height = int(qFromBigEndian<quint32>(data + 4));
            image.bits = quint8(data[8]);
            colourType = quint8(data[9]);
            // Compression, filter method and interlacing.
            if (data[10] || data[11] || data[12])
                return std::nullopt;
        } else if (type == "PLTE") {
            palette = QByteArray(data, qsizetype(length));
        } else if (type == "tRNS") {
            return std::nullopt;
        } else if (type == "IDAT") {
            image.data.append(data, qsizetype(length));
        } else if (type == "IEND") {
            break;
        }
        at += 12 + qsizetype(length);
    }
    const bool lowBits = image.bits == 1 || image.bits == 2 || image.bits == 4 || image.bits == 8;
    if (colourType == 0 && lowBits) {
        image.components = 1;
        image.colourSpace = "/DeviceGray";
    } else if (colourType == 2 && image.bits == 8 && !grey) {
        image.components = 3;
        image.colourSpace = "/DeviceRGB";
    } else if (colourType == 3 && lowBits && !grey && !palette.isEmpty() &&
               palette.size() % 3 == 0) {
        image.components = 1;
        image.colourSpace = "[/Indexed/DeviceRGB " + QByteArray::number(palette.size() / 3 - 1) +
                            '<' + palette.toHex() + ">]";
    } else {
        return std::nullopt;
    }
    if (image.width <= 0 || image.height <= 0 || image.data.isEmpty())
        return std::nullopt;
    image.decodeParms = "<</Predictor 15/Colors " +
                        QByteArray::number(image.components == 3 ? 3 : 1) + "/BitsPerComponent " +
                        QByteArray::number(image.bits) + "/Columns " +
                        QByteArray::number(image.width) + ">>";
    return image;
}

// The picture's file, still the one measured, with the orientation it was measured with.
std::shared_ptr<const MeasuredFile> openMeasured(const Picture& picture) {
    auto file = std::make_shared<const MeasuredFile>(picture.path, picture.file);
    if (picture.orientationOffset >= 0) {
        char field[2];
        if (::pread(file->fd(), field, 2, picture.orientationOffset) != 2 ||
            int(picture.orientationBigEndian
                    ? qFromBigEndian<quint16>(field)
                    : qFromLittleEndian<quint16>(field)) != picture.orientation)
            pictureChanged(picture.path);
    }
    return file;
}

StoredImage dctImage(QByteArray bytes, const JpegFrame& frame, int orientation) {
    StoredImage image;
    image.data = std::move(bytes);
    image.dct = true;
    image.components = frame.components;
    image.invertCmyk = frame.components == 4 && frame.adobe;
    image.width = frame.width;
    image.height = frame.height;
    image.orientation = orientation;
    return image;
}

QImage decode(const QByteArray& bytes, const QString& path) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The placement turns it, as it turns a JPEG kept as it is.
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(
            errInvalidPicture,
            QStringLiteral("the picture cannot be decoded: %1").arg(reader.errorString()), path);
    return image;
}

// Rows of `image` (8-bit grey or RGB) end to end, compressed.
QByteArray packedRows(const QImage& image, int bytesPerPixel) {
    const int row = image.width() * bytesPerPixel;
    QByteArray packed;
    packed.resize(qsizetype(row) * image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(packed.data() + qsizetype(y) * row, image.constScanLine(y), std::size_t(row));
    return zlibCompress(packed);
}

StoredImage flateImage(const QImage& decoded, bool grey, int orientation) {
    StoredImage image;
    image.width = decoded.width();
    image.height = decoded.height();
    image.orientation = orientation;
    image.components = grey ? 1 : 3;
    image.data = grey ? packedRows(decoded.convertToFormat(QImage::Format_Grayscale8), 1)
                      : packedRows(decoded.convertToFormat(QImage::Format_RGB888), 3);
    if (decoded.hasAlphaChannel()) {
        const QImage alpha = decoded.convertToFormat(QImage::Format_Alpha8);
        bool opaque = true;
        for (int y = 0; y < alpha.height() && opaque; ++y) {
            const uchar* line = alpha.constScanLine(y);
            for (int x = 0; x < alpha.width(); ++x)
                if (line[x] != 0xFF) {
                    opaque = false;
                    break;
                }
        }
        if (!opaque)
            image.alpha = packedRows(alpha, 1);
    }
    return image;
}

} // namespace

QByteArray zlibCompress(const char* data, std::size_t size) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(kDeflateLevel);
    if (!c)
        throw RuntimeError(errOutOfMemory);
    QByteArray out;
    out.resize(qsizetype(libdeflate_zlib_compress_bound(c, size)));
    const std::size_t n =
        libdeflate_zlib_compress(c, data, size, out.data(), std::size_t(out.size()));
    libdeflate_free_compressor(c);
    out.resize(qsizetype(n));
    return out;
}

QByteArray zlibCompress(const QByteArray& bytes) {
    return zlibCompress(bytes.constData(), std::size_t(bytes.size()));
}

// The picture as the .pptx stores it at `shown` pixels (the same copy where one is made), in
// greys when asked: a JPEG in greys is made one anew, as the deck's greys effect cannot be had.
StoredImage storedImage(const Picture& picture, QSize shown, bool grey) {
    MadePicture made;
    if (pictures::mustMake(picture, shown))
        made = pictures::makePicture(picture, shown);
    const bool kept = made.bytes.isEmpty();
    const PictureFormat format = kept ? picture.format : made.format;
    if (format == PictureFormat::Wmf || format == PictureFormat::Emf)
        return {};
    const int orientation =
        kept && formatRow(picture.format).storage == Storage::AsIs ? picture.orientation : 1;
    QByteArray bytes = std::move(made.bytes);
    if (kept) {
        const std::shared_ptr<const MeasuredFile> file = openMeasured(picture);
        const qint64 size = file->identity().size;
        // A JPEG kept goes in from its file: only as much is read as holds its frame header.
        for (qint64 n = std::min<qint64>(size, 1 << 16);; n = std::min(size, n * 4)) {
            bytes = file->read(0, n);
            if (format != PictureFormat::Jpeg || grey || n == size)
                break;
            if (const std::optional<JpegFrame> frame = jpegFrame(bytes)) {
                StoredImage image = dctImage({}, *frame, orientation);
                image.file = file;
                return image;
            }
        }
        if (format != PictureFormat::Jpeg || grey)
            bytes = file->read(0, size);
        file->checkUnchanged();
    }
    if (format == PictureFormat::Jpeg && !grey)
        if (const std::optional<JpegFrame> frame = jpegFrame(bytes))
            return dctImage(std::move(bytes), *frame, orientation);
    if (format == PictureFormat::Png)
        if (std::optional<StoredImage> image = pngImage(bytes, grey, orientation))
            return std::move(*image);
    const QImage decoded = decode(bytes, picture.path);
    if (grey && format == PictureFormat::Jpeg) {
        QByteArray jpeg;
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(pictures::kMadeJpegQuality);
        if (writer.write(decoded.convertToFormat(QImage::Format_Grayscale8)))
            if (const std::optional<JpegFrame> frame = jpegFrame(jpeg))
                return dctImage(std::move(jpeg), *frame, orientation);
    }
    return flateImage(decoded, grey, orientation);
}

} // namespace slidemill::pdf
