#pragma once

#include "core/runtimeerror.h"

#include <cstdint>
#include <limits>

namespace slidemill {

// Counters and indexes never wrap: a result outside the type raises the overflow error.

inline std::int16_t narrow16(long long v) {
    if (v < std::numeric_limits<std::int16_t>::min() ||
        v > std::numeric_limits<std::int16_t>::max())
        throw RuntimeError(errOverflow);
    return static_cast<std::int16_t>(v);
}

inline std::int32_t narrow32(long long v) {
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(errOverflow);
    return static_cast<std::int32_t>(v);
}

inline std::int16_t add16(long long a, long long b) {
    return narrow16(a + b);
}
inline std::int16_t sub16(long long a, long long b) {
    return narrow16(a - b);
}
inline std::int32_t add32(long long a, long long b) {
    return narrow32(a + b);
}

} // namespace slidemill
