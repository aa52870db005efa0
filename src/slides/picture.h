#pragma once

#include "core/fileidentity.h"

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace slidemill {

// Each has its row in the format table (slides/pictureformats.h) and in the package's media
// types (host/pptx/mediatypes.h); both check that at compile time.
enum class PictureFormat {
    Png,
    Jpeg,
    Gif,
    Bmp,
    Tiff,
    Wmf,
    Emf,
    Heic,
    Heif,
    Avif,
    Webp,
    // Not a format: how many there are.
    Count
};

// What measuring a picture file tells: its format by content, and its displayed size in
// HIMETRIC (1/100 mm).
struct Picture {
    QString path;
    PictureFormat format = PictureFormat::Png;
    std::int32_t widthHimetric = 0;
    std::int32_t heightHimetric = 0;
    // EXIF orientation, 1 to 8 (for HEIF its irot and imir turned into that number); for 5 to
    // 8 the size above is already the turned one.
    int orientation = 1;
    // Where the file stores that orientation (JPEG EXIF or TIFF IFD0): the byte offset of its
    // 2-byte value and the value's byte order, so a copy can be made upright by writing 1 there.
    // -1 when the orientation is 1 or there is nothing to rewrite.
    qint64 orientationOffset = -1;
    bool orientationBigEndian = false;
    // The file as it was when measured: only that file may be stored for this picture.
    FileIdentity file;
    // The header says the picture has transparency (HEIF and WebP): a converted copy keeps it.
    bool alpha = false;
    // When the photo was taken, as its header tells (EXIF DateTimeOriginal), by the camera's
    // clock; invalid when it does not tell.
    QDateTime taken;
};

// Turns a path into a Picture; throws RuntimeError (53 missing, 75 not readable, 481 invalid)
// naming the file.
class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    virtual Picture load(const QString& path) = 0;
};

} // namespace slidemill
