#pragma once

#include <cstdint>

#include "board/Register.h"
#include "port/Port.h"

namespace vx {

// The four operations that make up all traffic with the board. A byte goes out on the data
// lines and is marked by a pulse on a control line; the flag byte comes back with the data
// lines turned around. No waits: each strobe is as wide as one port write.
class Link {
 public:
  Link(Port& port, Register& controlWord, Register& auxWord)
      : port_(port), ControlWord_(controlWord), AuxWord_(auxWord) {}

  // Latches ControlWord into the board with control bit 0.
  void SendControlWord();
  // Steps auxiliary line 1 (AuxWord bit 1) low, then high, while control bit 1 is low.
  void PulseAuxBit1() { pulseAuxBit(1); }
  // The same for auxiliary line 2 (AuxWord bit 2).
  void PulseAuxBit2() { pulseAuxBit(2); }
  // Reads the board's flag byte, 0..255.
  std::int16_t ReadFlagByte();

 private:
  void pulseAuxBit(int bit);
  // The control register's bits 6 and 7, as read at the start of every operation.
  std::int16_t preserved();

  Port& port_;
  Register& ControlWord_;
  Register& AuxWord_;
};

}  // namespace vx
