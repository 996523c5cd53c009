#pragma once

#include <cstdint>

// The MPSSE commands the bridge uses (FTDI application note AN_108), and how the FT232H's pins
// carry the parallel port's lines.
namespace vx::mpsse {

// The chip's bit modes (SIO_SET_BITMODE; libftdi1's BITMODE_*, D2XX's FT_SetBitMode modes).
inline constexpr std::uint8_t kBitModeReset = 0x00;
inline constexpr std::uint8_t kBitModeMpsse = 0x02;

inline constexpr std::uint8_t kSetLowByte = 0x80;    // value, direction: ADBUS0..7
inline constexpr std::uint8_t kSetHighByte = 0x82;   // value, direction: ACBUS0..7
inline constexpr std::uint8_t kReadHighByte = 0x83;  // answers one byte: ACBUS0..7
inline constexpr std::uint8_t kLoopbackOff = 0x85;
inline constexpr std::uint8_t kSetDivisor = 0x86;  // low byte, high byte
inline constexpr std::uint8_t kSendImmediate = 0x87;
inline constexpr std::uint8_t kDivideBy5Off = 0x8A;  // the clock from 60 MHz, not 12 MHz
inline constexpr std::uint8_t kThreePhaseOff = 0x8D;
inline constexpr std::uint8_t kClockBits = 0x8E;  // n: n + 1 clock cycles, no data
inline constexpr std::uint8_t kAdaptiveOff = 0x97;
// Opcodes the engine does not know: it answers kBadCommand and the opcode (AN_135). kBogus shows
// that the engine is in step with the host; kSecondBogus, after the set-up commands, that it took
// every one of them.
inline constexpr std::uint8_t kBogus = 0xAA;
inline constexpr std::uint8_t kSecondBogus = 0xAB;
inline constexpr std::uint8_t kBadCommand = 0xFA;

// TCK = 60 MHz / ((1 + divisor) * 2) with the divide-by-5 off: 1 MHz, so that one clock cycle
// (kClockBits with n = 0) holds a pin state for 1 us, as long as one ISA port access takes.
inline constexpr std::uint16_t kDivisor = 29;
inline constexpr double kMasterHz = 60e6;

// ADBUS: bit 0 is TCK (out, unconnected), 1..3 unconnected (in), 4..7 the control lines (out).
inline constexpr std::uint8_t kLowDirection = 0xF1;
inline constexpr std::uint8_t kStrobePin = 0x10;    // ADBUS4: nSTROBE
inline constexpr std::uint8_t kAutoFeedPin = 0x20;  // ADBUS5: nAUTOFD
inline constexpr std::uint8_t kInitPin = 0x40;      // ADBUS6: nINIT
inline constexpr std::uint8_t kSelectInPin = 0x80;  // ADBUS7: nSELECTIN
// ACBUS0..7: D0..D7, all output or all input.
inline constexpr std::uint8_t kDataOut = 0xFF;
inline constexpr std::uint8_t kDataIn = 0x00;

}  // namespace vx::mpsse
