#include "usb/UsbBridge.h"

#include <fmt/format.h>

#include "port/ControlRegister.h"
#include "port/FatalError.h"
#include "usb/Mpsse.h"

namespace vx {

namespace {

using namespace mpsse;

// An engine in MPSSE mode answers at once; one that does not within this is taken as cold.
constexpr std::chrono::milliseconds kProbe{250};
// Every answer the bridge waits for comes within this, or the adapter is out of step or gone.
constexpr std::chrono::milliseconds kDeadline{1000};
// Bytes read while looking for the answer to a bad command, before giving up (AN_135).
constexpr int kScanLimit = 64;
constexpr std::uint8_t kIdleStatus = 0x78;  // the status lines are not wired: a port at rest

// The ADBUS levels for a control register value: the control lines as a PC port drives them.
std::uint8_t controlPins(std::uint8_t c) {
  std::uint8_t pins = 0;
  if ((c & lpt::kStrobe) == 0) pins |= kStrobePin;
  if ((c & lpt::kAutoFeed) == 0) pins |= kAutoFeedPin;
  if ((c & lpt::kInit) != 0) pins |= kInitPin;
  if ((c & lpt::kSelectIn) == 0) pins |= kSelectInPin;
  return pins;
}

}  // namespace

std::optional<std::string> bridgeAdapter(std::string_view port) {
  constexpr std::string_view kName = "ft232h";
  if (port == kName) return "";
  if (port.size() > kName.size() + 1 && port.starts_with(kName) && port[kName.size()] == ':')
    return std::string(port.substr(kName.size() + 1));
  return std::nullopt;
}

bool UsbBridge::input() const {
  return (control_ & lpt::kDirection) != 0;
}

std::int16_t UsbBridge::ClaimParallelPort(std::int32_t port, std::int32_t) {
  if (port != 1) return 0;
  open_ = false;
  queue_.clear();
  try {
    open();
  } catch (const UsbError& e) {
    link_.close();
    failure_ = e.what();
    return 0;
  }
  failure_.clear();
  return 1;
}

// In step, clocked at 1 MHz, and no line let go: see the class comment.
void UsbBridge::open() {
  link_.open();
  const std::uint8_t probe[] = {kBogus, kSendImmediate};
  link_.write(probe);
  const bool warm = answered(kBogus, kProbe);
  if (!warm) {
    link_.enterMpsse();
    queue({kBogus});
  }
  control_ = kPowerUpControl;
  data_ = 0;
  queue({kDivideBy5Off, kAdaptiveOff, kThreePhaseOff, kSetDivisor, kDivisor & 0xFF, kDivisor >> 8,
         kLoopbackOff});
  if (!warm) queueLines(true), queue({kClockBits, 0});
  queue({kSecondBogus, kSendImmediate});
  link_.write(queue_);
  queue_.clear();
  if (!warm && !answered(kBogus, kDeadline))
    throw UsbError(
        fmt::format("The USB adapter's MPSSE engine did not answer 0xFA 0xAA to the bad command "
                    "0xAA within {} ms. Unplug the adapter, plug it in again, and start the "
                    "program again.",
                    kDeadline.count()));
  // The very next answer: any other first would be a set-up command the chip refused.
  std::uint8_t answer[2] = {};
  if (link_.read(answer, kDeadline) != 2 || answer[0] != kBadCommand || answer[1] != kSecondBogus)
    throw UsbError(
        fmt::format("The USB adapter's MPSSE engine did not take the set-up commands: it answered "
                    "0x{:02X} 0x{:02X}, not 0xFA 0xAB to the bad command 0xAB. Unplug the adapter, "
                    "plug it in again, and start the program again.",
                    answer[0], answer[1]));
  open_ = true;
}

// Whether the answer to a bad command came within the time, whatever came before it.
bool UsbBridge::answered(std::uint8_t bogus, std::chrono::milliseconds within) {
  const auto end = std::chrono::steady_clock::now() + within;
  std::uint8_t last = 0, byte = 0;
  for (int n = 0; n < kScanLimit; ++n, last = byte) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || link_.read(std::span(&byte, 1), left) == 0) return false;
    if (last == kBadCommand && byte == bogus) return true;
  }
  return false;
}

std::int16_t UsbBridge::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  if (port != 1 || !open_) {
    failure_.clear();  // the failed claim said why
    return 0;
  }
  info.baseAddress = kBase;
  return 1;
}

std::int32_t UsbBridge::InByte(std::int32_t address) {
  switch (address - kBase) {
    case lpt::kDataOffset:
      if (!input()) return data_;
      queue({kReadHighByte, kSendImmediate});
      send();
      return receive();
    case lpt::kStatusOffset:
      return kIdleStatus;
    case lpt::kControlOffset:
      return control_;
    default:
      return 0xFF;
  }
}

void UsbBridge::OutByte(std::int32_t address, std::int32_t value) {
  const auto byte = static_cast<std::uint8_t>(value & 0xFF);
  if (address == kBase + lpt::kDataOffset) {
    data_ = byte;
    // While input the latch takes the byte and the lines stay the board's.
    if (!input()) queue({kSetHighByte, data_, kDataOut});
  } else if (address == kBase + lpt::kControlOffset) {
    const bool wasInput = input();
    control_ = byte | lpt::kUnused;
    queueLines(wasInput != input());
  } else {
    return;  // the status register is read-only
  }
  queue({kClockBits, 0});  // one cycle: this state holds 1 us
}

// The lines that release go first, then the lines that drive: turning to input lets go of ACBUS
// before the control lines tell the board to drive, and turning to output drives ACBUS only after
// they have told it to stop.
void UsbBridge::queueLines(bool directionChanged) {
  const std::uint8_t low = controlPins(control_);
  if (directionChanged && input()) queue({kSetHighByte, 0, kDataIn});
  queue({kSetLowByte, low, kLowDirection});
  if (directionChanged && !input()) queue({kSetHighByte, data_, kDataOut});
}

void UsbBridge::queue(std::initializer_list<std::uint8_t> bytes) {
  queue_.insert(queue_.end(), bytes);
  if (queue_.size() >= kQueueLimit && open_) send();
}

void UsbBridge::flush() {
  if (!queue_.empty()) send();
}

void UsbBridge::send() {
  if (!open_) {
    queue_.clear();
    throw PortGoneError("the USB adapter is not open: it went away, and was not found again");
  }
  try {
    link_.write(queue_);
  } catch (const UsbError& e) {
    gone(e);
  }
  queue_.clear();
}

std::uint8_t UsbBridge::receive() {
  std::uint8_t byte = 0;
  try {
    if (link_.read(std::span(&byte, 1), kDeadline) != 1)
      throw UsbError(fmt::format("no answer within {} ms", kDeadline.count()));
  } catch (const UsbError& e) {
    gone(e);
  }
  return byte;
}

void UsbBridge::gone(const UsbError& e) {
  queue_.clear();
  open_ = false;
  link_.close();
  throw PortGoneError(fmt::format("the USB adapter went away ({})", e.what()));
}

}  // namespace vx
