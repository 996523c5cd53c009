#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "board/Link.h"
#include "board/Register.h"
#include "port/Port.h"

namespace vx {

// What one refresh shows: the flag byte, the caption of each flag display ("1" or "0") and
// the byte's decimal text.
struct FlagReading {
  std::uint8_t flagByte = 0;
  std::array<std::string_view, 6> captions{"0", "0", "0", "0", "0", "0"};
  std::string decimal;

  bool flag(int i) const { return ((flagByte >> i) & 1) != 0; }
};

// The board's front panel: the one object through which the window and the command-line tool
// drive the board. Each selection handler takes the list index (-1: nothing selected) or the
// Standby box's value, sets its bits, and runs a full refresh.
class FrontPanel {
 public:
  explicit FrontPanel(Port& port) : link_(port, ControlWord_, AuxWord_) {}
  FrontPanel(const FrontPanel&) = delete;
  FrontPanel& operator=(const FrontPanel&) = delete;

  FlagReading cboir_Click(int listIndex);      // current range: control bits 0..2
  FlagReading cboFSEL_Click(int listIndex);    // force/measure mode: bit 3
  FlagReading cboComp_Click(int listIndex);    // comparator input: bit 4
  FlagReading cboMIO_Click(int listIndex);     // measure-output amplifier: bit 5
  FlagReading cboAC_Click(int listIndex);      // compensation capacitor: bits 6..7
  FlagReading chkStandby_Click(int boxValue);  // standby line: AuxWord bit 0

  // The refresh cycle: send the control word, step the auxiliary lines, read the flags back.
  FlagReading cmdRead_Click();

  Register& ControlWord() { return ControlWord_; }
  Register& AuxWord() { return AuxWord_; }

 private:
  void setSingleBit(Register& r, int bit, int listIndex);

  Register ControlWord_;
  Register AuxWord_;
  Link link_;
};

}  // namespace vx
