#pragma once

#include "slides/bytesource.h"
#include "slides/picture.h"

#include <optional>

namespace slidemill {

// Which of the HEIF family a file is by the major brand of its leading ftyp box: HEIC (HEVC
// brands), AVIF (AV1 brands) or HEIF (the generic image brands); empty for anything else.
std::optional<PictureFormat> heifFamily(const ByteSource& bytes);

// The primary picture of a HEIF file, from its boxes alone.
struct HeifPicture {
    // The picture's size before the orientation turns it, as for a JPEG: orientation 5 to 8
    // exchanges the sides.
    qint64 width = 0;
    qint64 height = 0;
    // The irot and imir properties, in the order the file lists them, as the EXIF orientation
    // (1 to 8) that turns the same way.
    int orientation = 1;
    // An alpha plane is attached (an auxiliary picture of alpha type).
    bool alpha = false;
};

// Measures the primary item from its ispe property, turned by its irot and imir properties, as
// libheif turns it when decoding: a rotation listed before the ispe (as libheif itself writes
// them) is already part of that size. Empty when a box is damaged or cut short, the primary item
// is not a picture coded in HEVC or AV1 (or a grid, overlay or identity of such pictures), or
// its coded data lies past the end of the file.
std::optional<HeifPicture> readHeif(const ByteSource& bytes);

} // namespace slidemill
