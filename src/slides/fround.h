#pragma once

#include <cstdint>

namespace slidemill {

// A number with a fraction becomes its integer part plus one (so -140.5 gives -139); a whole
// number stays. Outside -32768..32767 it raises the overflow error.
std::int16_t fRoundUp(const float& x);

} // namespace slidemill
