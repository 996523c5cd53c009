#pragma once

#include <cstdint>

// The board's three words as they cross the data lines: the control word it latches, the
// auxiliary word put out during the pulses, and the flag byte it drives back. The front panel's
// selection table (src/board) and the simulated board both read their layout from here.
namespace vx::word {

// Control word fields.
inline constexpr std::uint8_t kRange = 0x07;       // bits 2..0: current range code
inline constexpr std::uint8_t kForce = 0x08;       // bit 3: 1 current force
inline constexpr std::uint8_t kComparator = 0x10;  // bit 4: 1 compare the measured current
inline constexpr std::uint8_t kMeasure = 0x20;     // bit 5: 1 IM amplifier
inline constexpr std::uint8_t kCapacitor = 0xC0;   // bits 7..6: compensation capacitor

// Auxiliary word bits.
inline constexpr std::uint8_t kStandby = 0x01;
inline constexpr std::uint8_t kAux1 = 0x02;
inline constexpr std::uint8_t kAux2 = 0x04;

// Flag byte bits; 6 and 7 are shown only in the byte's value.
inline constexpr std::uint8_t kCpoh = 0x01;
inline constexpr std::uint8_t kCpol = 0x02;
inline constexpr std::uint8_t kChlDet = 0x04;
inline constexpr std::uint8_t kCllDet = 0x08;
inline constexpr std::uint8_t kQm4 = 0x10;
inline constexpr std::uint8_t kQm5 = 0x20;

// The lowest set bit's position of a field: its shift.
constexpr int shiftOf(std::uint8_t mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask = static_cast<std::uint8_t>(mask >> 1);
    ++shift;
  }
  return shift;
}

}  // namespace vx::word
