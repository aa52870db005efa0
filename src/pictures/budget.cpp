// Compiled into the programs and into the decoding module alike: each side has its own
// Reservation, both drawing on the program's one budget.
#include "pictures/budget.h"

#include "core/runtimeerror.h"

namespace slidemill::pictures {

[[noreturn]] void tooLarge(const Picture& picture, QSize pixels) {
    throw RuntimeError(errInvalidPicture,
                       QStringLiteral("%1: the picture is too large to decode (%2 x %3 pixels)")
                           .arg(RuntimeError::standardText(errInvalidPicture))
                           .arg(pixels.width())
                           .arg(pixels.height()),
                       picture.path);
}

Reservation::~Reservation() {
    if (bytes_ > 0)
        giveDecodeBudget(bytes_);
}

void Reservation::add(const Picture& picture, QSize pixels, qint64 bytes) {
    if (bytes <= 0)
        return;
    if (bytes_ + bytes > kDecodeBudget)
        tooLarge(picture, pixels);
    takeDecodeBudget(bytes, bytes_ == 0);
    bytes_ += bytes;
}

} // namespace slidemill::pictures
