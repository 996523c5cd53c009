#include "port/Port.h"

#include "port/ControlRegister.h"
#include "port/FatalError.h"

namespace vx {

namespace {
constexpr std::int32_t kFloatingBus = 0xFF;
}

std::int32_t Port::controlRegister() const {
  return checkedAdd(portBase_, lpt::kControlOffset);
}

bool Port::reaches(std::int32_t address) const {
  if (portBase_ == 0) return false;
  const auto offset = static_cast<std::int64_t>(address) - portBase_;
  return offset >= lpt::kDataOffset && offset <= lpt::kControlOffset;
}

std::int32_t Port::InByte(std::int32_t address) {
  return reaches(address) ? library_.InByte(address) : kFloatingBus;
}

void Port::OutByte(std::int32_t address, std::int32_t value) {
  if (reaches(address)) library_.OutByte(address, value);
}

std::int16_t Port::PortIn(std::int32_t address) {
  return static_cast<std::int16_t>(InByte(address) & 0xFF);
}

void Port::PortOut(std::int32_t address, std::int16_t value) {
  OutByte(address, static_cast<std::int32_t>(value));
}

}  // namespace vx
