#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortLibrary.h"

namespace vx {

// How the simulated board behaves.
struct SimulatedBoardOptions {
  double loadOhms = 10e3;                  // load resistor from the output to ground
  std::optional<std::uint8_t> fixedFlags;  // replaces the chip model when set
  bool noBoard = false;                    // nothing drives the data lines: reads give 0xFF
};

// Parses a resistance such as "470", "10k", "2.2M". Empty when it is not a positive number.
std::optional<double> parseOhms(std::string_view text);

// The demonstration chip: a DC load model that turns a latched control word and the standby
// line into the six flags.
std::uint8_t modelFlags(std::uint8_t controlWord, bool standby, double loadOhms);

// A standard PC parallel port at 0x378 with the board on it, behind the port library's calls.
// It checks the link protocol as it goes and records every violation.
class SimulatedBoard : public PortLibrary {
 public:
  static constexpr std::int32_t kBase = 0x378;
  enum AuxLine { kStandby = 0, kAux1 = 1, kAux2 = 2 };

  explicit SimulatedBoard(SimulatedBoardOptions options = {});

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override;
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;
  void flush() override {}  // every access went out at once

  const std::vector<std::string>& violations() const { return violations_; }

  // What the board has seen, for tests and for the curious.
  std::optional<std::uint8_t> latchedControlWord() const { return controlWord_; }
  std::uint8_t auxLatch() const { return auxLatch_; }
  int risingSteps(AuxLine line) const { return risingSteps_[line]; }
  std::uint8_t capturedFlags() const { return flags_; }
  std::uint8_t controlRegister() const { return control_; }

 private:
  bool inputMode() const;
  bool boardDrives() const;
  std::uint8_t dataLines() const;
  void writeControl(std::uint8_t value);
  void followAuxLatch();
  void violation(std::string what);

  SimulatedBoardOptions options_;
  std::uint8_t control_ = 0xCC;  // bits 0..5 as written; 6 and 7 always 1
  std::uint8_t dataOut_ = 0;
  std::optional<std::uint8_t> controlWord_;
  std::uint8_t auxLatch_ = 0;
  std::array<int, 3> risingSteps_{};
  std::uint8_t flags_ = 0;
  std::vector<std::string> violations_;
};

}  // namespace vx
