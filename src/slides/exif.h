#pragma once

#include "slides/bytesource.h"

#include <QByteArray>
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

// Walks the JPEG segments up to the first scan and reads the first EXIF APP1 segment. A file
// holding several pictures (MPO) is so read from its first picture.
ExifOrientation readJpegOrientation(const ByteSource& bytes);

// Reads IFD0 of the TIFF structure in [base, base + length), wherever its header says IFD0 is;
// the offset answered is from the start of bytes. length -1 means to the end.
ExifOrientation readTiffOrientation(const ByteSource& bytes, qint64 base = 0, qint64 length = -1);

} // namespace slidemill
