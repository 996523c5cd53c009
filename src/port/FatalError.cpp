#include "port/FatalError.h"

#include <limits>

namespace vx {

std::int32_t checkedAdd(std::int32_t a, std::int32_t b) {
  std::int32_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) throw FatalError("Run-time error '6': Overflow");
  return sum;
}

std::int16_t checkedNarrow(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    throw FatalError("Run-time error '6': Overflow");
  return static_cast<std::int16_t>(value);
}

}  // namespace vx
