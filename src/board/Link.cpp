#include "board/Link.h"

#include "port/ControlRegister.h"

namespace vx {

namespace {

using namespace lpt;

std::int16_t byteOf(Register& r) {
  return static_cast<std::int16_t>(r.DataField());
}

// A control value with bits cleared. Bits 6 and 7 go out as the operation read them.
std::int16_t without(std::int16_t c, std::uint8_t bits) {
  return static_cast<std::int16_t>(c & ~bits);
}

}  // namespace

std::int16_t Link::preserved() {
  return port_.PortIn(port_.controlRegister()) & kUnused;
}

void Link::SendControlWord() {
  const std::int16_t c = preserved() | kOutputs;
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.dataRegister(), byteOf(ControlWord_));
  // Strobe low, and bits 6 and 7 written as 0: 0x0E.
  port_.PortOut(port_.controlRegister(), c & (kOutputs & ~kStrobe));
  port_.PortOut(port_.controlRegister(), c);
}

void Link::pulseAuxBit(int bit) {
  AuxWord_.setBit(bit, kFalse);
  const std::int16_t c = preserved() | kOutputs;
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.dataRegister(), byteOf(AuxWord_));
  // Auto feed low, and bits 6 and 7 written as 0: 0x0D.
  port_.PortOut(port_.controlRegister(), c & (kOutputs & ~kAutoFeed));
  AuxWord_.setBit(bit, kTrue);
  port_.PortOut(port_.dataRegister(), byteOf(AuxWord_));
  port_.PortOut(port_.controlRegister(), c);
}

std::int16_t Link::ReadFlagByte() {
  const std::int16_t c = preserved() | kDirection | kOutputs;
  port_.PortOut(port_.controlRegister(), c);                      // data lines to input
  port_.PortOut(port_.controlRegister(), without(c, kSelectIn));  // the board captures
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.controlRegister(), without(c, kInit));  // the board drives
  const std::int16_t flags = port_.PortIn(port_.dataRegister());
  port_.PortOut(port_.controlRegister(), without(c, kDirection));  // back to output
  return flags;
}

}  // namespace vx
