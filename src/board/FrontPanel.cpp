#include "board/FrontPanel.h"

#include <fmt/format.h>

#include "board/Selections.h"

namespace vx {

// An index outside a list's items (-1: nothing selected) changes no bit; the refresh still runs.
void FrontPanel::setSingleBit(Register& r, int bit, int listIndex) {
  if (listIndex == 0 || listIndex == 1) r.setBit(bit, truth(listIndex == 1));
}

FlagReading FrontPanel::cboir_Click(int listIndex) {
  if (listIndex >= 0 && listIndex < static_cast<int>(kRangeItems.size())) {
    ControlWord_.setBit0(truth((listIndex & 1) != 0));
    ControlWord_.setBit1(truth((listIndex & 2) != 0));
    ControlWord_.setBit2(truth((listIndex & 4) != 0));
  }
  return cmdRead_Click();
}

FlagReading FrontPanel::cboFSEL_Click(int listIndex) {
  setSingleBit(ControlWord_, 3, listIndex);
  return cmdRead_Click();
}

FlagReading FrontPanel::cboComp_Click(int listIndex) {
  setSingleBit(ControlWord_, 4, listIndex);
  return cmdRead_Click();
}

FlagReading FrontPanel::cboMIO_Click(int listIndex) {
  setSingleBit(ControlWord_, 5, listIndex);
  return cmdRead_Click();
}

FlagReading FrontPanel::cboAC_Click(int listIndex) {
  if (listIndex >= 0 && listIndex < static_cast<int>(kCapItems.size())) {
    ControlWord_.setBit7(truth(listIndex == 2));
    ControlWord_.setBit6(truth(listIndex == 1));
  }
  return cmdRead_Click();
}

FlagReading FrontPanel::chkStandby_Click(int boxValue) {
  AuxWord_.setBit0(truth(boxValue == kChecked));
  return cmdRead_Click();
}

FlagReading FrontPanel::cmdRead_Click() {
  link_.SendControlWord();
  link_.PulseAuxBit1();
  link_.PulseAuxBit2();
  link_.PulseAuxBit1();
  link_.PulseAuxBit1();
  FlagReading reading;
  reading.flagByte = static_cast<std::uint8_t>(link_.ReadFlagByte());
  for (int a = 0; a < 6; ++a)
    reading.captions[static_cast<std::size_t>(a)] = reading.flag(a) ? "1" : "0";
  reading.decimal = fmt::format_int(reading.flagByte).str();
  return reading;
}

}  // namespace vx
