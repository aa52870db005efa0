#pragma once

#include <QString>
#include <zip.h>

namespace slidemill::pptx {

// Where a picture file keeps its EXIF orientation value.
struct OrientationField {
    // Byte offset of the 2-byte value.
    qint64 offset = -1;
    bool bigEndian = false;
    // The value measured there; the field is rewritten only while it still holds it, so a
    // file changed since it was measured is copied as it now is.
    int value = 1;
};

// A libzip source that reads `file` as it is written into the package, in pieces, with the
// orientation value set to 1 and every other byte unchanged. Null (with the cause in
// `zip`'s error) when libzip cannot make the source.
zip_source_t* uprightFileSource(zip_t* zip, const QString& file, const OrientationField& field);

} // namespace slidemill::pptx
