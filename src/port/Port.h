#pragma once

#include <cstdint>

#include "port/PortLibrary.h"

namespace vx {

// The parallel port in use: its base address and byte-wide access to its registers.
//
// Every access is guarded: only the three registers PortBase .. PortBase + 2 reach the
// library. While PortBase is 0 (no port found) nothing reaches it at all: writes are dropped
// and reads give 0xFF, as a floating bus does. Without the guard, start-up and every refresh
// would write to I/O 0..2, which belong to the PC's DMA controller.
class Port {
 public:
  explicit Port(PortLibrary& library) : library_(library) {}

  PortLibrary& library() { return library_; }

  std::int32_t PortBase() const { return portBase_; }
  void setPortBase(std::int32_t base) { portBase_ = base; }

  std::int32_t dataRegister() const { return portBase_; }
  // PortBase + 2, with the overflow check that every address sum makes.
  std::int32_t controlRegister() const;

  // The byte at an address, 0..255.
  std::int16_t PortIn(std::int32_t address);
  // Writes a byte; the 16-bit value is widened with its sign, as the library expects.
  void PortOut(std::int32_t address, std::int16_t value);

  // Direct library access with the same guard, for the few places that bypass the wrappers.
  std::int32_t InByte(std::int32_t address);
  void OutByte(std::int32_t address, std::int32_t value);

  // Sends what the library holds back: the program goes idle.
  void flush() { library_.flush(); }

  // Whether an address is one of the port's three registers.
  bool reaches(std::int32_t address) const;

 private:
  PortLibrary& library_;
  std::int32_t portBase_ = 0;
};

}  // namespace vx
