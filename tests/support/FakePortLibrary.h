#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "port/Port.h"
#include "port/PortLibrary.h"
#include "port/TracingPortLibrary.h"

namespace vx::test {

// A port library whose answers a test sets. What it was asked is seen through a trace.
class FakePortLibrary : public PortLibrary {
 public:
  std::int32_t count = 1;
  std::int16_t claimResult = 1;
  std::int16_t infoResult = 1;
  std::int32_t baseAddress = 0x378;
  std::int32_t controlValue = 0x04;  // what a read of any register other than data gives
  std::int32_t dataValue = 0x00;     // what a read of the data register gives
  std::string reason;
  std::vector<std::int32_t> outValues;  // every OutByte value exactly as passed

  std::int16_t ClaimParallelPort(std::int32_t, std::int32_t) override { return claimResult; }
  std::int32_t GetParallelPortCount() override { return count; }
  std::int16_t GetParallelPortInfo(std::int32_t, PortInfoRecord& info) override {
    if (infoResult != 0) info.baseAddress = baseAddress;
    return infoResult;
  }
  std::int32_t InByte(std::int32_t address) override {
    return address == baseAddress ? dataValue : controlValue;
  }
  void OutByte(std::int32_t, std::int32_t value) override { outValues.push_back(value); }
  std::string failureReason() const override { return reason; }
};

// A port over any library, with every call written to a trace the test can read back.
class TracedPort {
 public:
  explicit TracedPort(PortLibrary& library) : tracer_(library, trace_), port_(tracer_) {}

  Port& port() { return port_; }
  PortLibrary& library() { return tracer_; }

  // The trace lines since the last call.
  std::vector<std::string> take() {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(trace_.str());
    while (std::getline(in, line)) lines.push_back(line);
    trace_.str({});
    return lines;
  }

 private:
  std::ostringstream trace_;
  TracingPortLibrary tracer_;
  Port port_;
};

}  // namespace vx::test
