#include "slides/exif.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cctype>

namespace slidemill {

namespace {

constexpr quint16 orientationTag = 0x0112;
constexpr quint16 exifIfdTag = 0x8769;
constexpr quint16 takenTag = 0x9003;
constexpr quint16 takenOffsetTag = 0x9011;
constexpr quint16 compressionTag = 0x0103;
constexpr quint16 thumbnailOffsetTag = 0x0201;
constexpr quint16 thumbnailLengthTag = 0x0202;
constexpr quint16 typeAscii = 2;
constexpr quint16 typeShort = 3;
constexpr quint16 typeLong = 4;
constexpr quint16 typeIfd = 13;
constexpr qint64 ifdEntrySize = 12;
// Headers hold a few dozen segments and fill bytes before the scan; beyond these a file is not
// worth walking further, and a crafted one cannot keep us busy.
constexpr int maxSegments = 1024;
constexpr int maxFillBytes = 1024;
// A date and an offset are 20 and 7 bytes; anything much longer is not one.
constexpr quint32 maxTextLength = 64;

// An IFD entry's fields.
struct Entry {
    const char* at;
    bool bigEndian;

    quint16 u16(int offset) const {
        return bigEndian ? qFromBigEndian<quint16>(at + offset)
                         : qFromLittleEndian<quint16>(at + offset);
    }
    quint32 u32(int offset) const {
        return bigEndian ? qFromBigEndian<quint32>(at + offset)
                         : qFromLittleEndian<quint32>(at + offset);
    }
    quint16 tag() const { return u16(0); }
    quint16 type() const { return u16(2); }
    quint32 count() const { return u32(4); }
};

// A TIFF structure: where it starts and ends in the file, and its byte order.
struct Block {
    const ByteSource& bytes;
    qint64 base = 0;
    qint64 end = 0;
    bool bigEndian = false;

    // Hands each entry of the IFD at `offset` from the base, with where it lies in the file, to
    // `take` until that answers false. Nothing when the table does not lie whole inside the
    // block: a table cut short is not trusted. Read some entries at a time into a buffer of
    // our own.
    template <typename Take> void entries(quint32 offset, Take take) const {
        if (offset < 8 || offset > end - base - 2)
            return;
        const qint64 ifd = base + offset;
        const auto count = bytes.readU16(ifd, bigEndian);
        if (!count || ifd + 2 + *count * ifdEntrySize > end)
            return;
        constexpr int kBatch = 32;
        std::array<char, kBatch * ifdEntrySize> batch;
        for (int first = 0; first < *count; first += kBatch) {
            const int n = qMin(kBatch, *count - first);
            const qint64 at = ifd + 2 + first * ifdEntrySize;
            if (!bytes.readInto(at, batch.data(), n * ifdEntrySize))
                return;
            for (int i = 0; i < n; ++i) {
                if (!take(Entry{batch.data() + i * ifdEntrySize, bigEndian}, at + i * ifdEntrySize))
                    return;
            }
        }
    }

