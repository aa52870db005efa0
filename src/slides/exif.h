#pragma once

#include "slides/bytesource.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace slidemill {

// The EXIF/TIFF Orientation tag (0x0112) as a file stores it. Anything missing, damaged or out
// of range reads as orientation 1 with no offset: a bad tag never makes a picture unusable.
struct ExifOrientation {
    int value = 1; // 1 to 8
    // Byte offset of the tag's 2-byte value in the file, for writing 1 there while copying;
    // -1 when the value is 1 or was not found.
    qint64 offset = -1;
    bool bigEndian = false;
};

// What measuring takes from an EXIF block: its orientation, and when the photo was taken.
struct ExifFacts {
    ExifOrientation orientation;
    // DateTimeOriginal of the Exif IFD, by the camera's clock: at the offset from UTC its
    // OffsetTimeOriginal gives (Qt::OffsetFromUTC), or in local time (Qt::LocalTime) without
    // one. Invalid when it is missing, damaged or not a date; like the orientation, never a
    // reason to refuse the picture.
    QDateTime taken;
};

// Walks the JPEG segments up to the first scan and reads the first EXIF APP1 segment. A file
// holding several pictures (MPO) is so read from its first picture.
ExifFacts readJpegExif(const ByteSource& bytes);

// Reads IFD0 of the TIFF structure in [base, base + length), wherever its header says IFD0 is,
// and the Exif IFD it points to; offsets answered are from the start of bytes. length -1 means
// to the end.
ExifFacts readTiffExif(const ByteSource& bytes, qint64 base = 0, qint64 length = -1);

// Bytes of a file: where they start and how many.
struct ByteRange {
    qint64 offset = 0;
    qint64 length = 0;
};

// Where a JPEG keeps the thumbnail of its first EXIF block: the JPEG that IFD1 points at
// (JPEGInterchangeFormat and its length), in bytes from the start of the file. Empty when there
// is none, when it does not lie inside the block or does not start as a JPEG, and when the
// block is damaged.
std::optional<ByteRange> readJpegExifThumbnail(const ByteSource& bytes);

// The orientation alone.
inline ExifOrientation readJpegOrientation(const ByteSource& bytes) {
    return readJpegExif(bytes).orientation;
}
inline ExifOrientation readTiffOrientation(const ByteSource& bytes, qint64 base = 0,
                                           qint64 length = -1) {
    return readTiffExif(bytes, base, length).orientation;
}

} // namespace slidemill
