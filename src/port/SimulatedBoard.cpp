#include "port/SimulatedBoard.h"

#include <fmt/format.h>
#include <charconv>
#include <cmath>

#include "port/BoardWords.h"
#include "port/ControlRegister.h"

namespace vx {

namespace {

using namespace lpt;

constexpr std::int32_t kData = SimulatedBoard::kBase + kDataOffset;
constexpr std::int32_t kStatus = SimulatedBoard::kBase + kStatusOffset;
constexpr std::int32_t kControl = SimulatedBoard::kBase + kControlOffset;
constexpr std::uint8_t kIdleStatus = 0x78;  // no printer attached: the status register's usual idle

constexpr double kForcedVolts = 2.0;
constexpr double kVoltageClamp = 5.0;
constexpr std::array<double, 6> kFullScaleAmps{4e-6, 40e-6, 400e-6, 4e-3, 40e-3, 160e-3};

// Above the window sets CPOH, below sets CPOL.
std::uint8_t compare(double value, double low, double high) {
  if (value > high) return word::kCpoh;
  if (value < low) return word::kCpol;
  return 0;
}

}  // namespace

std::optional<double> parseOhms(std::string_view text) {
  double scale = 1.0;
  if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) {
    scale = 1e3;
    text.remove_suffix(1);
  } else if (!text.empty() && text.back() == 'M') {
    scale = 1e6;
    text.remove_suffix(1);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  value *= scale;
  if (!std::isfinite(value) || value <= 0) return std::nullopt;
  return value;
}

std::uint8_t modelFlags(std::uint8_t controlWord, bool standby, double loadOhms) {
  // QM4 and QM5 read back control-word bits 4 and 5, the comparator and measure selections.
  std::uint8_t flags = controlWord & (word::kQm4 | word::kQm5);
  const unsigned range = controlWord & word::kRange;
  if (standby || range >= kFullScaleAmps.size()) return flags;  // output off

  const double fullScale = kFullScaleAmps[range];
  const bool currentForce = (controlWord & word::kForce) != 0;
  const bool compareCurrent = (controlWord & word::kComparator) != 0;
  double volts = 0;
  double amps = 0;
  if (currentForce) {
    amps = 0.5 * fullScale;
    volts = amps * loadOhms;
    if (volts > kVoltageClamp) {
      volts = kVoltageClamp;
      flags |= word::kChlDet;
    } else if (volts < -kVoltageClamp) {
      volts = -kVoltageClamp;
      flags |= word::kCllDet;
    }
  } else {
    volts = kForcedVolts;
    amps = volts / loadOhms;
    if (amps > fullScale) {
      amps = fullScale;
      flags |= word::kChlDet;
    } else if (amps < -fullScale) {
      amps = -fullScale;
      flags |= word::kCllDet;
    }
    volts = amps * loadOhms;
  }
  flags |=
      compareCurrent ? compare(amps, 0.1 * fullScale, 0.9 * fullScale) : compare(volts, 0.5, 4.5);
  return flags;
}

SimulatedBoard::SimulatedBoard(SimulatedBoardOptions options) : options_(options) {}

std::int16_t SimulatedBoard::ClaimParallelPort(std::int32_t port, std::int32_t) {
  return port == 1 ? 1 : 0;
}

std::int32_t SimulatedBoard::GetParallelPortCount() {
  return 1;
}

std::int16_t SimulatedBoard::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  if (port != 1) return 0;
  info.baseAddress = kBase;
  return 1;
}

bool SimulatedBoard::inputMode() const {
  return (control_ & kDirection) != 0;
}

bool SimulatedBoard::boardDrives() const {
  return !options_.noBoard && inputMode() && (control_ & kInit) == 0;
}

std::uint8_t SimulatedBoard::dataLines() const {
  if (!inputMode()) return dataOut_;
  return boardDrives() ? flags_ : 0xFF;
}

std::int32_t SimulatedBoard::InByte(std::int32_t address) {
  switch (address) {
    case kData:
      return dataLines();
    case kStatus:
      return kIdleStatus;
    case kControl:
      return controlRegister();
    default:
      violation(fmt::format("read outside the port's registers at 0x{:03X}",
                            static_cast<std::uint32_t>(address)));
      return 0xFF;
  }
}

void SimulatedBoard::OutByte(std::int32_t address, std::int32_t value) {
  const auto byte = static_cast<std::uint8_t>(value & 0xFF);
  switch (address) {
    case kData:
      if (inputMode())
        violation(fmt::format("data write 0x{:02X} while the data lines are input", byte));
      dataOut_ = byte;
      followAuxLatch();
      return;
    case kStatus:
      return;  // read-only on a standard port
    case kControl:
      writeControl(byte);
      return;
    default:
      violation(fmt::format("write outside the port's registers at 0x{:03X}",
                            static_cast<std::uint32_t>(address)));
  }
}

void SimulatedBoard::writeControl(std::uint8_t value) {
  const std::uint8_t before = control_;
  control_ = static_cast<std::uint8_t>((value & ~kUnused) | kUnused);
  const auto fell = [&](std::uint8_t bit) { return (before & bit) != 0 && (control_ & bit) == 0; };

  if (fell(kStrobe)) {
    if (inputMode()) violation("control word latched while the data lines are input");
    if (!options_.noBoard) controlWord_ = dataLines();
  }
  if (fell(kSelectIn) && !options_.noBoard) {
    flags_ = options_.fixedFlags ? *options_.fixedFlags
                                 : modelFlags(controlWord_.value_or(0),
                                              (auxLatch_ & word::kStandby) != 0, options_.loadOhms);
  }
  followAuxLatch();
}

// While control bit 1 is low, the auxiliary latch is transparent to data bits 0..2.
void SimulatedBoard::followAuxLatch() {
  if ((control_ & kAutoFeed) != 0 || options_.noBoard) return;
  const std::uint8_t next = dataLines() & (word::kStandby | word::kAux1 | word::kAux2);
  for (int line = 0; line < 3; ++line) {
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << line);
    if ((auxLatch_ & bit) == 0 && (next & bit) != 0) ++risingSteps_[line];
  }
  auxLatch_ = next;
}

void SimulatedBoard::violation(std::string what) {
  violations_.push_back(std::move(what));
}

}  // namespace vx
