#include "slides/cutshort.h"

#include <algorithm>
#include <array>
#include <vector>
#include <zlib.h>

namespace slidemill {

namespace {

// Steps over GIF data sub-blocks, which end with an empty one; -1 when the file ends first.
qint64 skipSubBlocks(const ByteSource& bytes, qint64 at) {
    while (const auto size = bytes.readU8(at)) {
        at += 1 + *size;
        if (*size == 0)
            return at;
    }
    return -1;
}

// The size of a GIF colour table announced by its packed field, in bytes.
qint64 colourTableSize(quint8 packed) {
    return (packed & 0x80) ? 3 * (qint64(2) << (packed & 7)) : 0;
}

// Where the marker after a scan's entropy-coded data starts: the next 0xFF that is neither a
// stuffed zero nor a restart marker. -1 when the file ends first.
qint64 endOfScan(const ByteSource& bytes, qint64 at) {
    for (;;) {
        at = bytes.find(char(0xFF), at);
        if (at < 0)
            return -1;
        qint64 next = at + 1;
        std::optional<quint8> b;
        while ((b = bytes.readU8(next)) == 0xFF)
            ++next;
        if (!b)
            return -1;
        if (*b != 0x00 && (*b < 0xD0 || *b > 0xD7))
            return next - 1;
        at = next + 1;
    }
}

// A run of bytes in the file.
struct Chunk {
    qint64 at = 0;
    qint64 size = 0;
};

// Whether the zlib stream held by these runs of the file, in order, reaches its end within
// `limit` bytes of output. Inflated through a small buffer and thrown away.
bool compressedStreamEnds(const ByteSource& bytes, const std::vector<Chunk>& runs, quint64 limit) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    std::array<unsigned char, 16384> out;
    int status = Z_OK;
    for (const Chunk& run : runs) {
        for (qint64 at = run.at; at < run.at + run.size && status == Z_OK;) {
            QByteArray in = bytes.read(at, qMin<qint64>(run.at + run.size - at, 65536));
            if (in.isEmpty())
                break;
            at += in.size();
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = uInt(in.size());
            while (z.avail_in > 0 && status == Z_OK) {
                z.next_out = out.data();
                z.avail_out = uInt(out.size());
                status = inflate(&z, Z_NO_FLUSH);
                if (z.total_out > limit)
                    status = Z_DATA_ERROR;
            }
        }
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

// TIFF field types that hold offsets and byte counts.
constexpr quint16 kShort = 3;
constexpr quint16 kLong = 4;

struct TiffArray {
    quint32 count = 0;
    qint64 at = -1; // where the values lie
    quint16 type = 0;
};

constexpr qint64 kTableBlock = 4096;

// n values of a TIFF array from the first-th on, read at once.
class TiffTable {
public:
    TiffTable(const TiffArray& a, const ByteSource& bytes, qint64 first, qint64 n, bool bigEndian)
        : wide_(a.type == kLong), bigEndian_(bigEndian),
          values_(bytes.read(a.at + first * (wide_ ? 4 : 2), n * (wide_ ? 4 : 2))) {}
    bool ok() const { return !values_.isEmpty(); }
    quint32 value(qint64 i) const {
        const ByteSource table{QByteArrayView(values_)};
        if (wide_)
            return table.readU32(i * 4, bigEndian_).value_or(0);
        return table.readU16(i * 2, bigEndian_).value_or(0);
    }

private:
    bool wide_;
    bool bigEndian_;
    QByteArray values_;
};

} // namespace

bool pngIsWhole(const ByteSource& bytes) {
    std::vector<Chunk> idat;
    for (qint64 at = 8;;) {
        const auto length = bytes.readU32Be(at);
        const QByteArray type = bytes.read(at + 4, 4);
        if (type == "IEND")
            return true; // IEND holds nothing; its checksum alone cannot spoil the picture
        // The data and its checksum.
        if (!length || type.isEmpty() || !bytes.has(at + 8, qint64(*length) + 4))
            break;
        if (type == "IDAT")
            idat.push_back({at + 8, qint64(*length)});
        at += 12 + qint64(*length);
    }
    // The file ends before IEND: whole when the picture's data is. The header bounds what
    // that data can inflate to (rows of filter byte and samples, with room for interlacing),
    // so a crafted stream cannot keep us busy.
    const auto width = bytes.readU32Be(16), height = bytes.readU32Be(20);
    const auto depth = bytes.readU8(24), colour = bytes.readU8(25);
    if (!width || !height || !depth || !colour)
        return false;
    static constexpr std::array<quint64, 7> channels = {1, 0, 3, 1, 2, 0, 4};
    const quint64 bitsPerPixel = quint64(*depth) * channels[std::min<std::size_t>(*colour, 6)];
    const quint64 row = 1 + (quint64(*width) * bitsPerPixel + 7) / 8;
    return compressedStreamEnds(bytes, idat, 2 * row * *height + 65536);
}

bool gifIsWhole(const ByteSource& bytes) {
    const auto screen = bytes.readU8(10);
    if (!screen)
        return false;
    qint64 at = 13 + colourTableSize(*screen);
    for (;;) {
        const auto block = bytes.readU8(at);
        if (!block)
            return false;
        if (*block == 0x3B)
            return false; // the trailer before any picture
        if (*block == 0x21) {
            at = skipSubBlocks(bytes, at + 2);
        } else if (*block == 0x2C) {
            const auto image = bytes.readU8(at + 9);
            // Descriptor, local colour table, LZW code size, then the data: the first picture
            // is what is shown.
            return image && skipSubBlocks(bytes, at + 10 + colourTableSize(*image) + 1) >= 0;
        } else {
            return true; // not a block a GIF reader knows; theirs to judge
        }
        if (at < 0)
            return false;
    }
}

bool jpegIsWhole(const ByteSource& bytes) {
    // An EOI can stand in scan data only as itself: a file that ends with one was not cut in
    // its scans, and walking megabytes of them to find that out would read every photo twice.
    // Only files with something after their last EOI are walked. Looked at once: a look at the
    // end for every scan would move the read window there and back each time.
    const bool endsWithEoi = bytes.read(bytes.size() - 2, 2) == QByteArrayView("\xFF\xD9", 2);
    qint64 at = 2;
    for (;;) {
        // Bytes before a marker are junk a decoder skips with a warning.
        at = bytes.find(char(0xFF), at);
        if (at < 0)
            return false;
        std::optional<quint8> marker;
        while ((marker = bytes.readU8(++at)) == 0xFF) {
        }
        ++at;
        if (!marker)
            return false;
        if (*marker == 0xD9)
            return true;
        if (*marker == 0x00 || *marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7))
            continue;
        if (*marker == 0xD8)
            return true; // a second SOI inside the picture: not a cut
        const auto length = bytes.readU16Be(at);
        if (!length || !bytes.has(at, *length))
            return false;
        if (*length < 2)
            return true;
        at += *length;
        if (*marker == 0xDA) {
            if (endsWithEoi)
                return true;
            at = endOfScan(bytes, at);
            if (at < 0)
                return false;
        }
    }
}

bool tiffIsWhole(const ByteSource& bytes) {
    const bool bigEndian = bytes.read(0, 2) == "MM";
    const auto ifd = bytes.readU32(4, bigEndian);
    const auto count = ifd ? bytes.readU16(*ifd, bigEndian) : std::nullopt;
    if (!count)
        return true; // no first page to judge; the reader refuses it
    // Strip offsets and byte counts, then tile offsets and byte counts.
    constexpr std::array<quint16, 4> tags = {273, 279, 324, 325};
    std::array<TiffArray, 4> arrays;
    for (qint64 i = 0; i < *count; ++i) {
        const qint64 entry = qint64(*ifd) + 2 + i * 12;
        const auto tag = bytes.readU16(entry, bigEndian);
        const auto type = bytes.readU16(entry + 2, bigEndian);
        const auto n = bytes.readU32(entry + 4, bigEndian);
        const auto offset = bytes.readU32(entry + 8, bigEndian);
        if (!tag || !type || !n || !offset)
            return false;
        for (std::size_t k = 0; k < tags.size(); ++k) {
            if (*tag != tags[k] || (*type != kShort && *type != kLong))
                continue;
            const qint64 size = qint64(*n) * (*type == kShort ? 2 : 4);
            arrays[k] = {*n, size <= 4 ? entry + 8 : qint64(*offset), *type};
        }
    }
    for (std::size_t k = 0; k < tags.size(); k += 2) {
        const TiffArray& offsets = arrays[k];
        const TiffArray& counts = arrays[k + 1];
        if (offsets.at < 0 || counts.at < 0 || offsets.count != counts.count)
            continue;
        // A block of each table at a time: the two may lie far apart, and reading them a value
        // each in turn would move the read window between them for every strip.
        for (qint64 first = 0; first < offsets.count; first += kTableBlock) {
            const qint64 n = qMin<qint64>(kTableBlock, offsets.count - first);
            const TiffTable starts{offsets, bytes, first, n, bigEndian};
            const TiffTable lengths{counts, bytes, first, n, bigEndian};
            if (!starts.ok() || !lengths.ok())
                return false;
            for (qint64 i = 0; i < n; ++i) {
                if (!bytes.has(starts.value(i), lengths.value(i)))
                    return false;
            }
        }
    }
    return true;
}

} // namespace slidemill
