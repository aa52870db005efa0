// The photos the benchmarks make: 12 megapixels as phones take them, compressing as a photo
// does, with the EXIF thumbnail phones write.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

namespace slidemill::bench {

// Gradients with fine noise, so that it compresses about as a photo does: 3.2 MB as a JPEG of
// quality 92. Another seed gives another photo of the same size.
inline QImage photo(int w, int h, quint32 seed = 20240601) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(random.bounded(16));
            line[x] = qRgb(40 + x * 180 / w + n, 60 + y * 160 / h + n, 140 + n);
        }
    }
    return image;
}

inline QByteArray jpeg(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

namespace detail {

inline void putU16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

inline void putU32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// One IFD entry of a single SHORT (type 3) or LONG (4) value.
inline void putEntry(QByteArray& out, quint16 tag, quint16 type, quint32 value) {
    putU16(out, tag);
    putU16(out, type);
    putU32(out, 1);
    putU32(out, value);
}

} // namespace detail

// The JPEG with an EXIF block after its SOI: IFD0 with the orientation, IFD1 with the thumbnail.
inline QByteArray withExifThumbnail(const QByteArray& photo, const QByteArray& thumbnail) {
    using namespace detail;
    QByteArray tiff("II*\0", 4);
    putU32(tiff, 8);
    putU16(tiff, 1);
    putEntry(tiff, 0x0112, 3, 1);
    putU32(tiff, quint32(tiff.size() + 4)); // IFD1 follows
    const quint32 at = quint32(tiff.size() + 2 + 3 * 12 + 4);
    putU16(tiff, 3);
    putEntry(tiff, 0x0103, 3, 6);
    putEntry(tiff, 0x0201, 4, at);
    putEntry(tiff, 0x0202, 4, quint32(thumbnail.size()));
    putU32(tiff, 0);
    tiff += thumbnail;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((tiff.size() + 8) >> 8)).append(char((tiff.size() + 8) & 0xFF));
    return photo.left(2) + segment + QByteArray("Exif\0\0", 6) + tiff + photo.mid(2);
}

// A phone's photo of w x h with a 320 x 240 EXIF thumbnail, which previews are made from.
inline QByteArray phonePhoto(const QImage& image) {
    return withExifThumbnail(
        jpeg(image, 92),
        jpeg(image.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 85));
}

} // namespace slidemill::bench
