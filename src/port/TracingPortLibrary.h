#pragma once

#include <ostream>

#include "port/ForwardingPortLibrary.h"

namespace vx {

// Writes one line per library call, in call order, then forwards the call:
//
//   GetParallelPortCount -> 1
//   ClaimParallelPort 1 -1 -> 1
//   GetParallelPortInfo 1 -> 1 base=0x378
//   InByte 0x37A -> 0xCC
//   OutByte 0x37A 0xC4
//
// Users lay a trace beside a logic-analyser capture and scripts parse it: keep the form.
class TracingPortLibrary : public ForwardingPortLibrary {
 public:
  TracingPortLibrary(PortLibrary& inner, std::ostream& out)
      : ForwardingPortLibrary(inner), out_(out) {}

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;

 private:
  std::ostream& out_;
};

}  // namespace vx
