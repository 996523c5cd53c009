#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "port/PortLibrary.h"

namespace vx {

// The time of each port access, in nanoseconds from the first.
using AccessClock = std::function<std::int64_t()>;

// A clock that moves one fixed step per access: what a simulated port takes (1 us is about one
// access on an ISA-timed port).
AccessClock fixedStepClock(std::int64_t stepNanoseconds = 1000);
// Real time: a steady clock, from the first access on.
AccessClock steadyClock();

// Draws the port's lines as a Value Change Dump (IEEE 1364) for logic-analyser viewers, then
// forwards the call. One scope named after the port holds the data lines D0..D7, the four
// control outputs as levels on their pins (nSTROBE pin 1, nAUTOFD pin 14, nINIT pin 16,
// nSELECTIN pin 17; strobe, auto feed and select in are inverted between register and pin) and
// the data direction DIR (control bit 5).
//
// While the data lines are output they show the data register; while input, they are unknown (x)
// until a read, then show the byte read. Only what goes through the library is drawn. The header
// is written at the first access, when the port's base address is known; every access is
// written through to the stream at once, so a killed program leaves a file a viewer opens.
class VcdPortLibrary : public PortLibrary {
 public:
  // program: "NAME VERSION" for $version; date: the text of $date.
  VcdPortLibrary(PortLibrary& inner, std::ostream& out, AccessClock clock, std::string program,
                 std::string date);
  // A file with no access at all still gets its header.
  ~VcdPortLibrary() override;
  VcdPortLibrary(const VcdPortLibrary&) = delete;
  VcdPortLibrary& operator=(const VcdPortLibrary&) = delete;

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;
  std::string failureReason() const override { return inner_.failureReason(); }

 private:
  // A line's level: '0', '1' or 'x'.
  using Levels = std::array<char, 13>;

  void record(std::int32_t address, std::optional<std::uint8_t> written,
              std::optional<std::uint8_t> read, std::int64_t time);
  void writeHeader();
  Levels levels() const;

  PortLibrary& inner_;
  std::ostream& out_;
  AccessClock clock_;
  std::string program_;
  std::string date_;
  std::optional<std::int32_t> base_;
  bool headerWritten_ = false;
  std::optional<std::uint8_t> control_;    // the control register, once known
  std::optional<std::uint8_t> dataLatch_;  // what the data register drives when output
  std::optional<std::uint8_t> dataIn_;     // what was read while input
  Levels shown_{};
};

}  // namespace vx
