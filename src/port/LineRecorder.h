#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "port/ForwardingPortLibrary.h"

namespace vx {

// The time of each port access, in nanoseconds from the first.
using AccessClock = std::function<std::int64_t()>;

// A clock that moves one fixed step per access: what a simulated port takes (1 us is about one
// access on an ISA-timed port).
AccessClock fixedStepClock(std::int64_t stepNanoseconds = 1000);
// Real time: a steady clock, from the first access on.
AccessClock steadyClock();

// The port's lines as a logic analyser sees them: the data lines D0..D7, the four control
// outputs as levels on their pins (nSTROBE pin 1, nAUTOFD pin 14, nINIT pin 16, nSELECTIN pin 17;
// strobe, auto feed and select in are inverted between register and pin) and the data direction
// DIR (control bit 5).
inline constexpr std::array<std::string_view, 13> kLineNames{
    "D0", "D1",      "D2",      "D3",    "D4",        "D5", "D6",
    "D7", "nSTROBE", "nAUTOFD", "nINIT", "nSELECTIN", "DIR"};

// Each line's level, in the order of kLineNames: '0', '1' or 'x' (unknown).
using LineLevels = std::array<char, kLineNames.size()>;

// One access to the data or control register, and the lines' levels after it.
struct LineAccess {
  std::int64_t time = 0;  // nanoseconds, from the clock
  std::int32_t address = 0;
  bool read = false;
  std::uint8_t value = 0;  // written, or read
  LineLevels levels{};
};

// Whoever draws the lines: the waveform file, the web panel's view of the last refresh.
class LineListener {
 public:
  virtual ~LineListener() = default;
  virtual void onAccess(const LineAccess& access) = 0;
};

// Works out the port's line levels at every access, once, for all its listeners, then forwards
// the call. While the data lines are output they show the data register; while input, they are
// unknown until a read, then show the byte read. Only what goes through the library is drawn,
// and the status register is not.
class LineRecorder : public ForwardingPortLibrary {
 public:
  LineRecorder(PortLibrary& inner, AccessClock clock)
      : ForwardingPortLibrary(inner), clock_(std::move(clock)) {}
  LineRecorder(const LineRecorder&) = delete;
  LineRecorder& operator=(const LineRecorder&) = delete;

  void listen(LineListener& listener) { listeners_.push_back(&listener); }
  void forget(LineListener& listener);
  // The port's base address, once the library reported it or the first access showed it.
  std::optional<std::int32_t> base() const { return base_; }

  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;

 private:
  void record(std::int32_t address, bool read, std::uint8_t value, std::int64_t time);
  LineLevels levels() const;

  AccessClock clock_;
  std::vector<LineListener*> listeners_;
  std::optional<std::int32_t> base_;
  bool accessed_ = false;
  std::optional<std::uint8_t> control_;    // the control register, once known
  std::optional<std::uint8_t> dataLatch_;  // what the data register drives when output
  std::optional<std::uint8_t> dataIn_;     // what was read while input
};

}  // namespace vx
