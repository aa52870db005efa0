#include "slides/fround.h"

#include "core/runtimeerror.h"

#include <cmath>

namespace slidemill {

std::int16_t fRoundUp(const float& x) {
    const float i = std::trunc(x);
    const float f = x - i;
    // In double, so i + 1 stays exact up to the range check; NaN and infinities fail it too.
    const double value = f == 0.0f ? double(x) : double(i) + 1.0;
    if (!(value >= -32768.0 && value <= 32767.0))
        throw RuntimeError(errOverflow);
    return static_cast<std::int16_t>(value);
}

} // namespace slidemill
