#pragma once

#include "slides/bytesource.h"
#include "slides/picture.h"

#include <optional>

namespace slidemill {

// Which of the HEIF family a file is by the major brand of its leading ftyp box: HEIC (HEVC
// brands), AVIF (AV1 brands) or HEIF (the generic image brands); empty for anything else.
std::optional<PictureFormat> heifFamily(const ByteSource& bytes);

// The boxes at the top of the file all end inside it.
bool heifIsWhole(const ByteSource& bytes);

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
    // The TIFF structure of the EXIF block that describes the picture, in the file; -1 without.
    qint64 exifAt = -1;
    qint64 exifLength = 0;
};

// Measures the primary item as libheif decodes it: the size its codec's parameters give (the
// HEVC SPS less its conformance window, the AV1 sequence header, the output of a grid or
// overlay), cropped by its clap and turned by its irot and imir properties in the order they
// are listed. The ispe is not trusted for the shape: libheif's own writer (before 1.16) puts the
// turned size there after the irot, cameras the coded size before it, and decoders go by the
// coded data. It must be there all the same, and an item may not declare two sizes. Empty when
// a box is damaged or cut short, the primary item is not a picture coded in HEVC or AV1 (or a
// grid, overlay or identity of such pictures), or its coded data lies past the end of the file.
std::optional<HeifPicture> readHeif(const ByteSource& bytes);

} // namespace slidemill
