#include "slides/exif.h"

namespace slidemill {

namespace {

constexpr quint16 orientationTag = 0x0112;
constexpr quint16 typeShort = 3;
constexpr qint64 ifdEntrySize = 12;
// Headers hold a few dozen segments and fill bytes before the scan; beyond these a file is not
// worth walking further, and a crafted one cannot keep us busy.
constexpr int maxSegments = 1024;
constexpr int maxFillBytes = 1024;

} // namespace

ExifOrientation readTiffOrientation(const ByteSource& bytes, qint64 base, qint64 length) {
    const qint64 end = length < 0 ? bytes.size() : base + length;
    if (base < 0 || length < -1 || end > bytes.size() || end - base < 8)
        return {};
    const QByteArray order = bytes.read(base, 2);
    const bool bigEndian = order == "MM";
    if (!bigEndian && order != "II")
        return {};
    const auto magic = bytes.readU16(base + 2, bigEndian);
    const auto ifdOffset = bytes.readU32(base + 4, bigEndian);
    if (magic != 42 || !ifdOffset || *ifdOffset < 8 || *ifdOffset > end - base - 2)
        return {};
    const qint64 ifd = base + *ifdOffset;
    const auto count = bytes.readU16(ifd, bigEndian);
    // The whole entry table must lie inside the block; a table cut short is not trusted.
    if (!count || ifd + 2 + *count * ifdEntrySize > end)
        return {};
    const QByteArray table = bytes.read(ifd + 2, *count * ifdEntrySize);
    const ByteSource entries{QByteArrayView(table)};
    for (qint64 at = 0; at < entries.size(); at += ifdEntrySize) {
        if (entries.readU16(at, bigEndian) != orientationTag)
            continue;
        const auto type = entries.readU16(at + 2, bigEndian);
        const auto n = entries.readU32(at + 4, bigEndian);
        const auto value = entries.readU16(at + 8, bigEndian);
        if (type != typeShort || n != 1u || !value || *value < 1 || *value > 8)
            return {};
        ExifOrientation found;
        found.value = *value;
        found.bigEndian = bigEndian;
        if (found.value != 1)
            found.offset = ifd + 2 + at + 8;
        return found;
    }
    return {};
}

ExifOrientation readJpegOrientation(const ByteSource& bytes) {
    if (bytes.readU16Be(0) != 0xFFD8)
        return {};
    qint64 at = 2;
    for (int segment = 0; segment < maxSegments; ++segment) {
        if (bytes.readU8(at) != 0xFF)
            return {};
        std::optional<quint8> marker;
        int fill = 0;
        while ((marker = bytes.readU8(++at)) == 0xFF) {
            if (++fill > maxFillBytes)
                return {};
        }
        ++at;
        if (!marker || *marker == 0x00 || *marker == 0xD9 || *marker == 0xDA)
            return {}; // the scan starts: the metadata is over
        if (*marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7))
            continue; // standalone markers carry no length
        const auto length = bytes.readU16Be(at);
        if (!length || *length < 2)
            return {};
        const qint64 payload = at + 2;
        const qint64 payloadSize = *length - 2;
        if (*marker == 0xE1 && payloadSize >= 6 &&
            bytes.read(payload, 6) == QByteArrayView("Exif\0\0", 6)) {
            // Only the first EXIF block counts, and only within its segment.
            return readTiffOrientation(bytes, payload + 6,
                                       qMin(payloadSize, bytes.size() - payload) - 6);
        }
        at = payload + payloadSize;
    }
    return {};
}

} // namespace slidemill
