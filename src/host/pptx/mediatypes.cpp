#include "host/pptx/mediatypes.h"

namespace slidemill::pptx {

QString contentType(PictureFormat stored) {
    return QLatin1String(mediaType(stored).contentType);
}

QString extension(PictureFormat stored) {
    return QLatin1String(mediaType(stored).extension);
}

} // namespace slidemill::pptx
