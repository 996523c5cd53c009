#pragma once

#include "port/PortLibrary.h"

namespace vx {

// A decorator's base: passes every call on to the library beneath, so that a decorator overrides
// only the calls it changes and a call added to PortLibrary reaches every decorator's inner
// library without a word in the decorator.
class ForwardingPortLibrary : public PortLibrary {
 public:
  explicit ForwardingPortLibrary(PortLibrary& inner) : inner_(inner) {}

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override {
    return inner_.ClaimParallelPort(port, mode);
  }
  std::int32_t GetParallelPortCount() override { return inner_.GetParallelPortCount(); }
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override {
    return inner_.GetParallelPortInfo(port, info);
  }
  std::int32_t InByte(std::int32_t address) override { return inner_.InByte(address); }
  void OutByte(std::int32_t address, std::int32_t value) override {
    inner_.OutByte(address, value);
  }
  void flush() override { inner_.flush(); }
  std::string failureReason() const override { return inner_.failureReason(); }
  std::string adapter() const override { return inner_.adapter(); }

 protected:
  PortLibrary& inner_;
};

}  // namespace vx
