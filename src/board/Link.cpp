#include "board/Link.h"

namespace vx {

namespace {
std::int16_t byteOf(Register& r) {
  return static_cast<std::int16_t>(r.DataField());
}
}  // namespace

std::int16_t Link::preserved() {
  return port_.PortIn(port_.controlRegister()) & 0xC0;
}

void Link::SendControlWord() {
  const std::int16_t c = preserved() | 0x0F;
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.dataRegister(), byteOf(ControlWord_));
  port_.PortOut(port_.controlRegister(), c & 0x0E);
  port_.PortOut(port_.controlRegister(), c);
}

void Link::pulseAuxBit(int bit) {
  AuxWord_.setBit(bit, kFalse);
  const std::int16_t c = preserved() | 0x0F;
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.dataRegister(), byteOf(AuxWord_));
  port_.PortOut(port_.controlRegister(), c & 0x0D);
  AuxWord_.setBit(bit, kTrue);
  port_.PortOut(port_.dataRegister(), byteOf(AuxWord_));
  port_.PortOut(port_.controlRegister(), c);
}

std::int16_t Link::ReadFlagByte() {
  const std::int16_t c = preserved() | 0x2F;
  port_.PortOut(port_.controlRegister(), c);         // data lines to input
  port_.PortOut(port_.controlRegister(), c & 0xF7);  // select in low: the board captures
  port_.PortOut(port_.controlRegister(), c);
  port_.PortOut(port_.controlRegister(), c & 0xFB);  // initialise low: the board drives
  const std::int16_t flags = port_.PortIn(port_.dataRegister());
  port_.PortOut(port_.controlRegister(), c & 0xDF);  // data lines back to output
  return flags;
}

}  // namespace vx
