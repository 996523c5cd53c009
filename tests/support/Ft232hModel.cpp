#include "support/Ft232hModel.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <ranges>
#include <sstream>

#include "port/ControlRegister.h"
#include "usb/Mpsse.h"

namespace vx::test {

using namespace mpsse;

std::vector<Adapter> parseScene(std::string_view scene) {
  static const std::map<std::string, bool Adapter::*> kFlags{
      {"warm", &Adapter::warm},       {"busy", &Adapter::busy},   {"denied", &Adapter::denied},
      {"garbled", &Adapter::garbled}, {"empty", &Adapter::empty}, {"split", &Adapter::split}};
  std::vector<Adapter> adapters;
  for (const auto part : std::views::split(scene, ',')) {
    std::istringstream words{std::string(part.begin(), part.end())};
    std::string chip, w;
    if (!std::getline(words, chip, '/') || chip == "none") continue;
    Adapter& a = adapters.emplace_back();
    for (const Chip& c : kChips) a.chip = c.name == chip ? c : a.chip;
    while (std::getline(words, w, '/')) {
      if (kFlags.contains(w)) a.*kFlags.at(w) = true;
      if (w.starts_with("unplug=")) a.unplugAt = std::stoi(w.substr(7));
      if (!kFlags.contains(w) && !w.starts_with("unplug=")) a.serial = w;
    }
  }
  return adapters;
}

// A warm adapter keeps what an earlier run left: MPSSE at 1 MHz, the port idle (control 0xCF).
Ft232hModel::Ft232hModel(Adapter a) : adapter(std::move(a)) {
  if (!adapter.warm) return;
  mpsse_ = true, divisor_ = kDivisor, divideBy5_ = false;
  setLow(kInitPin, kLowDirection);
  setHigh(0x06, kDataOut);
}

// The board sees the lines at the port's power-up levels again, the model's picture of a cold
// adapter's pins, as when it was first plugged in.
void Ft232hModel::plugIn() {
  pulledOut_ = mpsse_ = dataSet_ = false;
  setHigh(0, kDataOut);
  setLow(kStrobePin | kAutoFeedPin | kInitPin, 0);
  lowDirection_ = highDirection_ = 0;
  answers_.clear();
  record.push_back("usb plugged in");
}

void Ft232hModel::control(std::uint8_t request, std::uint16_t value) {
  static const std::map<int, const char*> kNames{
      {0x0000, "reset"}, {0x0001, "purge rx"}, {0x0002, "purge tx"}, {0x0100, "modem"},
      {0x0200, "flow"},  {0x0300, "baudrate"}, {0x0400, "data"},     {0x0900, "latency"}};
  const auto name = kNames.find(request << 8 | (request == 0 ? value : 0));
  if (request == 0x0B)
    record.push_back(fmt::format("usb bitmode 0x{:02X}", value >> 8)), setBitMode(value >> 8);
  else
    record.push_back(fmt::format("usb {}", name == kNames.end() ? "?" : name->second));
  if (request == 0 && value != 2) answers_.clear();  // SIO_RESET and the receive purge
}

// The lines let go: the control lines rise to the chip's pull-ups, the data lines float.
void Ft232hModel::setBitMode(std::uint8_t mode) {
  if (mpsse_ && ((lowDirection_ & 0xF0) != 0 || highDirection_ != 0)) {
    record.push_back("fault: a bit-mode change let the port's lines go");
    setLow(0xF0, 0);
    setHigh(0, kDataIn);
  }
  mpsse_ = mode == 0x02, dataSet_ = false, divisor_ = 0, divideBy5_ = true;
  lowDirection_ = highDirection_ = 0;
}

// The pins turned back into the register writes that give them, for the board.
void Ft232hModel::setLow(std::uint8_t v, std::uint8_t direction) {
  lowDirection_ = direction;
  const std::uint8_t c = (control_ & lpt::kDirection) | (v & kStrobePin ? 0 : lpt::kStrobe) |
                         (v & kAutoFeedPin ? 0 : lpt::kAutoFeed) | (v & kInitPin ? lpt::kInit : 0) |
                         (v & kSelectInPin ? 0 : lpt::kSelectIn);
  if (c != control_) board.OutByte(SimulatedBoard::kBase + 2, c);
  control_ = c;
  contention();
}

// The port is output only while ACBUS drives all eight lines; any one it drives counts against the
// board (the bits as the chip reads them, not the bridge's names for them).
void Ft232hModel::setHigh(std::uint8_t v, std::uint8_t direction) {
  highDirection_ = direction, dataSet_ = true;
  const auto c = static_cast<std::uint8_t>((control_ & ~lpt::kDirection) |
                                           (direction != 0xFF ? lpt::kDirection : 0));
  if (c != control_) board.OutByte(SimulatedBoard::kBase + 2, c), sampled_.reset();
  control_ = c;
  if (direction == 0xFF && v != data_) board.OutByte(SimulatedBoard::kBase, v);
  if (direction == 0xFF) data_ = v;
  contention();
}

// The board drives D0..D7 while nINIT is low: ACBUS driving them then (in MPSSE mode, where the
// bridge drives it) is a fault, flagged as it starts.
void Ft232hModel::contention() {
  const bool both = mpsse_ && highDirection_ != 0 && (control_ & lpt::kInit) == 0;
  if (both && !contending_) record.push_back("fault: the adapter and the board drive D0..D7");
  contending_ = both;
}

// The pins as the VCD draws the port's lines, and how long they held: data lines that the board
// drives are unknown until sampled.
void Ft232hModel::hold(double ns) {
  const bool input = (control_ & lpt::kDirection) != 0;
  const std::optional<std::uint8_t> d = input ? sampled_ : data_;
  std::string l(13, ' ');
  for (int bit = 0; bit < 8; ++bit) l[bit] = d ? "01"[(*d >> bit) & 1] : 'x';
  const std::uint8_t pins = (control_ ^ (lpt::kStrobe | lpt::kAutoFeed | lpt::kSelectIn)) & 0x0F;
  for (int line = 0; line < 4; ++line) l[8 + line] = "01"[(pins >> line) & 1];
  l[12] = "01"[input];
  record.push_back(fmt::format("pins {} {:g}", l, ns));
}

bool Ft232hModel::transfer() {
  if (++transfers_ == adapter.unplugAt) pulledOut_ = true, record.push_back("usb pulled out");
  return !pulledOut_;
}

bool Ft232hModel::write(std::span<const std::uint8_t> bytes) {
  // The opcodes the bridge uses, and how many argument bytes each takes; the FT2232D lacks the
  // H series' clock commands.
  static const std::map<std::uint8_t, std::size_t> kArguments{
      {kSetLowByte, 2},    {kSetHighByte, 2},  {kReadHighByte, 0},  {kSetDivisor, 2},
      {kClockBits, 1},     {kDivideBy5Off, 0}, {kSendImmediate, 0}, {kLoopbackOff, 0},
      {kThreePhaseOff, 0}, {kAdaptiveOff, 0}};
  if (!transfer()) return false;
  record.push_back(fmt::format("usb write {}{}", bytes.size(), mpsse_ ? "" : " (to the UART)"));
  for (std::size_t i = 0; mpsse_ && i < bytes.size(); ++i) {
    const std::uint8_t op = bytes[i], a = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    const std::uint8_t b = i + 2 < bytes.size() ? bytes[i + 2] : 0;
    const auto known = kArguments.find(op);
    if (known == kArguments.end() ||
        (!adapter.chip.highSpeed &&
         (op == kDivideBy5Off || op == kAdaptiveOff || op == kThreePhaseOff || op == kClockBits))) {
      if (adapter.garbled) answers_.resize(answers_.size() + 64);  // noise, never the answer
      if (!adapter.garbled) answers_.insert(answers_.end(), {kBadCommand, op});
      continue;
    }
    if (op == kSetLowByte) setLow(a, b);
    if (op == kSetHighByte) setHigh(a, b);
    if (op == kSetDivisor) divisor_ = static_cast<std::uint16_t>(a | b << 8);
    if (op == kDivideBy5Off) divideBy5_ = false;
    if (op == kClockBits)  // n + 1 cycles of TCK = master / ((1 + divisor) * 2)
      hold((a + 1) * (1 + divisor_) * 2 * (divideBy5_ ? 5 : 1) * 1e9 / kMasterHz);
    if (op == kReadHighByte) {
      sampled_ = static_cast<std::uint8_t>(board.InByte(SimulatedBoard::kBase));
      answers_.push_back(*sampled_);
      hold(0);
    }
    i += known->second;
  }
  return true;
}

bool Ft232hModel::answering() const {
  return !answers_.empty() || (adapter.empty && !readYet_);
}

bool Ft232hModel::read(std::vector<std::uint8_t>& packet, std::size_t room) {
  if (!transfer()) return false;
  std::size_t n = std::min(answers_.size(), adapter.split ? std::size_t{1} : room);
  if (adapter.empty && !readYet_) n = 0;
  readYet_ = true;
  packet.assign(answers_.begin(), answers_.begin() + static_cast<std::ptrdiff_t>(n));
  answers_.erase(answers_.begin(), answers_.begin() + static_cast<std::ptrdiff_t>(n));
  record.push_back(fmt::format("usb read {}", n));
  if (mpsse_ && ((lowDirection_ & 0xF0) != 0xF0 || !dataSet_))
    record.push_back("fault: a USB read while the port's lines float");
  return true;
}

}  // namespace vx::test
