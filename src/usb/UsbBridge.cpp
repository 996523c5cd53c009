#include "usb/UsbBridge.h"

#include <fmt/format.h>

#include "port/ControlRegister.h"
#include "port/FatalError.h"
#include "usb/Mpsse.h"

namespace vx {

namespace {

using namespace mpsse;

constexpr std::uint8_t kPowerUpControl = 0xCC;
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

std::optional<std::string> bridgeSerial(std::string_view port) {
  constexpr std::string_view kName = "ft232h";
  if (port == kName) return "";
  if (port.size() > kName.size() + 1 && port.starts_with(kName) && port[kName.size()] == ':')
    return std::string(port.substr(kName.size() + 1));
  return std::nullopt;
}

UsbBridge::~UsbBridge() {
  if (open_) link_.close();
}

bool UsbBridge::input() const {
  return (control_ & lpt::kDirection) != 0;
}

std::int16_t UsbBridge::ClaimParallelPort(std::int32_t port, std::int32_t) {
  if (port != 1) return 0;
  if (open_) link_.close();
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

// The adapter from the power-up state: in step, clocked at 1 MHz, and the port's lines as a port
// has them at power-up.
void UsbBridge::open() {
  link_.open();
  queue({kBogus, kSendImmediate});
  link_.write(queue_);
  queue_.clear();
  std::uint8_t answer[2] = {};
  link_.read(answer);
  if (answer[0] != kBadCommand || answer[1] != kBogus)
    throw UsbError(UsbFailure::NotInSync,
                   fmt::format("The FT232H's MPSSE engine is out of step: it answered 0x{:02X} "
                               "0x{:02X} to the bad command 0xAA, not 0xFA 0xAA. Unplug the "
                               "adapter, plug it in again, and start the program again.",
                               answer[0], answer[1]));
  control_ = kPowerUpControl;
  data_ = 0;
  queue({kDivideBy5Off, kAdaptiveOff, kThreePhaseOff, kSetDivisor, kDivisor & 0xFF, kDivisor >> 8,
         kLoopbackOff});
  queueLines(true);
  queue({kClockBits, 0});
  link_.write(queue_);
  queue_.clear();
  open_ = true;
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
      return control_ | lpt::kUnused;
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
    control_ = static_cast<std::uint8_t>((byte & ~lpt::kUnused) | lpt::kUnused);
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
    link_.read(std::span(&byte, 1));
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
