#include "board/Register.h"

namespace vx {

std::int32_t Register::DataField() {
  dataWord_ = 0;
  for (int n = 0; n < 8; ++n)
    if (bit(n) != 0) dataWord_ |= 1 << n;
  return dataWord_;
}

// Bits above bit 7 stay in the data word but reach no bit; the next read drops them.
void Register::setDataField(std::int32_t vData) {
  dataWord_ = vData;
  for (int n = 0; n < 8; ++n) setBit(n, truth(((vData >> n) & 1) != 0));
}

}  // namespace vx
