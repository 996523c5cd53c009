#include "board/FrontPanel.h"

#include <fmt/format.h>

#include "port/FatalError.h"

namespace vx {

FlagReading FrontPanel::select(SelectionId id, int value) {
  const Selection& s = selection(id);
  int field = value;
  if (s.checkBox) field = value == kChecked ? 1 : 0;
  if (field >= 0 && field < static_cast<int>(s.choices.size())) {
    // Every bit of the field is assigned, through the register's bit properties.
    Register& r = image(s.reg);
    const int shift = word::shiftOf(s.mask);
    for (int n = 0; n < 8; ++n)
      if ((s.mask >> n) & 1) r.setBit(n, truth(((field << shift) >> n) & 1));
  }
  return cmdRead_Click();
}

int FrontPanel::selected(SelectionId id) {
  const Selection& s = selection(id);
  return (image(s.reg).DataField() & s.mask) >> word::shiftOf(s.mask);
}

FlagReading FrontPanel::reset() {
  ControlWord_.setDataField(0);
  AuxWord_.setDataField(0);
  return cmdRead_Click();
}

FlagReading FrontPanel::cmdRead_Click() {
  FlagReading reading;
  try {
    if (lost_ && reclaim_) reclaim_();
    lost_.reset();
    link_.SendControlWord();
    link_.PulseAuxBit1();
    link_.PulseAuxBit2();
    link_.PulseAuxBit1();
    link_.PulseAuxBit1();
    reading.flagByte = static_cast<std::uint8_t>(link_.ReadFlagByte());
    port_.flush();
  } catch (const PortGoneError& e) {
    lost_ = e.what();
    throw;
  }
  for (int a = 0; a < 6; ++a)
    reading.captions[static_cast<std::size_t>(a)] = reading.flag(a) ? "1" : "0";
  reading.decimal = fmt::format_int(reading.flagByte).str();
  for (const auto& [key, listener] : listeners_) listener(reading);
  return reading;
}

}  // namespace vx
