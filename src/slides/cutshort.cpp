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

// How LibreOffice reads a GIF extension from its label on, where the reading runs into the end
// of the file: where the next block starts; kDrawn when the reading stops there with the
// pictures read so far; kEmpty when it gives up and shows nothing.
constexpr qint64 kDrawn = -1;
constexpr qint64 kEmpty = -2;

// Steps over sub-blocks as its reader does: each size byte is read after seeking past the
// sub-block before it, as far as the file goes, so one that runs past the end ends the reading
// without a picture (unless the byte read last happens to be a zero).
qint64 overreadSubBlocks(const ByteSource& bytes, qint64 at, quint8 size) {
    while (size != 0) {
        if (const qint64 n = qMin<qint64>(size + 1, bytes.size() - at); n > 0)
            at += n - 1;
        const auto next = bytes.readU8(at++);
        if (!next)
            return kEmpty;
        size = *next;
    }
    return at;
}

qint64 afterExtension(const ByteSource& bytes, qint64 at) {
    const auto label = bytes.readU8(at);
    const auto size = bytes.readU8(at + 1);
    // Without a size its reader takes the extension as empty, and the file as ended.
    if (!label || !size)
        return label == 0xF9 ? kEmpty : kDrawn;
    at += 2;
    if (*label == 0xF9) {
        // A graphic control extension is read as its 4 bytes and a terminator, whatever its size
        // says; a byte the file lacks reads as 0.
        const auto terminator = bytes.readU8(at + 4);
        if (*size != 4 || terminator.value_or(0) != 0)
            return kEmpty;
        return bytes.has(at, 5) ? at + 5 : kDrawn;
    }
    if (*label != 0xFF || *size != 11)
        return overreadSubBlocks(bytes, at, *size);
    // An application extension: its name, then the size of its first sub-block.
    const QByteArray name = bytes.read(at, 11);
    const auto first = bytes.readU8(at + 11);
    if (name.isEmpty() || !first)
        return kDrawn;
    at += 12;
    if (name != "NETSCAPE2.0" || *first != 3)
        return overreadSubBlocks(bytes, at, *first);
    // The loop count: a 1, two bytes and a terminator. A byte the file lacks leaves the one read
    // before it in place, and that must be the terminator's 0.
    const auto kind = bytes.readU8(at);
    if (!kind)
        return kEmpty;
    if (*kind != 1)
        return overreadSubBlocks(bytes, at, *first);
    quint8 last = 1;
    for (qint64 k = 1; k <= 3; ++k)
        last = bytes.readU8(at + k).value_or(last);
    if (last != 0)
        return kEmpty;
    return bytes.has(at, 4) ? at + 4 : kDrawn;
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

// Whether the runs of a run-length coded bitmap in [at, end) reach its end-of-bitmap code, or
// leave its last row, before they run out.
bool runsEnd(const ByteSource& bytes, qint64 at, qint64 end, qint64 rows, bool fourBits) {
    const auto next = [&]() -> std::optional<quint8> {
        return at < end ? bytes.readU8(at++) : std::nullopt;
    };
    for (qint64 y = rows - 1; y >= 0;) {
        const auto count = next();
        const auto code = next();
        if (!count || !code)
            return false;
        if (*count != 0)
            continue; // a run of one value
        if (*code == 0) {
            --y; // end of the row
        } else if (*code == 1) {
            return true;
        } else if (*code == 2) {
            const auto dx = next();
            const auto dy = next();
            if (!dx || !dy)
                return false;
            y -= *dy;
        } else {
            // That many values as they are, padded to an even number of bytes.
            const qint64 n = fourBits ? (*code + 1) / 2 : *code;
            at += n + (n & 1);
            if (at > end)
                return false;
        }
    }
    return true;
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
    bool first = true;
    for (qint64 at = 13 + colourTableSize(*screen);;) {
        const auto block = bytes.readU8(at++);
        // The file ends, the trailer or a block no reader knows: reading stops with what it has.
        if (!block || (*block != 0x21 && *block != 0x2C))
            return !first;
        if (*block == 0x2C) {
            // Descriptor, colour table and LZW code size, all before a pixel is drawn.
            const auto image = bytes.readU8(at + 8);
            at += image ? 9 + colourTableSize(*image) : 0;
            const auto codeSize = bytes.readU8(at);
            if (!image || !codeSize || *codeSize > 12)
                return false;
            at = skipSubBlocks(bytes, at + 1);
            // The first picture is the one shown, and must have all its data; a later one
            // stops the reading where its data does.
            if (at < 0)
                return !first;
            first = false;
        } else {
            at = afterExtension(bytes, at);
            if (at == kDrawn)
                return !first;
            if (at < 0)
                return false;
        }
    }
}

bool bmpIsWhole(const ByteSource& bytes) {
    const auto offset = bytes.readU32Le(10);
    const auto header = bytes.readU32Le(14);
    if (!offset || !header)
        return false;
    // The old OS/2 header has 16-bit sizes; every later one 32-bit sizes and a compression.
    qint64 width = 0, height = 0;
    quint32 compression = 0, sizeImage = 0;
    std::optional<quint16> bits;
    if (*header == 12) {
        const auto w = bytes.readU16Le(18), h = bytes.readU16Le(20);
        bits = bytes.readU16Le(24);
        if (!w || !h)
            return false;
        width = *w, height = *h;
    } else {
        const auto w = bytes.readI32Le(18), h = bytes.readI32Le(22);
        const auto c = bytes.readU32Le(30), size = bytes.readU32Le(34);
        bits = bytes.readU16Le(28);
        if (!w || !h || !c || !size)
            return false;
        width = *w, height = qAbs(qint64(*h)), compression = *c, sizeImage = *size;
    }
    if (!bits || width <= 0 || height <= 0)
        return false;
    const bool rle8 = compression == 1 && *bits == 8, rle4 = compression == 2 && *bits == 4;
    if (!rle8 && !rle4) {
        // Every row, each padded to 4 bytes, is read whole or the picture is not drawn at all.
        const qint64 row = (width * *bits + 31) / 32 * 4;
        return row <= (bytes.size() - *offset) / height;
    }
    // Run-length coded: the size the header gives (or all that follows) is read at once, and
    // its runs must reach the end of the picture inside it.
    const qint64 end = sizeImage != 0 ? qint64(*offset) + sizeImage : bytes.size();
    if (end > bytes.size())
        return false;
    return runsEnd(bytes, *offset, end, height, rle4);
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