    // The text an ASCII entry holds, in place or at its offset inside the block, up to its
    // first NUL; empty when it is not text or not inside.
    QByteArray text(const Entry& entry) const {
        const quint32 count = entry.count();
        if (entry.type() != typeAscii || count == 0 || count > maxTextLength)
            return {};
        std::array<char, maxTextLength> text;
        if (count <= 4) {
            std::copy_n(entry.at + 8, count, text.data());
        } else {
            const quint32 offset = entry.u32(8);
            if (offset > quint64(end - base) || count > end - base - offset ||
                !bytes.readInto(base + offset, text.data(), count))
                return {};
        }
        const auto nul = std::find(text.begin(), text.begin() + count, '\0');
        return QByteArray(text.data(), nul - text.begin());
    }
};

// Two digits; -1 unless both are.
int digits(QByteArrayView s, int at) {
    if (at + 2 > s.size() || !std::isdigit(quint8(s[at])) || !std::isdigit(quint8(s[at + 1])))
        return -1;
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

// "YYYY:MM:DD HH:MM:SS"; cameras that do not know the date write zeros or spaces, which are no
// date.
std::optional<std::pair<QDate, QTime>> dateAndTime(QByteArrayView s) {
    if (s.size() != 19)
        return std::nullopt;
    const auto dateSeparator = [&](int at) { return s[at] == ':' || s[at] == '-' || s[at] == '/'; };
    if (!dateSeparator(4) || s[7] != s[4] || (s[10] != ' ' && s[10] != 'T') || s[13] != ':' ||
        s[16] != ':')
        return std::nullopt;
    const int century = digits(s, 0), year = digits(s, 2);
    const int month = digits(s, 5), day = digits(s, 8);
    const int hour = digits(s, 11), minute = digits(s, 14), second = digits(s, 17);
    if (century < 0 || year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(century * 100 + year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return std::make_pair(date, time);
}

// "+HH:MM" or "-HH:MM" as seconds east of UTC.
std::optional<int> utcOffset(QByteArrayView s) {
    if (s.size() != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':')
        return std::nullopt;
    const int hours = digits(s, 1), minutes = digits(s, 4);
    if (hours < 0 || minutes < 0 || hours > 14 || minutes > 59)
        return std::nullopt;
    return (s[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
}

QDateTime readTaken(const Block& block, quint32 offset) {
    QByteArray taken, offsetText;
    block.entries(offset, [&](const Entry& entry, qint64) {
        if (entry.tag() == takenTag && taken.isNull())
            taken = block.text(entry);
        else if (entry.tag() == takenOffsetTag && offsetText.isNull())
            offsetText = block.text(entry);
        return taken.isNull() || offsetText.isNull();
    });
    const auto when = dateAndTime(taken);
    if (!when)
        return {};
    if (const auto seconds = utcOffset(offsetText))
        return QDateTime(when->first, when->second, Qt::OffsetFromUTC, *seconds);
    return QDateTime(when->first, when->second, Qt::LocalTime);
}

} // namespace

namespace {

// The TIFF structure in [base, base + length) (-1: to the end) and where its IFD0 lies.
struct Tiff {
    Block block;
    quint32 ifd0 = 0;
};

std::optional<Tiff> openTiff(const ByteSource& bytes, qint64 base, qint64 length) {
    const qint64 end = length < 0 ? bytes.size() : base + length;
    if (base < 0 || length < -1 || end > bytes.size() || end - base < 8)
        return std::nullopt;
    const QByteArray order = bytes.read(base, 2);
    const bool bigEndian = order == "MM";
    if (!bigEndian && order != "II")
        return std::nullopt;
    const auto magic = bytes.readU16(base + 2, bigEndian);
    const auto ifd0 = bytes.readU32(base + 4, bigEndian);
    if (magic != 42 || !ifd0)
        return std::nullopt;
    return Tiff{Block{bytes, base, end, bigEndian}, *ifd0};
}

// Walks the JPEG segments up to the first scan for the first EXIF APP1 segment: its TIFF
// structure, only as far as the segment and the file go.
std::optional<ByteRange> jpegExifBlock(const ByteSource& bytes) {
    if (bytes.readU16Be(0) != 0xFFD8)
        return std::nullopt;
    qint64 at = 2;
    for (int segment = 0; segment < maxSegments; ++segment) {
        if (bytes.readU8(at) != 0xFF)
            return std::nullopt;
        std::optional<quint8> marker;
        int fill = 0;
        while ((marker = bytes.readU8(++at)) == 0xFF) {
            if (++fill > maxFillBytes)
                return std::nullopt;
        }
        ++at;
        if (!marker || *marker == 0x00 || *marker == 0xD9 || *marker == 0xDA)
            return std::nullopt; // the scan starts: the metadata is over
        if (*marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7))
            continue; // standalone markers carry no length
        const auto length = bytes.readU16Be(at);
        if (!length || *length < 2)
            return std::nullopt;
        const qint64 payload = at + 2;
        const qint64 payloadSize = *length - 2;
        if (*marker == 0xE1 && payloadSize >= 6 &&
            bytes.read(payload, 6) == QByteArrayView("Exif\0\0", 6))
            return ByteRange{payload + 6, qMin(payloadSize, bytes.size() - payload) - 6};
        at = payload + payloadSize;
    }
    return std::nullopt;
}

} // namespace

ExifFacts readTiffExif(const ByteSource& bytes, qint64 base, qint64 length) {
    const std::optional<Tiff> tiff = openTiff(bytes, base, length);
    if (!tiff)
        return {};
    const Block& block = tiff->block;
    ExifFacts facts;
    bool oriented = false, dated = false;
    block.entries(tiff->ifd0, [&](const Entry& entry, qint64 at) {
        const quint16 tag = entry.tag();
        if (tag == orientationTag && !oriented) {
            oriented = true;
            const quint16 value = entry.u16(8);
            if (entry.type() == typeShort && entry.count() == 1 && value >= 1 && value <= 8) {
                facts.orientation.value = value;
                facts.orientation.bigEndian = block.bigEndian;
                if (value != 1)
                    facts.orientation.offset = at + 8;
            }
        } else if (tag == exifIfdTag && !dated) {
            dated = true;
            if ((entry.type() == typeLong || entry.type() == typeIfd) && entry.count() == 1)
                facts.taken = readTaken(block, entry.u32(8));
        }
        return !(oriented && dated);
    });
    return facts;
}

ExifFacts readJpegExif(const ByteSource& bytes) {
    // Only the first EXIF block counts, and only within its segment.
    const std::optional<ByteRange> exif = jpegExifBlock(bytes);
    return exif ? readTiffExif(bytes, exif->offset, exif->length) : ExifFacts{};
}

std::optional<ByteRange> readJpegExifThumbnail(const ByteSource& bytes) {
    const std::optional<ByteRange> exif = jpegExifBlock(bytes);
    const std::optional<Tiff> tiff =
        exif ? openTiff(bytes, exif->offset, exif->length) : std::nullopt;
    if (!tiff)
        return std::nullopt;
    // IFD1 follows IFD0's entries.
    const Block& block = tiff->block;
    const auto count0 = bytes.readU16(block.base + tiff->ifd0, block.bigEndian);
    const qint64 next = qint64(tiff->ifd0) + 2 + ifdEntrySize * count0.value_or(0);
    if (!count0 || next + 4 > block.end - block.base)
        return std::nullopt;
    const quint32 ifd1 = bytes.readU32(block.base + next, block.bigEndian).value_or(0);
    qint64 offset = -1, size = -1;
    int compression = 6;
    block.entries(ifd1, [&](const Entry& entry, qint64) {
        // A SHORT value sits in the first two bytes of the field, a LONG fills it.
        const quint32 value = entry.type() == typeShort ? entry.u16(8) : entry.u32(8);
        if (entry.tag() == thumbnailOffsetTag)
            offset = value;
        else if (entry.tag() == thumbnailLengthTag)
            size = value;
        else if (entry.tag() == compressionTag)
            compression = int(value);
        return true;
    });
    // Compression 6 is JPEG; 1 keeps the thumbnail as strips of raw pixels.
    if (compression != 6 || offset <= 0 || size <= 4 || offset > block.end - block.base - size ||
        bytes.readU16Be(block.base + offset) != 0xFFD8)
        return std::nullopt;
    return ByteRange{block.base + offset, size};
}

} // namespace slidemill
