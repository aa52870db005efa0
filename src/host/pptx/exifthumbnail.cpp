#include "host/pptx/exifthumbnail.h"

#include <algorithm>

namespace slidemill::pptx {

namespace {

// Segments looked at before the first scan; cameras write a handful.
constexpr int kMostSegments = 64;
// Entries read of IFD1, which holds a dozen.
constexpr int kMostEntries = 256;

enum Tag : quint16 { kCompression = 0x0103, kThumbnailOffset = 0x0201, kThumbnailLength = 0x0202 };

// The TIFF structure at [base, base + length): IFD0 is passed over for the offset of IFD1.
std::optional<ByteRange> fromTiff(const ByteSource& bytes, qint64 base, qint64 length) {
    const QByteArray order = bytes.read(base, 2);
    if (order != "II" && order != "MM")
        return std::nullopt;
    const bool be = order == "MM";
    auto u16 = [&](qint64 at) {
        return at + 2 <= length ? bytes.readU16(base + at, be) : std::nullopt;
    };
    auto u32 = [&](qint64 at) {
        return at + 4 <= length ? bytes.readU32(base + at, be) : std::nullopt;
    };
    const auto magic = u16(2);
    const auto ifd0 = u32(4);
    if (magic != 42 || !ifd0)
        return std::nullopt;
    const auto count0 = u16(*ifd0);
    if (!count0)
        return std::nullopt;
    const auto ifd1 = u32(qint64(*ifd0) + 2 + 12 * qint64(*count0));
    if (!ifd1 || *ifd1 == 0)
        return std::nullopt;
    const auto count1 = u16(*ifd1);
    if (!count1)
        return std::nullopt;
    qint64 offset = -1, size = -1;
    int compression = 6;
    for (int i = 0; i < std::min<int>(*count1, kMostEntries); ++i) {
        const qint64 entry = qint64(*ifd1) + 2 + 12 * qint64(i);
        const auto tag = u16(entry);
        const auto type = u16(entry + 2);
        if (!tag || !type)
            return std::nullopt;
        // A SHORT value sits in the first two bytes of the field, a LONG fills it.
        const auto value = *type == 3 ? std::optional<quint32>(u16(entry + 8)) : u32(entry + 8);
        if (!value)
            return std::nullopt;
        if (*tag == kThumbnailOffset)
            offset = *value;
        else if (*tag == kThumbnailLength)
            size = *value;
        else if (*tag == kCompression)
            compression = int(*value);
    }
    // Compression 6 is JPEG; 1 keeps the thumbnail as strips of raw pixels.
    if (compression != 6 || offset <= 0 || size <= 4 || offset > length - size ||
        bytes.readU16Be(base + offset) != 0xFFD8)
        return std::nullopt;
    return ByteRange{base + offset, size};
}

} // namespace

std::optional<ByteRange> exifThumbnail(const ByteSource& bytes) {
    if (bytes.readU16Be(0) != 0xFFD8)
        return std::nullopt;
    qint64 at = 2;
    for (int n = 0; n < kMostSegments; ++n) {
        const auto marker = bytes.readU16Be(at);
        if (!marker || (*marker >> 8) != 0xFF)
            return std::nullopt;
        if (*marker == 0xFFFF) {
            ++at; // a fill byte
            continue;
        }
        // The first scan or frame: the EXIF block, if any, came before it.
        if (*marker == 0xFFDA || *marker == 0xFFD9 ||
            (*marker >= 0xFFC0 && *marker <= 0xFFCF && *marker != 0xFFC4 && *marker != 0xFFCC))
            return std::nullopt;
        const auto length = bytes.readU16Be(at + 2);
        if (!length || *length < 2)
            return std::nullopt;
        if (*marker == 0xFFE1 && *length >= 16 &&
            bytes.read(at + 4, 6) == QByteArray("Exif\0\0", 6))
            // A segment that claims more than the file holds is read as far as it goes.
            return fromTiff(bytes, at + 10,
                            std::min(qint64(*length) - 8, bytes.size() - (at + 10)));
        at += 2 + qint64(*length);
    }
    return std::nullopt;
}

} // namespace slidemill::pptx
