#include "support/Ft232hModel.h"

#include <fmt/format.h>

#include <map>

#include "port/ControlRegister.h"
#include "usb/Mpsse.h"

namespace vx::test {

using namespace mpsse;

Ft232hModel::Ft232hModel(const char* s) : scene(s && *s ? s : "one") {
  if (scene.starts_with("unplug=")) unplugAt_ = std::stoi(scene.substr(7));
}

int Ft232hModel::attached() {
  if (scene == "none" || (pulledOut_ && ++searchesAway_ < 2)) return 0;
  pulledOut_ = false;
  return scene == "two" ? 2 : 1;
}

// The engine starts afresh; the pins' last levels stay what the board saw.
void Ft232hModel::open() {
  if (pulledOut_ || scene == "none") throw UsbError(UsbFailure::NotFound, "no FT232H found");
  divisor_ = 0;
  divideBy5_ = true;
  answers_.clear();
}

// The pins turned back into the register writes that give them, for the board.
void Ft232hModel::setLow(std::uint8_t v) {
  const std::uint8_t c = (control_ & lpt::kDirection) | (v & kStrobePin ? 0 : lpt::kStrobe) |
                         (v & kAutoFeedPin ? 0 : lpt::kAutoFeed) | (v & kInitPin ? lpt::kInit : 0) |
                         (v & kSelectInPin ? 0 : lpt::kSelectIn);
  if (c != control_) board.OutByte(SimulatedBoard::kBase + 2, c);
  control_ = c;
}

void Ft232hModel::setHigh(std::uint8_t v, std::uint8_t direction) {
  const auto c = static_cast<std::uint8_t>((control_ & ~lpt::kDirection) |
                                           (direction == kDataIn ? lpt::kDirection : 0));
  if (c != control_) board.OutByte(SimulatedBoard::kBase + 2, c), sampled_.reset();
  control_ = c;
  if (direction == kDataOut && v != data_) board.OutByte(SimulatedBoard::kBase, v);
  if (direction == kDataOut) data_ = v;
}

// The pins as the VCD draws the port's lines: data lines that the board drives are unknown until
// sampled.
void Ft232hModel::record(double heldNs) {
  const bool input = (control_ & lpt::kDirection) != 0;
  const std::optional<std::uint8_t> d = input ? sampled_ : data_;
  std::string l(13, ' ');
  for (int bit = 0; bit < 8; ++bit) l[bit] = d ? "01"[(*d >> bit) & 1] : 'x';
  const std::uint8_t pins = (control_ ^ (lpt::kStrobe | lpt::kAutoFeed | lpt::kSelectIn)) & 0x0F;
  for (int line = 0; line < 4; ++line) l[8 + line] = "01"[(pins >> line) & 1];
  l[12] = "01"[input];
  history.push_back(fmt::format("{} {:g}", l, heldNs));
}

void Ft232hModel::done(bool transferred) {
  if (!transferred) throw UsbError(UsbFailure::Gone, "USB device unavailable");
}

bool Ft232hModel::put(std::span<const std::uint8_t> bytes) {
  // The opcodes the bridge uses, and how many argument bytes each takes.
  static const std::map<std::uint8_t, std::size_t> kArguments{
      {kSetLowByte, 2},    {kSetHighByte, 2},  {kReadHighByte, 0},  {kSetDivisor, 2},
      {kClockBits, 1},     {kDivideBy5Off, 0}, {kSendImmediate, 0}, {kLoopbackOff, 0},
      {kThreePhaseOff, 0}, {kAdaptiveOff, 0}};
  if (writes + 1 == unplugAt_) pulledOut_ = true, unplugAt_ = 0;
  if (pulledOut_) return false;
  ++writes;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t op = bytes[i], a = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    const std::uint8_t b = i + 2 < bytes.size() ? bytes[i + 2] : 0;
    if (op == kSetLowByte) setLow(a);
    if (op == kSetHighByte) setHigh(a, b);
    if (op == kSetDivisor) divisor_ = static_cast<std::uint16_t>(a | b << 8);
    if (op == kDivideBy5Off) divideBy5_ = false;
    if (op == kClockBits)  // n + 1 cycles of TCK = master / ((1 + divisor) * 2)
      record((a + 1) * (1 + divisor_) * 2 * (divideBy5_ ? 5 : 1) * 1e9 / kMasterHz);
    if (op == kReadHighByte) {
      sampled_ = static_cast<std::uint8_t>(board.InByte(SimulatedBoard::kBase));
      answers_.push_back(*sampled_);
      record(0);
    }
    const auto known = kArguments.find(op);
    if (known == kArguments.end())
      answers_.insert(answers_.end(), {scene == "outofstep" ? std::uint8_t{0} : kBadCommand, op});
    else
      i += known->second;
  }
  return true;
}

bool Ft232hModel::take(std::span<std::uint8_t> bytes) {
  if (pulledOut_ || answers_.size() < bytes.size()) return false;
  ++reads;
  for (auto& b : bytes) b = answers_.front(), answers_.pop_front();
  return true;
}

}  // namespace vx::test
