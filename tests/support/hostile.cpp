#include "support/hostile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>
#include <zlib.h>

namespace slidemill::test {

namespace {

// A progressive JPEG whose last scan is given `copies` more times before its end.
QByteArray manyScans(const QByteArray& progressive, int copies) {
    const qsizetype last = progressive.lastIndexOf("\xff\xda");
    const qsizetype end = progressive.lastIndexOf("\xff\xd9");
    const QByteArray scan = progressive.mid(last, end - last);
    return progressive.left(end) + scan.repeated(copies) + progressive.mid(end);
}

void appendLe(QByteArray& bytes, quint32 value, int size) {
    char b[4];
    qToLittleEndian<quint32>(value, b);
    bytes.append(b, size);
}

// The PNG with `n` zTXt chunks of `megabytes` of text each, right after its header.
QByteArray withCompressedText(QByteArray png, int n, int megabytes) {
    const QByteArray chunk =
        pngChunk("zTXt", QByteArray("Comment\0\0", 9) +
                             qCompress(QByteArray(megabytes << 20, '\0'), 9).mid(4));
    for (int i = 0; i < n; ++i)
        png.insert(33, chunk);
    return png;
}

} // namespace

QByteArray pngChunk(const char* type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data;
    const quint32 crc =
        quint32(::crc32(::crc32(0, reinterpret_cast<const Bytef*>(type), 4),
                        reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
    QByteArray tail(4, '\0');
    qToBigEndian<quint32>(crc, tail.data());
    return chunk + tail;
}

QByteArray textChunk(const char* type, const QByteArray& key, const QByteArray& value) {
    return qstrcmp(type, "zTXt") == 0
               ? pngChunk(type, key + '\0' + '\0' + qCompress(value, 9).mid(4))
               : pngChunk(type, key + '\0' + value);
}

QByteArray thumbnailPng(const QImage& image, const QList<QPair<QByteArray, QByteArray>>& keys,
                        const QByteArray& more) {
    QByteArray chunks;
    for (const auto& [key, value] : keys)
        chunks += textChunk("tEXt", key, value);
    return encodedImage(image, "png").insert(33, chunks + more);
}

QImage noisyPhoto(int w, int h, quint32 seed) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(random.bounded(24));
            line[x] = qRgb(std::min(255, x * 200 / w + n), std::min(255, y * 200 / h + n),
                           std::min(255, 120 + n));
        }
    }
    return image;
}

QByteArray encodedImage(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray encodedProgressive(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return bytes;
}

QByteArray craftedTiff(QList<QPair<quint16, quint32>> tags, const QByteArray& data) {
    tags << QPair<quint16, quint32>{258, 8} << QPair<quint16, quint32>{262, 1}
         << QPair<quint16, quint32>{277, 1} << QPair<quint16, quint32>{273, 0}
         << QPair<quint16, quint32>{279, quint32(data.size())};
    std::sort(tags.begin(), tags.end());
    const quint32 dataAt = 8 + 2 + 12 * quint32(tags.size()) + 4;
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    appendLe(tiff, quint32(tags.size()), 2);
    for (const auto& [tag, value] : tags) {
        appendLe(tiff, tag, 2);
        appendLe(tiff, 4, 2);
        appendLe(tiff, 1, 4);
        appendLe(tiff, tag == 273 ? dataAt : value, 4);
    }
    appendLe(tiff, 0, 4);
    return tiff + data;
}

QList<HostileFile> hostileFiles() {
    const QByteArray progressive = encodedProgressive(noisyPhoto(1280, 960));
    return {
        {"tiff compressed with JPEG 2000, for OpenJPEG", QStringLiteral("j2k.tif"),
         craftedTiff({{256, 1600}, {257, 1200}, {259, 34712}, {278, 1200}}, QByteArray(256, 'j')),
         QStringLiteral("the TIFF's compression (34712, JPEG 2000) cannot be decoded")},
        // 900 MB in one strip, which libtiff decodes whole: 11 s before.
        {"tiff of 30000 x 30000 in one strip", QStringLiteral("strip.tif"),
         craftedTiff({{256, 30000}, {257, 30000}, {259, 8}, {278, 30000}},
                     qCompress(QByteArray(1 << 20, '\0')).mid(4)),
         QStringLiteral("too large to decode")},
        {"tiff of 30000 x 30000 in strips of 8 rows", QStringLiteral("strips.tif"),
         craftedTiff({{256, 30000}, {257, 30000}, {259, 32946}, {278, 8}}, QByteArray(64, 'x')),
         QStringLiteral("too large to decode")},
        {"progressive jpeg of 150 scans", QStringLiteral("scans.jpg"), manyScans(progressive, 150),
         QStringLiteral("more than 100 scans")},
        {"progressive jpeg as Qt writes it, made", QStringLiteral("fine.jpg"), progressive, {}},
        // 54 s for 50 such chunks before: libpng inflated each.
        {"png with 2000 MiB of compressed text",
         QStringLiteral("text.png"),
         withCompressedText(encodedImage(noisyPhoto(1600, 1200), "png"), 50, 40),
         {}},
    };
}

} // namespace slidemill::test
