#pragma once

#include <cstdint>

// The standard PC parallel port's registers, by offset from the base address, and the control
// register's bits. Every layer names them from here: the link, start-up, the backends and the
// recorders.
namespace vx::lpt {

inline constexpr std::int32_t kDataOffset = 0;
inline constexpr std::int32_t kStatusOffset = 1;
inline constexpr std::int32_t kControlOffset = 2;

// Control register bits. Strobe, auto feed and select in are inverted between register and pin.
inline constexpr std::uint8_t kStrobe = 0x01;     // nSTROBE, pin 1
inline constexpr std::uint8_t kAutoFeed = 0x02;   // nAUTOFD, pin 14
inline constexpr std::uint8_t kInit = 0x04;       // nINIT, pin 16, not inverted
inline constexpr std::uint8_t kSelectIn = 0x08;   // nSELECTIN, pin 17
inline constexpr std::uint8_t kIrqEnable = 0x10;  // interrupt enable
inline constexpr std::uint8_t kDirection = 0x20;  // 1: the data register reads the lines
inline constexpr std::uint8_t kUnused = 0xC0;     // bits 6 and 7: no port function

// The four control outputs together.
inline constexpr std::uint8_t kOutputs = kStrobe | kAutoFeed | kInit | kSelectIn;

}  // namespace vx::lpt

// An ECP port's extended control register, at its ECP registers' base + 2. Its mode field picks
// what the port does; only from byte (PS/2) mode up does the direction bit turn the data lines.
namespace vx::ecr {

inline constexpr std::int32_t kOffset = 2;
inline constexpr std::uint8_t kModeMask = 0xE0;       // bits 7..5
inline constexpr std::uint8_t kByteMode = 0x20;       // 001: byte (PS/2) mode
inline constexpr std::uint8_t kInterruptsOff = 0x14;  // nErrIntrEn and serviceIntr set

}  // namespace vx::ecr
