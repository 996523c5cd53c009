#pragma once

#include "port/PortLibrary.h"

namespace vx::bench {

// A port at 378h that does no I/O, so that only the program's own work is measured. Its flag
// byte changes with every read, so every refresh has something new to show.
class NullPort : public PortLibrary {
 public:
  std::int16_t ClaimParallelPort(std::int32_t, std::int32_t) override { return 1; }
  std::int32_t GetParallelPortCount() override { return 1; }
  std::int16_t GetParallelPortInfo(std::int32_t, PortInfoRecord& info) override {
    info.baseAddress = 0x378;
    return 1;
  }
  std::int32_t InByte(std::int32_t address) override {
    if (address != 0x378) return 0xCC;
    flip_ = !flip_;
    return flip_ ? 0x21 : 0x1E;
  }
  void OutByte(std::int32_t, std::int32_t) override {}
  void flush() override {}

 private:
  bool flip_ = false;
};

}  // namespace vx::bench
