#include "slides/webp.h"

#include "slides/exif.h"

namespace slidemill {

namespace {

std::optional<quint32> readU24Le(const ByteSource& bytes, qint64 at) {
    const auto low = bytes.readU16Le(at);
    const auto high = bytes.readU8(at + 2);
    if (!low || !high)
        return std::nullopt;
    return quint32(*low) | quint32(*high) << 16;
}

struct Chunk {
    QByteArray type;
    qint64 start = 0;
    qint64 size = 0;
};

// A lossy key frame: 3 bytes of frame tag, the start code, then 14-bit width and height.
std::optional<WebpPicture> readVp8(const ByteSource& bytes, const Chunk& c) {
    const auto tag = bytes.readU8(c.start);
    const auto w = bytes.readU16Le(c.start + 6);
    const auto h = bytes.readU16Le(c.start + 8);
    if (c.size < 10 || !tag || (*tag & 1) != 0 || !w || !h || (*w & 0x3FFF) == 0 ||
        (*h & 0x3FFF) == 0 || bytes.read(c.start + 3, 3) != QByteArrayView("\x9d\x01\x2a", 3))
        return std::nullopt;
    return WebpPicture{*w & 0x3FFF, *h & 0x3FFF, 1, false, {}};
}

// A lossless stream: the signature 0x2F, then 14 bits each of width and height less one, the
// alpha hint and a version of 0.
std::optional<WebpPicture> readVp8l(const ByteSource& bytes, const Chunk& c) {
    const auto bits = bytes.readU32Le(c.start + 1);
    if (c.size < 5 || bytes.readU8(c.start) != 0x2F || !bits || (*bits >> 29) != 0)
        return std::nullopt;
    return WebpPicture{
        (*bits & 0x3FFF) + 1, ((*bits >> 14) & 0x3FFF) + 1, 1, ((*bits >> 28) & 1) != 0, {}};
}

} // namespace

bool looksLikeWebp(const ByteSource& bytes) {
    return bytes.read(0, 4) == "RIFF" && bytes.read(8, 4) == "WEBP";
}

bool webpIsWhole(const ByteSource& bytes) {
    const auto riffSize = bytes.readU32Le(4);
    return riffSize && bytes.has(8, *riffSize);
}

std::optional<WebpPicture> readWebp(const ByteSource& bytes) {
    const auto riffSize = bytes.readU32Le(4);
    // A file cut short ends before its RIFF size says.
    if (!looksLikeWebp(bytes) || !riffSize || !bytes.has(8, *riffSize))
        return std::nullopt;
    const qint64 end = 8 + qint64(*riffSize);
    std::optional<WebpPicture> picture;
    std::optional<WebpPicture> extended;
    ExifFacts exif;
    for (qint64 at = 12; at + 8 <= end;) {
        const Chunk c{bytes.read(at, 4), at + 8, qint64(bytes.readU32Le(at + 4).value_or(0))};
        if (c.size > end - c.start)
            return std::nullopt;
        if (c.type == "VP8X" && at == 12) {
            const auto flags = bytes.readU8(c.start);
            const auto w = readU24Le(bytes, c.start + 4);
            const auto h = readU24Le(bytes, c.start + 7);
            if (c.size < 10 || !flags || !w || !h)
                return std::nullopt;
            extended = WebpPicture{qint64(*w) + 1, qint64(*h) + 1, 1, (*flags & 0x10) != 0, {}};
        } else if ((c.type == "VP8 " || c.type == "VP8L" || c.type == "ANMF") && !picture) {
            // An animation shows its first frame on a canvas the VP8X chunk sizes.
            picture = c.type == "VP8 "   ? readVp8(bytes, c)
                      : c.type == "VP8L" ? readVp8l(bytes, c)
                                         : extended;
            if (!picture)
                return std::nullopt;
        } else if (c.type == "EXIF") {
            // Some writers keep the JPEG segment's "Exif\0\0" in front of the TIFF header.
            const bool prefixed =
                c.size >= 6 && bytes.read(c.start, 6) == QByteArrayView("Exif\0\0", 6);
            const qint64 skip = prefixed ? 6 : 0;
            exif = readTiffExif(bytes, c.start + skip, c.size - skip);
        }
        // Chunks are padded to an even size.
        at = c.start + c.size + (c.size & 1);
    }
    if (!picture)
        return std::nullopt;
    if (extended) {
        picture->width = extended->width;
        picture->height = extended->height;
        picture->alpha = extended->alpha;
    }
    picture->orientation = exif.orientation.value;
    picture->taken = exif.taken;
    return picture;
}

} // namespace slidemill
